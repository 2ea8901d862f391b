// Files, searches, folders and temporary names.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"
#include "scratch.h"

namespace {

V_HANDLE Open(const std::string& name, V_DWORD creation,
              V_DWORD access = V_GENERIC_READ | V_GENERIC_WRITE) {
    return V_CreateFileA(name.c_str(), access, 0, nullptr, creation, V_FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

std::vector<std::string> FindAll(const std::string& pattern) {
    std::vector<std::string> names;
    V_WIN32_FIND_DATAA data;
    V_HANDLE find = V_FindFirstFileA(pattern.c_str(), &data);
    if (find == V_INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (V_FindNextFileA(find, &data));
    EXPECT_EQ(V_ERROR_NO_MORE_FILES, V_GetLastError());
    V_FindClose(find);
    return names;
}

}  // namespace

TEST(Files, CreationModes) {
    ScratchFolder root;
    std::string name = root / "file.bin";
    V_HANDLE file = Open(name, V_OPEN_EXISTING);
    EXPECT_EQ(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(V_ERROR_FILE_NOT_FOUND, V_GetLastError());
    EXPECT_EQ(V_INVALID_HANDLE_VALUE, Open(root / "missing/file.bin", V_OPEN_EXISTING));
    EXPECT_EQ(V_ERROR_PATH_NOT_FOUND, V_GetLastError());

    file = Open(name, V_CREATE_NEW);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    V_DWORD count = 0;
    EXPECT_TRUE(V_WriteFile(file, "0123456789", 10, &count, nullptr));
    EXPECT_EQ(10u, count);
    EXPECT_TRUE(V_FlushFileBuffers(file));
    V_CloseHandle(file);

    EXPECT_EQ(V_INVALID_HANDLE_VALUE, Open(name, V_CREATE_NEW));
    EXPECT_EQ(V_ERROR_FILE_EXISTS, V_GetLastError());
    // Emptying needs write access: without it the open is refused and the bytes stay.
    EXPECT_EQ(V_INVALID_HANDLE_VALUE, Open(name, V_TRUNCATE_EXISTING, V_GENERIC_READ));
    EXPECT_EQ(V_ERROR_INVALID_PARAMETER, V_GetLastError());

    file = Open(name, V_OPEN_ALWAYS);  // keeps the contents and says it existed
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(V_ERROR_ALREADY_EXISTS, V_GetLastError());
    EXPECT_EQ(10u, V_GetFileSize(file, nullptr));
    V_CloseHandle(file);

    file = Open(root / "other.bin", V_OPEN_ALWAYS);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(V_ERROR_SUCCESS, V_GetLastError());
    V_CloseHandle(file);

    file = Open(name, V_CREATE_ALWAYS);  // empties the file
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(V_ERROR_ALREADY_EXISTS, V_GetLastError());
    EXPECT_EQ(0u, V_GetFileSize(file, nullptr));
    V_CloseHandle(file);

    // A folder is not a file.
    EXPECT_EQ(V_INVALID_HANDLE_VALUE, Open(root.path(), V_OPEN_EXISTING, V_GENERIC_READ));
    EXPECT_EQ(V_ERROR_ACCESS_DENIED, V_GetLastError());
    EXPECT_FALSE(V_DeleteFileA(root.path().c_str()));

    EXPECT_EQ(V_FILE_ATTRIBUTE_ARCHIVE, V_GetFileAttributesA(name.c_str()));
    EXPECT_TRUE(V_DeleteFileA(name.c_str()));
    EXPECT_EQ(V_INVALID_FILE_ATTRIBUTES, V_GetFileAttributesA(name.c_str()));
    EXPECT_EQ(V_ERROR_FILE_NOT_FOUND, V_GetLastError());
    EXPECT_FALSE(V_DeleteFileA(name.c_str()));
}

TEST(Files, SeekSizeAndReadPastTheEnd) {
    ScratchFolder root;
    ASSERT_TRUE(MakeFile(root / "data.bin", "abcdefghij"));
    V_HANDLE file = Open(root / "data.bin", V_OPEN_EXISTING, V_GENERIC_READ);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    V_DWORD high = 99;
    EXPECT_EQ(10u, V_GetFileSize(file, &high));
    EXPECT_EQ(0u, high);

    char buffer[16] = {};
    V_DWORD count = 0;
    EXPECT_EQ(7u, V_SetFilePointer(file, -3, nullptr, V_FILE_END));
    EXPECT_TRUE(V_ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(0, memcmp(buffer, "hij", 3));
    EXPECT_TRUE(
        V_ReadFile(file, buffer, sizeof(buffer), &count, nullptr));  // at the end: success, nothing
    EXPECT_EQ(0u, count);

    EXPECT_EQ(2u, V_SetFilePointer(file, 2, nullptr, V_FILE_BEGIN));
    EXPECT_EQ(5u, V_SetFilePointer(file, 3, nullptr, V_FILE_CURRENT));
    EXPECT_TRUE(V_ReadFile(file, buffer, 2, &count, nullptr));
    EXPECT_EQ(0, memcmp(buffer, "fg", 2));

    EXPECT_EQ(V_INVALID_SET_FILE_POINTER, V_SetFilePointer(file, -20, nullptr, V_FILE_CURRENT));
    EXPECT_EQ(V_ERROR_NEGATIVE_SEEK, V_GetLastError());
    EXPECT_EQ(7u, V_SetFilePointer(file, 0, nullptr, V_FILE_CURRENT));  // position kept

    // With a high part the distance is 64 bits wide; seeking past the end is allowed.
    V_LONG distanceHigh = 1;
    EXPECT_EQ(0u, V_SetFilePointer(file, 0, &distanceHigh, V_FILE_BEGIN));
    EXPECT_EQ(1, distanceHigh);
    EXPECT_TRUE(V_ReadFile(file, buffer, 4, &count, nullptr));
    EXPECT_EQ(0u, count);

    EXPECT_FALSE(V_WriteFile(file, "x", 1, &count, nullptr));  // opened for reading only
    V_FILETIME created, accessed, written;
    EXPECT_TRUE(V_GetFileTime(file, &created, &accessed, &written));
    EXPECT_GT(written.dwHighDateTime, 0x01D00000u);  // after 2015
    EXPECT_TRUE(V_CloseHandle(file));
    EXPECT_FALSE(V_ReadFile(file, buffer, 1, &count, nullptr));
    EXPECT_EQ(V_ERROR_INVALID_HANDLE, V_GetLastError());

    // Two writers that each move to the end and write (as two copies writing one log) keep
    // both their bytes; a writer moved elsewhere afterwards writes there.
    V_HANDLE one = Open(root / "data.bin", V_OPEN_ALWAYS, V_GENERIC_WRITE);
    V_HANDLE two = Open(root / "data.bin", V_OPEN_ALWAYS, V_GENERIC_WRITE);
    EXPECT_EQ(10u, V_SetFilePointer(one, 0, nullptr, V_FILE_END));
    EXPECT_EQ(10u, V_SetFilePointer(two, 0, nullptr, V_FILE_END));
    EXPECT_TRUE(V_WriteFile(one, "1", 1, &count, nullptr));
    EXPECT_TRUE(V_WriteFile(two, "2", 1, &count, nullptr));
    EXPECT_EQ(0u, V_SetFilePointer(one, 0, nullptr, V_FILE_BEGIN));
    EXPECT_TRUE(V_WriteFile(one, "A", 1, &count, nullptr));
    V_CloseHandle(one);
    V_CloseHandle(two);
    EXPECT_EQ("Abcdefghij12", FileText(root / "data.bin"));
}

TEST(Files, FindWithWildcards) {
    ScratchFolder root;
    for (const char* name : {"a1.txt", "a2.txt", "b10.txt", "readme", "c.TXT"})
        ASSERT_TRUE(MakeFile(root / name, "1234"));
    ASSERT_TRUE(MakeFolder(root / "Sub") && MakeFile(root / "Sub/inner.dat"));

    EXPECT_EQ((std::vector<std::string>{"a1.txt", "a2.txt", "b10.txt", "c.TXT"}),
              FindAll(root / "*.txt"));
    EXPECT_EQ((std::vector<std::string>{"a1.txt", "a2.txt"}), FindAll(root.path() + "\\A?.TXT"));
    EXPECT_EQ((std::vector<std::string>{"b10.txt"}), FindAll(root / "?10.*"));
    EXPECT_EQ((std::vector<std::string>{"readme"}), FindAll(root / "readme"));
    EXPECT_EQ((std::vector<std::string>{".", "..", "Sub", "a1.txt", "a2.txt", "b10.txt", "c.TXT",
                                        "readme"}),
              FindAll(root / "*.*"));
    EXPECT_EQ((std::vector<std::string>{"inner.dat"}), FindAll(root.path() + "\\SUB\\*.dat"));

    V_WIN32_FIND_DATAA data;
    V_HANDLE find = V_FindFirstFileA((root / "S*").c_str(), &data);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(V_FILE_ATTRIBUTE_DIRECTORY, data.dwFileAttributes & V_FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(V_FindNextFileA(find, &data));
    EXPECT_TRUE(V_FindClose(find));
    find = V_FindFirstFileA((root / "a1*").c_str(), &data);
    EXPECT_EQ(4u, data.nFileSizeLow);
    EXPECT_EQ(0u, data.dwFileAttributes & V_FILE_ATTRIBUTE_DIRECTORY);
    V_FindClose(find);

    EXPECT_EQ(V_INVALID_HANDLE_VALUE, V_FindFirstFileA((root / "*.none").c_str(), &data));
    EXPECT_EQ(V_ERROR_FILE_NOT_FOUND, V_GetLastError());
    EXPECT_EQ(V_INVALID_HANDLE_VALUE, V_FindFirstFileA((root / "nofolder/*").c_str(), &data));
    EXPECT_EQ(V_ERROR_PATH_NOT_FOUND, V_GetLastError());
}

TEST(Files, FoldersAndCurrentDirectory) {
    ScratchFolder root;
    std::string folder = root.path() + "\\新しいフォルダ";
    EXPECT_TRUE(V_CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_FALSE(V_CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(V_ERROR_ALREADY_EXISTS, V_GetLastError());
    EXPECT_TRUE(PathExists(root / Utf8(u8"新しいフォルダ")));

    char saved[4096];
    ASSERT_GT(V_GetCurrentDirectoryA(sizeof(saved), saved), 0u);
    ASSERT_TRUE(V_SetCurrentDirectoryA(folder.c_str()));
    std::string expected = root.path() + "/新しいフォルダ";
    char buffer[4096];
    EXPECT_EQ(expected.size(), V_GetCurrentDirectoryA(sizeof(buffer), buffer));
    EXPECT_EQ(expected, buffer);
    // Too small: the size needed, with its NUL, and the buffer untouched.
    char small[4] = "xyz";
    EXPECT_EQ(expected.size() + 1, V_GetCurrentDirectoryA(sizeof(small), small));
    EXPECT_STREQ("xyz", small);
    // Relative names follow the current folder.
    V_HANDLE file = Open("here.txt", V_CREATE_NEW);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    V_CloseHandle(file);
    EXPECT_TRUE(PathExists(root / Utf8(u8"新しいフォルダ/here.txt")));
    ASSERT_TRUE(V_SetCurrentDirectoryA(saved));
    EXPECT_FALSE(V_SetCurrentDirectoryA((root / "none").c_str()));

    EXPECT_FALSE(V_RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(V_ERROR_DIR_NOT_EMPTY, V_GetLastError());
    EXPECT_TRUE(V_DeleteFileA((folder + "\\HERE.TXT").c_str()));
    EXPECT_TRUE(V_RemoveDirectoryA(folder.c_str()));
    EXPECT_FALSE(PathExists(root / Utf8(u8"新しいフォルダ")));

    // A folder found once through another case is no answer once one of exactly the name
    // written appears: every folder call below it takes the exact one.
    ASSERT_TRUE(MakeFolder(root / "Fold") && MakeFolder(root / "Fold/sub"));
    const std::string written = root / "fold";
    EXPECT_EQ(V_FILE_ATTRIBUTE_DIRECTORY, V_GetFileAttributesA((written + "\\sub").c_str()));
    ASSERT_TRUE(MakeFolder(written));
    EXPECT_EQ(V_INVALID_FILE_ATTRIBUTES, V_GetFileAttributesA((written + "\\sub").c_str()));
    EXPECT_TRUE(V_CreateDirectoryA((written + "\\made").c_str(), nullptr));
    EXPECT_TRUE(PathExists(written + "/made"));
    EXPECT_FALSE(PathExists(root / "Fold/made"));
    EXPECT_EQ((std::vector<std::string>{"made"}), FindAll(written + "\\m*"));
    ASSERT_TRUE(V_SetCurrentDirectoryA((written + "\\made").c_str()));
    EXPECT_EQ(written.size() + 5, V_GetCurrentDirectoryA(sizeof(buffer), buffer));
    ASSERT_TRUE(V_SetCurrentDirectoryA(saved));
    EXPECT_TRUE(V_RemoveDirectoryA((written + "\\made").c_str()));
    EXPECT_FALSE(PathExists(written + "/made"));
}

namespace {
struct TempNameState {
    std::string folder;
    std::vector<std::string> names[4];
    std::atomic<int> next{0};  // the next thread's list
};
V_DWORD MakeTempNamesThread(void* argument) {
    auto* state = static_cast<TempNameState*>(argument);
    std::vector<std::string>& names = state->names[state->next.fetch_add(1)];
    for (int i = 0; i < 50; ++i) {
        char name[V_MAX_PATH];
        if (V_GetTempFileNameA(state->folder.c_str(), "tmp", 0, name) == 0) return 1;
        names.push_back(name);
    }
    return 0;
}
}  // namespace

TEST(Files, TempNamesAreUniqueAndCreatedAtOnce) {
    ScratchFolder root;
    TempNameState state;
    state.folder = root.path();
    V_HANDLE threads[4];
    for (V_HANDLE& thread : threads)
        thread = V_CreateThread(nullptr, 0, MakeTempNamesThread, &state, 0, nullptr);
    ASSERT_EQ(V_WAIT_OBJECT_0, V_WaitForMultipleObjects(4, threads, V_TRUE, V_INFINITE));
    std::set<std::string> unique;
    for (int i = 0; i < 4; ++i) {
        V_DWORD code = 1;
        V_GetExitCodeThread(threads[i], &code);
        EXPECT_EQ(0u, code);
        V_CloseHandle(threads[i]);
        for (const std::string& name : state.names[i]) {
            unique.insert(name);
            EXPECT_EQ(0u, name.rfind(root.path() + "/tmp", 0)) << name;
            EXPECT_EQ(".TMP", name.substr(name.size() - 4));
            EXPECT_TRUE(PathExists(name)) << name;
        }
    }
    EXPECT_EQ(200u, unique.size());

    // A given number only makes the name.
    char name[V_MAX_PATH];
    EXPECT_EQ(0x1234u, V_GetTempFileNameA((root.path() + "\\").c_str(), "prefix", 0x1234, name));
    EXPECT_EQ(root.path() + "\\pre1234.TMP", name);
    EXPECT_FALSE(PathExists(root / "pre1234.TMP"));
    EXPECT_EQ(0u, V_GetTempFileNameA((root / "missing").c_str(), "tmp", 0, name));
    // A folder ending in 表 (0x95 0x5C), or in a pair after a lead byte at either end of either
    // range, does not end in a separator: one is added, as to any folder without one.
    for (const char* pair : {"\x95\x5C", "\x81\x5C", "\x9F\x5C", "\xE0\x5C", "\xFC\x5C"}) {
        const std::string folder = root.path() + "/" + pair;
        EXPECT_EQ(0x1234u, V_GetTempFileNameA(folder.c_str(), "pre", 0x1234, name));
        EXPECT_EQ(folder + "/pre1234.TMP", name);
    }

    // The temporary folder follows TMPDIR and ends with a separator.
    const char* saved = getenv("TMPDIR");
    std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", root.path().c_str(), 1);
    char folder[V_MAX_PATH];
    EXPECT_EQ(root.path().size() + 1, V_GetTempPathA(sizeof(folder), folder));
    EXPECT_EQ(root.path() + "/", folder);
    EXPECT_EQ(root.path().size() + 2, V_GetTempPathA(4, folder));
    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
}
