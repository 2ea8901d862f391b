#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include "core/core_services.h"
#include "core/memory.h"
#include "log_capture.h"

namespace {
const AllocationHeader* HeaderOf(const void* data) {
    return reinterpret_cast<const AllocationHeader*>(static_cast<const char*>(data) - sizeof(AllocationHeader));
}
}  // namespace

TEST(Memory, DataIsAlignedAndOwnerRecorded) {
    void* block = AllocateMemory(24, "a/very/long/source_name.cpp", 42);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    const AllocationHeader* header = HeaderOf(block);
    EXPECT_STREQ(header->sourceName, "source_name.cpp");  // last 15 characters
    EXPECT_EQ(header->line, 42);
    EXPECT_EQ(header->size, 24u);
    FreeMemory(block);
    FreeMemory(nullptr);
}

TEST(Memory, TotalsFollowAllocationsAndFrees) {
    int32_t size0, count0, size1, count1;
    GetAllocationTotals(&size0, &count0);
    void* a = AllocateMemory(100, "t", 1);
    void* b = AllocateZeroedMemory(50, "t", 2);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(static_cast<char*>(b)[i], 0);
    GetAllocationTotals(&size1, &count1);
    EXPECT_EQ(size1 - size0, 150);
    EXPECT_EQ(count1 - count0, 2);
    // A reallocation counts the block once, at its new size, whether it grows, shrinks or moves.
    for (int size : {300, 40, 100000}) {
        SCOPED_TRACE(size);
        a = ReallocateMemory(a, static_cast<size_t>(size), "t", 3);
        ASSERT_NE(a, nullptr);
        GetAllocationTotals(&size1, &count1);
        EXPECT_EQ(size1 - size0, 50 + size);
        EXPECT_EQ(count1 - count0, 2);
    }
    // A refused reallocation leaves the totals as they were.
    EXPECT_EQ(ReallocateMemory(a, SIZE_MAX - 8, "t", 4), nullptr);
    GetAllocationTotals(&size1, &count1);
    EXPECT_EQ(size1 - size0, 100050);
    EXPECT_EQ(count1 - count0, 2);
    FreeMemory(a);
    FreeMemory(b);
    GetAllocationTotals(&size1, &count1);
    EXPECT_EQ(size1, size0);
    EXPECT_EQ(count1, count0);
}

TEST(Memory, ZeroByteBlockIsTracedAndDumped) {
    StartFreshLog();
    void* empty = AllocateMemory(0, "zero.cpp", 7);
    ASSERT_NE(empty, nullptr);
    void* text = AllocateMemory(20, "dump.cpp", 9);
    std::memcpy(text, "hello\x01\xff world!!!!!!!!", 20);
    void* large = AllocateZeroedMemory(100000, "large.cpp", 1);  // totals far from whole kilobytes
    int32_t dumpedSize, dumpedCount;
    GetAllocationTotals(&dumpedSize, &dumpedCount);
    DumpAllocations();
    FreeMemory(large);
    FreeMemory(text);
    FreeMemory(empty);
    std::string log = ReadLog();
    EXPECT_TRUE(std::regex_search(
        log, std::regex("mem alloc  \tsize:0\\(0\\.000kb\\)  file:zero\\.cpp  line:7  ID:[0-9]+  "
                        "addr:[0-9a-f]{8,}  data:<> \\]\r\n")))
        << log;
    // Only the first 16 bytes are shown; control and high bytes as '.'.
    EXPECT_TRUE(std::regex_search(
        log, std::regex("\tsize:20\\(0\\.020kb\\)  file:dump\\.cpp  line:9  ID:[0-9]+  addr:[0-9a-f]+  "
                        "data:<hello\\.\\. world!!!> \\[68 65 6c 6c 6f 01 ff 20 77 6f 72 6c 64 21 21 "
                        "21\\]\r\n")))
        << log;
    EXPECT_NE(log.find("Alloc memory dump\r\n"), std::string::npos);
    char totals[96];
    std::snprintf(totals, sizeof totals, "\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n", dumpedSize,
                  dumpedSize / 1024.0, dumpedCount);
    EXPECT_NE(log.find(totals), std::string::npos) << totals;
    EXPECT_NE(log.find("mem free  "), std::string::npos);
}

TEST(Memory, FreeingTheNewestMakesItsNeighbourNewest) {
    void* a = AllocateMemory(8, "a", 1);
    void* b = AllocateMemory(8, "b", 2);
    void* c = AllocateMemory(8, "c", 3);
    EXPECT_EQ(HeaderOf(c)->older, HeaderOf(b));
    FreeMemory(b);
    EXPECT_EQ(HeaderOf(c)->older, HeaderOf(a));
    EXPECT_EQ(HeaderOf(a)->newer, HeaderOf(c));
    FreeMemory(c);
    EXPECT_EQ(HeaderOf(a)->newer, nullptr);
    void* d = AllocateMemory(8, "d", 4);
    EXPECT_EQ(HeaderOf(d)->older, HeaderOf(a));
    EXPECT_EQ(CheckAllocations(), 0);
    FreeMemory(a);
    FreeMemory(d);
    EXPECT_EQ(CheckAllocations(), 0);
}

TEST(Memory, ReallocationKeepsContentsAndZeroFills) {
    char* block = static_cast<char*>(AllocateMemory(4, "r", 1));
    std::memcpy(block, "abcd", 4);
    uint16_t serial = HeaderOf(block)->serial;
    void* other = AllocateMemory(4, "o", 1);  // makes the block not the newest
    char* grown = static_cast<char*>(ReallocateMemory(block, 5000, "grown.cpp", 77));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "abcd", 4), 0);
    for (int i = 4; i < 5000; ++i) ASSERT_EQ(grown[i], 0) << i;
    EXPECT_NE(HeaderOf(grown)->serial, serial);
    EXPECT_STREQ(HeaderOf(grown)->sourceName, "grown.cpp");
    EXPECT_EQ(CheckAllocations(), 0);
    FreeMemory(other);
    EXPECT_EQ(CheckAllocations(), 0);
    FreeMemory(grown);
    void* fresh = ReallocateMemory(nullptr, 16, "n", 1);
    ASSERT_NE(fresh, nullptr);
    FreeMemory(fresh);
    // The newest block moved (to a size the heap maps apart) stays linked to both sides.
    void* before = AllocateMemory(4, "b", 1);
    void* moved = ReallocateMemory(AllocateMemory(4, "m", 1), 64 << 20, "m", 2);
    ASSERT_NE(moved, nullptr);
    void* after = AllocateMemory(4, "a", 1);
    EXPECT_EQ(HeaderOf(before)->newer, HeaderOf(moved));
    EXPECT_EQ(HeaderOf(after)->older, HeaderOf(moved));
    FreeMemory(moved);
    FreeMemory(before);
    FreeMemory(after);
    EXPECT_EQ(CheckAllocations(), 0);
}

TEST(Memory, DamagedHeaderIsReportedAndAllocatorStaysUsable) {
    StartFreshLog();
    void* block = AllocateMemory(32, "victim.cpp", 5);
    auto* header = reinterpret_cast<AllocationHeader*>(static_cast<char*>(block) - sizeof(AllocationHeader));
    char saved = header->sourceName[0];
    header->sourceName[0] = 'X';
    EXPECT_EQ(CheckAllocations(), -1);
    std::string log = ReadLog();
    EXPECT_NE(log.find("以下のメモリ確保情報が破損しました"), std::string::npos);
    EXPECT_NE(log.find("file:Xictim.cpp"), std::string::npos);
    header->sourceName[0] = saved;
    EXPECT_EQ(CheckAllocations(), 0);
    void* more = AllocateMemory(8, "more", 1);
    EXPECT_NE(more, nullptr);
    FreeMemory(more);
    FreeMemory(block);
}

TEST(Memory, SerialWrapsAfter65536Allocations) {
    void* first = AllocateMemory(1, "s", 1);
    uint16_t start = HeaderOf(first)->serial;
    FreeMemory(first);
    for (int i = 1; i < 65536; ++i) FreeMemory(AllocateMemory(1, "s", 1));
    void* again = AllocateMemory(1, "s", 1);
    EXPECT_EQ(HeaderOf(again)->serial, start);
    FreeMemory(again);
}

TEST(Memory, OversizedRequestsFail) {
    EXPECT_EQ(AllocateMemory(SIZE_MAX, "big", 1), nullptr);
    EXPECT_EQ(AllocateMemory(0xFFFFFFFFu, "big", 1), nullptr);
    void* block = AllocateMemory(8, "b", 1);
    EXPECT_EQ(ReallocateMemory(block, SIZE_MAX - 8, "big", 1), nullptr);
    EXPECT_EQ(CheckAllocations(), 0);  // the old block stays valid and listed
    FreeMemory(block);
}
