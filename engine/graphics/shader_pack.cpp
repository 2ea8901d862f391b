// The shader pack: unpacking the program's archive image, the program tables, the default
// shader objects and the decision whether programmable shaders are used.
#include <cstring>

#include "core/archive.h"
#include "core/core.h"
#include "core/lz.h"
#include "graphics/device.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"

namespace {

const void* g_TestImage = nullptr;
size_t g_TestImageSize = 0;
bool g_TestImageSet = false;

uint8_t* DecodeBlock(const uint8_t* packed, size_t packedSize, size_t* decodedSize) {
    int64_t size = DecodeArchiveData(packed, packedSize, nullptr, 0);
    if (size <= 0) return nullptr;
    auto* decoded = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(size)));
    if (decoded == nullptr) return nullptr;
    if (DecodeArchiveData(packed, packedSize, decoded, static_cast<size_t>(size)) != size) {
        FreeMemory(decoded);
        return nullptr;
    }
    *decodedSize = static_cast<size_t>(size);
    return decoded;
}

// Fills the program tables from the header's sizes; false when the sizes run past the member.
bool FillProgramTables(const uint8_t* pack, size_t size) {
    if (size < kShaderPackHeaderSize) return false;
    size_t cursor = kShaderPackHeaderSize;
    for (int i = 0; i < kVertexPrograms + kPixelPrograms; ++i) {
        uint16_t length;
        std::memcpy(&length, pack + i * 2, 2);
        const uint8_t* program = nullptr;
        if (length != 0) {
            if (length > size - cursor) return false;
            program = pack + cursor;
            cursor += length;
        }
        if (i < kVertexPrograms) g_ShaderState.vertexPrograms[i] = program;
        else g_ShaderState.pixelPrograms[i - kVertexPrograms] = program;
    }
    return true;
}

void ReleaseObject(V_IUnknown** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

}  // namespace

void SetShaderPackImageForTest(const void* data, size_t size) {
    g_TestImage = data;
    g_TestImageSize = size;
    g_TestImageSet = data != nullptr;
}

void FreeShaderPack() {
    FreeMemory(g_ShaderState.pack);
    FreeMemory(g_ShaderState.archiveImage);
    FreeMemory(g_ShaderState.vertexPrograms);
    FreeMemory(g_ShaderState.pixelPrograms);
    FreeMemory(g_ShaderState.vertexObjects);
    FreeMemory(g_ShaderState.pixelObjects);
    g_ShaderState.pack = nullptr;
    g_ShaderState.archiveImage = nullptr;
    g_ShaderState.vertexPrograms = nullptr;
    g_ShaderState.pixelPrograms = nullptr;
    g_ShaderState.vertexObjects = nullptr;
    g_ShaderState.pixelObjects = nullptr;
    g_ShaderState.packSize = 0;
}

int LoadShaderPack() {
    if (g_ShaderState.pack != nullptr) return 1;
    EmbeddedShaderPack embedded = GetEmbeddedShaderPack();
    if (g_TestImageSet) embedded = {static_cast<const uint8_t*>(g_TestImage), g_TestImageSize};
    if (embedded.data == nullptr || embedded.size == 0) return 0;

    size_t imageSize = 0;
    uint8_t* image = DecodeBlock(embedded.data, embedded.size, &imageSize);
    if (image == nullptr) return 0;
    ArchiveRecord record;
    InitArchiveRecord(&record);
    if (OpenArchiveFromImage(&record, image, imageSize, nullptr) != 0) {
        FreeMemory(image);
        return 0;
    }
    uint32_t offset = 0, memberSize = 0;
    size_t packSize = 0;
    uint8_t* pack = nullptr;
    const uint8_t* unscrambled = GetArchiveImage(&record);
    if (GetArchiveMemberLocation(&record, "VelkShaderPack.bin", &offset, &memberSize) == 0 &&
        unscrambled != nullptr)
        pack = DecodeBlock(unscrambled + offset, imageSize - offset, &packSize);
    CloseArchive(&record);
    TermArchiveRecord(&record);
    if (pack == nullptr) {
        FreeMemory(image);
        return 0;
    }
    g_ShaderState.archiveImage = image;
    g_ShaderState.pack = pack;
    g_ShaderState.packSize = packSize;
    g_ShaderState.vertexPrograms = static_cast<const uint8_t**>(
        VELK_ALLOC_ZEROED(sizeof(uint8_t*) * kVertexPrograms));
    g_ShaderState.pixelPrograms = static_cast<const uint8_t**>(
        VELK_ALLOC_ZEROED(sizeof(uint8_t*) * kPixelPrograms));
    g_ShaderState.vertexObjects = static_cast<V_IDirect3DVertexShader9**>(
        VELK_ALLOC_ZEROED(sizeof(void*) * kVertexPrograms));
    g_ShaderState.pixelObjects = static_cast<V_IDirect3DPixelShader9**>(
        VELK_ALLOC_ZEROED(sizeof(void*) * kPixelPrograms));
    if (g_ShaderState.vertexPrograms == nullptr || g_ShaderState.pixelPrograms == nullptr ||
        g_ShaderState.vertexObjects == nullptr || g_ShaderState.pixelObjects == nullptr ||
        !FillProgramTables(pack, packSize)) {
        FreeShaderPack();
        return 0;
    }
    return 1;
}

int ReleaseShaderObjects() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    g_RenderStates.vertexShader = nullptr;
    g_RenderStates.vertexShaderRecord = nullptr;
    g_RenderStates.pixelShader = nullptr;
    if (g_ShaderState.vertexObjects != nullptr)
        for (int i = 0; i < kVertexPrograms; ++i)
            ReleaseObject(reinterpret_cast<V_IUnknown**>(&g_ShaderState.vertexObjects[i]));
    if (g_ShaderState.pixelObjects != nullptr)
        for (int i = 0; i < kPixelPrograms; ++i)
            ReleaseObject(reinterpret_cast<V_IUnknown**>(&g_ShaderState.pixelObjects[i]));
    return 0;
}

int ReleaseVertexDeclarations() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    device->SetVertexShader(nullptr);
    g_RenderStates.vertexShader = nullptr;
    g_RenderStates.vertexShaderRecord = nullptr;
    for (auto*& declaration : g_ShaderState.declarations)
        ReleaseObject(reinterpret_cast<V_IUnknown**>(&declaration));
    ReleaseObject(reinterpret_cast<V_IUnknown**>(&g_ShaderState.extraDeclaration));
    return 0;
}

namespace {

// Makes the default vertex and pixel shader objects that are missing from the pack's programs;
// false when a program is missing or the device refuses one.
bool MakeDefaultShaderObjects(V_IDirect3DDevice9* device) {
    V_IDirect3DVertexShader9** vertexObject = &g_ShaderState.vertexObjects[kDefaultVertexProgram];
    V_IDirect3DPixelShader9** pixelObject = &g_ShaderState.pixelObjects[kDefaultPixelProgram];
    const uint8_t* vertexProgram = g_ShaderState.vertexPrograms[kDefaultVertexProgram];
    const uint8_t* pixelProgram = g_ShaderState.pixelPrograms[kDefaultPixelProgram];
    if (*vertexObject == nullptr &&
        (vertexProgram == nullptr ||
         V_FAILED(device->CreateVertexShader(reinterpret_cast<const V_DWORD*>(vertexProgram),
                                             vertexObject))))
        return false;
    return *pixelObject != nullptr ||
           (pixelProgram != nullptr &&
            !V_FAILED(device->CreatePixelShader(reinterpret_cast<const V_DWORD*>(pixelProgram),
                                                pixelObject)));
}

}  // namespace

int SetupShaders() {
    ReleaseShaderObjects();
    g_ShaderState.programmable = 0;
    V_IDirect3DDevice9* device = GetDevice();
    if (device != nullptr && g_GraphicsDevice.vertexShader20 && g_GraphicsDevice.pixelShader20) {
        g_ShaderState.programmable = 1;
        if (!LoadShaderPack()) {
            WriteLog("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
            g_ShaderState.programmable = 0;
        }
        if (g_ShaderState.programmable && !MakeDefaultShaderObjects(device))
            g_ShaderState.programmable = 0;
    }
    WriteLog(g_ShaderState.programmable ? "プログラマブルシェーダーを使用します\n"
                                        : "プログラマブルシェーダーを使用しません\n");
    SetDefaultShaderConstants();
    return 0;
}

int RemakeShaderObjects() {
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr || !g_ShaderState.programmable ||
        g_ShaderState.vertexObjects == nullptr || g_ShaderState.pixelObjects == nullptr)
        return 0;
    // The choice of shaders stands; only the objects that are missing are made from their code.
    if (!MakeDefaultShaderObjects(device)) {
        ReleaseShaderObjects();
        g_ShaderState.programmable = 0;
    }
    return 0;
}

int BuildVertexDeclaration(int normals, int skinning, int texCoords,
                           V_D3DVERTEXELEMENT9 elements[24]) {
    int count = 0;
    V_WORD offset = 0;
    auto add = [&](V_BYTE type, V_BYTE usage, V_BYTE usageIndex, V_WORD size) {
        elements[count++] = {0, offset, type, V_D3DDECLMETHOD_DEFAULT, usage, usageIndex};
        offset = static_cast<V_WORD>(offset + size);
    };
    add(V_D3DDECLTYPE_FLOAT3, V_D3DDECLUSAGE_POSITION, 0, 12);
    for (int i = 0; i < skinning; ++i) add(V_D3DDECLTYPE_UBYTE4, V_D3DDECLUSAGE_BLENDINDICES, i, 4);
    for (int i = 0; i < skinning; ++i) add(V_D3DDECLTYPE_FLOAT4, V_D3DDECLUSAGE_BLENDWEIGHT, i, 16);
    for (int i = 0; i < (normals ? 3 : 1); ++i)
        add(V_D3DDECLTYPE_FLOAT3, V_D3DDECLUSAGE_NORMAL, i, 12);
    add(V_D3DDECLTYPE_D3DCOLOR, V_D3DDECLUSAGE_COLOR, 0, 4);
    add(V_D3DDECLTYPE_D3DCOLOR, V_D3DDECLUSAGE_COLOR, 1, 4);
    for (int i = 0; i < texCoords; ++i) add(V_D3DDECLTYPE_FLOAT4, V_D3DDECLUSAGE_TEXCOORD, i, 16);
    elements[count] = V_D3DDECL_END;
    return count;
}

int CreateVertexDeclarations() {
    ReleaseVertexDeclarations();
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr) return 0;
    V_D3DVERTEXELEMENT9 elements[24];
    for (int normals = 0; normals < 2; ++normals)
        for (int skinning = 0; skinning < 3; ++skinning)
            for (int texCoords = 0; texCoords < 9; ++texCoords) {
                BuildVertexDeclaration(normals, skinning, texCoords, elements);
                device->CreateVertexDeclaration(
                    elements, &g_ShaderState.declarations[(normals * 3 + skinning) * 9 + texCoords]);
            }
    const V_D3DVERTEXELEMENT9 extra[] = {
        {0, 0, V_D3DDECLTYPE_FLOAT3, 0, V_D3DDECLUSAGE_POSITION, 0},
        {0, 12, V_D3DDECLTYPE_FLOAT3, 0, V_D3DDECLUSAGE_NORMAL, 0},
        {0, 24, V_D3DDECLTYPE_D3DCOLOR, 0, V_D3DDECLUSAGE_COLOR, 0},
        {0, 28, V_D3DDECLTYPE_D3DCOLOR, 0, V_D3DDECLUSAGE_COLOR, 1},
        {0, 32, V_D3DDECLTYPE_FLOAT2, 0, V_D3DDECLUSAGE_TEXCOORD, 0},
        {0, 40, V_D3DDECLTYPE_FLOAT2, 0, V_D3DDECLUSAGE_TEXCOORD, 1},
        V_D3DDECL_END,
    };
    device->CreateVertexDeclaration(extra, &g_ShaderState.extraDeclaration);
    return 0;
}

int DeleteShader(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kShaderHandleKind) return -1;
    int slot = handle & 0xFFFF;
    if (slot >= kShaderHandleSlots) return -1;
    ShaderRecord* record = g_ShaderState.handles[slot];
    if (record == nullptr || record->check != ((static_cast<uint32_t>(handle) >> 16) & 0x7FF))
        return -1;
    if (record->object != nullptr) record->object->Release();
    --g_ShaderState.handleCount;
    if (slot == g_ShaderState.handleHigh) {
        int next = slot - 1;
        while (next >= 0 && g_ShaderState.handles[next] == nullptr) --next;
        g_ShaderState.handleHigh = next < 0 ? 0 : next;
    }
    FreeMemory(record);
    g_ShaderState.handles[slot] = nullptr;
    return 0;
}

int DeleteAllShaders() {
    if (!g_ScreenSettings.initialised) return 0;
    // Every used slot, the highest included.
    for (int i = 0; i < kShaderHandleSlots; ++i)
        if (g_ShaderState.handles[i] != nullptr) DeleteShader(g_ShaderState.handles[i]->handle);
    g_ShaderState.handleHigh = 0;
    return 0;
}
