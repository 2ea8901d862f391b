// The run log's texts for extinctions and generation milestones.
#pragma once

#include <cstdint>

#include "world.h"

constexpr int32_t kMilestoneGenerations[kMilestoneCount] = {10, 50, 100, 200, 400};

// The kind's extinction text; empty for kinds that have none.
const char* GetExtinctionText(int32_t kind);
// The kind's text for milestone 0..4; empty for kinds that have none.
const char* GetMilestoneText(int32_t kind, int milestone);
