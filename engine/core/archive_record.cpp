// Opening and closing archive records: streamed from a file, loaded whole, or from an image in
// memory. Header and table block are checked against the archive's size before use.
#include <cstring>

#include "core/archive.h"
#include "core/direct_file.h"

namespace {

uint32_t Read32(const unsigned char* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

void ParseHeader(const unsigned char* bytes, ArchiveHeader* header) {
    header->signature = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    header->version = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    header->tableSize = Read32(bytes + 4);
    header->dataOffset = Read32(bytes + 8);
    header->tableOffset = Read32(bytes + 12);
    header->fileTableOffset = Read32(bytes + 16);
    header->dirTableOffset = Read32(bytes + 20);
}

// Unscrambles a copy of the raw header with the key made from the key string, then with the
// second key. Returns false when neither gives the signature.
bool ChooseKey(const unsigned char* rawHeader, const char* keyString, unsigned char* key,
               ArchiveHeader* header) {
    unsigned char bytes[kArchiveHeaderSize];
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 0) MakeArchiveKey(keyString, key);
        else GetArchiveSecondKey(key);
        std::memcpy(bytes, rawHeader, kArchiveHeaderSize);
        ScrambleArchiveBytes(kArchiveHeaderSize, bytes, 0, key);
        ParseHeader(bytes, header);
        if (header->signature == kArchiveSignature) return true;
    }
    return false;
}

// Checks the header's fields against the archive's size; logs and returns false when damaged.
bool CheckHeader(const ArchiveHeader& header, uint64_t size, const char* path) {
    const char* fault = nullptr;
    if (header.version >= 4) fault = "version";
    else if (header.tableOffset > size || header.tableSize > size - header.tableOffset)
        fault = "table block beyond the end";
    else if (header.fileTableOffset > header.tableSize) fault = "file table offset";
    else if (header.dirTableOffset > header.tableSize ||
             header.tableSize - header.dirTableOffset < kArchiveDirRecordSize)
        fault = "directory table offset";
    else if (header.dataOffset > size) fault = "data area offset";
    if (fault == nullptr) return true;
    LogDamagedArchive(path, fault);
    return false;
}

// Reads length bytes at offset from a thread-mode file and waits for them.
bool ReadFileBlocking(DirectFile* file, uint64_t offset, void* destination, uint32_t length) {
    if (length == 0) return true;
    if (offset > INT32_MAX) return false;
    if (file->position != offset && SeekDirectFile(file, static_cast<int32_t>(offset), 0) != 0)
        return false;
    ReadDirectFile(destination, 1, length, file);
    WaitDirectFile(file);
    return file->readDelivered == length;
}

// Opens the archive file and reads and checks its header and table block.
DirectFile* OpenArchiveFile(ArchiveRecord* record, const char* path, const char* keyString) {
    DirectFile* file = OpenDirectFile(path, 0, 1, 1);
    if (file == nullptr) return nullptr;
    unsigned char raw[kArchiveHeaderSize];
    if (file->size < kArchiveHeaderSize || !ReadFileBlocking(file, 0, raw, kArchiveHeaderSize)) {
        LogDamagedArchive(path, "shorter than its header");
    } else if (!ChooseKey(raw, keyString, record->key, &record->header)) {
        LogDamagedArchive(path, "signature");
    } else if (CheckHeader(record->header, file->size, path)) {
        const uint32_t tableSize = record->header.tableSize;
        record->tableBlock = static_cast<unsigned char*>(VELK_ALLOC(tableSize));
        if (record->tableBlock != nullptr) {
            if (ReadFileBlocking(file, record->header.tableOffset, record->tableBlock, tableSize)) {
                ScrambleArchiveBytes(tableSize, record->tableBlock, record->header.tableOffset,
                                     record->key);
                record->ownsTable = 1;
                record->size = file->size;
                return file;
            }
            LogDamagedArchive(path, "table block unreadable");
            FreeMemory(record->tableBlock);
            record->tableBlock = nullptr;
        }
    }
    CloseDirectFile(file);
    return nullptr;
}

void FinishOpen(ArchiveRecord* record) {
    record->currentDir = 0;
    record->open = 1;
    V_InitializeCriticalSection(&record->lock);
    record->lockReady = 1;
}

}  // namespace

void LogDamagedArchive(const char* path, const char* what) {
    WriteLogFormat("ＶＫＡファイルが壊れています(%s): %s\n", what, path != nullptr ? path : "");
}

int InitArchiveRecord(ArchiveRecord* record) {
    std::memset(record, 0, sizeof(*record));
    return 0;
}

int OpenArchiveStreamed(ArchiveRecord* record, const char* path, const char* keyString) {
    if (record->open != 0) return -1;
    record->file = OpenArchiveFile(record, path, keyString);
    if (record->file == nullptr) {
        InitArchiveRecord(record);
        return -1;
    }
    // A read that is waited for is made on the caller's thread: handing each one to the reader
    // thread and back costs more than the read of a small member. Without this handle every
    // read goes through the thread.
    record->readFile = OpenDirectFile(path, 0, 1, 0);
    record->inMemory = 0;
    FinishOpen(record);
    return 0;
}

int OpenArchiveWhole(ArchiveRecord* record, const char* path, const char* keyString, int noWait) {
    if (record->open != 0) return -1;
    DirectFile* file = OpenArchiveFile(record, path, keyString);
    if (file == nullptr) {
        InitArchiveRecord(record);
        return -1;
    }
    record->image = static_cast<unsigned char*>(VELK_ALLOC(record->size != 0 ? record->size : 1));
    if (record->image == nullptr) {
        CloseDirectFile(file);
        FreeMemory(record->tableBlock);
        InitArchiveRecord(record);
        return -1;
    }
    record->ownsImage = 1;
    record->inMemory = 1;
    // One asynchronous read of the whole file; CheckArchiveLoaded finishes it.
    SeekDirectFile(file, 0, 0);
    ReadDirectFile(record->image, 1, record->size, file);
    record->loadFile = file;
    record->loadPending = 1;
    FinishOpen(record);
    if (noWait == 0) WaitArchiveLoaded(record);
    return 0;
}

int OpenArchiveFromImage(ArchiveRecord* record, const void* image, size_t size,
                         const char* keyString) {
    if (record->open != 0) return -1;
    if (image == nullptr || size < kArchiveHeaderSize || size > UINT32_MAX) {
        LogDamagedArchive(nullptr, "image shorter than its header");
        return -1;
    }
    if (!ChooseKey(static_cast<const unsigned char*>(image), keyString, record->key,
                   &record->header)) {
        InitArchiveRecord(record);
        return -1;
    }
    if (!CheckHeader(record->header, size, nullptr)) {
        InitArchiveRecord(record);
        return -1;
    }
    // The caller's image may be read-only: unscramble a copy.
    auto* copy = static_cast<unsigned char*>(VELK_ALLOC(size));
    if (copy == nullptr) {
        InitArchiveRecord(record);
        return -1;
    }
    std::memcpy(copy, image, size);
    ScrambleArchiveBytes(size, copy, 0, record->key);
    record->image = copy;
    record->ownsImage = 1;
    record->tableBlock = copy + record->header.tableOffset;
    record->inMemory = 1;
    record->size = size;
    FinishOpen(record);
    return 0;
}

int CheckArchiveLoaded(ArchiveRecord* record) {
    if (record->lockReady == 0) return 1;
    V_EnterCriticalSection(&record->lock);
    int loaded = 1;
    if (record->loadPending != 0) {
        if (IsDirectFileIdle(record->loadFile) != 0) {
            const bool complete = record->loadFile->readDelivered == record->size;
            CloseDirectFile(record->loadFile);
            record->loadFile = nullptr;
            ScrambleArchiveBytes(record->size, record->image, 0, record->key);
            if (!complete) {
                // A short read leaves no usable image: its bytes read as zero.
                LogDamagedArchive(nullptr, "archive file shorter than when opened");
                std::memset(record->image, 0, record->size);
            }
            record->loadPending = 0;
        } else {
            loaded = 0;
        }
    }
    V_LeaveCriticalSection(&record->lock);
    return loaded;
}

void WaitArchiveLoaded(ArchiveRecord* record) {
    while (CheckArchiveLoaded(record) == 0) V_Sleep(0);
}

int CloseArchive(ArchiveRecord* record) {
    if (record->open == 0) return 0;
    WaitArchiveLoaded(record);
    if (record->file != nullptr) CloseDirectFile(record->file);
    if (record->readFile != nullptr) CloseDirectFile(record->readFile);
    if (record->ownsTable != 0) FreeMemory(record->tableBlock);
    if (record->ownsImage != 0) FreeMemory(record->image);
    if (record->lockReady != 0) V_DeleteCriticalSection(&record->lock);
    InitArchiveRecord(record);
    return 0;
}

int TermArchiveRecord(ArchiveRecord* record) {
    CloseArchive(record);
    InitArchiveRecord(record);
    return 0;
}

const unsigned char* GetArchiveImage(const ArchiveRecord* record) {
    return record->inMemory != 0 ? record->image : nullptr;
}

int64_t ReadArchiveFileAt(ArchiveRecord* record, uint64_t offset, void* destination,
                          uint32_t length, int wait) {
    DirectFile* file = record->file;
    if (file == nullptr || offset > INT32_MAX) return -1;
    if (length == 0) return 0;
    V_EnterCriticalSection(&record->lock);
    int64_t result = -1;
    if (wait != 0 && record->readFile != nullptr) {
        DirectFile* blocking = record->readFile;
        if (blocking->position == offset ||
            SeekDirectFile(blocking, static_cast<int32_t>(offset), 0) == 0)
            result = static_cast<int64_t>(ReadDirectFile(destination, 1, length, blocking));
    } else if (file->position == offset ||
               SeekDirectFile(file, static_cast<int32_t>(offset), 0) == 0) {
        ReadDirectFile(destination, 1, length, file);
        if (wait != 0) {
            WaitDirectFile(file);
            result = file->readDelivered;
        } else {
            result = length;
        }
    }
    V_LeaveCriticalSection(&record->lock);
    return result;
}
