// A graph draw target cleared with ClearDrawScreen, for the tests of what clearing paints.
#pragma once

#include <gtest/gtest.h>

#include "velk.h"

// Makes a drawable 16 × 16 graph, fills it red, clears it while it is the draw target, and makes
// the back screen the draw target again.
inline void MakeClearedTarget(int* target) {
    SetCreateDrawValidGraphFlag(1);
    *target = MakeGraph(16, 16);
    SetCreateDrawValidGraphFlag(0);
    ASSERT_GE(*target, 0);
    ASSERT_EQ(SetDrawTarget(*target), 0);
    FillBox(0, 0, 16, 16, GetScreenColor(255, 0, 0));
    ASSERT_EQ(ClearDrawScreen(), 0);
    ASSERT_EQ(SetDrawTarget(-4), 0);
}
