#include "framework/system/device/zInterfaceInstance.h"

#include "support/LogCapture.h"
#include "support/VirtualJoystick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

class zInterfaceInstanceTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitializeDirectInput(nullptr)); }
    void TearDown() override { ShutdownDirectInput(); }

    // The record of the one attached controller.
    static zInputDeviceInfo FindOnly()
    {
        ztLinkedList<zInputDeviceInfo> list;
        EnumerateInputDevices(list);
        EXPECT_EQ(list.GetCount(), 1);
        return list.GetFirst() != nullptr ? list.GetFirst()->value : zInputDeviceInfo{};
    }

    static std::vector<int32_t> Drain(zInterfaceInstance& device, int32_t function)
    {
        std::vector<int32_t> values;
        int32_t value = 0;
        while (device.PoolFunction(function, value, nullptr, true))
            values.push_back(value);
        return values;
    }
};

} // namespace

TEST(zInputDevices, EnumerationWithoutControllersLogsOnlyTheStartLine)
{
    for (bool initialized : {false, true}) {
        SCOPED_TRACE(initialized);
        if (initialized) {
            ASSERT_TRUE(InitializeDirectInput(nullptr));
        }
        ztLinkedList<zInputDeviceInfo> list;
        LogCapture capture;
        EXPECT_TRUE(EnumerateInputDevices(list));
        EXPECT_EQ(list.GetCount(), 0);
        ASSERT_EQ(capture.lines.size(), 1u);
        EXPECT_EQ(capture.lines[0].rfind("EnumerateInputDevices (", 0), 0u);
        EXPECT_NE(capture.lines[0].find(") Starting input device enumeration.\n"), std::string::npos);
    }
    ShutdownDirectInput();
}

TEST(zInputDevices, GUIDsCompareByAllSixteenBytes)
{
    const uint8_t base[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_TRUE(IsEqualGUIDBytes(base, base));
    for (int i = 0; i < 16; ++i) {
        uint8_t other[16];
        std::copy(base, base + 16, other);
        other[i] ^= 0x80;
        EXPECT_FALSE(IsEqualGUIDBytes(base, other)) << i;
    }
}

TEST_F(zInterfaceInstanceTest, EnumerationListsAndLogsEachController)
{
    VirtualJoystick first("Stick One", 2, 4, 0);
    VirtualJoystick second("Stick Two", 2, 4, 0);
    ztLinkedList<zInputDeviceInfo> list;
    LogCapture capture;
    EXPECT_TRUE(EnumerateInputDevices(list));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_TRUE(list.GetFirst()->value.productName == "Stick One");
    EXPECT_EQ(list.GetFirst()->value.flags, 0u);
    EXPECT_FALSE(IsEqualGUIDBytes(list.GetFirst()->value.instanceGuid, list.GetLast()->value.instanceGuid));
    ASSERT_EQ(capture.lines.size(), 3u);
    EXPECT_EQ(capture.lines[1], "    Device 'Stick One': FF = FALSE.\n");
    EXPECT_EQ(capture.lines[2], "    Device 'Stick Two': FF = FALSE.\n");
}

TEST_F(zInterfaceInstanceTest, CreationLogsTheDeviceAndItsMissingForceFeedback)
{
    VirtualJoystick pad("Plain Pad", 8, 16, 1);
    const zInputDeviceInfo info = FindOnly();
    LogCapture capture;
    zInterfaceInstance device(info);
    EXPECT_TRUE(device.IsAvailable());
    EXPECT_FALSE(device.HasEffect());
    EXPECT_TRUE(device.GetName() == "Plain Pad");
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[0], "Creating device 'Plain Pad'.\n");
    EXPECT_EQ(capture.lines[1].rfind("zInterfaceInstance::zInterfaceInstance (", 0), 0u);
    EXPECT_NE(capture.lines[1].find(") Device 'Plain Pad' has no force feedback.\n"), std::string::npos);
    // Without an effect any magnitude is ignored.
    device.SetEffect(5000.0f);
    device.SetEffect(std::numeric_limits<float>::infinity());
    device.SetEffect(std::nanf(""));
}

TEST_F(zInterfaceInstanceTest, AxesSlidersAndButtonsFeedTheirFunctions)
{
    VirtualJoystick pad("Pad", 8, 20, 1);
    zInterfaceInstance device(FindOnly());
    const struct {
        int axis;
        int16_t value;
        int32_t function;
        int32_t expected;
    } axes[] = {
        {0, -32768, 0, 0},     {1, 32767, 1, 65535},  {2, 0, 2, 32768},      {3, 1000, 26, 33768},
        {4, -1000, 27, 31768}, {5, 1, 28, 32769},     {6, 16384, 3, 49152},  {7, -16384, 4, 16384},
    };
    for (const auto& a : axes)
        pad.SetAxis(a.axis, a.value);
    for (int button = 0; button < 20; ++button)
        pad.SetButton(button, button % 3 == 0);
    pad.SetHat(0, SDL_HAT_DOWN);

    EXPECT_TRUE(device.Update());
    for (const auto& a : axes)
        EXPECT_EQ(Drain(device, a.function), std::vector<int32_t>{a.expected}) << a.function;
    for (int button = 0; button < 16; ++button) {
        const int32_t expected = button % 3 == 0 ? 0x80 : 0;
        EXPECT_EQ(Drain(device, 5 + button), std::vector<int32_t>{expected}) << button;
    }
    // Hats and buttons beyond 15 feed nothing.
    for (int32_t function = 21; function <= 25; ++function)
        EXPECT_TRUE(Drain(device, function).empty()) << function;
}

TEST_F(zInterfaceInstanceTest, QueuesKeepEarlierUpdatesAndReadWithoutRemoving)
{
    VirtualJoystick pad("Pad", 1, 1, 0);
    zInterfaceInstance device(FindOnly());
    for (int16_t value : {-100, 0, 100}) {
        pad.SetAxis(0, value);
        device.Update();
    }
    int32_t value = 0;
    EXPECT_TRUE(device.PoolFunction(0, value, nullptr, false));
    EXPECT_EQ(value, 32868);
    EXPECT_TRUE(device.SeekFunction(0, 32668));
    EXPECT_TRUE(device.SeekFunction(0, 32768));
    EXPECT_FALSE(device.SeekFunction(0, 0));
    EXPECT_EQ(Drain(device, 0), (std::vector<int32_t>{32868, 32768, 32668}));
}

TEST_F(zInterfaceInstanceTest, FilteredButtonQueuesOncePerPress)
{
    VirtualJoystick pad("Pad", 0, 16, 0);
    zInterfaceInstance device(FindOnly());
    device.SetBounceFilter(20, true);
    device.SetBounceFilter(5, true);
    pad.SetButton(15, true);
    pad.SetButton(0, true);
    EXPECT_TRUE(device.Update());
    // The result is that of the last push: button 15's, refused while held.
    EXPECT_FALSE(device.Update());
    EXPECT_FALSE(device.Update());
    EXPECT_EQ(Drain(device, 20), std::vector<int32_t>{0x80});
    EXPECT_EQ(Drain(device, 5), std::vector<int32_t>{0x80});
    EXPECT_EQ(Drain(device, 6), (std::vector<int32_t>{0, 0, 0}));
    pad.SetButton(15, false);
    EXPECT_TRUE(device.Update());
    pad.SetButton(15, true);
    EXPECT_TRUE(device.Update());
    EXPECT_EQ(Drain(device, 20), (std::vector<int32_t>{0x80, 0}));
}

TEST_F(zInterfaceInstanceTest, FilteringOutsideTheButtonsIsRefusedWithAWarning)
{
    VirtualJoystick pad("Pad", 2, 2, 0);
    zInterfaceInstance device(FindOnly());
    for (int32_t function : {3, -1, 4, 21, 28, 29}) {
        LogCapture capture;
        device.SetBounceFilter(function, true);
        ASSERT_EQ(capture.lines.size(), 1u) << function;
        EXPECT_EQ(capture.lines[0].rfind("[*] zInterfaceInstance::SetBounceFilter (", 0), 0u);
        EXPECT_NE(capture.lines[0].find(") zInstanceDevice does not support filtering function '" +
                                        std::to_string(function) + "'.\n"),
                  std::string::npos);
    }
}

TEST_F(zInterfaceInstanceTest, FunctionsOutsideTheTwentyNineChannelsReadNothing)
{
    VirtualJoystick pad("Pad", 8, 16, 0);
    zInterfaceInstance device(FindOnly());
    device.Update();
    int32_t value = -5;
    for (int32_t function : {-1, 29, 30, 64, 1000, INT32_MAX, INT32_MIN}) {
        EXPECT_FALSE(device.PoolFunction(function, value, nullptr, false)) << function;
        EXPECT_FALSE(device.SeekFunction(function, 0)) << function;
        EXPECT_FALSE(device.IsFunctionSupported(function));
    }
    EXPECT_EQ(value, -5);
    EXPECT_TRUE(device.IsFunctionSupported(0));
    EXPECT_TRUE(device.IsFunctionSupported(20));
    EXPECT_FALSE(device.IsFunctionSupported(21));
}

TEST_F(zInterfaceInstanceTest, DeviceThatCouldNotBeCreatedIsNeverPolled)
{
    VirtualJoystick pad("Pad", 2, 2, 0);
    zInputDeviceInfo info = FindOnly();
    info.instanceGuid[0] ^= 0xFF;
    LogCapture capture;
    zInterfaceInstance device(info);
    EXPECT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[1].rfind("[!] zInterfaceInstance::zInterfaceInstance (", 0), 0u);
    EXPECT_NE(capture.lines[1].find(") Failed to create device.\n"), std::string::npos);
    EXPECT_FALSE(device.IsAvailable());
    EXPECT_FALSE(device.HasEffect());
    pad.SetAxis(0, 500);
    EXPECT_FALSE(device.Update());
    int32_t value = 0;
    for (int32_t function = 0; function < zInterfaceInstance::ChannelCount; ++function)
        EXPECT_FALSE(device.PoolFunction(function, value, nullptr, true)) << function;
    device.SetEffect(100.0f);
}

TEST_F(zInterfaceInstanceTest, DetachedDeviceQueuesNothingMore)
{
    VirtualJoystick pad("Pad", 2, 2, 0);
    zInterfaceInstance device(FindOnly());
    pad.SetAxis(0, 10);
    EXPECT_TRUE(device.Update());
    pad.Detach();
    EXPECT_FALSE(device.Update());
    EXPECT_EQ(Drain(device, 0), std::vector<int32_t>{32778});
}

TEST_F(zInterfaceInstanceTest, ControllerOutlivingTheServiceReadsNothing)
{
    VirtualJoystick pad("Pad", 2, 2, 0);
    zInterfaceInstance device(FindOnly());
    pad.Detach();
    ShutdownDirectInput();
    EXPECT_FALSE(device.Update());
    EXPECT_TRUE(Drain(device, 0).empty());
}
