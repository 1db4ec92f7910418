#pragma once

#include "framework/data_structure/ztLinkedList.h"
#include "framework/tools/zString.h"
#include "platform/PlatformInput.h"

#include <cstdint>

// One attached game controller, as enumeration finds it.
struct zInputDeviceInfo {
    static constexpr uint32_t FlagForceFeedback = 1;

    zString productName;
    uint32_t flags = 0;
    uint8_t instanceGuid[16] = {};
};

// Remembers the main window and opens the controller services; true when
// they can be used. Further calls only replace the window.
bool InitializeDirectInput(PlatformWindow* window);
// Closes what InitializeDirectInput opened; controllers still alive read
// nothing more.
void ShutdownDirectInput();
// Appends the attached controllers in enumeration order (none before
// InitializeDirectInput) and logs every record of the list; true.
bool EnumerateInputDevices(ztLinkedList<zInputDeviceInfo>& list);
bool IsEqualGUIDBytes(const uint8_t* a, const uint8_t* b);
