// Public calls made before the library's start-up and after its end come back at once with
// their failure (0 for the state queries) instead of waiting for a window that does not exist.
// Every call runs in a child process of its own with a time limit, so a hang fails the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "draw/draw.h"
#include "graphics/graphics.h"
#include "support/child_call.h"
#include "support/small_bmp.h"
#include "test_window_support.h"

namespace {

struct OutsideCall {
    const char* name;
    std::function<int()> call;
    int expected;
    int alsoAccepted = -2;  // a second result the rules leave open, -2 for none
};

// The calls that used to wait for the window, with the failure each gives outside a run.
std::vector<OutsideCall> CallsOutsideARun() {
    return {
        {"IsKeyDown(Escape)", [] { return IsKeyDown(1); }, 0},
        {"IsKeyDown(Down)", [] { return IsKeyDown(0xD0); }, 0},
        {"GetJoypadState(pad 1)", [] { return GetJoypadState(1); }, 0},
        {"GetJoypadState(pad 1 keys)", [] { return GetJoypadState(kJoypadKeyboardFlag | 1); }, 0},
        {"SetDrawTarget(front)", [] { return SetDrawTarget(-4); }, -1},
        {"SetDrawTarget(back)", [] { return SetDrawTarget(-2); }, -1},
        // No graph to blend with: nothing to do (0) or refused outside a run (-1).
        {"SetBlendGraph(none)", [] { return SetBlendGraph(-1, 10, 10); }, -1, 0},
        {"DrawGraphAt", [] { return DrawGraphAt(0, 0, 0x08000000, 1); }, -1},
        {"DrawGraphRotated", [] { return DrawGraphRotated(8, 8, 1.0, 0.0, 0x08000000, 1, 0); }, -1},
        {"DrawStringDefault", [] { return DrawStringDefault(0, 0, "text", 0xFFFFFF, 0); }, -1},
        {"DrawStringWithFont",
         [] { return DrawStringWithFont(0, 0, "text", 0xFFFFFF, 0x20000000, 0, 0); }, -1},
        {"LoadGraphHandle", [] { return LoadGraphHandle("small.bmp", 0); }, -1},
        {"LoadDividedGraphs",
         [] {
             int handles[4] = {-7, -7, -7, -7};
             return LoadDividedGraphs("small.bmp", 4, 2, 2, 8, 8, handles, 0);
         },
         -1},
    };
}

void ExpectEachCallFails(bool afterTheEnd) {
    WriteSmallBmp("small.bmp");
    for (const OutsideCall& c : CallsOutsideARun()) {
        ChildResult result = RunInChild([&c, afterTheEnd] {
            if (afterTheEnd) {
                ChangeWindowMode(1);
                if (InitLibraryLocked() != 0) return 1000;
                if (EndLibraryLocked() != 0) return 1001;
            }
            return c.call();
        }, afterTheEnd ? 30000 : 5000);  // a whole start and end first, slow under sanitizers
        ASSERT_NE(result.value, 1000) << "the library did not start";
        EXPECT_TRUE(result.returned &&
                    (result.value == c.expected || result.value == c.alsoAccepted))
            << c.name << ": " << result.Describe() << ", expected " << c.expected;
    }
}

TEST(CallsOutsideARun, BeforeStartUpEachCallReturnsItsFailureAtOnce) {
    ScratchFolder folder;
    ExpectEachCallFails(false);
}

TEST(CallsOutsideARun, AfterTheEndEachCallReturnsItsFailureAtOnce) {
    ScratchFolder folder;
    ExpectEachCallFails(true);
}

}  // namespace
