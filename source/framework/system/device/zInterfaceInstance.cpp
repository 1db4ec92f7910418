#include "framework/system/device/zInterfaceInstance.h"

#include "framework/system/zLogStream.h"
#include "platform/PlatformJoystick.h"

#include <cmath>

zInterfaceInstance::zInterfaceInstance(const zInputDeviceInfo& info)
{
    for (zInputChannel& channel : channels)
        channel.Clear();
    *GlobalLogStream << "Creating device '" << info.productName << "'.\n";
    name = info.productName;

    device = PlatformOpenJoystick(info.instanceGuid);
    if (device == nullptr) {
        LogError("zInterfaceInstance::zInterfaceInstance") << "Failed to create device.\n";
        return;
    }
    // Controllers are always read in the background and without exclusive
    // access, and always in the standard state layout: nothing to set.
    if (!PlatformJoystickHasForceFeedback(device)) {
        LogInfo("zInterfaceInstance::zInterfaceInstance") << "Device '" << name << "' has no force feedback.\n";
        return;
    }
    if (!PlatformJoystickDisableAutoCenter(device))
        LogError("zInterfaceInstance::zInterfaceInstance") << "Failed to disable force feedback spring.\n";
    effect = PlatformJoystickCreateConstantForce(device);
    if (!effect)
        LogError("zInterfaceInstance::zInterfaceInstance") << "Failed to create device force feedback effect.\n";
    else
        PlatformJoystickStartConstantForce(device);
}

zInterfaceInstance::~zInterfaceInstance()
{
    PlatformCloseJoystick(device);
}

void zInterfaceInstance::SetBounceFilter(int32_t function, bool on)
{
    if (function < FunctionFirstButton || function > FunctionLastButton) {
        LogWarning("zInterfaceInstance::SetBounceFilter") << "zInstanceDevice does not support filtering function '"
                                                          << function << "'.\n";
        return;
    }
    channels[function].bounceFilter = on;
}

bool zInterfaceInstance::Update()
{
    if (device == nullptr)
        return false;
    PlatformJoystickState state{};
    if (!PlatformReadJoystick(device, state))
        return false;
    channels[0].Push(state.x);
    channels[1].Push(state.y);
    channels[2].Push(state.z);
    channels[26].Push(state.rotationX);
    channels[27].Push(state.rotationY);
    channels[28].Push(state.rotationZ);
    channels[3].Push(state.sliders[0]);
    channels[4].Push(state.sliders[1]);
    bool pushed = true;
    for (int32_t button = 0; button < 16; ++button)
        pushed = channels[FunctionFirstButton + button].Push(state.buttons[button]);
    return pushed;
}

bool zInterfaceInstance::PoolFunction(int32_t function, int32_t& value, int32_t*, bool remove)
{
    if (function < 0 || function >= ChannelCount)
        return false;
    return channels[function].Pop(value, remove);
}

bool zInterfaceInstance::SeekFunction(int32_t function, int32_t value)
{
    if (function < 0 || function >= ChannelCount)
        return false;
    return channels[function].Contains(value);
}

void zInterfaceInstance::SetEffect(float magnitude)
{
    if (!effect)
        return;
    // Scripts pass any float; converting one beyond the int range is undefined.
    if (std::isnan(magnitude))
        magnitude = 0.0f;
    else if (magnitude > 10000.0f)
        magnitude = 10000.0f;
    else if (magnitude < -10000.0f)
        magnitude = -10000.0f;
    PlatformJoystickSetConstantForce(device, int32_t(magnitude));
}
