#pragma once

#include <cstdint>

// Monotonic time in ticks of 0.1 ms since an arbitrary start.
uint64_t PlatformClockTicks();

// Suspends the calling thread for at least the given time.
void PlatformSleepMilliseconds(uint32_t milliseconds);
