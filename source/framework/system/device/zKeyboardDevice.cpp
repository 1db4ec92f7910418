#include "framework/system/device/zKeyboardDevice.h"

#include "framework/system/zLogStream.h"
#include "platform/PlatformVirtualKeys.h"

namespace {

struct PolledKey {
    int32_t code;
    int32_t virtualKey;
};

// Polled in this order; a refused push ends the poll.
constexpr PolledKey PolledKeys[] = {
    {22, VK_UP}, {23, VK_DOWN}, {24, VK_LEFT}, {25, VK_RIGHT},
    {0, VK_LSHIFT}, {1, VK_RSHIFT}, {2, VK_LCONTROL}, {3, VK_RCONTROL},
    {4, VK_MENU}, {5, VK_MENU}, {6, VK_LWIN}, {7, VK_RWIN},
    {27, VK_F1}, {28, VK_F1 + 1}, {29, VK_F1 + 2}, {30, VK_F1 + 3}, {31, VK_F1 + 4}, {32, VK_F1 + 5},
    {33, VK_F1 + 6}, {34, VK_F1 + 7}, {35, VK_F1 + 8}, {36, VK_F1 + 9}, {37, VK_F1 + 10}, {38, VK_F12},
    {41, VK_ATTN}, {40, VK_SCROLL}, {42, VK_NUMLOCK},
    {44, VK_NUMPAD0}, {45, VK_NUMPAD0 + 1}, {46, VK_NUMPAD0 + 2}, {47, VK_NUMPAD0 + 3}, {48, VK_NUMPAD0 + 4},
    {49, VK_NUMPAD0 + 5}, {50, VK_NUMPAD0 + 6}, {51, VK_NUMPAD0 + 7}, {52, VK_NUMPAD0 + 8}, {53, VK_NUMPAD0 + 9},
    {26, VK_ESCAPE}, {13, VK_SPACE}, {10, VK_TAB}, {14, VK_BACK}, {20, VK_PRIOR}, {21, VK_NEXT}, {15, VK_RETURN},
};

} // namespace

zKeyboardDevice::zKeyboardDevice(zInputSource& source) : source(source)
{
}

void zKeyboardDevice::SetBounceFilter(int32_t function, bool on)
{
    if (function == FunctionKeys)
        keys.bounceFilter = on;
}

void zKeyboardDevice::SetKeyBounceFilter(int32_t code, bool on)
{
    if (code < 0 || code >= KeyCount) {
        LogWarning("zKeyboardDevice::SetKeyBounceFilter") << "zKeyboardDevice does not support filtering key '" << code
                                                          << "'.\n";
        return;
    }
    keyFilters[code] = on;
}

bool zKeyboardDevice::Update()
{
    keys.Flush();

    for (const PolledKey& key : PolledKeys) {
        if (!source.IsKeyDown(key.virtualKey)) {
            keyStates[key.code] = false;
            continue;
        }
        const bool refused = !(keyFilters[key.code] && keyStates[key.code]) && !keys.Push(key.code);
        keyStates[key.code] = true;
        if (refused)
            return false;
    }

    for (int32_t character = '0'; character <= '9'; ++character) {
        if (source.IsKeyDown(character))
            keys.Push((character << 8) | CodeCharacter);
    }

    // Upper case only while both Shift keys are held.
    const bool upper = keyStates[CodeLeftShift] && keyStates[CodeRightShift];
    for (int32_t letter = 'A'; letter <= 'Z'; ++letter) {
        if (source.IsKeyDown(letter)) {
            const int32_t character = upper ? letter : letter - 'A' + 'a';
            keys.Push((character << 8) | CodeCharacter);
        }
    }
    return true;
}

bool zKeyboardDevice::PoolFunction(int32_t function, int32_t& value, int32_t* extra, bool)
{
    if (function != FunctionKeys)
        return false;
    int32_t queued = 0;
    if (!keys.Pop(queued, true))
        return false;
    value = queued & 0xFF;
    if (value == CodeCharacter && extra != nullptr)
        *extra = (queued >> 8) & 0xFF;
    return true;
}

bool zKeyboardDevice::SeekFunction(int32_t function, int32_t value)
{
    return function == FunctionKeys && keys.Contains(value);
}
