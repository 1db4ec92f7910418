#include "framework/system/device/zMouseDevice.h"

#include "platform/PlatformVirtualKeys.h"

namespace {

// Scales a position or move to 0..65535 of an extent (a non-zero one).
int32_t Scale(int32_t value, int32_t extent)
{
    return int32_t(int64_t(value) * 65535 / extent);
}

// Moves a coordinate half a client extent inwards once it comes near an edge.
// A client area too small to have an inside between its margins is left alone.
int32_t KeepAwayFromEdges(int32_t value, int32_t extent, int32_t margin)
{
    if (extent <= 2 * margin)
        return value;
    if (value < margin)
        return value + (extent - 2 * margin);
    if (value > extent - margin)
        return value - (extent - 2 * margin);
    return value;
}

} // namespace

zMouseDevice::zMouseDevice(zInputSource& source) : source(source)
{
    source.GetCursorPosition(lastX, lastY);
}

void zMouseDevice::SetBounceFilter(int32_t function, bool on)
{
    if (function == FunctionLeftButton || function == FunctionRightButton || function == FunctionMiddleButton)
        channels[function].bounceFilter = on;
}

bool zMouseDevice::IsFunctionSupported(int32_t function)
{
    switch (function) {
    case FunctionX:
    case FunctionY:
    case FunctionWheel:
    case FunctionLeftButton:
    case FunctionRightButton:
    case FunctionMiddleButton:
        return true;
    default:
        return false;
    }
}

bool zMouseDevice::Update()
{
    for (int32_t function = 0; function < ChannelCount; ++function)
        channels[function].Flush();

    static constexpr struct {
        int32_t function;
        int32_t virtualKey;
    } Buttons[] = {
        {FunctionLeftButton, VK_LBUTTON},
        {FunctionRightButton, VK_RBUTTON},
        {FunctionMiddleButton, VK_MBUTTON},
    };
    for (const auto& button : Buttons) {
        zInputChannel& channel = channels[button.function];
        // The filter refuses the press while the button stays down; a release
        // is not queued, it only lets the next press through.
        if (source.IsKeyDown(button.virtualKey))
            channel.Push(1);
        else
            channel.lastState = false;
    }

    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    source.GetCursorPosition(x, y);
    source.GetClientSize(width, height);

    if (absoluteMode) {
        if (width != 0)
            channels[FunctionX].Push(Scale(x, width));
        if (height != 0)
            channels[FunctionY].Push(Scale(y, height));
        return true;
    }

    // Both moves are measured against the screen width, so that a move reads
    // the same along either axis.
    const int32_t screenWidth = source.GetFullScreenWidth();
    if (screenWidth != 0) {
        channels[FunctionX].Push(Scale(x - lastX, screenWidth));
        channels[FunctionY].Push(Scale(y - lastY, screenWidth));
    }

    if (width <= 0 || height <= 0) {
        // No window to keep the cursor in.
        lastX = x;
        lastY = y;
        return false;
    }
    x = KeepAwayFromEdges(x, width, EdgeMargin);
    y = KeepAwayFromEdges(y, height, EdgeMargin);
    lastX = x;
    lastY = y;
    return source.SetCursorPosition(x, y);
}

bool zMouseDevice::PoolFunction(int32_t function, int32_t& value, int32_t*, bool)
{
    if (!IsFunctionSupported(function))
        return false;
    return channels[function].Pop(value, true);
}

bool zMouseDevice::SeekFunction(int32_t function, int32_t value)
{
    if (!IsFunctionSupported(function))
        return false;
    return channels[function].Contains(value);
}
