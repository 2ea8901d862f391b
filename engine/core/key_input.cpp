// Key-input records: start, the handle table, deletion and the selection removal.
#include <cstring>

#include "core/core.h"
#include "core/key_input.h"

KeyInputState g_KeyInput;

namespace {

// The colours of the key-input display as R, G, B (no drawing routine of this system reads
// them).
const uint8_t kDisplayColors[15][3] = {
    {255, 255, 255}, {255, 255, 0}, {255, 255, 255}, {0, 255, 255}, {255, 255, 255},
    {255, 0, 0},     {255, 255, 20}, {0, 0, 0},      {0, 0, 0},     {0, 0, 0},
    {255, 255, 0},   {0, 0, 0},     {255, 255, 255}, {0, 0, 0},     {128, 128, 128},
};

bool AnyInUse() {
    for (const KeyInputRecord& record : g_KeyInput.records)
        if (record.inUse) return true;
    return false;
}

}  // namespace

int InitKeyInput() {
    WriteLog("文字コードバッファの初期化を行います... ");
    void* candidates = g_KeyInput.ime.candidateList;
    if (candidates != nullptr) FreeMemory(candidates);
    for (KeyInputRecord& record : g_KeyInput.records)
        if (record.text != nullptr) FreeMemory(record.text);
    std::memset(&g_KeyInput.buffer, 0, sizeof(g_KeyInput.buffer));
    std::memset(&g_KeyInput.ime, 0, sizeof(g_KeyInput.ime));
    std::memset(g_KeyInput.records, 0, sizeof(g_KeyInput.records));
    for (int i = 0; i < 15; ++i)
        g_KeyInput.colors[i] = (static_cast<uint32_t>(kDisplayColors[i][0]) << 16) |
                               (static_cast<uint32_t>(kDisplayColors[i][1]) << 8) |
                               kDisplayColors[i][2];
    g_KeyInput.activeHandle = -1;
    g_KeyInput.secondHandle = -1;
    g_KeyInput.blinkStart = 0;
    g_KeyInput.blinkPeriod = 500;
    g_KeyInput.cursorVisible = 1;
    WriteLog("完了しました\n");
    return 0;
}

int ResetKeyInputCursorBlink() {
    g_KeyInput.blinkStart = GetMilliseconds() & 0x7FFFFFFF;
    g_KeyInput.cursorVisible = 1;
    return 0;
}

KeyInputRecord* FindKeyInput(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kKeyInputKind) return nullptr;
    int index = handle & 0xFFFF;
    if (index >= kMaxKeyInputs) return nullptr;
    KeyInputRecord& record = g_KeyInput.records[index];
    if (!record.inUse || record.check != ((handle >> 16) & 0x7FF)) return nullptr;
    return &record;
}

int AddKeyInputRecord(int maxLength, int cancelAllowed, int singleByteOnly, int numbersOnly) {
    if (maxLength <= 0) return -1;
    for (int index = 0; index < kMaxKeyInputs; ++index) {
        KeyInputRecord& record = g_KeyInput.records[index];
        if (record.inUse) continue;
        char* text = static_cast<char*>(VELK_ALLOC_ZEROED(static_cast<size_t>(maxLength) + 1));
        if (text == nullptr) return -1;
        std::memset(&record, 0, sizeof(record));
        record.inUse = 1;
        record.check = g_KeyInput.nextCheck;
        g_KeyInput.nextCheck = (g_KeyInput.nextCheck + 1) & 0x7FF;
        record.maxLength = maxLength;
        record.selectionStart = record.selectionEnd = -1;
        record.text = text;
        record.cancelAllowed = cancelAllowed;
        record.singleByteOnly = singleByteOnly;
        record.numbersOnly = numbersOnly;
        return kKeyInputKind | (record.check << 16) | index;
    }
    return -1;
}

int SetActiveKeyInputHandle(int handle) {
    if (handle != -1 && FindKeyInput(handle) == nullptr) return -1;
    g_KeyInput.activeHandle = handle;
    return 0;
}

int DeleteKeyInput(int handle) {
    KeyInputRecord* record = FindKeyInput(handle);
    if (record == nullptr) return -1;
    if (record->text != nullptr) FreeMemory(record->text);
    std::memset(record, 0, sizeof(*record));
    if (g_KeyInput.activeHandle == handle) g_KeyInput.activeHandle = -1;
    if (!AnyInUse()) EnableIme(0);
    return 0;
}

int DeleteAllKeyInputs() {
    for (int index = 0; index < kMaxKeyInputs; ++index) {
        const KeyInputRecord& record = g_KeyInput.records[index];
        if (record.inUse) DeleteKeyInput(kKeyInputKind | (record.check << 16) | index);
    }
    if (g_KeyInput.workBuffer != nullptr) FreeMemory(g_KeyInput.workBuffer);
    g_KeyInput.workBuffer = nullptr;
    g_KeyInput.activeHandle = -1;
    return 0;
}

int DeleteKeyInputSelection(KeyInputRecord* record) {
    if (record == nullptr || record->selectionStart == -1) return 0;
    int low = record->selectionStart < record->selectionEnd ? record->selectionStart
                                                            : record->selectionEnd;
    int high = record->selectionStart < record->selectionEnd ? record->selectionEnd
                                                             : record->selectionStart;
    if (low < 0) low = 0;
    if (high > record->length) high = record->length;
    if (high > low) {
        MoveBytes(record->text + low, record->text + high,
                  static_cast<size_t>(record->length - high) + 1);
        record->length -= high - low;
    }
    record->cursor = low;
    record->selectionStart = record->selectionEnd = -1;
    if (record->furtherPosition > record->length) record->furtherPosition = record->length;
    return 0;
}
