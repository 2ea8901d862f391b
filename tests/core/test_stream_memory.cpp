// Memory streams: partial elements, end flag and seek clamping, through the memory stream set.
#include <gtest/gtest.h>

#include <cstring>

#include "core/core.h"

namespace {

const unsigned char kTen[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

TEST(MemoryStream, ReadsWholeElementsThenOnePartialElement) {
    const StreamFunctions* set = GetMemoryStreamFunctions();
    intptr_t stream = OpenMemoryStream(kTen, sizeof(kTen));
    ASSERT_NE(stream, 0);
    unsigned char buffer[16] = {};
    EXPECT_EQ(set->read(buffer, 1, 4, stream), 4u);
    EXPECT_EQ(set->read(buffer, 1, 4, stream), 4u);
    EXPECT_EQ(set->eof(stream), 0);
    EXPECT_EQ(set->read(buffer, 1, 4, stream), 2u);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(buffer[1], 10);
    EXPECT_EQ(set->eof(stream), 0) << "the end is reported only by a read that starts there";
    EXPECT_EQ(set->read(buffer, 1, 4, stream), 0u);
    EXPECT_EQ(set->eof(stream), 1);

    // Element size 4: two whole elements, then the last two bytes count as one element.
    EXPECT_EQ(set->seek(stream, 0, 0), 0);
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(set->read(buffer, 4, 3, stream), 2u);
    EXPECT_EQ(set->tell(stream), 8);
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(set->read(buffer, 4, 3, stream), 1u);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(buffer[1], 10);
    EXPECT_EQ(buffer[2], 0) << "nothing is copied beyond the stream";
    EXPECT_EQ(set->tell(stream), 10);
    EXPECT_EQ(set->read(buffer, 4, 3, stream), 0u);
    EXPECT_EQ(set->eof(stream), 1);

    // Zero elements copy nothing; an element size that overflows size x count reads what is there.
    EXPECT_EQ(set->seek(stream, 0, 0), 0);
    EXPECT_EQ(set->read(buffer, 4, 0, stream), 0u);
    EXPECT_EQ(set->tell(stream), 0);
    EXPECT_EQ(set->read(buffer, SIZE_MAX / 2, 4, stream), 1u);
    EXPECT_EQ(set->tell(stream), 10);
    EXPECT_EQ(set->idle(stream), 1);
    EXPECT_EQ(set->close(stream), 0);
}

TEST(MemoryStream, SeeksClampToTheStreamAndClearTheEndFlag) {
    intptr_t stream = OpenMemoryStream(kTen, sizeof(kTen));
    unsigned char buffer[4];
    EXPECT_EQ(SeekMemoryStream(stream, -5, 0), 0);
    EXPECT_EQ(TellMemoryStream(stream), 0);
    EXPECT_EQ(SeekMemoryStream(stream, 100, 2), 0);
    EXPECT_EQ(TellMemoryStream(stream), 10);
    EXPECT_EQ(ReadMemoryStream(buffer, 1, 1, stream), 0u);
    EXPECT_EQ(IsMemoryStreamEof(stream), 1);
    EXPECT_EQ(SeekMemoryStream(stream, 0, 2), 0) << "also a seek to the end clears the flag";
    EXPECT_EQ(IsMemoryStreamEof(stream), 0);
    EXPECT_EQ(SeekMemoryStream(stream, -3, 1), 0);
    EXPECT_EQ(TellMemoryStream(stream), 7);
    EXPECT_EQ(SeekMemoryStream(stream, -20, 1), 0);
    EXPECT_EQ(TellMemoryStream(stream), 0);
    EXPECT_EQ(SeekMemoryStream(stream, INT32_MAX, 1), 0);
    EXPECT_EQ(TellMemoryStream(stream), 10);
    CloseMemoryStream(stream);
}

TEST(MemoryStream, EmptyStreamAndCloseLeaveTheCallersData) {
    unsigned char data[3] = {7, 8, 9};
    intptr_t empty = OpenMemoryStream(data, 0);
    unsigned char buffer[4];
    EXPECT_EQ(ReadMemoryStream(buffer, 1, 1, empty), 0u);
    EXPECT_EQ(IsMemoryStreamEof(empty), 1);
    EXPECT_EQ(CloseMemoryStream(empty), 0);
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(data[2], 9);
}

TEST(MemoryStream, NoMemoryGivesNoStreamUnlessTheViewIsEmpty) {
    EXPECT_EQ(OpenMemoryStream(nullptr, 100), 0);
    EXPECT_EQ(OpenMemoryStream(nullptr, UINT32_MAX), 0);
    intptr_t empty = OpenMemoryStream(nullptr, 0);
    ASSERT_NE(empty, 0);
    unsigned char byte = 0;
    EXPECT_EQ(ReadMemoryStream(&byte, 1, 1, empty), 0u);
    EXPECT_EQ(CloseMemoryStream(empty), 0);
}

}  // namespace
