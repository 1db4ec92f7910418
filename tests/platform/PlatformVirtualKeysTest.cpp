#include "platform/PlatformVirtualKeys.h"

#include <SDL_keyboard.h>
#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

std::vector<PlatformVirtualKeyMapping> Table()
{
    int32_t count = 0;
    const PlatformVirtualKeyMapping* table = PlatformVirtualKeyTable(count);
    return std::vector<PlatformVirtualKeyMapping>(table, table + count);
}

int32_t ScancodeOf(int32_t virtualKey)
{
    const PlatformVirtualKeyMapping* mapping = PlatformFindVirtualKey(virtualKey);
    return mapping != nullptr ? mapping->scancode : SDL_SCANCODE_UNKNOWN;
}

} // namespace

TEST(PlatformVirtualKeys, TableIsOrderedWithValidScancodes)
{
    int32_t count = 0;
    const PlatformVirtualKeyMapping* table = PlatformVirtualKeyTable(count);
    ASSERT_GT(count, 150);
    int32_t previous = 0;
    for (const PlatformVirtualKeyMapping* entry = table; entry != table + count; ++entry) {
        SCOPED_TRACE(entry->virtualKey);
        EXPECT_GT(entry->virtualKey, previous);
        EXPECT_LE(entry->virtualKey, 255);
        EXPECT_GT(entry->scancode, SDL_SCANCODE_UNKNOWN);
        EXPECT_LT(entry->scancode, SDL_NUM_SCANCODES);
        EXPECT_GE(entry->alternateScancode, SDL_SCANCODE_UNKNOWN);
        EXPECT_LT(entry->alternateScancode, SDL_NUM_SCANCODES);
        EXPECT_NE(entry->scancode, entry->alternateScancode);
        EXPECT_EQ(PlatformFindVirtualKey(entry->virtualKey), entry);
        previous = entry->virtualKey;
    }
}

// A physical key belongs to one key code, except that the generic Shift, Ctrl
// and Alt codes also stand for both of their sided keys.
TEST(PlatformVirtualKeys, EachPhysicalKeyHasOneCodeBesideTheGenericModifiers)
{
    std::map<int32_t, std::set<int32_t>> codesOfScancode;
    for (const PlatformVirtualKeyMapping& entry : Table()) {
        codesOfScancode[entry.scancode].insert(entry.virtualKey);
        if (entry.alternateScancode != SDL_SCANCODE_UNKNOWN)
            codesOfScancode[entry.alternateScancode].insert(entry.virtualKey);
    }
    const std::map<int32_t, std::set<int32_t>> shared = {
        {SDL_SCANCODE_LSHIFT, {VK_SHIFT, VK_LSHIFT}},   {SDL_SCANCODE_RSHIFT, {VK_SHIFT, VK_RSHIFT}},
        {SDL_SCANCODE_LCTRL, {VK_CONTROL, VK_LCONTROL}}, {SDL_SCANCODE_RCTRL, {VK_CONTROL, VK_RCONTROL}},
        {SDL_SCANCODE_LALT, {VK_MENU, VK_LMENU}},       {SDL_SCANCODE_RALT, {VK_MENU, VK_RMENU}},
    };
    for (const auto& [scancode, codes] : codesOfScancode) {
        SCOPED_TRACE(SDL_GetScancodeName(SDL_Scancode(scancode)));
        auto expected = shared.find(scancode);
        if (expected != shared.end())
            EXPECT_EQ(codes, expected->second);
        else
            EXPECT_EQ(codes.size(), 1u);
    }
}

// SDL numbers these runs out of the order of the key codes (0 after 9, the
// keypad 0 after keypad 9, F13 far from F12).
TEST(PlatformVirtualKeys, RunsOfCharacterFunctionAndKeypadKeys)
{
    for (int32_t i = 0; i < 26; ++i)
        EXPECT_EQ(ScancodeOf('A' + i), SDL_SCANCODE_A + i) << char('A' + i);
    EXPECT_EQ(ScancodeOf('0'), SDL_SCANCODE_0);
    for (int32_t i = 1; i < 10; ++i)
        EXPECT_EQ(ScancodeOf('0' + i), SDL_SCANCODE_1 + i - 1) << i;
    EXPECT_EQ(ScancodeOf(VK_NUMPAD0), SDL_SCANCODE_KP_0);
    for (int32_t i = 1; i < 10; ++i)
        EXPECT_EQ(ScancodeOf(VK_NUMPAD0 + i), SDL_SCANCODE_KP_1 + i - 1) << i;
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(ScancodeOf(VK_F1 + i), SDL_SCANCODE_F1 + i) << i;
    for (int32_t i = 12; i < 24; ++i)
        EXPECT_EQ(ScancodeOf(VK_F1 + i), SDL_SCANCODE_F13 + i - 12) << i;
}

TEST(PlatformVirtualKeys, CodesWithTwoKeys)
{
    const struct {
        int32_t virtualKey;
        int32_t scancode;
        int32_t alternate;
    } cases[] = {
        {VK_RETURN, SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER},
        {VK_SHIFT, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT},
        {VK_CONTROL, SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL},
        {VK_MENU, SDL_SCANCODE_LALT, SDL_SCANCODE_RALT},
    };
    for (const auto& c : cases) {
        const PlatformVirtualKeyMapping* mapping = PlatformFindVirtualKey(c.virtualKey);
        ASSERT_NE(mapping, nullptr) << c.virtualKey;
        EXPECT_EQ(mapping->scancode, c.scancode);
        EXPECT_EQ(mapping->alternateScancode, c.alternate);
    }
}

// Every key the keyboard device polls has a physical key.
TEST(PlatformVirtualKeys, KeysTheKeyboardPollsAreMapped)
{
    const int32_t polled[] = {VK_UP,     VK_DOWN,   VK_LEFT,    VK_RIGHT,  VK_LSHIFT, VK_RSHIFT, VK_LCONTROL,
                              VK_RCONTROL, VK_MENU, VK_LWIN,    VK_RWIN,   VK_ATTN,   VK_SCROLL, VK_NUMLOCK,
                              VK_ESCAPE, VK_SPACE,  VK_TAB,     VK_BACK,   VK_PRIOR,  VK_NEXT,   VK_RETURN};
    for (int32_t virtualKey : polled)
        EXPECT_NE(PlatformFindVirtualKey(virtualKey), nullptr) << virtualKey;
}

TEST(PlatformVirtualKeys, MouseButtonsUnassignedAndOutOfRangeCodesHaveNoKey)
{
    const int32_t none[] = {-1, 0, VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2,
                            0x07, 0x0A, 0x3A, 0x40, 0x5E, 0x88, 0xFF, 256, 0x7FFFFFFF};
    for (int32_t virtualKey : none)
        EXPECT_EQ(PlatformFindVirtualKey(virtualKey), nullptr) << virtualKey;
}
