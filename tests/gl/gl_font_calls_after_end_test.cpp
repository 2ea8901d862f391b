// Font and string calls after the library has ended answer -1 at once and allocate nothing. They
// run in a child process under an alarm, so that a call that waits for the gone window fails the
// test instead of stopping it.
#include "core/core_services.h"
#include "draw/refused_calls_child.h"
#include "gl_fixture.h"

TEST_F(GlLibraryTest, FontCallsAfterTheEndAreRefused) {
    ASSERT_TRUE(Start(false, true));
    ProcessMessage();
    ASSERT_EQ(DrawStringDefault(10, 10, "Ab", GetScreenColor(255, 255, 255), 0), 0);
    int font = GetDefaultFontHandle();
    Stop();
    for (int alwaysRun : {0, 1}) {
        SCOPED_TRACE(alwaysRun);
        ASSERT_NO_FATAL_FAILURE(ExpectCallsRefusedInChild(alwaysRun, [font] {
            int bad = 0;
            if (DrawStringDefault(0, 0, "Ab", 0xFFFF, 0) != -1) bad |= 1;
            if (DrawStringWithFont(0, 0, "Ab", 0xFFFF, font, 0, 0) != -1) bad |= 2;
            if (CreateFontToHandle(nullptr, 16, 6, -1, -1, -1, 0, -1, -1) != -1) bad |= 4;
            if (SetDefaultFontSize(20) != -1) bad |= 8;
            if (GetFontSize(font) != -1) bad |= 16;
            return bad;
        }));
    }
}
