// Byte rings: the storage of the network layer. A ring grows to what it needs plus 1000 bytes
// and unwraps its contents when it grows.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"

void WrapRingBuffer(RingBuffer* ring) {
    if (ring->readPosition == ring->capacity) ring->readPosition = 0;
    if (ring->writePosition == ring->capacity) ring->writePosition = 0;
}

int ReserveRingBuffer(int32_t needed, RingBuffer* ring) {
    WrapRingBuffer(ring);
    if (needed < 0) return -1;
    const int64_t wanted = static_cast<int64_t>(ring->stored) + needed;
    if (ring->capacity >= wanted) return 0;
    const int64_t capacity = wanted + 1000;
    auto* data = capacity <= INT32_MAX ? static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(capacity), __FILE__, __LINE__))
                                       : nullptr;
    if (data == nullptr) {
        FreeRingBuffer(ring);
        WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)",
                       static_cast<long long>(capacity));
        return -1;
    }
    if (ring->stored > 0) {
        if (static_cast<int64_t>(ring->readPosition) + ring->stored > ring->capacity) {
            const int32_t tail = ring->capacity - ring->readPosition;
            std::memcpy(data, ring->data + ring->readPosition, static_cast<size_t>(tail));
            std::memcpy(data + tail, ring->data, static_cast<size_t>(ring->stored - tail));
        } else {
            std::memcpy(data, ring->data + ring->readPosition, static_cast<size_t>(ring->stored));
        }
    }
    FreeMemory(ring->data);
    ring->data = data;
    ring->capacity = static_cast<int32_t>(capacity);
    ring->readPosition = 0;
    ring->writePosition = ring->stored;
    return 0;
}

int FreeRingBuffer(RingBuffer* ring) {
    FreeMemory(ring->data);
    ring->data = nullptr;
    ring->readPosition = ring->writePosition = ring->stored = ring->capacity = 0;
    return 0;
}
