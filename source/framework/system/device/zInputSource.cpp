#include "framework/system/device/zInputSource.h"

#include "platform/PlatformInput.h"

namespace {

class zDesktopInputSource : public zInputSource {
public:
    bool IsKeyDown(int32_t virtualKey) override { return PlatformIsKeyDown(virtualKey); }
    void GetCursorPosition(int32_t& x, int32_t& y) override { PlatformGetCursorPosition(x, y); }
    void GetClientSize(int32_t& width, int32_t& height) override { PlatformGetClientSize(width, height); }
    bool SetCursorPosition(int32_t x, int32_t y) override { return PlatformSetCursorPosition(x, y); }
    int32_t GetFullScreenWidth() override { return PlatformGetFullScreenWidth(); }
};

} // namespace

zInputSource& GetDesktopInputSource()
{
    // Built on first use: the program-wide devices ask for it before main.
    static zDesktopInputSource source;
    return source;
}
