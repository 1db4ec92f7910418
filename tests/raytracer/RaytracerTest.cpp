#include "manager/SceneTestSupport.h"

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"
#include "core/GeometryTestSupport.h"
#include "bfgt/picture/zPictureIO.h"
#include "raytracer/zRaytracer.h"
#include "script/SqSafePtr.h"

#ifdef _OPENMP
#include <omp.h>
#endif

#include <cstring>
#include <filesystem>

namespace {

uint32_t Pixel(const zPicture& picture, int32_t x, int32_t y)
{
    uint32_t word;
    std::memcpy(&word, picture.pixels + (size_t(y) * size_t(picture.width) + size_t(x)) * 4, 4);
    return word;
}

std::vector<uint8_t> Bytes(const zPicture& picture)
{
    return {picture.pixels, picture.pixels + size_t(picture.width) * size_t(picture.height) * 4};
}

// FNV-1a of the picture bytes: a compact golden of a whole image.
uint32_t Fingerprint(const zPicture& picture)
{
    uint32_t hash = 2166136261u;
    for (uint8_t byte : Bytes(picture))
        hash = (hash ^ byte) * 16777619u;
    return hash;
}

uint8_t Red(uint32_t word) { return uint8_t(word >> 16); }
uint8_t Green(uint32_t word) { return uint8_t(word >> 8); }
uint8_t Blue(uint32_t word) { return uint8_t(word); }

} // namespace

// A scene built in code: a camera at z = -5 looking along +z, quads and
// cubes placed in front of it, point lights.
class RaytracerTest : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        camera = scene->AddCamera("eye");
        Place(camera->camera, {0, 0, -5});
        scene->SetCurrentCamera(&camera->camera);
        scene->backgroundColor = {0.0f, 0.0f, 1.0f, 1.0f};
        scene->ambientColor = {0.0f, 0.0f, 0.0f, 1.0f};
    }

    static void Place(zItem& item, const zVector& position)
    {
        item.position = position;
        item.UpdateWorldMatrix();
    }

    // A square of side 2 in the plane z = depth, both sides hit, with a
    // texture-layer material of that colour and opacity.
    zMObject* AddQuad(const char* name, float depth, const zColor& colour, float opacity = 1.0f,
                      float half = 1.0f)
    {
        zGeometry* g = zGeometry::New(&core, name);
        FillGeometry(*g, {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}}, {{{0, 1, 2, 3}, 0}});
        zMaterial* m = g->materials[0];
        m->flags = zMaterial::FlagLit | zMaterial::FlagDoubleSided | zMaterial::FlagFixedFunction;
        m->diffuse = colour;
        m->specular = {0, 0, 0, 1};
        m->opacity = opacity;
        zMObject* object = scene->AddObject(name, g);
        Place(object->object, {0, 0, depth});
        return object;
    }

    zMLight* AddPointLight(const zVector& position, float intensity = 1.0f, bool shadow = true)
    {
        zMLight* light = scene->AddLight("lamp", zLight::TypePoint, 0.5f);
        light->light.diffuseIntensity = intensity;
        light->light.shadow = shadow ? zLight::ShadowMap : zLight::ShadowNone;
        Place(light->light, position);
        return light;
    }

    // Traces with antialiasing off unless asked, from a fresh scene grab.
    bool Trace(zPicture& picture, int32_t w, int32_t h, zRaytracerParameters p = NoAA())
    {
        tracer.SetParameters(p);
        if (!tracer.SetScene(scene.get()))
            return false;
        return tracer.Trace(picture, w, h);
    }
    static zRaytracerParameters NoAA()
    {
        zRaytracerParameters p;
        p.aa = 0;
        return p;
    }

    bool Logged(const std::string& text) const
    {
        for (const std::string& line : Lines()) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

    zMCamera* camera = nullptr;
    zRaytracer tracer{&core};
};

TEST_F(RaytracerTest, RayMissingEverythingTakesTheBackgroundAndAUniformImageIsNeverSupersampled)
{
    zPicture picture;
    zRaytracerParameters p;
    ASSERT_TRUE(Trace(picture, 16, 12, p));
    ASSERT_EQ(picture.width, 16);
    ASSERT_EQ(picture.height, 12);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(Pixel(picture, x, y), 0xFF0000FFu) << x << "," << y;
    EXPECT_EQ(tracer.GetSupersampledCount(), 0u);
    EXPECT_TRUE(Logged("Raytracing done. Took "));
}

TEST_F(RaytracerTest, LitQuadInFrontOfTheBackground)
{
    AddQuad("wall", 0.0f, {1.0f, 0.0f, 0.0f, 1.0f});
    AddPointLight({0, 0, -3});
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 32, 24));
    // The camera sees about +-1.56 at the wall: the quad fills the middle,
    // the background the corners.
    const uint32_t centre = Pixel(picture, 16, 12);
    EXPECT_EQ(Pixel(picture, 0, 0), 0xFF0000FFu);
    EXPECT_GT(Red(centre), 200);
    EXPECT_EQ(Green(centre), 0);
    EXPECT_EQ(Blue(centre), 0);
    // Light falls off towards the quad's edge (cosine law).
    EXPECT_LT(Red(Pixel(picture, 7, 12)), Red(centre));
    // The project's golden of this picture: any change to the shading,
    // the camera set-up or the conversion shows here.
    EXPECT_EQ(Fingerprint(picture), 0xC6CFA47Du) << std::hex << Fingerprint(picture);
}

TEST_F(RaytracerTest, UnlitSceneShowsOnlyAmbient)
{
    AddQuad("wall", 0.0f, {1.0f, 1.0f, 1.0f, 1.0f});
    scene->ambientColor = {0.5f, 0.25f, 0.0f, 1.0f};
    scene->ambientIntensity = 1.0f;
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    // 0.5 x 255 and 0.25 x 255 truncated.
    EXPECT_EQ(Pixel(picture, 4, 4), 0xFF7F3F00u);
}

TEST_F(RaytracerTest, BrightLightClampsInsteadOfOverflowingIntoTheNextChannel)
{
    AddQuad("wall", 0.0f, {1.0f, 0.0f, 0.0f, 1.0f});
    AddPointLight({0, 0, -3}, 20.0f);
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    EXPECT_EQ(Pixel(picture, 4, 4), 0xFFFF0000u);
}

struct PackCase {
    const char* name;
    float rgba[4];
    uint32_t word;
};

// Failures name the case, not its bytes.
void PrintTo(const PackCase& c, std::ostream* os) { *os << c.name; }

class RaytracerPackTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(RaytracerPackTest, PacksClampedChannels)
{
    EXPECT_EQ(zRaytracer::PackColour(GetParam().rgba), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(Colours, RaytracerPackTest,
                         ::testing::Values(PackCase{"InRange", {1.0f, 0.5f, 0.0f, 1.0f}, 0xFFFF7F00u},
                                           PackCase{"AboveOne", {3.0f, 1.5f, 1.01f, 2.0f}, 0xFFFFFFFFu},
                                           PackCase{"BelowZero", {-1.0f, 0.25f, -0.5f, 1.0f}, 0xFF003F00u},
                                           PackCase{"NotANumber", {NAN, 1.0f, 0.0f, 0.0f}, 0x0000FF00u}),
                         [](const ::testing::TestParamInfo<PackCase>& info) { return std::string(info.param.name); });

TEST_F(RaytracerTest, ShadowRaysSeeThroughTransparentLayers)
{
    // Two half-transparent sheets between the origin and a light at z = -4.
    AddQuad("first", -1.0f, {1, 1, 1, 1}, 0.5f, 4.0f);
    AddQuad("second", -2.0f, {1, 1, 1, 1}, 0.5f, 4.0f);
    ASSERT_TRUE(tracer.SetScene(scene.get()));
    const zVector up(0, 0, -1);
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, 0}, up, 4.0f, 32), 0.25f);
    // Only the sheets within the distance count.
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, 0}, up, 1.5f, 32), 0.5f);
    // No layer left to cross: fully lit.
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, 0}, up, 4.0f, 0), 1.0f);

    zRaytracerParameters p;
    p.transparentShadows = 0;
    tracer.SetParameters(p);
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, 0}, up, 4.0f, 32), 0.0f);
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, 0}, {0, 0, 1}, 4.0f, 32), 1.0f);
}

TEST_F(RaytracerTest, OpaqueOccluderCastsFullShadow)
{
    AddQuad("wall", 0.0f, {1, 1, 1, 1}, 1.0f, 4.0f);
    AddQuad("blocker", -1.0f, {1, 1, 1, 1}, 1.0f, 0.2f);
    ASSERT_TRUE(tracer.SetScene(scene.get()));
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, -0.001f}, {0, 0, -1}, 3.0f, 32), 0.0f);
    // Beside the blocker the light is seen.
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({1, 0, -0.001f}, {0, 0, -1}, 3.0f, 32), 1.0f);
    // The blocker shadows only what lies beyond it.
    EXPECT_FLOAT_EQ(tracer.ShadowFactor({0, 0, -0.001f}, {0, 0, -1}, 0.5f, 32), 1.0f);
}

TEST_F(RaytracerTest, HalfTransparentSurfaceBlendsWithWhatIsBehind)
{
    AddQuad("glass", -1.0f, {1, 0, 0, 1}, 0.5f, 4.0f);
    scene->ambientColor = {1, 1, 1, 1};
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    // Half red from the sheet, half the blue background through it.
    const uint32_t c = Pixel(picture, 4, 4);
    EXPECT_NEAR(Red(c), 127, 1);
    EXPECT_EQ(Green(c), 0);
    EXPECT_NEAR(Blue(c), 127, 1);
}

// An opacity layer takes its sample's alpha, or the grey level of its red,
// green and blue when its picture is marked as a mask: the same texel gives
// different coverage in the two cases.
struct MaskCase {
    const char* name;
    uint8_t grey;  // red, green and blue of every texel
    uint8_t alpha;
    bool mask;
    int red;  // the red sheet's share of the pixel, 0..255
    int blue; // the blue background's share
};

void PrintTo(const MaskCase& c, std::ostream* os)
{
    *os << c.name;
}

class RaytracerMaskTest : public RaytracerTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(RaytracerMaskTest, OpacityLayerReadsAlphaOrGreyLevel)
{
    const MaskCase& c = GetParam();
    zMObject* sheet = AddQuad("sheet", -1.0f, {1, 0, 0, 1}, 1.0f, 4.0f);
    scene->ambientColor = {1, 1, 1, 1};
    zTexture* texture = zTexture::New(&core, "opacity", 0, 0, false, 0.5f);
    ASSERT_NE(texture, nullptr);
    ASSERT_TRUE(texture->picture.AllocAs(2, 2, PixelFormatARGB32));
    const uint32_t texel = uint32_t(c.alpha) << 24 | uint32_t(c.grey) << 16 | uint32_t(c.grey) << 8 | c.grey;
    for (int i = 0; i < 4; ++i)
        std::memcpy(texture->picture.pixels + 4 * i, &texel, 4);
    texture->picture.SetMask(c.mask);
    zMaterial* material = sheet->object.geometry->materials[0];
    material->stages[0].active = 1;
    material->stages[0].channel = zMaterial::ChannelOpacity;
    material->stages[0].texture = texture;
    material->CheckStages();
    ASSERT_EQ(material->channels[zMaterial::ChannelOpacity], &material->stages[0]);

    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    const uint32_t pixel = Pixel(picture, 4, 4);
    EXPECT_NEAR(Red(pixel), c.red, 1);
    EXPECT_EQ(Green(pixel), 0);
    EXPECT_NEAR(Blue(pixel), c.blue, 1);
}

INSTANTIATE_TEST_SUITE_P(Layers, RaytracerMaskTest,
                         ::testing::Values(MaskCase{"AlphaOpaque", 64, 255, false, 255, 0},
                                           MaskCase{"MaskQuarterGrey", 64, 255, true, 64, 191},
                                           MaskCase{"AlphaClear", 255, 0, false, 0, 255},
                                           MaskCase{"MaskWhiteWithoutAlpha", 255, 0, true, 255, 0},
                                           MaskCase{"MaskBlack", 0, 255, true, 0, 255}),
                         [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

TEST_F(RaytracerTest, EdgePixelsAreSupersampled)
{
    AddQuad("wall", 0.0f, {1, 1, 1, 1});
    scene->ambientColor = {1, 1, 1, 1};
    scene->backgroundColor = {0, 0, 0, 1};
    zPicture sharp;
    ASSERT_TRUE(Trace(sharp, 33, 33));
    zPicture smooth;
    zRaytracerParameters p;
    ASSERT_TRUE(Trace(smooth, 33, 33, p));
    EXPECT_GT(tracer.GetSupersampledCount(), 0u);
    // Inside and outside stay as they were; some edge pixel becomes grey.
    EXPECT_EQ(Pixel(smooth, 16, 16), Pixel(sharp, 16, 16));
    EXPECT_EQ(Pixel(smooth, 1, 1), Pixel(sharp, 1, 1));
    // Column 27 straddles the quad's right edge (x = 1 at column 27.06):
    // of its 4 x 4 sub-samples, the first column of 4 lands on the quad.
    EXPECT_EQ(Red(Pixel(sharp, 27, 16)), 255);
    EXPECT_EQ(Red(Pixel(smooth, 27, 16)), 63) << "4 of 16 samples white";
    EXPECT_EQ(Red(Pixel(smooth, 28, 16)), 0);
}

TEST_F(RaytracerTest, ImageDoesNotDependOnTheThreadCount)
{
#ifndef _OPENMP
    GTEST_SKIP() << "built without OpenMP";
#else
    AddQuad("wall", 0.0f, {1, 1, 1, 1}, 1.0f, 4.0f);
    AddQuad("sheet", -1.0f, {0, 1, 0, 1}, 0.5f, 0.5f);
    AddPointLight({1, 1, -3});
    scene->ambientColor = {0.2f, 0.2f, 0.2f, 1.0f};
    zRaytracerParameters p;
    p.gi = 1;
    p.giRays = 3;
    p.aaJitter = 1;
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    zPicture one;
    ASSERT_TRUE(Trace(one, 24, 18, p));
    omp_set_num_threads(8);
    zPicture eight;
    ASSERT_TRUE(Trace(eight, 24, 18, p));
    omp_set_num_threads(saved);
    EXPECT_EQ(Bytes(one), Bytes(eight));
#endif
}

TEST_F(RaytracerTest, InterlacedFieldsAreWovenIntoTheFullFrame)
{
    AddQuad("wall", 0.0f, {1, 0.5f, 0, 1});
    AddPointLight({0.5f, 0.5f, -3});
    zPicture full;
    ASSERT_TRUE(Trace(full, 20, 16));

    zRaytracerParameters p = NoAA();
    p.interlace = 1;
    tracer.SetParameters(p);
    ASSERT_TRUE(tracer.SetScene(scene.get()));
    tracer.StartInterlacedSequence();
    zPicture frame;
    ASSERT_TRUE(tracer.Trace(frame, 20, 16));
    EXPECT_FALSE(frame.HasBuffer()) << "the first field yields no frame";
    ASSERT_TRUE(tracer.Trace(frame, 20, 16));
    ASSERT_EQ(frame.width, 20);
    ASSERT_EQ(frame.height, 16);
    EXPECT_EQ(Bytes(frame), Bytes(full));
}

TEST_F(RaytracerTest, RefusesWhatItCannotTrace)
{
    zPicture picture;
    zRaytracerParameters p = NoAA();
    p.interlace = 1;
    tracer.SetParameters(p);
    ASSERT_TRUE(tracer.SetScene(scene.get()));
    EXPECT_FALSE(tracer.Trace(picture, 640, 481));
    EXPECT_TRUE(Logged("Interlaced frame height must be a multiple of 2."));
    EXPECT_FALSE(picture.HasBuffer()) << "refused before allocating";

    tracer.SetParameters(NoAA());
    EXPECT_FALSE(tracer.Trace(picture, 0, 10));
    EXPECT_FALSE(tracer.Trace(picture, 10, -1));

    scene->SetCurrentCamera(nullptr);
    scene->currentCamera = nullptr;
    EXPECT_FALSE(tracer.Trace(picture, 4, 4));
    EXPECT_TRUE(Logged("no current camera"));

    zRaytracer fresh(&core);
    EXPECT_FALSE(fresh.Trace(picture, 4, 4));
    EXPECT_TRUE(Logged("No scene set to trace."));
}

TEST_F(RaytracerTest, MirrorReflectsWhatFacesIt)
{
    // A mirror at z = 0 reflects the camera's side, where an emissive quad hangs.
    zMObject* mirror = AddQuad("mirror", 0.0f, {0, 0, 0, 1}, 1.0f, 4.0f);
    mirror->object.geometry->materials[0]->reflection = 1.0f;
    zMObject* lamp = AddQuad("glow", -6.0f, {0, 0, 0, 1}, 1.0f, 10.0f);
    lamp->object.geometry->materials[0]->selfIllumination = {0, 1, 0, 1};
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    EXPECT_EQ(Pixel(picture, 4, 4), 0xFF00FF00u);
    zRaytracerParameters p = NoAA();
    p.reflections = 0;
    ASSERT_TRUE(Trace(picture, 8, 8, p));
    EXPECT_EQ(Green(Pixel(picture, 4, 4)), 0);
}

TEST_F(RaytracerTest, SkinnedGeometryIsTracedAsItsSkinDeformsIt)
{
    zMObject* wall = AddQuad("skin", 0.0f, {1, 1, 1, 1});
    scene->ambientColor = {1, 1, 1, 1};
    zGeometry* g = wall->object.geometry;
    g->skinWeights = new zSkinWeight[4];
    for (uint32_t v = 0; v < 4; ++v)
        g->skinWeights[v] = {{1.0f, 0.0f, 0.0f, 0.0f}, {0, 0, 0, 0}};
    // The only bone carries the skin 1.5 to the right.
    wall->object.boneCount = 1;
    wall->object.skinMatrices = new zMatrix4[1];
    wall->object.skinMatrices[0] = zMatrix4::TranslationMatrix({1.5f, 0, 0});
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 32, 32));
    EXPECT_EQ(Pixel(picture, 8, 16), 0xFF0000FFu) << "the skin moved away from the left";
    EXPECT_EQ(Pixel(picture, 28, 16), 0xFFFFFFFFu) << "and covers the right";
    EXPECT_FLOAT_EQ(g->vertices[0].x, -1.0f) << "the geometry itself is left alone";
}

TEST_F(RaytracerTest, ShaderMapMaterialsAreEvaluatedOnTheCpu)
{
    zMObject* wall = AddQuad("wall", 0.0f, {1, 0, 0, 1});
    zMaterial* m = wall->object.geometry->materials[0];
    m->flags &= ~zMaterial::FlagFixedFunction;
    scene->ambientColor = {1, 1, 1, 1};
    zPicture picture;
    // Without a graph the channels are the material's constants.
    ASSERT_TRUE(Trace(picture, 8, 8));
    EXPECT_EQ(Pixel(picture, 4, 4), 0xFFFF0000u);

    // Diffuse: a constant green plus the material's diffuse parameter;
    // opacity: a constant one half.
    m->shaderMap = new zShaderMap();
    auto* green = new zConstantShaderBlock();
    green->value[0] = 0.0f;
    green->value[1] = 1.0f;
    green->value[2] = 0.0f;
    green->kind = zShaderValue::Vector3;
    auto* add = new zAddShaderBlock();
    auto* parameter = new zMaterialParameterShaderBlock(0);
    ASSERT_TRUE(add->SetInput(0, green));
    ASSERT_TRUE(add->SetInput(1, parameter));
    m->shaderMap->roots[zShaderMap::Diffuse] = add;
    auto* half = new zConstantShaderBlock();
    half->value[0] = 0.5f;
    half->kind = zShaderValue::Float;
    m->shaderMap->roots[zShaderMap::Opacity] = half;
    ASSERT_TRUE(Trace(picture, 8, 8));
    // Half of (red + green) over the blue background.
    const uint32_t c = Pixel(picture, 4, 4);
    EXPECT_NEAR(Red(c), 127, 1);
    EXPECT_NEAR(Green(c), 127, 1);
    EXPECT_NEAR(Blue(c), 127, 1);
}

TEST_F(RaytracerTest, ShaderGraphSwizzleBuildAndClamp)
{
    zMObject* wall = AddQuad("wall", 0.0f, {1, 0, 0, 1});
    zMaterial* m = wall->object.geometry->materials[0];
    m->flags &= ~zMaterial::FlagFixedFunction;
    scene->ambientColor = {1, 1, 1, 1};
    m->shaderMap = new zShaderMap();
    // (0.2, 3, 0.6) clamped to [0, 1] then swizzled to (z, x, y) and built
    // into (x, 1, z): (0.6, 1, 1).
    auto* source = new zConstantShaderBlock();
    source->value[0] = 0.2f;
    source->value[1] = 3.0f;
    source->value[2] = 0.6f;
    source->kind = zShaderValue::Vector3;
    auto* lo = new zConstantShaderBlock();
    lo->kind = zShaderValue::Vector3;
    auto* hi = new zConstantShaderBlock();
    hi->value[0] = hi->value[1] = hi->value[2] = 1.0f;
    hi->kind = zShaderValue::Vector3;
    auto* clamp = new zClampShaderBlock();
    ASSERT_TRUE(clamp->SetInput(0, source));
    ASSERT_TRUE(clamp->SetInput(1, lo));
    ASSERT_TRUE(clamp->SetInput(2, hi));
    auto* swizzle = new zSwizzleShaderBlock(clamp, zSwizzleShaderBlock::SelectZ, zSwizzleShaderBlock::SelectX,
                                            zSwizzleShaderBlock::SelectY, zSwizzleShaderBlock::SelectNone);
    auto* build = new zBuildShaderBlock(swizzle, zBuildShaderBlock::ModeX, nullptr, zBuildShaderBlock::ModeOne,
                                        swizzle, zBuildShaderBlock::ModeZ, nullptr, zBuildShaderBlock::ModeOne);
    m->shaderMap->roots[zShaderMap::Diffuse] = build;
    zPicture picture;
    ASSERT_TRUE(Trace(picture, 8, 8));
    EXPECT_EQ(Pixel(picture, 4, 4), 0xFF99FFFFu);
}

// The counts a script sets multiply the rays of every pixel: each is held
// within its bound, and what is out of range is said.
TEST_F(RaytracerTest, RayCountsAreClampedToTheirBounds)
{
    struct Case {
        int32_t given;
        int32_t rays, depth, subdivision;
    };
    const Case cases[] = {
        {INT32_MAX, zRaytracer::MaxGIRays, zRaytracer::MaxGIDepth, zRaytracer::MaxAASubdivision},
        {INT32_MIN, 0, 0, 0},
        {-1, 0, 0, 0},
        {0, 0, 0, 0},
        {3, 3, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        zRaytracerParameters p = tracer.GetParameters();
        p.giRays = p.giDepth = p.aaSubdivision = c.given;
        const size_t warnings = Count("out of range");
        tracer.SetParameters(p);
        const zRaytracerParameters stored = tracer.GetParameters();
        EXPECT_EQ(stored.giRays, c.rays);
        EXPECT_EQ(stored.giDepth, c.depth);
        EXPECT_EQ(stored.aaSubdivision, c.subdivision);
        EXPECT_EQ(Count("out of range") - warnings, c.given == c.rays ? 0u : 3u);
    }
}

// The script functions, driven from a script that gets the core and the scene
// as globals.
class RaytracerScriptTest : public RaytracerTest {
protected:
    void SetUp() override
    {
        RaytracerTest::SetUp();
        sq_pushroottable(v);
        sq_pushstring(v, "g_engine", -1);
        SqPushSafePtr(v, &core, SqPtrEngine);
        sq_newslot(v, -3, SQFalse);
        sq_pushstring(v, "g_scene", -1);
        SqPushSafePtr(v, scene.get(), SqPtrScene);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }
    // A root-table slot the script set, as a bool.
    bool Global(const char* name)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        SQBool value = SQFalse;
        if (SQ_SUCCEEDED(sq_get(v, -2)))
            sq_getbool(v, -1, &value);
        sq_settop(v, 0);
        return value != SQFalse;
    }
};

TEST_F(RaytracerScriptTest, TracesTheSceneIntoATgaFile)
{
    AddQuad("wall", 0.0f, {1.0f, 0.0f, 0.0f, 1.0f});
    AddPointLight({0, 0, -3});
    ASSERT_TRUE(Load("trace.nut", R"(
        function Run() {
            local rt = EngineNewRaytracer(g_engine);
            RaytracerSetAntialias(rt, false, 4, 0.015, false);
            RaytracerSetGlobalIllum(rt, false, 4, 1);
            ::sceneSet <- RaytracerSetScene(rt, g_scene);
            ::written <- RaytracerTrace(rt, "frame.tga", 32, 24);
            RaytracerSetInterlace(rt, true, true);
            RaytracerStartInterlacedSequence(rt);
            ::odd <- RaytracerTrace(rt, "odd.tga", 32, 23);
            ::firstField <- RaytracerTrace(rt, "field.tga", 32, 24);
            ::secondField <- RaytracerTrace(rt, "woven.tga", 32, 24);
            RaytracerDeleteSelf(rt);
            ::nullScene <- RaytracerSetScene(rt, NullScene);
        }
    )"));
    sq_pushroottable(v);
    sq_pushstring(v, "NullScene", -1);
    SqPushSafePtr(v, nullptr, SqPtrScene);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    ASSERT_TRUE(Call("Run"));
    EXPECT_TRUE(Global("sceneSet"));
    EXPECT_TRUE(Global("written"));
    EXPECT_FALSE(Global("odd"));
    EXPECT_FALSE(Global("firstField")) << "the first field of a pair writes nothing";
    EXPECT_TRUE(Global("secondField"));
    EXPECT_FALSE(Global("nullScene"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("odd.tga")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("field.tga")));
    EXPECT_EQ(Count("RaytracerDeleteSelf() is now obsolete, you can remove this call."), 1u);

    // The file holds the same picture as a direct trace.
    zPicture direct;
    ASSERT_TRUE(Trace(direct, 32, 24));
    for (const char* name : {"frame.tga", "woven.tga"}) {
        zPicture loaded;
        ASSERT_TRUE(lowlevel_tga_load(dir.Path(name).c_str(), loaded)) << name;
        ASSERT_EQ(loaded.width, 32);
        ASSERT_EQ(loaded.height, 24);
        for (int32_t y = 0; y < 24; ++y)
            for (int32_t x = 0; x < 32; ++x)
                ASSERT_EQ(Pixel(loaded, x, y) & 0xFFFFFFu, Pixel(direct, x, y) & 0xFFFFFFu) << name << x << "," << y;
    }
}

TEST_F(RaytracerScriptTest, WrongHandleKindSuspendsTheScript)
{
    ASSERT_TRUE(Load("wrong.nut", R"(
        function Run() {
            RaytracerSetScene(g_scene, g_scene);
            ::after <- true;
        }
    )"));
    Call("Run");
    EXPECT_FALSE(Global("after"));
}
