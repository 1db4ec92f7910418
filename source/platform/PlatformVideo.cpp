#include "platform/PlatformVideo.h"

#include <SDL.h>

namespace {

int32_t VideoInitializeCount = 0;

void SetError(std::string* error, const char* what)
{
    if (error != nullptr)
        *error = std::string(what) + ": " + SDL_GetError();
}

void SetSurfaceAttributes(bool multisample)
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisample ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, multisample ? 2 : 0);
}

} // namespace

bool PlatformVideoInitialize(std::string* error)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SetError(error, "could not start the video system");
        return false;
    }
    ++VideoInitializeCount;
    return true;
}

void PlatformVideoShutdown()
{
    if (VideoInitializeCount == 0)
        return;
    --VideoInitializeCount;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

const char* PlatformGetVideoDriverName()
{
    const char* name = SDL_WasInit(SDL_INIT_VIDEO) != 0 ? SDL_GetCurrentVideoDriver() : nullptr;
    return name != nullptr ? name : "";
}

bool PlatformIsHeadless()
{
    const std::string name = PlatformGetVideoDriverName();
    return name == "offscreen" || name == "dummy";
}

PlatformWindow* PlatformCreateWindow(const char* title, int32_t x, int32_t y, int32_t width, int32_t height,
                                     PlatformWindowMode mode, bool multisample, bool* multisampled,
                                     std::string* error)
{
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (mode == PlatformHidden)
        flags |= SDL_WINDOW_HIDDEN;
    else
        flags |= SDL_WINDOW_SHOWN;
    if (mode == PlatformFullScreen) {
        flags |= SDL_WINDOW_BORDERLESS;
        x = 0;
        y = 0;
    }
    if (width < 1 || height < 1) {
        if (error != nullptr)
            *error = "invalid window size " + std::to_string(width) + "x" + std::to_string(height);
        return nullptr;
    }
    SetSurfaceAttributes(multisample);
    SDL_Window* window = SDL_CreateWindow(title != nullptr ? title : "", x, y, width, height, flags);
    bool withSamples = multisample;
    if (window == nullptr && multisample) {
        // No 2-sample surface: an ordinary one, without a word.
        SetSurfaceAttributes(false);
        window = SDL_CreateWindow(title != nullptr ? title : "", x, y, width, height, flags);
        withSamples = false;
    }
    if (window == nullptr) {
        SetError(error, "could not create window");
        return nullptr;
    }
    if (multisampled != nullptr)
        *multisampled = withSamples;
    return window;
}

void PlatformDestroyWindow(PlatformWindow* window)
{
    if (window == nullptr)
        return;
    if (PlatformGetMainWindow() == window)
        PlatformSetMainWindow(nullptr);
    SDL_DestroyWindow(window);
}

bool PlatformSetFullScreenMode(PlatformWindow* window, int32_t width, int32_t height, int32_t bitsPerPixel,
                               std::string* error)
{
    if (window == nullptr) {
        if (error != nullptr)
            *error = "no window";
        return false;
    }
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0)
        display = 0;
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    wanted.format = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    SDL_DisplayMode found{};
    if (SDL_GetClosestDisplayMode(display, &wanted, &found) == nullptr) {
        SetError(error, "no display mode fits");
        return false;
    }
    if (SDL_SetWindowDisplayMode(window, &found) != 0 || SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
        SetError(error, "could not switch the display mode");
        return false;
    }
    return true;
}

void PlatformRestoreDisplayMode(PlatformWindow* window)
{
    if (window != nullptr)
        SDL_SetWindowFullscreen(window, 0);
}

void PlatformShowCursor(bool show)
{
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

bool PlatformGetWindowSize(PlatformWindow* window, int32_t& width, int32_t& height)
{
    if (window == nullptr)
        return false;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    width = w;
    height = h;
    return true;
}

bool PlatformIsWindowShown(PlatformWindow* window)
{
    return window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) != 0;
}

PlatformGLContext PlatformCreateGLContext(PlatformWindow* window, std::string* error)
{
    if (window == nullptr) {
        if (error != nullptr)
            *error = "no window";
        return nullptr;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        SetError(error, "could not create rendering context");
        return nullptr;
    }
    // Frames are never held back for the display.
    SDL_GL_SetSwapInterval(0);
    return context;
}

bool PlatformMakeCurrent(PlatformWindow* window, PlatformGLContext context, std::string* error)
{
    if (SDL_GL_MakeCurrent(window, static_cast<SDL_GLContext>(context)) != 0) {
        SetError(error, "could not make the context current");
        return false;
    }
    return true;
}

void PlatformDeleteGLContext(PlatformGLContext context)
{
    if (context != nullptr)
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
}

bool PlatformHasCurrentGLContext()
{
    return SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_GL_GetCurrentContext() != nullptr;
}

void* PlatformGetGLProcAddress(const char* name)
{
    if (name == nullptr || SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return nullptr;
    return SDL_GL_GetProcAddress(name);
}

void PlatformSwapWindow(PlatformWindow* window)
{
    if (window != nullptr)
        SDL_GL_SwapWindow(window);
}

void PlatformRefreshEvents()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0)
        SDL_PumpEvents();
}
