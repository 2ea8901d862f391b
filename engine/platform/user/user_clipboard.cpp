// The clipboard: code page 932 text in global blocks here, UTF-8 text on the desktop.
#include <cstring>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_process.h"
#include "platform/user/user_internal.h"

namespace {

struct ClipboardState {
    bool open = false;
    V_HGLOBAL fetched = nullptr;  // the block handed out by V_GetClipboardData
};

ClipboardState& State() {
    static ClipboardState* state = new ClipboardState;
    return *state;
}

void DropFetched() {
    ClipboardState& state = State();
    if (state.fetched != nullptr) V_GlobalFree(state.fetched);
    state.fetched = nullptr;
}

}  // namespace

V_BOOL V_OpenClipboard(V_HWND) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    ClipboardState& state = State();
    if (state.open || !UserEnsureVideo()) return V_FALSE;
    state.open = true;
    return V_TRUE;
}

V_BOOL V_CloseClipboard() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    ClipboardState& state = State();
    if (!state.open) return V_FALSE;
    state.open = false;
    DropFetched();
    return V_TRUE;
}

V_BOOL V_EmptyClipboard() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    if (!State().open) return V_FALSE;
    DropFetched();
    return SDL_SetClipboardText("") == 0 ? V_TRUE : V_FALSE;
}

V_HANDLE V_SetClipboardData(V_UINT format, V_HANDLE data) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    if (!State().open || format != V_CF_TEXT || data == nullptr) return nullptr;
    const char* text = static_cast<const char*>(V_GlobalLock(data));
    size_t size = V_GlobalSize(data);
    if (text == nullptr) return nullptr;
    // The block's text ends at its first 0 byte or at its end.
    std::vector<char> cp932(text, text + size);
    cp932.push_back('\0');
    std::vector<char> utf8(cp932.size() * 3 + 1);
    bool converted = V_Cp932ToUtf8(cp932.data(), utf8.data(), utf8.size());
    V_GlobalUnlock(data);
    V_GlobalFree(data);  // the clipboard owns the block from here on
    if (!converted || SDL_SetClipboardText(utf8.data()) != 0) return nullptr;
    return data;
}

V_HANDLE V_GetClipboardData(V_UINT format) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    if (!State().open || format != V_CF_TEXT || !SDL_HasClipboardText()) return nullptr;
    char* utf8 = SDL_GetClipboardText();
    if (utf8 == nullptr) return nullptr;
    size_t length = std::strlen(utf8);
    std::vector<char> cp932(length * 2 + 1);
    V_Utf8ToCp932WithDefault(utf8, cp932.data(), cp932.size());
    SDL_free(utf8);
    if (cp932[0] == '\0') return nullptr;
    size_t size = std::strlen(cp932.data()) + 1;
    V_HGLOBAL block = V_GlobalAlloc(V_GMEM_MOVEABLE, size);
    if (block == nullptr) return nullptr;
    std::memcpy(V_GlobalLock(block), cp932.data(), size);
    V_GlobalUnlock(block);
    DropFetched();
    State().fetched = block;
    return block;
}
