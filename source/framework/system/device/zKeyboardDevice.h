#pragma once

#include "framework/system/device/zInputChannel.h"
#include "framework/system/device/zInputSource.h"
#include "framework/system/device/zInstanceDevice.h"

// The keyboard: one function (21) whose queue holds the codes of the keys
// down at the last update. Character keys (digits and letters) queue
// (character << 8) | 54.
class zKeyboardDevice : public zInstanceDevice {
public:
    static constexpr int32_t FunctionKeys = 21;
    static constexpr int32_t KeyCount = 55;
    static constexpr int32_t CodeLeftShift = 0;
    static constexpr int32_t CodeRightShift = 1;
    static constexpr int32_t CodeCharacter = 54;

    explicit zKeyboardDevice(zInputSource& source = GetDesktopInputSource());

    void SetBounceFilter(int32_t function, bool on) override;
    bool IsFunctionSupported(int32_t function) override { return function == FunctionKeys; }
    bool Update() override;
    // value: the key code (low byte); extra, when given, the character of a
    // character key.
    bool PoolFunction(int32_t function, int32_t& value, int32_t* extra = nullptr, bool remove = true) override;
    bool IsAvailable() override { return true; }

    bool SeekFunction(int32_t function, int32_t value);
    // Edge-only filter of one key code (0 .. 54).
    void SetKeyBounceFilter(int32_t code, bool on);

private:
    zInputSource& source;
    zInputChannel keys;
    bool keyFilters[KeyCount] = {};
    bool keyStates[KeyCount] = {};
};

extern zKeyboardDevice GlobalKeyboardDevice;
