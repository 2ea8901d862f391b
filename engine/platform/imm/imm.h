// Stand-ins for the input method services: the composition string, its cursor and the result
// string come from SDL's text-editing and text-input events, in code page 932; the open status
// is a flag. What SDL cannot give (candidate lists, clause information, opening the input
// method or setting the composition string from the program) gives the platform's
// "not available" answer.
#pragma once

#include <SDL.h>

#include "platform/types.h"

typedef struct V_HIMC__* V_HIMC;

// Indexes of V_ImmGetCompositionStringA, also the flags in lParam of WM_IME_COMPOSITION.
constexpr V_DWORD V_GCS_COMPSTR = 0x0008;
constexpr V_DWORD V_GCS_COMPCLAUSE = 0x0020;
constexpr V_DWORD V_GCS_CURSORPOS = 0x0080;
constexpr V_DWORD V_GCS_RESULTSTR = 0x0800;
constexpr V_LONG V_IMM_ERROR_NODATA = -1;
constexpr V_LONG V_IMM_ERROR_GENERAL = -2;

// WM_IME_NOTIFY commands.
constexpr V_WPARAM V_IMN_CHANGECANDIDATE = 0x0003;
constexpr V_WPARAM V_IMN_CLOSECANDIDATE = 0x0004;
constexpr V_WPARAM V_IMN_OPENCANDIDATE = 0x0005;
constexpr V_WPARAM V_IMN_SETOPENSTATUS = 0x0008;
constexpr V_WPARAM V_IMN_SETCANDIDATEPOS = 0x0009;

// V_ImmNotifyIME actions.
constexpr V_DWORD V_NI_COMPOSITIONSTR = 0x0015;
constexpr V_DWORD V_CPS_CANCEL = 0x0004;
constexpr V_DWORD V_SCS_SETSTR = 0x0009;

// The input context of a window (one for every window here); null for no window.
V_HIMC V_ImmGetContext(V_HWND window);
V_BOOL V_ImmReleaseContext(V_HWND window, V_HIMC context);
// Buffer null or size 0: the size in bytes the data needs. Otherwise copies at most size bytes
// (no terminator is added) and returns the bytes copied; for V_GCS_CURSORPOS the cursor's byte
// offset in the composition string. A result string is handed out once: reading it into a
// buffer empties it. Clause information is not available (V_IMM_ERROR_NODATA).
V_LONG V_ImmGetCompositionStringA(V_HIMC context, V_DWORD index, void* buffer, V_DWORD size);
// Not available: V_FALSE.
V_BOOL V_ImmSetCompositionStringA(V_HIMC context, V_DWORD index, const void* composition,
                                  V_DWORD compositionSize, const void* reading,
                                  V_DWORD readingSize);
// Not available: 0 (no candidate list).
V_DWORD V_ImmGetCandidateListA(V_HIMC context, V_DWORD index, void* list, V_DWORD size);
V_BOOL V_ImmGetOpenStatus(V_HIMC context);
// Not available: V_FALSE, the status stays.
V_BOOL V_ImmSetOpenStatus(V_HIMC context, V_BOOL open);
// V_NI_COMPOSITIONSTR with V_CPS_CANCEL drops the composition; other actions are not available.
V_BOOL V_ImmNotifyIME(V_HIMC context, V_DWORD action, V_DWORD index, V_DWORD value);

// For the event conversion of the window stand-ins (video thread): a text-editing event
// becomes the composition messages; a text-input event that ends a composition becomes the
// result (true), other text is typed characters (false).
void ImmConvertEditingEvent(SDL_Event& event);
bool ImmConvertTextInput(V_HWND window, const char* utf8);
