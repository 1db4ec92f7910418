#include "framework/system/zClock.h"

#include "platform/PlatformClock.h"

uint32_t GetClockTicks()
{
    return uint32_t(PlatformClockTicks());
}

void SleepMilliseconds(uint32_t milliseconds)
{
    PlatformSleepMilliseconds(milliseconds);
}

zTimer::zTimer(TickSource clockSource) : clock(clockSource)
{
    Reset();
}

void zTimer::Reset()
{
    windowStart = clock();
    busyTicks = 0;
    runCount = 0;
    meanMilliseconds = 0.0f;
    lastMilliseconds = 0.0f;
    previousMean = 0.0f;
    previousLast = 0.0f;
    runsPerSecond = -1.0f;
}

void zTimer::Start(bool doNotCount)
{
    startTick = clock();
    if (!doNotCount)
        ++runCount;
}

float zTimer::Stop()
{
    const uint32_t now = clock();
    previousLast = lastMilliseconds;
    const uint32_t duration = now - startTick;
    busyTicks += duration;
    lastMilliseconds = float(duration) * 0.1f;

    const uint32_t elapsed = now - windowStart;
    if (elapsed <= 10000)
        return runsPerSecond;

    previousMean = meanMilliseconds;
    busyPercent = float(busyTicks) * 100.0f / float(elapsed);
    meanMilliseconds = runCount != 0 ? float(busyTicks) / float(runCount) * 0.1f : -1.0f;
    runsPerSecond = busyTicks != 0 ? float(runCount) * 10000.0f / float(busyTicks) : -1.0f;
    busyTicks = 0;
    runCount = 0;
    windowStart = now;
    return runsPerSecond;
}
