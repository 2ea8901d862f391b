// Memory streams: read-only views of a caller's memory block, read like files.
#include <cstring>

#include "core/core.h"

namespace {

struct MemoryStream {
    const unsigned char* data;  // not owned
    uint32_t size;
    uint32_t position;  // always within 0..size
    int32_t endFlag;    // 1 after a read that started at the end
};

MemoryStream* ToStream(intptr_t handle) { return reinterpret_cast<MemoryStream*>(handle); }

}  // namespace

intptr_t OpenMemoryStream(const void* data, uint32_t size) {
    // No memory behind a non-empty view: no stream.
    if (data == nullptr && size != 0) return 0;
    auto* stream = static_cast<MemoryStream*>(VELK_ALLOC_ZEROED(sizeof(MemoryStream)));
    if (stream == nullptr) return 0;
    stream->data = static_cast<const unsigned char*>(data);
    stream->size = size;
    return reinterpret_cast<intptr_t>(stream);
}

int CloseMemoryStream(intptr_t handle) {
    FreeMemory(ToStream(handle));
    return 0;
}

int32_t TellMemoryStream(intptr_t handle) { return static_cast<int32_t>(ToStream(handle)->position); }

int SeekMemoryStream(intptr_t handle, int32_t offset, int origin) {
    MemoryStream* stream = ToStream(handle);
    int64_t target = offset;
    if (origin == 1) target += stream->position;
    else if (origin == 2) target += stream->size;
    if (target < 0) target = 0;
    if (target > stream->size) target = stream->size;
    stream->position = static_cast<uint32_t>(target);
    stream->endFlag = 0;
    return 0;
}

size_t ReadMemoryStream(void* buffer, size_t elementSize, size_t count, intptr_t handle) {
    MemoryStream* stream = ToStream(handle);
    if (stream->position >= stream->size) {
        stream->endFlag = 1;
        return 0;
    }
    if (elementSize == 0 || count == 0) return 0;
    const size_t remaining = stream->size - stream->position;
    const unsigned char* source = stream->data + stream->position;
    size_t bytes = 0;
    size_t result = 0;
    if (count <= remaining / elementSize) {
        bytes = elementSize * count;
        result = count;
    } else if (remaining >= elementSize) {
        result = remaining / elementSize;
        bytes = result * elementSize;
    } else {
        // Not one whole element left: the last partial element counts as one read.
        bytes = remaining;
        result = 1;
    }
    std::memcpy(buffer, source, bytes);
    stream->position += static_cast<uint32_t>(bytes);
    stream->endFlag = 0;
    return result;
}

int IsMemoryStreamEof(intptr_t handle) { return ToStream(handle)->endFlag; }

int IsMemoryStreamIdle(intptr_t) { return 1; }
