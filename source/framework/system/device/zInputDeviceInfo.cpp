#include "framework/system/device/zInputDeviceInfo.h"

#include "framework/system/zLogStream.h"
#include "platform/PlatformJoystick.h"

#include <cstring>
#include <vector>

namespace {

bool DirectInputOpen = false;

} // namespace

bool InitializeDirectInput(PlatformWindow* window)
{
    PlatformSetMainWindow(window);
    if (DirectInputOpen)
        return true;
    if (!PlatformInputInitialize()) {
        LogError("InitializeDirectInput") << "Failed to initialize the game controller services.\n";
        return false;
    }
    DirectInputOpen = true;
    return true;
}

void ShutdownDirectInput()
{
    if (!DirectInputOpen)
        return;
    PlatformInputShutdown();
    DirectInputOpen = false;
}

bool EnumerateInputDevices(ztLinkedList<zInputDeviceInfo>& list)
{
    LogInfo("EnumerateInputDevices") << "Starting input device enumeration.\n";
    if (DirectInputOpen) {
        std::vector<PlatformJoystickInfo> found;
        PlatformEnumerateJoysticks(found);
        for (const PlatformJoystickInfo& device : found) {
            zInputDeviceInfo info;
            info.productName = device.name.c_str();
            info.flags = device.forceFeedback ? zInputDeviceInfo::FlagForceFeedback : 0;
            std::memcpy(info.instanceGuid, device.instance, sizeof info.instanceGuid);
            list.Add(info);
        }
    }
    for (auto* node = list.GetFirst(); node != nullptr; node = node->next) {
        const bool forceFeedback = (node->value.flags & zInputDeviceInfo::FlagForceFeedback) != 0;
        *GlobalLogStream << "    Device '" << node->value.productName << "': FF = " << (forceFeedback ? "TRUE" : "FALSE")
                         << ".\n";
    }
    return true;
}

bool IsEqualGUIDBytes(const uint8_t* a, const uint8_t* b)
{
    for (int word = 0; word < 4; ++word) {
        uint32_t left = 0;
        uint32_t right = 0;
        std::memcpy(&left, a + 4 * word, sizeof left);
        std::memcpy(&right, b + 4 * word, sizeof right);
        if (left != right)
            return false;
    }
    return true;
}
