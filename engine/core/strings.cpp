// Byte and string routines. Every routine that scans text steps over both bytes of a Shift-JIS
// pair, so a trail byte is never taken for a separator, a letter or a searched character.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"

namespace {
// Length of the character at text: 2 for a lead byte followed by a non-NUL byte, else 1.
inline size_t CharLength(const char* text) {
    return (IsShiftJisLead(static_cast<unsigned char>(text[0])) && text[1] != '\0') ? 2 : 1;
}
}  // namespace

void CopyString(char* destination, const char* source) {
    std::memcpy(destination, source, std::strlen(source) + 1);
}

void AppendString(char* destination, const char* source) {
    CopyString(destination + std::strlen(destination), source);
}

const char* FindCharInString(const char* text, int byte) {
    const unsigned char wanted = static_cast<unsigned char>(byte);
    while (*text != '\0') {
        size_t length = CharLength(text);
        if (length == 1 && static_cast<unsigned char>(*text) == wanted) return text;
        text += length;
    }
    return nullptr;
}

int CompareStrings(const char* a, const char* b) {
    return std::strcmp(a, b) == 0 ? 0 : 1;
}

void UpperCaseString(char* text) {
    while (*text != '\0') {
        size_t length = CharLength(text);
        if (length == 1 && *text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
        text += length;
    }
}

bool EndsWithPathSeparator(const char* path) {
    bool separator = false;
    while (*path != '\0') {
        size_t length = CharLength(path);
        separator = length == 1 && (*path == '\\' || *path == '/');
        path += length;
    }
    return separator;
}

int CompareByteRange(const void* a, const void* b, int count) {
    if (count < 0) return 1;
    return std::memcmp(a, b, static_cast<size_t>(count)) == 0 ? 0 : 1;
}

int CompareBytes(const void* a, const void* b, size_t count) {
    return (count == 0 || std::memcmp(a, b, count) == 0) ? 0 : 1;
}

int FillBytes(void* destination, int value, size_t count) {
    std::memset(destination, value, count);
    return value;
}

void CopyBytes(void* destination, const void* source, size_t count) {
    // Forward, byte by byte: overlapping copies repeat the bytes just written, which the archive
    // decoder's back references rely on.
    auto* out = static_cast<unsigned char*>(destination);
    const auto* in = static_cast<const unsigned char*>(source);
    for (size_t i = 0; i < count; ++i) out[i] = in[i];
}

void MoveBytes(void* destination, const void* source, size_t count) {
    if (destination == source) return;
    std::memmove(destination, source, count);
}

int FormatStringV(char* buffer, size_t size, const char* format, va_list arguments) {
    if (size == 0) return 0;
    int written = std::vsnprintf(buffer, size, format, arguments);
    if (written < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(written) >= size ? static_cast<int>(size - 1) : written;
}

int FormatString(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = FormatStringV(buffer, size, format, arguments);
    va_end(arguments);
    return written;
}

int InitList(ListNode* head, ListNode* tail) {
    head->value = -1;
    head->data = nullptr;
    head->previous = nullptr;
    head->next = tail;
    tail->value = -1;
    tail->data = nullptr;
    tail->previous = head;
    tail->next = nullptr;
    return 0;
}

int AddListNode(ListNode* head, ListNode* node, int32_t value, void* data) {
    node->value = value;
    node->data = data;
    node->previous = head;
    node->next = head->next;
    head->next->previous = node;
    head->next = node;
    return 0;
}

int RemoveListNode(ListNode* node) {
    node->previous->next = node->next;
    node->next->previous = node->previous;
    return 0;
}
