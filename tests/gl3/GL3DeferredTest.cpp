// Frames drawn by the deferred frame on the software rasteriser: lit cubes,
// fog, bloom and depth of field, the light loop's edge cases, and the
// uniforms and samplers each pass hands its program (through a recording
// shim in front of the driver).

#include "GL3TestSupport.h"
#include "gl3/deferred/zGL3Shadow.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"

#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t Width = 96;
constexpr int32_t Height = 72;

// One face of a box: four corners wound clockwise as seen from outside (the
// engine's front faces), all with the face's normal.
void AddFace(std::vector<zVector>& vertices, std::vector<zVector>& normals, const zVector& centre,
             const zVector& normal, const zVector& up, float h)
{
    const zVector forward(-normal.x, -normal.y, -normal.z);
    const zVector right(up.y * forward.z - up.z * forward.y, up.z * forward.x - up.x * forward.z,
                        up.x * forward.y - up.y * forward.x);
    const float su[4] = {-1, -1, 1, 1};
    const float sv[4] = {-1, 1, 1, -1};
    for (int i = 0; i < 4; ++i) {
        vertices.emplace_back(centre.x + normal.x * h + (right.x * su[i] + up.x * sv[i]) * h,
                              centre.y + normal.y * h + (right.y * su[i] + up.y * sv[i]) * h,
                              centre.z + normal.z * h + (right.z * su[i] + up.z * sv[i]) * h);
        normals.push_back(normal);
    }
}

// A cube of half size h around the origin (its object's matrix places it),
// or only its -z face when single.
void FillBox(zGeometry& g, float h, bool single = false)
{
    std::vector<zVector> v, n;
    const zVector zero(0.0f, 0.0f, 0.0f);
    AddFace(v, n, zero, zVector(0, 0, -1), zVector(0, 1, 0), h);
    if (!single) {
        AddFace(v, n, zero, zVector(0, 0, 1), zVector(0, 1, 0), h);
        AddFace(v, n, zero, zVector(-1, 0, 0), zVector(0, 1, 0), h);
        AddFace(v, n, zero, zVector(1, 0, 0), zVector(0, 1, 0), h);
        AddFace(v, n, zero, zVector(0, 1, 0), zVector(0, 0, 1), h);
        AddFace(v, n, zero, zVector(0, -1, 0), zVector(0, 0, 1), h);
    }
    const int32_t count = int32_t(v.size());
    g.vertexCount = uint32_t(count);
    g.vertices = new zVector[size_t(count)];
    g.vertexNormals = new zVector[size_t(count)];
    g.bindingCount = uint32_t(count);
    g.bindingIndices = new int32_t[size_t(count)];
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[size_t(count)];
    for (int32_t i = 0; i < count; ++i) {
        g.vertices[i] = v[size_t(i)];
        g.vertexNormals[i] = n[size_t(i)];
        g.bindingIndices[i] = i;
        g.uvSets[0][i] = zUV{(i % 4) >= 2 ? 1.0f : 0.0f, (i % 4 == 1 || i % 4 == 2) ? 1.0f : 0.0f};
    }
    g.polygonCount = uint32_t(count / 4);
    g.polygons = new zPolygon[size_t(count / 4)];
    for (int32_t f = 0; f < count / 4; ++f) {
        g.polygons[f].vertexCount = 4;
        g.polygons[f].indices = g.bindingIndices + f * 4;
    }
    g.AllocateMaterials(1, true);
    g.materials[0]->name = "box";
}

// Bytes of a PNG (RGB, 8 bits) for looking at a frame by hand.
void WritePNG(const std::string& path, const std::vector<uint8_t>& rgb, int32_t width, int32_t height);

class DeferredScene : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        renderer->optionFlags |= zGL3Renderer::OptionUseFloatTarget;
        ASSERT_TRUE(Open(Width, Height));
        ASSERT_EQ(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
        camera = std::make_unique<zCamera>(&core);
        camera->UpdateWorldMatrix();
        source.ambient[0] = source.ambient[1] = source.ambient[2] = 0.15f;
        renderer->propertyCallback = &LightSource::Callback;
        renderer->propertyContext = &source;
    }
    void TearDown() override
    {
        objects.clear();
        lights.clear();
        GLRendererTest::TearDown();
    }

    zObject* MakeBox(const char* name, const zVector& at, const zVector& rotation, float h, zColor diffuse,
                     bool single = false)
    {
        zGeometry* g = zGeometry::New(&core, name);
        FillBox(*g, h, single);
        g->materials[0]->flags = zMaterial::FlagLit | zMaterial::FlagSmoothing;
        g->materials[0]->diffuse = diffuse;
        // As a material read from a file gets it: diffuse, normals, specular.
        g->materials[0]->shaderMap = g->materials[0]->AsShaderMap();
        g->Setup();
        auto object = std::make_unique<zObject>(&core);
        object->SetGeometry(g, false);
        object->position = at;
        object->rotation = rotation;
        object->UpdateWorldMatrix();
        objects.push_back(std::move(object));
        return objects.back().get();
    }

    zLight* MakeLight(int32_t type, const zVector& at, float range, float intensity = 1.0f)
    {
        auto light = std::make_unique<zLight>(&core);
        light->type = type;
        light->position = at;
        light->range = range;
        light->diffuseIntensity = intensity;
        light->UpdateWorldMatrix();
        renderer->SetupLight(light.get());
        lights.push_back(std::move(light));
        source.lights.push_back(lights.back().get());
        return lights.back().get();
    }

    void DrawFrame()
    {
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        for (auto& o : objects)
            o->PushToRenderer();
        renderer->RenderQueue();
    }

    std::vector<uint8_t> Frame()
    {
        DrawFrame();
        std::vector<uint8_t> image = ReadBack(Width, Height);
        if (const char* dump = std::getenv("TAVRIN_DUMP_FRAMES")) {
            const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
            WritePNG(std::string(dump) + "/" + info->name() + ".png", image, Width, Height);
        }
        return image;
    }

    void ProjectPoint(const zVector& p, int32_t& x, int32_t& y);

    static const uint8_t* Pixel(const std::vector<uint8_t>& image, int32_t x, int32_t y)
    {
        return &image[(size_t(y) * Width + x) * 3];
    }
    static int Brightness(const std::vector<uint8_t>& image, int32_t x, int32_t y)
    {
        const uint8_t* p = Pixel(image, x, y);
        return p[0] + p[1] + p[2];
    }

    // Against a reference image; a percent of the channels may differ.
    void ExpectReference(const std::vector<uint8_t>& image, const char* name)
    {
        ExpectReferenceImage(image, Width, Height, name, 6, Width * Height * 3 / 100);
    }

    std::vector<std::unique_ptr<zObject>> objects;
    std::vector<std::unique_ptr<zLight>> lights;
    std::unique_ptr<zCamera> camera;
    LightSource source;
};

void DeferredSceneProject(const zGL3Renderer& renderer, const zVector& p, int32_t& x, int32_t& y);

void DeferredScene::ProjectPoint(const zVector& p, int32_t& x, int32_t& y)
{
    DeferredSceneProject(*renderer, p, x, y);
}

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu)
{
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

void WritePNG(const std::string& path, const std::vector<uint8_t>& rgb, int32_t width, int32_t height)
{
    // Stored (uncompressed) deflate blocks keep this free of zlib.
    std::vector<uint8_t> raw;
    for (int32_t row = height - 1; row >= 0; --row) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + ptrdiff_t(row) * width * 3, rgb.begin() + ptrdiff_t(row + 1) * width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size(); at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + ptrdiff_t(at), raw.begin() + ptrdiff_t(at + n));
    }
    const uint32_t adler = (b << 16) | a;
    for (int s = 24; s >= 0; s -= 8)
        z.push_back(uint8_t(adler >> s));
    std::ofstream out(path, std::ios::binary);
    auto be = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.put(char(v >> s));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        be(uint32_t(data.size()));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        out.write(reinterpret_cast<const char*>(body.data()), std::streamsize(body.size()));
        be(Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
    };
    out.write("\x89PNG\r\n\x1a\n", 8);
    std::vector<uint8_t> header = {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
                                   uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8),
                                   uint8_t(height), 8, 2, 0, 0, 0};
    chunk("IHDR", header);
    chunk("IDAT", z);
    chunk("IEND", {});
}

TEST_F(DeferredScene, APointLightLightsTheCubeFacesTurnedToIt)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 10.0f, 1.5f);
    const std::vector<uint8_t> image = Frame();
    ExpectReference(image, "deferred_point_cube");
}

// The frame a scene gets on the deferred frame vs. its reference images.
TEST_F(DeferredScene, ASpotLightLightsOnlyItsCone)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.9f, 0.9f, 1.0f});
    MakeBox("wall", zVector(0.0f, 0.0f, 9.0f), zVector(0.0f, 0.0f, 0.0f), 3.0f, {0.8f, 0.8f, 0.8f, 1.0f}, true);
    zLight* spot = MakeLight(zLight::TypeSpot, zVector(1.0f, 0.5f, 0.0f), 20.0f, 2.0f);
    spot->coneAngle = 0.15f;
    spot->edgeAngle = 0.1f;
    spot->diffuse = {1.0f, 0.8f, 0.5f, 1.0f};
    spot->UpdateWorldMatrix();
    const std::vector<uint8_t> image = Frame();
    ExpectReference(image, "deferred_spot_cube");
    // Lit inside the cone on the wall behind, dark far outside it.
    int32_t x = 0, y = 0;
    ProjectPoint(zVector(1.0f, 0.5f, 6.0f), x, y);
    EXPECT_GT(Brightness(image, x, y), 200);
    ProjectPoint(zVector(-2.5f, -2.5f, 6.0f), x, y);
    EXPECT_LT(Brightness(image, x, y), 120);
}

TEST_F(DeferredScene, FogCoversTheFarAndKeepsTheNear)
{
    MakeBox("near", zVector(-1.0f, 0.0f, 3.0f), zVector(0.3f, 0.4f, 0.0f), 0.5f, {0.9f, 0.9f, 0.9f, 1.0f});
    MakeBox("far", zVector(1.5f, 0.0f, 12.0f), zVector(0.3f, 0.4f, 0.0f), 1.5f, {0.9f, 0.9f, 0.9f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(0.0f, 2.0f, 0.0f), 0.0f, 1.0f);
    const float blue[4] = {0.2f, 0.3f, 0.8f, 1.0f};
    renderer->SetFog(true, blue, 4.0f, 14.0f);
    const std::vector<uint8_t> image = Frame();
    ExpectReference(image, "deferred_fog");
    int32_t x = 0, y = 0;
    ProjectPoint(zVector(1.5f, 0.0f, 10.5f), x, y);
    const uint8_t* far = Pixel(image, x, y);
    EXPECT_GT(far[2], far[0] + 40) << "the far cube takes the fog's blue";
    ProjectPoint(zVector(-1.0f, 0.0f, 2.5f), x, y);
    const uint8_t* near = Pixel(image, x, y);
    EXPECT_LT(std::abs(int(near[2]) - int(near[0])), 30) << "the near cube keeps its grey";
}

TEST_F(DeferredScene, BloomSpreadsABrightLightBeyondTheLitFace)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.0f, 0.0f, 0.0f), 1.0f, {1.0f, 1.0f, 1.0f, 1.0f}, true);
    MakeLight(zLight::TypePoint, zVector(0.0f, 0.0f, 2.0f), 0.0f, 6.0f);
    const std::vector<uint8_t> plain = Frame();
    renderer->effectFlags |= zGL3Renderer::EffectBloom;
    const std::vector<uint8_t> image = Frame();
    ExpectReference(image, "deferred_bloom");
    // Just outside the face: black without bloom, glowing with it.
    int32_t x = 0, y = 0;
    ProjectPoint(zVector(1.25f, 0.0f, 4.0f), x, y);
    EXPECT_LT(Brightness(plain, x, y), 10);
    EXPECT_GT(Brightness(image, x, y), Brightness(plain, x, y) + 30);
}

// Where a world point lands in the window (camera at the origin).
void DeferredSceneProject(const zGL3Renderer& renderer, const zVector& p, int32_t& x, int32_t& y)
{
    const float* m = renderer.projectionMatrix.m;
    const float cx = m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3];
    const float cy = m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7];
    const float cw = m[12] * p.x + m[13] * p.y + m[14] * p.z + m[15];
    x = std::clamp(int32_t((cx / cw + 1.0f) * 0.5f * Width), 0, Width - 1);
    y = std::clamp(int32_t((cy / cw + 1.0f) * 0.5f * Height), 0, Height - 1);
}

// How one light meets the cube's face towards the camera: its volume seen
// from outside or inside, a range of 0 (the whole screen), no callback.
struct LightingCase {
    const char* name;
    int32_t type;
    zVector at;
    float range;
    float volumeRange;
    bool callback;
    bool lit;
};

void PrintTo(const LightingCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeferredLighting : public DeferredScene, public ::testing::WithParamInterface<LightingCase> {};

TEST_P(DeferredLighting, TheFaceIsLitOrKeepsTheAmbientTerm)
{
    const LightingCase& c = GetParam();
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.0f, 0.0f, 0.0f), 1.0f, {1.0f, 1.0f, 1.0f, 1.0f}, true);
    zLight* light = MakeLight(c.type, c.at, c.range, 1.0f);
    light->zFar = c.volumeRange;
    light->UpdateWorldMatrix();
    if (!c.callback)
        renderer->propertyCallback = nullptr;
    const std::vector<uint8_t> image = Frame();
    int32_t x = 0, y = 0;
    DeferredSceneProject(*renderer, zVector(0.0f, 0.0f, 4.0f), x, y);
    // Ambient 0.15 on white, about 38 a channel; without a callback GL's
    // own global ambient of 0.2.
    const int ambient = c.callback ? 3 * 38 : 3 * 51;
    if (c.lit)
        EXPECT_GT(Brightness(image, x, y), ambient + 150);
    else
        EXPECT_NEAR(Brightness(image, x, y), ambient, 9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeferredLighting,
    ::testing::Values(
        LightingCase{"PointSeenFromOutsideItsVolume", zLight::TypePoint, zVector(0, 0, 3), 6.0f, 2.5f, true, true},
        LightingCase{"PointWithTheCameraInsideItsVolume", zLight::TypePoint, zVector(0, 0, 3), 6.0f, 500.0f, true,
                     true},
        LightingCase{"PointWithRangeZeroLightsTheWholeScreen", zLight::TypePoint, zVector(0, 0, 3), 0.0f, 0.01f,
                     true, true},
        LightingCase{"PointWhoseVolumeMissesTheFace", zLight::TypePoint, zVector(0, 0, -8), 20.0f, 1.0f, true,
                     false},
        LightingCase{"SpotTowardsTheFace", zLight::TypeSpot, zVector(0, 0, 1), 10.0f, 500.0f, true, true},
        LightingCase{"SpotWithTheCameraInsideItsCone", zLight::TypeSpot, zVector(0, 0, -2), 10.0f, 500.0f, true,
                     true},
        LightingCase{"SpotPointingAwayFromTheFace", zLight::TypeSpot, zVector(0, 0, 8), 10.0f, 500.0f, true,
                     false},
        LightingCase{"ParallelLightsTheWholeScreen", zLight::TypeParallel, zVector(0, 0, -5), 0.0f, 500.0f, true,
                     true},
        LightingCase{"WithoutACallbackOnlyTheAmbientTerm", zLight::TypePoint, zVector(0, 0, 3), 0.0f, 500.0f,
                     false, false}),
    [](const ::testing::TestParamInfo<LightingCase>& info) { return std::string(info.param.name); });

// The frame's post effects: which image reaches the output.
TEST_F(DeferredScene, WithoutPostEffectsTheComposeBufferIsWhatTheOutputShows)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 0.0f, 1.0f);
    const std::vector<uint8_t> image = Frame();
    std::vector<float> compose(size_t(Width) * Height * 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(renderer->composeMap->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, compose.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    int differing = 0;
    for (size_t i = 0; i < size_t(Width) * Height; ++i)
        for (int k = 0; k < 3; ++k) {
            const int want = int(std::lround(std::clamp(compose[i * 4 + size_t(k)], 0.0f, 1.0f) * 255.0f));
            differing += std::abs(int(image[i * 3 + size_t(k)]) - want) > 2 ? 1 : 0;
        }
    EXPECT_EQ(differing, 0);
}

TEST_F(DeferredScene, DepthOfFieldWithoutAFocalDistanceLeavesTheImage)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 0.0f, 1.0f);
    const std::vector<uint8_t> plain = Frame();
    renderer->effectFlags |= zGL3Renderer::EffectDepthOfField;
    renderer->dofFStop = 2.0f;
    renderer->dofFocalDistance = 0.0f;
    EXPECT_EQ(Frame(), plain);
    // With a focal distance the far edges blur: the image changes.
    renderer->dofFocalDistance = 1.0f;
    EXPECT_NE(Frame(), plain);
}

TEST_F(DeferredScene, WithDepthOfFieldAndBloomTheBloomResultIsShown)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.0f, 0.0f, 0.0f), 1.0f, {1.0f, 1.0f, 1.0f, 1.0f}, true);
    MakeLight(zLight::TypePoint, zVector(0.0f, 0.0f, 2.0f), 0.0f, 6.0f);
    renderer->effectFlags |= zGL3Renderer::EffectDepthOfField;
    renderer->dofFStop = 2.0f;
    renderer->dofFocalDistance = 4.0f;
    const std::vector<uint8_t> focused = Frame();
    renderer->effectFlags |= zGL3Renderer::EffectBloom;
    const std::vector<uint8_t> image = Frame();
    int32_t x = 0, y = 0;
    DeferredSceneProject(*renderer, zVector(1.25f, 0.0f, 4.0f), x, y);
    EXPECT_GT(Brightness(image, x, y), Brightness(focused, x, y) + 30);
}


// A recording shim in front of the driver: which program each uniform was
// looked up in, and the integer (sampler unit) and float values it received.
struct UniformRecorder {
    struct Entry {
        std::string program;
        std::string name;
        bool hasInt = false;
        int value = 0;
        float number = 0.0f;
    };
    static inline std::vector<Entry> entries;
    static inline std::map<GLhandleARB, std::string> names;
    static inline GLhandleARB current = 0;
    static inline std::map<std::pair<GLhandleARB, GLint>, std::string> locations;
    static inline PFNGLUSEPROGRAMOBJECTARBPROC realUse = nullptr;
    static inline PFNGLGETUNIFORMLOCATIONARBPROC realLocation = nullptr;
    static inline PFNGLUNIFORM1IARBPROC realInt = nullptr;
    static inline PFNGLUNIFORM1FARBPROC realFloat = nullptr;

    static void Install()
    {
        entries.clear();
        names.clear();
        locations.clear();
        // The driver's own functions are found once a context exists.
        realUse = nullptr;
        realLocation = nullptr;
        realInt = nullptr;
        realFloat = nullptr;
        FakeDriver::overrides["glUseProgramObjectARB"] = reinterpret_cast<void*>(&Use);
        FakeDriver::overrides["glGetUniformLocationARB"] = reinterpret_cast<void*>(&Location);
        FakeDriver::overrides["glUniform1iARB"] = reinterpret_cast<void*>(&Int);
        FakeDriver::overrides["glUniform1fARB"] = reinterpret_cast<void*>(&Float);
    }
    static void Name(zRenderer& renderer)
    {
        for (auto* node = renderer.shaders.GetFirst(); node != nullptr; node = node->next) {
            auto* record = static_cast<zGL3ShaderRecord*>(node);
            names[record->program] = record->id.Get();
        }
    }
    static void Resolve()
    {
        if (realUse != nullptr)
            return;
        realUse = reinterpret_cast<PFNGLUSEPROGRAMOBJECTARBPROC>(PlatformGetGLProcAddress("glUseProgramObjectARB"));
        realLocation =
            reinterpret_cast<PFNGLGETUNIFORMLOCATIONARBPROC>(PlatformGetGLProcAddress("glGetUniformLocationARB"));
        realInt = reinterpret_cast<PFNGLUNIFORM1IARBPROC>(PlatformGetGLProcAddress("glUniform1iARB"));
        realFloat = reinterpret_cast<PFNGLUNIFORM1FARBPROC>(PlatformGetGLProcAddress("glUniform1fARB"));
    }
    static void GLAPIENTRY Use(GLhandleARB program)
    {
        Resolve();
        current = program;
        realUse(program);
    }
    static GLint GLAPIENTRY Location(GLhandleARB program, const GLcharARB* name)
    {
        Resolve();
        const GLint location = realLocation(program, name);
        entries.push_back({names.count(program) != 0 ? names[program] : std::string(), name});
        if (location >= 0)
            locations[{program, location}] = name;
        return location;
    }
    static Entry* Last(GLint location)
    {
        auto it = locations.find({current, location});
        if (it == locations.end())
            return nullptr;
        for (auto e = entries.rbegin(); e != entries.rend(); ++e)
            if (e->name == it->second)
                return &*e;
        return nullptr;
    }
    static void GLAPIENTRY Int(GLint location, GLint value)
    {
        Resolve();
        if (Entry* e = Last(location)) {
            e->hasInt = true;
            e->value = value;
        }
        realInt(location, value);
    }
    static void GLAPIENTRY Float(GLint location, GLfloat value)
    {
        Resolve();
        if (Entry* e = Last(location))
            e->number = value;
        realFloat(location, value);
    }
    // The last entry of the uniform in the program, or null.
    static const Entry* Find(const std::string& program, const std::string& name)
    {
        for (auto e = entries.rbegin(); e != entries.rend(); ++e)
            if (e->program == program && e->name == name)
                return &*e;
        return nullptr;
    }
};

class DeferredBindings : public DeferredScene {
protected:
    void SetUp() override
    {
        UseSoftwareGL();
        FakeDriver::overrides.clear();
        UniformRecorder::Install();
        GLRendererTest::SetUp();
        // GLRendererTest::SetUp cleared the overrides: put the shim back.
        UniformRecorder::Install();
        renderer->optionFlags |= zGL3Renderer::OptionUseFloatTarget;
        ASSERT_TRUE(Open(Width, Height));
        UniformRecorder::Name(*renderer);
        camera = std::make_unique<zCamera>(&core);
        camera->UpdateWorldMatrix();
        renderer->propertyCallback = &LightSource::Callback;
        renderer->propertyContext = &source;
        MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    }
};

// The sampler units and values each pass gives its program.
struct Binding {
    const char* program;
    const char* uniform;
    int unit; // -1: a float value instead
    float value;
};

void ExpectBindings(const std::vector<Binding>& bindings)
{
    for (const Binding& b : bindings) {
        const UniformRecorder::Entry* e = UniformRecorder::Find(b.program, b.uniform);
        ASSERT_NE(e, nullptr) << b.program << " never set " << b.uniform;
        if (b.unit >= 0) {
            EXPECT_TRUE(e->hasInt) << b.program << " " << b.uniform;
            EXPECT_EQ(e->value, b.unit) << b.program << " " << b.uniform;
        } else {
            EXPECT_NEAR(e->number, b.value, 1e-5f) << b.program << " " << b.uniform;
        }
    }
}

TEST_F(DeferredBindings, ScreenPassesBindTheirBuffersAndValues)
{
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 10.0f, 1.0f);
    const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    renderer->SetFog(true, grey, 2.0f, 12.0f);
    renderer->effectFlags |= zGL3Renderer::EffectAmbientOcclusion | zGL3Renderer::EffectMotionBlur |
        zGL3Renderer::EffectBloom | zGL3Renderer::EffectDepthOfField;
    renderer->dofFStop = 2.0f;
    renderer->dofFocalDistance = 4.0f;
    DrawFrame();
    ExpectBindings({
        {"core::ambient", "gbuffer1", 0, 0},
        {"core::ambient", "gbuffer3", 1, 0},
        {"core::fog", "gbuffer0", 0, 0},
        {"core::fog", "near", -1, 2.0f},
        {"core::fog", "inverse_range", -1, 0.1f},
        {"core::ssao", "nrm_dpth", 1, 0},
        {"core::ssao", "noise_texture", 2, 0},
        {"core::ssao", "framebuffer_fx_scaler", -1, 2.0f},
        {"core::ssao", "view_depth_offset", -1, camera->GetZNear()},
        {"core::motionblur", "velocity_map", 1, 0},
        {"core::motionblur", "pp_input", 2, 0},
        {"core::hdr_no_ldr", "source", 0, 0},
        {"core::h_gaussian_blur", "source", 0, 0},
        {"core::v_gaussian_blur", "source", 0, 0},
        {"core::h_gaussian_blur", "blur_size", -1, 24.0f / float(Height)},
        {"core::v_gaussian_blur", "blur_size", -1, 24.0f / float(Width)},
        {"core::h_dof", "source", 0, 0},
        {"core::h_dof", "nrm_dpth", 1, 0},
        {"core::h_dof", "blur_size", -1, 20.0f * float(Height) / float(Width)},
        {"core::v_dof", "blur_size", -1, 20.0f},
        {"core::v_dof", "focal_distance", -1, 4.0f},
        {"core::pointlight", "gbuffer0", 0, 0},
        {"core::pointlight", "gbuffer1", 1, 0},
        {"core::pointlight", "range", -1, 10.0f},
        {"core::pointlight", "view_depth_offset", -1, camera->GetZNear()},
    });
}

TEST_F(DeferredBindings, LightPassesBindShadowMapsAndSpotValues)
{
    renderer->effectFlags |= zGL3Renderer::EffectShadowMapping | zGL3Renderer::EffectLinearShadow;
    zLight* spot = MakeLight(zLight::TypeSpot, zVector(0.0f, 0.0f, 1.0f), 10.0f, 1.0f);
    spot->shadow = zLight::ShadowMap;
    spot->coneAngle = 0.3f;
    spot->edgeAngle = 0.2f;
    spot->shadowBias = 0.02f;
    renderer->UpdateLight(spot);
    zLight* point = MakeLight(zLight::TypePoint, zVector(0.0f, 2.0f, 3.0f), 10.0f, 1.0f);
    point->shadow = zLight::ShadowMap;
    renderer->UpdateLight(point);
    zLight* sun = MakeLight(zLight::TypeParallel, zVector(0.0f, 5.0f, 0.0f), 0.0f, 1.0f);
    sun->shadow = zLight::ShadowMap;
    renderer->UpdateLight(sun);
    // The shadow pass makes these on first use; made here the light pass
    // binds them whatever that pass does.
    auto* pointPrograms = static_cast<zGL3LightPrograms*>(point->rendererData);
    auto* sunPrograms = static_cast<zGL3LightPrograms*>(sun->rendererData);
    if (pointPrograms->cube == nullptr)
        pointPrograms->cube = new CubeShadowStructure;
    if (sunPrograms->pssm == nullptr)
        sunPrograms->pssm = new PSSMStructure;
    for (int i = 0; i < 6; ++i)
        sunPrograms->pssm->splits[i].sliceDistance = float(i + 1) * 10.0f;
    DrawFrame();
    EXPECT_EQ(renderer->statistics[zRenderer::StatLightsProcessed], 3u);
    ExpectBindings({
        {"core::spotlight_shadowmap", "gbuffer2", 2, 0},
        {"core::spotlight_shadowmap", "light_view_depth_texture", 3, 0},
        {"core::spotlight_shadowmap", "spot_cone_angle", -1, std::cos(0.3f)},
        {"core::spotlight_shadowmap", "spot_edge_angle", -1, std::cos(0.5f)},
        {"core::spotlight_shadowmap", "shadow_bias", -1, 0.02f},
        {"core::pointlight_shadowmap", "psm_0", 3, 0},
        {"core::pointlight_shadowmap", "psm_5", 8, 0},
        {"core::linearlight_pssm", "pssm_0", 3, 0},
        {"core::linearlight_pssm", "pssm_5", 8, 0},
        // The shadow pass writes the splits before the light is drawn.
        {"core::linearlight_pssm", "pssm_0_slice_distance", -1,
         ComputeGL3ShadowSliceDistance(camera->zNear, sun->shadowRange, sun->shadowDistribution, 0)},
        {"core::linearlight_pssm", "pssm_5_slice_distance", -1,
         ComputeGL3ShadowSliceDistance(camera->zNear, sun->shadowRange, sun->shadowDistribution, 5)},
    });
    for (const char* name : {"psm_0_projection_matrix", "psm_5_projection_matrix", "view_to_light_matrix"})
        EXPECT_NE(UniformRecorder::Find("core::pointlight_shadowmap", name), nullptr) << name;
    EXPECT_NE(UniformRecorder::Find("core::spotlight_shadowmap", "light_projection_matrix"), nullptr);
    EXPECT_NE(UniformRecorder::Find("core::linearlight_pssm", "pssm_3_projection_matrix"), nullptr);
}


// Which batches each queue pass draws, by material kind: shader-map passes
// take opaque programmable materials, the forward pass fixed-function ones,
// the back-to-front pass transparent ones; the velocity pass has no map.
struct PassCase {
    const char* name;
    int32_t pass;
    uint32_t opaque;
    uint32_t fixedFunction;
    uint32_t transparent;
};

void PrintTo(const PassCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeferredPasses : public DeferredScene, public ::testing::WithParamInterface<PassCase> {};

TEST_P(DeferredPasses, DrawTheirOwnMaterials)
{
    const PassCase& c = GetParam();
    zObject* kinds[3] = {
        MakeBox("opaque", zVector(-1.5f, 0.0f, 5.0f), zVector(0, 0, 0), 0.5f, {1, 1, 1, 1}),
        MakeBox("fixed", zVector(0.0f, 0.0f, 5.0f), zVector(0, 0, 0), 0.5f, {1, 1, 1, 1}),
        MakeBox("glass", zVector(1.5f, 0.0f, 5.0f), zVector(0, 0, 0), 0.5f, {1, 1, 1, 0.5f}),
    };
    zMaterial* fixed = kinds[1]->geometry->materials[0];
    fixed->flags |= zMaterial::FlagFixedFunction;
    fixed->Update();
    zMaterial* glass = kinds[2]->geometry->materials[0];
    glass->Update();
    ASSERT_EQ(glass->transparent, 1);
    renderer->camera = camera.get();
    renderer->ApplyCamera();
    const uint32_t expected[3] = {c.opaque, c.fixedFunction, c.transparent};
    for (int k = 0; k < 3; ++k) {
        renderer->ResetItemStack();
        kinds[k]->PushToRenderer();
        renderer->SortItemStack();
        renderer->CullItemStack(false);
        renderer->statistics[zRenderer::StatListsDrawn] = 0;
        renderer->WalkQueue(c.pass);
        static const char* const names[3] = {"opaque", "fixed-function", "transparent"};
        EXPECT_EQ(renderer->statistics[zRenderer::StatListsDrawn], expected[k]) << names[k];
    }
    renderer->ResetTextureUnits(0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(Table, DeferredPasses,
                         ::testing::Values(PassCase{"FixedOpaque", 0, 1, 1, 0}, PassCase{"BackToFront", 1, 0, 0, 1},
                                           PassCase{"DepthNormal", 2, 1, 0, 0}, PassCase{"Attributes", 3, 1, 0, 0},
                                           PassCase{"Forward", 4, 0, 1, 0}, PassCase{"Velocity", 5, 0, 0, 0},
                                           PassCase{"ShadowCasters", 6, 1, 1, 0}),
                         [](const ::testing::TestParamInfo<PassCase>& info) { return std::string(info.param.name); });

// A skinned batch: one palette matrix per entry, the object's bone for an
// index below its bone count and the identity beyond; the map's texture goes
// to its slot with the slot's wrap mode.
TEST_F(DeferredScene, TheShaderMapRouteLoadsThePaletteAndTheMapsTextures)
{
    zMaterial material(&core);
    material.flags |= zMaterial::FlagSkinned | zMaterial::FlagLit;
    material.shaderMap = new zShaderMap;
    zTexture* wall = zTexture::New(&core, "wall", 0, 0, false, 0.5f);
    wall->picture.AllocAs(4, 4, PixelFormatABGR32);
    ASSERT_TRUE(renderer->SetupTexture(wall));
    auto* texture = new zTextureShaderBlock;
    texture->texture = wall;
    auto* sampler = new zSampler2DShaderBlock;
    sampler->wrapU = 0;
    sampler->wrapV = 1;
    sampler->SetInput(0, texture);
    sampler->SetInput(1, new zUVStreamShaderBlock(0));
    material.shaderMap->roots[zShaderMap::Diffuse] = sampler;
    ASSERT_TRUE(renderer->SetupMaterial(&material));
    auto* programs = static_cast<zGL3MaterialPrograms*>(material.rendererData);
    ASSERT_NE(programs->attributeMap, nullptr);
    const CompiledRenderMap* map = programs->attributeMap;
    ASSERT_GE(map->program->skinIdLocation, 0);

    zObject object(&core);
    object.boneCount = 2;
    object.skinMatrices = new zMatrix4[2];
    object.skinMatrices[1].m[3] = 7.0f; // a translation of bone 1
    object.skinMatrices[0].m[7] = 3.0f;
    zGL3Batch batch;
    batch.boneCount = 3;
    batch.boneIndices = 0;
    batch.boneWeights = 0;
    batch.uvSets[0] = 0;
    uint16_t ids[3] = {1, 0, 9};
    float palette[48] = {};
    batch.boneIds = ids;
    batch.skinMatrices = palette;
    renderer->DrawShaderMapBatch(&object, batch, &material, map, GL3PassAttributes);
    batch.boneIds = nullptr;
    batch.skinMatrices = nullptr;
    delete[] object.skinMatrices;
    object.skinMatrices = nullptr;
    object.boneCount = 0;

    // The uploaded palette, read back from the program (GLSL order).
    const GLhandleARB program = map->program->program;
    auto read = [&](const char* name, float* out) {
        const GLint location = renderer->glGetUniformLocation_(program, name);
        ASSERT_GE(location, 0) << name;
        using Get = void (*)(GLhandleARB, GLint, GLfloat*);
        reinterpret_cast<Get>(PlatformGetGLProcAddress("glGetUniformfvARB"))(program, location, out);
    };
    float m[16];
    read("skin_mtx[0]", m);
    // Transposed on the way: the engine's m[3] lands in GLSL column 3, row 0.
    EXPECT_FLOAT_EQ(m[12], 7.0f);
    EXPECT_FLOAT_EQ(m[0], 1.0f);
    read("skin_mtx[1]", m);
    EXPECT_FLOAT_EQ(m[13], 3.0f);
    read("skin_mtx[2]", m);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << "entry " << i << " of the identity";

    // The texture slot: its sampler names unit 0, and the unit's wrap modes.
    ASSERT_GE(map->textures[0].location, 0);
    EXPECT_EQ(map->textures[0].texture, wall);
    GLint unit = -1;
    using GetI = void (*)(GLhandleARB, GLint, GLint*);
    reinterpret_cast<GetI>(PlatformGetGLProcAddress("glGetUniformivARB"))(program, map->textures[0].location, &unit);
    EXPECT_EQ(unit, 0);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(wall->rendererData)->name);
    GLint wrapS = 0, wrapT = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrapS, GL_CLAMP_TO_EDGE);
    EXPECT_EQ(wrapT, GL_REPEAT);
    // Everything the route turned on is off again.
    for (int32_t i = 0; i < zGL3Renderer::TextureUnits; ++i)
        EXPECT_EQ(renderer->GetTextureUnitState(i), 0u) << "unit " << i;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    renderer->FreeMaterial(&material);
    renderer->FreeTexture(wall);
    delete wall;
}


TEST_F(DeferredScene, ARenderTargetTakesTheComposedImage)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.0f, 0.0f, 0.0f), 1.0f, {1.0f, 1.0f, 1.0f, 1.0f}, true);
    MakeLight(zLight::TypePoint, zVector(0.0f, 0.0f, 2.0f), 0.0f, 1.0f);
    const std::vector<uint8_t> window = Frame();
    zTexture* target = renderer->NewRenderTexture("target", Width, Height, 0, false);
    ASSERT_NE(target, nullptr);
    renderer->renderTarget = target;
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    renderer->camera = camera.get();
    renderer->ApplyCamera();
    renderer->ResetItemStack();
    for (auto& o : objects)
        o->PushToRenderer();
    renderer->RenderQueue();
    renderer->renderTarget = nullptr;
    std::vector<uint8_t> texels(size_t(Width) * Height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(target->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    int differing = 0;
    for (size_t i = 0; i < texels.size(); ++i)
        differing += std::abs(int(texels[i]) - int(window[i])) > 2 ? 1 : 0;
    EXPECT_EQ(differing, 0) << "the target holds the frame the window showed";
    // The window keeps what it had.
    const std::vector<uint8_t> after = ReadBack(Width, Height);
    EXPECT_EQ(Pixel(after, Width / 2, Height / 2)[2], 255);
    renderer->FreeTexture(target);
    delete target;
}

TEST_F(DeferredScene, TheDebugOverlayShowsTheAttributeBuffers)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.0f, 0.0f, 0.0f), 2.0f, {1.0f, 0.0f, 0.0f, 1.0f}, true);
    MakeLight(zLight::TypePoint, zVector(0.0f, 0.0f, 2.0f), 0.0f, 0.2f);
    const std::vector<uint8_t> plain = Frame();
    renderer->optionFlags |= zGL3Renderer::OptionEnableDebug;
    const std::vector<uint8_t> debug = Frame();
    // The diffuse buffer's quad spans (-0.9, -0.2) to (-0.4, 0.3): its middle
    // shows the red face at full strength, unlit.
    const int32_t x = int32_t((-0.65f + 1.0f) * 0.5f * Width);
    const int32_t y = int32_t((0.05f + 1.0f) * 0.5f * Height);
    EXPECT_GT(Pixel(debug, x, y)[0], 240);
    EXPECT_LT(Pixel(debug, x, y)[1], 10);
    EXPECT_LT(Pixel(plain, x, y)[0], 150);
}

TEST_F(DeferredScene, FramebufferAsTextureCopiesTheLitImageIntoAttributeThree)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 0.0f, 1.0f);
    renderer->effectFlags |= zGL3Renderer::EffectFramebufferAsTexture;
    DrawFrame();
    auto read = [&](zTexture* texture) {
        std::vector<float> texels(size_t(Width) * Height * 4);
        glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(texture->rendererData)->name);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return texels;
    };
    const std::vector<float> compose = read(renderer->composeMap);
    const std::vector<float> copy = read(renderer->attrMaps[3]);
    int differing = 0;
    float brightest = 0.0f;
    for (size_t i = 0; i < compose.size(); i += 4)
        for (size_t k = 0; k < 3; ++k) {
            differing += std::fabs(compose[i + k] - copy[i + k]) > 0.01f ? 1 : 0;
            brightest = std::max(brightest, copy[i + k]);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(brightest, 0.5f);
}

TEST_F(DeferredScene, AVolumetricSpotLightsTheAirInItsCone)
{
    MakeBox("wall", zVector(0.0f, 0.0f, 30.0f), zVector(0.0f, 0.0f, 0.0f), 1.0f, {1.0f, 1.0f, 1.0f, 1.0f}, true);
    zLight* spot = MakeLight(zLight::TypeSpot, zVector(0.0f, 0.0f, 1.0f), 20.0f, 1.0f);
    spot->coneAngle = 0.3f;
    spot->edgeAngle = 0.1f;
    spot->volumetricThickness = 0.2f;
    spot->UpdateWorldMatrix();
    const std::vector<uint8_t> plain = Frame();
    spot->volumetric = 1;
    renderer->UpdateLight(spot);
    ASSERT_NE(static_cast<zGL3LightPrograms*>(spot->rendererData)->volumetricProgram, nullptr);
    const std::vector<uint8_t> lit = Frame();
    // Beside the wall, inside the cone: empty space that the volume lights.
    int32_t x = 0, y = 0;
    ProjectPoint(zVector(1.6f, 0.0f, 8.0f), x, y);
    EXPECT_GT(Brightness(lit, x, y), Brightness(plain, x, y) + 30);
    // Well outside the cone nothing changes.
    ProjectPoint(zVector(-6.0f, -4.0f, 8.0f), x, y);
    EXPECT_EQ(Brightness(lit, x, y), Brightness(plain, x, y));
    // Drawn at half resolution and added on: the same light in the air.
    renderer->effectFlags |= zGL3Renderer::EffectLowResolutionFx;
    const std::vector<uint8_t> low = Frame();
    ProjectPoint(zVector(1.6f, 0.0f, 8.0f), x, y);
    EXPECT_GT(Brightness(low, x, y), Brightness(plain, x, y) + 30);
    ProjectPoint(zVector(-6.0f, -4.0f, 8.0f), x, y);
    EXPECT_NEAR(Brightness(low, x, y), Brightness(plain, x, y), 3);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}


TEST_F(DeferredScene, MotionBlurOfAStillSceneKeepsTheImage)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 0.0f, 1.0f);
    const std::vector<uint8_t> plain = Frame();
    // Whatever the velocity map held before, a frame starts it at rest.
    const std::vector<float> noise(size_t(1024) * 1024 * 4, 0.3f);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(renderer->velocityMap->rendererData)->name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1024, 1024, GL_RGBA, GL_FLOAT, noise.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    renderer->effectFlags |= zGL3Renderer::EffectMotionBlur;
    const std::vector<uint8_t> blurred = Frame();
    int differing = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        differing += std::abs(int(plain[i]) - int(blurred[i])) > 3 ? 1 : 0;
    EXPECT_EQ(differing, 0);
}


// Supersampled: the G-buffer is twice the output each way, and every clear
// and pass covers all of it.
TEST_F(GLRendererTest, ASupersampledFrameClearsAndLightsTheWholeBuffer)
{
    renderer->optionFlags |= zGL3Renderer::OptionAntialiasing | zGL3Renderer::OptionUseFloatTarget;
    ASSERT_TRUE(Open(Width, Height));
    ASSERT_EQ(renderer->attrMaps[1]->picture.width, 2 * Width);
    zCamera camera(&core);
    camera.UpdateWorldMatrix();
    LightSource source;
    // A dim ambient light: the background is not lit, so it keeps its colour.
    source.ambient[0] = source.ambient[1] = source.ambient[2] = 0.25f;
    renderer->propertyCallback = &LightSource::Callback;
    renderer->propertyContext = &source;
    auto frame = [&](float red, float blue) {
        renderer->Clear(red, 0.0f, blue, 1.0f, 0);
        renderer->camera = &camera;
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        renderer->RenderQueue();
        return ReadBack(Width, Height);
    };
    frame(1.0f, 0.0f);
    // The background is the clear colour itself: full blue now in every
    // corner, none of the first frame's red left anywhere.
    const std::vector<uint8_t> image = frame(0.0f, 1.0f);
    for (const auto& [x, y] : {std::pair{1, 1}, std::pair{Width - 2, 1}, std::pair{1, Height - 2},
                               std::pair{Width - 2, Height - 2}, std::pair{Width / 2, Height / 2}}) {
        const uint8_t* p = &image[(size_t(y) * Width + size_t(x)) * 3];
        EXPECT_LT(p[0], 5) << x << "," << y;
        EXPECT_GT(p[2], 250) << x << "," << y;
    }
}


// The core deletes its resources before the application closes video: the
// renderer's noise texture is its own and survives that.
TEST_F(GLRendererTest, TheNoiseTextureOutlivesTheCoresResources)
{
    ASSERT_TRUE(Open());
    zTexture* noise = renderer->noiseTexture;
    ASSERT_NE(noise, nullptr);
    EXPECT_FALSE(core.GetTextures().Contains(noise));
    core.DeleteAllResources();
    EXPECT_NE(noise->rendererData, nullptr);
    renderer->CloseVideo();
    EXPECT_EQ(renderer->noiseTexture, nullptr);
}


TEST_F(DeferredScene, AWireframeMaterialLeavesTheScreenPassesFilled)
{
    zObject* cube = MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {1, 1, 1, 1});
    cube->geometry->materials[0]->flags |= zMaterial::FlagWireframe;
    cube->geometry->materials[0]->Update();
    source.ambient[0] = source.ambient[1] = source.ambient[2] = 1.0f;
    renderer->Clear(0.0f, 0.0f, 1.0f, 1.0f, 0);
    renderer->camera = camera.get();
    renderer->ApplyCamera();
    renderer->ResetItemStack();
    cube->PushToRenderer();
    renderer->RenderQueue();
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    // The background everywhere is the clear colour.
    int notBlue = 0;
    for (int32_t y = 0; y < Height; y += 6)
        for (int32_t x = 0; x < Width; x += 6)
            if (Pixel(image, x, y)[2] < 250 && (x < Width / 4 || x > 3 * Width / 4))
                ++notBlue;
    EXPECT_EQ(notBlue, 0);
}


// Without a usable shader library the renderer still opens and draws: the
// fixed-function frame, said so in the log. A library without the required
// core programs counts as unusable.
struct LibraryCase {
    const char* name;
    // Contents of the library file the search path finds; null: no file.
    const char* library;
    const char* reason;
};

void PrintTo(const LibraryCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeferredLibrary : public GLRendererTest, public ::testing::WithParamInterface<LibraryCase> {};

TEST_P(DeferredLibrary, WithoutOneTheSafeModeFrameIsDrawn)
{
    const LibraryCase& c = GetParam();
    FileSystemGuard guard;
    const std::string directory = ::testing::TempDir() + "gl3_library_" + c.name;
    std::filesystem::create_directories(directory);
    GlobalSearchPathList.Clear();
    GlobalSearchPathList.Add(zString(directory.c_str()));
    if (c.library != nullptr)
        std::ofstream(directory + "/default_shaders.zml") << c.library;
    else
        std::filesystem::remove(directory + "/default_shaders.zml");
    LogCapture log;
    ASSERT_TRUE(Open(Width, Height));
    EXPECT_NE(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u);
    EXPECT_TRUE(log.Contains(c.reason));
    EXPECT_EQ(renderer->attrMaps[0], nullptr);
    EXPECT_EQ(renderer->shaders.GetCount(), 0);
    // A lit quad under ambient light still shows.
    zGeometry* g = zGeometry::New(&core, "quad");
    FillQuad(*g, 0.0f, 0.0f, 1.0f, 4.0f);
    g->materials[0]->flags = zMaterial::FlagLit;
    g->Setup();
    zObject object(&core);
    object.SetGeometry(g, false);
    object.UpdateWorldMatrix();
    zCamera camera(&core);
    camera.UpdateWorldMatrix();
    LightSource source;
    source.ambient[0] = source.ambient[1] = source.ambient[2] = 1.0f;
    renderer->propertyCallback = &LightSource::Callback;
    renderer->propertyContext = &source;
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    renderer->camera = &camera;
    renderer->ApplyCamera();
    renderer->ResetItemStack();
    object.PushToRenderer();
    renderer->RenderQueue();
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    EXPECT_GT(image[(size_t(Height / 2) * Width + Width / 2) * 3], 100);
    renderer->CloseVideo();
    std::filesystem::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeferredLibrary,
    ::testing::Values(
        LibraryCase{"Missing", nullptr, "Cannot load the shader library 'default_shaders.zml'"},
        LibraryCase{"WithoutTheCorePrograms",
                    "<ZML=1.0>\n<GLSL_Deferred=\n<Shader=<Name=\"core::fog\">\n<Vertex=\"void main() { gl_Position = "
                    "ftransform(); }\">\n<Pixel=\"void main() { gl_FragColor = vec4(1.0); }\">>\n>\n",
                    "Failed to load one or more core shader."}),
    [](const ::testing::TestParamInfo<LibraryCase>& info) { return std::string(info.param.name); });

// Programs are built at set-up: frames only use them.
TEST_F(DeferredScene, FramesCompileNoPrograms)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    MakeLight(zLight::TypePoint, zVector(-1.5f, 2.0f, 2.0f), 10.0f, 1.0f);
    MakeLight(zLight::TypeSpot, zVector(0.0f, 0.0f, 1.0f), 10.0f, 1.0f);
    const uint64_t built = renderer->shaderMapPrograms;
    const int32_t loaded = renderer->shaders.GetCount();
    EXPECT_GT(built, 0u);
    renderer->effectFlags |= zGL3Renderer::EffectBloom | zGL3Renderer::EffectMotionBlur |
        zGL3Renderer::EffectAmbientOcclusion;
    const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    renderer->SetFog(true, grey, 2.0f, 20.0f);
    for (int frame = 0; frame < 3; ++frame)
        DrawFrame();
    EXPECT_EQ(renderer->shaderMapPrograms, built);
    EXPECT_EQ(renderer->shaders.GetCount(), loaded);
    EXPECT_EQ(renderer->statistics[zRenderer::StatLightsProcessed] > 0, true);
}

TEST_F(DeferredScene, AnIncompleteAttributeFramebufferIsReportedOncePerFrame)
{
    MakeBox("cube", zVector(0.0f, 0.0f, 5.0f), zVector(0.5f, 0.6f, 0.0f), 1.0f, {0.9f, 0.6f, 0.3f, 1.0f});
    using Check = GLenum (*)(GLenum);
    static Check real = nullptr;
    real = renderer->glCheckFramebufferStatus_;
    renderer->glCheckFramebufferStatus_ = [](GLenum) -> GLenum { return GL_FRAMEBUFFER_UNSUPPORTED_EXT; };
    LogCapture log;
    DrawFrame();
    DrawFrame();
    renderer->glCheckFramebufferStatus_ = real;
    int reports = 0;
    for (const std::string& line : log.lines)
        reports += line.find("FBO incomplete.") != std::string::npos ? 1 : 0;
    EXPECT_EQ(reports, 2);
}

TEST_F(DeferredScene, AnUnknownUniformRecordIsReportedAndSkipped)
{
    CompiledRenderMap map;
    map.program = static_cast<zGL3ShaderRecord*>(renderer->shaders.FindByName("core::ambient"));
    ASSERT_NE(map.program, nullptr);
    auto* uniform = new RenderMapUniform("_n_odd0000");
    uniform->blockType = 11;
    map.uniforms.Add(uniform, true, true);
    LogCapture log;
    renderer->UseShaderMap(&map, nullptr);
    renderer->glUseProgramObject_(0);
    EXPECT_TRUE(log.Contains("Unsupported uniform type ('11')."));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
