#pragma once

#include <cstdint>

// Windows virtual-key codes: scripts and the input devices name keys by them,
// whatever the platform underneath. Only the codes the code base names are
// spelled out; PlatformVirtualKeyTable covers every key code that has a
// physical key.
inline constexpr int32_t VK_LBUTTON = 0x01;
inline constexpr int32_t VK_RBUTTON = 0x02;
inline constexpr int32_t VK_MBUTTON = 0x04;
inline constexpr int32_t VK_XBUTTON1 = 0x05;
inline constexpr int32_t VK_XBUTTON2 = 0x06;
inline constexpr int32_t VK_BACK = 0x08;
inline constexpr int32_t VK_TAB = 0x09;
inline constexpr int32_t VK_RETURN = 0x0D;
inline constexpr int32_t VK_SHIFT = 0x10;
inline constexpr int32_t VK_CONTROL = 0x11;
inline constexpr int32_t VK_MENU = 0x12;
inline constexpr int32_t VK_ESCAPE = 0x1B;
inline constexpr int32_t VK_SPACE = 0x20;
inline constexpr int32_t VK_PRIOR = 0x21;
inline constexpr int32_t VK_NEXT = 0x22;
inline constexpr int32_t VK_LEFT = 0x25;
inline constexpr int32_t VK_UP = 0x26;
inline constexpr int32_t VK_RIGHT = 0x27;
inline constexpr int32_t VK_DOWN = 0x28;
inline constexpr int32_t VK_LWIN = 0x5B;
inline constexpr int32_t VK_RWIN = 0x5C;
inline constexpr int32_t VK_NUMPAD0 = 0x60;
inline constexpr int32_t VK_F1 = 0x70;
inline constexpr int32_t VK_F12 = 0x7B;
inline constexpr int32_t VK_NUMLOCK = 0x90;
inline constexpr int32_t VK_SCROLL = 0x91;
inline constexpr int32_t VK_LSHIFT = 0xA0;
inline constexpr int32_t VK_RSHIFT = 0xA1;
inline constexpr int32_t VK_LCONTROL = 0xA2;
inline constexpr int32_t VK_RCONTROL = 0xA3;
inline constexpr int32_t VK_LMENU = 0xA4;
inline constexpr int32_t VK_RMENU = 0xA5;
inline constexpr int32_t VK_ATTN = 0xF6;

// One key code and the SDL scancodes (SDL_Scancode values) of the physical
// keys it stands for: a second scancode where Windows folds two keys into one
// code (either Shift, either Enter). Keys whose code depends on the keyboard
// layout take their US-layout position. Mouse buttons have no scancode and are
// not in the table.
struct PlatformVirtualKeyMapping {
    int32_t virtualKey;
    int32_t scancode;
    int32_t alternateScancode; // 0 (SDL_SCANCODE_UNKNOWN) when there is none
};

// The whole table, in increasing key-code order: static, never freed.
const PlatformVirtualKeyMapping* PlatformVirtualKeyTable(int32_t& count);

// The mapping of one key code; null for codes without a physical key,
// mouse buttons and anything outside 0..255.
const PlatformVirtualKeyMapping* PlatformFindVirtualKey(int32_t virtualKey);
