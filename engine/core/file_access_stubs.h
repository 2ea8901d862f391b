// Least versions of the file-access calls of library start and end, until the file-access
// table and the archive reader land. Delete with file_access_stubs.cpp (the real declarations
// live in core.h).
#pragma once

#include <cstdint>

struct FileAccessStubFunctions {
    int (*setCurrentDir)(const char* path);
    int (*getCurrentDir)(char* buffer);  // buffer of kPathBufferSize bytes
};

int SetFileAccessFunctions(const void* table);
const FileAccessStubFunctions* GetFileAccessFunctions();
int CloseArchives();
