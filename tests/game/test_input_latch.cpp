// Latched and repeated presses over the shared input state.
#include <vector>

#include "game_scene_support.h"

namespace game_test {
namespace {

using InputLatchTest = SceneTest;

TEST_F(InputLatchTest, LatchedPressCountsOncePerHoldAndNotWhileInactive) {
    std::vector<bool> presses;
    const uint32_t script[] = {kPadDecide, kPadDecide, kPadDecide, 0, kPadDecide, 0};
    for (uint32_t bits : script) {
        engine.pad = bits;
        presses.push_back(IsLatchedPress(kPadDecide, kLatchDecide));
    }
    EXPECT_EQ(presses, (std::vector<bool>{true, false, false, false, true, false}));

    // While inactive nothing counts and the latch is left as it was.
    engine.pad = kPadDecide;
    engine.active = 0;
    EXPECT_FALSE(IsLatchedPress(kPadDecide, kLatchDecide));
    EXPECT_EQ(GetInputState()->latches & kLatchDecide, 0u);
    engine.active = 1;
    EXPECT_TRUE(IsLatchedPress(kPadDecide, kLatchDecide));
    // Each latch bit is its own: cancel is still free.
    engine.pad = kPadDecide | kPadCancel;
    EXPECT_TRUE(IsLatchedPress(kPadCancel, kLatchCancel));
    EXPECT_FALSE(IsLatchedPress(kPadDecide, kLatchDecide));
}

TEST_F(InputLatchTest, RepeatedPressActsAtOnceThenAfterTwentyFramesEveryFrame) {
    std::vector<int> pressFrames;
    engine.pad = kPadRight;
    for (int frame = 1; frame <= 25; ++frame) {
        if (IsRepeatedPress(kPadRight, kRepeatRight)) pressFrames.push_back(frame);
    }
    EXPECT_EQ(pressFrames, (std::vector<int>{1, 21, 22, 23, 24, 25}));

    // Releasing starts the delay again; the other counters are untouched.
    engine.pad = 0;
    EXPECT_FALSE(IsRepeatedPress(kPadRight, kRepeatRight));
    engine.pad = kPadRight;
    EXPECT_TRUE(IsRepeatedPress(kPadRight, kRepeatRight));
    EXPECT_FALSE(IsRepeatedPress(kPadRight, kRepeatRight));
    EXPECT_EQ(GetInputState()->repeatCounters[kRepeatLeft], 20);
}

}  // namespace
}  // namespace game_test
