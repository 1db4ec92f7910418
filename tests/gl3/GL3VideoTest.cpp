// Opening and closing the output, set-up and its fall-backs.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

#include "core/render/zRenderWindow.h"
#include "platform/PlatformVideo.h"

namespace {

using GLVideo = GLRendererTest;

TEST_F(GLVideo, OpensAndClosesTwiceInAHiddenWindow)
{
    for (int round = 0; round < 2; ++round) {
        LogCapture log;
        ASSERT_TRUE(Open()) << "round " << round;
        EXPECT_EQ(renderer->videoOpen, 1);
        EXPECT_EQ(renderer->videoClosed, 0);
        ASSERT_NE(renderer->GetWindowHandle(), nullptr);
        EXPECT_FALSE(PlatformIsWindowShown(static_cast<PlatformWindow*>(renderer->GetWindowHandle())));
        EXPECT_FLOAT_EQ(renderer->outputWidth, 64.0f);
        EXPECT_FLOAT_EQ(renderer->outputHeight, 48.0f);
        EXPECT_TRUE(log.Contains("Starting OpenGL 3 renderer..."));
        // The tests draw without a display, and the log says so.
        EXPECT_TRUE(log.Contains("No display: rendering off screen (video driver 'offscreen')."));
        EXPECT_TRUE(log.Contains("Renderer: "));
        // Mesa has GLSL and framebuffers: the deferred frame, with its
        // library loaded again after the close of the first round.
        EXPECT_EQ(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
        EXPECT_TRUE(log.Contains("Renderer instantiated with shader support."));
        EXPECT_NE(renderer->shaders.FindByName("core::ambient"), nullptr);
        EXPECT_NE(renderer->attrMaps[0], nullptr);
        for (zTexture* map : renderer->shadowMaps)
            EXPECT_NE(map, nullptr);
        EXPECT_NE(renderer->velocityMap, nullptr);
        renderer->CloseVideo();
        EXPECT_EQ(renderer->videoOpen, 0);
        EXPECT_EQ(renderer->videoClosed, 1);
        EXPECT_EQ(renderer->GetWindowHandle(), nullptr);
        EXPECT_FALSE(PlatformHasCurrentGLContext());
    }
}

TEST_F(GLVideo, ASecondOpenIsRefusedAndChangesNothing)
{
    ASSERT_TRUE(Open());
    zWindowHandle window = renderer->GetWindowHandle();
    LogCapture log;
    EXPECT_FALSE(renderer->OpenVideoMode(32, 32, 32, zGL3Renderer::ModeHidden));
    EXPECT_TRUE(log.Contains("Renderer is already open, will not reopen without closing first."));
    EXPECT_EQ(renderer->GetWindowHandle(), window);
    EXPECT_FLOAT_EQ(renderer->outputWidth, 64.0f);
    // A caller's window on an open renderer: nothing happens, and it says yes.
    EXPECT_TRUE(renderer->OpenVideoCustomWindow(nullptr, 10, 10));
    EXPECT_EQ(renderer->GetWindowHandle(), window);
}

TEST_F(GLVideo, AnUnknownModeOpensAShownWindow)
{
    LogCapture log;
    ASSERT_TRUE(renderer->OpenVideoMode(64, 48, 32, 7));
    EXPECT_TRUE(log.Contains("(GL2 OpenVideo) Unsupported mode (7), defaulting to windowed."));
    EXPECT_TRUE(PlatformIsWindowShown(static_cast<PlatformWindow*>(renderer->GetWindowHandle())));
}

TEST_F(GLVideo, AntialiasingGetsTwoSamplesOrQuietlyNone)
{
    renderer->optionFlags |= zGL3Renderer::OptionAntialiasing;
    LogCapture log;
    ASSERT_TRUE(Open());
    EXPECT_TRUE(log.Contains("Using 4x supersampling."));
    EXPECT_FALSE(log.Contains("[!] "));
    GLint samples = -1;
    glGetIntegerv(GL_SAMPLES, &samples);
    // Drivers may round the 2 samples asked for up to a count they have.
    EXPECT_TRUE(samples == 0 || samples >= 2) << samples;
}

TEST_F(GLVideo, FullScreenSwitchesTheDisplayModeOrSaysWhyNot)
{
    LogCapture log;
    const bool opened = renderer->OpenVideo(64, 48, 32, true);
    if (opened) {
        EXPECT_EQ(renderer->fullScreen, 1);
        renderer->CloseVideo();
        EXPECT_EQ(renderer->fullScreen, 0);
    } else {
        EXPECT_TRUE(log.Contains("failed to switch to fullscreen."));
        EXPECT_EQ(renderer->GetWindowHandle(), nullptr);
    }
    EXPECT_EQ(renderer->videoOpen, 0);
}

TEST_F(GLVideo, SafeModeAskedForLoadsNoShaders)
{
    renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
    LogCapture log;
    ASSERT_TRUE(Open());
    EXPECT_TRUE(log.Contains("Renderer instantiated with no shader support."));
    EXPECT_FALSE(log.Contains("LoadShader():"));
    EXPECT_EQ(renderer->glUseProgramObject_, nullptr);
    EXPECT_EQ(renderer->deferredFramebuffer, 0u);
    EXPECT_EQ(renderer->attrMaps[0], nullptr);
}

TEST_F(GLVideo, GLSLWithoutFramebufferObjectsFallsBackToSafeMode)
{
    FakeDriver::overrides["glGenFramebuffersEXT"] = nullptr;
    LogCapture log;
    ASSERT_TRUE(Open());
    EXPECT_TRUE(log.Contains("glGenFramebuffersEXT is not supported by this driver."));
    EXPECT_TRUE(log.Contains("Driver has no support for framebuffer objects, defaulting to fixed-function pipeline."));
    EXPECT_TRUE(log.Contains("Renderer instantiated with no shader support."));
    EXPECT_NE(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
    EXPECT_EQ(renderer->glBindFramebuffer_, nullptr);
    // The frame still draws (into the window) without any framebuffer call.
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    renderer->SetRenderTarget(nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GLVideo, DriverWithoutGLSLFallsBackToSafeMode)
{
    FakeDriver::overrides["glCreateProgramObjectARB"] = nullptr;
    LogCapture log;
    ASSERT_TRUE(Open());
    EXPECT_TRUE(log.Contains("Driver has no support for GLSL, defaulting to fixed-function pipeline."));
    EXPECT_NE(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
}

TEST_F(GLVideo, AMissingRequiredEntryPointFailsSetUpAndClosesVideo)
{
    FakeDriver::overrides["glBindBufferARB"] = nullptr;
    LogCapture log;
    EXPECT_FALSE(Open());
    EXPECT_TRUE(log.Contains("[!] "));
    EXPECT_TRUE(log.Contains("glBindBufferARB is not supported by this driver."));
    EXPECT_EQ(renderer->videoOpen, 0);
    EXPECT_EQ(renderer->videoClosed, 1);
    EXPECT_EQ(renderer->GetWindowHandle(), nullptr);
    // And it opens again once the driver has it.
    FakeDriver::overrides.clear();
    EXPECT_TRUE(Open());
}

TEST_F(GLVideo, AWindowThatCannotBeMadeIsASetUpErrorWithAReason)
{
    // SDL's dummy video driver has no GL: the window cannot be created.
    const char* previous = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    LogCapture log;
    const bool opened = Open();
    setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(log.Contains("[!] zGL3Renderer::OpenVideoWindow"));
    EXPECT_TRUE(log.Contains("could not create window"));
    EXPECT_EQ(renderer->videoOpen, 0);
    EXPECT_EQ(renderer->GetWindowHandle(), nullptr);
    EXPECT_TRUE(Open());
}

// Framebuffer completeness as a driver without 24-bit depth attachments
// reports it: incomplete for the first `incompleteChecks` checks.
int IncompleteChecksLeft = 0;
GLenum APIENTRY IncompleteStatus(GLenum)
{
    if (IncompleteChecksLeft > 0) {
        --IncompleteChecksLeft;
        return GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT;
    }
    return GL_FRAMEBUFFER_COMPLETE_EXT;
}

TEST_F(GLVideo, SixteenBitDepthFallBackIsUsedWhenItCompletesTheFramebuffer)
{
    FakeDriver::overrides["glCheckFramebufferStatusEXT"] = reinterpret_cast<void*>(&IncompleteStatus);
    ASSERT_TRUE(Open());
    IncompleteChecksLeft = 1;
    LogCapture log;
    EXPECT_TRUE(renderer->SetupDeferredFramebuffer(64, 48));
    EXPECT_TRUE(log.Contains("Card does not appear to have support for 32 bit depth texture frame buffer."));
    EXPECT_EQ(renderer->sixteenBitDepth, 1);
    ASSERT_NE(renderer->depthMap, nullptr);
    // 2 bytes a texel now.
    EXPECT_EQ(static_cast<zGL3TextureRecord*>(renderer->depthMap->rendererData)->bytes, uint64_t(64 * 48 * 2));
}

TEST_F(GLVideo, SixteenBitDepthFallBackIsCheckedAndFailureMeansSafeMode)
{
    FakeDriver::overrides["glCheckFramebufferStatusEXT"] = reinterpret_cast<void*>(&IncompleteStatus);
    ASSERT_TRUE(Open());
    renderer->optionFlags &= ~uint32_t(zGL3Renderer::OptionDisableShader);
    IncompleteChecksLeft = 2;
    const uint64_t memoryBefore = renderer->textureMemory;
    LogCapture log;
    EXPECT_FALSE(renderer->SetupDeferredFramebuffer(64, 48));
    EXPECT_TRUE(log.Contains("No depth texture format gives a complete frame buffer, defaulting to fixed-function "
                             "pipeline."));
    EXPECT_NE(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
    EXPECT_EQ(renderer->depthMap, nullptr);
    for (zTexture* map : renderer->attrMaps)
        EXPECT_EQ(map, nullptr);
    EXPECT_EQ(renderer->textureMemory, memoryBefore);
}

TEST_F(GLVideo, ACallersWindowWithoutACurrentContextIsRefusedClearly)
{
    std::string error;
    ASSERT_TRUE(PlatformVideoInitialize(&error)) << error;
    PlatformWindow* window = PlatformCreateWindow("custom", 0, 0, 32, 32, PlatformHidden, false, nullptr, &error);
    ASSERT_NE(window, nullptr) << error;
    {
        LogCapture log;
        EXPECT_FALSE(renderer->OpenVideoCustomWindow(window, 32, 32));
        EXPECT_TRUE(log.Contains("No current GL context"));
        EXPECT_EQ(renderer->videoOpen, 0);
    }
    // With its context current the same window is drawn into.
    PlatformGLContext context = PlatformCreateGLContext(window, &error);
    ASSERT_NE(context, nullptr) << error;
    EXPECT_TRUE(renderer->OpenVideoCustomWindow(window, 32, 32));
    EXPECT_EQ(renderer->GetWindowHandle(), window);
    renderer->CloseVideo();
    // The caller's window and context are the caller's to delete.
    EXPECT_TRUE(PlatformMakeCurrent(window, context, &error)) << error;
    PlatformMakeCurrent(window, nullptr, nullptr);
    PlatformDeleteGLContext(context);
    PlatformDestroyWindow(window);
    PlatformVideoShutdown();
}

TEST_F(GLVideo, ExtraOutputWindowsShareTheContext)
{
    ASSERT_TRUE(Open());
    std::string error;
    PlatformWindow* extra = PlatformCreateWindow("extra", 0, 0, 32, 32, PlatformHidden, false, nullptr, &error);
    ASSERT_NE(extra, nullptr) << error;
    // A texture made while drawing into the main window.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindTexture(GL_TEXTURE_2D, 0);
    zRenderWindow record;
    ASSERT_TRUE(renderer->SetupAdditionalWindow(extra, &record));
    EXPECT_EQ(record.window, extra);
    EXPECT_TRUE(renderer->SelectOutputWindow(&record));
    EXPECT_EQ(renderer->outputWindow, extra);
    // The same context draws here: the texture is still known.
    EXPECT_EQ(glIsTexture(texture), GLboolean(GL_TRUE));
    renderer->Present();
    renderer->SetOutputWindow(nullptr);
    EXPECT_EQ(renderer->outputWindow, renderer->GetWindowHandle());
    renderer->ReleaseAdditionalWindow(&record);
    EXPECT_EQ(record.deviceContext, nullptr);
    glDeleteTextures(1, &texture);
    PlatformDestroyWindow(extra);
}

} // namespace
