#include "framework/system/device/zKeyboardDevice.h"

#include "FakeInputSource.h"
#include "platform/PlatformVirtualKeys.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int32_t Character(char c)
{
    return (int32_t(c) << 8) | zKeyboardDevice::CodeCharacter;
}

// The raw queued values, newest first.
std::vector<int32_t> Drain(zKeyboardDevice& keyboard)
{
    std::vector<int32_t> values;
    int32_t code = 0;
    int32_t character = 0;
    while (keyboard.PoolFunction(zKeyboardDevice::FunctionKeys, code, &character))
        values.push_back(code == zKeyboardDevice::CodeCharacter ? (character << 8) | code : code);
    return values;
}

} // namespace

TEST(zKeyboardDevice, LettersAreUpperCaseOnlyWhileBothShiftKeysAreDown)
{
    const struct {
        std::vector<int32_t> shifts;
        int32_t expected;
    } cases[] = {
        {{}, Character('a')},
        {{VK_LSHIFT}, Character('a')},
        {{VK_RSHIFT}, Character('a')},
        {{VK_LSHIFT, VK_RSHIFT}, Character('A')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shifts.size());
        FakeInputSource source;
        zKeyboardDevice keyboard(source);
        source.down.insert('A');
        source.down.insert(c.shifts.begin(), c.shifts.end());
        EXPECT_TRUE(keyboard.Update());
        const std::vector<int32_t> queued = Drain(keyboard);
        ASSERT_FALSE(queued.empty());
        EXPECT_EQ(queued.front(), c.expected);
    }
}

TEST(zKeyboardDevice, KeysQueueInPollOrder)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    source.down = {VK_RETURN, VK_F1 + 11, VK_NUMPAD0 + 3, VK_MENU, VK_UP, '7', 'Z'};
    EXPECT_TRUE(keyboard.Update());
    // Newest first: letters, digits, then the named keys backwards.
    const std::vector<int32_t> expected = {Character('z'), Character('7'), 15, 47, 38, 5, 4, 22};
    EXPECT_EQ(Drain(keyboard), expected);
}

TEST(zKeyboardDevice, PoolFunctionSplitsTheCharacter)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    source.down = {'Q', VK_ESCAPE};
    keyboard.Update();
    EXPECT_TRUE(keyboard.SeekFunction(zKeyboardDevice::FunctionKeys, Character('q')));
    EXPECT_TRUE(keyboard.SeekFunction(zKeyboardDevice::FunctionKeys, 26));
    EXPECT_FALSE(keyboard.SeekFunction(zKeyboardDevice::FunctionKeys, zKeyboardDevice::CodeCharacter));
    EXPECT_FALSE(keyboard.SeekFunction(0, 26));

    int32_t code = -1;
    int32_t character = -1;
    ASSERT_TRUE(keyboard.PoolFunction(zKeyboardDevice::FunctionKeys, code, &character));
    EXPECT_EQ(code, zKeyboardDevice::CodeCharacter);
    EXPECT_EQ(character, 'q');
    ASSERT_TRUE(keyboard.PoolFunction(zKeyboardDevice::FunctionKeys, code, &character));
    EXPECT_EQ(code, 26);
    EXPECT_EQ(character, 'q');
    EXPECT_FALSE(keyboard.PoolFunction(zKeyboardDevice::FunctionKeys, code));

    keyboard.Update();
    ASSERT_TRUE(keyboard.PoolFunction(zKeyboardDevice::FunctionKeys, code));
    EXPECT_EQ(code, zKeyboardDevice::CodeCharacter);
    EXPECT_FALSE(keyboard.PoolFunction(20, code, &character));
    EXPECT_FALSE(keyboard.PoolFunction(-1, code, &character));
}

TEST(zKeyboardDevice, PerKeyFilterQueuesAHeldKeyOnce)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    keyboard.SetKeyBounceFilter(13, true);
    keyboard.SetKeyBounceFilter(zKeyboardDevice::CodeCharacter, true); // character keys ignore it
    source.down = {VK_SPACE, VK_TAB, 'B'};
    const std::vector<int32_t> first = {Character('b'), 10, 13};
    const std::vector<int32_t> held = {Character('b'), 10};
    keyboard.Update();
    EXPECT_EQ(Drain(keyboard), first);
    keyboard.Update();
    EXPECT_EQ(Drain(keyboard), held);
    keyboard.Update();
    EXPECT_EQ(Drain(keyboard), held);
    source.down.erase(VK_SPACE);
    keyboard.Update();
    source.down.insert(VK_SPACE);
    keyboard.Update();
    EXPECT_EQ(Drain(keyboard), first);
}

// With the key-press queue's own filter, a second press in a row is refused
// and ends the update; left Shift queues 0, which lets the next one through.
TEST(zKeyboardDevice, RefusedPushEndsTheUpdate)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    keyboard.SetBounceFilter(zKeyboardDevice::FunctionKeys, true);
    source.down = {VK_UP, VK_DOWN, 'C'};
    EXPECT_FALSE(keyboard.Update());
    EXPECT_EQ(Drain(keyboard), std::vector<int32_t>{22});

    FakeInputSource shifted;
    zKeyboardDevice other(shifted);
    other.SetBounceFilter(zKeyboardDevice::FunctionKeys, true);
    shifted.down = {VK_UP, VK_LSHIFT, VK_RSHIFT, VK_LCONTROL};
    EXPECT_FALSE(other.Update());
    EXPECT_EQ(Drain(other), (std::vector<int32_t>{1, 0, 22}));
}

TEST(zKeyboardDevice, KeyFilterOutsideTheCodesIsRefused)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    LogCapture capture;
    for (int32_t code : {-1, 55, 1000, INT32_MIN, INT32_MAX})
        keyboard.SetKeyBounceFilter(code, true);
    ASSERT_EQ(capture.lines.size(), 5u);
    EXPECT_EQ(capture.lines[1].rfind("[*] zKeyboardDevice::SetKeyBounceFilter (", 0), 0u);
    EXPECT_TRUE(capture.Contains("zKeyboardDevice does not support filtering key '55'.\n"));
    EXPECT_TRUE(capture.Contains("zKeyboardDevice does not support filtering key '-1'.\n"));
}

TEST(zKeyboardDevice, OnlyTheKeyPressFunctionIsSupported)
{
    FakeInputSource source;
    zKeyboardDevice keyboard(source);
    for (int32_t function = -1; function < 30; ++function)
        EXPECT_EQ(keyboard.IsFunctionSupported(function), function == zKeyboardDevice::FunctionKeys) << function;
}

TEST(zKeyboardDevice, DesktopKeyboardWithoutAWindowHasNoKeysDown)
{
    EXPECT_TRUE(GlobalKeyboardDevice.Update());
    EXPECT_TRUE(Drain(GlobalKeyboardDevice).empty());
}
