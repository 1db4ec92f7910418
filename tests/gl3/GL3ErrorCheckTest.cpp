// The GL error check that the GL tests switch on: what it reports, where.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

#include <cstdlib>

namespace {

// glDrawBuffers as the driver has it, raising GL_INVALID_ENUM after the call
// while raise is set: an error inside the attribute pass.
struct FailingDrawBuffers {
    static inline bool raise = false;
    static void Call(GLsizei n, const GLenum* buffers)
    {
        // Resolved here: before the context exists there is nothing to find.
        static const auto real = reinterpret_cast<PFNGLDRAWBUFFERSPROC>(PlatformGetGLProcAddress("glDrawBuffers"));
        real(n, buffers);
        if (raise)
            glEnable(GLenum(0xFFFF));
    }
};

class GLErrorCheck : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        FailingDrawBuffers::raise = false;
        FakeDriver::overrides["glDrawBuffers"] = reinterpret_cast<void*>(&FailingDrawBuffers::Call);
        camera = std::make_unique<zCamera>(&core);
        camera->UpdateWorldMatrix();
        // The errors this test raises on purpose go to it, not to the failure.
        previousHook = zGL3Renderer::GLErrorHook;
        reports.clear();
        zGL3Renderer::GLErrorHook = [](const char* message) { reports.emplace_back(message); };
    }
    void TearDown() override
    {
        zGL3Renderer::GLErrorHook = previousHook;
        FailingDrawBuffers::raise = false;
        GLRendererTest::TearDown();
    }

    void DrawFrame()
    {
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        renderer->RenderQueue();
        renderer->Present();
    }

    static inline std::vector<std::string> reports;
    void (*previousHook)(const char*) = nullptr;
    std::unique_ptr<zCamera> camera;
};

TEST_F(GLErrorCheck, AnErrorIsReportedWithItsFrameAndPass)
{
    ASSERT_TRUE(Open());
    ASSERT_EQ(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
    ASSERT_EQ(renderer->glErrorCheck, 1);
    DrawFrame();
    DrawFrame();
    EXPECT_TRUE(reports.empty()) << ::testing::PrintToString(reports);

    LogCapture log;
    // Between frames: found by the first check of the next frame.
    glScissor(0, 0, -1, -1);
    FailingDrawBuffers::raise = true;
    DrawFrame();
    EXPECT_EQ(reports, (std::vector<std::string>{"GL invalid value in frame 3, pass 'clear'.",
                                                 "GL invalid enumeration in frame 3, pass 'attributes'."}));
    EXPECT_TRUE(log.Contains("[!] zGL3Renderer::CheckPass"));
    EXPECT_TRUE(log.Contains("GL invalid enumeration in frame 3, pass 'attributes'."));
    EXPECT_EQ(renderer->glErrorsFound, 2u);

    FailingDrawBuffers::raise = false;
    reports.clear();
    DrawFrame();
    EXPECT_TRUE(reports.empty()) << ::testing::PrintToString(reports);
}

TEST_F(GLErrorCheck, TheFixedFunctionFrameIsCheckedPassByPass)
{
    renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
    ASSERT_TRUE(Open());
    DrawFrame();
    // A 2D draw after the queue: reported at the frame's end.
    glEnable(GLenum(0xFFFF));
    renderer->Present();
    EXPECT_EQ(reports, (std::vector<std::string>{"GL invalid enumeration in frame 2, pass 'before present'."}));
}

TEST_F(GLErrorCheck, IsOffUnlessSwitchedOnWhenVideoOpens)
{
    const char* previous = std::getenv("TAVRIN_GL_CHECK");
    const std::string kept = previous != nullptr ? previous : "";
    setenv("TAVRIN_GL_CHECK", "0", 1);
    const bool opened = Open();
    if (previous != nullptr)
        setenv("TAVRIN_GL_CHECK", kept.c_str(), 1);
    else
        unsetenv("TAVRIN_GL_CHECK");
    ASSERT_TRUE(opened);
    EXPECT_EQ(renderer->glErrorCheck, 0);
    FailingDrawBuffers::raise = true;
    DrawFrame();
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(renderer->glErrorsFound, 0u);
    // Nobody asked: the error is still pending.
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    while (glGetError() != GL_NO_ERROR) {
    }
}

} // namespace
