// The file-name adapter: separators, drives, code page 932 names and case-insensitive lookup.
#include <gtest/gtest.h>
#include <time.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel.h"
#include "scratch.h"

TEST(FileNames, SeparatorsAndDrivesBecomeLinuxPaths) {
    ScratchFolder root;
    ASSERT_TRUE(MakeFolder(root / "a") && MakeFolder(root / "a/b") && MakeFile(root / "a/b/c.txt"));
    std::string path;
    ASSERT_TRUE(V_ResolveFileName((root.path() + "\\a\\b/c.txt").c_str(), path));
    EXPECT_EQ(root / "a/b/c.txt", path);
    ASSERT_TRUE(V_ResolveFileName(("C:" + root.path() + "\\a\\b\\c.txt").c_str(), path));
    EXPECT_EQ(root / "a/b/c.txt", path);
    ASSERT_TRUE(V_ResolveFileName("c:relative\\name", path));
    EXPECT_EQ("relative/name", path);
    ASSERT_TRUE(V_ResolveFileName("D:", path));
    EXPECT_EQ(".", path);
    // Doubled separators collapse during the lookup of a missing name; a trailing one stays.
    ASSERT_TRUE(V_ResolveFileName((root.path() + "\\A\\\\B\\").c_str(), path));
    EXPECT_EQ(root / "a/b/", path);

    EXPECT_FALSE(V_ResolveFileName(nullptr, path));
    EXPECT_FALSE(V_ResolveFileName("", path));
    EXPECT_FALSE(V_ResolveFileName("abc\x82", path));  // a lone lead byte is not a name
    EXPECT_EQ(V_ERROR_INVALID_NAME, V_GetLastError());
}

TEST(FileNames, Cp932NamesAreUtf8OnDisk) {
    ScratchFolder root;
    // "表" and "ソ" end in 0x5C in code page 932: the trail byte must not split the name.
    std::string name = root.path() + "\\表示ソフト.txt";
    V_HANDLE file = V_CreateFileA(name.c_str(), V_GENERIC_WRITE, 0, nullptr, V_CREATE_NEW,
                                  V_FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    V_DWORD written = 0;
    EXPECT_TRUE(V_WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_TRUE(V_CloseHandle(file));
    EXPECT_TRUE(PathExists(root / Utf8(u8"表示ソフト.txt")));

    std::string path;
    ASSERT_TRUE(V_ResolveFileName(name.c_str(), path));
    EXPECT_EQ(root / Utf8(u8"表示ソフト.txt"), path);

    V_WIN32_FIND_DATAA found;
    V_HANDLE find = V_FindFirstFileA((root.path() + "/*.txt").c_str(), &found);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, find);
    EXPECT_STREQ("表示ソフト.txt", found.cFileName);
    EXPECT_EQ(1u, found.nFileSizeLow);
    EXPECT_TRUE(V_FindClose(find));
    EXPECT_TRUE(V_DeleteFileA(name.c_str()));
    EXPECT_FALSE(PathExists(path));
}

TEST(FileNames, MissingNamesAreFoundWithoutRegardToCase) {
    ScratchFolder root;
    ASSERT_TRUE(MakeFolder(root / "Data") && MakeFolder(root / "Data/Sound") &&
                MakeFile(root / "Data/Sound/BGM01.ogg", "music"));
    ASSERT_TRUE(MakeFolder(root / Utf8(u8"Ｍｏｖｉｅ")) &&
                MakeFile(root / Utf8(u8"Ｍｏｖｉｅ/Ωmega.avi")));
    std::string path;
    ASSERT_TRUE(V_ResolveFileName((root.path() + "\\DATA\\sound\\bgm01.OGG").c_str(), path));
    EXPECT_EQ(root / "Data/Sound/BGM01.ogg", path);
    // Full-width and Greek letters fold too.
    ASSERT_TRUE(V_ResolveFileName((root.path() + "\\ＭＯＶＩＥ\\ωMEGA.AVI").c_str(), path));
    EXPECT_EQ(root / Utf8(u8"Ｍｏｖｉｅ/Ωmega.avi"), path);
    // A new file in a folder written in another case lands in the existing folder.
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/data/SOUND/New.wav").c_str(), path));
    EXPECT_EQ(root / "Data/Sound/New.wav", path);
    // Below a missing folder everything is kept as written.
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/nothing/DATA/x").c_str(), path));
    EXPECT_EQ(root / "nothing/DATA/x", path);

    // The platform calls use the lookup.
    V_HANDLE file =
        V_CreateFileA((root.path() + "\\data\\Sound\\bgm01.ogg").c_str(), V_GENERIC_READ,
                      V_FILE_SHARE_READ, nullptr, V_OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(5u, V_GetFileSize(file, nullptr));
    V_CloseHandle(file);
    EXPECT_EQ(V_FILE_ATTRIBUTE_DIRECTORY,
              V_GetFileAttributesA((root.path() + "/DATA/SOUND").c_str()));
}

TEST(FileNames, NameThatExistsAsWrittenWins) {
    ScratchFolder root;
    ASSERT_TRUE(MakeFile(root / "readme.txt", "lower") && MakeFile(root / "README.TXT", "upper") &&
                MakeFolder(root / "dir") && MakeFolder(root / "DIR") && MakeFile(root / "DIR/f"));
    std::string path;
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/README.TXT").c_str(), path));
    EXPECT_EQ(root / "README.TXT", path);
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/readme.txt").c_str(), path));
    EXPECT_EQ(root / "readme.txt", path);
    // Neither spelling exists: the choice is stable (the smallest name).
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/ReadMe.txt").c_str(), path));
    EXPECT_EQ(root / "README.TXT", path);
    // Each component is looked up on its own: "DIR" exists as written and "F" is found as
    // "f" in it; "dir" exists as written too, and holds no "f" of any case.
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/DIR/F").c_str(), path));
    EXPECT_EQ(root / "DIR/f", path);
    ASSERT_TRUE(V_ResolveFileName((root.path() + "/dir/F").c_str(), path));
    EXPECT_EQ(root / "dir/F", path);
    // Creating a file beside one whose name differs only in case leaves that one alone.
    ASSERT_TRUE(MakeFile(root / "log.txt", "user"));
    V_HANDLE file = V_CreateFileA((root.path() + "/Log.txt").c_str(), V_GENERIC_WRITE, 0, nullptr,
                                  V_CREATE_ALWAYS, V_FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    V_CloseHandle(file);
    EXPECT_TRUE(PathExists(root / "Log.txt"));
    file = V_CreateFileA((root.path() + "/log.txt").c_str(), V_GENERIC_READ, 0, nullptr,
                         V_OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(4u, V_GetFileSize(file, nullptr)) << "log.txt was truncated";
    V_CloseHandle(file);
}

TEST(FileNames, PatternsMatchWithoutRegardToCase) {
    EXPECT_TRUE(MatchFileNamePattern("*.txt", "A.TXT"));
    EXPECT_TRUE(MatchFileNamePattern("*.*", "noextension"));
    EXPECT_TRUE(MatchFileNamePattern("a?c", "abc"));
    EXPECT_FALSE(MatchFileNamePattern("a?c", "ac"));
    EXPECT_TRUE(MatchFileNamePattern("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(MatchFileNamePattern("*a*b", "xxbxxa"));
    EXPECT_TRUE(MatchFileNamePattern("file??.dat", "FILE01.DAT"));
    EXPECT_FALSE(MatchFileNamePattern("file??.dat", "file1.dat"));
    // '?' stands for one character, not one byte.
    EXPECT_TRUE(MatchFileNamePattern("?.bmp", reinterpret_cast<const char*>(u8"絵.bmp")));
    EXPECT_TRUE(FileNamesEqualFolded(reinterpret_cast<const char*>(u8"ＡＢＣ"),
                                     reinterpret_cast<const char*>(u8"ａｂｃ")));
    EXPECT_FALSE(FileNamesEqualFolded("abc", "abcd"));
}

namespace {

// Puts a folder's modification time two minutes back, as for data installed long ago, so that
// the adapter keeps its listing.
void AgeFolder(const std::string& folder) {
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 120;
    times[1] = times[0];
    utimensat(AT_FDCWD, folder.c_str(), times, 0);
}

}  // namespace

TEST(FileNames, KeptListingsFollowChangesOfTheFolder) {
    ScratchFolder scratch;
    ASSERT_TRUE(MakeFolder(scratch / "Data"));
    ASSERT_TRUE(MakeFile(scratch / "Data/Old.txt"));
    AgeFolder(scratch / "Data");
    AgeFolder(scratch.path());
    std::string resolved;
    ASSERT_TRUE(V_ResolveFileName((scratch / "DATA/OLD.TXT").c_str(), resolved));
    EXPECT_EQ(resolved, scratch / "Data/Old.txt");
    bool missing = false;
    ASSERT_TRUE(V_ResolveFileName((scratch / "DATA/NEW.TXT").c_str(), resolved, &missing));
    EXPECT_TRUE(missing);
    EXPECT_EQ(resolved, scratch / "Data/NEW.TXT") << "the folder resolved, the name kept";

    // A file added after the listing was kept is found, in any case.
    ASSERT_TRUE(MakeFile(scratch / "Data/New.txt"));
    ASSERT_TRUE(V_ResolveFileName((scratch / "DATA/NEW.TXT").c_str(), resolved, &missing));
    EXPECT_FALSE(missing);
    EXPECT_EQ(resolved, scratch / "Data/New.txt");
    V_HANDLE file = V_CreateFileA((scratch / "data/new.txt").c_str(), V_GENERIC_READ, 0, nullptr,
                                  V_OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, V_INVALID_HANDLE_VALUE);
    if (file != V_INVALID_HANDLE_VALUE) V_CloseHandle(file);

    // A removed file is gone, and the errors tell a missing file from a missing folder.
    AgeFolder(scratch / "Data");
    ASSERT_EQ(remove((scratch / "Data/Old.txt").c_str()), 0);
    file = V_CreateFileA((scratch / "DATA/OLD.TXT").c_str(), V_GENERIC_READ, 0, nullptr,
                         V_OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, V_INVALID_HANDLE_VALUE);
    EXPECT_EQ(V_GetLastError(), V_ERROR_FILE_NOT_FOUND);
    file = V_CreateFileA((scratch / "NONE/OLD.TXT").c_str(), V_GENERIC_READ, 0, nullptr,
                         V_OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, V_INVALID_HANDLE_VALUE);
    EXPECT_EQ(V_GetLastError(), V_ERROR_PATH_NOT_FOUND);

    // The folder renamed: its new name is looked up afresh.
    ASSERT_EQ(rename((scratch / "Data").c_str(), (scratch / "dAtA").c_str()), 0);
    ASSERT_TRUE(V_ResolveFileName((scratch / "DATA/NEW.TXT").c_str(), resolved));
    EXPECT_EQ(resolved, scratch / "dAtA/New.txt");
}
