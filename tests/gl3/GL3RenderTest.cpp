// Frames drawn in safe mode, read back from the window.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr int32_t Width = 64;
constexpr int32_t Height = 48;

// A small scene built from core objects: a camera at the origin looking
// along +z, a lit quad and an unlit one, a directional light from the camera
// side, an ambient colour.
class SafeModeScene : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
        ASSERT_TRUE(Open(Width, Height));
        lit = MakeQuad("lit", -0.5f, 0.0f, 0.6f, 5.0f, zMaterial::FlagLit, {0.8f, 0.4f, 0.2f, 1.0f});
        unlit = MakeQuad("unlit", 0.5f, 0.2f, 0.6f, 6.0f, 0, {0.0f, 0.25f, 1.0f, 1.0f});
        camera = std::make_unique<zCamera>(&core);
        camera->UpdateWorldMatrix();
        light = std::make_unique<zLight>(&core);
        light->type = zLight::TypeParallel;
        light->position = zVector(0.0f, 0.0f, -10.0f);
        light->UpdateWorldMatrix();
        light->diffuseIntensity = 0.5f;
        source.lights = {light.get()};
        source.ambient[0] = source.ambient[1] = source.ambient[2] = 0.1f;
        renderer->propertyCallback = &LightSource::Callback;
        renderer->propertyContext = &source;
    }
    void TearDown() override
    {
        objects.clear();
        GLRendererTest::TearDown();
    }

    zObject* MakeQuad(const char* name, float cx, float cy, float h, float depth, uint32_t flags, zColor diffuse)
    {
        zGeometry* g = zGeometry::New(&core, name);
        FillQuad(*g, cx, cy, h, depth);
        g->materials[0]->flags = flags;
        g->materials[0]->diffuse = diffuse;
        g->Setup();
        auto object = std::make_unique<zObject>(&core);
        object->SetGeometry(g, false);
        object->UpdateWorldMatrix();
        objects.push_back(std::move(object));
        return objects.back().get();
    }

    // Clears, applies the camera, pushes the objects and draws the queue.
    void DrawFrame(std::initializer_list<zObject*> pushed)
    {
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        for (zObject* o : pushed)
            o->PushToRenderer();
        renderer->RenderQueue();
    }

    // Where a world point lands in the window, through the renderer's projection.
    void Project(const zVector& p, int32_t& x, int32_t& y)
    {
        const float* m = renderer->projectionMatrix.m;
        const float cx = m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3];
        const float cy = m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7];
        const float cw = m[12] * p.x + m[13] * p.y + m[14] * p.z + m[15];
        x = int32_t((cx / cw + 1.0f) * 0.5f * Width);
        y = int32_t((cy / cw + 1.0f) * 0.5f * Height);
    }

    static void ExpectPixel(const std::vector<uint8_t>& image, int32_t x, int32_t y, int r, int g, int b)
    {
        const uint8_t* p = &image[(size_t(y) * Width + x) * 3];
        EXPECT_NEAR(p[0], r, 3) << "red at " << x << "," << y;
        EXPECT_NEAR(p[1], g, 3) << "green at " << x << "," << y;
        EXPECT_NEAR(p[2], b, 3) << "blue at " << x << "," << y;
    }

    std::vector<std::unique_ptr<zObject>> objects;
    std::unique_ptr<zCamera> camera;
    std::unique_ptr<zLight> light;
    LightSource source;
    zObject* lit = nullptr;
    zObject* unlit = nullptr;
};

TEST_F(SafeModeScene, LitFacesTakeLightTimesDiffusePlusAmbient)
{
    DrawFrame({lit, unlit});
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    // 0.5 x (0.8, 0.4, 0.2) + 0.1 = (0.5, 0.3, 0.2).
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    ExpectPixel(image, x, y, 128, 77, 51);
    // The unlit quad shows its diffuse colour where nothing is in front.
    Project(zVector(0.8f, 0.4f, 6.0f), x, y);
    ExpectPixel(image, x, y, 0, 64, 255);
    // The nearer quad hides the farther one where they overlap.
    Project(zVector(-0.05f, 0.1f, 5.0f), x, y);
    ExpectPixel(image, x, y, 128, 77, 51);
    // Safe mode clears the window to black.
    ExpectPixel(image, 1, 1, 0, 0, 0);
    EXPECT_GE(source.visibleRequests, 1);
}

TEST_F(SafeModeScene, WithoutLightsOnlyTheAmbientLightsAFace)
{
    source.lights.clear();
    DrawFrame({lit});
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    Project(zVector(-0.5f, 0.0f, 5.0f), x, y);
    ExpectPixel(image, x, y, 26, 26, 26);
}

struct LightCase {
    const char* name;
    int32_t type;
    float turnAboutY;
    float range;
    int r, g, b;
};

void PrintTo(const LightCase& c, std::ostream* os)
{
    *os << c.name;
}

class FixedLights : public SafeModeScene, public ::testing::WithParamInterface<LightCase> {};

TEST_P(FixedLights, EachTypeLightsTheFaceAsGLLightsDo)
{
    const LightCase& c = GetParam();
    light->type = c.type;
    light->rotation = zVector(0.0f, c.turnAboutY, 0.0f);
    light->range = c.range;
    light->UpdateWorldMatrix();
    DrawFrame({lit});
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    Project(zVector(-0.5f, 0.0f, 5.0f), x, y);
    ExpectPixel(image, x, y, c.r, c.g, c.b);
}

// The light sits at (0, 0, -10), 15 units before the face, diffuse 0.5;
// ambient 0.1; face diffuse (0.8, 0.4, 0.2).
INSTANTIATE_TEST_SUITE_P(
    Types, FixedLights,
    ::testing::Values(
        LightCase{"PointWithoutRange", zLight::TypePoint, 0.0f, 0.0f, 128, 77, 51},
        // Linear attenuation 7 / 70 at distance 15: a factor of 1 / 2.5.
        LightCase{"PointWithRange", zLight::TypePoint, 0.0f, 70.0f, 66, 46, 36},
        // Cone of 30 degrees along the light's z axis, exponent 16.
        LightCase{"SpotTowardsTheFace", zLight::TypeSpot, 0.0f, 0.0f, 128, 77, 51},
        LightCase{"SpotTurnedAway", zLight::TypeSpot, 3.14159265f, 0.0f, 26, 26, 26}),
    [](const ::testing::TestParamInfo<LightCase>& info) { return std::string(info.param.name); });

TEST_F(SafeModeScene, SplitGeometriesAreDrawnByTheirVisibleLeaves)
{
    // A 64 x 64 grid of quads at depth 5, wider than high, split into leaves.
    constexpr int N = 64;
    zGeometry* g = zGeometry::New(&core, "grid");
    g->vertexCount = (N + 1) * (N + 1);
    g->vertices = new zVector[g->vertexCount];
    for (int i = 0; i <= N; ++i) {
        for (int j = 0; j <= N; ++j)
            g->vertices[i * (N + 1) + j] = zVector(-2.0f + 4.4f * j / N, -2.0f + 4.0f * i / N, 5.0f);
    }
    g->polygonCount = N * N;
    g->bindingCount = 4 * N * N;
    g->bindingIndices = new int32_t[g->bindingCount];
    g->polygons = new zPolygon[g->polygonCount];
    g->vertexNormals = new zVector[g->bindingCount];
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const int p = i * N + j, a = i * (N + 1) + j;
            const int corners[4] = {a, a + N + 1, a + N + 2, a + 1};
            g->polygons[p].vertexCount = 4;
            g->polygons[p].indices = g->bindingIndices + 4 * p;
            for (int k = 0; k < 4; ++k) {
                g->bindingIndices[4 * p + k] = corners[k];
                g->vertexNormals[4 * p + k] = zVector(0.0f, 0.0f, -1.0f);
            }
        }
    }
    g->AllocateMaterials(1, true);
    g->materials[0]->flags = zMaterial::FlagLit;
    g->materials[0]->diffuse = {0.8f, 0.4f, 0.2f, 1.0f};
    ASSERT_TRUE(g->CreateOctree(512));
    g->Setup();
    auto object = std::make_unique<zObject>(&core);
    object->SetGeometry(g, false);
    object->UpdateWorldMatrix();
    for (uint32_t& counter : renderer->statistics)
        counter = 0;
    DrawFrame({object.get()});
    EXPECT_GE(renderer->statistics[zRenderer::StatObjectsDrawn], 2u);
    EXPECT_GE(renderer->statistics[zRenderer::StatListsDrawn], 2u);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    // The grid covers the whole view: lit everywhere.
    ExpectPixel(image, 2, 2, 128, 77, 51);
    ExpectPixel(image, Width / 2, Height / 2, 128, 77, 51);
    ExpectPixel(image, Width - 3, Height - 3, 128, 77, 51);
}

TEST_F(SafeModeScene, AtMostEightLightsAreTaken)
{
    std::vector<std::unique_ptr<zLight>> more;
    source.lights.clear();
    for (int i = 0; i < 11; ++i) {
        more.push_back(std::make_unique<zLight>(&core));
        more.back()->type = zLight::TypeParallel;
        more.back()->position = zVector(0.0f, 0.0f, -10.0f);
        more.back()->diffuseIntensity = 0.05f;
        more.back()->UpdateWorldMatrix();
        source.lights.push_back(more.back().get());
    }
    DrawFrame({lit});
    EXPECT_EQ(renderer->lightCount, 8);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    // Eight lights of 0.05: 0.4 x (0.8, 0.4, 0.2) + 0.1 = (0.42, 0.26, 0.18).
    ExpectPixel(image, x, y, 107, 66, 46);
}

TEST_F(SafeModeScene, ACallbackIsNeededForLights)
{
    renderer->propertyCallback = nullptr;
    LogCapture log;
    DrawFrame({lit});
    EXPECT_TRUE(log.Contains("No property request callback function."));
}

TEST_F(SafeModeScene, StatisticsCountPassesObjectsAndTriangles)
{
    for (uint32_t& counter : renderer->statistics)
        counter = 0;
    const uint64_t uploads = renderer->uploads;
    DrawFrame({lit, unlit});
    // Frames draw what was uploaded at set-up; nothing is sent again.
    EXPECT_EQ(renderer->uploads, uploads);
    // The fixed frame walks the queue twice: opaque, then back to front.
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], 2u);
    EXPECT_EQ(renderer->statistics[zRenderer::StatObjectsSent], 2u);
    EXPECT_EQ(renderer->statistics[zRenderer::StatObjectsDrawn], 2u);
    EXPECT_EQ(renderer->statistics[zRenderer::StatTrianglesDrawn], 4u);
    EXPECT_EQ(renderer->statistics[zRenderer::StatListsDrawn], 2u);
}

TEST_F(SafeModeScene, FarItemsUseTheirLevelOfDetail)
{
    // The distance is the item's own position's: a hair in front of the camera.
    lit->position = zVector(0.0f, 0.0f, 0.01f);
    lit->UpdateWorldMatrix();
    lit->geometry->lodDistance = 0.001f;
    lit->geometry->flags |= zGeometry::FlagLodNull;
    for (uint32_t& counter : renderer->statistics)
        counter = 0;
    DrawFrame({lit, unlit});
    EXPECT_EQ(renderer->statistics[zRenderer::StatObjectsDrawn], 1u);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    ExpectPixel(image, x, y, 0, 0, 0);
}

TEST_F(SafeModeScene, AFarPlaneChangesOnlyItsOwnGeometry)
{
    // Far plane 5.5: the lit quad at depth 5 stays, the unlit one at 6 is cut.
    lit->geometry->zFar = 5.5f;
    unlit->geometry->zFar = 5.5f;
    const zMatrix4 before = [&] {
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        return renderer->projectionMatrix;
    }();
    DrawFrame({lit, unlit});
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    int32_t x = 0, y = 0;
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    ExpectPixel(image, x, y, 128, 77, 51);
    Project(zVector(0.8f, 0.4f, 6.0f), x, y);
    ExpectPixel(image, x, y, 0, 0, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(renderer->projectionMatrix.m[i], before.m[i]) << i;
}

TEST_F(SafeModeScene, AFrameWithoutACameraDrawsNothingAndKeepsTheLines)
{
    renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
    renderer->camera = nullptr;
    renderer->Line3D(zVector(0, 0, 0), zVector(1, 1, 1), nullptr);
    for (uint32_t& counter : renderer->statistics)
        counter = 0;
    renderer->RenderQueue();
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], 0u);
    EXPECT_EQ(renderer->lineCount, 1u);
}

TEST_F(SafeModeScene, TwoDimensionalWindowsDrawOverTheImage)
{
    DrawFrame({lit, unlit});
    int32_t x = 0, y = 0;
    Project(zVector(0.8f, 0.4f, 6.0f), x, y);
    // A window as the 2D scene draws it: two triangles, depth test off,
    // textured, in clip space with an identity view and projection.
    zTexture* texture = zTexture::New(&core, "Window Cache", 0, 0, false, 0.5f);
    texture->flags |= GL3TextureKeepPicture;
    texture->picture.AllocAs(4, 4, PixelFormatABGR32);
    ASSERT_TRUE(renderer->SetupTexture(texture));
    std::vector<uint32_t> green(16, 0xFF00FF00u);
    renderer->UpdateTexture(texture, reinterpret_cast<const uint8_t*>(green.data()), 4, 4, 0, 0);
    renderer->SetViewMatrix(zMatrix4());
    renderer->SetProjectionMatrix(zMatrix4());
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const zVector a(-1.0f, 1.0f, 0.75f), b(0.0f, 1.0f, 0.75f), c(0.0f, 0.0f, 0.75f), d(-1.0f, 0.0f, 0.75f);
    const zVector first[3] = {a, b, c};
    const zVector second[3] = {a, c, d};
    const zVector2 uvFirst[3] = {zVector2(0, 0), zVector2(1, 0), zVector2(1, 1)};
    const zVector2 uvSecond[3] = {zVector2(0, 0), zVector2(1, 1), zVector2(0, 1)};
    renderer->DrawTriangle(first, white, uvFirst, texture, 0x4000);
    renderer->DrawTriangle(second, white, uvSecond, texture, 0x4000);
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    // Top-left quarter of the window is green, over the lit quad too.
    ExpectPixel(image, Width / 4, Height * 3 / 4, 0, 255, 0);
    ExpectPixel(image, Width / 2 - 2, Height / 2 + 2, 0, 255, 0);
    // The rest is the 3D image.
    ExpectPixel(image, x, y, 0, 64, 255);
    delete texture;
}

TEST_F(SafeModeScene, ARenderTargetTakesTheWholeFrame)
{
    zTexture* target = renderer->NewRenderTexture("target", Width, Height, 0, false);
    ASSERT_NE(target, nullptr);
    renderer->renderTarget = target;
    DrawFrame({lit, unlit});
    renderer->renderTarget = nullptr;
    std::vector<uint8_t> texels(size_t(Width) * Height * 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(target->rendererData)->name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    int32_t x = 0, y = 0;
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    const uint8_t* p = &texels[(size_t(y) * Width + x) * 4];
    EXPECT_NEAR(p[0], 128, 3);
    EXPECT_NEAR(p[1], 77, 3);
    EXPECT_NEAR(p[2], 51, 3);
    // Depth counts in the target too: the nearer quad hides the farther one.
    Project(zVector(-0.05f, 0.1f, 5.0f), x, y);
    p = &texels[(size_t(y) * Width + x) * 4];
    EXPECT_NEAR(p[0], 128, 3);
    EXPECT_NEAR(p[2], 51, 3);
    Project(zVector(-0.7f, 0.0f, 5.0f), x, y);
    // The window itself was only cleared.
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    ExpectPixel(image, x, y, 0, 0, 0);
    renderer->FreeTexture(target);
    delete target;
}

// The project's own reference image of the scene: a binary PPM. With
// TAVRIN_UPDATE_GOLDENS set the test writes it instead of comparing.
TEST_F(SafeModeScene, MatchesTheReferenceImage)
{
    const zVector corners[2] = {zVector(-1.5f, -1.0f, 5.0f), zVector(1.5f, 1.0f, 5.0f)};
    renderer->Line3D(corners[0], corners[1], nullptr);
    DrawFrame({lit, unlit});
    const std::vector<uint8_t> image = ReadBack(Width, Height);
    // Rasterisers may differ by a unit of colour and along edges.
    ExpectReferenceImage(image, Width, Height, "safe_scene", 4, 12);
}

} // namespace
