// Font and string calls after the library has ended answer -1 at once and allocate nothing. They
// run in a child process under an alarm, so that a call that waits for the gone window fails the
// test instead of stopping it.
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "core/memory.h"
#include "gl_fixture.h"

TEST_F(GlLibraryTest, FontCallsAfterTheEndAreRefused) {
    ASSERT_TRUE(Start(false, true));
    ProcessMessage();
    ASSERT_EQ(DrawStringDefault(10, 10, "Ab", GetScreenColor(255, 255, 255), 0), 0);
    int font = GetDefaultFontHandle();
    Stop();
    for (int alwaysRun : {0, 1}) {
        SCOPED_TRACE(alwaysRun);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(10);
            SetAlwaysRunFlag(alwaysRun);
            int32_t size = 0, blocksBefore = 0, blocksAfter = 0;
            GetAllocationTotals(&size, &blocksBefore);
            int bad = 0;
            if (DrawStringDefault(0, 0, "Ab", 0xFFFF, 0) != -1) bad |= 1;
            if (DrawStringWithFont(0, 0, "Ab", 0xFFFF, font, 0, 0) != -1) bad |= 2;
            if (CreateFontToHandle(nullptr, 16, 6, -1, -1, -1, 0, -1, -1) != -1) bad |= 4;
            if (SetDefaultFontSize(20) != -1) bad |= 8;
            if (GetFontSize(font) != -1) bad |= 16;
            GetAllocationTotals(&size, &blocksAfter);
            if (blocksAfter != blocksBefore) bad |= 64;
            _exit(bad);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "a font call waited";
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "calls that did not refuse (bits)";
    }
}
