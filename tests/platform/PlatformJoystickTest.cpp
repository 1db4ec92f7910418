#include "platform/PlatformJoystick.h"

#include "platform/PlatformInput.h"
#include "support/VirtualJoystick.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class PlatformJoystickTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(PlatformInputInitialize()); }
    void TearDown() override { PlatformInputShutdown(); }

    // The identifier of the one attached controller.
    static bool FindOnly(PlatformJoystickInfo& info)
    {
        std::vector<PlatformJoystickInfo> list;
        if (!PlatformEnumerateJoysticks(list) || list.size() != 1)
            return false;
        info = list[0];
        return true;
    }
};

} // namespace

TEST(PlatformJoystickClosed, NothingWorksBeforeInitialization)
{
    std::vector<PlatformJoystickInfo> list;
    EXPECT_FALSE(PlatformEnumerateJoysticks(list));
    EXPECT_TRUE(list.empty());
    const uint8_t instance[16] = {};
    EXPECT_EQ(PlatformOpenJoystick(instance), nullptr);
    PlatformCloseJoystick(nullptr);
    PlatformJoystickState state{};
    EXPECT_FALSE(PlatformReadJoystick(nullptr, state));
    EXPECT_FALSE(PlatformJoystickSetConstantForce(nullptr, 100));
}

TEST_F(PlatformJoystickTest, EnumerationFindsAttachedControllersWithDistinctIdentifiers)
{
    std::vector<PlatformJoystickInfo> list;
    ASSERT_TRUE(PlatformEnumerateJoysticks(list));
    EXPECT_TRUE(list.empty());

    VirtualJoystick first("First Pad", 2, 4, 0);
    VirtualJoystick second("Second Pad", 2, 4, 0);
    ASSERT_TRUE(first.IsAttached() && second.IsAttached());
    ASSERT_TRUE(PlatformEnumerateJoysticks(list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "First Pad");
    EXPECT_EQ(list[1].name, "Second Pad");
    EXPECT_FALSE(list[0].forceFeedback);
    EXPECT_NE(std::memcmp(list[0].instance, list[1].instance, 16), 0);

    PlatformJoystick* opened = PlatformOpenJoystick(list[1].instance);
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(PlatformJoystickHasForceFeedback(opened));
    EXPECT_FALSE(PlatformJoystickDisableAutoCenter(opened));
    EXPECT_FALSE(PlatformJoystickCreateConstantForce(opened));
    EXPECT_FALSE(PlatformJoystickStartConstantForce(opened));
    EXPECT_FALSE(PlatformJoystickSetConstantForce(opened, 5000));
    PlatformCloseJoystick(opened);

    uint8_t unknown[16];
    std::memcpy(unknown, list[1].instance, 16);
    unknown[0] ^= 0x55;
    EXPECT_EQ(PlatformOpenJoystick(unknown), nullptr);
}

TEST_F(PlatformJoystickTest, StateFollowsTheStandardLayout)
{
    VirtualJoystick pad("Pad", 8, 40, 2);
    ASSERT_TRUE(pad.IsAttached());
    PlatformJoystickInfo info;
    ASSERT_TRUE(FindOnly(info));
    PlatformJoystick* joystick = PlatformOpenJoystick(info.instance);
    ASSERT_NE(joystick, nullptr);

    const int16_t axes[8] = {-32768, 32767, 0, -1, 100, -100, 16384, -16384};
    for (int axis = 0; axis < 8; ++axis)
        pad.SetAxis(axis, axes[axis]);
    pad.SetButton(0, true);
    pad.SetButton(31, true);
    pad.SetButton(32, true); // beyond the layout's 32 buttons
    pad.SetHat(1, SDL_HAT_LEFTDOWN);

    PlatformJoystickState state;
    std::memset(&state, 0xCD, sizeof state);
    ASSERT_TRUE(PlatformReadJoystick(joystick, state));
    EXPECT_EQ(state.x, 0);
    EXPECT_EQ(state.y, 65535);
    EXPECT_EQ(state.z, 32768);
    EXPECT_EQ(state.rotationX, 32767);
    EXPECT_EQ(state.rotationY, 32868);
    EXPECT_EQ(state.rotationZ, 32668);
    EXPECT_EQ(state.sliders[0], 49152);
    EXPECT_EQ(state.sliders[1], 16384);
    EXPECT_EQ(state.pointOfView[0], 0xFFFFFFFFu);
    EXPECT_EQ(state.pointOfView[1], 22500u);
    EXPECT_EQ(state.pointOfView[2], 0xFFFFFFFFu);
    EXPECT_EQ(state.pointOfView[3], 0xFFFFFFFFu);
    for (int button = 0; button < 32; ++button)
        EXPECT_EQ(state.buttons[button], button == 0 || button == 31 ? 0x80 : 0) << button;

    // Field offsets as the 80-byte layout has them.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&state);
    int32_t y = 0;
    std::memcpy(&y, bytes + 4, 4);
    EXPECT_EQ(y, 65535);
    uint32_t pov = 0;
    std::memcpy(&pov, bytes + 36, 4);
    EXPECT_EQ(pov, 22500u);
    EXPECT_EQ(bytes[48], 0x80);
    EXPECT_EQ(bytes[79], 0x80);
    PlatformCloseJoystick(joystick);
}

TEST_F(PlatformJoystickTest, HatDirectionsInHundredthsOfADegree)
{
    VirtualJoystick pad("Hat", 0, 0, 1);
    ASSERT_TRUE(pad.IsAttached());
    PlatformJoystickInfo info;
    ASSERT_TRUE(FindOnly(info));
    PlatformJoystick* joystick = PlatformOpenJoystick(info.instance);
    ASSERT_NE(joystick, nullptr);
    const struct {
        uint8_t hat;
        uint32_t pointOfView;
    } cases[] = {
        {SDL_HAT_UP, 0},          {SDL_HAT_RIGHTUP, 4500},   {SDL_HAT_RIGHT, 9000},
        {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},    {SDL_HAT_LEFTDOWN, 22500},
        {SDL_HAT_LEFT, 27000},    {SDL_HAT_LEFTUP, 31500},   {SDL_HAT_CENTERED, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        pad.SetHat(0, c.hat);
        PlatformJoystickState state{};
        ASSERT_TRUE(PlatformReadJoystick(joystick, state));
        EXPECT_EQ(state.pointOfView[0], c.pointOfView) << int(c.hat);
        // A controller without axes or buttons reads them as 0.
        EXPECT_EQ(state.x, 0);
        EXPECT_EQ(state.buttons[0], 0);
    }
    PlatformCloseJoystick(joystick);
}

TEST_F(PlatformJoystickTest, DetachedControllerCannotBeRead)
{
    VirtualJoystick pad("Gone", 2, 2, 0);
    ASSERT_TRUE(pad.IsAttached());
    PlatformJoystickInfo info;
    ASSERT_TRUE(FindOnly(info));
    PlatformJoystick* joystick = PlatformOpenJoystick(info.instance);
    ASSERT_NE(joystick, nullptr);
    pad.SetAxis(0, 1000);
    PlatformJoystickState state{};
    ASSERT_TRUE(PlatformReadJoystick(joystick, state));
    pad.Detach();
    PlatformJoystickState after;
    std::memset(&after, 0xAB, sizeof after);
    EXPECT_FALSE(PlatformReadJoystick(joystick, after));
    EXPECT_EQ(after.x, int32_t(0xABABABAB));
    EXPECT_EQ(PlatformOpenJoystick(info.instance), nullptr);
    PlatformCloseJoystick(joystick);
}

TEST(PlatformJoystickShutdown, ControllersOpenAtShutdownReadNothingAndStillClose)
{
    ASSERT_TRUE(PlatformInputInitialize());
    PlatformJoystick* joystick = nullptr;
    {
        VirtualJoystick pad("Pad", 2, 2, 0);
        std::vector<PlatformJoystickInfo> list;
        ASSERT_TRUE(PlatformEnumerateJoysticks(list));
        ASSERT_EQ(list.size(), 1u);
        joystick = PlatformOpenJoystick(list[0].instance);
        ASSERT_NE(joystick, nullptr);
    }
    PlatformInputShutdown();
    PlatformJoystickState state{};
    EXPECT_FALSE(PlatformReadJoystick(joystick, state));
    EXPECT_FALSE(PlatformJoystickHasForceFeedback(joystick));
    ASSERT_TRUE(PlatformInputInitialize());
    EXPECT_FALSE(PlatformReadJoystick(joystick, state));
    PlatformCloseJoystick(joystick);
    PlatformInputShutdown();
}
