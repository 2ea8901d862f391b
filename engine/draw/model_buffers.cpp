// Device buffers of the models: built from a base's meshes, released before the device goes and
// built again after it is made anew.
#include <cstring>

#include "core/core.h"
#include "draw/model.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/render_state.h"

namespace {

template <typename T>
void ReleaseObject(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

// Copies bytes into a device buffer through a temporary heap block (the buffer is written in
// one piece, from memory the buffer does not share with the base).
template <typename Buffer>
bool FillBuffer(Buffer* buffer, const uint8_t* data, uint32_t bytes) {
    auto* staging = static_cast<uint8_t*>(VELK_ALLOC(bytes));
    if (staging == nullptr) return false;
    std::memcpy(staging, data, bytes);
    void* locked = nullptr;
    bool ok = V_SUCCEEDED(buffer->Lock(0, bytes, &locked, 0)) && locked != nullptr;
    if (ok) {
        std::memcpy(locked, staging, bytes);
        buffer->Unlock();
    }
    FreeMemory(staging);
    return ok;
}

int BaseHandleOf(int slot) { return kModelBaseHandleKind | slot; }

bool IsRecord(void* slot) { return slot != nullptr && slot != kModelSlotReserved; }

}  // namespace

int ReleaseModelBaseBuffers(int handle) {
    ModelBase* base = GetModelBase(handle);
    if (base == nullptr) return -1;
    for (auto& shading : base->bufferLists)
        for (auto& skinning : shading)
            for (ModelBufferPair*& list : skinning) {
                while (list != nullptr) {
                    ModelBufferPair* next = list->next;
                    ReleaseObject(&list->vertexBuffer);
                    ReleaseObject(&list->indexBuffer);
                    FreeMemory(list);
                    list = next;
                }
            }
    base->buffersBuilt = 0;
    for (int i = 0; i < base->meshCount; ++i) {
        base->meshes[i].vertexBuffer = nullptr;
        base->meshes[i].indexBuffer = nullptr;
    }
    return 0;
}

int BuildModelBaseBuffers(int handle) {
    if (GetDevice() == nullptr) return 0;
    ModelBase* base = GetModelBase(handle);
    if (base == nullptr) return -1;
    if (base->buffersBuilt) return 0;
    ReleaseModelBaseBuffers(handle);
    for (int i = 0; i < base->meshCount; ++i) {
        ModelMesh& mesh = base->meshes[i];
        auto* pair = static_cast<ModelBufferPair*>(VELK_ALLOC_ZEROED(sizeof(ModelBufferPair)));
        if (pair == nullptr) {
            ReleaseModelBaseBuffers(handle);
            return -1;
        }
        ModelBufferPair*& list = base->bufferLists[mesh.shading][mesh.skinning][mesh.weights];
        pair->next = list;
        list = pair;
        pair->vertexBuffer =
            CreateDeviceVertexBuffer(mesh.vertexBytes, 0, mesh.fvf, V_D3DPOOL_MANAGED);
        pair->indexBuffer =
            CreateDeviceIndexBuffer(mesh.indexBytes, 0, V_D3DFMT_INDEX16, V_D3DPOOL_MANAGED);
        if (pair->vertexBuffer == nullptr || pair->indexBuffer == nullptr ||
            !FillBuffer(pair->vertexBuffer, mesh.vertices, mesh.vertexBytes) ||
            !FillBuffer(pair->indexBuffer, mesh.indices, mesh.indexBytes)) {
            ReleaseModelBaseBuffers(handle);
            return -1;
        }
        mesh.vertexBuffer = pair->vertexBuffer;
        mesh.indexBuffer = pair->indexBuffer;
    }
    base->buffersBuilt = 1;
    return 0;
}

int ReleaseModelInstanceBuffers(int handle) {
    ModelInstance* instance = GetModelInstance(handle);
    if (instance == nullptr) return -1;
    const ModelBase* base = GetModelBase(instance->base);
    if (base == nullptr || instance->deviceBuffers == nullptr) return 0;
    for (int i = 0; i < base->instanceBufferCount; ++i) ReleaseObject(&instance->deviceBuffers[i]);
    return 0;
}

int CreateModelInstanceBuffers(int handle) {
    ModelInstance* instance = GetModelInstance(handle);
    if (instance == nullptr || GetDevice() == nullptr) return -1;
    const ModelBase* base = GetModelBase(instance->base);
    if (base == nullptr || base->instanceBufferCount <= 0) return -1;
    if (instance->deviceBuffers == nullptr) {
        instance->deviceBuffers = static_cast<V_IDirect3DVertexBuffer9**>(VELK_ALLOC_ZEROED(
            sizeof(V_IDirect3DVertexBuffer9*) * static_cast<size_t>(base->instanceBufferCount)));
        if (instance->deviceBuffers == nullptr) return -1;
    }
    for (int i = 0; i < base->instanceBufferCount; ++i) {
        if (instance->deviceBuffers[i] != nullptr) continue;
        instance->deviceBuffers[i] = CreateDeviceVertexBuffer(base->instanceBufferBytes, 0, 0,
                                                              V_D3DPOOL_MANAGED);
        if (instance->deviceBuffers[i] == nullptr) return -1;
    }
    return 0;
}

int ReleaseModelDeviceObjects() {
    ModelSystem& m = g_Models;
    for (int slot = 0; slot < m.bases.slotCount; ++slot)
        if (IsRecord(m.bases.slots[slot])) ReleaseModelBaseBuffers(BaseHandleOf(slot));
    for (int slot = 0; slot < m.instances.slotCount; ++slot) {
        void* entry = m.instances.slots[slot];
        if (!IsRecord(entry)) continue;
        uint32_t check = static_cast<ModelInstance*>(entry)->checkNumber;
        ReleaseModelInstanceBuffers(MakeHandle(check, kModelInstanceHandleKind, slot));
    }
    return 0;
}

int RebuildModelBuffers() {
    ModelSystem& m = g_Models;
    for (int slot = 0; slot < m.bases.slotCount; ++slot)
        if (IsRecord(m.bases.slots[slot])) BuildModelBaseBuffers(BaseHandleOf(slot));
    return 0;
}
