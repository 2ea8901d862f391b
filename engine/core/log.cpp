// The library's log: every piece of text goes to "Log.txt" in the log folder and to the
// debugger output. Each line starts with the milliseconds since the log was created and one TAB
// per indent level; line feeds become CR LF. The file is opened and closed on every call so each
// line is on disk at once.
#include "core/log.h"

#include <cstring>
#include <mutex>

#include "core/core.h"
#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

LogState g_Log;

namespace {

// Serialises whole writes. Nothing under it calls the tracked allocator, so allocator and log
// cannot deadlock.
std::mutex& LogMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

constexpr size_t kLocalConvertLimit = 255;

// Copies text to out, turning each line feed not already preceded by a carriage return into
// CR LF. Stops converting at the first line feed that already has its CR. Both bytes of a
// Shift-JIS pair are copied together, so a trail byte 0x0A is never taken for a line feed.
// out must hold 2 * strlen(text) + 1 bytes. Returns the converted length.
size_t ConvertLineEnds(const char* text, char* out) {
    size_t length = std::strlen(text);
    const char* firstFeed = FindCharInString(text, '\n');
    if (firstFeed == nullptr) {
        std::memcpy(out, text, length + 1);
        return length;
    }
    size_t in = static_cast<size_t>(firstFeed - text);
    std::memcpy(out, text, in);
    size_t at = in;
    while (in < length) {
        unsigned char byte = static_cast<unsigned char>(text[in]);
        if (byte == '\n') {
            if (in > 0 && text[in - 1] == '\r') {
                std::memcpy(out + at, text + in, length - in);
                at += length - in;
                break;
            }
            out[at++] = '\r';
            out[at++] = '\n';
            ++in;
        } else if (IsShiftJisLead(byte) && text[in + 1] != '\0') {
            out[at++] = text[in++];
            out[at++] = text[in++];
        } else {
            out[at++] = text[in++];
        }
    }
    out[at] = '\0';
    return at;
}

void BuildLogPath(char* path, size_t size) {
    FormatString(path, size, "%s%s%s", g_Log.folder, EndsWithPathSeparator(g_Log.folder) ? "" : "\\",
                 g_Log.fileName);
}

void WritePiece(V_HANDLE file, const char* piece, size_t length) {
    if (file != V_INVALID_HANDLE_VALUE) {
        V_DWORD written = 0;
        V_WriteFile(file, piece, static_cast<V_DWORD>(length), &written, nullptr);
    }
    V_OutputDebugStringA(piece);
}

}  // namespace

void SetLogFolder(const char* folder) {
    std::lock_guard lock(LogMutex());
    if (folder == nullptr) folder = "";
    FormatString(g_Log.folder, sizeof g_Log.folder, "%s", folder);
}

namespace {

// Names the file and restarts the line state and the stamp clock; a fresh log deletes and
// re-creates the file empty first.
uint32_t StartLogFile(bool fresh) {
    if (g_Log.logOff) return 1;
    std::lock_guard lock(LogMutex());
    if (g_Log.dateName) {
        DateTimeRecord now;
        GetLocalDateTime(&now);
        FormatString(g_Log.fileName, sizeof g_Log.fileName, "Log%u_%u_%u_%u_%u_%u.txt", now.year,
                     now.month, now.day, now.hour, now.minute, now.second);
    } else {
        CopyString(g_Log.fileName, "Log.txt");
    }
    if (fresh) {
        // Emptied in place rather than deleted and made anew: a deletion may take a file whose
        // name differs only in case, where creation takes the file of exactly this name.
        V_HANDLE file = V_CreateFileA(g_Log.fileName, V_GENERIC_WRITE, 0, nullptr, V_CREATE_ALWAYS,
                                      V_FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != V_INVALID_HANDLE_VALUE) V_CloseHandle(file);
    }
    g_Log.indentLevel = 0;
    g_Log.midLine = 0;
    g_Log.startTime = V_timeGetTime();
    return 1;
}

}  // namespace

uint32_t CreateLogFile() { return StartLogFile(true); }

uint32_t ContinueLogFile() { return StartLogFile(false); }

int WriteLog(const char* text) {
    if (text == nullptr) return -1;
    size_t length = std::strlen(text);
    char local[kLocalConvertLimit * 2 + 2];
    char* converted = local;
    if (length > kLocalConvertLimit) {
        converted = static_cast<char*>(AllocateMemory(length * 2 + 1, nullptr, 0xFFFF));
        if (converted == nullptr) return -1;
    }
    size_t convertedLength = ConvertLineEnds(text, converted);

    {
        std::lock_guard lock(LogMutex());
        if (g_Log.folder[0] != '\0') {
            V_HANDLE file = V_INVALID_HANDLE_VALUE;
            if (!g_Log.logOff) {
                char path[sizeof g_Log.folder + sizeof g_Log.fileName + 2];
                BuildLogPath(path, sizeof path);
                file = V_CreateFileA(path, V_GENERIC_WRITE, 0, nullptr, V_OPEN_ALWAYS,
                                     V_FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file != V_INVALID_HANDLE_VALUE) V_SetFilePointer(file, 0, nullptr, V_FILE_END);
            }
            if (!g_Log.midLine) {
                if (!g_Log.timeStampOff) {
                    char stamp[16];
                    int stampLength = FormatString(stamp, sizeof stamp, "%d:",
                                                   static_cast<int>(V_timeGetTime() - g_Log.startTime));
                    WritePiece(file, stamp, static_cast<size_t>(stampLength));
                }
                if (g_Log.indentLevel > 0) {
                    char tabs[64];
                    int count = g_Log.indentLevel < 63 ? g_Log.indentLevel : 63;
                    std::memset(tabs, '\t', static_cast<size_t>(count));
                    tabs[count] = '\0';
                    WritePiece(file, tabs, static_cast<size_t>(count));
                }
            }
            WritePiece(file, converted, convertedLength);
            if (convertedLength > 0) g_Log.midLine = converted[convertedLength - 1] != '\n';
            if (file != V_INVALID_HANDLE_VALUE) V_CloseHandle(file);
        }
    }

    if (converted != local) FreeMemory(converted);
    return -1;
}

int WriteLogFormat(const char* format, ...) {
    char buffer[1024];
    va_list arguments;
    va_start(arguments, format);
    FormatStringV(buffer, sizeof buffer - 1, format, arguments);
    va_end(arguments);
    AppendString(buffer, "\n");
    return WriteLog(buffer);
}

uint32_t IncreaseLogIndent() {
    std::lock_guard lock(LogMutex());
    ++g_Log.indentLevel;
    return 0;
}

uint32_t DecreaseLogIndent() {
    std::lock_guard lock(LogMutex());
    if (g_Log.indentLevel > 0) --g_Log.indentLevel;
    return 0;
}
