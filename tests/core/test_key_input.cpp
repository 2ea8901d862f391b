// The character code buffer and the editing of a key input by ProcessKeyInput.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/core.h"
#include "core/input.h"
#include "core/key_input.h"

namespace {

class KeyInput : public testing::Test {
protected:
    void SetUp() override {
        InitKeyInput();
        std::memset(g_Input.keyStateTable, 0, sizeof(g_Input.keyStateTable));
    }
    void TearDown() override {
        DeleteAllKeyInputs();
        std::memset(g_Input.keyStateTable, 0, sizeof(g_Input.keyStateTable));
    }
    // Makes an active key input.
    KeyInputRecord* Make(int maxLength, int cancel = 0, int singleByte = 0, int numbers = 0) {
        handle_ = AddKeyInputRecord(maxLength, cancel, singleByte, numbers);
        EXPECT_NE(handle_, -1);
        EXPECT_EQ(SetActiveKeyInputHandle(handle_), 0);
        return FindKeyInput(handle_);
    }
    void Type(const std::string& bytes) {
        for (unsigned char byte : bytes) ASSERT_EQ(PushCharCode(byte), 0);
        EXPECT_EQ(ProcessKeyInput(), 0);
    }
    static std::string Text(const KeyInputRecord* record) {
        return std::string(record->text, static_cast<size_t>(record->length));
    }
    void Shift(bool down) { g_Input.keyStateTable[0x2A] = down ? 0x80 : 0; }

    int handle_ = -1;
};

const std::string kJi = "\x8E\x9A";     // a kanji whose trail byte lies in the lead-byte range
const std::string kA = "\x82\xA0";      // a hiragana letter

}  // namespace

TEST_F(KeyInput, BufferHoldsOneThousandTwentyFourBytesAndWraps) {
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushCharCode('a' + i % 26), 0) << i;
    EXPECT_EQ(IsCharCodeBufferFull(), 1);
    EXPECT_EQ(PushCharCode('x'), -1) << "the 1025th byte is refused";
    char out[2];
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(PopCharCode(out, 1), 1);
    for (int i = 0; i < 900; ++i) ASSERT_EQ(PushCharCode('0' + i % 10), 0);  // wraps
    std::string rest;
    for (int count; (count = PopCharCode(out, 1)) > 0;) rest.append(out, count);
    ASSERT_EQ(rest.size(), 924u);
    EXPECT_EQ(rest.substr(24, 3), "012");
    EXPECT_EQ(PopCharCode(out, 1), 0);
    EXPECT_EQ(out[0], 0);
}

TEST_F(KeyInput, LeadByteWaitsForItsTrailByteAndPeeksKeepTheCharacter) {
    char out[2];
    ASSERT_EQ(PushCharCode(0x8E), 0);
    EXPECT_EQ(PopCharCode(out, 1), 0);
    EXPECT_EQ(PopCharCode(out, 1), 0) << "still held";
    ASSERT_EQ(PushCharCode(0x9A), 0);
    EXPECT_EQ(PopCharCode(out, 0), 2);
    EXPECT_EQ(PopCharCode(out, 1), 2) << "the peek left it in the buffer";
    EXPECT_EQ(std::string(out, 2), kJi);
    EXPECT_EQ(PopCharCode(out, 1), 0);
    // Editing codes are never the first half of a character.
    ASSERT_EQ(PushCharCode(0x1D), 0);
    EXPECT_EQ(PopCharCode(out, 1), 1);
    EXPECT_EQ(IsControlKeyCode(0x1D), 1);
    EXPECT_EQ(IsControlKeyCode('a'), 0);
    EXPECT_EQ(CountCharacters((kJi + "a" + kA).c_str(), 5), 3);
    EXPECT_EQ(CountCharacters("ab\0cd", 5), 2);
}

TEST_F(KeyInput, TypingEditingKeysAndEnter) {
    KeyInputRecord* record = Make(20);
    Type("hello");
    EXPECT_EQ(Text(record), "hello");
    Type("\x1D\x1D" "X");             // two left, insert
    EXPECT_EQ(Text(record), "helXlo");
    Type("\x1A" "<" "\x19" ">");      // home, end
    EXPECT_EQ(Text(record), "<helXlo>");
    Type("\x1A\x10");                 // delete at the start
    EXPECT_EQ(Text(record), "helXlo>");
    Type("\x08");                     // backspace at the start does nothing
    EXPECT_EQ(Text(record), "helXlo>");
    Type("\x09\x1E\x1F\x15\x17\x01"); // ignored keys and control codes insert nothing
    EXPECT_EQ(Text(record), "helXlo>");
    Type("\x0D" "after");
    EXPECT_EQ(record->ended, 1);
    EXPECT_EQ(Text(record), "helXlo>") << "nothing is typed after Enter";
    char out[2];
    EXPECT_EQ(PopCharCode(out, 1), 1);
    EXPECT_EQ(out[0], 'a') << "the rest stays in the buffer";
    while (PopCharCode(out, 1) > 0) {
    }
}

TEST_F(KeyInput, TwoByteCharactersAreEditedWhole) {
    KeyInputRecord* record = Make(20);
    Type(kJi + "a");
    Type("\x08");
    EXPECT_EQ(Text(record), kJi) << "Backspace after the kanji and a removes only a";
    Type("a\x1D\x1D");
    EXPECT_EQ(record->cursor, 0);
    Type("\x1C");
    EXPECT_EQ(record->cursor, 2) << "right steps over both bytes";
    Type("\x1C\x1D");
    EXPECT_EQ(record->cursor, 2) << "left from after a lands after the kanji";
    Type("\x08");
    EXPECT_EQ(Text(record), "a") << "Backspace after a two-byte character removes both bytes";
    Type(kA + "\x1A\x10");
    EXPECT_EQ(Text(record), "a") << "Delete at a two-byte character removes both bytes";
}

TEST_F(KeyInput, FullInputRemovesWholeCharactersFromTheEnd) {
    KeyInputRecord* record = Make(4);
    Type("abcd");
    Type("e");
    EXPECT_EQ(Text(record), "abce");
    Type(kJi);
    EXPECT_EQ(Text(record), "ab" + kJi);
    Type("x");
    EXPECT_EQ(Text(record), "ab" + std::string("x")) << "the kanji goes whole";
    EXPECT_EQ(record->cursor, 3);
    // Room is made only at the end: typing in the middle keeps the cursor's place.
    KeyInputRecord* small = Make(3);
    Type("a" + kJi + "\x1A" "z");
    EXPECT_EQ(Text(small), "za");
    EXPECT_EQ(small->length, 2);
    EXPECT_EQ(small->cursor, 1);
}

TEST_F(KeyInput, NumbersOnlyAndSingleByteModes) {
    KeyInputRecord* numbers = Make(10, 0, 0, 1);
    Type("12-");
    EXPECT_EQ(Text(numbers), "12") << "a minus only at the start";
    Type(".5.x" + kJi);
    EXPECT_EQ(Text(numbers), "12.5") << "one point, no letters or two-byte characters";
    Type("\x1A-");
    EXPECT_EQ(Text(numbers), "-12.5");

    KeyInputRecord* single = Make(10, 0, 1, 0);
    Type("a" + kA + "b");
    EXPECT_EQ(Text(single), "ab");
}

TEST_F(KeyInput, ShiftSelectsAndTypingReplacesTheSelection) {
    KeyInputRecord* record = Make(20);
    Type("abcdef");
    Shift(true);
    Type("\x1D\x1D");
    EXPECT_EQ(record->selectionStart, 6);
    EXPECT_EQ(record->selectionEnd, 4);
    Shift(false);
    Type("X");
    EXPECT_EQ(Text(record), "abcdX");
    Shift(true);
    Type("\x1A");
    Shift(false);
    Type("\x08");
    EXPECT_EQ(Text(record), "") << "Backspace removes the selection";
    EXPECT_EQ(record->selectionStart, -1);
}

TEST_F(KeyInput, EscapeCancelsOnlyWhereAllowedAndHandlesAreChecked) {
    KeyInputRecord* plain = Make(5);
    Type("\x1B");
    EXPECT_EQ(plain->ended, 0);
    int first = handle_;
    KeyInputRecord* cancel = Make(5, 1);
    Type("\x1B");
    EXPECT_EQ(cancel->ended, 1);
    EXPECT_EQ(cancel->cancelled, 1);
    int second = handle_;

    EXPECT_EQ(DeleteKeyInput(-1), -1);
    EXPECT_EQ(DeleteKeyInput(0x08000000 | (first & 0xFFFF)), -1) << "wrong kind";
    EXPECT_EQ(DeleteKeyInput(first ^ 0x00010000), -1) << "wrong check number";
    EXPECT_EQ(DeleteKeyInput(second), 0);
    EXPECT_EQ(g_KeyInput.activeHandle, -1);
    EXPECT_EQ(DeleteKeyInput(second), -1) << "already deleted";
    EXPECT_EQ(SetActiveKeyInputHandle(first), 0);
    g_KeyInput.activeHandle = second;  // a stale handle
    EXPECT_EQ(ProcessKeyInput(), -1);
    g_KeyInput.activeHandle = -1;
    EXPECT_EQ(ProcessKeyInput(), 0);
    EXPECT_EQ(DeleteKeyInput(first), 0);
}
