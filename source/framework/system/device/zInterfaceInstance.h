#pragma once

#include "framework/system/device/zInputChannel.h"
#include "framework/system/device/zInputDeviceInfo.h"
#include "framework/system/device/zInstanceDevice.h"

class PlatformJoystick;

// A game controller: functions 0..2 the X, Y, Z axes, 3 and 4 the sliders,
// 5..20 buttons 0..15 (0 or 0x80), 26..28 the X, Y, Z rotations; 21..25 are
// never fed. Axes run from 0 to 65535. It plays one constant force along X
// when the device has force feedback.
class zInterfaceInstance : public zInstanceDevice {
public:
    static constexpr int32_t ChannelCount = 29;
    static constexpr int32_t FunctionFirstButton = 5;
    static constexpr int32_t FunctionLastButton = 20;

    explicit zInterfaceInstance(const zInputDeviceInfo& info);
    ~zInterfaceInstance() override;

    void SetBounceFilter(int32_t function, bool on) override;
    bool IsFunctionSupported(int32_t function) override { return function >= 0 && function <= FunctionLastButton; }
    // False, with nothing queued, when the device could not be created or its
    // state cannot be read.
    bool Update() override;
    bool PoolFunction(int32_t function, int32_t& value, int32_t* extra = nullptr, bool remove = true) override;
    // False when the device could not be created.
    bool IsAvailable() override { return device != nullptr; }

    bool SeekFunction(int32_t function, int32_t value);
    // Constant force from -10000 to 10000 (clamped); nothing without an effect.
    void SetEffect(float magnitude);
    bool HasEffect() const { return effect; }

private:
    PlatformJoystick* device = nullptr;
    bool effect = false;
    zInputChannel channels[ChannelCount];
};
