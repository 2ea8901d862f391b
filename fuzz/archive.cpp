// Fuzz target of the archive reader. The input is an archive image before scrambling: it is
// scrambled with the built-in key, opened from memory and from a file, and every member and
// directory that can be found is read and searched.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/archive.h"

namespace {

void ReadWholeMember(ArchiveRecord* record, const char* path, int async) {
    ArchiveMemberState state;
    if (OpenArchiveMember(&state, record, path, async) != 0) return;
    unsigned char buffer[4096];
    for (int i = 0; i < 64 && ReadArchiveMember(&state, buffer, sizeof(buffer)) != 0; ++i) {
        while (PollArchiveMemberRead(&state) == 0) {
        }
    }
    SeekArchiveMember(&state, -7, 2);
    ReadArchiveMember(&state, buffer, 3);
    TellArchiveMember(&state);
    IsArchiveMemberEof(&state);
    CloseArchiveMember(&state);
}

// Searches a directory and reads what it finds, going down a few levels.
void Explore(ArchiveRecord* record, const std::string& directory, int depth, int async) {
    FindRecord found;
    const std::string pattern = directory + "*";
    ArchiveSearch* search = FindFirstArchiveMember(record, pattern.c_str(), &found);
    if (search == nullptr) return;
    int entries = 0;
    do {
        const std::string name = found.name;
        if (name == "." || name == "..") continue;
        const std::string path = directory + name;
        if (found.directoryFlag != 0) {
            if (depth < 3) Explore(record, path + "\\", depth + 1, async);
        } else {
            ReadWholeMember(record, path.c_str(), async);
        }
    } while (++entries < 32 && FindNextArchiveMember(search, &found) == 0);
    FindCloseArchiveMember(search);
}

void ExerciseRecord(ArchiveRecord* record, int async) {
    Explore(record, "", 0, async);
    ReadWholeMember(record, "A.BMP", async);
    ReadWholeMember(record, "SUB\\B.DAT", async);
    ChangeArchiveDir(record, "SUB\\DEEP", 1, nullptr);
    ChangeArchiveDir(record, "..", 0, nullptr);
    uint32_t offset = 0;
    uint32_t size = 0;
    GetArchiveMemberLocation(record, "A.BMP", &offset, &size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    unsigned char key[kArchiveKeySize];
    MakeArchiveKey(nullptr, key);
    ScrambleArchiveBytes(image.size(), image.data(), 0, key);

    ArchiveRecord record;
    InitArchiveRecord(&record);
    if (OpenArchiveFromImage(&record, image.data(), image.size(), nullptr) == 0) {
        ExerciseRecord(&record, 0);
        TermArchiveRecord(&record);
    }

    // The streamed reader sees the same bytes through an archive file and its reader thread;
    // its thread round trips are slow, so only every fourth input length takes this road.
    if (size % 4 != 0) return 0;
    static const std::string path = "/tmp/velk-fuzz-archive-" + std::to_string(getpid()) + ".VKA";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), file);
        std::fclose(file);
        InitArchiveRecord(&record);
        if (OpenArchiveStreamed(&record, path.c_str(), nullptr) == 0) {
            ExerciseRecord(&record, static_cast<int>(size & 1));
            CloseArchive(&record);
        }
        std::remove(path.c_str());
    }
    return 0;
}
