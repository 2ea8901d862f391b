// The model base and instance tables: start-up with the sine table, making, reserving and
// deleting entries, and the end of the model support.
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "draw/model.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"

ModelSystem g_Models;

namespace {

bool IsRecord(void* slot) { return slot != nullptr && slot != kModelSlotReserved; }

// The first free slot of a table, growing the array when every slot is taken; -1 when the
// table is at its limit or memory runs out.
int TakeSlot(void*** slots, int32_t* slotCount, int limit) {
    for (int i = 0; i < *slotCount; ++i)
        if ((*slots)[i] == nullptr) return i;
    if (*slotCount >= limit) return -1;
    int grown = *slotCount == 0 ? 16 : *slotCount * 2;
    if (grown > limit) grown = limit;
    auto* array = static_cast<void**>(VELK_ALLOC_ZEROED(sizeof(void*) * static_cast<size_t>(grown)));
    if (array == nullptr) return -1;
    if (*slots != nullptr) {
        std::memcpy(array, *slots, sizeof(void*) * static_cast<size_t>(*slotCount));
        FreeMemory(*slots);
    }
    int slot = *slotCount;
    *slots = array;
    *slotCount = grown;
    return slot;
}

int BaseSlotOf(int handle) {
    if (handle < 0 || (handle & kHandleKindMask) != kModelBaseHandleKind) return -1;
    int slot = handle & kModelBaseSlotMask;
    return slot < g_Models.bases.slotCount ? slot : -1;
}

int InstanceSlotOf(int handle) {
    int slot = HandleSlot(handle, kModelInstanceHandleKind, kModelInstanceSlotLimit);
    return slot >= 0 && slot < g_Models.instances.slotCount ? slot : -1;
}

int BaseHandle(int slot) { return kModelBaseHandleKind | slot; }

void FreeSource(ModelImageSource* source) {
    if (source->fileName != nullptr) FreeMemory(source->fileName);
    if (source->memory != nullptr) FreeMemory(source->memory);
    *source = {};
}

char* CopyName(const char* name) {
    if (name == nullptr) return nullptr;
    size_t length = std::strlen(name) + 1;
    auto* copy = static_cast<char*>(VELK_ALLOC(length));
    if (copy != nullptr) std::memcpy(copy, name, length);
    return copy;
}

void FreeBaseRecord(ModelBase* base) {
    FreeModelTextures(base->textures, base->textureCount);
    for (int i = 0; i < base->meshCount; ++i) {
        if (base->meshes[i].vertices != nullptr) FreeMemory(base->meshes[i].vertices);
        if (base->meshes[i].indices != nullptr) FreeMemory(base->meshes[i].indices);
    }
    if (base->meshes != nullptr) FreeMemory(base->meshes);
    FreeMemory(base);
}

void FreeInstanceRecord(ModelInstance* instance) {
    while (instance->slots != nullptr) {
        ModelInstanceSlot* next = instance->slots->next;
        if (instance->slots->data != nullptr) FreeMemory(instance->slots->data);
        FreeMemory(instance->slots);
        instance->slots = next;
    }
    for (int f = 0; f < instance->frameCount; ++f) {
        ModelFrame& frame = instance->frames[f];
        while (frame.attached != nullptr) {
            ModelHeapNode* next = frame.attached->next;
            if (frame.attached->data != nullptr) FreeMemory(frame.attached->data);
            FreeMemory(frame.attached);
            frame.attached = next;
        }
        for (void* buffer : frame.buffers)
            if (buffer != nullptr) FreeMemory(buffer);
    }
    if (instance->frames != nullptr) FreeMemory(instance->frames);
    for (void* buffer : instance->buffers)
        if (buffer != nullptr) FreeMemory(buffer);
    if (instance->deviceBuffers != nullptr) FreeMemory(instance->deviceBuffers);
    FreeModelTextures(instance->textures, instance->textureCount);
    FreeMemory(instance);
}

}  // namespace

int InitModels() {
    ModelSystem& m = g_Models;
    if (m.initialised || !g_ScreenSettings.useDirect3D) return 0;
    // Single precision throughout, with pi as the float 3.1415927.
    const float pi = 3.1415927f;
    for (int i = 0; i < kSineTableSize; ++i)
        m.sineTable[i] = std::sin(static_cast<float>(i) * pi * 2.0f * (1.0f / 65536.0f));
    m.nearRightAngle = 1.5620697f;
    m.bases = {};
    m.instances = {};
    for (int32_t& graph : m.defaultTextures) graph = -1;
    m.initialised = 1;
    return 0;
}

ModelBase* GetModelBase(int handle) {
    int slot = BaseSlotOf(handle);
    if (slot < 0 || !IsRecord(g_Models.bases.slots[slot])) return nullptr;
    return static_cast<ModelBase*>(g_Models.bases.slots[slot]);
}

ModelInstance* GetModelInstance(int handle) {
    int slot = InstanceSlotOf(handle);
    if (slot < 0 || !IsRecord(g_Models.instances.slots[slot])) return nullptr;
    auto* instance = static_cast<ModelInstance*>(g_Models.instances.slots[slot]);
    return HandleCheckMatches(instance->checkNumber, handle) ? instance : nullptr;
}

int NewModelBase() {
    ModelBaseTable& t = g_Models.bases;
    if (!g_Models.initialised) return -1;
    int slot = TakeSlot(&t.slots, &t.slotCount, kModelBaseSlotMask + 1);
    if (slot < 0) return -1;
    auto* base = static_cast<ModelBase*>(VELK_ALLOC_ZEROED(sizeof(ModelBase)));
    if (base == nullptr) return -1;
    base->useCount = 1;
    t.slots[slot] = base;
    ++t.count;
    return BaseHandle(slot);
}

int ReserveModelBaseSlot() {
    ModelBaseTable& t = g_Models.bases;
    if (!g_Models.initialised) return -1;
    int slot = TakeSlot(&t.slots, &t.slotCount, kModelBaseSlotMask + 1);
    if (slot < 0) return -1;
    t.slots[slot] = kModelSlotReserved;
    ++t.count;
    return BaseHandle(slot);
}

int NewModelInstance(int baseHandle) {
    ModelInstanceTable& t = g_Models.instances;
    ModelBase* base = GetModelBase(baseHandle);
    if (base == nullptr) return -1;
    int slot = TakeSlot(&t.slots, &t.slotCount, kModelInstanceSlotLimit);
    if (slot < 0) return -1;
    auto* instance = static_cast<ModelInstance*>(VELK_ALLOC_ZEROED(sizeof(ModelInstance)));
    if (instance == nullptr) return -1;
    instance->checkNumber = NextCheckNumber(&t.checkCounter);
    instance->base = baseHandle;
    ++base->useCount;
    t.slots[slot] = instance;
    ++t.count;
    return MakeHandle(instance->checkNumber, kModelInstanceHandleKind, slot);
}

int ReserveModelInstanceSlot() {
    ModelInstanceTable& t = g_Models.instances;
    if (!g_Models.initialised) return -1;
    int slot = TakeSlot(&t.slots, &t.slotCount, kModelInstanceSlotLimit);
    if (slot < 0) return -1;
    t.slots[slot] = kModelSlotReserved;
    ++t.count;
    return MakeHandle(NextCheckNumber(&t.checkCounter), kModelInstanceHandleKind, slot);
}

int DeleteModelBase(int handle) {
    ModelBaseTable& t = g_Models.bases;
    int slot = BaseSlotOf(handle);
    if (slot < 0 || t.slots[slot] == nullptr) return -1;
    if (t.slots[slot] == kModelSlotReserved) {
        t.slots[slot] = nullptr;
        --t.count;
        return 0;
    }
    auto* base = static_cast<ModelBase*>(t.slots[slot]);
    if (--base->useCount > 0) return 0;
    ReleaseModelBaseBuffers(handle);
    FreeBaseRecord(base);
    t.slots[slot] = nullptr;
    --t.count;
    return 0;
}

int DeleteModelInstance(int handle) {
    ModelInstanceTable& t = g_Models.instances;
    int slot = InstanceSlotOf(handle);
    if (slot < 0 || t.slots[slot] == nullptr) return -1;
    if (t.slots[slot] == kModelSlotReserved) {
        t.slots[slot] = nullptr;
        --t.count;
        return 0;
    }
    auto* instance = static_cast<ModelInstance*>(t.slots[slot]);
    if (!HandleCheckMatches(instance->checkNumber, handle)) return -1;
    ReleaseModelInstanceBuffers(handle);
    int base = instance->base;
    FreeInstanceRecord(instance);
    t.slots[slot] = nullptr;
    --t.count;
    DeleteModelBase(base);
    return 0;
}

int EndModels() {
    ModelSystem& m = g_Models;
    for (int slot = 0; slot < m.instances.slotCount; ++slot) {
        void* entry = m.instances.slots[slot];
        if (entry == nullptr) continue;
        uint32_t check = IsRecord(entry) ? static_cast<ModelInstance*>(entry)->checkNumber : 0;
        if (!IsRecord(entry)) {
            m.instances.slots[slot] = nullptr;
            --m.instances.count;
            continue;
        }
        DeleteModelInstance(MakeHandle(check, kModelInstanceHandleKind, slot));
    }
    // A base still held by uses of its own goes too: the library is ending.
    for (int slot = 0; slot < m.bases.slotCount; ++slot)
        while (m.bases.slots[slot] != nullptr) DeleteModelBase(BaseHandle(slot));
    if (m.bases.slots != nullptr) FreeMemory(m.bases.slots);
    if (m.instances.slots != nullptr) FreeMemory(m.instances.slots);
    m.bases = {};
    m.instances = {};
    m.initialised = 0;
    return 0;
}

int AddModelMesh(int baseHandle, const void* vertices, uint32_t vertexBytes, uint32_t stride,
                 uint32_t fvf, const uint16_t* indices, uint32_t indexBytes, int shading,
                 int skinning, int weights) {
    ModelBase* base = GetModelBase(baseHandle);
    if (base == nullptr || vertices == nullptr || indices == nullptr || vertexBytes == 0 ||
        indexBytes == 0 || shading < 0 || shading >= kModelListShading || skinning < 0 ||
        skinning >= kModelListSkinning || weights < 0 || weights >= kModelListWeights)
        return -1;
    auto* meshes = static_cast<ModelMesh*>(
        VELK_ALLOC_ZEROED(sizeof(ModelMesh) * static_cast<size_t>(base->meshCount + 1)));
    auto* v = static_cast<uint8_t*>(VELK_ALLOC(vertexBytes));
    auto* ix = static_cast<uint8_t*>(VELK_ALLOC(indexBytes));
    if (meshes == nullptr || v == nullptr || ix == nullptr) {
        if (meshes != nullptr) FreeMemory(meshes);
        if (v != nullptr) FreeMemory(v);
        if (ix != nullptr) FreeMemory(ix);
        return -1;
    }
    if (base->meshes != nullptr) {
        std::memcpy(meshes, base->meshes, sizeof(ModelMesh) * static_cast<size_t>(base->meshCount));
        FreeMemory(base->meshes);
    }
    std::memcpy(v, vertices, vertexBytes);
    std::memcpy(ix, indices, indexBytes);
    ModelMesh& mesh = meshes[base->meshCount];
    mesh.vertices = v;
    mesh.vertexBytes = vertexBytes;
    mesh.vertexStride = stride;
    mesh.fvf = fvf;
    mesh.indices = ix;
    mesh.indexBytes = indexBytes;
    mesh.shading = shading;
    mesh.skinning = skinning;
    mesh.weights = weights;
    base->meshes = meshes;
    ++base->meshCount;
    return 0;
}

int AddModelTexture(ModelTexture** textures, int32_t* count, const char* colourFile,
                    const char* alphaFile, int normalMap, float normalScale, int graph) {
    auto* grown = static_cast<ModelTexture*>(
        VELK_ALLOC_ZEROED(sizeof(ModelTexture) * static_cast<size_t>(*count + 1)));
    if (grown == nullptr) return -1;
    if (*textures != nullptr) {
        std::memcpy(grown, *textures, sizeof(ModelTexture) * static_cast<size_t>(*count));
        FreeMemory(*textures);
    }
    ModelTexture& texture = grown[*count];
    texture.colour.fileName = CopyName(colourFile);
    texture.alpha.fileName = CopyName(alphaFile);
    texture.normalMap = normalMap;
    texture.normalScale = normalScale;
    texture.graph = graph;
    *textures = grown;
    ++*count;
    return 0;
}

void FreeModelTextures(ModelTexture* textures, int count) {
    if (textures == nullptr) return;
    for (int i = 0; i < count; ++i) {
        FreeSource(&textures[i].colour);
        FreeSource(&textures[i].alpha);
        if (textures[i].graph != -1) DeleteGraph(textures[i].graph);
    }
    FreeMemory(textures);
}
