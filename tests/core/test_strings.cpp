#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/core.h"
#include "core/core_services.h"

TEST(Strings, ShiftJisPairsAreNeverSplit) {
    // ソ is 0x83 0x5C: its trail byte is a backslash; so is that of the lead bytes at both ends
    // of both ranges.
    for (const char* text : {"\x83\x5C" "a\\b", "\x81\x5C" "a\\b", "\x9F\x5C" "a\\b",
                             "\xE0\x5C" "a\\b", "\xFC\x5C" "a\\b"}) {
        SCOPED_TRACE(static_cast<unsigned char>(text[0]));
        const char* found = FindCharInString(text, '\\');
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found - text, 3);
        // A lower-case letter as the trail byte stays as it is.
        char upper[] = {text[0], 'a', 'b', 0};
        UpperCaseString(upper);
        EXPECT_EQ(std::string(upper), std::string(1, text[0]) + "aB");
    }
    EXPECT_EQ(FindCharInString("abc", 'z'), nullptr);
    const char lone[] = {'a', static_cast<char>(0x82), 0};
    EXPECT_EQ(FindCharInString(lone, 'q'), nullptr);  // stops at the terminator

    char upper[] = "abc\x82" "a" "d";
    UpperCaseString(upper);
    EXPECT_STREQ(upper, "ABC\x82" "aD");
}

TEST(Strings, ComparisonsAndCopies) {
    EXPECT_EQ(CompareStrings("abc", "abc"), 0);
    EXPECT_EQ(CompareStrings("abc", "abd"), 1);
    EXPECT_EQ(CompareStrings("b", "a"), 1);
    EXPECT_EQ(CompareByteRange("ab", "ac", 1), 0);
    EXPECT_EQ(CompareByteRange("ab", "ac", 2), 1);
    EXPECT_EQ(CompareByteRange("ab", "ab", -1), 1);
    EXPECT_EQ(CompareBytes("x", "y", 0), 0);
    char buffer[16];
    CopyString(buffer, "ab");
    AppendString(buffer, "cd");
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(FillBytes(buffer, 'z', 3), 'z');
    EXPECT_EQ(std::string(buffer, 4), "zzzd");
}

TEST(Strings, ForwardCopyRepeatsOverlappingBytes) {
    char run[8] = "ab";
    CopyBytes(run + 2, run, 5);  // back reference of distance 2
    EXPECT_EQ(std::string(run, 7), "abababa");
    char move[8] = "abcdef";
    MoveBytes(move + 1, move, 5);
    EXPECT_EQ(std::string(move, 6), "aabcde");
    MoveBytes(move, move + 1, 5);
    EXPECT_EQ(std::string(move, 5), "abcde");
}

TEST(Numbers, IntegerTextAndTruncation) {
    char buffer[40];
    EXPECT_STREQ(IntToString(255, buffer, 16), "ff");
    EXPECT_STREQ(IntToString(-10, buffer, 10), "-10");
    EXPECT_STREQ(IntToString(0, buffer, 7), "0");
    EXPECT_STREQ(IntToString(35, buffer, 36), "z");
    EXPECT_EQ(TruncateFloatToInt(-2.9f), -2);
    EXPECT_EQ(TruncateDoubleToInt(2.9), 2);
    EXPECT_EQ(TruncateDoubleToInt(1e20), INT32_MIN);
    int a, b, c, d;
    TruncateDoublesToInts(1.5, -1.5, 2.99, -0.1, &a, &b, &c, &d);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(ComputeAbsInt(-5), 5);
    EXPECT_EQ(ComputeAbsInt(INT32_MIN), INT32_MIN);
}

TEST(Numbers, WideMultiplyAndDivide) {
    UInt128 product;
    MultiplyUnsigned64To128(0xFFFFFFFFFFFFFFFFull, 1000000, &product);
    EXPECT_EQ(product.high, 999999u);
    EXPECT_EQ(product.low, 0xFFFFFFFFFFF0BDC0ull);
    UInt128 quotient;
    DivideUnsigned128By64(&product, 1000000, &quotient);
    EXPECT_EQ(quotient.high, 0u);
    EXPECT_EQ(quotient.low, 0xFFFFFFFFFFFFFFFFull);
    float s, co;
    ComputeSinCos(0.0f, &s, &co);
    EXPECT_FLOAT_EQ(s, 0.0f);
    EXPECT_FLOAT_EQ(co, 1.0f);
}

TEST(Numbers, FormattingIsBounded) {
    char small[8];
    EXPECT_EQ(FormatString(small, sizeof small, "%s", "0123456789"), 7);
    EXPECT_STREQ(small, "0123456");
}

TEST(List, NewestNodeComesFirst) {
    ListNode head, tail, first, second;
    InitList(&head, &tail);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(head.value, -1);
    int dataA = 0, dataB = 0;
    AddListNode(&head, &first, 1, &dataA);
    AddListNode(&head, &second, 2, &dataB);
    EXPECT_EQ(head.next, &second);
    EXPECT_EQ(second.next, &first);
    EXPECT_EQ(tail.previous, &first);
    RemoveListNode(&second);
    EXPECT_EQ(head.next, &first);
    EXPECT_EQ(first.previous, &head);
}
