// Internal controls of the tracked allocator (diagnostics and tests).
#pragma once

#include <cstdint>

// Operations on blocks of exactly this size are traced to the log; negative traces all.
void SetAllocationTraceSize(int64_t size);
void GetAllocationTotals(int32_t* totalSize, int32_t* blockCount);
