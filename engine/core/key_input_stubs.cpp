// Least versions of the text-input calls: the 1025-byte character code ring and no editing.
#include "core/key_input_stubs.h"

#include "core/core.h"

namespace {

constexpr int kBufferSize = 1025;
unsigned char g_Codes[kBufferSize];
int g_Read = 0;
int g_Write = 0;

}  // namespace

int InitKeyInput() {
    WriteLog("文字コードバッファの初期化を行います... ");
    g_Read = g_Write = 0;
    WriteLog("完了しました\n");
    return 0;
}

int IsCharCodeBufferFull() { return (g_Write + 1) % kBufferSize == g_Read ? 1 : 0; }

int PushCharCode(unsigned char code) {
    if (IsCharCodeBufferFull()) return -1;
    g_Codes[g_Write] = code;
    g_Write = (g_Write + 1) % kBufferSize;
    return 0;
}

int PopCharCode(char out[2], int remove) {
    out[0] = out[1] = 0;
    if (g_Read == g_Write) return 0;
    out[0] = static_cast<char>(g_Codes[g_Read]);
    if (remove) g_Read = (g_Read + 1) % kBufferSize;
    return 1;
}

int ProcessKeyInput() { return 0; }

V_LRESULT HandleImeMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    return V_DefWindowProcA(window, message, wParam, lParam);
}

int DeleteAllKeyInputs() { return 0; }

int GetImeUseFlag() { return 0; }
