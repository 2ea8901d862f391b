// Font and string calls while the library is not running answer -1 at once and allocate
// nothing; the default font is made once, whatever its type. Calls that could wait for a window
// run in a child process under an alarm, so that a hang fails the test instead of stopping it.
#include "draw/refused_calls_child.h"
#include "font_fixture.h"

namespace {

// The font and string calls; a bit set per call that did not answer -1.
void ExpectFontCallsRefused(int alwaysRun) {
    ExpectCallsRefusedInChild(alwaysRun, [] {
        int bad = 0;
        if (DrawStringDefault(0, 0, "Ab", 0xFFFF, 0) != -1) bad |= 1;
        if (DrawStringWithFont(0, 0, "Ab", 0xFFFF, GetDefaultFontHandle(), 0, 1) != -1) bad |= 2;
        if (CreateFontToHandle(nullptr, 16, 6, -1, -1, -1, 0, -1, -1) != -1) bad |= 4;
        if (SetDefaultFontSize(20) != -1) bad |= 8;
        if (SetDefaultFontType(2) != -1) bad |= 16;
        if (SetDefaultFontSizeAndThickness(nullptr, 24, 3) != -1) bad |= 32;
        return bad;
    });
}

}  // namespace

TEST(FontCallsBeforeStart, AnswerMinusOneAndAllocateNothing) {
    ASSERT_EQ(g_Library.initialised, 0);
    {
        SCOPED_TRACE("waiting for the window");
        ExpectFontCallsRefused(0);
    }
    {
        SCOPED_TRACE("running while inactive");
        ExpectFontCallsRefused(1);
    }
}

TEST_F(FontTest, DefaultFontOfATypeAboveThreeStaysOneHandle) {
    StartGraphics(false);
    ASSERT_EQ(SetDefaultFontType(4), 0);
    int handle = GetDefaultFontHandle();
    ASSERT_GE(handle, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(DrawStringDefault(10, 10, "ab", GetScreenColor(255, 255, 255), 0), 0);
        EXPECT_EQ(GetDefaultFontHandle(), handle) << "draw " << i;
    }
}
