#include "platform/PlatformEvents.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

SDL_Event Key(Uint32 type, SDL_Scancode scancode)
{
    SDL_Event event{};
    event.type = type;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    return event;
}

TEST(PlatformEvents, WithoutAnEventQueueNothingIsLatched)
{
    ASSERT_EQ(SDL_WasInit(SDL_INIT_EVENTS), 0u);
    PlatformPumpEvents();
    EXPECT_FALSE(PlatformEscapePressed());
    EXPECT_FALSE(PlatformCloseRequested());
}

TEST(PlatformEvents, EscapeAndCloseAreLatchedUntilAsked)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
    SDL_Event other = Key(SDL_KEYDOWN, SDL_SCANCODE_A);
    SDL_PushEvent(&other);
    PlatformPumpEvents();
    EXPECT_FALSE(PlatformEscapePressed());

    SDL_Event escape = Key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE);
    SDL_PushEvent(&escape);
    SDL_Event release = Key(SDL_KEYUP, SDL_SCANCODE_ESCAPE);
    SDL_PushEvent(&release);
    PlatformPumpEvents();
    // Pressed and released within one pump: still seen once.
    EXPECT_TRUE(PlatformEscapePressed());
    EXPECT_FALSE(PlatformEscapePressed());
    EXPECT_FALSE(PlatformCloseRequested());

    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    PlatformPumpEvents();
    EXPECT_TRUE(PlatformCloseRequested());
    EXPECT_FALSE(PlatformCloseRequested());

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    PlatformPumpEvents();
    EXPECT_TRUE(PlatformCloseRequested());
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

// The controllers start the event queue without any window; a termination
// signal arrives there as a quit event and must still end the run.
TEST(PlatformEvents, QuitWithoutAWindowIsLatched)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    PlatformPumpEvents();
    EXPECT_TRUE(PlatformCloseRequested());
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

} // namespace
