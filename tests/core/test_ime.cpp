// The IME through the window stand-in: SDL's text-editing and text-input events become the
// composition messages, and the text input follows them.
#include <cstring>

#include "platform/imm/imm.h"
#include "test_input_support.h"

namespace {

class Ime : public InputLibrary {
protected:
    void SetUp() override { Start(7); }
    void Editing(const char* utf8, int cursor) {
        SDL_Event event{};
        event.type = SDL_TEXTEDITING;
        event.edit.windowID = sdlWindowId_;
        SDL_strlcpy(event.edit.text, utf8, sizeof(event.edit.text));
        event.edit.start = cursor;
        SDL_PushEvent(&event);
    }
    void LongEditing(const std::string& utf8) {
        SDL_Event event{};
        event.type = SDL_TEXTEDITING_EXT;
        event.editExt.windowID = sdlWindowId_;
        event.editExt.text = SDL_strdup(utf8.c_str());
        event.editExt.start = 0;
        SDL_PushEvent(&event);
    }
    void Text(const char* utf8) {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        event.text.windowID = sdlWindowId_;
        SDL_strlcpy(event.text.text, utf8, sizeof(event.text.text));
        SDL_PushEvent(&event);
    }
};

const char* const kKanaUtf8 = "\xE3\x81\x8B\xE3\x81\xAA";  // two hiragana letters
const std::string kKanaCp932 = "\x82\xA9\x82\xC8";
const char* const kKanjiUtf8 = "\xE4\xBB\xAE\xE5\x90\x8D";  // their kanji
const std::string kKanjiCp932 = "\x89\xBC\x96\xBC";

}  // namespace

TEST_F(Ime, CompositionCursorAndResultReachTheTextInput) {
    PopAllCodes();
    EnableIme(1);
    Editing(kKanaUtf8, 1);
    Pump();
    const ImeState& ime = g_KeyInput.ime;
    EXPECT_EQ(ime.composing, 1);
    EXPECT_EQ(std::string(ime.composition), kKanaCp932);
    EXPECT_EQ(ime.compositionCursor, 1) << "counted in characters";
    EXPECT_EQ(ime.used, 1);
    Text(kKanjiUtf8);
    Pump();
    EXPECT_EQ(ime.composing, 0);
    EXPECT_EQ(ime.composition[0], 0);
    EXPECT_EQ(PopAllCodes(), kKanjiCp932) << "the result is typed in code page 932";

    // A key input takes the result as typed text.
    int handle = AddKeyInputRecord(16, 0, 0, 0);
    SetActiveKeyInputHandle(handle);
    Editing(kKanaUtf8, 2);
    Text(kKanjiUtf8);
    Text("a");
    Pump();
    KeyInputRecord* record = FindKeyInput(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::string(record->text), kKanjiCp932 + "a");
    EXPECT_EQ(DeleteKeyInput(handle), 0);
    EXPECT_EQ(GetImeUseFlag(), 0) << "deleting the last key input switches the IME off";
}

TEST_F(Ime, LongCompositionKeepsRoomForItsTerminator) {
    EnableIme(1);
    std::string longText;
    for (int i = 0; i < 600; ++i) longText += "\xE3\x81\x82";  // 1200 bytes in code page 932
    LongEditing(longText);
    Pump();
    const ImeState& ime = g_KeyInput.ime;
    EXPECT_EQ(ime.composing, 1);
    EXPECT_EQ(std::strlen(ime.composition), static_cast<size_t>(kCompositionSize - 1));
    Editing("", 0);  // the composition is dropped
    Pump();
    EXPECT_EQ(ime.composing, 0);
    EXPECT_EQ(ime.composition[0], 0);
    EnableIme(0);
}

TEST_F(Ime, SwitchedOffTheEditingIsIgnoredAndTextIsTyped) {
    PopAllCodes();
    EXPECT_EQ(GetImeUseFlag(), 0);
    Editing(kKanaUtf8, 0);
    Text(kKanjiUtf8);
    Pump();
    EXPECT_EQ(g_KeyInput.ime.composing, 0);
    EXPECT_EQ(PopAllCodes(), kKanjiCp932);
}

TEST_F(Ime, WhatTheDesktopCannotGiveTakesTheLibrarysOwnPath) {
    EnableIme(1);
    V_HWND window = GetMainWindowHandle();
    // No candidate list: the size is 0 and logged.
    EXPECT_EQ(V_SendMessageA(window, V_WM_IME_NOTIFY, V_IMN_OPENCANDIDATE, 0), 0);
    EXPECT_EQ(g_KeyInput.ime.candidateList, nullptr);
    EXPECT_NE(Log().find("漢字変換候補のデータサイズが０でした"), std::string::npos);
    EXPECT_EQ(V_SendMessageA(window, V_WM_IME_NOTIFY, V_IMN_CLOSECANDIDATE, 0), 0);
    // Clause information is not given.
    EXPECT_EQ(V_SendMessageA(window, V_WM_IME_COMPOSITION, 0, V_GCS_COMPCLAUSE), 0);
    EXPECT_EQ(g_KeyInput.ime.clauseWords, 0);

    // Re-opening after activation runs all its steps in one pass; the composition is cancelled.
    Editing(kKanaUtf8, 0);
    Pump();
    EXPECT_EQ(V_ImmGetOpenStatus(V_ImmGetContext(window)), V_TRUE);
    // The open status is read back after a change.
    EXPECT_EQ(V_SendMessageA(window, V_WM_IME_NOTIFY, V_IMN_SETOPENSTATUS, 0), 0);
    EXPECT_EQ(g_KeyInput.ime.open, 1);
    StartImeRestoreOnActivation();
    EXPECT_EQ(g_KeyInput.ime.restoreStep, 1);
    EXPECT_EQ(ProcessKeyInput(), 0);
    EXPECT_EQ(g_KeyInput.ime.restoreStep, 0);
    EXPECT_EQ(std::string(g_KeyInput.ime.savedComposition), kKanaCp932);
    EXPECT_EQ(V_ImmGetCompositionStringA(V_ImmGetContext(window), V_GCS_COMPSTR, nullptr, 0), 0);
    EnableIme(0);
}

// A character that does not fit whole into the character code buffer is dropped whole, typed or
// from the IME: no lead byte is left to pair with the next byte typed.
TEST_F(Ime, TheFullBufferDropsWholeCharacters) {
    for (int ime = 0; ime <= 1; ++ime) {
        SCOPED_TRACE(ime == 1 ? "IME result" : "typed");
        PopAllCodes();
        EnableIme(ime);
        const int filled = ime == 1 ? 1021 : 1023;  // room for one byte, or for three
        for (int i = 0; i < filled; ++i) ASSERT_EQ(PushCharCode('x'), 0);
        if (ime == 1) Editing(kKanaUtf8, 2);
        Text(ime == 1 ? kKanjiUtf8 : "\xE3\x83\x91");  // two characters, or one
        Pump();
        Text("a");
        Pump();
        EXPECT_EQ(IsCharCodeBufferFull(), 1);
        const std::string codes = PopAllCodes();
        ASSERT_GE(codes.size(), static_cast<size_t>(filled));
        EXPECT_EQ(codes.find_first_not_of('x'), static_cast<size_t>(filled));
        EXPECT_EQ(codes.substr(filled), (ime == 1 ? kKanjiCp932.substr(0, 2) : "") + "a");
        ASSERT_EQ(PushCharCode('b'), 0);
        EXPECT_EQ(PopAllCodes(), "b") << "a byte was left behind";
    }
    EnableIme(0);
}

// Text with characters that code page 932 cannot write: every other character arrives in code
// page 932, each of those becomes one '?' (the platform's default character), typed and from
// the IME alike.
TEST_F(Ime, CharactersOutsideTheCodePageBecomeOneDefaultCharacterEach) {
    // Half-width katakana A, "a", the kanji for day, an emoji, e with an acute accent.
    const char* const mixedUtf8 = "\xEF\xBD\xB1" "a" "\xE6\x97\xA5" "\xF0\x9F\x98\x80" "\xC3\xA9";
    const std::string mixedCp932 = "\xB1" "a" "\x93\xFA" "??";
    PopAllCodes();
    Text(mixedUtf8);
    Pump();
    EXPECT_EQ(PopAllCodes(), mixedCp932) << "typed";

    EnableIme(1);
    Editing(mixedUtf8, 4);
    Pump();
    EXPECT_EQ(std::string(g_KeyInput.ime.composition), mixedCp932);
    EXPECT_EQ(g_KeyInput.ime.compositionCursor, 4) << "behind the emoji";
    Text("\xE4\xBB\x8A\xE6\x97\xA5\xF0\x9F\x98\x80");  // "today" and the emoji
    Pump();
    EXPECT_EQ(PopAllCodes(), "\x8D\xA1\x93\xFA?") << "IME result";
    EnableIme(0);
}
