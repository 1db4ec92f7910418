#pragma once

#include <cstdint>

// The desktop as the input devices see it: asynchronous key and mouse-button
// state by Windows virtual-key code, the cursor in the main window's client
// coordinates, and the screen. Until the window code registers its window
// there is no client area: the cursor reads 0,0, the client size 0x0, and the
// cursor cannot be moved; key state still reads (all keys up when nothing
// feeds it).

struct SDL_Window;
using PlatformWindow = SDL_Window;

// Everything here runs on the main thread, as SDL requires.

// The window whose client area cursor positions are relative to; null
// forgets it (the window code does so before destroying its window). The
// window stays the window code's: it is only remembered, never destroyed.
void PlatformSetMainWindow(PlatformWindow* window);
// The window set last, or null.
PlatformWindow* PlatformGetMainWindow();

// Opens the joystick and force-feedback services. Counted: each successful
// call needs one PlatformInputShutdown. False when joysticks cannot be used;
// a missing force-feedback service only disables force feedback.
bool PlatformInputInitialize();
// Closes the joystick service once per successful initialisation; an
// unmatched call does nothing.
void PlatformInputShutdown();
// True between the first successful PlatformInputInitialize and its last
// matching shutdown.
bool PlatformInputIsInitialized();

// Whether the key or mouse button is held now. Unknown codes read as up.
bool PlatformIsKeyDown(int32_t virtualKey);

// The cursor relative to the main window's client area; 0,0 without one.
void PlatformGetCursorPosition(int32_t& x, int32_t& y);
// The main window's client area; 0x0 and false without one.
bool PlatformGetClientSize(int32_t& width, int32_t& height);
// Moves the cursor to a client position of the main window; false without one.
bool PlatformSetCursorPosition(int32_t x, int32_t y);

// The width a full-screen window's client area would have on the display of
// the main window (the first display without one); 0 when no display is known.
int32_t PlatformGetFullScreenWidth();
