// The IME: composition string, cursor, clauses and candidate list as the IME messages report
// them, the IME switch, and the re-open sequence after the window comes back.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/key_input.h"
#include "core/window.h"
#include "platform/imm/imm.h"

namespace {

constexpr int64_t kOpenStatusWaitMicroseconds = 2000;

void FreeCandidateList() {
    ImeState& ime = g_KeyInput.ime;
    if (ime.candidateList != nullptr) FreeMemory(ime.candidateList);
    ime.candidateList = nullptr;
    ime.candidateListSize = 0;
}

// Reads the composition string, leaving room for its terminator.
void ReadComposition(V_HIMC context) {
    ImeState& ime = g_KeyInput.ime;
    V_LONG size = V_ImmGetCompositionStringA(context, V_GCS_COMPSTR, ime.composition,
                                             kCompositionSize - 1);
    if (size < 0) size = 0;
    if (size > kCompositionSize - 1) size = kCompositionSize - 1;
    ime.composition[size] = 0;
}

void ReadResult(V_HIMC context) {
    V_LONG size = V_ImmGetCompositionStringA(context, V_GCS_RESULTSTR, nullptr, 0);
    if (size <= 0) return;
    char* result = static_cast<char*>(VELK_ALLOC(static_cast<size_t>(size) + 1));
    if (result == nullptr) return;
    V_LONG read = V_ImmGetCompositionStringA(context, V_GCS_RESULTSTR, result,
                                             static_cast<V_DWORD>(size));
    for (V_LONG i = 0; i < read; ++i) PushCharCode(static_cast<unsigned char>(result[i]));
    FreeMemory(result);
}

void HandleComposition(V_HWND window, V_LPARAM flags) {
    ImeState& ime = g_KeyInput.ime;
    V_HIMC context = V_ImmGetContext(window);
    if (context == nullptr) return;
    if (flags & V_GCS_COMPSTR) ReadComposition(context);
    if (flags & V_GCS_RESULTSTR) {
        ReadResult(context);
        ReadComposition(context);
    }
    if (flags & V_GCS_CURSORPOS) {
        V_LONG cursor = V_ImmGetCompositionStringA(context, V_GCS_CURSORPOS, nullptr, 0);
        ime.compositionCursor =
            cursor > 0 ? CountCharacters(ime.composition, static_cast<int>(cursor)) : 0;
    }
    if (flags & V_GCS_COMPCLAUSE) {
        V_LONG size = V_ImmGetCompositionStringA(context, V_GCS_COMPCLAUSE, ime.clauses,
                                                 sizeof(ime.clauses));
        ime.clauseWords = size > 0 ? static_cast<int>(size / 4) : 0;
    }
    V_ImmReleaseContext(window, context);
}

void ReadCandidateList(V_HWND window) {
    V_HIMC context = V_ImmGetContext(window);
    V_DWORD size = V_ImmGetCandidateListA(context, 0, nullptr, 0);
    if (size == 0) {
        WriteLogFormat("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n",
                       static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)),
                       static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
        V_ImmReleaseContext(window, context);
        return;
    }
    FreeCandidateList();
    ImeState& ime = g_KeyInput.ime;
    ime.candidateList = VELK_ALLOC(size);
    if (ime.candidateList == nullptr)
        FatalExitFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                        static_cast<int>(size));
    ime.candidateListSize = static_cast<int>(size);
    if (V_ImmGetCandidateListA(context, 0, ime.candidateList, size) == 0) {
        FreeCandidateList();
        WriteLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d\n", static_cast<int>(size));
    }
    V_ImmReleaseContext(window, context);
}

void HandleOpenStatusChange(V_HWND window, V_WPARAM wParam, V_LPARAM lParam) {
    ImeState& ime = g_KeyInput.ime;
    if (ime.inOpenStatusChange) return;
    ime.inOpenStatusChange = 1;
    V_DefWindowProcA(window, V_WM_IME_NOTIFY, wParam, lParam);
    int64_t start = GetMicroseconds();
    while (ProcessMessage() == 0 && GetMicroseconds() - start < kOpenStatusWaitMicroseconds) {
    }
    V_HIMC context = V_ImmGetContext(window);
    ime.open = V_ImmGetOpenStatus(context) ? 1 : 0;
    V_ImmReleaseContext(window, context);
    ime.inOpenStatusChange = 0;
}

}  // namespace

int EnableIme(int flag) {
    ImeState& ime = g_KeyInput.ime;
    if ((flag != 0) == (ime.enabled != 0)) return 0;
    V_WINNLSEnableIME(g_Window.mainWindow, flag ? V_TRUE : V_FALSE);
    ime.enabled = flag ? 1 : 0;
    if (!flag) {
        FreeCandidateList();
        ime.composition[0] = 0;
        ime.composing = 0;
    }
    return 0;
}

int GetImeUseFlag() { return g_KeyInput.ime.enabled; }

void StartImeRestoreOnActivation() {
    if (g_KeyInput.ime.enabled && g_KeyInput.ime.open) g_KeyInput.ime.restoreStep = 1;
}

// The steps of the re-open sequence, all pending ones in one call.
void RunImeRestoreSequence() {
    ImeState& ime = g_KeyInput.ime;
    if (ime.restoreStep == 0) return;
    V_HWND window = g_Window.mainWindow;
    V_HIMC context = V_ImmGetContext(window);
    if (ime.restoreStep == 1) {
        CopyBytes(ime.savedComposition, ime.composition, sizeof(ime.savedComposition));
        V_ImmNotifyIME(context, V_NI_COMPOSITIONSTR, V_CPS_CANCEL, 0);
        ime.restoreStep = 2;
    }
    if (ime.restoreStep == 2) {
        V_ImmSetOpenStatus(context, V_FALSE);
        ime.restoreStep = 3;
    }
    if (ime.restoreStep == 3) {
        V_ImmSetOpenStatus(context, V_TRUE);
        ime.restoreStep = 4;
    }
    if (ime.restoreStep == 4) {
        V_ImmSetOpenStatus(context, V_TRUE);
        int length = static_cast<int>(strnlen(ime.savedComposition, kCompositionSize - 1));
        V_ImmSetCompositionStringA(context, V_SCS_SETSTR, ime.savedComposition,
                                   static_cast<V_DWORD>(length), nullptr, 0);
        ime.restoreStep = 0;
    }
    V_ImmReleaseContext(window, context);
}

V_LRESULT HandleImeMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    ImeState& ime = g_KeyInput.ime;
    ime.used = 1;
    ResetKeyInputCursorBlink();
    switch (message) {
    case V_WM_IME_STARTCOMPOSITION:
        ime.composing = 1;
        ime.compositionCursor = 0;
        return 0;
    case V_WM_IME_ENDCOMPOSITION:
        ime.composition[0] = 0;
        ime.composing = 0;
        return 0;
    case V_WM_IME_COMPOSITION:
        HandleComposition(window, lParam);
        return 0;
    case V_WM_IME_SETCONTEXT:
        return V_DefWindowProcA(window, message, wParam, lParam);
    case V_WM_IME_NOTIFY:
        switch (wParam) {
        case V_IMN_OPENCANDIDATE:
        case V_IMN_CHANGECANDIDATE:
        case V_IMN_SETCANDIDATEPOS:
            ReadCandidateList(window);
            return 0;
        case V_IMN_CLOSECANDIDATE:
            FreeCandidateList();
            return 0;
        case V_IMN_SETOPENSTATUS:
            HandleOpenStatusChange(window, wParam, lParam);
            return 0;
        default:
            return V_DefWindowProcA(window, message, wParam, lParam);
        }
    default:
        return V_DefWindowProcA(window, message, wParam, lParam);
    }
}
