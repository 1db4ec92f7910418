#pragma once

#include <cstdint>

// Where the mouse and keyboard devices read the desktop: key and button state
// by Windows virtual-key code, the cursor in the main window's client
// coordinates, and the screen. The desktop source reads the platform layer.
class zInputSource {
public:
    virtual ~zInputSource() = default;

    virtual bool IsKeyDown(int32_t virtualKey) = 0;
    virtual void GetCursorPosition(int32_t& x, int32_t& y) = 0;
    // 0x0 without a window.
    virtual void GetClientSize(int32_t& width, int32_t& height) = 0;
    virtual bool SetCursorPosition(int32_t x, int32_t y) = 0;
    // 0 when unknown.
    virtual int32_t GetFullScreenWidth() = 0;
};

zInputSource& GetDesktopInputSource();
