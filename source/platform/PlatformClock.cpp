#include "platform/PlatformClock.h"

#include <cerrno>
#include <ctime>

uint64_t PlatformClockTicks()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 10000u + uint64_t(now.tv_nsec) / 100000u;
}

void PlatformSleepMilliseconds(uint32_t milliseconds)
{
    timespec remaining{time_t(milliseconds / 1000u), long(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
