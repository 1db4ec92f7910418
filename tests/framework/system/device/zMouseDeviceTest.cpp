#include "framework/system/device/zMouseDevice.h"

#include "FakeInputSource.h"
#include "platform/PlatformVirtualKeys.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> Drain(zMouseDevice& mouse, int32_t function)
{
    std::vector<int32_t> values;
    int32_t value = 0;
    while (mouse.PoolFunction(function, value))
        values.push_back(value);
    return values;
}

struct Button {
    int32_t function;
    int32_t virtualKey;
};

constexpr Button Buttons[] = {
    {zMouseDevice::FunctionLeftButton, VK_LBUTTON},
    {zMouseDevice::FunctionRightButton, VK_RBUTTON},
    {zMouseDevice::FunctionMiddleButton, VK_MBUTTON},
};

} // namespace

TEST(zMouseDevice, HeldButtonQueuesOncePerUpdateOrOnceWithTheFilter)
{
    for (const Button& button : Buttons) {
        for (bool filter : {false, true}) {
            SCOPED_TRACE(testing::Message() << "function " << button.function << " filter " << filter);
            FakeInputSource source;
            zMouseDevice mouse(source);
            mouse.SetBounceFilter(button.function, filter);
            source.down.insert(button.virtualKey);
            std::vector<int32_t> queued;
            for (int update = 0; update < 3; ++update) {
                mouse.Update();
                for (int32_t value : Drain(mouse, button.function))
                    queued.push_back(value);
            }
            const std::vector<int32_t> expected = filter ? std::vector<int32_t>{1} : std::vector<int32_t>{1, 1, 1};
            EXPECT_EQ(queued, expected);

            // A release queues nothing and lets the next press through.
            source.down.clear();
            mouse.Update();
            EXPECT_TRUE(Drain(mouse, button.function).empty());
            source.down.insert(button.virtualKey);
            mouse.Update();
            EXPECT_EQ(Drain(mouse, button.function), std::vector<int32_t>{1});
        }
    }
}

TEST(zMouseDevice, UpdateEmptiesTheQueues)
{
    FakeInputSource source;
    zMouseDevice mouse(source);
    source.down.insert(VK_LBUTTON);
    mouse.Update();
    source.down.clear();
    mouse.Update();
    int32_t value = 0;
    EXPECT_FALSE(mouse.PoolFunction(zMouseDevice::FunctionLeftButton, value));
    EXPECT_FALSE(mouse.SeekFunction(zMouseDevice::FunctionLeftButton, 1));
}

TEST(zMouseDevice, AbsoluteModeScalesAcrossTheClientArea)
{
    const struct {
        int32_t width, height, x, y;
        std::vector<int32_t> expectedX, expectedY;
    } cases[] = {
        {640, 480, 320, 240, {32767}, {32767}},
        {640, 480, 0, 480, {0}, {65535}},
        {640, 480, -64, 960, {-6553}, {131070}},
        {0, 480, 320, 120, {}, {16383}},
        {640, 0, 640, 120, {65535}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.x << "," << c.y);
        FakeInputSource source;
        zMouseDevice mouse(source);
        mouse.SetAbsoluteMode(true);
        source.clientWidth = c.width;
        source.clientHeight = c.height;
        source.cursor = {c.x, c.y};
        EXPECT_TRUE(mouse.Update());
        EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), c.expectedX);
        EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionY), c.expectedY);
        EXPECT_TRUE(source.warps.empty());
    }
}

TEST(zMouseDevice, RelativeModeMeasuresMovesAgainstTheScreenWidth)
{
    FakeInputSource source;
    source.cursor = {300, 200};
    zMouseDevice mouse(source);
    source.cursor = {400, 100};
    EXPECT_TRUE(mouse.Update());
    EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), std::vector<int32_t>{100 * 65535 / 1024});
    EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionY), std::vector<int32_t>{-100 * 65535 / 1024});
    EXPECT_TRUE(Drain(mouse, zMouseDevice::FunctionWheel).empty());
    ASSERT_EQ(source.warps.size(), 1u);
    EXPECT_EQ(source.warps[0], (FakeInputSource::Point{400, 100}));

    mouse.Update();
    EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), std::vector<int32_t>{0});
    EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionY), std::vector<int32_t>{0});
}

TEST(zMouseDevice, RelativeModeKeepsTheCursorAwayFromTheEdges)
{
    const struct {
        FakeInputSource::Point cursor;
        FakeInputSource::Point warped;
    } cases[] = {
        {{31, 240}, {31 + 576, 240}},   {{32, 32}, {32, 32}},         {{609, 449}, {609 - 576, 449 - 416}},
        {{608, 448}, {608, 448}},        {{10, 470}, {586, 54}},       {{-5, -5}, {571, 411}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cursor.x << "," << c.cursor.y);
        FakeInputSource source;
        source.cursor = {320, 240};
        zMouseDevice mouse(source);
        source.cursor = c.cursor;
        EXPECT_TRUE(mouse.Update());
        ASSERT_EQ(source.warps.size(), 1u);
        EXPECT_EQ(source.warps[0], c.warped);
        Drain(mouse, zMouseDevice::FunctionX);
        // The next move is measured from where the cursor was put.
        mouse.Update();
        EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), std::vector<int32_t>{0});
    }
}

TEST(zMouseDevice, RelativeModeResultIsTheWarpResult)
{
    FakeInputSource source;
    source.canWarp = false;
    zMouseDevice mouse(source);
    EXPECT_FALSE(mouse.Update());
}

// Without a window there is no client area to keep the cursor in: the cursor
// is left alone and no move is made up from nothing.
TEST(zMouseDevice, RelativeModeWithoutAWindowMakesUpNoMoves)
{
    FakeInputSource source;
    source.clientWidth = 0;
    source.clientHeight = 0;
    source.cursor = {0, 0};
    zMouseDevice mouse(source);
    for (int update = 0; update < 3; ++update) {
        EXPECT_FALSE(mouse.Update());
        EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), std::vector<int32_t>{0});
        EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionY), std::vector<int32_t>{0});
    }
    EXPECT_TRUE(source.warps.empty());
}

TEST(zMouseDevice, UnknownScreenWidthQueuesNoMoves)
{
    FakeInputSource source;
    source.screenWidth = 0;
    zMouseDevice mouse(source);
    source.cursor = {100, 100};
    mouse.Update();
    EXPECT_TRUE(Drain(mouse, zMouseDevice::FunctionX).empty());
    EXPECT_TRUE(Drain(mouse, zMouseDevice::FunctionY).empty());
}

TEST(zMouseDevice, OnlyItsFunctionsAreReadOrFiltered)
{
    FakeInputSource source;
    zMouseDevice mouse(source);
    const int32_t unsupported[] = {-1, 3, 4, 8, 21, 1000, INT32_MIN};
    for (int32_t function : unsupported) {
        int32_t value = 0;
        EXPECT_FALSE(mouse.IsFunctionSupported(function));
        EXPECT_FALSE(mouse.PoolFunction(function, value)) << function;
        EXPECT_FALSE(mouse.SeekFunction(function, 0)) << function;
        mouse.SetBounceFilter(function, true);
    }
    // Position channels take no filter.
    mouse.SetBounceFilter(zMouseDevice::FunctionX, true);
    mouse.SetAbsoluteMode(true);
    source.cursor = {320, 240};
    mouse.Update();
    mouse.Update();
    EXPECT_EQ(Drain(mouse, zMouseDevice::FunctionX), std::vector<int32_t>{32767});
}

// The program-wide mouse reads the platform, which has no window yet.
TEST(zMouseDevice, DesktopMouseWithoutAWindowQueuesNothing)
{
    EXPECT_FALSE(GlobalMouseDevice.Update());
    EXPECT_TRUE(Drain(GlobalMouseDevice, zMouseDevice::FunctionX).empty());
    EXPECT_TRUE(Drain(GlobalMouseDevice, zMouseDevice::FunctionLeftButton).empty());
}
