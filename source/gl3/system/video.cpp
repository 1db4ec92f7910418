// Video output: the window, the GL context, extra output windows and Present.

#include "core/render/zRenderWindow.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"
#include "platform/PlatformVideo.h"

#include <string>

namespace {

PlatformWindow* AsWindow(zWindowHandle handle)
{
    return static_cast<PlatformWindow*>(handle);
}

} // namespace

bool zGL3Renderer::OpenVideo(int32_t width, int32_t height, int32_t bitsPerPixel, bool fullScreenMode)
{
    return OpenVideoMode(width, height, bitsPerPixel, fullScreenMode ? ModeFullScreen : ModeWindowed);
}

bool zGL3Renderer::OpenVideoMode(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    if (videoOpen != 0) {
        LogWarning("zGL3Renderer::OpenVideo") << "Renderer is already open, will not reopen without closing first.\n";
        return false;
    }
    customWindow = 0;
    if (!OpenVideoWindow(width, height, bitsPerPixel, mode)) {
        // Leaves nothing started behind, the video system included.
        CloseVideo();
        return false;
    }
    return SetupOpenGL(width, height, bitsPerPixel, mode);
}

bool zGL3Renderer::OpenVideoCustomWindow(zWindowHandle window, int32_t width, int32_t height)
{
    if (videoOpen != 0) {
        LogWarning("zGL3Renderer::OpenVideoCustomWindow")
            << "Renderer is already open, will not reopen without closing first.\n";
        return true;
    }
    mainWindow = window;
    outputWindow = window;
    customWindow = 1;
    fullScreen = 0;
    return SetupOpenGL(width, height, 32, ModeCustom);
}

bool zGL3Renderer::OpenVideoWindow(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    windowMode = mode;
    windowWidth = width;
    windowHeight = height;
    windowBits = bitsPerPixel;
    std::string error;
    if (videoSystemStarted == 0) {
        if (!PlatformVideoInitialize(&error)) {
            LogError("zGL3Renderer::OpenVideoWindow") << error.c_str() << ".\n";
            return false;
        }
        videoSystemStarted = 1;
        if (PlatformIsHeadless())
            LogWarning("zGL3Renderer::OpenVideoWindow")
                << "No display: rendering off screen (video driver '" << PlatformGetVideoDriverName() << "').\n";
    }
    const bool multisample = (optionFlags & OptionAntialiasing) != 0 && multisampleRefused == 0;
    if (mode == ModeFullScreen) {
        PlatformWindow* window = PlatformCreateWindow("Tavrin [OpenGL]", 0, 0, width, height, PlatformFullScreen,
                                                      multisample, nullptr, &error);
        if (window == nullptr) {
            LogError("zGL3Renderer::OpenVideoWindow") << error.c_str() << ".\n";
            return false;
        }
        if (!PlatformSetFullScreenMode(window, width, height, bitsPerPixel, &error)) {
            LogError("zGL3Renderer::OpenVideoWindow") << "failed to switch to fullscreen. (" << error.c_str() << ")\n";
            PlatformDestroyWindow(window);
            return false;
        }
        PlatformShowCursor(false);
        fullScreen = 1;
        mainWindow = window;
        outputWindow = window;
        return true;
    }
    if (mode != ModeWindowed && mode != ModeHidden) {
        LogWarning("zGL3Renderer::OpenVideoWindow")
            << "(GL2 OpenVideo) Unsupported mode (" << mode << "), defaulting to windowed.\n";
        mode = ModeWindowed;
    }
    PlatformWindow* window = PlatformCreateWindow(GetDescription(), 32, 32, width, height,
                                                  mode == ModeHidden ? PlatformHidden : PlatformWindowed,
                                                  multisample, nullptr, &error);
    if (window == nullptr) {
        LogError("zGL3Renderer::OpenVideoWindow") << error.c_str() << ".\n";
        return false;
    }
    fullScreen = 0;
    mainWindow = window;
    outputWindow = window;
    return true;
}

bool zGL3Renderer::SetupContext(int32_t width, int32_t height, int32_t, int32_t)
{
    zRenderWindow local;
    if (!SetupAdditionalWindow(mainWindow, &local))
        return false;
    std::string error;
    context = PlatformCreateGLContext(AsWindow(mainWindow), &error);
    if (context == nullptr && (optionFlags & OptionAntialiasing) != 0 && multisampleRefused == 0) {
        // No context for a 2-sample surface: the window is made again without
        // samples, quietly.
        multisampleRefused = 1;
        PlatformDestroyWindow(AsWindow(mainWindow));
        mainWindow = nullptr;
        if (!OpenVideoWindow(windowWidth, windowHeight, windowBits, windowMode))
            return false;
        return SetupContext(width, height, windowBits, windowMode);
    }
    if (context == nullptr) {
        LogError("zGL3Renderer::SetupContext") << error.c_str() << ".\n";
        CloseVideo();
        return false;
    }
    if (!SelectOutputWindow(&local)) {
        CloseVideo();
        return false;
    }
    if ((optionFlags & OptionAntialiasing) != 0)
        glEnable(GL_MULTISAMPLE_ARB);
    outputWidth = float(width);
    outputHeight = float(height);
    return true;
}

bool zGL3Renderer::SetupAdditionalWindow(zWindowHandle window, zRenderWindow* record)
{
    if (record == nullptr)
        return false;
    record->window = window;
    // SDL windows made for GL draw through themselves: the window is its own
    // drawing surface.
    record->deviceContext = window;
    if (window == nullptr) {
        LogError("zGL3Renderer::SetupAdditionalWindow") << "Couldn't get a device context for rendering window.\n";
        CloseVideo();
        return false;
    }
    return true;
}

void zGL3Renderer::SetOutputWindow(zRenderWindow* record)
{
    SelectOutputWindow(record);
}

bool zGL3Renderer::SelectOutputWindow(zRenderWindow* record)
{
    zWindowHandle target = record != nullptr ? record->deviceContext : mainWindow;
    std::string error;
    const bool made = context != nullptr && PlatformMakeCurrent(AsWindow(target), context, &error);
    if (!made)
        LogError("zGL3Renderer::SetOutputWindow") << "could not set output. " << error.c_str() << "\n";
    outputWindow = target;
    return made;
}

void zGL3Renderer::ReleaseAdditionalWindow(zRenderWindow* record)
{
    if (record == nullptr)
        return;
    if (outputWindow == record->deviceContext && outputWindow != nullptr && outputWindow != mainWindow)
        SelectOutputWindow(nullptr);
    record->deviceContext = nullptr;
}

void zGL3Renderer::CloseVideo()
{
    if (context != nullptr && PlatformHasCurrentGLContext())
        ReleaseGLObjects();
    if (fullScreen != 0)
        PlatformRestoreDisplayMode(AsWindow(mainWindow));
    PlatformShowCursor(true);
    videoOpen = 0;
    videoClosed = 1;
    if (context != nullptr) {
        PlatformMakeCurrent(AsWindow(mainWindow), nullptr, nullptr);
        PlatformDeleteGLContext(context);
    }
    context = nullptr;
    // The window is the renderer's own unless the caller supplied it; SDL
    // windows do not outlive the video system, so it goes with it.
    if (customWindow == 0 && mainWindow != nullptr)
        PlatformDestroyWindow(AsWindow(mainWindow));
    mainWindow = nullptr;
    outputWindow = nullptr;
    fullScreen = 0;
    ResetStateCaches();
    if (videoSystemStarted != 0) {
        PlatformVideoShutdown();
        videoSystemStarted = 0;
    }
}

void zGL3Renderer::UpdateClientSize()
{
    if (videoOpen == 0 || videoClosed != 0 || mainWindow == nullptr)
        return;
    int32_t w = 0, h = 0;
    if (PlatformGetWindowSize(AsWindow(mainWindow), w, h)) {
        outputWidth = float(w);
        outputHeight = float(h);
    }
}

void zGL3Renderer::Present()
{
    if (GlobalToolMode != 0)
        return;
    // What the frame drew after its last queue: 2D, text, clears.
    CheckPass("before present");
    ++framesPresented;
    PlatformRefreshEvents();
    // Swapping an off-screen surface hands the driver nothing: a frame that
    // reads nothing back and updates no texture (a scene on the fixed-function
    // frame) would stay queued in it, and the queue would grow every frame.
    if (videoOpen != 0 && videoClosed == 0)
        glFlush();
    if (outputWindow != nullptr && videoOpen != 0)
        PlatformSwapWindow(AsWindow(outputWindow));
}
