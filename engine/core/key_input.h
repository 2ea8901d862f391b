// Text input: the character code buffer, key-input records with their editing, and the IME
// state, shared by the window procedure, the message loop and the text-input files.
#pragma once

#include <cstdint>

#include "platform/user/user.h"

constexpr int kCharCodeBufferSize = 1025;  // holds at most 1024 bytes
constexpr int kMaxKeyInputs = 256;
constexpr int kKeyInputKind = 0x50000000;
constexpr int kCompositionSize = 1024;

struct CharCodeBuffer {
    unsigned char codes[kCharCodeBufferSize];
    int read;
    int write;
    int trailDue;   // the last byte stored began a two-byte character: the next one completes it
    int trailDrop;  // the first byte of a character was refused: the next one is dropped too
};

struct KeyInputRecord {
    int inUse;
    int check;            // 0..2047
    int ended;            // Enter or, where allowed, Escape ended the input
    int cancelled;
    int length;           // bytes
    int maxLength;        // bytes
    int selectionStart;   // -1, -1: no selection
    int selectionEnd;
    int furtherPosition;  // brought down to the length when the text gets shorter
    int cursor;           // bytes
    char* text;           // tracked allocation of maxLength + 1 bytes, zero-terminated
    int cancelAllowed;
    int singleByteOnly;
    int numbersOnly;
};

struct ImeState {
    int composing;
    int compositionCursor;                 // characters
    char composition[kCompositionSize];
    char savedComposition[kCompositionSize];
    uint32_t clauses[kCompositionSize / 4];
    int clauseWords;
    void* candidateList;                   // tracked allocation
    int candidateListSize;
    int enabled;                           // the state last given to V_WINNLSEnableIME
    int open;
    int restoreStep;                       // 0 idle, 1..4
    int limitToRoomLeft;                   // the two composition limits, 0 in this system
    int maxCompositionLength;
    int used;                              // set by every IME message
    int inOpenStatusChange;                // re-entry guard of the open-status notification
};

struct KeyInputState {
    CharCodeBuffer buffer;
    KeyInputRecord records[kMaxKeyInputs];
    int nextCheck;
    ImeState ime;
    uint32_t colors[15];
    int blinkStart;
    int blinkPeriod;
    int cursorVisible;
    int activeHandle;       // -1 for none
    int secondHandle;
    void* workBuffer;       // freed by DeleteAllKeyInputs; no operation allocates it here
};

extern KeyInputState g_KeyInput;

int InitKeyInput();
int PushCharCode(unsigned char code);
int PopCharCode(char out[2], int remove);
int IsCharCodeBufferFull();
int CountCharacters(const char* bytes, int count);
int IsControlKeyCode(unsigned char byte);
// The lead-byte test of the library's character set (any byte of 0x80 or more for the Korean
// set, else the code page 932 rule).
bool IsTextLeadByte(unsigned char byte);
int ResetKeyInputCursorBlink();
int EnableIme(int flag);
// 1 when IME use is switched on.
int GetImeUseFlag();
// The window became active: starts the IME re-open sequence when IME use is on and it was open.
void StartImeRestoreOnActivation();
int DeleteKeyInput(int handle);
int DeleteAllKeyInputs();
int DeleteKeyInputSelection(KeyInputRecord* record);
int ProcessKeyInput();
V_LRESULT HandleImeMessage(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam);

// The record of a handle, null when the handle is not valid.
KeyInputRecord* FindKeyInput(int handle);
// Makes a key input (no public call does in this system; tests and later callers use it):
// returns the handle, or -1 when the table is full or memory runs out.
int AddKeyInputRecord(int maxLength, int cancelAllowed, int singleByteOnly, int numbersOnly);
// Makes the handle the active key input (-1 for none).
int SetActiveKeyInputHandle(int handle);
