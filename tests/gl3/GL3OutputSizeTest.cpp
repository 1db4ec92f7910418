// Outputs of the smallest and largest sizes, and viewports of any size, with
// every buffer and rectangle the frame derives from them: each pass draws
// without a GL error (the GL error check fails the test on one) and the
// frame shows the scene.

#include "GL3TestSupport.h"

#include <algorithm>
#include <tuple>

namespace {

// A lit wall filling the view, half the ambient light on white, and a
// volumetric spot light turned away from it, whose passes draw nothing that
// shows.
class WallScene : public GLRendererTest {
protected:
    void MakeScene(int32_t width, int32_t height)
    {
        camera = std::make_unique<zCamera>(&core);
        camera->UpdateWorldMatrix();
        source.ambient[0] = source.ambient[1] = source.ambient[2] = 0.5f;
        renderer->propertyCallback = &LightSource::Callback;
        renderer->propertyContext = &source;
        zGeometry* wall = zGeometry::New(&core, "wall");
        FillQuad(*wall, 0.0f, 0.0f, 1.0f, 5.0f);
        wall->materials[0]->flags = zMaterial::FlagLit;
        wall->materials[0]->diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        wall->materials[0]->shaderMap = wall->materials[0]->AsShaderMap();
        wall->Setup();
        object = std::make_unique<zObject>(&core);
        object->SetGeometry(wall, false);
        // Wide enough for the view's width, which grows with the aspect.
        object->scale = zVector(10.0f * std::max(1.0f, float(width) / float(height)), 10.0f, 1.0f);
        object->UpdateWorldMatrix();
        spot = std::make_unique<zLight>(&core);
        spot->type = zLight::TypeSpot;
        spot->volumetric = 1;
        spot->position = zVector(0.0f, 0.0f, -1.0f);
        spot->rotation = zVector(0.0f, 3.14159265f, 0.0f);
        spot->range = 3.0f;
        spot->coneAngle = 0.2f;
        spot->diffuseIntensity = 0.0f;
        spot->UpdateWorldMatrix();
        renderer->SetupLight(spot.get());
        source.lights.push_back(spot.get());
        renderer->dofFStop = 2.0f;
        renderer->dofFocalDistance = 4.0f;
    }

    // One frame, presented unless asked not to (to read it back).
    void DrawFrame(bool present = true)
    {
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        object->PushToRenderer();
        renderer->RenderQueue();
        if (present)
            renderer->Present();
    }

    // Pixels of the rectangle read back that are not the wall's grey.
    int CountNotWall(int32_t x, int32_t y, int32_t width, int32_t height)
    {
        std::vector<uint8_t> image(size_t(width) * size_t(height) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, image.data());
        int wrong = 0;
        for (size_t i = 0; i < image.size(); i += 3)
            wrong += std::abs(image[i] - 128) > 12 || std::abs(image[i + 1] - 128) > 12 ||
                             std::abs(image[i + 2] - 128) > 12
                         ? 1
                         : 0;
        return wrong;
    }

    std::unique_ptr<zCamera> camera;
    std::unique_ptr<zObject> object;
    std::unique_ptr<zLight> spot;
    LightSource source;
};

struct OutputCase {
    const char* name;
    int32_t width;
    int32_t height;
    uint32_t effects;
    uint32_t options;
};

void PrintTo(const OutputCase& c, std::ostream* out)
{
    *out << c.name;
}

class OutputSize : public WallScene, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputSize, EveryPassDrawsAndTheFrameShowsTheScene)
{
    const OutputCase& c = GetParam();
    renderer->optionFlags |= zGL3Renderer::OptionUseFloatTarget | c.options;
    ASSERT_TRUE(Open(c.width, c.height));
    ASSERT_EQ(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
    renderer->effectFlags |= c.effects;
    for (zTexture* map : {renderer->composeMap, renderer->fxMaps[0], renderer->fxMaps[1], renderer->attrMaps[0]}) {
        ASSERT_NE(map, nullptr);
        EXPECT_GE(map->picture.width, 1);
        EXPECT_GE(map->picture.height, 1);
    }
    MakeScene(c.width, c.height);
    DrawFrame();
    DrawFrame();
    DrawFrame(false);
    // The wall at half brightness everywhere: no pixel of another colour.
    EXPECT_EQ(CountNotWall(0, 0, std::min(c.width, 256), std::min(c.height, 256)), 0);
    EXPECT_EQ(renderer->glErrorsFound, 0u);
}

constexpr uint32_t Bloom = zGL3Renderer::EffectBloom;
constexpr uint32_t AllEffects = zGL3Renderer::EffectBloom | zGL3Renderer::EffectDepthOfField |
                                zGL3Renderer::EffectMotionBlur | zGL3Renderer::EffectAmbientOcclusion |
                                zGL3Renderer::EffectLowResolutionFx | zGL3Renderer::EffectShadowMapping |
                                zGL3Renderer::EffectFramebufferAsTexture;
constexpr uint32_t Supersampled = zGL3Renderer::OptionAntialiasing;
constexpr uint32_t SafeMode = zGL3Renderer::OptionDisableShader;

// From one pixel to the 16384 a side that the window system and the driver
// take at most.
INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSize,
    ::testing::Values(OutputCase{"OneRowWithBloom", 64, 1, Bloom, 0}, OutputCase{"OneColumnWithBloom", 1, 48, Bloom, 0},
                      OutputCase{"OnePixelWithBloom", 1, 1, Bloom, 0},
                      OutputCase{"WideRowWithBloom", 1024, 1, Bloom, 0},
                      OutputCase{"OnePixelWithEveryEffect", 1, 1, AllEffects, 0},
                      OutputCase{"OneColumnWithEveryEffect", 1, 48, AllEffects, 0},
                      OutputCase{"OnePixelWithEveryEffectSupersampled", 1, 1, AllEffects, Supersampled},
                      OutputCase{"OneRowWithEveryEffectSupersampled", 64, 1, AllEffects, Supersampled},
                      OutputCase{"LargestRowWithEveryEffect", 16384, 2, AllEffects, 0},
                      OutputCase{"LargestRowWithEveryEffectSupersampled", 16384, 2, AllEffects, Supersampled},
                      OutputCase{"LargestColumnWithEveryEffectSupersampled", 2, 16384, AllEffects, Supersampled}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// A viewport as "RendererSetViewport" gives it for (0, 0, s, s) and others
// out of range, on a 64 x 48 output; the rectangle it is clamped to.
struct ViewportCase {
    const char* name;
    int32_t x, y, width, height;
    zGL3Viewport clamped;
};

struct FrameCase {
    const char* name;
    uint32_t effects;
    uint32_t options;
};

void PrintTo(const ViewportCase& c, std::ostream* out)
{
    *out << c.name;
}

void PrintTo(const FrameCase& c, std::ostream* out)
{
    *out << c.name;
}

class ViewportRange : public WallScene, public ::testing::WithParamInterface<std::tuple<ViewportCase, FrameCase>> {};

TEST_P(ViewportRange, IsClampedToTheOutputAndDrawsWithoutAGLError)
{
    const ViewportCase& v = std::get<0>(GetParam());
    const FrameCase& f = std::get<1>(GetParam());
    renderer->optionFlags |= zGL3Renderer::OptionUseFloatTarget | f.options;
    ASSERT_TRUE(Open(64, 48));
    renderer->effectFlags |= f.effects;
    MakeScene(64, 48);
    for (int frame = 0; frame < 3; ++frame) {
        renderer->SetViewport(v.x, v.y, v.width, v.height);
        DrawFrame(frame < 2);
    }
    EXPECT_EQ(renderer->viewportX, v.clamped.x);
    EXPECT_EQ(renderer->viewportY, v.clamped.y);
    EXPECT_EQ(renderer->viewportWidth, v.clamped.width);
    EXPECT_EQ(renderer->viewportHeight, v.clamped.height);
    // Depth of field blurs what lies beyond a viewport smaller than the
    // output into its edges: only a whole one is one grey throughout.
    const bool whole = v.clamped.width == 64 && v.clamped.height == 48;
    if (v.clamped.width > 0 && v.clamped.height > 0 && (whole || (f.effects & zGL3Renderer::EffectDepthOfField) == 0)) {
        EXPECT_EQ(CountNotWall(v.clamped.x, v.clamped.y, v.clamped.width, v.clamped.height), 0);
    }
    EXPECT_EQ(renderer->glErrorsFound, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewportRange,
    ::testing::Combine(
        ::testing::Values(ViewportCase{"Whole", 0, 0, 64, 48, {0, 0, 64, 48}},
                          ViewportCase{"Half", 0, 0, 32, 24, {0, 0, 32, 24}},
                          ViewportCase{"Empty", 0, 0, 0, 0, {0, 0, 0, 0}},
                          ViewportCase{"NegativeSize", 0, 0, -64, -48, {0, 0, 0, 0}},
                          ViewportCase{"LargestSize", 0, 0, INT32_MAX, INT32_MAX, {0, 0, 64, 48}},
                          ViewportCase{"LargestOrigin", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, {64, 48, 0, 0}},
                          ViewportCase{"StartingBelowTheOutput", -32, -24, 64, 48, {0, 0, 32, 24}}),
        ::testing::Values(FrameCase{"Deferred", AllEffects, 0},
                          FrameCase{"DeferredWithoutDepthOfField", AllEffects & ~zGL3Renderer::EffectDepthOfField, 0},
                          FrameCase{"Supersampled", AllEffects, Supersampled},
                          FrameCase{"SafeMode", 0, SafeMode})),
    [](const ::testing::TestParamInfo<std::tuple<ViewportCase, FrameCase>>& info) {
        return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
    });

// A copy of the output into a texture smaller than it takes what fits.
TEST_F(WallScene, CopyingTheOutputIntoASmallerTextureTakesWhatFits)
{
    ASSERT_TRUE(Open(64, 48));
    MakeScene(64, 48);
    DrawFrame(false);
    zTexture* small = renderer->NewRenderTexture("small", 16, 8, 0, false);
    ASSERT_NE(small, nullptr);
    renderer->CopyFramebufferToTexture(small);
    std::vector<uint8_t> texels(16 * 8 * 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(small->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_NEAR(texels[0], 128, 12);
    EXPECT_NEAR(texels[texels.size() - 4], 128, 12);
    renderer->Present();
    EXPECT_EQ(renderer->glErrorsFound, 0u);
    renderer->FreeTexture(small);
    delete small;
}

} // namespace
