// Shadow maps: the split distances and camera fit (no window), the cube
// faces, and depth rendered into the shared maps through a headless context.

#include "GL3TestSupport.h"
#include "gl3/deferred/zGL3Shadow.h"
#include "support/LogCapture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

namespace {

// ---- Split distances -------------------------------------------------------

struct SliceCase {
    const char* name;
    float nearDistance;
    float range;
    float distribution;
    float expected[6];
    float tolerance;
};

void PrintTo(const SliceCase& c, std::ostream* os)
{
    *os << c.name;
}

class SliceDistances : public ::testing::TestWithParam<SliceCase> {};

TEST_P(SliceDistances, MatchTheBlendOfEvenAndLogarithmicSplits)
{
    const SliceCase& c = GetParam();
    float previous = c.nearDistance;
    for (int32_t i = 0; i < 6; ++i) {
        const float d = ComputeGL3ShadowSliceDistance(c.nearDistance, c.range, c.distribution, i);
        EXPECT_NEAR(d, c.expected[i], c.tolerance) << "split " << i;
        EXPECT_GT(d, previous) << "split " << i;
        previous = d;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SliceDistances,
    ::testing::Values(
        // 0.9 * 0.1 * 1000^(1/6) + 0.1 * (0.1 + 99.9 / 6) = 1.96 for the first.
        SliceCase{"Default", 0.1f, 100.0f, 0.9f, {1.9596f, 4.24f, 7.851f, 15.67f, 36.7955f, 100.0f}, 2e-3f},
        SliceCase{"Even", 0.1f, 100.0f, 0.0f, {16.75f, 33.4f, 50.05f, 66.7f, 83.35f, 100.0f}, 2e-3f},
        SliceCase{"Logarithmic", 0.1f, 100.0f, 1.0f, {0.316228f, 1.0f, 3.16228f, 10.0f, 31.6228f, 100.0f}, 1e-3f},
        SliceCase{"HalfAndHalfFromOne", 1.0f, 64.0f, 0.5f, {6.75f, 13.0f, 20.25f, 29.5f, 42.75f, 64.0f}, 2e-3f}),
    [](const ::testing::TestParamInfo<SliceCase>& info) { return std::string(info.param.name); });

TEST(SliceDistanceEdges, ANearDistanceOfZeroStaysFinite)
{
    for (int32_t i = 0; i < 6; ++i) {
        const float d = ComputeGL3ShadowSliceDistance(0.0f, 100.0f, 0.9f, i);
        EXPECT_TRUE(std::isfinite(d)) << "split " << i;
    }
    EXPECT_NEAR(ComputeGL3ShadowSliceDistance(0.0f, 100.0f, 0.9f, 5), 100.0f, 1e-3f);
}

// ---- Camera fit --------------------------------------------------------------

struct FitCase {
    const char* name;
    // Rows 0 to 2 of the camera's world matrix (its x, y and z axes).
    zVector axes[3];
    zVector corners[8];
    float offset;
    zVector position;
    float farDistance;
    float width;
    float height;
};

void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << c.name;
}

class FitShadowCamera : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitShadowCamera, CentresOnTheBoxAndCoversEveryCorner)
{
    const FitCase& c = GetParam();
    Tavrin core;
    zGL3Renderer renderer(&core);
    zCamera camera(&core);
    camera.orthographic = 1;
    for (int32_t i = 0; i < 3; ++i)
        camera.worldMatrix.SetRow(i, c.axes[i]);
    renderer.FitShadowCamera(c.corners, &camera, c.offset);
    const zVector p = camera.worldMatrix.GetRow(3);
    EXPECT_NEAR(p.x, c.position.x, 1e-4f);
    EXPECT_NEAR(p.y, c.position.y, 1e-4f);
    EXPECT_NEAR(p.z, c.position.z, 1e-4f);
    EXPECT_NEAR(camera.zFar, c.farDistance, 1e-4f);
    EXPECT_NEAR(camera.orthographicWidth, c.width, 1e-4f);
    EXPECT_NEAR(camera.orthographicHeight, c.height, 1e-4f);
    // The axes stay and the inverse follows the new placement.
    for (int32_t i = 0; i < 3; ++i) {
        const zVector axis = camera.worldMatrix.GetRow(i);
        EXPECT_FLOAT_EQ(axis.x, c.axes[i].x);
        EXPECT_FLOAT_EQ(axis.y, c.axes[i].y);
        EXPECT_FLOAT_EQ(axis.z, c.axes[i].z);
    }
    const zVector origin = p.Transform(camera.inverseWorldMatrix);
    EXPECT_NEAR(origin.x, 0.0f, 1e-4f);
    EXPECT_NEAR(origin.y, 0.0f, 1e-4f);
    EXPECT_NEAR(origin.z, 0.0f, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitShadowCamera,
    ::testing::Values(
        // A box 2 x 4 x 10 seen along +z: centre (1, 2, 15), pulled back by 5.
        FitCase{"AxisAlignedBox",
                {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                {{0, 0, 10}, {2, 0, 10}, {2, 4, 10}, {0, 4, 10}, {0, 0, 20}, {2, 0, 20}, {2, 4, 20}, {0, 4, 20}},
                5.0f,
                {1, 2, 10},
                10.0f,
                2.0f,
                4.0f},
        // A light looking along +x (x axis -z, y axis +y): depth is measured
        // along world x, width along z and height along y.
        FitCase{"LightAlongX",
                {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
                {{-1, -1, -3}, {1, -1, -3}, {1, 1, -3}, {-1, 1, -3}, {-1, -1, 3}, {1, -1, 3}, {1, 1, 3}, {-1, 1, 3}},
                8.0f,
                {-8, 0, 0},
                9.0f,
                6.0f,
                2.0f},
        // A slice narrow at its near end: the box's centre, not the corners'
        // mean, sets the placement; the widest corner sets the width.
        FitCase{"FrustumSlice",
                {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-5, 5, 5}, {5, 5, 5}, {5, -5, 5}, {-5, -5, 5}},
                4.0f,
                {0, 0, -1},
                6.0f,
                10.0f,
                10.0f}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

// ---- Structures without a window --------------------------------------------

// Clip coordinates of a world point through a view and a projection.
zVector ToClip(const zVector& p, const zMatrix4& view, const zMatrix4& projection)
{
    zVector v = p;
    v.w = 1.0f;
    zVector out;
    view.TransformArray4(&out, &v, 1);
    zVector clip;
    projection.TransformArray4(&clip, &out, 1);
    return clip;
}

class ShadowStructures : public ::testing::Test {
protected:
    void TearDown() override
    {
        lights.clear();
    }
    zLight* MakeLight(int32_t type, const zVector& position, const zVector& rotation)
    {
        auto light = std::make_unique<zLight>(&core);
        light->type = type;
        light->shadow = zLight::ShadowMap;
        light->position = position;
        light->rotation = rotation;
        light->UpdateWorldMatrix();
        EXPECT_TRUE(renderer.SetupLight(light.get()));
        lights.push_back(std::move(light));
        return lights.back().get();
    }
    static zGL3LightPrograms* Programs(zLight* light) { return static_cast<zGL3LightPrograms*>(light->rendererData); }

    Tavrin core;
    zGL3Renderer renderer{&core};
    std::vector<std::unique_ptr<zLight>> lights;
};

TEST_F(ShadowStructures, CubeFacesLookAlongTheSixAxesOfTheLight)
{
    // Turned a quarter about y: the light's +z is world +x.
    zLight* light = MakeLight(zLight::TypePoint, zVector(1, 2, 3), zVector(0, 3.14159265f / 2.0f, 0));
    renderer.LightRenderPSM(light);
    CubeShadowStructure* cube = Programs(light)->cube;
    ASSERT_NE(cube, nullptr);
    const zVector lightPos(1, 2, 3);
    const zVector lightAxes[3] = {light->worldMatrix.GetRow(0), light->worldMatrix.GetRow(1),
                                  light->worldMatrix.GetRow(2)};
    // The direction each face is centred on, in the light's frame.
    zVector seen[6];
    for (int32_t face = 0; face < 6; ++face) {
        const zMatrix4& view = cube->matrices[face];
        const zMatrix4& projection = cube->matrices[6 + face];
        EXPECT_NEAR(projection.m[0], 1.0f, 1e-5f) << "face " << face;
        EXPECT_NEAR(projection.m[5], 1.0f, 1e-5f) << "face " << face;
        EXPECT_FLOAT_EQ(projection.m[14], 1.0f) << "face " << face;
        const zVector origin = lightPos.Transform(view);
        EXPECT_NEAR(origin.Length(), 0.0f, 1e-4f) << "face " << face;
        int found = 0;
        for (int32_t axis = 0; axis < 3; ++axis) {
            for (float sign : {1.0f, -1.0f}) {
                const zVector clip = ToClip(lightPos + lightAxes[axis] * (5.0f * sign), view, projection);
                if (clip.w > 0.0f && std::fabs(clip.x / clip.w) < 1e-4f && std::fabs(clip.y / clip.w) < 1e-4f) {
                    seen[face] = zVector(0, 0, 0);
                    (&seen[face].x)[axis] = sign;
                    ++found;
                }
            }
        }
        EXPECT_EQ(found, 1) << "face " << face;
    }
    // Face 0 looks along the light's own z; the faces pair up opposite.
    EXPECT_FLOAT_EQ(seen[0].z, 1.0f);
    EXPECT_FLOAT_EQ(seen[1].x * seen[1].x, 1.0f);
    EXPECT_FLOAT_EQ(seen[4].y * seen[4].y, 1.0f);
    for (int32_t face : {0, 1, 4}) {
        const zVector sum = seen[face] + seen[face + (face == 4 ? 1 : 2)];
        EXPECT_FLOAT_EQ(sum.Length(), 0.0f) << "face " << face;
    }
}

TEST_F(ShadowStructures, CubeFacesLeaveNoDirectionUnseen)
{
    zLight* light = MakeLight(zLight::TypePoint, zVector(-4, 0, 7), zVector(0.3f, -1.1f, 0.7f));
    renderer.LightRenderPSM(light);
    CubeShadowStructure* cube = Programs(light)->cube;
    ASSERT_NE(cube, nullptr);
    std::mt19937 random(31);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (int32_t sample = 0; sample < 500; ++sample) {
        zVector d(normal(random), normal(random), normal(random));
        d = d * (3.0f / d.Length());
        const zVector p = zVector(-4, 0, 7) + d;
        int covering = 0;
        for (int32_t face = 0; face < 6; ++face) {
            const zVector clip = ToClip(p, cube->matrices[face], cube->matrices[6 + face]);
            if (clip.w > 0.0f && std::fabs(clip.x) <= clip.w * 1.0001f && std::fabs(clip.y) <= clip.w * 1.0001f)
                ++covering;
        }
        EXPECT_GE(covering, 1) << "direction " << d.x << ", " << d.y << ", " << d.z;
    }
}

TEST_F(ShadowStructures, EverySplitHoldsItsWholeSliceOfTheView)
{
    renderer.effectFlags |= zGL3Renderer::EffectLinearShadow;
    zCamera viewer(&core);
    viewer.zNear = 0.1f;
    viewer.position = zVector(3, 1, -2);
    viewer.rotation = zVector(0.2f, 0.5f, 0.0f);
    viewer.UpdateWorldMatrix();
    renderer.camera = &viewer;
    zLight* light = MakeLight(zLight::TypeParallel, zVector(0, 50, 0), zVector(1.2f, 0.4f, 0.0f));
    renderer.LightRenderPSSM(light);
    EXPECT_EQ(renderer.camera, &viewer);
    PSSMStructure* pssm = Programs(light)->pssm;
    ASSERT_NE(pssm, nullptr);
    const float expected[6] = {1.9596f, 4.24f, 7.851f, 15.67f, 36.7955f, 100.0f};
    for (int32_t i = 0; i < 6; ++i) {
        const PSSMSplit& split = pssm->splits[i];
        EXPECT_NEAR(split.sliceDistance, expected[i], 2e-3f) << "split " << i;
        zFrustum slice;
        viewer.ComputeFrustum(slice, 0.1f, split.sliceDistance);
        float widest = 0.0f;
        for (const zVector& corner : slice.corners) {
            const zVector clip = ToClip(corner, split.view, split.projection);
            EXPECT_LE(std::fabs(clip.x / clip.w), 1.0001f) << "split " << i;
            EXPECT_LE(std::fabs(clip.y / clip.w), 1.0001f) << "split " << i;
            EXPECT_GE(clip.z / clip.w, 0.0f) << "split " << i;
            EXPECT_LE(clip.z / clip.w, 1.0001f) << "split " << i;
            widest = std::max(widest, std::fabs(clip.x / clip.w));
        }
        // Fitted, not merely covered: some corner reaches the edge.
        EXPECT_NEAR(widest, 1.0f, 1e-3f) << "split " << i;
        // The split camera looks along the light.
        const zVector lightZ = light->worldMatrix.GetRow(2);
        const zVector viewZ(split.view.m[8], split.view.m[9], split.view.m[10]);
        EXPECT_NEAR(viewZ.Dot(lightZ), 1.0f, 1e-4f) << "split " << i;
    }
}

TEST_F(ShadowStructures, ShadowCamerasStaySquareWhateverTheDisplayAspect)
{
    const float saved = GlobalAspectRatio;
    GlobalAspectRatio = 1.6f;
    zLight* light = MakeLight(zLight::TypePoint, zVector(0, 0, 0), zVector(0, 0, 0));
    renderer.LightRenderPSM(light);
    GlobalAspectRatio = saved;
    const zMatrix4& projection = Programs(light)->cube->matrices[6];
    EXPECT_FLOAT_EQ(projection.m[0], projection.m[5]);
}

// ---- Rendering through a headless context -----------------------------------

// A cube of half-size h centred at c whose faces front outwards, one material.
void FillCube(zGeometry& g, const zVector& c, float h)
{
    struct Face {
        zVector n, u, v;
    };
    // u x v = -n keeps the corner order of FillQuad (front seen from outside).
    const Face faces[6] = {{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},  {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},
                           {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                           {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},  {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}}};
    g.vertexCount = 24;
    g.vertices = new zVector[24];
    g.vertexNormals = new zVector[24];
    g.bindingCount = 24;
    g.bindingIndices = new int32_t[24];
    g.polygonCount = 6;
    g.polygons = new zPolygon[6];
    const float su[4] = {-1, -1, 1, 1};
    const float sv[4] = {-1, 1, 1, -1};
    for (int32_t f = 0; f < 6; ++f) {
        for (int32_t k = 0; k < 4; ++k) {
            const int32_t i = f * 4 + k;
            g.vertices[i] = c + faces[f].n * h + faces[f].u * (su[k] * h) + faces[f].v * (sv[k] * h);
            g.vertexNormals[i] = faces[f].n;
            g.bindingIndices[i] = i;
        }
        g.polygons[f].vertexCount = 4;
        g.polygons[f].indices = g.bindingIndices + f * 4;
    }
    g.AllocateMaterials(1, true);
    g.materials[0]->name = "cube";
}

constexpr int32_t MapSize = 128;

class SafeModeShadows : public GLRendererTest {};

TEST_F(SafeModeShadows, NoMapsAreMadeAndNoLightRendersAny)
{
    renderer->optionFlags |= zGL3Renderer::OptionDisableShader;
    ASSERT_TRUE(Open(64, 48));
    EXPECT_EQ(renderer->shadowFramebuffer, 0u);
    for (zTexture* map : renderer->shadowMaps)
        EXPECT_EQ(map, nullptr);
    zCamera viewer(&core);
    viewer.UpdateWorldMatrix();
    renderer->camera = &viewer;
    zLight light(&core);
    light.type = zLight::TypePoint;
    light.shadow = zLight::ShadowMap;
    light.UpdateWorldMatrix();
    ASSERT_TRUE(renderer->SetupLight(&light));
    renderer->RenderLightShadow(&light);
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], 0u);
    EXPECT_EQ(renderer->camera, &viewer);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    renderer->FreeLight(&light);
}

// A renderer whose shadow maps are remade small (set-up makes them only for
// the deferred frame), a cube 10 units along +z from the origin, and lights
// at the origin looking along +z.
class ShadowRendering : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        ASSERT_TRUE(Open(64, 48));
        renderer->shadowMapSize = MapSize;
        ASSERT_TRUE(renderer->SetupShadowMaps());
        zGeometry* g = zGeometry::New(&core, "cube");
        FillCube(*g, zVector(0, 0, 10), 1.0f);
        g->Setup();
        cube = std::make_unique<zObject>(&core);
        cube->SetGeometry(g, false);
        cube->UpdateWorldMatrix();
        viewer = std::make_unique<zCamera>(&core);
        viewer->UpdateWorldMatrix();
        renderer->camera = viewer.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        cube->PushToRenderer();
        renderer->SortItemStack();
    }
    void TearDown() override
    {
        lights.clear();
        cube.reset();
        GLRendererTest::TearDown();
    }

    zLight* MakeLight(int32_t type)
    {
        auto light = std::make_unique<zLight>(&core);
        light->type = type;
        light->shadow = zLight::ShadowMap;
        light->coneAngle = 0.35f;
        light->edgeAngle = 0.05f;
        light->zNear = 1.0f;
        light->zFar = 50.0f;
        light->UpdateWorldMatrix();
        EXPECT_TRUE(renderer->SetupLight(light.get()));
        lights.push_back(std::move(light));
        return lights.back().get();
    }

    GLuint MapName(int32_t k) const
    {
        return static_cast<zGL3TextureRecord*>(renderer->shadowMaps[k]->rendererData)->name;
    }

    // Every map's depth set to value through the shadow framebuffer.
    void FillMaps(float value)
    {
        renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, renderer->shadowFramebuffer);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
        glDepthMask(GL_TRUE);
        glDisable(GL_SCISSOR_TEST);
        for (int32_t k = 0; k < 6; ++k) {
            renderer->glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, MapName(k), 0);
            glClearDepth(value);
            glClear(GL_DEPTH_BUFFER_BIT);
        }
        renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    }

    std::vector<float> ReadMap(int32_t k)
    {
        std::vector<float> depth(size_t(MapSize) * MapSize);
        renderer->glActiveTexture_(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, MapName(k));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return depth;
    }
    static float At(const std::vector<float>& map, int32_t x, int32_t y) { return map[size_t(y) * MapSize + x]; }

    std::unique_ptr<zObject> cube;
    std::unique_ptr<zCamera> viewer;
    std::vector<std::unique_ptr<zLight>> lights;
};

TEST_F(ShadowRendering, MapsAreComparingDepthTexturesWithAFramebuffer)
{
    ASSERT_NE(renderer->shadowFramebuffer, 0u);
    EXPECT_FLOAT_EQ(renderer->shadowMapReciprocal, 1.0f / MapSize);
    for (int32_t k = 0; k < 6; ++k) {
        ASSERT_NE(renderer->shadowMaps[k], nullptr);
        EXPECT_STREQ(renderer->shadowMaps[k]->id.Get(), "shadow_map");
        glBindTexture(GL_TEXTURE_2D, MapName(k));
        GLint depthBits = 0, width = 0, mode = 0, func = 0, minFilter = 0, magFilter = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_DEPTH_SIZE, &depthBits);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, &mode);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, &func);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        EXPECT_GE(depthBits, 16) << "map " << k;
        EXPECT_EQ(width, MapSize) << "map " << k;
        EXPECT_EQ(mode, GL_COMPARE_R_TO_TEXTURE) << "map " << k;
        EXPECT_EQ(func, GL_LEQUAL) << "map " << k;
        EXPECT_EQ(minFilter, GL_LINEAR) << "map " << k;
        EXPECT_EQ(magFilter, GL_LINEAR) << "map " << k;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    // A map alone, without colour, makes the framebuffer complete.
    renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, renderer->shadowFramebuffer);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    renderer->glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, MapName(0), 0);
    EXPECT_EQ(renderer->glCheckFramebufferStatus_(GL_FRAMEBUFFER_EXT), GLenum(GL_FRAMEBUFFER_COMPLETE_EXT));
    renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    // Closing video releases them.
    renderer->CloseVideo();
    EXPECT_EQ(renderer->shadowFramebuffer, 0u);
    for (zTexture* map : renderer->shadowMaps)
        EXPECT_EQ(map, nullptr);
}

TEST_F(ShadowRendering, ASpotLightWritesTheCastersFarSideIntoMapZeroOnly)
{
    zLight* spot = MakeLight(zLight::TypeSpot);
    FillMaps(0.5f);
    const uint32_t passes = renderer->statistics[zRenderer::StatQueuePasses];
    renderer->RenderLightShadow(spot);
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], passes + 1);
    const std::vector<float> map = ReadMap(0);
    // The map keeps the cube's far face (z = 11): the frame's back faces
    // cast. The light's projection puts depth 0 at near and 1 at far; GL
    // stores (depth + 1) / 2.
    const float q = 50.0f / 49.0f;
    EXPECT_NEAR(At(map, MapSize / 2, MapSize / 2), (q * (1.0f - 1.0f / 11.0f) + 1.0f) / 2.0f, 1e-3f);
    // Nothing else is in the light's view: cleared to 1 around the cube.
    for (auto [x, y] : std::initializer_list<std::pair<int32_t, int32_t>>{
             {0, 0}, {MapSize - 1, 0}, {0, MapSize - 1}, {MapSize - 1, MapSize - 1}, {4, MapSize / 2}})
        EXPECT_FLOAT_EQ(At(map, x, y), 1.0f) << x << "," << y;
    // The cube's inner sides reach from its near edge (x = 1 at z = 9): the
    // cone's cotangent / 9 of the half-width, about 17 texels each way.
    const float reach = std::cos(0.4f) / std::sin(0.4f) / 9.0f * MapSize / 2.0f;
    int32_t covered = 0;
    for (int32_t x = 0; x < MapSize; ++x)
        covered += At(map, x, MapSize / 2) < 1.0f ? 1 : 0;
    EXPECT_NEAR(covered, 2.0f * reach, 3.0f);
    for (int32_t k = 1; k < 6; ++k) {
        const std::vector<float> untouched = ReadMap(k);
        EXPECT_FLOAT_EQ(At(untouched, MapSize / 2, MapSize / 2), 0.5f) << "map " << k;
    }
}

TEST_F(ShadowRendering, CastersAreTheShadowProxiesUnlessShadowNull)
{
    // A proxy off to the side (x 2 to 4) stands in for the cube.
    zGeometry* proxy = zGeometry::New(&core, "proxy");
    FillCube(*proxy, zVector(3.0f, 0.0f, 10.0f), 1.0f);
    proxy->Setup();
    zGeometry* own = cube->geometry;
    own->shadowProxy = proxy;
    zLight* spot = MakeLight(zLight::TypeSpot);
    renderer->RenderLightShadow(spot);
    std::vector<float> map = ReadMap(0);
    EXPECT_FLOAT_EQ(At(map, MapSize / 2, MapSize / 2), 1.0f) << "the cube itself casts nothing";
    // x = 3 at z = 11 lands cot(0.4) * 3 / 11 of the half-width right of the centre.
    const int32_t proxyX = MapSize / 2 + int32_t(std::cos(0.4f) / std::sin(0.4f) * 3.0f / 11.0f * MapSize / 2.0f);
    EXPECT_LT(At(map, proxyX, MapSize / 2), 1.0f);

    own->flags |= zGeometry::FlagShadowNull;
    renderer->RenderLightShadow(spot);
    map = ReadMap(0);
    EXPECT_FLOAT_EQ(*std::min_element(map.begin(), map.end()), 1.0f);
    own->flags &= ~uint32_t(zGeometry::FlagShadowNull);
    own->shadowProxy = nullptr;
}

TEST_F(ShadowRendering, StateLeftByTheFrameDoesNotHideTheCasters)
{
    // The attribute buffers exist and come back on units 0 to 3 after every
    // light; the frame may leave a transparent colour, lighting with a faded
    // material and a program behind.
    ASSERT_TRUE(renderer->SetupDeferredFramebuffer(64, 48));
    zLight* first = MakeLight(zLight::TypeSpot);
    zLight* second = MakeLight(zLight::TypeSpot);
    renderer->RenderLightShadow(first);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_LIGHTING);
    const float faded[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, faded);
    FillMaps(0.5f);
    renderer->RenderLightShadow(second);
    EXPECT_LT(At(ReadMap(0), MapSize / 2, MapSize / 2), 1.0f);
    // What the frame had is what it has again.
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.0f);
    glDisable(GL_LIGHTING);
}

TEST_F(ShadowRendering, AParallelLightRendersNothingWithoutLinearShadow)
{
    zLight* sun = MakeLight(zLight::TypeParallel);
    FillMaps(0.5f);
    const uint32_t passes = renderer->statistics[zRenderer::StatQueuePasses];
    renderer->RenderLightShadow(sun);
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], passes);
    EXPECT_EQ(static_cast<zGL3LightPrograms*>(sun->rendererData)->pssm, nullptr);
    for (int32_t k = 0; k < 6; ++k)
        EXPECT_FLOAT_EQ(At(ReadMap(k), MapSize / 2, MapSize / 2), 0.5f) << "map " << k;

    renderer->effectFlags |= zGL3Renderer::EffectLinearShadow;
    renderer->RenderLightShadow(sun);
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], passes + 6);
    ASSERT_NE(static_cast<zGL3LightPrograms*>(sun->rendererData)->pssm, nullptr);
    // The cube (z 9 to 11) lies in splits 3 to 5 only; each map is cleared.
    for (int32_t k = 0; k < 6; ++k) {
        const std::vector<float> map = ReadMap(k);
        float nearest = 1.0f;
        for (float d : map)
            nearest = std::min(nearest, d);
        if (k < 3)
            EXPECT_FLOAT_EQ(nearest, 1.0f) << "map " << k;
        else
            EXPECT_LT(nearest, 1.0f) << "map " << k;
    }
}

TEST_F(ShadowRendering, APointLightRendersTheFaceTowardsTheCaster)
{
    zLight* bulb = MakeLight(zLight::TypePoint);
    FillMaps(0.5f);
    const uint32_t passes = renderer->statistics[zRenderer::StatQueuePasses];
    renderer->RenderLightShadow(bulb);
    EXPECT_EQ(renderer->statistics[zRenderer::StatQueuePasses], passes + 6);
    ASSERT_NE(static_cast<zGL3LightPrograms*>(bulb->rendererData)->cube, nullptr);
    // Face 0 looks along +z at the cube; the others see nothing.
    EXPECT_LT(At(ReadMap(0), MapSize / 2, MapSize / 2), 1.0f);
    for (int32_t k = 1; k < 6; ++k) {
        const std::vector<float> map = ReadMap(k);
        EXPECT_FLOAT_EQ(*std::min_element(map.begin(), map.end()), 1.0f) << "map " << k;
    }
}

TEST_F(ShadowRendering, TheFrameStateComesBackAfterTheMaps)
{
    ASSERT_TRUE(renderer->SetupDeferredFramebuffer(64, 48));
    zLight* bulb = MakeLight(zLight::TypePoint);
    renderer->SetViewport(3, 4, 50, 40);
    zMatrix4 model = zMatrix4::TranslationMatrix(zVector(1, 2, 3));
    renderer->SetModelMatrix(model, nullptr);
    renderer->glBindFramebuffer_(GL_FRAMEBUFFER_EXT, renderer->deferredFramebuffer);
    glDepthFunc(GL_LEQUAL);
    glCullFace(GL_FRONT);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    const zMatrix4 projection = renderer->projectionMatrix;
    const zMatrix4 view = renderer->viewMatrix;
    float glProjection[16], glModelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, glProjection);
    glGetFloatv(GL_MODELVIEW_MATRIX, glModelView);
    const zVector nearNormal = renderer->frustum.planes[zFrustum::Near].normal;

    renderer->RenderLightShadow(bulb);

    EXPECT_EQ(renderer->camera, viewer.get());
    EXPECT_EQ(std::memcmp(renderer->projectionMatrix.m, projection.m, sizeof projection.m), 0);
    EXPECT_EQ(std::memcmp(renderer->viewMatrix.m, view.m, sizeof view.m), 0);
    EXPECT_FLOAT_EQ(renderer->frustum.planes[zFrustum::Near].normal.z, nearNormal.z);
    float afterProjection[16], afterModelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, afterProjection);
    glGetFloatv(GL_MODELVIEW_MATRIX, afterModelView);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(afterProjection[i], glProjection[i]) << i;
        EXPECT_FLOAT_EQ(afterModelView[i], glModelView[i]) << i;
    }
    GLint viewport[4], binding = 0, depthFunc = 0, cullFace = 0, mode = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[1], 4);
    EXPECT_EQ(viewport[2], 50);
    EXPECT_EQ(viewport[3], 40);
    EXPECT_EQ(renderer->viewportWidth, 50);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
    EXPECT_EQ(GLuint(binding), renderer->deferredFramebuffer);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    glGetIntegerv(GL_CULL_FACE_MODE, &cullFace);
    EXPECT_EQ(cullFace, GL_FRONT);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLboolean depthWrites = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_EQ(depthWrites, GL_FALSE);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(GLenum(mode), renderer->matrixMode);
    // The attribute buffers are bound again on units 0 to 3.
    for (int32_t unit = 0; unit < 4; ++unit) {
        renderer->glActiveTexture_(GL_TEXTURE0 + unit);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLuint(bound), static_cast<zGL3TextureRecord*>(renderer->attrMaps[unit]->rendererData)->name)
            << "unit " << unit;
        EXPECT_NE(renderer->GetTextureUnitState(unit) & zGL3Renderer::UnitBound, 0u) << "unit " << unit;
    }
    renderer->glActiveTexture_(GL_TEXTURE0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // The shadow views culled the stack against the light; the viewer's cull
    // is the light loop's to redo, and the stack's entries are all still there.
    EXPECT_EQ(renderer->itemStackCount, 1);
}

// A renderer whose shadow structures cannot be allocated until allowed.
class StarvedRenderer : public zGL3Renderer {
public:
    using zGL3Renderer::zGL3Renderer;
    bool allow = false;

protected:
    PSSMStructure* AllocatePSSMStructure() override
    {
        return allow ? zGL3Renderer::AllocatePSSMStructure() : nullptr;
    }
    CubeShadowStructure* AllocateCubeShadowStructure() override
    {
        return allow ? zGL3Renderer::AllocateCubeShadowStructure() : nullptr;
    }
};

struct StarvedCase {
    const char* name;
    int32_t type;
    const char* method;
    const char* message;
};

void PrintTo(const StarvedCase& c, std::ostream* os)
{
    *os << c.name;
}

class ShadowAllocation : public GLRendererTest, public ::testing::WithParamInterface<StarvedCase> {};

TEST_P(ShadowAllocation, AFailureIsLoggedAndTheLightRetriesNextFrame)
{
    const StarvedCase& c = GetParam();
    // The starved renderer is the core's current one.
    renderer.reset();
    auto starved = std::make_unique<StarvedRenderer>(&core);
    starved->procResolver = &FakeDriver::Resolve;
    ASSERT_TRUE(starved->OpenVideoMode(64, 48, 32, zGL3Renderer::ModeHidden));
    starved->shadowMapSize = MapSize;
    ASSERT_TRUE(starved->SetupShadowMaps());
    starved->effectFlags |= zGL3Renderer::EffectLinearShadow;
    zCamera viewer(&core);
    viewer.UpdateWorldMatrix();
    starved->camera = &viewer;
    starved->ApplyCamera();
    {
        zLight light(&core);
        light.type = c.type;
        light.shadow = zLight::ShadowMap;
        light.UpdateWorldMatrix();
        ASSERT_TRUE(starved->SetupLight(&light));
        auto* programs = static_cast<zGL3LightPrograms*>(light.rendererData);
        LogCapture log;
        starved->RenderLightShadow(&light);
        EXPECT_TRUE(log.Contains(std::string("[!] ")));
        EXPECT_TRUE(log.Contains(c.method));
        EXPECT_TRUE(log.Contains(c.message));
        EXPECT_EQ(starved->statistics[zRenderer::StatQueuePasses], 0u);
        EXPECT_EQ(programs->pssm, nullptr);
        EXPECT_EQ(programs->cube, nullptr);
        EXPECT_EQ(starved->camera, &viewer);

        starved->allow = true;
        starved->RenderLightShadow(&light);
        EXPECT_EQ(starved->statistics[zRenderer::StatQueuePasses], 6u);
        EXPECT_TRUE(programs->pssm != nullptr || programs->cube != nullptr);
        starved->FreeLight(&light);
    }
    starved.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShadowAllocation,
    ::testing::Values(StarvedCase{"ParallelSplits", zLight::TypeParallel, "zGL3Renderer::LightRenderPSSM",
                                  "Failed to allocate PSSM structure."},
                      StarvedCase{"PointCube", zLight::TypePoint, "zGL3Renderer::LightRenderPSM",
                                  "Failed to allocate point shadow map structure."}),
    [](const ::testing::TestParamInfo<StarvedCase>& info) { return std::string(info.param.name); });

// ---- A shadow in the deferred frame -------------------------------------------

constexpr int32_t FrameWidth = 80;
constexpr int32_t FrameHeight = 60;

// A square ground at y = 0 facing up, half-size h.
void FillGround(zGeometry& g, float h)
{
    g.vertexCount = 4;
    // Seen from above: x then z keeps the corner order of FillQuad.
    g.vertices = new zVector[4]{{-h, 0, -h}, {-h, 0, h}, {h, 0, h}, {h, 0, -h}};
    g.bindingCount = 4;
    g.bindingIndices = new int32_t[4]{0, 1, 2, 3};
    g.polygonCount = 1;
    g.polygons = new zPolygon[1];
    g.polygons[0].vertexCount = 4;
    g.polygons[0].indices = g.bindingIndices;
    g.vertexNormals = new zVector[4];
    for (int i = 0; i < 4; ++i)
        g.vertexNormals[i] = zVector(0.0f, 1.0f, 0.0f);
    g.AllocateMaterials(1, true);
    g.materials[0]->name = "ground";
}

// A cube floating over a ground, lit by a shadowed spot light from the
// side: its shadow falls on the ground away from the cube, where the camera
// sees it.
class DeferredShadowScene : public GLRendererTest {
protected:
    void SetUp() override
    {
        GLRendererTest::SetUp();
        renderer->effectFlags |= zGL3Renderer::EffectShadowMapping;
        ASSERT_TRUE(Open(FrameWidth, FrameHeight));
        ASSERT_EQ(renderer->optionFlags & zGL3Renderer::OptionDisableShader, 0u) << "no deferred frame";
        zGeometry* ground = zGeometry::New(&core, "ground");
        FillGround(*ground, 6.0f);
        Finish(ground, {0.8f, 0.8f, 0.8f, 1.0f});
        zGeometry* box = zGeometry::New(&core, "box");
        FillCube(*box, zVector(0.0f, 1.5f, 0.0f), 0.75f);
        Finish(box, {0.9f, 0.3f, 0.2f, 1.0f});
        camera = std::make_unique<zCamera>(&core);
        camera->position = zVector(0.0f, 6.0f, -9.0f);
        const zVector look(0.0f, 0.0f, 0.0f);
        camera->SetTarget(&look);
        camera->UpdateWorldMatrix();
        spot = std::make_unique<zLight>(&core);
        spot->type = zLight::TypeSpot;
        spot->shadow = zLight::ShadowMap;
        spot->position = LightPosition;
        const zVector aim(0.0f, 1.5f, 0.0f);
        spot->SetTarget(&aim);
        spot->coneAngle = 0.45f;
        spot->edgeAngle = 0.1f;
        // Near and far hug the scene: the light programs compare depth as
        // stored, where the default bias needs a fine depth range.
        spot->zNear = 4.0f;
        spot->zFar = 20.0f;
        spot->UpdateWorldMatrix();
        ASSERT_TRUE(renderer->SetupLight(spot.get()));
        source.lights = {spot.get()};
        source.ambient[0] = source.ambient[1] = source.ambient[2] = 0.15f;
        renderer->propertyCallback = &LightSource::Callback;
        renderer->propertyContext = &source;
    }
    void TearDown() override
    {
        objects.clear();
        spot.reset();
        GLRendererTest::TearDown();
    }

    void Finish(zGeometry* g, zColor diffuse)
    {
        g->materials[0]->flags = zMaterial::FlagLit;
        g->materials[0]->diffuse = diffuse;
        g->materials[0]->shaderMap = g->materials[0]->AsShaderMap();
        g->Setup();
        auto object = std::make_unique<zObject>(&core);
        object->SetGeometry(g, false);
        object->UpdateWorldMatrix();
        objects.push_back(std::move(object));
    }

    std::vector<uint8_t> DrawFrame()
    {
        renderer->Clear(0.0f, 0.0f, 0.0f, 1.0f, 0);
        renderer->camera = camera.get();
        renderer->ApplyCamera();
        renderer->ResetItemStack();
        for (auto& o : objects)
            o->PushToRenderer();
        renderer->RenderQueue();
        return ReadBack(FrameWidth, FrameHeight);
    }

    // The brightness (sum of channels) at a world point on screen.
    int Brightness(const std::vector<uint8_t>& image, const zVector& p)
    {
        zVector v = p;
        v.w = 1.0f;
        zVector clip;
        const zVector eye = v.Transform(camera->inverseWorldMatrix);
        zVector e4 = eye;
        e4.w = 1.0f;
        renderer->projectionMatrix.TransformArray4(&clip, &e4, 1);
        const int32_t x = int32_t((clip.x / clip.w + 1.0f) * 0.5f * FrameWidth);
        const int32_t y = int32_t((clip.y / clip.w + 1.0f) * 0.5f * FrameHeight);
        EXPECT_TRUE(x >= 0 && x < FrameWidth && y >= 0 && y < FrameHeight) << x << "," << y;
        const uint8_t* c = &image[(size_t(std::clamp(y, 0, FrameHeight - 1)) * FrameWidth +
                                   size_t(std::clamp(x, 0, FrameWidth - 1))) * 3];
        return c[0] + c[1] + c[2];
    }

    static inline const zVector LightPosition{6.0f, 8.0f, 0.0f};

    std::vector<std::unique_ptr<zObject>> objects;
    std::unique_ptr<zCamera> camera;
    std::unique_ptr<zLight> spot;
    LightSource source;
};

// The frame against its reference image: a few edge channels may differ.
void ExpectReferenceFrame(const std::vector<uint8_t>& image, int32_t width, int32_t height, const char* name)
{
    ExpectReferenceImage(image, width, height, name, 6, 24);
}

struct GroundPoint {
    zVector at;
    bool shadowed;
};

// The cube's corners seen from the light land on the ground between
// x = -3.39 and 0.21, |z| up to 1.04: points inside are in its shadow, points
// around it are not.
const GroundPoint GroundPoints[] = {
    {{-1.4f, 0.0f, 0.0f}, true},   {{-2.6f, 0.0f, 0.3f}, true},  {{-0.8f, 0.0f, -0.6f}, true},
    {{-2.5f, 0.0f, 1.7f}, false},  {{-4.2f, 0.0f, 0.0f}, false}, {{-1.4f, 0.0f, -1.8f}, false},
    {{1.8f, 0.0f, 0.0f}, false}};

// Ambient only: the light adds nothing.
const int AmbientOnly = 3 * int(0.15f * 0.8f * 255.0f + 0.5f);

TEST_F(DeferredShadowScene, TheCubeShadowsTheGroundWhereTheLightIsBlocked)
{
    const std::vector<uint8_t> shadowed = DrawFrame();
    ExpectReferenceFrame(shadowed, FrameWidth, FrameHeight, "shadow_spot_cube");
    for (const GroundPoint& p : GroundPoints) {
        const int brightness = Brightness(shadowed, p.at);
        if (p.shadowed)
            EXPECT_NEAR(brightness, AmbientOnly, 12) << p.at.x << ", " << p.at.z;
        else
            EXPECT_GT(brightness, AmbientOnly + 150) << p.at.x << ", " << p.at.z;
    }
    // Without shadow mapping the same light reaches the ground under the cube.
    renderer->effectFlags &= ~uint32_t(zGL3Renderer::EffectShadowMapping);
    renderer->UpdateLight(spot.get());
    const std::vector<uint8_t> plain = DrawFrame();
    EXPECT_GT(Brightness(plain, zVector(-1.4f, 0.0f, 0.0f)), AmbientOnly + 150);
}

// The same light with the near and far distances scenes give it, shadowed or
// not, and a point or parallel light in its place: a shadowed light darkens
// exactly the ground behind the cube, whatever its depth range; an unshadowed
// one lights every ground point. (The parallel light's shadow covers the same
// points as the spot light's.)
struct LightRangeCase {
    const char* name;
    int32_t type;
    float zNear;
    float zFar;
    int32_t shadow;
    float specular;
};

void PrintTo(const LightRangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class LightsOverTheCube : public DeferredShadowScene, public ::testing::WithParamInterface<LightRangeCase> {};

TEST_P(LightsOverTheCube, ShadowOnlyWhereTheCubeBlocksTheLight)
{
    const LightRangeCase& c = GetParam();
    spot->type = c.type;
    renderer->effectFlags |= zGL3Renderer::EffectLinearShadow;
    spot->zNear = c.zNear;
    spot->zFar = c.zFar;
    spot->shadow = c.shadow;
    spot->specularIntensity = c.specular;
    spot->UpdateWorldMatrix();
    renderer->UpdateLight(spot.get());
    const std::vector<uint8_t> image = DrawFrame();
    const bool shadowed = c.shadow == zLight::ShadowMap;
    for (const GroundPoint& p : GroundPoints) {
        const int brightness = Brightness(image, p.at);
        if (shadowed && p.shadowed)
            EXPECT_NEAR(brightness, AmbientOnly, 12) << p.at.x << ", " << p.at.z;
        else
            EXPECT_GT(brightness, AmbientOnly + 150) << p.at.x << ", " << p.at.z;
    }
}

INSTANTIATE_TEST_SUITE_P(
    DeferredShadowScene, LightsOverTheCube,
    ::testing::Values(
        LightRangeCase{"Near2Far30", zLight::TypeSpot, 2.0f, 30.0f, zLight::ShadowMap, 0.0f},
        LightRangeCase{"Near2DefaultFar", zLight::TypeSpot, 2.0f, zLight::DefaultZFar, zLight::ShadowMap, 0.0f},
        LightRangeCase{"SmallestScriptNearDefaultFar", zLight::TypeSpot, zLight::MinTagZNear, zLight::DefaultZFar,
                       zLight::ShadowMap, 0.0f},
        LightRangeCase{"DefaultNearAndFar", zLight::TypeSpot, zLight::DefaultZNear, zLight::DefaultZFar,
                       zLight::ShadowMap, 0.0f},
        LightRangeCase{"SpecularNear2DefaultFar", zLight::TypeSpot, 2.0f, zLight::DefaultZFar, zLight::ShadowMap,
                       1.0f},
        LightRangeCase{"PointLight", zLight::TypePoint, zLight::DefaultZNear, zLight::DefaultZFar, zLight::ShadowMap,
                       0.0f},
        LightRangeCase{"ParallelLight", zLight::TypeParallel, zLight::DefaultZNear, zLight::DefaultZFar,
                       zLight::ShadowMap, 0.0f},
        LightRangeCase{"UnshadowedNear2Far30", zLight::TypeSpot, 2.0f, 30.0f, zLight::ShadowNone, 0.0f},
        LightRangeCase{"UnshadowedSpecular", zLight::TypeSpot, 2.0f, 30.0f, zLight::ShadowNone, 1.0f},
        LightRangeCase{"UnshadowedDefaultNearAndFar", zLight::TypeSpot, zLight::DefaultZNear, zLight::DefaultZFar,
                       zLight::ShadowNone, 0.0f}),
    [](const ::testing::TestParamInfo<LightRangeCase>& info) { return std::string(info.param.name); });

// The camera inside a light's volume, which reaches far past the camera's far
// plane (the default volume range of 500 against a far plane at 40): the
// volume's far side is cut off there, yet the ground in view must be lit.
class FarReachingVolumes : public DeferredShadowScene, public ::testing::WithParamInterface<int32_t> {};

TEST_P(FarReachingVolumes, StillLightTheGroundInView)
{
    spot->type = GetParam();
    spot->shadow = zLight::ShadowNone;
    spot->position = zVector(0.0f, 7.0f, -11.0f);
    const zVector aim(0.0f, 0.0f, 0.0f);
    spot->SetTarget(&aim);
    spot->coneAngle = 0.6f;
    spot->zNear = 0.5f;
    spot->zFar = zLight::DefaultZFar;
    spot->range = 60.0f;
    spot->UpdateWorldMatrix();
    renderer->UpdateLight(spot.get());
    camera->zFar = 40.0f;
    camera->UpdateWorldMatrix();
    const std::vector<uint8_t> image = DrawFrame();
    for (const GroundPoint& p : GroundPoints)
        EXPECT_GT(Brightness(image, p.at), AmbientOnly + 100) << p.at.x << ", " << p.at.z;
}

INSTANTIATE_TEST_SUITE_P(DeferredShadowScene, FarReachingVolumes,
                         ::testing::Values(int32_t(zLight::TypeSpot), int32_t(zLight::TypePoint)),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return std::string(info.param == zLight::TypeSpot ? "SpotLight" : "PointLight");
                         });

} // namespace
