// Outputs of the smallest and largest sizes with every buffer the deferred
// frame derives from them: each pass draws without a GL error (the GL error
// check fails the test on one) and the frame shows the scene.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

#include <algorithm>

namespace {

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

class OutputSize : public GLRendererTest, public ::testing::WithParamInterface<OutputCase> {
protected:
    // A lit wall filling the view, half the ambient light on white, and a
    // volumetric spot light turned away from it, whose passes draw nothing
    // that shows.
    void DrawScene(int32_t width, int32_t height)
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
        for (int frame = 0; frame < 2; ++frame) {
            renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
            renderer->camera = camera.get();
            renderer->ApplyCamera();
            renderer->ResetItemStack();
            object->PushToRenderer();
            renderer->RenderQueue();
            renderer->Present();
        }
    }

    std::unique_ptr<zCamera> camera;
    std::unique_ptr<zObject> object;
    std::unique_ptr<zLight> spot;
    LightSource source;
};

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
    DrawScene(c.width, c.height);
    renderer->camera = camera.get();
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    renderer->ResetItemStack();
    object->PushToRenderer();
    renderer->RenderQueue();
    // The wall at half brightness everywhere: no pixel of another colour.
    const int32_t w = std::min(c.width, 256);
    const int32_t h = std::min(c.height, 256);
    const std::vector<uint8_t> image = ReadBack(w, h);
    int wrong = 0;
    for (size_t i = 0; i < image.size(); i += 3)
        wrong += std::abs(image[i] - 128) > 12 || std::abs(image[i + 1] - 128) > 12 ||
                         std::abs(image[i + 2] - 128) > 12
                     ? 1
                     : 0;
    EXPECT_EQ(wrong, 0) << int(image[0]) << "," << int(image[1]) << "," << int(image[2]);
    EXPECT_EQ(renderer->glErrorsFound, 0u);
}

constexpr uint32_t Bloom = zGL3Renderer::EffectBloom;
constexpr uint32_t AllEffects = zGL3Renderer::EffectBloom | zGL3Renderer::EffectDepthOfField |
                                zGL3Renderer::EffectMotionBlur | zGL3Renderer::EffectAmbientOcclusion |
                                zGL3Renderer::EffectLowResolutionFx | zGL3Renderer::EffectShadowMapping |
                                zGL3Renderer::EffectFramebufferAsTexture;
constexpr uint32_t Supersampled = zGL3Renderer::OptionAntialiasing;

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

} // namespace
