#pragma once

#include "framework/system/device/zInputChannel.h"
#include "framework/system/device/zInputSource.h"
#include "framework/system/device/zInstanceDevice.h"

// The mouse: functions 0 (x), 1 (y), 2 (wheel, never fed), 5, 6, 7 (left,
// right and middle button). Positions are scaled to 0..65535: in absolute mode
// across the client area, in relative mode as moves across the screen width,
// the cursor being kept away from the client area's edges.
class zMouseDevice : public zInstanceDevice {
public:
    static constexpr int32_t FunctionX = 0;
    static constexpr int32_t FunctionY = 1;
    static constexpr int32_t FunctionWheel = 2;
    static constexpr int32_t FunctionLeftButton = 5;
    static constexpr int32_t FunctionRightButton = 6;
    static constexpr int32_t FunctionMiddleButton = 7;
    static constexpr int32_t ChannelCount = 8;

    explicit zMouseDevice(zInputSource& source = GetDesktopInputSource());

    void SetBounceFilter(int32_t function, bool on) override;
    bool IsFunctionSupported(int32_t function) override;
    bool Update() override;
    bool PoolFunction(int32_t function, int32_t& value, int32_t* extra = nullptr, bool remove = true) override;
    bool IsAvailable() override { return true; }

    bool SeekFunction(int32_t function, int32_t value);

    void SetAbsoluteMode(bool on) { absoluteMode = on; }
    bool IsAbsoluteMode() const { return absoluteMode; }

private:
    // The cursor keeps this far from the client area's edges in relative mode.
    static constexpr int32_t EdgeMargin = 32;

    zInputSource& source;
    bool absoluteMode = false;
    int32_t lastX = 0;
    int32_t lastY = 0;
    zInputChannel channels[ChannelCount];
};

extern zMouseDevice GlobalMouseDevice;
