// The character code buffer: a ring of 1025 bytes that the window procedure fills with typed
// bytes and editing codes and ProcessKeyInput empties, one whole character at a time.
#include "core/core.h"
#include "core/key_input.h"
#include "core/window.h"

namespace {

// The codes the editing keys enter (the right column of the window procedure's table).
const unsigned char kControlKeyCodes[] = {0x10, 0x1D, 0x1C, 0x1E, 0x1F, 0x1A, 0x19, 0x17, 0x15};

int Next(int index) { return index + 1 >= kCharCodeBufferSize ? 0 : index + 1; }

}  // namespace

bool IsTextLeadByte(unsigned char byte) {
    if (g_Window.dbcsCharacterSet == 2) return byte >= 0x80;
    return IsShiftJisLead(byte);
}

int IsControlKeyCode(unsigned char byte) {
    for (unsigned char code : kControlKeyCodes)
        if (code == byte) return 1;
    return 0;
}

int IsCharCodeBufferFull() {
    const CharCodeBuffer& buffer = g_KeyInput.buffer;
    return Next(buffer.write) == buffer.read ? 1 : 0;
}

// Bytes are taken whole characters at a time: the first byte of a two-byte character is stored
// only when its second byte fits as well, and a refused first byte takes its second byte with
// it, so that no half character stays behind to pair with a later byte.
int PushCharCode(unsigned char code) {
    CharCodeBuffer& buffer = g_KeyInput.buffer;
    if (buffer.trailDrop) {
        buffer.trailDrop = 0;
        return -1;
    }
    const bool lead = !buffer.trailDue && !IsControlKeyCode(code) && IsTextLeadByte(code);
    buffer.trailDue = 0;
    if (IsCharCodeBufferFull() || (lead && Next(Next(buffer.write)) == buffer.read)) {
        buffer.trailDrop = lead ? 1 : 0;
        return -1;
    }
    buffer.codes[buffer.write] = code;
    buffer.write = Next(buffer.write);
    buffer.trailDue = lead ? 1 : 0;
    return 0;
}

int PopCharCode(char out[2], int remove) {
    CharCodeBuffer& buffer = g_KeyInput.buffer;
    out[0] = out[1] = 0;
    if (buffer.read == buffer.write) return 0;
    int start = buffer.read;
    unsigned char first = buffer.codes[start];
    int after = Next(start);
    int count = 1;
    out[0] = static_cast<char>(first);
    if (!IsControlKeyCode(first) && IsTextLeadByte(first)) {
        if (after == buffer.write) {
            out[0] = 0;
            return 0;  // the trail byte has not arrived yet
        }
        out[1] = static_cast<char>(buffer.codes[after]);
        after = Next(after);
        count = 2;
    }
    if (remove) buffer.read = after;
    return count;
}

int CountCharacters(const char* bytes, int count) {
    int characters = 0;
    for (int i = 0; i < count && bytes[i] != 0; ++characters) {
        if (IsTextLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < count &&
            bytes[i + 1] != 0)
            i += 2;
        else
            i += 1;
    }
    return characters;
}
