#include <gtest/gtest.h>

#include <string>

#include "core/core.h"

namespace {
std::string Full(const char* path, const char* base, int expected = 0) {
    char out[kPathBufferSize];
    EXPECT_EQ(ConvertFullPath(path, out, base), expected) << (path ? path : "(null)");
    return expected == 0 ? std::string(out) : std::string();
}
std::string Unc(const char* path, const char* base) {
    char out[kPathBufferSize];
    EXPECT_EQ(ConvertFullPathUnc(path, out, base), 0);
    return out;
}
}  // namespace

TEST(Path, WindowsFormFollowsTheDriveRules) {
    EXPECT_EQ(Full("..\\b", "C:\\x\\y"), "C:\\x\\b");
    EXPECT_EQ(Full("..\\b", "C:\\"), "C:\\b");
    EXPECT_EQ(Full("..\\..\\..\\b", "C:\\x"), "C:\\b");  // never above the drive
    EXPECT_EQ(Full("a/./b\\c.bmp", "C:\\x\\"), "C:\\x\\a\\b\\c.bmp");
    EXPECT_EQ(Full("\\top\\f", "D:\\x\\y"), "D:\\top\\f");
    EXPECT_EQ(Full("E:\\z", "C:\\x"), "E:\\z");
    EXPECT_EQ(Full("e:z", "C:\\x"), "e:\\z");
    EXPECT_EQ(Full(nullptr, "C:\\x\\y\\"), "C:\\x\\y");
    Full("a\\\\b", "C:\\x", -1);
    EXPECT_EQ(Unc("a\\\\b", "C:\\x"), "C:\\x\\a\\b");
    EXPECT_EQ(Unc("\\\\server\\share\\f", "C:\\x"), "\\\\server\\share\\f");
}

TEST(Path, ShiftJisComponentsStayWhole) {
    // A two-byte character ending in a backslash byte (ソ is 0x83 0x5C) does not split the
    // component, for the lead bytes at both ends of both ranges.
    for (const char* pair : {"\x83\x5C", "\x81\x5C", "\x9F\x5C", "\xE0\x5C", "\xFC\x5C"}) {
        SCOPED_TRACE(static_cast<unsigned char>(pair[0]));
        const std::string name = pair;
        EXPECT_EQ(Full((name + "\\b").c_str(), "C:\\x"), "C:\\x\\" + name + "\\b");
        EXPECT_EQ(Full(("a\\" + name).c_str(), "C:\\x"), "C:\\x\\a\\" + name);
        char directory[kPathBufferSize], file[kPathBufferSize];
        SplitPathName((name + "\\" + name).c_str(), directory, file);
        EXPECT_EQ(std::string(directory), name);
        EXPECT_EQ(std::string(file), name);
        EXPECT_EQ(MatchWildcard((name + "X").c_str(), (name + "?").c_str()), 0);
    }
}

TEST(Path, LinuxFormIsRootedAtTheFileSystem) {
    EXPECT_EQ(Full("/usr/share/x", "/home/me"), "\\usr\\share\\x");
    EXPECT_EQ(Full("data/a.bmp", "/home/me"), "\\home\\me\\data\\a.bmp");
    EXPECT_EQ(Full("../../../a", "/home/me"), "\\a");
    EXPECT_EQ(Full(nullptr, "/"), "\\");
}

TEST(Path, ArchivePathsAreUpperCasedFromTheCurrentDirectory) {
    char out[kPathBufferSize];
    ASSERT_EQ(ConvertArchiveFullPath("data/Sub\\a.bmp", out), 0);
    std::string path = out;
    EXPECT_EQ(path.substr(path.size() - 15), "\\DATA\\SUB\\A.BMP");
    ASSERT_EQ(ConvertArchiveFullPath("c:/x/y", out), 0);
    EXPECT_STREQ(out, "C:\\X\\Y");
}

TEST(Path, AMissingOutputFails) {
    EXPECT_EQ(ConvertFullPath("a", nullptr, "C:\\x"), -1);
    EXPECT_EQ(ConvertFullPath(nullptr, nullptr, "C:\\x"), -1);
    EXPECT_EQ(ConvertFullPathUnc("a", nullptr, "C:\\x"), -1);
    EXPECT_EQ(ConvertArchiveFullPath("a", nullptr), -1);
}

TEST(Path, OverlongResultsFail) {
    std::string longName(kPathBufferSize, 'n');
    char out[kPathBufferSize];
    EXPECT_EQ(ConvertFullPath(longName.c_str(), out, "C:\\x"), -1);
    char directory[kPathBufferSize], name[kPathBufferSize];
    EXPECT_EQ(SplitPathName(longName.c_str(), directory, name), -1);
}

TEST(Path, SplitPathName) {
    char directory[kPathBufferSize], name[kPathBufferSize];
    SplitPathName("a\\b/c.txt", directory, name);
    EXPECT_STREQ(directory, "a\\b");
    EXPECT_STREQ(name, "c.txt");
    SplitPathName("C:x", directory, name);
    EXPECT_STREQ(directory, "C");
    EXPECT_STREQ(name, "x");
    SplitPathName("plain", directory, name);
    EXPECT_STREQ(directory, "");
    EXPECT_STREQ(name, "plain");
    SplitPathName("\x83\x5C", directory, nullptr);  // the trail byte is no separator
    EXPECT_STREQ(directory, "");
}

TEST(Path, MatchWildcard) {
    EXPECT_EQ(MatchWildcard("A.B.BMP", "*.BMP"), -1);  // '*' stops at the first '.'
    EXPECT_EQ(MatchWildcard("A.BMP", "*.BMP"), 0);
    EXPECT_EQ(MatchWildcard("ABC", "A*"), 0);
    EXPECT_EQ(MatchWildcard("ABC", "A**"), 0);
    EXPECT_EQ(MatchWildcard("ABC", "A?C"), 0);
    EXPECT_EQ(MatchWildcard("AC", "A?C"), -1);
    EXPECT_EQ(MatchWildcard("ABCD", "ABC"), -1);
    EXPECT_EQ(MatchWildcard("AB", "ABC"), -1);
    EXPECT_EQ(MatchWildcard("\x83\x5C" "X", "\x83\x5C?"), 0);
    EXPECT_EQ(MatchWildcard("\x83\x5D" "X", "\x83\x5C?"), -1);
    EXPECT_EQ(MatchWildcard("", "*"), 0);
}
