// The two preset stream operation sets: files through the file-access table, and memory blocks.
#include "core/core.h"

namespace {

constexpr StreamFunctions kFileStreamFunctions = {
    TellFileHandle, SeekFileHandle, ReadFileHandle, IsFileHandleEof, IsFileHandleIdle, CloseFileHandle,
};

constexpr StreamFunctions kMemoryStreamFunctions = {
    TellMemoryStream,  SeekMemoryStream,   ReadMemoryStream,
    IsMemoryStreamEof, IsMemoryStreamIdle, CloseMemoryStream,
};

}  // namespace

const StreamFunctions* GetFileStreamFunctions() { return &kFileStreamFunctions; }

const StreamFunctions* GetMemoryStreamFunctions() { return &kMemoryStreamFunctions; }
