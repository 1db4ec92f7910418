#include "CoreTestSupport.h"
#include "ResourceTestSupport.h"
#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/light/zLight.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zFrustum.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "support/ZmlText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float Degree = 0.017453292f;

void ExpectPoint(const zVector& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

TEST(LightTest, ConstructorValuesAndItemOperations)
{
    zLight light(nullptr);
    EXPECT_EQ(light.type, zLight::TypePoint);
    EXPECT_EQ(light.shadow, zLight::ShadowNone);
    EXPECT_EQ(light.zNear, 0.001f);
    EXPECT_EQ(light.zFar, 500.0f);
    EXPECT_EQ(light.clipDistance, 300.0f);
    EXPECT_EQ(light.coneAngle, 0.5235988f);
    EXPECT_EQ(light.edgeAngle, 0.5235988f);
    EXPECT_EQ(light.diffuse.a, 1.0f);
    EXPECT_EQ(light.specularIntensity, 0.0f);
    zItem* item = &light;
    EXPECT_EQ(item->GetFrustum(), nullptr);
    item->SetZNear(0.02f);
    item->SetZFar(40.0f);
    EXPECT_EQ(item->GetZNear(), 0.02f);
    EXPECT_EQ(item->GetZFar(), 40.0f);
}

// Records the lights it is asked to free.
class FreeLightRenderer : public RecordingRenderer {
public:
    using RecordingRenderer::RecordingRenderer;
    void FreeLight(zLight* light) override { freed.push_back(light); }
    std::vector<zLight*> freed;
};

TEST(LightTest, DestructionAsksTheRendererToFreeItsData)
{
    Tavrin core;
    FreeLightRenderer renderer(&core, true);
    zLight* light = new zLight(&core);
    const zLight* address = light;
    zItem* item = light;
    delete item;
    ASSERT_EQ(renderer.freed.size(), 1u);
    EXPECT_EQ(renderer.freed[0], address);
    zLight loose(nullptr); // no core, nothing to ask
}

// One light sampled at one point. Lights sit at position, turned by rotation
// (radians, the item's default order); a spot shines along its local +z.
struct EnergyCase {
    const char* name;
    int32_t type;
    zVector position;
    zVector rotation;
    float range;
    float cone;
    float edge;
    zVector point;
    zVector normal;
    bool lit;
    float diffuse;
};

// Names the case in test listings and failure messages.
void PrintTo(const EnergyCase& c, std::ostream* out)
{
    *out << c.name;
}

class LightEnergyTest : public ::testing::TestWithParam<EnergyCase> {};

TEST_P(LightEnergyTest, DiffuseEnergyAtHandComputedPoints)
{
    const EnergyCase& c = GetParam();
    zLight light(nullptr);
    light.type = c.type;
    light.position = c.position;
    light.rotation = c.rotation;
    light.range = c.range;
    light.coneAngle = c.cone;
    light.edgeAngle = c.edge;
    light.diffuseIntensity = 2.0f;
    light.UpdateWorldMatrix();

    float diffuse = -5.0f;
    EXPECT_EQ(light.SampleEnergy(c.point, c.normal, &diffuse, nullptr, nullptr, 0.5f, false, false), c.lit);
    if (c.lit)
        EXPECT_NEAR(diffuse, 2.0f * c.diffuse, 1e-5f);
    else
        EXPECT_EQ(diffuse, -5.0f) << "an unlit point leaves the output alone";
}

const float Cone = 30 * Degree;
const zVector Up(0, 0, 1);
const zVector NoTurn(0, 0, 0);

const EnergyCase energyCases[] = {
    {"PointOverhead", zLight::TypePoint, {0, 0, 10}, NoTurn, 0, Cone, Cone, {0, 0, 0}, Up, true, 1.0f},
    {"PointAtAnAngle", zLight::TypePoint, {3, 0, 4}, NoTurn, 0, Cone, Cone, {0, 0, 0}, Up, true, 0.8f},
    {"PointRangeHalfway", zLight::TypePoint, {0, 0, 5}, NoTurn, 10, Cone, Cone, {0, 0, 0}, Up, true, 0.5f},
    {"PointRangeReached", zLight::TypePoint, {0, 0, 10}, NoTurn, 10, Cone, Cone, {0, 0, 0}, Up, false, 0},
    {"PointBeyondRange", zLight::TypePoint, {0, 0, 12}, NoTurn, 10, Cone, Cone, {0, 0, 0}, Up, false, 0},
    {"PointNoRangeFarAway", zLight::TypePoint, {0, 0, 1000}, NoTurn, 0, Cone, Cone, {0, 0, 0}, Up, true, 1.0f},
    {"PointOnTheLight", zLight::TypePoint, {1, 2, 3}, NoTurn, 5, Cone, Cone, {1, 2, 3}, Up, true, 0.0f},
    {"PointEdgeOn", zLight::TypePoint, {0, 0, 10}, NoTurn, 0, Cone, Cone, {0, 0, 0}, {1, 0, 0}, true, 0.0f},
    {"PointFacingAway", zLight::TypePoint, {0, 0, 10}, NoTurn, 0, Cone, Cone, {0, 0, 0}, {0, 0, -1}, false, 0},
    {"AreaLikeAPoint", zLight::TypeArea, {3, 0, 4}, NoTurn, 10, Cone, Cone, {0, 0, 0}, Up, true, 0.8f * 0.5f},
    // Parallel: L = -(local +z); position and range play no part.
    {"ParallelHeadOn", zLight::TypeParallel, {0, 0, 0}, NoTurn, 1, Cone, Cone, {0, 0, 1000}, {0, 0, -1}, true, 1.0f},
    {"ParallelSlanted", zLight::TypeParallel, {0, 0, 0}, NoTurn, 0, Cone, Cone, {5, 5, 5}, {0, 0.6f, -0.8f}, true,
     0.8f},
    {"ParallelTurnedDown", zLight::TypeParallel, {0, 0, 0}, {90 * Degree, 0, 0}, 0, Cone, Cone, {0, 0, 0},
     {0, 1, 0}, true, 1.0f},
    {"ParallelFromBehind", zLight::TypeParallel, {0, 0, 0}, NoTurn, 0, Cone, Cone, {0, 0, 0}, Up, false, 0},
    // Spot at the origin shining along +z, cone 30 degrees, fade ring 30 degrees.
    {"SpotOnAxis", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, Cone, Cone, {0, 0, 5}, {0, 0, -1}, true, 1.0f},
    {"SpotInsideCone", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, Cone, Cone, {1, 0, 5}, {-1, 0, 0}, true,
     1.0f / std::sqrt(26.0f)},
    // 45 degrees: halfway through the ring, h = 0.5; n = cos 45.
    {"SpotInTheRing", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, Cone, Cone, {5, 0, 5}, {-1, 0, 0}, true,
     0.5f * 0.70710678f},
    {"SpotRingWithRange", zLight::TypeSpot, {0, 0, 0}, NoTurn, 10 * std::sqrt(2.0f), Cone, Cone, {5, 0, 5},
     {-1, 0, 0}, true, 0.5f * 0.5f * 0.70710678f},
    {"SpotOutsideTheRing", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, Cone, Cone, {5, 0, 1}, {-1, 0, 0}, false, 0},
    {"SpotBehind", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, Cone, Cone, {0, 0, -5}, Up, false, 0},
    // Turned to shine along +x.
    {"SpotTurned", zLight::TypeSpot, {1, 0, 0}, {0, 90 * Degree, 0}, 0, Cone, Cone, {4, 0, 0}, {-1, 0, 0}, true,
     1.0f},
    {"SpotNarrowRing", zLight::TypeSpot, {0, 0, 0}, NoTurn, 0, 40 * Degree, 10 * Degree, {5, 0, 5}, {-1, 0, 0},
     true, 0.5f * 0.70710678f},
};

INSTANTIATE_TEST_SUITE_P(Cases, LightEnergyTest, ::testing::ValuesIn(energyCases),
                         [](const ::testing::TestParamInfo<EnergyCase>& info) { return info.param.name; });

TEST(LightEnergyTest, SpotFadeIsFullAtTheConeAndReachesZeroAtItsRim)
{
    zLight light(nullptr);
    light.type = zLight::TypeSpot;
    light.coneAngle = 20 * Degree;
    light.edgeAngle = 10 * Degree;
    light.UpdateWorldMatrix();
    // Points on a unit circle about the light, with the normal facing it.
    auto sample = [&](float angle, float& diffuse) {
        const zVector p(std::sin(angle), 0, std::cos(angle));
        return light.SampleEnergy(p, p * -1.0f, &diffuse, nullptr, nullptr, 0, false, false);
    };
    float d = 0;
    ASSERT_TRUE(sample(20 * Degree - 1e-4f, d));
    EXPECT_NEAR(d, 1.0f, 1e-5f);
    ASSERT_TRUE(sample(25 * Degree, d));
    EXPECT_NEAR(d, 0.5f, 1e-4f);
    ASSERT_TRUE(sample(30 * Degree - 1e-4f, d));
    EXPECT_NEAR(d, 0.0f, 1e-3f);
    EXPECT_FALSE(sample(30 * Degree + 1e-3f, d));
}

// A point on the axis behind a turned spot, where the cosine between the axis
// and the ray rounds to just below -1: it must be unlit, not fully lit.
TEST(LightEnergyTest, PointsBehindASpotStayDarkWhenTheCosineRoundsPastMinusOne)
{
    struct Turn {
        float yaw;
        float distance;
    };
    const Turn turns[] = {{0.0291f, 3}, {0.1164f, 1}, {0.2037f, 1}, {0.2328f, 3}, {0.291f, 7}};
    int pastMinusOne = 0;
    for (const Turn& t : turns) {
        zLight light(nullptr);
        light.type = zLight::TypeSpot;
        light.rotation = zVector(0, t.yaw, 0);
        light.UpdateWorldMatrix();
        const zVector axis = light.worldMatrix.GetRow(2);
        const zVector point = light.worldMatrix.GetRow(3) - axis * t.distance;
        // The same steps as the lighting model, to show the case is met.
        const zVector d = light.worldMatrix.GetRow(3) - point;
        const zVector l = d * (1.0f / d.Length());
        pastMinusOne += axis.Normalized().Dot(-l) < -1.0f ? 1 : 0;

        float diffuse = -5.0f;
        EXPECT_FALSE(light.SampleEnergy(point, axis, &diffuse, nullptr, nullptr, 0, false, false)) << t.yaw;
        EXPECT_EQ(diffuse, -5.0f);
    }
    EXPECT_GT(pastMinusOne, 0) << "no case rounded past -1";
}

// Light overhead at (0, 0, 10), point at the origin facing up, specular
// intensity 0.5. Eye at (0, 3, 4): V = (0, -0.6, -0.8).
struct SpecularCase {
    const char* name;
    zVector view;
    bool hasView;
    bool blinn;
    float glossiness;
    float range;
    float specular;
    float diffuse;
};

// Names the case in test listings and failure messages.
void PrintTo(const SpecularCase& c, std::ostream* out)
{
    *out << c.name;
}

class LightSpecularTest : public ::testing::TestWithParam<SpecularCase> {};

TEST_P(LightSpecularTest, SpecularEnergyOfEachModel)
{
    const SpecularCase& c = GetParam();
    zLight light(nullptr);
    light.position = zVector(0, 0, 10);
    light.range = c.range;
    light.specularIntensity = 0.5f;
    light.UpdateWorldMatrix();
    float diffuse = -1.0f;
    float specular = -1.0f;
    LogCapture capture;
    ASSERT_TRUE(light.SampleEnergy(zVector(0, 0, 0), Up, &diffuse, &specular, c.hasView ? &c.view : nullptr,
                                   c.glossiness, c.blinn, false));
    EXPECT_NEAR(specular, c.specular, 1e-6f);
    EXPECT_NEAR(diffuse, c.diffuse, 1e-6f);
    EXPECT_TRUE(capture.lines.empty());
}

const SpecularCase specularCases[] = {
    // Reflection straight back at the light: s = 1.
    {"PhongPeak", {0, 0, -2}, true, false, 0.5f, 0, 0.5f, 1.0f},
    {"PhongPeakAttenuated", {0, 0, -2}, true, false, 0.5f, 20, 0.25f, 0.5f},
    // R = (0, -0.6, 0.8), s = 0.8, exponent 24.
    {"PhongOffPeak", {0, -3, -4}, true, false, 0.25f, 0, 0.5f * 0.0047223665f, 1.0f},
    // H = normalise(0, 0.6, 1.8), s^2 = 0.9, s^24 = 0.9^12.
    {"BlinnOffPeak", {0, -3, -4}, true, true, 0.25f, 0, 0.5f * 0.28242954f, 1.0f},
    // The eye under the surface: s < 0.
    {"PhongFromBelow", {0, 0, 1}, true, false, 0.25f, 0, 0.0f, 1.0f},
    {"NoView", {0, 0, -1}, false, false, 0.25f, 0, 0.0f, 1.0f},
    // Exponent 0: any s > 0 gives 1.
    {"ZeroGlossiness", {0, -3, -4}, true, false, 0.0f, 0, 0.5f, 1.0f},
};

INSTANTIATE_TEST_SUITE_P(Cases, LightSpecularTest, ::testing::ValuesIn(specularCases),
                         [](const ::testing::TestParamInfo<SpecularCase>& info) { return info.param.name; });

TEST(LightEnergyTest, CookTorranceWarnsEveryCallAndGivesNoSpecular)
{
    zLight light(nullptr);
    light.position = zVector(0, 0, 10);
    light.specularIntensity = 1.0f;
    light.UpdateWorldMatrix();
    const zVector view(0, 0, -1);
    LogCapture capture;
    for (int call = 0; call < 2; ++call) {
        float diffuse = -1.0f;
        float specular = -1.0f;
        ASSERT_TRUE(light.SampleEnergy(zVector(0, 0, 0), Up, &diffuse, &specular, &view, 0.5f, true, true));
        EXPECT_EQ(specular, 0.0f);
        EXPECT_NEAR(diffuse, 1.0f, 1e-6f);
    }
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_TRUE(capture.Contains("[*] zLight::SampleEnergy"));
    EXPECT_TRUE(capture.Contains("Cook-Torrance specular model not implemented."));
}

TEST(LightEnergyTest, OnlyTheRequestedOutputIsWritten)
{
    zLight light(nullptr);
    light.position = zVector(0, 0, 10);
    light.specularIntensity = 1.0f;
    light.UpdateWorldMatrix();
    const zVector view(0, 0, -1);
    EXPECT_FALSE(light.SampleEnergy(zVector(0, 0, 0), Up, nullptr, nullptr, &view, 0.5f, false, false));
    float specular = -1.0f;
    ASSERT_TRUE(light.SampleEnergy(zVector(0, 0, 0), Up, nullptr, &specular, &view, 0.5f, false, false));
    EXPECT_NEAR(specular, 1.0f, 1e-6f);
}

TEST(LightProjectionTest, SpotProjectionIsSquareAndMatchesItsFrustum)
{
    zLight light(nullptr);
    light.type = zLight::TypeSpot;
    light.coneAngle = 30 * Degree;
    light.edgeAngle = 15 * Degree;
    light.zNear = 1.0f;
    light.zFar = 11.0f;
    light.position = zVector(2, 3, -1);
    light.rotation = zVector(0.4f, -0.9f, 0.2f);
    light.UpdateWorldMatrix();

    zMatrix4 m;
    light.GetProjectionMatrix(m);
    // c = cot 45 = 1, q = 11 / 10.
    EXPECT_NEAR(m.m[0], 1.0f, 1e-6f);
    EXPECT_NEAR(m.m[5], 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(m.m[10], 1.1f);
    EXPECT_FLOAT_EQ(m.m[11], -1.1f);
    EXPECT_EQ(m.m[14], 1.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15})
        EXPECT_EQ(m.m[i], 0.0f) << "element " << i;

    // UpdateWorldMatrix refreshed the light's own frustum; its corners land
    // on the clip-volume corners.
    const float sx[4] = {-1, 1, 1, -1};
    const float sy[4] = {1, 1, -1, -1};
    for (int i = 0; i < 8; ++i) {
        const zVector local = light.frustum.corners[i].Transform(light.inverseWorldMatrix);
        zVector in(local.x, local.y, local.z, 1.0f);
        zVector clip;
        m.TransformArray4(&clip, &in, 1);
        ExpectPoint(zVector(clip.x / clip.w, clip.y / clip.w, clip.z / clip.w), sx[i % 4], sy[i % 4],
                    i < 4 ? 0.0f : 1.0f, 1e-4f);
    }
    // Explicit distances replace near and far; -1 takes the light's own.
    zFrustum f;
    light.ComputeFrustum(f, 2.0f, -1.0f);
    ExpectPoint(f.corners[0].Transform(light.inverseWorldMatrix), -2, 2, 2, 1e-4f);
    ExpectPoint(f.corners[4].Transform(light.inverseWorldMatrix), -11, 11, 11, 1e-3f);
}

TEST(LightProjectionTest, OtherKindsHaveAnIdentityProjectionAndNoFrustum)
{
    for (int32_t type : {zLight::TypeNone, zLight::TypePoint, zLight::TypeParallel, zLight::TypeArea}) {
        zLight light(nullptr);
        light.type = type;
        light.position = zVector(1, 2, 3);
        light.UpdateWorldMatrix();
        zMatrix4 m;
        m.m[3] = 5.0f;
        light.GetProjectionMatrix(m);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(m.m[i], IdentityMatrix4.m[i]);
        zFrustum f;
        f.corners[0] = zVector(7, 7, 7);
        light.ComputeFrustum(f, -1.0f, -1.0f);
        ExpectPoint(f.corners[0], 7, 7, 7);
    }
}

TEST(LightProjectionTest, ZeroConeOrDepthRangeWarnsAndStaysFinite)
{
    struct Case {
        float cone;
        float edge;
        float zNear;
        float zFar;
        const char* warning;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.1f, 10.0f, "Spot cone angle is zero."},
        {0.3f, 0.2f, 4.0f, 4.0f, "Far distance equals near distance (4.000)."},
    };
    for (const Case& c : cases) {
        zLight light(nullptr);
        light.type = zLight::TypeSpot;
        light.coneAngle = c.cone;
        light.edgeAngle = c.edge;
        light.zNear = c.zNear;
        light.zFar = c.zFar;
        LogCapture capture;
        zMatrix4 m;
        light.GetProjectionMatrix(m);
        for (float e : m.m)
            EXPECT_TRUE(std::isfinite(e));
        EXPECT_TRUE(capture.Contains("[*] zLight::GetProjectionMatrix"));
        EXPECT_TRUE(capture.Contains(c.warning)) << c.warning;
    }
}

// ZML reading and writing.

TEST(LightTagTest, DefaultLightWritesItemAndTheVolumetricSteps)
{
    zLight light(nullptr);
    std::unique_ptr<zMetaTag> tag(light.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().Get(), "Light");
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"Item", "VolumetricSampleStep", "VolumetricThickness"}));
    // Alpha alone does not count as a colour change.
    light.diffuse.a = 0.5f;
    light.specular.r = 1.0f + 5e-7f;
    std::unique_ptr<zMetaTag> again(light.AsMetaTag());
    EXPECT_EQ(ChildNames(again.get()).size(), 3u);
}

TEST(LightTagTest, EveryFieldRoundTripsThroughText)
{
    zLight light(nullptr);
    light.position = zVector(4, 5, 6);
    light.type = zLight::TypeSpot;
    light.shadow = zLight::ShadowStencil;
    light.shadowRange = 50.0f;
    light.shadowBias = 0.02f;
    light.shadowDistribution = 0.5f;
    light.volumetric = 1;
    light.volumetricSampleStep = 0.25f;
    light.volumetricThickness = 3.0f;
    light.zNear = 0.5f;
    light.falloff = zLight::FalloffInvDist2;
    light.range = 40.0f;
    light.zFar = 90.0f;
    light.clipDistance = 80.0f;
    zTexture map(nullptr, "maps/spot.tga");
    light.projectionMap = &map;
    light.diffuse = zColor(1.0f, 0.5f, 0.25f, 0.75f);
    light.specular = zColor(0.0f, 1.0f, 1.0f, 1.0f);
    light.diffuseIntensity = 3.0f;
    light.specularIntensity = 0.75f;
    light.coneAngle = 0.25f;
    light.edgeAngle = 0.125f;
    light.shader.Assign("SpotShader");

    std::unique_ptr<zMetaTag> tag(light.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"Item", "Type", "Shadow", "ShadowRange", "ShadowBias", "ShadowDistribution",
                                        "Volumetric", "VolumetricSampleStep", "VolumetricThickness", "ZNear",
                                        "Falloff", "Range", "VolumeRange", "ClipDistance", "ProjectionMap",
                                        "Diffuse", "Specular", "DiffuseIntensity", "SpecularIntensity", "ConeAngle",
                                        "EdgeAngle", "Shader"}));
    EXPECT_STREQ(tag->FindChild("Type")->GetString(), "Spot");
    EXPECT_STREQ(tag->FindChild("Shadow")->GetString(), "Stencil");
    EXPECT_STREQ(tag->FindChild("Falloff")->GetString(), "InvDist2");
    EXPECT_STREQ(tag->FindChild("ProjectionMap")->GetString(), "maps/spot.tga");
    tag->GetChildren().Remove(tag->FindChild("ProjectionMap"), true);

    zMetaFile document;
    document.AddRootTag(tag.release());
    std::string text;
    ASSERT_TRUE(zMetaParser::SaveText(&document, text));
    auto parsed = ParseZml(text);
    zLight read(nullptr);
    LogCapture capture;
    ASSERT_TRUE(read.FromMetaTag(parsed.get(), parsed->GetFirstRootTag()));
    EXPECT_TRUE(capture.lines.empty());
    ExpectPoint(read.position, 4, 5, 6);
    EXPECT_EQ(read.type, zLight::TypeSpot);
    EXPECT_EQ(read.shadow, zLight::ShadowStencil);
    EXPECT_FLOAT_EQ(read.shadowRange, 50.0f);
    EXPECT_FLOAT_EQ(read.shadowBias, 0.02f);
    EXPECT_FLOAT_EQ(read.shadowDistribution, 0.5f);
    EXPECT_EQ(read.volumetric, 1);
    EXPECT_FLOAT_EQ(read.volumetricSampleStep, 0.25f);
    EXPECT_FLOAT_EQ(read.volumetricThickness, 3.0f);
    EXPECT_FLOAT_EQ(read.zNear, 0.5f);
    EXPECT_EQ(read.falloff, zLight::FalloffInvDist2);
    EXPECT_FLOAT_EQ(read.range, 40.0f);
    EXPECT_FLOAT_EQ(read.zFar, 90.0f);
    EXPECT_FLOAT_EQ(read.clipDistance, 80.0f);
    EXPECT_FLOAT_EQ(read.diffuse.g, 0.5f);
    EXPECT_FLOAT_EQ(read.diffuse.b, 0.25f);
    EXPECT_FLOAT_EQ(read.diffuse.a, 0.75f);
    EXPECT_FLOAT_EQ(read.specular.r, 0.0f);
    EXPECT_FLOAT_EQ(read.diffuseIntensity, 3.0f);
    EXPECT_FLOAT_EQ(read.specularIntensity, 0.75f);
    EXPECT_FLOAT_EQ(read.coneAngle, 0.25f);
    EXPECT_FLOAT_EQ(read.edgeAngle, 0.125f);
    EXPECT_STREQ(read.shader.Get(), "SpotShader");
}

TEST(LightTagTest, ProjectionMapComesThroughTheTextureCacheAndIsWrittenByName)
{
    ResourceFiles files;
    files.Write("spot.tga", MakeTga(4, 2));
    Tavrin core;
    zLight light(&core);
    auto document = ParseZml("<ZML=1.0>\n<Light=<ProjectionMap=\"spot.tga\">>\n<Light=<ProjectionMap=\"spot.tga\">>\n");
    ASSERT_TRUE(light.FromMetaTag(document.get(), document->GetFirstRootTag()));
    zTexture* map = light.projectionMap;
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(map->id.Get(), "spot.tga");
    EXPECT_EQ(map->picture.width, 4);
    EXPECT_TRUE(core.GetTextures().Contains(map));
    zLight other(&core);
    ASSERT_TRUE(other.FromMetaTag(document.get(), document->GetFirstRootTag()->GetNextSibling()));
    EXPECT_EQ(other.projectionMap, map) << "the cached texture is shared";

    std::unique_ptr<zMetaTag> tag(light.AsMetaTag());
    ASSERT_NE(tag->FindChild("ProjectionMap"), nullptr);
    EXPECT_STREQ(tag->FindChild("ProjectionMap")->GetString(), "spot.tga");

    // A missing file still gives an (empty) cached texture; a value that is
    // not a text names none.
    LogCapture capture;
    auto missing = ParseZml("<ZML=1.0>\n<Light=<ProjectionMap=\"gone.tga\">>\n<Light=<ProjectionMap=3>>\n");
    ASSERT_TRUE(light.FromMetaTag(missing.get(), missing->GetFirstRootTag()));
    ASSERT_NE(light.projectionMap, nullptr);
    EXPECT_STREQ(light.projectionMap->id.Get(), "gone.tga");
    EXPECT_TRUE(capture.Contains("gone.tga")) << "the loader reports the missing file";
    ASSERT_TRUE(light.FromMetaTag(missing.get(), missing->GetFirstRootTag()->GetNextSibling()));
    EXPECT_EQ(light.projectionMap, nullptr);
    EXPECT_TRUE(capture.Contains("No texture path given."));
    std::unique_ptr<zMetaTag> none(light.AsMetaTag());
    EXPECT_EQ(none->FindChild("ProjectionMap"), nullptr);
}

TEST(LightTagTest, NearBelowATenthIsRaisedOnReading)
{
    zLight light(nullptr);
    light.zNear = 0.05f;
    std::unique_ptr<zMetaTag> tag(light.AsMetaTag());
    ASSERT_NE(tag->FindChild("ZNear"), nullptr);
    EXPECT_EQ(tag->FindChild("ZNear")->GetFloat(), 0.05f);
    zLight read(nullptr);
    ASSERT_TRUE(read.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(read.zNear, 0.1f);
    auto text = ParseZml("<ZML=1.0>\n<Light=<ZNear=\"near\">>\n");
    ASSERT_TRUE(read.FromMetaTag(text.get(), text->GetFirstRootTag()));
    EXPECT_EQ(read.zNear, 0.1f);
}

TEST(LightTagTest, ReaderResetsTypeShadowAndRangesButKeepsTheRest)
{
    zLight light(nullptr);
    light.type = zLight::TypeSpot;
    light.shadow = zLight::ShadowMap;
    light.volumetric = 1;
    light.zFar = 7.0f;
    light.clipDistance = 7.0f;
    light.shadowBias = 7.0f;
    light.volumetricThickness = 7.0f;
    light.falloff = zLight::FalloffInvDist;
    light.coneAngle = 0.1f;
    light.diffuseIntensity = 4.0f;
    light.range = 3.0f;
    auto document = ParseZml("<ZML=1.0>\n<Light=<Type=\"Laser\"> <Shadow=3> <Falloff=\"Cubic\"> <Range=\"far\"> "
                          "<VolumeRange=-4> <Glow=1> <SpecularIntensity=2>>\n");
    LogCapture capture;
    ASSERT_TRUE(light.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_EQ(light.type, zLight::TypePoint);
    EXPECT_EQ(light.shadow, zLight::ShadowNone);
    EXPECT_EQ(light.volumetric, 0);
    EXPECT_EQ(light.zFar, 500.0f) << "a volume range not above 0 gives 500";
    EXPECT_EQ(light.clipDistance, 300.0f);
    EXPECT_EQ(light.shadowBias, 0.01f);
    EXPECT_EQ(light.volumetricThickness, 8.0f);
    EXPECT_EQ(light.falloff, zLight::FalloffInvDist) << "a bogus falloff keeps the previous one";
    EXPECT_EQ(light.coneAngle, 0.1f);
    EXPECT_EQ(light.diffuseIntensity, 4.0f);
    EXPECT_EQ(light.range, -999.0f);
    EXPECT_EQ(light.specularIntensity, 2.0f) << "integers read as numbers";
    EXPECT_TRUE(capture.Contains("[*] zLight::FromMetaTag"));
    EXPECT_TRUE(capture.Contains("Bogus light type 'Laser'."));
    EXPECT_TRUE(capture.Contains("Bogus light shadow ''."));
    EXPECT_TRUE(capture.Contains("Bogus light falloff 'Cubic'."));
    EXPECT_TRUE(capture.Contains("Unknown tag 'Glow' in <Light>."));
    EXPECT_EQ(capture.lines.size(), 4u);

    // Each name of each enumeration reads back.
    const char* types[] = {"None", "Point", "Parallel", "Spot", "Area"};
    for (int32_t i = 0; i < 5; ++i) {
        auto one = ParseZml(std::string("<ZML=1.0>\n<Light=<Type=\"") + types[i] + "\"> <Shadow=\"" +
                         (i < 4 ? types[0] : "PMap") + "\">>\n");
        ASSERT_TRUE(light.FromMetaTag(one.get(), one->GetFirstRootTag()));
        EXPECT_EQ(light.type, i);
    }
    EXPECT_EQ(light.shadow, zLight::ShadowPMap);
}

TEST(LightTagTest, OutOfRangeEnumerationsAreWrittenAsTheirFallbackNames)
{
    struct Case {
        int32_t type;
        int32_t shadow;
        int32_t falloff;
        const char* typeName;
        const char* shadowName;
        const char* falloffName;
    };
    const Case cases[] = {
        {zLight::TypeNone, zLight::ShadowPMap, zLight::FalloffInvDist, "None", "PMap", "InvDist"},
        {9, -2, 7, "None", "None", "Linear"},
        {-1, zLight::ShadowMap, -3, "None", "Map", "Linear"},
        {zLight::TypeParallel, zLight::ShadowNone, zLight::FalloffLinear, "Parallel", nullptr, nullptr},
        {zLight::TypeArea, zLight::ShadowStencil, zLight::FalloffInvDist2, "Area", "Stencil", "InvDist2"},
    };
    for (const Case& c : cases) {
        zLight light(nullptr);
        light.type = c.type;
        light.shadow = c.shadow;
        light.falloff = c.falloff;
        std::unique_ptr<zMetaTag> tag(light.AsMetaTag());
        EXPECT_STREQ(tag->FindChild("Type")->GetString(), c.typeName);
        const zMetaTag* shadow = tag->FindChild("Shadow");
        const zMetaTag* falloff = tag->FindChild("Falloff");
        if (c.shadowName == nullptr)
            EXPECT_EQ(shadow, nullptr);
        else
            EXPECT_STREQ(shadow->GetString(), c.shadowName);
        if (c.falloffName == nullptr)
            EXPECT_EQ(falloff, nullptr);
        else
            EXPECT_STREQ(falloff->GetString(), c.falloffName);
    }
}

TEST(LightTagTest, WrongRootIsRefusedAndChangesNothing)
{
    zLight light(nullptr);
    light.type = zLight::TypeSpot;
    auto document = ParseZml("<ZML=1.0>\n<Camera=<Range=5>>\n");
    LogCapture capture;
    EXPECT_FALSE(light.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_FALSE(light.FromMetaTag(document.get(), nullptr));
    EXPECT_TRUE(capture.Contains("[!] zLight::FromMetaTag"));
    EXPECT_TRUE(capture.Contains("Could not parse light. Root tag id is incorrect (Camera)."));
    EXPECT_EQ(light.type, zLight::TypeSpot);
    EXPECT_EQ(light.range, 0.0f);
}

} // namespace
