// Programmable shaders: the shader pack, the default programs, the vertex declarations, the
// selection indices and the shader constants kept in step with the fixed-function state.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

constexpr int kVertexShaderEntries = 16384;
constexpr int kPixelShaderEntries = 4608;
constexpr int kProgramsPerEntry = 6;
constexpr int kVertexPrograms = kVertexShaderEntries * kProgramsPerEntry;  // 98304
constexpr int kPixelPrograms = kPixelShaderEntries * kProgramsPerEntry;    // 27648
constexpr uint32_t kShaderPackHeaderSize =
    (kVertexShaderEntries + kPixelShaderEntries) * kProgramsPerEntry * 2;  // 251904
constexpr int kDefaultVertexProgram = 32774;
constexpr int kDefaultPixelProgram = 2454;
constexpr int kVertexDeclarationCount = 54;
constexpr int kVertexConstantCount = 256;
constexpr int kPixelConstantCount = 32;
constexpr int kShaderHandleSlots = 4096;
constexpr int32_t kShaderHandleKind = 0x78000000;

struct ShaderRecord {
    uint32_t check;
    int32_t handle;
    int32_t vertex;  // non-zero: a vertex shader
    const uint8_t* program;
    V_IUnknown* object;
};

// A caller's saved range of constants (start register and count).
struct SavedConstantRange {
    uint32_t start;
    uint32_t count;
    void* data;
};

struct ShaderState {
    int32_t programmable;  // shaders are on

    // The pack.
    uint8_t* archiveImage;  // decoded archive image, kept while the pack is in use
    uint8_t* pack;          // decoded member
    size_t packSize;
    const uint8_t** vertexPrograms;  // kVertexPrograms entries
    const uint8_t** pixelPrograms;   // kPixelPrograms entries
    V_IDirect3DVertexShader9** vertexObjects;
    V_IDirect3DPixelShader9** pixelObjects;

    V_IDirect3DVertexDeclaration9* declarations[kVertexDeclarationCount];
    V_IDirect3DVertexDeclaration9* extraDeclaration;

    V_D3DMATRIX view;  // the view last sent, for the light constants
    int32_t viewSet;   // identity until a view is sent

    int32_t vertexSelection;
    int32_t pixelSelection;

    float vertexConstants[kVertexConstantCount][4];
    float pixelConstants[kPixelConstantCount][4];
    float materialVertexCopy[3][4];  // c11..c13 for the replay
    float materialPixelCopy[3][4];   // c2..c4
    int32_t callerSetOn;
    SavedConstantRange savedRanges[6];  // vertex F, I, B; pixel F, I, B

    ShaderRecord* handles[kShaderHandleSlots];
    int32_t handleCount;
    int32_t handleHigh;
};
extern ShaderState g_ShaderState;

// The packed archive image the program carries (made at build time); empty when none.
struct EmbeddedShaderPack {
    const uint8_t* data;
    size_t size;
};
EmbeddedShaderPack GetEmbeddedShaderPack();
// Tests replace the image the pack is read from (null: back to the embedded one).
void SetShaderPackImageForTest(const void* data, size_t size);

int LoadShaderPack();
// Frees the pack (the graphics end).
void FreeShaderPack();
int SetupShaders();
// Makes the shader objects again from their programs on a new device (no new choice, no log).
int RemakeShaderObjects();
int CreateVertexDeclarations();
// Elements of a declaration of the table; returns the number written before the end marker.
int BuildVertexDeclaration(int normals, int skinning, int texCoords,
                           V_D3DVERTEXELEMENT9 elements[24]);
void UpdateShaderSelection();
void SetVSConstants(int start, const float* data, int count);
void SetPSConstants(int start, const float* data, int count);
void SwitchShaderConstantSet(int callerSet);
void SetDefaultShaderConstants();
int SetDeviceViewTransform(const V_D3DMATRIX* view);
int SetDeviceProjection(const V_D3DMATRIX* matrix);
int SetDeviceLight(int index, const V_D3DLIGHT9* light);
void UpdateLightColorConstants();
int DeleteShader(int handle);
int DeleteAllShaders();
