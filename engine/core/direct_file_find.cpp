// Find operations of the direct set: the platform search, reported as FindRecords.
#include <cstring>

#include "core/direct_file.h"
#include "platform/kernel/kernel.h"

namespace {

void FillFindRecord(const V_WIN32_FIND_DATAA& data, FindRecord* record) {
    const size_t length = strnlen(data.cFileName, sizeof(record->name) - 1);
    std::memcpy(record->name, data.cFileName, length);
    record->name[length] = '\0';
    record->directoryFlag = (data.dwFileAttributes & V_FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
    record->sizeHigh = data.nFileSizeHigh;
    record->sizeLow = data.nFileSizeLow;
    ConvertFileTimeToDateTime(&data.ftCreationTime, &record->creationTime);
    ConvertFileTimeToDateTime(&data.ftLastWriteTime, &record->lastWriteTime);
}

}  // namespace

intptr_t FindFirstDirectFile(const char* pattern, FindRecord* record) {
    V_WIN32_FIND_DATAA data;
    V_HANDLE find = V_FindFirstFileA(pattern, &data);
    if (find == V_INVALID_HANDLE_VALUE || find == nullptr) return -1;
    if (record != nullptr) FillFindRecord(data, record);
    return reinterpret_cast<intptr_t>(find);
}

int FindNextDirectFile(intptr_t handle, FindRecord* record) {
    V_WIN32_FIND_DATAA data;
    if (!V_FindNextFileA(reinterpret_cast<V_HANDLE>(handle), &data)) return -1;
    if (record != nullptr) FillFindRecord(data, record);
    return 0;
}

int FindCloseDirectFile(intptr_t handle) {
    return V_FindClose(reinterpret_cast<V_HANDLE>(handle)) ? 0 : -1;
}
