// The vertex batch of the device path: pre-transformed vertices collected per vertex type and
// sent with one DrawPrimitiveUP when the type or primitive changes, the array fills, or any
// device state is about to change.
#pragma once

#include <cstdint>

#include "graphics/graph_handle.h"
#include "graphics/render_state.h"

struct Vertex2D {  // type 0
    float x, y, z, rhw;
    uint32_t diffuse;
};
struct Vertex2DTex {  // type 1
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
struct Vertex2DBlend {  // type 2: blend graph coordinates first, the drawn graph's second
    float x, y, z, rhw;
    uint32_t diffuse;
    uint32_t specular;
    float u1, v1;
    float u2, v2;
};
struct Vertex3D {  // type 3
    float x, y, z;
    uint32_t diffuse;
    float u, v;
};

struct VertexTypeRow {
    uint32_t fvf;
    uint32_t stride;
    int32_t capacity;
};
extern const VertexTypeRow kVertexTypeTable[4];

struct VertexBatch {
    int32_t count;
    int32_t type;
    int32_t primitive;
    uint8_t* arrays[4];
    uint8_t* write;
    int32_t count3D;
    uint8_t* write3D;
    uint32_t specularEnable;  // cached device specular state
    uint32_t drawSerial;      // counts the times pending vertices were drawn or dropped
};
extern VertexBatch g_VertexBatch;

int SetupVertexBatch();
int FlushVertexBatch();
int DrawVertexGridStrip(int columns, const Vertex2DTex* vertices, int rows);
// Primitive count of n vertices of the given primitive type.
int PrimitiveCount(int primitive, int vertices);
// Pre-transformed vertices (position first) at the draw target's place in the render target:
// the vertices themselves while the target starts at the surface's corner, else a moved copy
// that stays valid until the next call.
const void* PlaceAtTargetOrigin(const void* vertices, int count, int stride);
// Makes room for k vertices of primitive p in the current type's array and returns where they
// go; the caller writes them. Flushes first on a change of primitive or when they would not fit.
uint8_t* AppendVertices(int primitive, int count);
// The vertex type that the device's current texture and blend texture ask for.
int CurrentVertexType();

// Draw-state preparation and the builders.
void PrepareDrawState(const GraphFormatDesc* desc, V_IDirect3DTexture9* texture, uint32_t flags);
int FlushAndApplyStageBlock(const StageSetup* block, int handles, int apply);
// The colour format of a device texture format (graph transfers own the table).
const ColorFormat* GetD3DFormatColorFormat(V_D3DFORMAT format);
// The colour format of the texture that graphs of these creation settings get.
const ColorFormat* GetCreationFormatColorFormat(int alpha, int alphaTest, int is32, int drawable);
int PutGraphQuads(const GraphRecord* graph, int x, int y, float xf, float yf, int trans,
                  int integer);
int PutGraphStretchedQuads(const GraphRecord* graph, int x1, int y1, int x2, int y2, float x1f,
                           float y1f, float x2f, float y2f, int trans, int integer);
int PutGraphRotatedQuads(const GraphRecord* graph, float x, float y, double scale, double angle,
                         int flags, int turn);
int PutFreeQuadTiles(const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3,
                     float y3, float x4, float y4, int flags);
int PutFreeQuadInt(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                   const GraphRecord* graph, int trans);

// Subtractive blending on a device without the reverse-subtract operation: the destination is
// inverted by a white box, the draw is added in mode 5, and a second box inverts it back.
struct SubtractNote {
    int parameter;
    uint32_t bright;
};
bool NeedsSubtractEmulation(bool device);
SubtractNote SubtractBlendPrePass(const V_RECT& rect);
void SubtractBlendPostPass(const V_RECT& rect, const SubtractNote& note);

int PutFilledBoxQuads(int x1, int y1, int x2, int y2, uint32_t colour);
int PutBoxOutlineLines(int x1, int y1, int x2, int y2, uint32_t colour);
int PutLineVertices(int x1, int y1, int x2, int y2, uint32_t colour);
