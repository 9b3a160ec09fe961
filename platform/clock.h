#pragma once
// Time sources: a millisecond tick count for coarse timing and a
// high-resolution counter for measuring frame times.

#include <cstdint>

// Milliseconds since the process started; wraps after about 49 days, so
// compare tick counts by subtracting them.
uint32_t TickCount();

// A monotonic counter and the number of its counts per second.
uint64_t PerformanceCount();
uint64_t PerformanceFrequency();

// Suspends the calling thread for at least the given milliseconds.
void SleepMilliseconds(uint32_t milliseconds);
