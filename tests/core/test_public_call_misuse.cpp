// Null and forged arguments at the public stream and find calls fail cleanly. Each misuse runs
// in a child process, so a crash or a double free shows as a failure of this test only.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/core.h"
#include "support/child_call.h"
#include "test_window_support.h"

namespace {

TEST(PublicCallMisuse, MemoryStreamOverANullBufferHasNothingToRead) {
    // Refused outright (no stream), or a stream that reads nothing; never a read through null.
    for (uint32_t size : {1u, 100u, 0x7FFFFFFFu}) {
        ChildResult result = RunInChild([size] {
            intptr_t stream = OpenMemoryStream(nullptr, size);
            if (stream == 0 || stream == -1) return 0;
            char buffer[16];
            size_t got = ReadMemoryStream(buffer, 1, sizeof buffer, stream);
            CloseMemoryStream(stream);
            return got == 0 ? 0 : 1;
        });
        EXPECT_TRUE(result.returned && result.value == 0) << size << ": " << result.Describe();
    }
}

TEST(PublicCallMisuse, ForgedAndClosedFindHandlesOfTheArchiveAwareSetFail) {
    ScratchFolder folder;
    FILE* file = fopen("found.txt", "wb");
    ASSERT_NE(file, nullptr);
    fputs("x", file);
    fclose(file);
    const FileAccessFunctions* files = GetArchiveAwareFileFunctions();

    // A real search works, and closing it once succeeds.
    ChildResult good = RunInChild([files] {
        FindRecord record{};
        intptr_t handle = files->findFirst("found.txt", &record);
        if (handle == -1) return 1;
        if (std::strcmp(record.name, "found.txt") != 0) return 2;
        return files->findClose(handle);
    });
    EXPECT_TRUE(good.returned && good.value == 0) << good.Describe();

    // A second close of the same handle fails, and so does a search step with it.
    ChildResult twice = RunInChild([files] {
        FindRecord record{};
        intptr_t handle = files->findFirst("found.txt", &record);
        if (handle == -1) return 1;
        if (files->findClose(handle) != 0) return 2;
        if (files->findNext(handle, &record) != -1) return 3;
        return files->findClose(handle) == -1 ? 0 : 4;
    });
    EXPECT_TRUE(twice.returned && twice.value == 0) << "closed twice: " << twice.Describe();

    // Values that were never handed out.
    static char strayBytes[64];
    const intptr_t forged[] = {0, 1, 12345, 0x7FFFFFFF, reinterpret_cast<intptr_t>(strayBytes)};
    for (intptr_t value : forged) {
        ChildResult result = RunInChild([files, value] {
            std::memset(strayBytes, 0x5A, sizeof strayBytes);
            FindRecord record{};
            if (files->findNext(value, &record) != -1) return 1;
            return files->findClose(value) == -1 ? 0 : 2;
        });
        EXPECT_TRUE(result.returned && result.value == 0)
            << "forged " << value << ": " << result.Describe();
    }
}

TEST(PublicCallMisuse, FullPathOfNoPathIsTheBaseItself) {
    char output[kPathBufferSize];
    ASSERT_EQ(ConvertFullPath(nullptr, output, "C:\\x\\y"), 0);
    EXPECT_STREQ(output, "C:\\x\\y");
}

}  // namespace
