// The renderer's GL state caches, matrices and clears.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

namespace {

class GLState : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        // The state caches as the fixed-function frame uses them.
        renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
        ASSERT_TRUE(Open());
    }
};

TEST_F(GLState, MatrixModeIsSetOnlyWhenItChanges)
{
    renderer->SetMatrixMode(GL_PROJECTION);
    const uint64_t before = renderer->stateChanges;
    renderer->SetMatrixMode(GL_PROJECTION);
    EXPECT_EQ(renderer->stateChanges, before);
    renderer->SetMatrixMode(GL_MODELVIEW);
    EXPECT_EQ(renderer->stateChanges, before + 1);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(GLState, TheDefaultStateTwiceSetsNoMaterialTheSecondTime)
{
    renderer->SetDefaultState();
    const uint64_t before = renderer->stateChanges;
    renderer->SetDefaultState();
    EXPECT_EQ(renderer->stateChanges, before);
    float diffuse[4] = {};
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 0.0f);
    EXPECT_FLOAT_EQ(diffuse[3], 1.0f);
    GLint cull = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    EXPECT_EQ(cull, GL_FRONT);
}

TEST_F(GLState, TextureUnitsAreFoundReadAndResetFromAGivenUnit)
{
    for (int32_t unit = 0; unit < zGL3Renderer::TextureUnits; ++unit)
        renderer->BindTextureUnit(unit, 0);
    EXPECT_EQ(renderer->FindFreeTextureUnit(), 8);
    renderer->unitState[7] = zGL3Renderer::UnitBound | zGL3Renderer::UnitMatrix;
    EXPECT_EQ(renderer->GetTextureUnitState(12), renderer->unitState[7]);
    renderer->ResetTextureUnits(3);
    for (int32_t unit = 0; unit < 3; ++unit)
        EXPECT_EQ(renderer->GetTextureUnitState(unit), zGL3Renderer::UnitBound) << unit;
    for (int32_t unit = 3; unit < zGL3Renderer::TextureUnits; ++unit)
        EXPECT_EQ(renderer->GetTextureUnitState(unit), 0u) << unit;
    EXPECT_EQ(renderer->FindFreeTextureUnit(), 3);
    renderer->ResetTextureUnits(0);
    EXPECT_EQ(renderer->FindFreeTextureUnit(), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GLState, ModelMatricesGoToGLAsModelThenViewTransposed)
{
    const zMatrix4 view = zMatrix4::TranslationMatrix(zVector(0.0f, 0.0f, 10.0f));
    const zMatrix4 model = zMatrix4::ScaleMatrix(zVector(2.0f, 3.0f, 4.0f));
    renderer->SetViewMatrix(view);
    renderer->SetModelMatrix(model, nullptr);
    // A later view is not seen until the next model matrix.
    renderer->SetViewMatrix(zMatrix4());
    float gl[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, gl);
    // (1, 1, 1) scaled, then moved 10 along z.
    const float x = gl[0] + gl[4] + gl[8] + gl[12];
    const float y = gl[1] + gl[5] + gl[9] + gl[13];
    const float z = gl[2] + gl[6] + gl[10] + gl[14];
    EXPECT_FLOAT_EQ(x, 2.0f);
    EXPECT_FLOAT_EQ(y, 3.0f);
    EXPECT_FLOAT_EQ(z, 14.0f);
    const zMatrix4 expected = view * model;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            EXPECT_FLOAT_EQ(gl[4 * i + j], expected.m[i + 4 * j]) << i << "," << j;
    }
}

TEST_F(GLState, DepthOnlyClearsKeepTheColour)
{
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderer->Clear(0.0f, 1.0f, 0.0f, 1.0f, 1);
    std::vector<uint8_t> image = ReadBack(64, 48);
    EXPECT_EQ(image[0], 255);
    renderer->Clear(0.0f, 1.0f, 0.0f, 1.0f, 0);
    image = ReadBack(64, 48);
    // Safe mode clears the window black whatever colour is asked for.
    EXPECT_EQ(image[0], 0);
    EXPECT_EQ(image[1], 0);
}

TEST_F(GLState, ResizingInSafeModeFollowsTheOutput)
{
    EXPECT_FALSE(renderer->ResizeOutput(0, 600));
    EXPECT_FLOAT_EQ(renderer->outputWidth, 64.0f);
    EXPECT_TRUE(renderer->ResizeOutput(32, 24));
    EXPECT_FLOAT_EQ(renderer->outputWidth, 32.0f);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 32);
    EXPECT_EQ(viewport[3], 24);
}

TEST_F(GLState, PendingGLErrorsAreReportedWithTheirPlace)
{
    EXPECT_FALSE(renderer->CheckGLError("quiet", 1));
    glEnable(GLenum(0x1234));
    LogCapture log;
    EXPECT_TRUE(renderer->CheckGLError("test", 7));
    EXPECT_TRUE(log.Contains("[!] zGL3Renderer::CheckGLError"));
    EXPECT_TRUE(log.Contains("GL invalid enumeration (test:7)."));
    EXPECT_FALSE(renderer->CheckGLError("test", 8));
}

TEST_F(GLState, TheClientSizeFollowsTheWindow)
{
    renderer->outputWidth = 1.0f;
    renderer->outputHeight = 1.0f;
    renderer->UpdateClientSize();
    EXPECT_FLOAT_EQ(renderer->outputWidth, 64.0f);
    EXPECT_FLOAT_EQ(renderer->outputHeight, 48.0f);
}

TEST_F(GLState, ShadersThatDoNotCompileStillGiveARecordAndTheirLog)
{
    // The shader entry points, fetched as a driver with GLSL has them.
    renderer->optionFlags &= ~uint32_t(zGL3Renderer::OptionDisableShader);
    ASSERT_TRUE(renderer->LoadOpenGLExtensions());
    ASSERT_NE(renderer->glCreateShaderObject_, nullptr);
    LogCapture log;
    zShaderRecord* broken = renderer->LoadShader("broken", "void main() { this is not GLSL }",
                                                 "void main() { gl_FragColor = vec4(1.0); }");
    ASSERT_NE(broken, nullptr);
    EXPECT_TRUE(log.Contains("LoadShader(): 'broken'."));
    // The compiler's complaint is in the log.
    EXPECT_TRUE(log.Contains("error"));
    EXPECT_EQ(static_cast<zGL3ShaderRecord*>(broken)->linked, 1);
    EXPECT_EQ(renderer->LoadShader(nullptr, "", ""), nullptr);
    EXPECT_TRUE(log.Contains("cannot register shader ''."));
    renderer->FreeShader(broken);
    EXPECT_EQ(static_cast<zGL3ShaderRecord*>(broken)->linked, 0);
    delete broken;
    renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
}

} // namespace
