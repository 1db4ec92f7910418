#include "platform/PlatformVirtualKeys.h"

#include <SDL_scancode.h>

#include <array>

namespace {

constexpr PlatformVirtualKeyMapping Table[] = {
    {0x03, SDL_SCANCODE_CANCEL, 0},          // VK_CANCEL
    {0x08, SDL_SCANCODE_BACKSPACE, 0},       // VK_BACK
    {0x09, SDL_SCANCODE_TAB, 0},             // VK_TAB
    {0x0C, SDL_SCANCODE_CLEAR, 0},           // VK_CLEAR
    {0x0D, SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}, // VK_RETURN
    {0x10, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT},   // VK_SHIFT
    {0x11, SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL},     // VK_CONTROL
    {0x12, SDL_SCANCODE_LALT, SDL_SCANCODE_RALT},       // VK_MENU
    {0x13, SDL_SCANCODE_PAUSE, 0},           // VK_PAUSE
    {0x14, SDL_SCANCODE_CAPSLOCK, 0},        // VK_CAPITAL
    {0x15, SDL_SCANCODE_LANG1, 0},           // VK_HANGUL / VK_KANA
    {0x19, SDL_SCANCODE_LANG2, 0},           // VK_HANJA / VK_KANJI
    {0x1B, SDL_SCANCODE_ESCAPE, 0},          // VK_ESCAPE
    {0x1C, SDL_SCANCODE_INTERNATIONAL4, 0},  // VK_CONVERT
    {0x1D, SDL_SCANCODE_INTERNATIONAL5, 0},  // VK_NONCONVERT
    {0x20, SDL_SCANCODE_SPACE, 0},           // VK_SPACE
    {0x21, SDL_SCANCODE_PAGEUP, 0},          // VK_PRIOR
    {0x22, SDL_SCANCODE_PAGEDOWN, 0},        // VK_NEXT
    {0x23, SDL_SCANCODE_END, 0},             // VK_END
    {0x24, SDL_SCANCODE_HOME, 0},            // VK_HOME
    {0x25, SDL_SCANCODE_LEFT, 0},            // VK_LEFT
    {0x26, SDL_SCANCODE_UP, 0},              // VK_UP
    {0x27, SDL_SCANCODE_RIGHT, 0},           // VK_RIGHT
    {0x28, SDL_SCANCODE_DOWN, 0},            // VK_DOWN
    {0x29, SDL_SCANCODE_SELECT, 0},          // VK_SELECT
    {0x2B, SDL_SCANCODE_EXECUTE, 0},         // VK_EXECUTE
    {0x2C, SDL_SCANCODE_PRINTSCREEN, 0},     // VK_SNAPSHOT
    {0x2D, SDL_SCANCODE_INSERT, 0},          // VK_INSERT
    {0x2E, SDL_SCANCODE_DELETE, 0},          // VK_DELETE
    {0x2F, SDL_SCANCODE_HELP, 0},            // VK_HELP
    {0x30, SDL_SCANCODE_0, 0},
    {0x31, SDL_SCANCODE_1, 0},
    {0x32, SDL_SCANCODE_2, 0},
    {0x33, SDL_SCANCODE_3, 0},
    {0x34, SDL_SCANCODE_4, 0},
    {0x35, SDL_SCANCODE_5, 0},
    {0x36, SDL_SCANCODE_6, 0},
    {0x37, SDL_SCANCODE_7, 0},
    {0x38, SDL_SCANCODE_8, 0},
    {0x39, SDL_SCANCODE_9, 0},
    {0x41, SDL_SCANCODE_A, 0},
    {0x42, SDL_SCANCODE_B, 0},
    {0x43, SDL_SCANCODE_C, 0},
    {0x44, SDL_SCANCODE_D, 0},
    {0x45, SDL_SCANCODE_E, 0},
    {0x46, SDL_SCANCODE_F, 0},
    {0x47, SDL_SCANCODE_G, 0},
    {0x48, SDL_SCANCODE_H, 0},
    {0x49, SDL_SCANCODE_I, 0},
    {0x4A, SDL_SCANCODE_J, 0},
    {0x4B, SDL_SCANCODE_K, 0},
    {0x4C, SDL_SCANCODE_L, 0},
    {0x4D, SDL_SCANCODE_M, 0},
    {0x4E, SDL_SCANCODE_N, 0},
    {0x4F, SDL_SCANCODE_O, 0},
    {0x50, SDL_SCANCODE_P, 0},
    {0x51, SDL_SCANCODE_Q, 0},
    {0x52, SDL_SCANCODE_R, 0},
    {0x53, SDL_SCANCODE_S, 0},
    {0x54, SDL_SCANCODE_T, 0},
    {0x55, SDL_SCANCODE_U, 0},
    {0x56, SDL_SCANCODE_V, 0},
    {0x57, SDL_SCANCODE_W, 0},
    {0x58, SDL_SCANCODE_X, 0},
    {0x59, SDL_SCANCODE_Y, 0},
    {0x5A, SDL_SCANCODE_Z, 0},
    {0x5B, SDL_SCANCODE_LGUI, 0},            // VK_LWIN
    {0x5C, SDL_SCANCODE_RGUI, 0},            // VK_RWIN
    {0x5D, SDL_SCANCODE_APPLICATION, 0},     // VK_APPS
    {0x5F, SDL_SCANCODE_SLEEP, 0},           // VK_SLEEP
    {0x60, SDL_SCANCODE_KP_0, 0},            // VK_NUMPAD0 .. VK_NUMPAD9
    {0x61, SDL_SCANCODE_KP_1, 0},
    {0x62, SDL_SCANCODE_KP_2, 0},
    {0x63, SDL_SCANCODE_KP_3, 0},
    {0x64, SDL_SCANCODE_KP_4, 0},
    {0x65, SDL_SCANCODE_KP_5, 0},
    {0x66, SDL_SCANCODE_KP_6, 0},
    {0x67, SDL_SCANCODE_KP_7, 0},
    {0x68, SDL_SCANCODE_KP_8, 0},
    {0x69, SDL_SCANCODE_KP_9, 0},
    {0x6A, SDL_SCANCODE_KP_MULTIPLY, 0},     // VK_MULTIPLY
    {0x6B, SDL_SCANCODE_KP_PLUS, 0},         // VK_ADD
    {0x6C, SDL_SCANCODE_KP_COMMA, 0},        // VK_SEPARATOR
    {0x6D, SDL_SCANCODE_KP_MINUS, 0},        // VK_SUBTRACT
    {0x6E, SDL_SCANCODE_KP_PERIOD, 0},       // VK_DECIMAL
    {0x6F, SDL_SCANCODE_KP_DIVIDE, 0},       // VK_DIVIDE
    {0x70, SDL_SCANCODE_F1, 0},              // VK_F1 .. VK_F24
    {0x71, SDL_SCANCODE_F2, 0},
    {0x72, SDL_SCANCODE_F3, 0},
    {0x73, SDL_SCANCODE_F4, 0},
    {0x74, SDL_SCANCODE_F5, 0},
    {0x75, SDL_SCANCODE_F6, 0},
    {0x76, SDL_SCANCODE_F7, 0},
    {0x77, SDL_SCANCODE_F8, 0},
    {0x78, SDL_SCANCODE_F9, 0},
    {0x79, SDL_SCANCODE_F10, 0},
    {0x7A, SDL_SCANCODE_F11, 0},
    {0x7B, SDL_SCANCODE_F12, 0},
    {0x7C, SDL_SCANCODE_F13, 0},
    {0x7D, SDL_SCANCODE_F14, 0},
    {0x7E, SDL_SCANCODE_F15, 0},
    {0x7F, SDL_SCANCODE_F16, 0},
    {0x80, SDL_SCANCODE_F17, 0},
    {0x81, SDL_SCANCODE_F18, 0},
    {0x82, SDL_SCANCODE_F19, 0},
    {0x83, SDL_SCANCODE_F20, 0},
    {0x84, SDL_SCANCODE_F21, 0},
    {0x85, SDL_SCANCODE_F22, 0},
    {0x86, SDL_SCANCODE_F23, 0},
    {0x87, SDL_SCANCODE_F24, 0},
    {0x90, SDL_SCANCODE_NUMLOCKCLEAR, 0},    // VK_NUMLOCK
    {0x91, SDL_SCANCODE_SCROLLLOCK, 0},      // VK_SCROLL
    {0x92, SDL_SCANCODE_KP_EQUALS, 0},       // VK_OEM_NEC_EQUAL
    {0xA0, SDL_SCANCODE_LSHIFT, 0},          // VK_LSHIFT
    {0xA1, SDL_SCANCODE_RSHIFT, 0},          // VK_RSHIFT
    {0xA2, SDL_SCANCODE_LCTRL, 0},           // VK_LCONTROL
    {0xA3, SDL_SCANCODE_RCTRL, 0},           // VK_RCONTROL
    {0xA4, SDL_SCANCODE_LALT, 0},            // VK_LMENU
    {0xA5, SDL_SCANCODE_RALT, 0},            // VK_RMENU
    {0xA6, SDL_SCANCODE_AC_BACK, 0},         // VK_BROWSER_BACK
    {0xA7, SDL_SCANCODE_AC_FORWARD, 0},      // VK_BROWSER_FORWARD
    {0xA8, SDL_SCANCODE_AC_REFRESH, 0},      // VK_BROWSER_REFRESH
    {0xA9, SDL_SCANCODE_AC_STOP, 0},         // VK_BROWSER_STOP
    {0xAA, SDL_SCANCODE_AC_SEARCH, 0},       // VK_BROWSER_SEARCH
    {0xAB, SDL_SCANCODE_AC_BOOKMARKS, 0},    // VK_BROWSER_FAVORITES
    {0xAC, SDL_SCANCODE_AC_HOME, 0},         // VK_BROWSER_HOME
    {0xAD, SDL_SCANCODE_MUTE, 0},            // VK_VOLUME_MUTE
    {0xAE, SDL_SCANCODE_VOLUMEDOWN, 0},      // VK_VOLUME_DOWN
    {0xAF, SDL_SCANCODE_VOLUMEUP, 0},        // VK_VOLUME_UP
    {0xB0, SDL_SCANCODE_AUDIONEXT, 0},       // VK_MEDIA_NEXT_TRACK
    {0xB1, SDL_SCANCODE_AUDIOPREV, 0},       // VK_MEDIA_PREV_TRACK
    {0xB2, SDL_SCANCODE_AUDIOSTOP, 0},       // VK_MEDIA_STOP
    {0xB3, SDL_SCANCODE_AUDIOPLAY, 0},       // VK_MEDIA_PLAY_PAUSE
    {0xB4, SDL_SCANCODE_MAIL, 0},            // VK_LAUNCH_MAIL
    {0xB5, SDL_SCANCODE_MEDIASELECT, 0},     // VK_LAUNCH_MEDIA_SELECT
    {0xB6, SDL_SCANCODE_COMPUTER, 0},        // VK_LAUNCH_APP1
    {0xB7, SDL_SCANCODE_CALCULATOR, 0},      // VK_LAUNCH_APP2
    {0xBA, SDL_SCANCODE_SEMICOLON, 0},       // VK_OEM_1
    {0xBB, SDL_SCANCODE_EQUALS, 0},          // VK_OEM_PLUS
    {0xBC, SDL_SCANCODE_COMMA, 0},           // VK_OEM_COMMA
    {0xBD, SDL_SCANCODE_MINUS, 0},           // VK_OEM_MINUS
    {0xBE, SDL_SCANCODE_PERIOD, 0},          // VK_OEM_PERIOD
    {0xBF, SDL_SCANCODE_SLASH, 0},           // VK_OEM_2
    {0xC0, SDL_SCANCODE_GRAVE, 0},           // VK_OEM_3
    {0xC1, SDL_SCANCODE_INTERNATIONAL1, 0},  // VK_ABNT_C1
    {0xDB, SDL_SCANCODE_LEFTBRACKET, 0},     // VK_OEM_4
    {0xDC, SDL_SCANCODE_BACKSLASH, 0},       // VK_OEM_5
    {0xDD, SDL_SCANCODE_RIGHTBRACKET, 0},    // VK_OEM_6
    {0xDE, SDL_SCANCODE_APOSTROPHE, 0},      // VK_OEM_7
    {0xE2, SDL_SCANCODE_NONUSBACKSLASH, 0},  // VK_OEM_102
    {0xF6, SDL_SCANCODE_SYSREQ, 0},          // VK_ATTN
    {0xF7, SDL_SCANCODE_CRSEL, 0},           // VK_CRSEL
    {0xF8, SDL_SCANCODE_EXSEL, 0},           // VK_EXSEL
    {0xFE, SDL_SCANCODE_CLEARAGAIN, 0},      // VK_OEM_CLEAR
};

constexpr int32_t TableCount = int32_t(sizeof(Table) / sizeof(Table[0]));

// Entry index + 1 for each of the 256 key codes, 0 where there is no key.
constexpr std::array<uint8_t, 256> BuildIndex()
{
    std::array<uint8_t, 256> index{};
    for (int32_t i = 0; i < TableCount; ++i)
        index[size_t(Table[i].virtualKey)] = uint8_t(i + 1);
    return index;
}

static_assert(TableCount < 255, "the index holds entry numbers in a byte");
constexpr std::array<uint8_t, 256> Index = BuildIndex();

} // namespace

const PlatformVirtualKeyMapping* PlatformVirtualKeyTable(int32_t& count)
{
    count = TableCount;
    return Table;
}

const PlatformVirtualKeyMapping* PlatformFindVirtualKey(int32_t virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255 || Index[size_t(virtualKey)] == 0)
        return nullptr;
    return &Table[Index[size_t(virtualKey)] - 1];
}
