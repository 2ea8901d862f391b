// The archive reader: scrambled archive files that stand in for a directory, their tables,
// member reads and searches, and the table of open archives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/core.h"
#include "platform/kernel/kernel.h"

struct DirectFile;

constexpr int kMaxArchives = 512;
constexpr int kArchiveKeySize = 12;
constexpr uint32_t kArchiveHeaderSize = 24;
constexpr uint32_t kArchiveDirRecordSize = 16;
constexpr uint32_t kArchiveDirectoryAttribute = 0x10;
constexpr uint32_t kArchiveRootParent = 0xFFFFFFFF;
constexpr uint32_t kArchiveStoredMember = 0xFFFFFFFF;
constexpr uint16_t kArchiveSignature = 'V' | ('K' << 8);
constexpr int kArchiveMaxNameBytes = 1024;  // longest path component looked up

// File record size of an archive version.
inline uint32_t GetArchiveFileRecordSize(uint32_t version) { return version >= 2 ? 44 : 40; }

struct ArchiveHeader {
    uint16_t signature;
    uint16_t version;
    uint32_t tableSize;
    uint32_t dataOffset;
    uint32_t tableOffset;
    uint32_t fileTableOffset;  // within the table block
    uint32_t dirTableOffset;   // within the table block
};

// One file record, read out of the table block.
struct ArchiveEntry {
    uint32_t nameOffset;
    uint32_t attributes;
    uint64_t creationTime;
    uint64_t thirdTime;
    uint64_t lastWriteTime;
    uint32_t dataOffset;  // a file: within the data area; a directory: its directory record
    uint32_t size;        // decoded size
    uint32_t packedSize;  // kArchiveStoredMember when stored (always below version 2)
};

struct ArchiveDir {
    uint32_t parent;       // directory record offset, kArchiveRootParent for the root
    uint32_t entryCount;
    uint32_t firstEntry;   // file record offset
};

// Search key of one path component, in the stored form of the name records.
struct ArchiveName {
    uint16_t length4;  // L: length of the name copy in 4-byte units
    uint16_t sum;      // sum of the upper-cased bytes
    unsigned char upper[kArchiveMaxNameBytes + 4];
};

struct ArchiveRecord {
    ArchiveHeader header;
    unsigned char* image;       // the whole archive, unscrambled (in-memory archives)
    DirectFile* file;           // the archive file (streamed archives)
    DirectFile* readFile;       // the same without a thread, for reads that are waited for
    unsigned char* tableBlock;  // name table at offset 0
    uint32_t currentDir;        // directory record offset
    unsigned char key[kArchiveKeySize];
    int32_t open;
    int32_t inMemory;
    int32_t ownsImage;
    int32_t ownsTable;  // the table block is an allocation of its own
    uint64_t size;  // archive size in bytes
    int32_t loadPending;
    DirectFile* loadFile;
    int32_t lockReady;
    V_CRITICAL_SECTION lock;  // serialises use of the shared archive file
};

struct ArchiveMemberState {
    ArchiveRecord* archive;
    ArchiveEntry entry;
    uint64_t archiveOffset;  // of the member's bytes
    unsigned char* decoded;
    unsigned char* readBuffer;
    int32_t endFlag;
    uint32_t position;
    int32_t asyncFlag;
    int32_t damaged;      // a compressed member that failed to decode reads nothing
    int32_t pendingKind;  // 0 none, 1 compressed whole, 2 plain read
    uint64_t pendingOffset;
    unsigned char* pendingDestination;
    uint32_t pendingLength;
};

struct ArchiveSearch {
    ArchiveRecord* archive;
    char pattern[kPathBufferSize];
    uint32_t dir;
    uint32_t index;
};

// Keys and scrambling (archive_key.cpp).
void MakeArchiveKey(const char* keyString, unsigned char key[kArchiveKeySize]);
void GetArchiveSecondKey(unsigned char key[kArchiveKeySize]);
void ScrambleArchiveBytes(size_t length, void* data, uint64_t archiveOffset,
                          const unsigned char key[kArchiveKeySize]);

// Records (archive_record.cpp).
int InitArchiveRecord(ArchiveRecord* record);
int OpenArchiveStreamed(ArchiveRecord* record, const char* path, const char* keyString);
int OpenArchiveWhole(ArchiveRecord* record, const char* path, const char* keyString, int noWait);
// The image is copied before it is unscrambled; the caller's bytes stay as they are.
int OpenArchiveFromImage(ArchiveRecord* record, const void* image, size_t size,
                         const char* keyString);
int CheckArchiveLoaded(ArchiveRecord* record);
void WaitArchiveLoaded(ArchiveRecord* record);
int CloseArchive(ArchiveRecord* record);
int TermArchiveRecord(ArchiveRecord* record);
const unsigned char* GetArchiveImage(const ArchiveRecord* record);
// Reads archive bytes at an offset from the archive file (serialised per archive). With wait 0
// the read is only posted. Returns the bytes read (or posted), -1 on failure.
int64_t ReadArchiveFileAt(ArchiveRecord* record, uint64_t offset, void* destination,
                          uint32_t length, int wait);

// Table access with every offset checked against the table block (archive_table_block.cpp).
bool ReadArchiveEntry(const ArchiveRecord* record, uint64_t fileRecordOffset, ArchiveEntry* entry);
bool ReadArchiveDir(const ArchiveRecord* record, uint64_t dirRecordOffset, ArchiveDir* dir);
// The name record at an offset: L, sum and both name copies (each 4 × L bytes).
bool ReadArchiveNameRecord(const ArchiveRecord* record, uint32_t nameOffset, uint16_t* length4,
                           uint16_t* sum, const unsigned char** upper,
                           const unsigned char** written);

// Lookup (archive_lookup.cpp).
int BuildArchiveName(const char* text, size_t* byteLength, ArchiveName* name);
int FindInArchiveDir(const ArchiveName* name, const ArchiveRecord* record, uint32_t* dir);
int ChangeArchiveDir(ArchiveRecord* record, const char* path, int restoreFlag,
                     ArchiveName* failingName);
// Walks a directory path from *dir; on failure *dir is where the walk stopped.
int WalkArchiveDir(const ArchiveRecord* record, uint32_t* dir, const char* path,
                   ArchiveName* failingName, const char** failingComponent);
int FindArchiveEntry(const char* path, const ArchiveRecord* record, ArchiveEntry* entry);

// Members (archive_member.cpp).
int OpenArchiveMember(ArchiveMemberState* state, ArchiveRecord* record, const char* memberPath,
                      int asyncFlag);
size_t ReadArchiveMember(ArchiveMemberState* state, void* buffer, size_t bytes);
int SeekArchiveMember(ArchiveMemberState* state, int32_t offset, int origin);
int32_t TellArchiveMember(ArchiveMemberState* state);
int IsArchiveMemberEof(ArchiveMemberState* state);
int PollArchiveMemberRead(ArchiveMemberState* state);
int CloseArchiveMember(ArchiveMemberState* state);
int GetArchiveMemberLocation(ArchiveRecord* record, const char* path, uint32_t* offset,
                             uint32_t* size);

// Searches (archive_search.cpp).
ArchiveSearch* FindFirstArchiveMember(ArchiveRecord* record, const char* pattern,
                                      FindRecord* found);
int FillArchiveFindRecord(ArchiveSearch* search, FindRecord* found);
int FindNextArchiveMember(ArchiveSearch* search, FindRecord* found);
int FindCloseArchiveMember(ArchiveSearch* search);

// The table of open archives (archive_table.cpp); callers hold the file-layer lock.
int ResolveArchivePath(const char* path, int* slot, char* archivePath, char* memberPath);
int AcquireArchive(int hint, const char* path, int mode, int noWait);
void ReleaseArchive(int slot);
ArchiveRecord* GetArchiveSlotRecord(int slot);
int GetArchiveReferenceCount(int slot);
int CloseUnusedArchives();
int GetOpenArchiveCount();

// Logs that an archive (path or none) is damaged and why.
void LogDamagedArchive(const char* path, const char* what);
