#pragma once

#include "platform/PlatformInput.h"

#include <cstdint>
#include <string>

// Output windows with an OpenGL context, over SDL2. Main thread only. Every
// failure returns false or null and puts a one-line reason in *error (when
// given); nothing here logs.

// An OpenGL context; shared by every window made current with it.
using PlatformGLContext = void*;

enum PlatformWindowMode : int32_t {
    PlatformWindowed = 0,
    PlatformFullScreen = 1,
    // Created but never shown (tests, off-screen output).
    PlatformHidden = 2,
};

// Starts the video subsystem; counted, each success needs one
// PlatformVideoShutdown.
bool PlatformVideoInitialize(std::string* error);
void PlatformVideoShutdown();
// The name of the video driver in use ("x11", "wayland", "offscreen", ...),
// empty while video is not started.
const char* PlatformGetVideoDriverName();
// Whether frames go to no display at all (SDL's offscreen or dummy driver).
bool PlatformIsHeadless();

// A window with an OpenGL-capable surface of 32-bit colour and 24-bit depth,
// double-buffered. x and y are ignored in full screen. With multisample the
// surface asks for 2 samples per pixel; when that cannot be had the window is
// made without, quietly (*multisampled tells which one was made).
PlatformWindow* PlatformCreateWindow(const char* title, int32_t x, int32_t y, int32_t width, int32_t height,
                                     PlatformWindowMode mode, bool multisample, bool* multisampled,
                                     std::string* error);
// Null is ignored. Forgets the window as the input devices' main window when it was that.
void PlatformDestroyWindow(PlatformWindow* window);
// Full screen at the display mode closest to width x height (bits per pixel
// is a request only); false, with the window unchanged, when no mode fits.
bool PlatformSetFullScreenMode(PlatformWindow* window, int32_t width, int32_t height, int32_t bitsPerPixel,
                               std::string* error);
// Back to the desktop mode; harmless on a windowed window.
void PlatformRestoreDisplayMode(PlatformWindow* window);
void PlatformShowCursor(bool show);
bool PlatformGetWindowSize(PlatformWindow* window, int32_t& width, int32_t& height);
bool PlatformIsWindowShown(PlatformWindow* window);

// A compatibility-profile context (never core: fixed-function drawing needs
// it) for the window, made current on it; swap interval 0.
PlatformGLContext PlatformCreateGLContext(PlatformWindow* window, std::string* error);
// Makes the context current on the window; null context releases the current one.
bool PlatformMakeCurrent(PlatformWindow* window, PlatformGLContext context, std::string* error);
void PlatformDeleteGLContext(PlatformGLContext context);
// Whether a context is current on this thread.
bool PlatformHasCurrentGLContext();
// A GL entry point of the current context's driver, or null.
void* PlatformGetGLProcAddress(const char* name);
void PlatformSwapWindow(PlatformWindow* window);
// Moves pending system events into the event queue without taking any out
// (the application's pump reads them).
void PlatformRefreshEvents();
