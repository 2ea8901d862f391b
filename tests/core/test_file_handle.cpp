// The archive-aware file table: archives standing in for directories, the open-file limit,
// searches, the stream sets over it and reads from several threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "core/file_access.h"
#include "log_capture.h"
#include "platform/kernel/kernel.h"
#include "test_archive_support.h"

namespace {

using archive_test::Bytes;

Bytes ReadAll(intptr_t handle, size_t chunk = 4096) {
    Bytes all;
    std::vector<uint8_t> buffer(chunk);
    for (;;) {
        const size_t got = ReadFileHandle(buffer.data(), 1, chunk, handle);
        while (IsFileHandleIdle(handle) == 0) usleep(50);
        if (got == 0) break;
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
    }
    return all;
}

class ArchiveAwareFiles : public testing::Test {
protected:
    void SetUp() override {
        SetFileAccessFunctions(nullptr);
        folder_ = file_test::MakeScratchFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        files_ = archive_test::SampleFiles();
        // The plain folder beside the archive holds other bytes under the same names.
        file_test::WriteBytes(folder_ + "/DATA/A.bmp", file_test::PatternBytes(10, 90));
        file_test::WriteBytes(folder_ + "/DATA/plain.txt", file_test::PatternBytes(20, 91));
    }
    void TearDown() override {
        EXPECT_EQ(GetOpenFileCount(), 0);
        CloseArchives();
        EXPECT_EQ(GetOpenArchiveCount(), 0);
    }
    void WriteArchive(const ArchiveWriterOptions& options = {}) {
        file_test::WriteBytes(folder_ + "/DATA.VKA", archive_test::BuildImage(files_, options));
    }
    std::string Path(const char* relative) const { return folder_ + "/" + relative; }

    std::string folder_;
    std::vector<ArchiveWriterFile> files_;
};

TEST_F(ArchiveAwareFiles, ArchiveStandsInForItsDirectory) {
    StartFreshLog();
    // Without the archive the plain file is read.
    intptr_t plain = OpenFileHandle(Path("DATA\\A.bmp").c_str(), 0, 1, 0);
    ASSERT_NE(plain, 0);
    EXPECT_EQ(ReadAll(plain).size(), 10u);
    EXPECT_EQ(CloseFileHandle(plain), 0);

    WriteArchive();
    for (const char* name : {"DATA\\A.bmp", "data\\a.bmp", "Data/A.BMP"}) {
        intptr_t member = OpenFileHandle(Path(name).c_str(), 0, 1, 0);
        ASSERT_NE(member, 0) << name;
        EXPECT_EQ(member & ~kFileHandleIndexMask, kFileHandleBase);
        EXPECT_EQ(ReadAll(member), files_[0].data) << name;
        EXPECT_EQ(IsFileHandleEof(member), -1);
        EXPECT_EQ(CloseFileHandle(member), 0);
    }
    intptr_t deep = OpenFileHandle(Path("DATA/sub/deep/IMAGE.png").c_str(), 1, 1, 1);
    ASSERT_NE(deep, 0);
    EXPECT_EQ(ReadAll(deep, 1000), files_[2].data);
    EXPECT_EQ(CloseFileHandle(deep), 0);

    // A member missing from the archive does not fall back to the plain file.
    EXPECT_EQ(OpenFileHandle(Path("DATA\\plain.txt").c_str(), 0, 1, 0), 0);
    EXPECT_NE(ReadLog().find("ＶＫＡファイルの中に指定のファイルは見つかりませんでした"), std::string::npos);
    // Paths outside the archive's directory still open plain files.
    file_test::WriteBytes(Path("beside.txt"), file_test::PatternBytes(5, 92));
    intptr_t beside = OpenFileHandle(Path("beside.txt").c_str(), 0, 1, 0);
    ASSERT_NE(beside, 0);
    EXPECT_EQ(CloseFileHandle(beside), 0);

    // With the direct set installed the archive is not looked at.
    SetFileAccessFunctions(GetDirectFileFunctions());
    plain = OpenFileHandle(Path("DATA/A.bmp").c_str(), 0, 1, 0);
    ASSERT_NE(plain, 0);
    EXPECT_EQ(ReadAll(plain).size(), 10u);
    EXPECT_EQ(CloseFileHandle(plain), 0);
    SetFileAccessFunctions(nullptr);

    // A damaged archive is passed over: the path resolves to the plain file.
    Bytes broken = archive_test::BuildImage(files_);
    broken[0] ^= 0x55;
    file_test::WriteBytes(Path("DATA.VKA"), broken);
    CloseArchives();
    plain = OpenFileHandle(Path("DATA\\A.bmp").c_str(), 0, 1, 0);
    ASSERT_NE(plain, 0);
    EXPECT_EQ(ReadAll(plain).size(), 10u);
    EXPECT_EQ(CloseFileHandle(plain), 0);
    EXPECT_NE(ReadLog().find("ＶＫＡファイルが壊れています"), std::string::npos);
}

TEST_F(ArchiveAwareFiles, MembersSeekTellAndStreamLikeFiles) {
    WriteArchive({2, ArchiveCompression::WhenSmaller, nullptr, false, 0x41});
    const StreamFunctions* set = GetFileStreamFunctions();
    for (int async = 0; async < 2; ++async) {
        for (int member = 0; member < 3; ++member) {
            const char* names[] = {"DATA\\A.bmp", "DATA\\text.txt", "DATA\\Sub\\Deep\\image.png"};
            const Bytes& expected = files_[member == 2 ? 2 : member].data;
            intptr_t handle = OpenFileHandle(Path(names[member]).c_str(), async, 1, async);
            ASSERT_NE(handle, 0);
            uint32_t words[8];
            EXPECT_EQ(set->seek(handle, -6, 2), 0);
            while (set->idle(handle) == 0) usleep(50);
            EXPECT_EQ(set->tell(handle), static_cast<int32_t>(expected.size() - 6));
            // Whole elements among the bytes read: 6 bytes are one element of 4.
            EXPECT_EQ(set->read(words, 4, 8, handle), 1u);
            while (set->idle(handle) == 0) usleep(50);
            EXPECT_EQ(std::memcmp(words, expected.data() + expected.size() - 6, 6), 0);
            EXPECT_EQ(set->read(words, 4, 8, handle), 0u);
            EXPECT_EQ(set->eof(handle), -1);
            EXPECT_EQ(set->seek(handle, -100, 1), 0);
            EXPECT_EQ(set->eof(handle), 0);
            EXPECT_EQ(set->seek(handle, 100, 2), 0);
            EXPECT_EQ(set->tell(handle), static_cast<int32_t>(expected.size())) << "both ways";
            EXPECT_EQ(set->seek(handle, -100000000, 1), 0);
            EXPECT_EQ(set->tell(handle), 0) << "member seeks clamp to the member";
            EXPECT_EQ(set->read(words, 1, 16, handle), 16u);
            while (set->idle(handle) == 0) usleep(50);
            EXPECT_EQ(std::memcmp(words, expected.data(), 16), 0);
            EXPECT_EQ(set->close(handle), 0);
        }
    }
}

TEST_F(ArchiveAwareFiles, AtMost512FilesAreOpenAtOnce) {
    StartFreshLog();
    WriteArchive();
    std::vector<intptr_t> handles;
    for (int i = 0; i < kMaxOpenFiles; ++i) {
        handles.push_back(OpenFileHandle(Path(i % 2 == 0 ? "DATA\\A.bmp" : "DATA\\plain.txt").c_str(),
                                         0, 1, 0));
        if (i % 2 == 1) {
            ASSERT_EQ(handles.back(), 0);  // missing member
            handles.back() = OpenFileHandle(Path("DATA\\Sub\\b.dat").c_str(), 0, 1, 0);
        }
        ASSERT_NE(handles.back(), 0) << i;
    }
    EXPECT_EQ(OpenFileHandle(Path("DATA\\A.bmp").c_str(), 0, 1, 0), 0);
    EXPECT_NE(ReadLog().find("同時に開けるファイルの数が限界を超えました"), std::string::npos);
    EXPECT_EQ(GetArchiveReferenceCount(0), kMaxOpenFiles);
    EXPECT_EQ(CloseFileHandle(handles[100]), 0);
    handles[100] = OpenFileHandle(Path("DATA\\A.bmp").c_str(), 0, 1, 0);
    EXPECT_EQ(handles[100], kFileHandleBase + 100) << "the first empty entry is taken";
    for (intptr_t handle : handles) EXPECT_EQ(CloseFileHandle(handle), 0);
    EXPECT_EQ(GetArchiveReferenceCount(0), 0);

    // Handles that are no open file are refused.
    uint8_t byte;
    for (intptr_t bad : {intptr_t{0}, kFileHandleBase, kFileHandleBase + 511, kFileHandleBase + 512,
                         kFileHandleBase + 0x0FFFFFFF, intptr_t{5}, intptr_t{-1}}) {
        EXPECT_EQ(CloseFileHandle(bad), -1);
        EXPECT_EQ(ReadFileHandle(&byte, 1, 1, bad), 0u);
        EXPECT_EQ(SeekFileHandle(bad, 0, 0), -1);
        EXPECT_EQ(TellFileHandle(bad), -1);
        EXPECT_EQ(IsFileHandleEof(bad), -1);
        EXPECT_EQ(IsFileHandleIdle(bad), -1);
    }
}

TEST_F(ArchiveAwareFiles, SearchesInsideAndOutsideArchives) {
    WriteArchive();
    const FileAccessFunctions* set = GetFileAccessFunctions();
    FindRecord record;
    std::vector<std::string> names;
    intptr_t find = set->findFirst(Path("data\\*").c_str(), &record);
    ASSERT_NE(find, -1);
    do names.push_back(record.name);
    while (set->findNext(find, &record) == 0);
    EXPECT_EQ(set->findClose(find), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "A.bmp", "text.txt", "Sub", "Twin", "Twin",
                                                "\x95\x5C.bin", "empty.bin", "Hollow"}));
    EXPECT_EQ(set->findFirst(Path("DATA\\nowhere\\*").c_str(), &record), -1);

    find = set->findFirst(Path("*.VKA").c_str(), &record);
    ASSERT_NE(find, -1);
    EXPECT_STREQ(record.name, "DATA.VKA");
    EXPECT_EQ(set->findNext(find, &record), -1);
    EXPECT_EQ(set->findClose(find), 0);

    // Searches have no limit of their own: 300 at once, in the archive and beside it.
    std::vector<intptr_t> finds;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        finds.push_back(set->findFirst(Path(i % 2 == 0 ? "data\\*" : "*.VKA").c_str(), &record));
        if (finds.back() == -1 && refused == 0) refused = i + 1;
    }
    EXPECT_EQ(refused, 0) << "the first search refused";
    EXPECT_EQ(set->findNext(finds[298], &record), 0);
    EXPECT_STREQ(record.name, "A.bmp");
    for (intptr_t open : finds) {
        if (open != -1) {
            EXPECT_EQ(set->findClose(open), 0);
        }
    }
    EXPECT_EQ(GetArchiveReferenceCount(0), 0);
}

TEST_F(ArchiveAwareFiles, ForgedAndClosedSearchHandlesAreRefused) {
    WriteArchive();
    const FileAccessFunctions* set = GetFileAccessFunctions();
    FindRecord record;
    intptr_t inside = set->findFirst(Path("data\\*").c_str(), &record);
    intptr_t outside = set->findFirst(Path("*.VKA").c_str(), &record);
    ASSERT_NE(inside, -1);
    ASSERT_NE(outside, -1);
    // Numbers no search was given, and a live handle with its check number changed.
    for (intptr_t forged : {intptr_t{0}, intptr_t{1}, intptr_t{-2}, intptr_t{0x12345678},
                            inside ^ (intptr_t{1} << 16), inside + 1000, outside | 0xFFFF}) {
        EXPECT_EQ(set->findNext(forged, &record), -1) << forged;
        EXPECT_EQ(set->findClose(forged), -1) << forged;
    }
    EXPECT_EQ(set->findNext(inside, &record), 0);
    EXPECT_STREQ(record.name, "A.bmp");
    EXPECT_EQ(set->findClose(inside), 0);
    EXPECT_EQ(set->findClose(outside), 0);
    // A second close, and a step after the close.
    EXPECT_EQ(set->findClose(inside), -1);
    EXPECT_EQ(set->findNext(outside, &record), -1);
    EXPECT_EQ(set->findClose(outside), -1);
    // A slot used again gives a handle the old one does not reach.
    intptr_t again = set->findFirst(Path("data\\*").c_str(), &record);
    ASSERT_NE(again, -1);
    EXPECT_NE(again, inside);
    EXPECT_EQ(set->findClose(inside), -1);
    EXPECT_EQ(set->findClose(again), 0);
    EXPECT_EQ(GetOpenArchiveCount(), 1);
}

TEST_F(ArchiveAwareFiles, ThreadsReadMembersOfOneArchiveAtOnce) {
    WriteArchive();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const char* names[] = {"DATA\\A.bmp", "DATA\\text.txt", "DATA\\Sub\\Deep\\image.png",
                                   "DATA\\Twin"};
            const int fileIndex[] = {0, 1, 2, 4};
            for (int round = 0; round < 20; ++round) {
                intptr_t handle = OpenFileHandle(Path(names[t]).c_str(), 0, 1, t % 2);
                if (handle == 0 || ReadAll(handle, 777 + t) != files_[fileIndex[t]].data) ++failures[t];
                if (handle != 0) CloseFileHandle(handle);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0, 0, 0}));
}

TEST(TempFile, IsMadeEmptyAndWritable) {
    char path[kPathBufferSize] = {};
    void* file = CreateTempFile(path);
    ASSERT_NE(file, nullptr);
    EXPECT_NE(path[0], '\0');
    V_DWORD written = 0;
    EXPECT_TRUE(V_WriteFile(file, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(V_CloseHandle(file));
    EXPECT_EQ(V_GetFileAttributesA(path) & V_FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(V_DeleteFileA(path));
    char secondPath[kPathBufferSize] = {};
    void* second = CreateTempFile(secondPath);
    ASSERT_NE(second, nullptr);
    EXPECT_STRNE(secondPath, path) << "every call makes a new name";
    V_CloseHandle(second);
    V_DeleteFileA(secondPath);
}

}  // namespace
