// Fuzz target of archives reached through the file-access table: the input is an archive image
// before scrambling. It is scrambled with the built-in key and written as the archive that
// stands in for a folder of this process, whose members are then searched for, opened, read,
// seeked and read through streams with OpenFileHandle and the find operations; the image is
// also opened from memory under a key made from a key string the input gives.
//   input: byte 0 the length of the key string that follows it (0: none), then the image
#include <cstdio>
#include <string>
#include <vector>

#include "core/archive.h"
#include "core/core.h"
#include "work_folder.h"

namespace {

std::string g_Folder;

void ReadThroughTable(const std::string& path) {
    intptr_t file = OpenFileHandle(path.c_str(), 0, 1, 0);
    if (file == 0) return;
    unsigned char buffer[4096];
    for (int i = 0; i < 64 && ReadFileHandle(buffer, 1, sizeof buffer, file) != 0; ++i) {
        while (IsFileHandleIdle(file) == 0) {
        }
    }
    SeekFileHandle(file, -5, 2);
    ReadFileHandle(buffer, 1, 9, file);
    TellFileHandle(file);
    IsFileHandleEof(file);
    CloseFileHandle(file);
}

// Searches a folder of the archive and reads what it finds, going down a few levels.
void Explore(const std::string& directory, int depth) {
    const FileAccessFunctions* table = GetFileAccessFunctions();
    FindRecord found;
    intptr_t find = table->findFirst((directory + "\\*").c_str(), &found);
    if (find == -1) return;
    int entries = 0;
    do {
        const std::string name = found.name;
        if (name == "." || name == "..") continue;
        const std::string path = directory + "\\" + name;
        if (found.directoryFlag != 0) {
            if (depth < 3) Explore(path, depth + 1);
        } else {
            ReadThroughTable(path);
        }
    } while (++entries < 32 && table->findNext(find, &found) == 0);
    table->findClose(find);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_Folder = MakeWorkFolder("archive-files");
    SetFileAccessFunctions(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t keyLength = data[0] < size ? data[0] : size - 1;
    const std::string keyString(reinterpret_cast<const char*>(data + 1), keyLength);
    std::vector<uint8_t> image(data + 1 + keyLength, data + size);

    // From memory under the key string's key (the built-in key when there is none).
    std::vector<uint8_t> keyed = image;
    unsigned char key[kArchiveKeySize];
    const char* keyText = keyLength != 0 ? keyString.c_str() : nullptr;
    MakeArchiveKey(keyText, key);
    ScrambleArchiveBytes(keyed.size(), keyed.data(), 0, key);
    ArchiveRecord record;
    InitArchiveRecord(&record);
    if (OpenArchiveFromImage(&record, keyed.data(), keyed.size(), keyText) == 0)
        TermArchiveRecord(&record);

    // As the archive standing in for the folder DATA, through the file-access table.
    MakeArchiveKey(nullptr, key);
    ScrambleArchiveBytes(image.size(), image.data(), 0, key);
    const std::string archive = g_Folder + "/DATA.VKA";
    if (FILE* f = std::fopen(archive.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    const std::string folder = g_Folder + "/DATA";
    Explore(folder, 0);
    ReadThroughTable(folder + "\\A.BMP");
    ReadThroughTable(folder + "\\SUB\\B.DAT");
    CloseArchives();  // the next input is another archive under the same name
    std::remove(archive.c_str());
    return 0;
}
