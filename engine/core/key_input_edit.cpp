// ProcessKeyInput: the characters of the character code buffer edit the active key input.
#include <cstring>

#include "core/core.h"
#include "core/input.h"
#include "core/key_input.h"
#include "platform/imm/imm.h"

void RunImeRestoreSequence();

namespace {

constexpr unsigned char kCopy = 3;
constexpr unsigned char kBackspace = 8;
constexpr unsigned char kDelete = 0x10;
constexpr unsigned char kTab = 9;
constexpr unsigned char kUp = 0x1E;
constexpr unsigned char kDown = 0x1F;
constexpr unsigned char kEnter = 13;
constexpr unsigned char kPaste = 22;
constexpr unsigned char kCut = 24;
constexpr unsigned char kEnd = 0x19;
constexpr unsigned char kHome = 0x1A;
constexpr unsigned char kEscape = 27;
constexpr unsigned char kRight = 0x1C;
constexpr unsigned char kLeft = 0x1D;

bool ShiftHeld() {
    return ((g_Input.keyStateTable[0x2A] | g_Input.keyStateTable[0x36]) & 0x80) != 0;
}

// Length of the character at pos (2 for a lead byte with its trail byte in the text).
int CharLengthAt(const KeyInputRecord& record, int pos) {
    return IsTextLeadByte(static_cast<unsigned char>(record.text[pos])) && pos + 1 < record.length
               ? 2
               : 1;
}

// Start of the character that ends at pos, found by walking from the start of the text, so a
// trail byte is never taken for a lead byte.
int CharStartBefore(const KeyInputRecord& record, int pos) {
    int at = 0, last = 0;
    while (at < pos) {
        last = at;
        at += CharLengthAt(record, at);
    }
    return last;
}

void RemoveBytes(KeyInputRecord& record, int from, int count) {
    MoveBytes(record.text + from, record.text + from + count,
              static_cast<size_t>(record.length - from - count) + 1);
    record.length -= count;
    if (record.furtherPosition > record.length) record.furtherPosition = record.length;
}

void SelectionBounds(const KeyInputRecord& record, int* low, int* high) {
    *low = record.selectionStart < record.selectionEnd ? record.selectionStart
                                                       : record.selectionEnd;
    *high = record.selectionStart < record.selectionEnd ? record.selectionEnd
                                                        : record.selectionStart;
    if (*low < 0) *low = 0;
    if (*high > record.length) *high = record.length;
}

void CopySelection(const KeyInputRecord& record) {
    if (record.selectionStart == -1) return;
    int low, high;
    SelectionBounds(record, &low, &high);
    char* copy = static_cast<char*>(VELK_ALLOC(static_cast<size_t>(high - low) + 1));
    if (copy == nullptr) return;  // the copy is skipped
    CopyBytes(copy, record.text + low, static_cast<size_t>(high - low));
    copy[high - low] = 0;
    SetClipboardText(copy);
    FreeMemory(copy);
}

void PasteClipboard() {
    int size = GetClipboardText(nullptr, 0);
    if (size == -1 || size <= 0) return;
    char* text = static_cast<char*>(VELK_ALLOC(static_cast<size_t>(size)));
    if (text == nullptr) return;
    if (GetClipboardText(text, static_cast<size_t>(size)) == 0)
        for (int i = 0; text[i] != 0 && i < size; ++i)
            PushCharCode(static_cast<unsigned char>(text[i]));
    FreeMemory(text);
}

// Moves the cursor; with shift the selection follows it from where the cursor was.
void MoveCursor(KeyInputRecord& record, int to) {
    if (ShiftHeld()) {
        if (record.selectionStart == -1) record.selectionStart = record.cursor;
        record.cursor = to;
        record.selectionEnd = to;
    } else {
        record.cursor = to;
        record.selectionStart = record.selectionEnd = -1;
    }
}

bool Accepts(const KeyInputRecord& record, const char* bytes, int count) {
    if (count == 2) return !record.numbersOnly && !record.singleByteOnly;
    unsigned char byte = static_cast<unsigned char>(bytes[0]);
    if (byte < 0x20) return false;  // control codes are not text
    if (!record.numbersOnly) return true;
    if (byte >= '0' && byte <= '9') return true;
    if (byte == '-') return record.cursor == 0;
    if (byte == '.') return std::memchr(record.text, '.', static_cast<size_t>(record.length)) == nullptr;
    return false;
}

void InsertCharacter(KeyInputRecord& record, const char* bytes, int count) {
    DeleteKeyInputSelection(&record);
    if (!Accepts(record, bytes, count)) return;
    // Make room by removing whole characters from the end.
    while (record.length + count > record.maxLength && record.length > 0) {
        int start = CharStartBefore(record, record.length);
        RemoveBytes(record, start, record.length - start);
        if (record.cursor > record.length) record.cursor = record.length;
    }
    if (record.length + count > record.maxLength) return;
    MoveBytes(record.text + record.cursor + count, record.text + record.cursor,
              static_cast<size_t>(record.length - record.cursor) + 1);
    CopyBytes(record.text + record.cursor, bytes, static_cast<size_t>(count));
    record.cursor += count;
    record.length += count;
}

void ApplyCompositionLimits(const KeyInputRecord& record) {
    ImeState& ime = g_KeyInput.ime;
    int length = static_cast<int>(strnlen(ime.composition, kCompositionSize - 1));
    int limit = -1;
    if (ime.limitToRoomLeft && length > record.maxLength - record.length)
        limit = record.maxLength - record.length;
    if (ime.maxCompositionLength != 0 && length > ime.maxCompositionLength)
        limit = ime.maxCompositionLength;
    if (limit < 0 || length <= limit) return;
    int cut = 0;
    while (cut < length) {
        int step = IsTextLeadByte(static_cast<unsigned char>(ime.composition[cut])) ? 2 : 1;
        if (cut + step > limit) break;
        cut += step;
    }
    ime.composition[cut] = 0;
    V_HWND window = GetMainWindowHandle();
    V_HIMC context = V_ImmGetContext(window);
    V_ImmNotifyIME(context, V_NI_COMPOSITIONSTR, V_CPS_CANCEL, 0);
    V_ImmSetCompositionStringA(context, V_SCS_SETSTR, ime.composition, static_cast<V_DWORD>(cut),
                               nullptr, 0);
    V_ImmReleaseContext(window, context);
}

void EditWith(KeyInputRecord& record, const char* bytes, int count) {
    unsigned char first = static_cast<unsigned char>(bytes[0]);
    if (count == 2) {
        InsertCharacter(record, bytes, count);
        return;
    }
    switch (first) {
    case kCopy: CopySelection(record); break;
    case kBackspace:
        if (record.selectionStart != -1) {
            DeleteKeyInputSelection(&record);
        } else if (record.cursor > 0) {
            int start = CharStartBefore(record, record.cursor);
            RemoveBytes(record, start, record.cursor - start);
            record.cursor = start;
        }
        break;
    case kDelete:
        if (record.selectionStart != -1) {
            if (ShiftHeld()) CopySelection(record);
            DeleteKeyInputSelection(&record);
        } else if (record.cursor < record.length) {
            RemoveBytes(record, record.cursor, CharLengthAt(record, record.cursor));
        }
        break;
    case kTab: case kUp: case kDown: break;
    case kEnter: record.ended = 1; break;
    case kPaste: PasteClipboard(); break;
    case kCut:
        CopySelection(record);
        DeleteKeyInputSelection(&record);
        break;
    case kEnd: MoveCursor(record, record.length); break;
    case kHome: MoveCursor(record, 0); break;
    case kEscape:
        if (record.cancelAllowed) record.cancelled = record.ended = 1;
        break;
    case kRight:
        if (record.cursor < record.length)
            MoveCursor(record, record.cursor + CharLengthAt(record, record.cursor));
        break;
    case kLeft:
        if (record.cursor > 0) MoveCursor(record, CharStartBefore(record, record.cursor));
        break;
    default: InsertCharacter(record, bytes, count); break;
    }
}

}  // namespace

int ProcessKeyInput() {
    RunImeRestoreSequence();
    if (g_KeyInput.activeHandle == -1) return 0;
    KeyInputRecord* record = FindKeyInput(g_KeyInput.activeHandle);
    if (record == nullptr) return -1;
    if (record->ended) return 0;
    ApplyCompositionLimits(*record);
    char bytes[2];
    int count;
    while (!record->ended && (count = PopCharCode(bytes, 1)) > 0) {
        ResetKeyInputCursorBlink();
        EditWith(*record, bytes, count);
    }
    return 0;
}
