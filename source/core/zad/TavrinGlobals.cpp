#include "core/zad/TavrinGlobals.h"

#include "framework/system/zLogStream.h"

#include <cstdint>
#include <limits>

int32_t GlobalDrawDepth = 0;
int32_t GlobalClock = 0;
int32_t GlobalFrameDelta = 0;
int32_t GlobalRawFrameDelta = 0;
int32_t GlobalClockLastTime = 0;
int32_t GlobalClockScale = 1000;
int32_t GlobalFixedFrameStep = -1;
int32_t GlobalFixedFrameFrequency = -1;
int32_t GlobalClockDrift = 0;

int32_t GlobalToolMode = 0;
int32_t GlobalDebugChannel = -1;

zResourceMissingHook GlobalGeometryMissingHook = nullptr;
zResourceMissingHook GlobalTextureMissingHook = nullptr;
zResourceMissingHook GlobalSoundMissingHook = nullptr;
zResourceMissingHook GlobalShaderLibraryMissingHook = nullptr;
zGeometryHook GlobalGeometryLoadedHook = nullptr;
zSoundHook GlobalSoundLoadedHook = nullptr;
zTextureHook GlobalTextureContentHook = nullptr;
zLibraryHook GlobalShaderLibraryLoadedHook = nullptr;
zProgressHook GlobalSetupProgressHook = nullptr;
zFrameHook GlobalEndOfFrameHook = nullptr;
uint8_t GlobalResourceAutoSetup = 1;

void SetResourceMissingHook(zResourceMissingHook hook)
{
    GlobalGeometryMissingHook = hook;
    GlobalTextureMissingHook = hook;
    GlobalSoundMissingHook = hook;
}

namespace {

zTimer::TickSource frameClockSource = GetClockTicks;

// One tick is 100000 ns.
constexpr int64_t NanosecondsPerTick = 100000;

int32_t ClampToInt32(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

} // namespace

const char* GetVersionString()
{
    return "1.1.7";
}

zTimer::TickSource SetFrameClockSource(zTimer::TickSource source)
{
    const zTimer::TickSource previous = frameClockSource;
    frameClockSource = source != nullptr ? source : GetClockTicks;
    return previous;
}

zTimer::TickSource GetFrameClockSource()
{
    return frameClockSource;
}

void UpdateFrameClock()
{
    const uint32_t now = frameClockSource();
    // The tick counter wraps; the difference of the low 32 bits is the elapsed time.
    const int32_t elapsed = int32_t(now - uint32_t(GlobalClockLastTime));

    // Products in 64 bits: a stall of a few minutes at real time already
    // overflows 32 bits.
    int64_t delta = int64_t(GlobalClockScale) * elapsed / 1000;
    if (GlobalFixedFrameStep > 0) {
        delta = int64_t(GlobalClockScale) * GlobalFixedFrameStep / 1000;
        if (GlobalFixedFrameFrequency > 0) {
            const int64_t drift = int64_t(GlobalClockDrift) + 1000000000 / GlobalFixedFrameFrequency -
                                  delta * NanosecondsPerTick;
            GlobalClockDrift = ClampToInt32(drift);
            if (GlobalClockDrift > NanosecondsPerTick) {
                const int32_t units = int32_t(GlobalClockDrift / NanosecondsPerTick);
                *GlobalLogStream << "Applying clock correction of " << units << " units.\n";
                delta += units;
                GlobalClockDrift -= int32_t(units * NanosecondsPerTick);
            }
        }
    }
    const int32_t frameDelta = ClampToInt32(delta);

    if (GlobalClockLastTime != 0) {
        GlobalClock = ClampToInt32(int64_t(GlobalClock) + frameDelta);
        GlobalRawFrameDelta = elapsed;
        GlobalFrameDelta = frameDelta < 0 ? 0 : frameDelta;
    } else {
        GlobalRawFrameDelta = 0;
        GlobalFrameDelta = 0;
    }
    GlobalClockLastTime = int32_t(now);
}

void ResetFrameClock()
{
    GlobalClockLastTime = int32_t(frameClockSource());
    GlobalFrameDelta = 166;
}
