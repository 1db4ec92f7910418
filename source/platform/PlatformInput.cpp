#include "platform/PlatformInput.h"

#include "platform/PlatformJoystick.h"
#include "platform/PlatformVirtualKeys.h"

#include <SDL.h>

namespace {

PlatformWindow* MainWindow = nullptr;
int32_t InitializeCount = 0;
bool HapticInitialized = false;

bool IsScancodeDown(const Uint8* keys, int count, int32_t scancode)
{
    return scancode > 0 && scancode < count && keys[scancode] != 0;
}

} // namespace

void PlatformSetMainWindow(PlatformWindow* window)
{
    MainWindow = window;
}

PlatformWindow* PlatformGetMainWindow()
{
    return MainWindow;
}

bool PlatformInputInitialize()
{
    // Controllers are read whether or not the window has the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
        return false;
    // Controllers are polled: no events pile up in a queue nobody may drain.
    SDL_JoystickEventState(SDL_IGNORE);
    if (InitializeCount == 0)
        HapticInitialized = SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    ++InitializeCount;
    return true;
}

void PlatformInputShutdown()
{
    if (InitializeCount == 0)
        return;
    if (--InitializeCount == 0) {
        // Quitting the subsystems frees every device they opened: the
        // controllers still open let go of theirs first, so that closing them
        // later touches nothing freed.
        PlatformReleaseJoysticks();
        if (HapticInitialized) {
            SDL_QuitSubSystem(SDL_INIT_HAPTIC);
            HapticInitialized = false;
        }
    }
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

bool PlatformInputIsInitialized()
{
    return InitializeCount > 0;
}

bool PlatformIsKeyDown(int32_t virtualKey)
{
    switch (virtualKey) {
    case VK_LBUTTON:
        return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0;
    case VK_RBUTTON:
        return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_RMASK) != 0;
    case VK_MBUTTON:
        return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_MMASK) != 0;
    case VK_XBUTTON1:
        return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_X1MASK) != 0;
    case VK_XBUTTON2:
        return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_X2MASK) != 0;
    default:
        break;
    }
    const PlatformVirtualKeyMapping* mapping = PlatformFindVirtualKey(virtualKey);
    if (mapping == nullptr)
        return false;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    if (keys == nullptr)
        return false;
    return IsScancodeDown(keys, count, mapping->scancode) ||
           IsScancodeDown(keys, count, mapping->alternateScancode);
}

void PlatformGetCursorPosition(int32_t& x, int32_t& y)
{
    x = 0;
    y = 0;
    if (MainWindow == nullptr)
        return;
    // SDL keeps the last position it saw relative to the window, also once the
    // cursor has left it.
    int cursorX = 0;
    int cursorY = 0;
    SDL_GetMouseState(&cursorX, &cursorY);
    x = cursorX;
    y = cursorY;
}

bool PlatformGetClientSize(int32_t& width, int32_t& height)
{
    width = 0;
    height = 0;
    if (MainWindow == nullptr)
        return false;
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(MainWindow, &w, &h);
    width = w;
    height = h;
    return true;
}

bool PlatformSetCursorPosition(int32_t x, int32_t y)
{
    if (MainWindow == nullptr)
        return false;
    SDL_WarpMouseInWindow(MainWindow, x, y);
    return true;
}

int32_t PlatformGetFullScreenWidth()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return 0;
    int display = 0;
    if (MainWindow != nullptr) {
        display = SDL_GetWindowDisplayIndex(MainWindow);
        if (display < 0)
            display = 0;
    }
    SDL_Rect bounds{};
    if (SDL_GetDisplayUsableBounds(display, &bounds) != 0)
        return 0;
    return bounds.w;
}
