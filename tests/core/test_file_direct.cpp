// Plain files of the direct set: blocking handles against reader threads with read-ahead.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <set>
#include <string>

#include "core/direct_file.h"
#include "core/file_access.h"
#include "test_file_support.h"

namespace {

using file_test::MakeScratchFolder;
using file_test::PatternBytes;
using file_test::WriteBytes;

// Reads the whole file in a fixed mix of chunk sizes and seeks, checking every byte.
void ReadAndCompare(DirectFile* file, const std::vector<uint8_t>& expected, bool pauseForReadAhead) {
    const size_t chunks[] = {1, 7, 4096, 65536, 200000, 131072, 3, 1 << 20};
    std::vector<uint8_t> buffer(1 << 20);
    size_t position = 0;
    for (int round = 0; position < expected.size(); ++round) {
        const size_t want = chunks[round % 8];
        const size_t got = ReadDirectFile(buffer.data(), 1, want, file);
        while (IsDirectFileIdle(file) == 0) usleep(100);
        ASSERT_EQ(got, std::min(want, expected.size() - position));
        ASSERT_EQ(std::memcmp(buffer.data(), expected.data() + position, got), 0)
            << "round " << round << " at " << position;
        position += got;
        ASSERT_EQ(static_cast<size_t>(TellDirectFile(file)), position);
        if (pauseForReadAhead && round == 2) usleep(250000);  // the thread reads ahead while idle
        if (round == 4) {
            // Jump back and forth: the cache is ignored and refilled from the new place.
            ASSERT_EQ(SeekDirectFile(file, 12345, 0), 0);
            ASSERT_EQ(ReadDirectFile(buffer.data(), 1, 100, file), 100u);
            WaitDirectFile(file);
            ASSERT_EQ(std::memcmp(buffer.data(), expected.data() + 12345, 100), 0);
            ASSERT_EQ(SeekDirectFile(file, static_cast<int32_t>(position), 0), 0);
            if (pauseForReadAhead) usleep(250000);
        }
    }
    EXPECT_EQ(ReadDirectFile(buffer.data(), 1, 1, file), 0u);
    EXPECT_EQ(IsDirectFileEof(file), -1);
}

TEST(DirectFile, ThreadedReadsGiveTheSameBytesAsPlainReads) {
    const std::string folder = MakeScratchFolder("direct_same");
    const std::vector<uint8_t> bytes = PatternBytes(3 * 131072 + 4321, 1);
    const std::string path = folder + "/data.bin";
    WriteBytes(path, bytes);
    struct Mode {
        int cache;
        int async;
    };
    for (Mode mode : {Mode{0, 0}, Mode{1, 0}, Mode{0, 1}, Mode{1, 1}}) {
        SCOPED_TRACE(testing::Message() << "cache " << mode.cache << " async " << mode.async);
        DirectFile* file = OpenDirectFile(path.c_str(), mode.cache, 1, mode.async);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->size, bytes.size());
        ReadAndCompare(file, bytes, mode.cache != 0);
        EXPECT_EQ(CloseDirectFile(file), 0);
    }
}

TEST(DirectFile, CachedReadAtTheCachePositionTakesTheCachedBytesFirst) {
    const std::string folder = MakeScratchFolder("direct_cache");
    const std::vector<uint8_t> bytes = PatternBytes(300000, 2);
    const std::string path = folder + "/data.bin";
    WriteBytes(path, bytes);
    DirectFile* file = OpenDirectFile(path.c_str(), 1, 1, 0);
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> buffer(200000);
    ASSERT_EQ(ReadDirectFile(buffer.data(), 1, 1000, file), 1000u);
    // Let the idle thread fill the cache from position 1000, then read across its end. The
    // thread fills it after 100 ms without a command; the fill is looked at only after a command
    // that does nothing has been carried out, which orders it before the look.
    auto filled = [&] {
        PostDirectFileCommand(file, -1, nullptr, 0, 0);
        WaitDirectFile(file);
        return file->cacheValid;
    };
    for (int i = 0; i < 20 && filled() < kDirectFileCacheSize; ++i) usleep(150000);
    ASSERT_EQ(filled(), kDirectFileCacheSize);
    ASSERT_EQ(ReadDirectFile(buffer.data(), 1, 150000, file), 150000u);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes.data() + 1000, 150000), 0);
    EXPECT_EQ(file->readBytes, 150000u - kDirectFileCacheSize) << "only the rest comes from the file";
    EXPECT_EQ(file->cacheValid, 0u);
    EXPECT_EQ(CloseDirectFile(file), 0);
}

TEST(DirectFile, AsyncReadReturnsAtOnceAndIdleReportsCompletion) {
    const std::string folder = MakeScratchFolder("direct_async");
    const std::vector<uint8_t> bytes = PatternBytes(5 << 20, 3);
    const std::string path = folder + "/data.bin";
    WriteBytes(path, bytes);
    DirectFile* file = OpenDirectFile(path.c_str(), 0, 1, 1);
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> buffer(bytes.size());
    EXPECT_EQ(ReadDirectFile(buffer.data(), 1024, bytes.size() / 1024, file), bytes.size() / 1024);
    while (IsDirectFileIdle(file) == 0) usleep(100);
    EXPECT_EQ(buffer, bytes);
    EXPECT_EQ(CloseDirectFile(file), 0);
}

TEST(DirectFile, EndAndSeekRulesInBothModes) {
    const std::string folder = MakeScratchFolder("direct_end");
    const std::vector<uint8_t> bytes = PatternBytes(10, 4);
    const std::string path = folder + "/ten.bin";
    WriteBytes(path, bytes);
    for (int thread = 0; thread < 2; ++thread) {
        SCOPED_TRACE(thread != 0 ? "thread mode" : "plain mode");
        DirectFile* file = OpenDirectFile(path.c_str(), thread, 1, 0);
        ASSERT_NE(file, nullptr);
        uint8_t buffer[16] = {};
        // Whole elements only: 10 bytes hold two elements of 4; the last 2 bytes are not read.
        EXPECT_EQ(ReadDirectFile(buffer, 4, 3, file), 2u);
        EXPECT_EQ(std::memcmp(buffer, bytes.data(), 8), 0);
        EXPECT_EQ(IsDirectFileEof(file), 0);
        EXPECT_EQ(ReadDirectFile(buffer, 4, 1, file), 0u);
        EXPECT_EQ(IsDirectFileEof(file), -1);
        // A negative target fails and keeps position and end flag.
        EXPECT_EQ(SeekDirectFile(file, -20, 1), -1);
        EXPECT_EQ(TellDirectFile(file), 8);
        EXPECT_EQ(IsDirectFileEof(file), -1);
        // Beyond the end: the seek succeeds, the next read finds the end without underflow.
        EXPECT_EQ(SeekDirectFile(file, 100, 2), 0);
        EXPECT_EQ(TellDirectFile(file), 110);
        EXPECT_EQ(IsDirectFileEof(file), 0);
        EXPECT_EQ(ReadDirectFile(buffer, 1, 16, file), 0u);
        EXPECT_EQ(IsDirectFileEof(file), -1);
        EXPECT_EQ(SeekDirectFile(file, -2, 2), 0);
        EXPECT_EQ(ReadDirectFile(buffer, 1, 16, file), 2u);
        EXPECT_EQ(buffer[1], bytes[9]);
        EXPECT_EQ(ReadDirectFile(buffer, 0, 16, file), 0u);
        // Element size x count beyond 64 bits reads what whole elements there are.
        EXPECT_EQ(SeekDirectFile(file, 0, 0), 0);
        EXPECT_EQ(ReadDirectFile(buffer, 5, SIZE_MAX / 2, file), 2u);
        EXPECT_EQ(CloseDirectFile(file), 0);
    }
    EXPECT_EQ(OpenDirectFile((folder + "/missing.bin").c_str(), 0, 1, 0), nullptr);
    EXPECT_EQ(OpenDirectFile((folder + "/missing.bin").c_str(), 1, 1, 1), nullptr);
}

TEST(DirectFile, DirectSetFindsFilesAndForwardsThroughItsHandles) {
    const std::string folder = MakeScratchFolder("direct_find");
    WriteBytes(folder + "/one.bin", PatternBytes(100, 5));
    WriteBytes(folder + "/two.bin", PatternBytes(200, 6));
    WriteBytes(folder + "/other.txt", PatternBytes(1, 7));
    const FileAccessFunctions* set = GetDirectFileFunctions();
    FindRecord record;
    intptr_t find = set->findFirst((folder + "/*.bin").c_str(), &record);
    ASSERT_NE(find, -1);
    std::set<std::string> names;
    do {
        names.insert(record.name);
        EXPECT_EQ(record.directoryFlag, 0u);
        EXPECT_EQ(record.sizeLow, std::string(record.name) == "one.bin" ? 100u : 200u);
        EXPECT_GT(record.lastWriteTime.year, 2000u);
    } while (set->findNext(find, &record) == 0);
    EXPECT_EQ(set->findClose(find), 0);
    EXPECT_EQ(names, (std::set<std::string>{"one.bin", "two.bin"}));
    EXPECT_EQ(set->findFirst((folder + "/*.none").c_str(), &record), -1);

    intptr_t handle = set->open((folder + "/two.bin").c_str(), 0, 1, 0);
    ASSERT_NE(handle, 0);
    uint8_t buffer[300];
    EXPECT_EQ(set->read(buffer, 1, 300, handle), 200u);
    EXPECT_EQ(set->eof(handle), 0);
    EXPECT_EQ(set->read(buffer, 1, 300, handle), 0u);
    EXPECT_EQ(set->eof(handle), -1);
    EXPECT_EQ(set->idle(handle), 1);
    EXPECT_EQ(set->close(handle), 0);

    char directory[kPathBufferSize];
    EXPECT_GT(set->getCurrentDir(directory), 0);
    EXPECT_STRNE(directory, "");
}

}  // namespace
