// The file-name adapter: separators, drives, code page 932 names and case-insensitive lookup.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <time.h>

#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel.h"
#include "scratch.h"

namespace {

// The contents of a file, "" when it cannot be opened.
std::string ReadWhole(const std::string& name) {
    V_HANDLE file = V_CreateFileA(name.c_str(), V_GENERIC_READ, 0, nullptr, V_OPEN_EXISTING, 0,
                                  nullptr);
    if (file == V_INVALID_HANDLE_VALUE) return "";
    char buffer[64];
    V_DWORD count = 0;
    V_ReadFile(file, buffer, sizeof(buffer), &count, nullptr);
    V_CloseHandle(file);
    return std::string(buffer, count);
}

std::string Resolved(const std::string& name) {
    std::string path;
    return V_ResolveFileName(name.c_str(), path) ? path : "";
}

}  // namespace

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
    // A trail byte 0x5C after the lead bytes at both ends of both ranges is part of the
    // character; 0xFC 0x5C is no character.
    const struct {
        const char* name;
        const char8_t* onDisk;
    } pairs[] = {{"\x81\x5C", u8"―"}, {"\x9F\x5C", u8"歃"}, {"\xE0\x5C", u8"濬"},
                 {"\xFB\x5C", u8"犾"}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(static_cast<unsigned char>(pair.name[0]));
        std::string path;
        ASSERT_TRUE(V_ResolveFileName((root.path() + "\\" + pair.name + "\\f").c_str(), path));
        EXPECT_EQ(path, root / (Utf8(pair.onDisk) + "/f"));
    }
    std::string refused;
    EXPECT_FALSE(V_ResolveFileName("\xFC\x5C", refused));

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

    // The platform calls use the lookup; a reading open that may create finds the file too.
    for (V_DWORD creation : {V_OPEN_EXISTING, V_OPEN_ALWAYS}) {
        V_HANDLE file =
            V_CreateFileA((root.path() + "\\data\\Sound\\bgm01.ogg").c_str(), V_GENERIC_READ,
                          V_FILE_SHARE_READ, nullptr, creation, 0, nullptr);
        ASSERT_NE(V_INVALID_HANDLE_VALUE, file);
        EXPECT_EQ(5u, V_GetFileSize(file, nullptr)) << creation;
        V_CloseHandle(file);
    }
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
    // Every writing or truncating open beside a file whose name differs only in case leaves that
    // one alone: the modes that create make the name as given, the others find no such file.
    ASSERT_TRUE(MakeFile(root / "log.txt", "user"));
    const V_DWORD both = V_GENERIC_READ | V_GENERIC_WRITE;
    const struct {
        V_DWORD creation;
        bool creates;
        V_DWORD access;
    } modes[] = {{V_CREATE_ALWAYS, true, V_GENERIC_WRITE},
                 {V_OPEN_ALWAYS, true, V_GENERIC_WRITE},
                 {V_CREATE_NEW, true, V_GENERIC_WRITE},
                 {V_OPEN_EXISTING, false, V_GENERIC_WRITE},
                 {V_TRUNCATE_EXISTING, false, V_GENERIC_WRITE},
                 {V_OPEN_ALWAYS, true, both},
                 {V_OPEN_EXISTING, false, both},
                 {V_TRUNCATE_EXISTING, false, V_GENERIC_READ}};
    for (auto [creation, creates, access] : modes) {
        SCOPED_TRACE(testing::Message() << creation << " " << std::hex << access);
        V_HANDLE file = V_CreateFileA((root.path() + "/Log.txt").c_str(), access, 0, nullptr,
                                      creation, V_FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file != V_INVALID_HANDLE_VALUE, creates);
        if (file != V_INVALID_HANDLE_VALUE) {
            V_DWORD written = 0;
            EXPECT_TRUE(V_WriteFile(file, "new", 3, &written, nullptr));
            V_CloseHandle(file);
        } else {
            // (Emptying without write access is refused before the name is looked at.)
            EXPECT_EQ(V_GetLastError(), access == V_GENERIC_READ ? V_ERROR_INVALID_PARAMETER
                                                                 : V_ERROR_FILE_NOT_FOUND);
        }
        EXPECT_EQ(PathExists(root / "Log.txt"), creates);
        remove((root / "Log.txt").c_str());
        EXPECT_EQ(ReadWhole(root / "log.txt"), "user") << "log.txt was written";
    }
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

bool WriteProcFile(const char* path, const std::string& text) {
    int fd = open(path, O_WRONLY);
    if (fd < 0) return false;
    bool done = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return done;
}

// Set in the fresh copies of this program that RerunInNamespace starts.
bool InNamespaceCopy() { return getenv("VELK_TEST_NAMESPACE_COPY") != nullptr; }

// Runs one test again in a fresh copy of this program inside a user and mount namespace of its
// own (mounts allowed there); with watchUnavailable no inotify instance can be made in it, so
// the adapter runs without change reports. False where the machine has no user namespaces.
bool RerunInNamespace(bool watchUnavailable) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
        WriteProcFile("/proc/self/setgroups", "deny");
        if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(77);
        if (watchUnavailable &&
            !WriteProcFile("/proc/sys/user/max_inotify_instances", "0"))
            _exit(77);
        setenv("VELK_TEST_NAMESPACE_COPY", "1", 1);
        execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the copy in a namespace failed (its output is above)";
    return true;
}

constexpr const char* kNoNamespace = "no user and mount namespace can be made on this machine";

}  // namespace

// A folder found once through another case is no answer once a folder of exactly that name
// appears: an exact name wins for the folders on the way as for the file.
TEST(FileNames, ExactFolderAppearingLaterWins) {
    if (!InNamespaceCopy()) {
        if (!RerunInNamespace(true))
            std::printf("run with the watch alone: %s\n", kNoNamespace);
    } else {
        int watch = inotify_init1(IN_CLOEXEC);
        EXPECT_EQ(watch, -1) << "folders can still be watched";
        if (watch >= 0) close(watch);
    }
    ScratchFolder scratch;
    ASSERT_TRUE(MakeFolder(scratch / "fs") && MakeFolder(scratch / "fs/Dir") &&
                MakeFolder(scratch / "fs/Dir/sub") && MakeFile(scratch / "fs/Dir/f.txt", "Dir"));
    AgeFolder(scratch / "fs/Dir");
    AgeFolder(scratch / "fs");
    EXPECT_EQ(ReadWhole(scratch / "fs/dir/f.txt"), "Dir");
    EXPECT_EQ(ReadWhole(scratch / "FS/dir/f.txt"), "Dir");  // below a folder in another case

    // Another program makes the folder of exactly that name.
    ASSERT_TRUE(MakeFolder(scratch / "fs/dir") && MakeFolder(scratch / "fs/dir/sub") &&
                MakeFile(scratch / "fs/dir/f.txt", "dir") &&
                MakeFile(scratch / "fs/dir/g.txt", "g"));
    EXPECT_EQ(ReadWhole(scratch / "fs/dir/f.txt"), "dir");
    EXPECT_EQ(ReadWhole(scratch / "fs/dir/g.txt"), "g");
    EXPECT_EQ(ReadWhole(scratch / "FS/dir/f.txt"), "dir");
    EXPECT_EQ(V_GetFileAttributesA((scratch / "fs/dir/g.txt").c_str()), V_FILE_ATTRIBUTE_ARCHIVE);
    V_HANDLE file = V_CreateFileA((scratch / "fs/dir/sub/new.txt").c_str(), V_GENERIC_WRITE, 0,
                                  nullptr, V_CREATE_ALWAYS, V_FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, V_INVALID_HANDLE_VALUE);
    V_CloseHandle(file);
    EXPECT_TRUE(PathExists(scratch / "fs/dir/sub/new.txt"));
    EXPECT_FALSE(PathExists(scratch / "fs/Dir/sub/new.txt"));
    EXPECT_TRUE(V_DeleteFileA((scratch / "fs/dir/f.txt").c_str()));
    EXPECT_FALSE(PathExists(scratch / "fs/dir/f.txt"));
    EXPECT_TRUE(PathExists(scratch / "fs/Dir/f.txt"));
    // The other case still finds the other folder.
    EXPECT_EQ(ReadWhole(scratch / "fs/DIR/f.txt"), "Dir");
}

// A folder mounted over (a bind mount, a tmpfs) answers as the new file system does: its kept
// listing never makes a name that is there go missing. With the watch and without it.
TEST(FileNames, FolderMountedOverAnswersAsTheNewFileSystem) {
    if (!InNamespaceCopy()) {
        if (!RerunInNamespace(false)) GTEST_SKIP() << kNoNamespace;
        RerunInNamespace(true);
        return;
    }
    for (const char* kind : {"bind", "tmpfs"}) {
        SCOPED_TRACE(kind);
        ScratchFolder scratch;
        ASSERT_TRUE(MakeFolder(scratch / "X") && MakeFile(scratch / "X/old.txt", "old") &&
                    MakeFolder(scratch / "B") && MakeFile(scratch / "B/Inner.TXT", "inner"));
        AgeFolder(scratch / "X");
        AgeFolder(scratch.path());
        EXPECT_EQ(ReadWhole(scratch / "X/old.txt"), "old");
        EXPECT_EQ(ReadWhole(scratch / "x/OLD.TXT"), "old");
        const bool bind = kind[0] == 'b';
        ASSERT_EQ(bind ? mount((scratch / "B").c_str(), (scratch / "X").c_str(), nullptr, MS_BIND,
                               nullptr)
                       : mount("none", (scratch / "X").c_str(), "tmpfs", 0, nullptr),
                  0);
        if (bind) {
            EXPECT_EQ(ReadWhole(scratch / "X/Inner.TXT"), "inner");
        }
        ASSERT_TRUE(MakeFile(scratch / "X/Made.txt", "made"));
        EXPECT_EQ(ReadWhole(scratch / "X/Made.txt"), "made");
        EXPECT_EQ(ReadWhole(scratch / "x/made.TXT"), "made");
        EXPECT_EQ(ReadWhole(scratch / "X/old.txt"), "");
        EXPECT_EQ(V_GetLastError(), V_ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(umount((scratch / "X").c_str()), 0);
        EXPECT_EQ(ReadWhole(scratch / "X/old.txt"), "old");
    }
}

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

    // A file moved in from elsewhere is found under a name in another case.
    AgeFolder(scratch / "Data");
    ASSERT_TRUE(MakeFile(scratch / "Moved.txt", "moved"));
    ASSERT_EQ(rename((scratch / "Moved.txt").c_str(), (scratch / "Data/Moved.txt").c_str()), 0);
    AgeFolder(scratch / "Data");  // as a copy that keeps the times leaves it
    EXPECT_EQ(ReadWhole(scratch / "DATA/MOVED.TXT"), "moved");

    // The folder renamed: its new name is looked up afresh, and a folder made under the old name
    // answers for its own folders, not for those of the renamed one.
    ASSERT_TRUE(MakeFolder(scratch / "Data/Sub") && MakeFile(scratch / "Data/Sub/Old.txt", "old"));
    EXPECT_EQ(ReadWhole(scratch / "DATA/SUB/OLD.TXT"), "old");
    ASSERT_EQ(rename((scratch / "Data").c_str(), (scratch / "dAtA").c_str()), 0);
    ASSERT_TRUE(V_ResolveFileName((scratch / "DATA/NEW.TXT").c_str(), resolved));
    EXPECT_EQ(resolved, scratch / "dAtA/New.txt");
    ASSERT_TRUE(MakeFolder(scratch / "Data") && MakeFile(scratch / "Data/Fresh.txt", "fresh") &&
                MakeFolder(scratch / "Data/Sub") && MakeFile(scratch / "Data/Sub/old.TXT", "new"));
    EXPECT_EQ(ReadWhole(scratch / "DATA/FRESH.TXT") + ReadWhole(scratch / "DATA/SUB/OLD.TXT"),
              "freshnew");

    // A file system that reports no changes (here /proc, whose folders come and go with the
    // processes) is asked afresh: a process started after a look into it is found.
    EXPECT_EQ(Resolved("/proc/self/STATUS"), "/proc/self/status");
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    const std::string folder = "/proc/" + std::to_string(child);
    EXPECT_EQ(Resolved(folder + "/STATUS"), folder + "/status");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}
