// Engine core: memory, log, clocks, string and path helpers, random numbers,
// and (as they are built) start and end, the window, files, archives and input.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- tracked memory

void* AllocateMemory(size_t size, const char* sourceName, int line);
void* AllocateZeroedMemory(size_t size, const char* sourceName, int line);
void FreeMemory(void* memory);
void* ReallocateMemory(void* memory, size_t size, const char* sourceName, int line);
int CheckAllocations();
void DumpAllocations();
int LogAllocationTotals();

// Allocation with the caller's file and line recorded.
#define VELK_ALLOC(size) AllocateMemory((size), __FILE__, __LINE__)
#define VELK_ALLOC_ZEROED(size) AllocateZeroedMemory((size), __FILE__, __LINE__)
#define VELK_REALLOC(memory, size) ReallocateMemory((memory), (size), __FILE__, __LINE__)

// ---------------------------------------------------------------- log

uint32_t CreateLogFile();
// Starts the log as CreateLogFile does, but keeps the file there and adds to its end.
uint32_t ContinueLogFile();
int WriteLog(const char* text);
int WriteLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
uint32_t IncreaseLogIndent();
uint32_t DecreaseLogIndent();
// The folder "Log.txt" lives in; nothing is written while it is empty.
void SetLogFolder(const char* folder);

// ---------------------------------------------------------------- fatal exit

[[noreturn]] void FatalExit(const char* message);
[[noreturn]] void FatalExitFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------- clocks

struct DateTimeRecord {
    uint32_t year;
    uint32_t month;
    uint32_t day;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
};

int GetMilliseconds();
// Milliseconds from an earlier reading of GetMilliseconds to now, right across the 31-bit wrap.
int GetMillisecondsSince(int earlier);
int64_t GetMicroseconds(int useTimeStampCounter = 1);
uint32_t GetLocalDateTime(DateTimeRecord* record);
struct V_FILETIME;
void ConvertFileTimeToDateTime(const V_FILETIME* fileTime, DateTimeRecord* record);

// ---------------------------------------------------------------- strings and bytes

void CopyString(char* destination, const char* source);
void AppendString(char* destination, const char* source);
const char* FindCharInString(const char* text, int byte);
int CompareStrings(const char* a, const char* b);
void UpperCaseString(char* text);
// True when the path's last character is a '\' or '/' of its own, never the second byte of a
// Shift-JIS pair (as in a folder name ending in "表").
bool EndsWithPathSeparator(const char* path);
int CompareByteRange(const void* a, const void* b, int count);
int CompareBytes(const void* a, const void* b, size_t count);
int FillBytes(void* destination, int value, size_t count);
void CopyBytes(void* destination, const void* source, size_t count);
void MoveBytes(void* destination, const void* source, size_t count);
// True for a first byte of a two-byte code page 932 character (0x81-0x9F, 0xE0-0xFC).
inline bool IsShiftJisLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// ---------------------------------------------------------------- numbers

struct UInt128 {
    uint64_t low;
    uint64_t high;
};

void ComputeSinCos(float angle, float* sine, float* cosine);
int ComputeAbsInt(int value);
float ComputeAbsFloat(float value);
int TruncateFloatToInt(float value);
int TruncateDoubleToInt(double value);
void TruncateDoublesToInts(double a, double b, double c, double d, int* outA, int* outB, int* outC,
                           int* outD);
float ComputeSqrtFloat(float value);
char* IntToString(int value, char* buffer, int radix);
void MultiplyUnsigned64To128(uint64_t a, uint64_t b, UInt128* product);
void DivideUnsigned128By64(const UInt128* dividend, uint64_t divisor, UInt128* quotient);

// Bounded printf-style formatting: the output is truncated to fit and always terminated.
int FormatStringV(char* buffer, size_t size, const char* format, va_list arguments);
int FormatString(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// ---------------------------------------------------------------- paths

// Longest path the path routines produce, terminator included.
constexpr int kPathBufferSize = 4096;

int ConvertFullPath(const char* path, char* output, const char* baseDirectory);
int ConvertFullPathUnc(const char* path, char* output, const char* baseDirectory);
int ConvertArchiveFullPath(const char* path, char* output);
int SplitPathName(const char* path, char* directory, char* name);
int MatchWildcard(const char* name, const char* pattern);

// ---------------------------------------------------------------- random numbers

void SeedRandom(uint32_t seed);
uint32_t NextRandomWord();
int GetRandomInt(int max);

// ---------------------------------------------------------------- streams

// Six operations and an opaque handle: every loader and decoder reads through one of these.
struct StreamFunctions {
    int32_t (*tell)(intptr_t handle);
    int (*seek)(intptr_t handle, int32_t offset, int origin);
    size_t (*read)(void* buffer, size_t elementSize, size_t count, intptr_t handle);
    int (*eof)(intptr_t handle);
    int (*idle)(intptr_t handle);
    int (*close)(intptr_t handle);
};

// A stream as loaders pass it around: the operations and the handle they work on.
struct StreamHolder {
    StreamFunctions functions;
    intptr_t handle;
};

const StreamFunctions* GetFileStreamFunctions();
const StreamFunctions* GetMemoryStreamFunctions();
intptr_t OpenMemoryStream(const void* data, uint32_t size);
int CloseMemoryStream(intptr_t handle);

// ---------------------------------------------------------------- file access

// One found file or directory, as the find operations report it.
struct FindRecord {
    char name[260];          // zero-terminated
    uint32_t directoryFlag;  // 1 for a directory
    uint32_t sizeLow;
    uint32_t sizeHigh;
    DateTimeRecord creationTime;   // local time
    DateTimeRecord lastWriteTime;  // local time
};

// The twelve file operations all file reading goes through. File handles and find handles are
// pointer-sized; an open gives 0 on failure, a find-first gives -1.
struct FileAccessFunctions {
    intptr_t (*open)(const char* path, int cacheFlag, int ignored, int asyncFlag);
    int (*close)(intptr_t handle);
    int32_t (*tell)(intptr_t handle);
    int (*seek)(intptr_t handle, int32_t offset, int origin);
    size_t (*read)(void* buffer, size_t elementSize, size_t count, intptr_t handle);
    int (*eof)(intptr_t handle);   // -1 once a read has found the end, else 0
    int (*idle)(intptr_t handle);  // 1 when no request of the file is pending
    int (*setCurrentDir)(const char* path);
    int (*getCurrentDir)(char* buffer);  // buffer of kPathBufferSize bytes
    intptr_t (*findFirst)(const char* pattern, FindRecord* record);
    int (*findNext)(intptr_t handle, FindRecord* record);
    int (*findClose)(intptr_t handle);
};

// Copies the given table in, or installs the default (archive-aware) set when given none.
int SetFileAccessFunctions(const FileAccessFunctions* table);
// The table in use (never null).
const FileAccessFunctions* GetFileAccessFunctions();
// The default table's set and the plain-file set, for callers that pick one explicitly.
const FileAccessFunctions* GetArchiveAwareFileFunctions();
const FileAccessFunctions* GetDirectFileFunctions();

// Forwarders to the table in use; the file stream set calls these.
intptr_t OpenFileHandle(const char* path, int cacheFlag, int ignored, int asyncFlag);
int CloseFileHandle(intptr_t handle);
int32_t TellFileHandle(intptr_t handle);
int SeekFileHandle(intptr_t handle, int32_t offset, int origin);
size_t ReadFileHandle(void* buffer, size_t elementSize, size_t count, intptr_t handle);
int IsFileHandleEof(intptr_t handle);
int IsFileHandleIdle(intptr_t handle);

// Memory stream operations (the memory stream set).
int32_t TellMemoryStream(intptr_t handle);
int SeekMemoryStream(intptr_t handle, int32_t offset, int origin);
size_t ReadMemoryStream(void* buffer, size_t elementSize, size_t count, intptr_t handle);
int IsMemoryStreamEof(intptr_t handle);
int IsMemoryStreamIdle(intptr_t handle);

// Makes a new empty file in the temporary folder and returns a platform handle opened for
// writing (close it with V_CloseHandle), or null. pathOut (kPathBufferSize bytes) gets its path.
void* CreateTempFile(char* pathOut);

// Closes every open archive that no file or search uses any more. Returns 0.
int CloseArchives();

// ---------------------------------------------------------------- network layer

// Messages travel as a 32-bit little-endian length followed by that many bytes. The layer is
// started by nothing in the library, so every operation below returns at once with its failure
// or neutral result unless it has been started.
int RecvSocket(int handle);
int SendSocket(int handle);
int AcceptNetWork();
int CloseNetworkHandle(int handle);
int PumpNetworkMessages(int closeFlag);
int EndNetwork();
int HandleSocketEvent(intptr_t event, uintptr_t socket);
int WriteNetworkLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------- start, end and the window

#include "platform/types.h"

// Start, end and message processing under the global API lock. ProcessMessageLocked returns
// -1 once the program must end.
int InitLibraryLocked();
int EndLibraryLocked();
int ProcessMessageLocked();

// 1: windowed, 0: full screen. Before start-up it only records the setting (a program calls it
// first, then InitLibraryLocked).
int ChangeWindowMode(int windowed);
// Keep running while the window is inactive (may be called at any time).
int SetAlwaysRunFlag(int flag);
int GetQuitFlag();
V_HWND GetMainWindowHandle();
int GetWindowModeFlag();
int GetWindowActiveFlag();
int GetClosePostedFlag();
// The desktop's size and colour depth; each pointer may be null.
int GetDesktopMode(int* width, int* height, int* bits);
// Client size divided by screen size; 1.0 in full-screen mode. Pointers may be null.
double GetWindowScale(double* x, double* y);

// 1 shows, 0 hides the mouse cursor over the window; -1 applies the current wish again.
int SetCursorVisible(int flag);
// The mouse position in program coordinates (the window scale taken out).
uint32_t GetMousePosition(int* x, int* y);
// buffer null: the size of the clipboard's text block + 1, or -1 without text. Otherwise
// copies at most bufferSize - 1 bytes and a terminator and returns 0.
int GetClipboardText(char* buffer, size_t bufferSize);
uint32_t SetClipboardText(const char* text);

// ---------------------------------------------------------------- keyboard, mouse and joypads

// Key numbers of the keyboard table follow the positions of a PC keyboard's keys:
//   Escape 0x01, 1-9 0x02-0x0A, 0 0x0B, minus 0x0C, Backspace 0x0E, Tab 0x0F,
//   Q W E R T Y U I O P 0x10-0x19, Enter 0x1C (numeric pad Enter 0x9C),
//   A S D F G H J K L 0x1E-0x26, Z X C V B N M 0x2C-0x32, comma 0x33, period 0x34, slash 0x35,
//   left shift 0x2A, right shift 0x36, left control 0x1D, right control 0x9D,
//   left alt 0x38, right alt 0xB8, space 0x39, Caps Lock 0x3A, Scroll Lock 0x46, Pause 0xC5,
//   F1-F10 0x3B-0x44, F11 0x57, F12 0x58,
//   numeric pad 7 8 9 0x47-0x49, 4 5 6 0x4B-0x4D, 1 2 3 0x4F-0x51, 0 0x52, period 0x53,
//   minus 0x4A, plus 0x4E, star 0x37, slash 0xB5,
//   Home 0xC7, Page Up 0xC9, End 0xCF, Page Down 0xD1, Insert 0xD2, Delete 0xD3,
//   arrows: up 0xC8, left 0xCB, right 0xCD, down 0xD0.
// Input types of GetJoypadState: the pad number from 1, plus this flag for the pad's keys.
constexpr int kJoypadKeyboardFlag = 0x1000;

// 1 while the key is held, else 0; a press released before this call (a tap shorter than a
// frame) is reported by every call until the next message pass. Starts input when it is not
// running.
int IsKeyDown(int keyCode);
// 1 left, 2 right, 4 middle; with DirectInput 8, 16, ... for the further buttons.
int GetMouseButtons();
// Bit 0 down, 1 left, 2 right, 3 up, 4-27 buttons 0-23; with the keyboard flag the pad's keys.
// Pad 1's keys: down (numeric pad 2, down arrow), left (4, left arrow), right (6, right arrow),
// up (8, up arrow), then buttons 0-9 (bits 4-13): Z, X, C, A, S, D, Q, W, Escape, space.
int GetJoypadState(int inputType);
int StopJoypadVibration(int inputType);
int SetInputFlagA();
int ClearInputFlagA();
int SetInputFlagB();
int ClearInputFlagB();
// Settings kept across input starts: 1 skips DirectInput; 1 reads keyboard and mouse through
// DirectInput on newer systems as well.
int SetNoDirectInputFlag(int flag);
int SetDirectInputOnNewerSystemsFlag(int flag);
