// Input method stand-ins over SDL's text-editing and text-input events.
#include "platform/imm/imm.h"

#include <cstring>
#include <mutex>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "platform/user/user_internal.h"

namespace {

struct ImmState {
    std::mutex lock;
    std::string composition;  // code page 932
    std::string result;       // results not yet read
    V_LONG cursorBytes = 0;
    bool composing = false;
    bool open = false;
};

ImmState& State() {
    static ImmState* state = new ImmState;
    return *state;
}

// The token every window's input context is.
char g_Context;

std::string ToCp932(const char* utf8) {
    std::string out;
    size_t size = std::strlen(utf8) * 2 + 2;
    out.resize(size);
    V_Utf8ToCp932WithDefault(utf8, out.data(), size);
    out.resize(std::strlen(out.c_str()));
    return out;
}

// Byte length of the first `characters` UTF-8 characters of text.
size_t Utf8Prefix(const char* text, int characters) {
    size_t i = 0;
    for (int n = 0; text[i] != '\0' && n < characters; ++n) {
        ++i;
        while ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return i;
}

V_LONG CopyOut(const std::string& data, void* buffer, V_DWORD size) {
    if (buffer == nullptr || size == 0) return static_cast<V_LONG>(data.size());
    size_t n = data.size() < size ? data.size() : size;
    std::memcpy(buffer, data.data(), n);
    return static_cast<V_LONG>(n);
}

}  // namespace

V_HIMC V_ImmGetContext(V_HWND window) {
    return window != nullptr ? reinterpret_cast<V_HIMC>(&g_Context) : nullptr;
}

V_BOOL V_ImmReleaseContext(V_HWND, V_HIMC context) { return context != nullptr; }

V_LONG V_ImmGetCompositionStringA(V_HIMC context, V_DWORD index, void* buffer, V_DWORD size) {
    if (context == nullptr) return V_IMM_ERROR_GENERAL;
    ImmState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    switch (index) {
    case V_GCS_COMPSTR: return CopyOut(state.composition, buffer, size);
    case V_GCS_CURSORPOS: return state.cursorBytes;
    case V_GCS_RESULTSTR: {
        V_LONG n = CopyOut(state.result, buffer, size);
        if (buffer != nullptr && size != 0) state.result.erase(0, static_cast<size_t>(n));
        return n;
    }
    default: return V_IMM_ERROR_NODATA;
    }
}

V_BOOL V_ImmSetCompositionStringA(V_HIMC, V_DWORD, const void*, V_DWORD, const void*, V_DWORD) {
    return V_FALSE;
}

V_DWORD V_ImmGetCandidateListA(V_HIMC, V_DWORD, void*, V_DWORD) { return 0; }

V_BOOL V_ImmGetOpenStatus(V_HIMC context) {
    if (context == nullptr) return V_FALSE;
    ImmState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.open ? V_TRUE : V_FALSE;
}

V_BOOL V_ImmSetOpenStatus(V_HIMC, V_BOOL) { return V_FALSE; }

V_BOOL V_ImmNotifyIME(V_HIMC context, V_DWORD action, V_DWORD index, V_DWORD) {
    if (context == nullptr || action != V_NI_COMPOSITIONSTR || index != V_CPS_CANCEL)
        return V_FALSE;
    ImmState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.composition.clear();
    state.cursorBytes = 0;
    return V_TRUE;
}

void ImmConvertEditingEvent(SDL_Event& event) {
    const char* text = nullptr;
    int start = 0;
    uint32_t windowId = 0;
    if (event.type == SDL_TEXTEDITING_EXT) {
        text = event.editExt.text;
        start = event.editExt.start;
        windowId = event.editExt.windowID;
    } else {
        text = event.edit.text;
        start = event.edit.start;
        windowId = event.edit.windowID;
    }
    if (text != nullptr && UserImeEnabled()) {
        V_HWND window = nullptr;
        {
            std::lock_guard<std::recursive_mutex> lock(UserLock());
            UserWindow* record = windowId != 0 ? UserFindWindowBySdlId(windowId) : nullptr;
            if (record == nullptr) record = UserFirstWindow();
            if (record != nullptr) window = UserHandle(record);
        }
        if (window != nullptr) {
            ImmState& state = State();
            bool begin = false, end = false;
            {
                std::lock_guard<std::mutex> guard(state.lock);
                state.composition = ToCp932(text);
                std::string head(text, Utf8Prefix(text, start));
                state.cursorBytes = static_cast<V_LONG>(ToCp932(head.c_str()).size());
                if (!state.composition.empty()) state.open = true;
                begin = !state.composing && !state.composition.empty();
                end = state.composing && state.composition.empty();
                state.composing = !state.composition.empty();
            }
            if (begin) V_PostMessageA(window, V_WM_IME_STARTCOMPOSITION, 0, 0);
            if (begin || state.composing)
                V_PostMessageA(window, V_WM_IME_COMPOSITION, 0,
                               static_cast<V_LPARAM>(V_GCS_COMPSTR | V_GCS_CURSORPOS));
            if (end) V_PostMessageA(window, V_WM_IME_ENDCOMPOSITION, 0, 0);
        }
    }
    if (event.type == SDL_TEXTEDITING_EXT && event.editExt.text != nullptr) {
        SDL_free(event.editExt.text);
        event.editExt.text = nullptr;
    }
}

bool ImmConvertTextInput(V_HWND window, const char* utf8) {
    ImmState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.composing) return false;
        state.result += ToCp932(utf8);
        state.composition.clear();
        state.cursorBytes = 0;
        state.composing = false;
    }
    V_PostMessageA(window, V_WM_IME_COMPOSITION, 0,
                   static_cast<V_LPARAM>(V_GCS_RESULTSTR | V_GCS_COMPSTR));
    V_PostMessageA(window, V_WM_IME_ENDCOMPOSITION, 0, 0);
    return true;
}
