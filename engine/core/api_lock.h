// The global API lock: recursive, first come first served, taken only by the three locked
// entry points (start, end and message processing).
#pragma once

#include <cstdint>

constexpr int kApiLockQueueSize = 4096;

void AcquireApiLock();
void ReleaseApiLock();
// Frees the lock's events and guard unless a thread holds it or waits for it; a later acquire
// builds it again.
void DismantleApiLock();

// For tests: the number of queued threads, and whether the lock is built.
int GetApiLockWaitingCount();
int IsApiLockBuilt();
