#include "platform/PlatformInput.h"

#include <SDL.h>
#include <gtest/gtest.h>

TEST(PlatformInput, WithoutAWindowTheCursorRestsAtTheOriginAndKeysAreUp)
{
    ASSERT_EQ(PlatformGetMainWindow(), nullptr);
    int32_t x = -1;
    int32_t y = -1;
    PlatformGetCursorPosition(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    int32_t width = -1;
    int32_t height = -1;
    EXPECT_FALSE(PlatformGetClientSize(width, height));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_FALSE(PlatformSetCursorPosition(10, 10));
    EXPECT_EQ(PlatformGetFullScreenWidth(), 0);
    for (int32_t virtualKey = -2; virtualKey < 300; ++virtualKey)
        EXPECT_FALSE(PlatformIsKeyDown(virtualKey)) << virtualKey;
}

TEST(PlatformInput, InitializationIsCounted)
{
    ASSERT_FALSE(PlatformInputIsInitialized());
    ASSERT_TRUE(PlatformInputInitialize());
    ASSERT_TRUE(PlatformInputInitialize());
    PlatformInputShutdown();
    EXPECT_TRUE(PlatformInputIsInitialized());
    EXPECT_NE(SDL_WasInit(SDL_INIT_JOYSTICK), 0u);
    PlatformInputShutdown();
    EXPECT_FALSE(PlatformInputIsInitialized());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_JOYSTICK), 0u);
    PlatformInputShutdown();
    EXPECT_FALSE(PlatformInputIsInitialized());
}

namespace {

// A 640x480 window of the offscreen video driver, registered as the main window.
class PlatformInputWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("input", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        PlatformSetMainWindow(window);
    }
    void TearDown() override
    {
        PlatformSetMainWindow(nullptr);
        if (window != nullptr)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    SDL_Window* window = nullptr;
};

} // namespace

TEST_F(PlatformInputWindow, ClientAreaIsTheWindowSize)
{
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_TRUE(PlatformGetClientSize(width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_GT(PlatformGetFullScreenWidth(), 0);
}

TEST_F(PlatformInputWindow, CursorMovesInClientCoordinates)
{
    const struct {
        int32_t x;
        int32_t y;
    } positions[] = {{100, 50}, {0, 0}, {639, 479}, {320, 240}};
    for (const auto& position : positions) {
        EXPECT_TRUE(PlatformSetCursorPosition(position.x, position.y));
        int32_t x = -1;
        int32_t y = -1;
        PlatformGetCursorPosition(x, y);
        EXPECT_EQ(x, position.x);
        EXPECT_EQ(y, position.y);
    }
}

TEST_F(PlatformInputWindow, ForgettingTheWindowReturnsToNoClientArea)
{
    EXPECT_TRUE(PlatformSetCursorPosition(100, 50));
    PlatformSetMainWindow(nullptr);
    int32_t x = -1;
    int32_t y = -1;
    PlatformGetCursorPosition(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    int32_t width = -1;
    int32_t height = -1;
    EXPECT_FALSE(PlatformGetClientSize(width, height));
    EXPECT_FALSE(PlatformSetCursorPosition(1, 1));
}
