// The handle table of kernel objects and V_CloseHandle.
#include <cerrno>
#include <unistd.h>

#include "platform/kernel/kernel_objects.h"

namespace {

struct HandleSlot {
    std::shared_ptr<KernelObject> object;
    uint32_t generation = 1;
};

// Handle value: generation in the high 32 bits, slot index + 1 in the low ones, so a value
// is never 0 or -1 and a stale handle of a reused slot is refused.
struct HandleTable {
    std::mutex lock;
    std::vector<HandleSlot> slots;
    std::vector<uint32_t> freeSlots;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // outlives threads still running at exit
    return *table;
}

bool DecodeHandle(V_HANDLE handle, uint32_t& index, uint32_t& generation) {
    uint64_t value = reinterpret_cast<uintptr_t>(handle);
    uint32_t low = static_cast<uint32_t>(value);
    if (low == 0 || (value >> 63) != 0) return false;
    index = low - 1;
    generation = static_cast<uint32_t>(value >> 32);
    return true;
}

}  // namespace

FileObject::~FileObject() {
    if (fd >= 0) close(fd);
}

std::mutex& WaitLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

V_HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uint32_t index;
    if (!table.freeSlots.empty()) {
        index = table.freeSlots.back();
        table.freeSlots.pop_back();
    } else {
        if (table.slots.size() >= 0x7FFFFFFFu) {
            V_SetLastError(V_ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = static_cast<uint32_t>(table.slots.size());
        table.slots.emplace_back();
    }
    HandleSlot& slot = table.slots[index];
    slot.object = std::move(object);
    uint64_t value = (static_cast<uint64_t>(slot.generation) << 32) | (index + 1u);
    return reinterpret_cast<V_HANDLE>(static_cast<uintptr_t>(value));
}

std::shared_ptr<KernelObject> LookupKernelObject(V_HANDLE handle) {
    uint32_t index, generation;
    if (DecodeHandle(handle, index, generation)) {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        if (index < table.slots.size() && table.slots[index].generation == generation &&
            table.slots[index].object)
            return table.slots[index].object;
    }
    V_SetLastError(V_ERROR_INVALID_HANDLE);
    return nullptr;
}

bool ReleaseKernelObject(V_HANDLE handle) {
    uint32_t index, generation;
    std::shared_ptr<KernelObject> released;  // destroyed after the table lock is dropped
    if (DecodeHandle(handle, index, generation)) {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        if (index < table.slots.size() && table.slots[index].generation == generation &&
            table.slots[index].object) {
            HandleSlot& slot = table.slots[index];
            released = std::move(slot.object);
            slot.object.reset();
            slot.generation = (slot.generation % 0x7FFFFFFFu) + 1;
            table.freeSlots.push_back(index);
        }
    }
    if (!released) {
        V_SetLastError(V_ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

V_BOOL V_CloseHandle(V_HANDLE handle) {
    // A file's descriptor, a search's list, an event or a thread's record go with the last
    // reference: a thread still running or a waiter still waiting holds one of its own.
    return ReleaseKernelObject(handle) ? V_TRUE : V_FALSE;
}

V_DWORD ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return V_ERROR_SUCCESS;
        case ENOENT:
            return V_ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return V_ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case EBUSY:
            return V_ERROR_ACCESS_DENIED;
        case ENOTEMPTY:
            return V_ERROR_DIR_NOT_EMPTY;
        case EEXIST:
            return V_ERROR_FILE_EXISTS;
        case EBADF:
            return V_ERROR_INVALID_HANDLE;
        case ENOMEM:
            return V_ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG:
            return V_ERROR_FILENAME_EXCED_RANGE;
        case ENOSPC:
            return V_ERROR_DISK_FULL;
        default:
            return V_ERROR_INVALID_PARAMETER;
    }
}
