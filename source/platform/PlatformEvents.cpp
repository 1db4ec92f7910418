#include "platform/PlatformEvents.h"

#include <SDL.h>

namespace {

bool EscapeLatched = false;
bool CloseLatched = false;

} // namespace

void PlatformPumpEvents()
{
    // The event queue exists once any subsystem that feeds it runs (the
    // controllers start it too). Its quit event must end the run rather than
    // be lost: closing the last window sends one, and so do SIGINT and SIGTERM
    // unless PlatformStop.h handles them.
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
            if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)
                EscapeLatched = true;
            break;
        case SDL_QUIT:
            CloseLatched = true;
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE)
                CloseLatched = true;
            break;
        default:
            break;
        }
    }
}

bool PlatformEscapePressed()
{
    bool pressed = EscapeLatched;
    EscapeLatched = false;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        int count = 0;
        const Uint8* keys = SDL_GetKeyboardState(&count);
        if (keys != nullptr && SDL_SCANCODE_ESCAPE < count && keys[SDL_SCANCODE_ESCAPE] != 0)
            pressed = true;
    }
    return pressed;
}

bool PlatformCloseRequested()
{
    const bool requested = CloseLatched;
    CloseLatched = false;
    return requested;
}

void PlatformInjectEscape()
{
    EscapeLatched = true;
}

void PlatformInjectCloseRequest()
{
    CloseLatched = true;
}
