#include "platform/kernel/kernel_process.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A global block: its size in front of the data, and a tag that tells live blocks apart.
struct GlobalBlock {
    uint32_t tag;
    size_t size;
    alignas(16) unsigned char data[1];
};
constexpr uint32_t kGlobalTag = 0x474C4F42;  // "GLOB"
char g_ModuleAnchor;

GlobalBlock* ToBlock(V_HGLOBAL memory) {
    GlobalBlock* block = static_cast<GlobalBlock*>(memory);
    return block != nullptr && block->tag == kGlobalTag ? block : nullptr;
}

}  // namespace

V_HMODULE V_GetModuleHandleA(const char* name) {
    if (name != nullptr) return nullptr;
    return reinterpret_cast<V_HMODULE>(&g_ModuleAnchor);
}

V_UINT V_GetOEMCP() { return 932; }

void V_ExitProcess(V_UINT exitCode) { std::_Exit(static_cast<int>(exitCode & 0xFF)); }

V_HGLOBAL V_GlobalAlloc(V_UINT flags, size_t bytes) {
    if (bytes > (SIZE_MAX >> 1)) return nullptr;
    size_t total = offsetof(GlobalBlock, data) + (bytes == 0 ? 1 : bytes);
    void* raw = std::malloc(total);
    if (raw == nullptr) return nullptr;
    GlobalBlock* block = new (raw) GlobalBlock;
    block->tag = kGlobalTag;
    block->size = bytes;
    if (flags & V_GMEM_ZEROINIT) std::memset(block->data, 0, bytes == 0 ? 1 : bytes);
    return block;
}

void* V_GlobalLock(V_HGLOBAL memory) {
    GlobalBlock* block = ToBlock(memory);
    return block != nullptr ? block->data : nullptr;
}

V_BOOL V_GlobalUnlock(V_HGLOBAL memory) { return ToBlock(memory) != nullptr ? V_TRUE : V_FALSE; }

size_t V_GlobalSize(V_HGLOBAL memory) {
    GlobalBlock* block = ToBlock(memory);
    return block != nullptr ? block->size : 0;
}

V_HGLOBAL V_GlobalFree(V_HGLOBAL memory) {
    GlobalBlock* block = ToBlock(memory);
    if (block == nullptr) return memory;
    block->tag = 0;
    std::free(block);
    return nullptr;
}
