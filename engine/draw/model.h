// 3D-model tables (model bases and their placed instances) and the hooks that the graphics core
// calls around the device's life: start-up, release before the device goes, rebuild and texture
// reload after it is made again, and deletion at the library end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/graphics.h"
#include "platform/d3d9/d3d9.h"

constexpr int32_t kModelBaseHandleKind = 0x08000000;
constexpr int32_t kModelBaseSlotMask = 0x1FFFF;
constexpr int32_t kModelInstanceHandleKind = 0x68000000;
constexpr int kModelInstanceSlotLimit = 65536;
constexpr int kSineTableSize = 65536;
constexpr int kModelDefaultTextureCount = 3;
// A table slot holding this value is reserved and has no record yet.
inline void* const kModelSlotReserved = reinterpret_cast<void*>(static_cast<uintptr_t>(1));

// Where a texture's pixels come from: a file, or a heap copy of an image in memory.
struct ModelImageSource {
    char* fileName;   // tracked heap, or null
    uint8_t* memory;  // tracked heap, or null
    int32_t memorySize;
};

struct ModelTexture {
    ModelImageSource colour;
    ModelImageSource alpha;  // optional
    int32_t normalMap;       // the colour image is a height map to turn into normals
    float normalScale;
    int32_t graph;           // the graph the texture lives in, -1 for none
};

// A pair of device buffers in one of a base's buffer lists.
struct ModelBufferPair {
    V_IDirect3DVertexBuffer9* vertexBuffer;
    V_IDirect3DIndexBuffer9* indexBuffer;
    ModelBufferPair* next;
};

constexpr int kModelListShading = 3;
constexpr int kModelListSkinning = 2;
constexpr int kModelListWeights = 9;

struct ModelMesh {
    uint8_t* vertices;  // tracked heap
    uint32_t vertexBytes;
    uint32_t vertexStride;
    uint32_t fvf;
    uint8_t* indices;   // tracked heap, 16-bit indices
    uint32_t indexBytes;
    int32_t shading;    // which buffer list the mesh's buffers go to
    int32_t skinning;
    int32_t weights;
    V_IDirect3DVertexBuffer9* vertexBuffer;  // references into the lists
    V_IDirect3DIndexBuffer9* indexBuffer;
};

struct ModelBase {
    int32_t useCount;
    int32_t textureCount;
    ModelTexture* textures;  // tracked heap
    int32_t meshCount;
    ModelMesh* meshes;       // tracked heap
    int32_t buffersBuilt;
    ModelBufferPair* bufferLists[kModelListShading][kModelListSkinning][kModelListWeights];
    int32_t instanceBufferCount;  // device buffers each instance of the base holds
    uint32_t instanceBufferBytes;
};

// A heap block attached to a frame record, in a singly linked list.
struct ModelHeapNode {
    ModelHeapNode* next;
    void* data;
};

struct ModelFrame {
    ModelHeapNode* attached;
    void* buffers[2];
};

struct ModelInstanceSlot {
    ModelInstanceSlot* next;
    void* data;
};

struct ModelInstance {
    uint32_t checkNumber;
    int32_t base;  // base handle
    int32_t textureCount;
    ModelTexture* textures;  // own textures, used when their colour source is set
    int32_t frameCount;
    ModelFrame* frames;
    void* buffers[2];
    ModelInstanceSlot* slots;
    V_IDirect3DVertexBuffer9** deviceBuffers;  // as many as the base declares
};

struct ModelBaseTable {
    int32_t count;      // live bases (reserved slots included)
    int32_t slotCount;  // slots in the array
    void** slots;       // ModelBase*, null, or kModelSlotReserved
};

struct ModelInstanceTable {
    int32_t count;      // live instances (reserved slots included)
    int32_t slotCount;  // slots in the array; a handle's slot must be below it
    void** slots;
    uint32_t checkCounter;
};

struct ModelSystem {
    int32_t initialised;
    float sineTable[kSineTableSize];  // sin(2 pi i / 65536)
    float nearRightAngle;             // 89.5 degrees in radians
    ModelBaseTable bases;
    ModelInstanceTable instances;
    int32_t defaultTextures[kModelDefaultTextureCount];  // graph handles, -1 while not made
};
extern ModelSystem g_Models;

// Hooks.
int InitModels();
int ReleaseModelDeviceObjects();
int RebuildModelBuffers();
int ReloadModelTextures();
int EndModels();

// Tables.
ModelBase* GetModelBase(int handle);
ModelInstance* GetModelInstance(int handle);
// A zeroed base with a use count of 1; -1 before InitModels or when memory runs out.
int NewModelBase();
// A zeroed instance of a base, which gains a use; -1 for a bad base.
int NewModelInstance(int base);
// A slot marked reserved, without a record (as a load in progress holds it).
int ReserveModelBaseSlot();
int ReserveModelInstanceSlot();
int DeleteModelBase(int handle);
int DeleteModelInstance(int handle);

// Adds a mesh (copies of the arrays) or a texture (copies of the names) to a base; -1 when it
// cannot.
int AddModelMesh(int base, const void* vertices, uint32_t vertexBytes, uint32_t stride,
                 uint32_t fvf, const uint16_t* indices, uint32_t indexBytes, int shading,
                 int skinning, int weights);
int AddModelTexture(ModelTexture** textures, int32_t* count, const char* colourFile,
                    const char* alphaFile, int normalMap, float normalScale, int graph);
void FreeModelTextures(ModelTexture* textures, int count);

// Buffers.
int BuildModelBaseBuffers(int base);
int ReleaseModelBaseBuffers(int base);
int ReleaseModelInstanceBuffers(int instance);
// Gives an instance the device buffers its base declares; -1 without a device.
int CreateModelInstanceBuffers(int instance);

// Textures.
int LoadModelTextureImages(ImageRecord* colour, ImageRecord* alpha, const ModelImageSource* source,
                           const ModelImageSource* alphaSource, int normalMap, float scale);
// The embedded default texture images (run-length-encoded TGA).
const uint8_t* GetModelDefaultTextureImage(int index, int* size);
