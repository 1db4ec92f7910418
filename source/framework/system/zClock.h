#pragma once

#include <cstdint>

// Clock ticks of 0.1 ms; callers work with the low 32 bits, which wrap
// (take differences as unsigned). Any thread.
uint32_t GetClockTicks();
// Suspends the calling thread for at least that long.
void SleepMilliseconds(uint32_t milliseconds);

// Measures how long a repeated piece of work takes and how often it could run
// per second if it ran back to back; statistics close once a second. Times are
// milliseconds. One thread drives a timer.
class zTimer {
public:
    // Returns ticks of 0.1 ms.
    using TickSource = uint32_t (*)();

    explicit zTimer(TickSource clock = GetClockTicks);

    void Reset();
    // Marks the start of a run; doNotCount adds its time without counting it
    // as a run.
    void Start(bool doNotCount = false);
    // Returns the runs-per-second value, -1.0 until the first window closes.
    float Stop();

    float GetRunsPerSecond() const { return runsPerSecond; }
    float GetBusyPercent() const { return busyPercent; }
    float GetMeanMilliseconds() const { return meanMilliseconds; }
    float GetLastMilliseconds() const { return lastMilliseconds; }
    float GetPreviousMeanMilliseconds() const { return previousMean; }
    float GetPreviousLastMilliseconds() const { return previousLast; }

private:
    TickSource clock;
    uint32_t startTick = 0;
    uint32_t busyTicks = 0;
    uint32_t windowStart = 0;
    uint32_t runCount = 0;
    float runsPerSecond = -1.0f;
    float busyPercent = 0.0f;
    float meanMilliseconds = 0.0f;
    float lastMilliseconds = 0.0f;
    float previousMean = 0.0f;
    float previousLast = 0.0f;
};
