// The temporary copy of a movie file that DirectShow cannot open by name (an archive member):
// copied through the file-access table into a new file of the temporary folder.
#include "movie/movie_temp_copy.h"

#include "platform/kernel/kernel.h"

namespace {

constexpr int32_t kCopyPiece = 1048576;

}  // namespace

bool CopyMovieToTempFile(const char* path, char* tempName, size_t tempNameSize) {
    intptr_t source = OpenFileHandle(path, 0, 0, 0);
    if (source == 0) return false;
    SeekFileHandle(source, 0, 2);
    int32_t size = TellFileHandle(source);
    SeekFileHandle(source, 0, 0);
    // The buffer holds one piece: the whole file when it is smaller than a piece.
    const int32_t bufferSize = size < kCopyPiece ? (size > 0 ? size : 1) : kCopyPiece;
    uint8_t* buffer = size >= 0 ? static_cast<uint8_t*>(VELK_ALLOC(bufferSize)) : nullptr;
    char name[kPathBufferSize] = {};
    V_HANDLE target = buffer != nullptr ? static_cast<V_HANDLE>(CreateTempFile(name)) : nullptr;
    size_t nameLength = 0;
    while (name[nameLength] != '\0') ++nameLength;
    if (buffer == nullptr || target == nullptr || nameLength + 1 > tempNameSize) {
        if (target != nullptr) {
            V_CloseHandle(target);
            V_DeleteFileA(name);
        }
        if (buffer != nullptr) FreeMemory(buffer);
        CloseFileHandle(source);
        return false;
    }
    CopyString(tempName, name);
    for (int32_t left = size; left > 0;) {
        int32_t piece = left < kCopyPiece ? left : kCopyPiece;
        size_t got = ReadFileHandle(buffer, 1, static_cast<size_t>(piece), source);
        if (got > static_cast<size_t>(piece)) got = 0;
        V_DWORD written = 0;
        V_WriteFile(target, buffer, static_cast<V_DWORD>(got), &written, nullptr);
        if (got < static_cast<size_t>(piece) || written < got) break;
        left -= piece;
    }
    V_CloseHandle(target);
    CloseFileHandle(source);
    FreeMemory(buffer);
    return true;
}
