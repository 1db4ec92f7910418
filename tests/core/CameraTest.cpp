#include "support/LogCapture.h"

#include "core/camera/zCamera.h"
#include "core/render/zRenderer.h"
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

// Puts the program-wide aspect ratio back after each test.
class CameraTest : public ::testing::Test {
protected:
    CameraTest() : camera(&core) {}
    ~CameraTest() override { GlobalAspectRatio = 1.0f; }

    void SetViewport(float width, float height)
    {
        core.renderer->outputWidth = width;
        core.renderer->outputHeight = height;
    }

    Tavrin core;
    zCamera camera;
};

zVector Project(const zMatrix4& projection, const zVector& p)
{
    zVector in(p.x, p.y, p.z, 1.0f);
    zVector out;
    projection.TransformArray4(&out, &in, 1);
    return zVector(out.x / out.w, out.y / out.w, out.z / out.w);
}

void ExpectPoint(const zVector& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

TEST_F(CameraTest, ConstructorValues)
{
    EXPECT_EQ(camera.aspect, -1.0f);
    EXPECT_EQ(camera.aspectReferenceX, 1);
    EXPECT_EQ(camera.zNear, 0.099999994f);
    EXPECT_LT(camera.zNear, 0.1f);
    EXPECT_EQ(camera.zFar, 50000.0f);
    EXPECT_EQ(camera.zoomFactor, 3.2f);
    EXPECT_EQ(camera.orthographic, 0);
    EXPECT_EQ(camera.viewportSize.x, 1.0f);
    EXPECT_EQ(camera.viewportOrigin.y, 0.0f);
    // The item operations reach the camera's own values.
    zItem* item = &camera;
    EXPECT_EQ(item->GetFrustum(), &camera.frustum);
    item->SetZNear(0.01f);
    item->SetZFar(7.0f);
    EXPECT_EQ(item->GetZNear(), 0.01f) << "SetZNear does not clamp";
    EXPECT_EQ(item->GetZFar(), 7.0f);
}

struct ProjectionCase {
    const char* name;
    bool orthographic;
    bool referenceX;
    float aspect;
    float globalRatio;
    float viewportWidth;
    float viewportHeight;
    float m0;
    float m5;
};

// Names the case in test listings and failure messages.
void PrintTo(const ProjectionCase& c, std::ostream* out)
{
    *out << c.name;
}

class CameraProjectionTest : public CameraTest, public ::testing::WithParamInterface<ProjectionCase> {};

// zoom 2, near 1, far 11; orthographic 4 x 2.
TEST_P(CameraProjectionTest, ElementsAndFrustumCornersAtTheClipVolumeCorners)
{
    const ProjectionCase& c = GetParam();
    SetViewport(c.viewportWidth, c.viewportHeight);
    GlobalAspectRatio = c.globalRatio;
    camera.orthographic = c.orthographic ? 1 : 0;
    camera.aspectReferenceX = c.referenceX ? 1 : 0;
    camera.aspect = c.aspect;
    camera.zoomFactor = 2.0f;
    camera.zNear = 1.0f;
    camera.zFar = 11.0f;
    camera.orthographicWidth = 4.0f;
    camera.orthographicHeight = 2.0f;

    zMatrix4 m;
    camera.ComputeProjectionMatrix(m);
    EXPECT_FLOAT_EQ(m.m[0], c.m0);
    EXPECT_FLOAT_EQ(m.m[5], c.m5);
    const float a = c.orthographic ? 0.1f : 1.1f;
    EXPECT_FLOAT_EQ(m.m[10], a);
    EXPECT_FLOAT_EQ(m.m[11], -a);
    EXPECT_EQ(m.m[14], c.orthographic ? 0.0f : 1.0f);
    EXPECT_EQ(m.m[15], c.orthographic ? 1.0f : 0.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13})
        EXPECT_EQ(m.m[i], 0.0f) << "element " << i;

    // A turned and moved camera: its frustum corners, taken back into camera
    // space, land on the corners of the clip volume.
    camera.position = zVector(3, -1, 5);
    camera.rotation = zVector(0.3f, 1.1f, -0.4f);
    camera.UpdateWorldMatrix();
    zFrustum frustum;
    camera.ComputeFrustum(frustum, -1.0f, -1.0f);
    const float sx[4] = {-1, 1, 1, -1};
    const float sy[4] = {1, 1, -1, -1};
    for (int i = 0; i < 8; ++i) {
        const zVector clip = Project(m, frustum.corners[i].Transform(camera.inverseWorldMatrix));
        ExpectPoint(clip, sx[i % 4], sy[i % 4], i < 4 ? 0.0f : 1.0f, 1e-4f);
    }
}

const ProjectionCase projectionCases[] = {
    // 800 x 600: c = 0.75.
    {"PerspectiveFromViewportOnX", false, true, -1.0f, 1.0f, 800, 600, 1.5f, 2.0f},
    {"PerspectiveFromViewportOnY", false, false, -1.0f, 1.0f, 800, 600, 2.0f, 2.0f / 0.75f},
    {"PerspectiveOwnAspectOnX", false, true, 0.5f, 1.0f, 800, 600, 1.0f, 2.0f},
    {"PerspectiveGlobalRatioOnY", false, false, 0.5f, 2.0f, 800, 600, 2.0f, 2.0f},
    {"OrthographicFromViewportOnX", true, true, -1.0f, 1.0f, 800, 600, 0.375f, 1.0f},
    {"OrthographicGlobalRatioOnY", true, false, -1.0f, 0.5f, 600, 800, 0.5f, 1.5f},
    {"OrthographicOwnAspectOnX", true, true, 2.0f, 1.0f, 1, 1, 1.0f, 1.0f},
};

INSTANTIATE_TEST_SUITE_P(Cases, CameraProjectionTest, ::testing::ValuesIn(projectionCases),
                         [](const ::testing::TestParamInfo<ProjectionCase>& info) { return info.param.name; });

TEST_F(CameraTest, PerspectiveDepthIsZeroAtNearAndOneAtFar)
{
    camera.aspect = 1.0f;
    camera.zNear = 0.5f;
    camera.zFar = 100.0f;
    zMatrix4 m;
    m.m[3] = 42.0f;
    camera.ComputeProjectionMatrix(m);
    EXPECT_EQ(m.m[3], 0.0f) << "every element is written";
    EXPECT_NEAR(Project(m, zVector(0, 0, 0.5f)).z, 0.0f, 1e-6f);
    EXPECT_NEAR(Project(m, zVector(0, 0, 100.0f)).z, 1.0f, 1e-6f);
    // x' = zoom * x / z.
    ExpectPoint(Project(m, zVector(1, -2, 4)), 3.2f / 4.0f, -6.4f / 4.0f, (100.0f / 99.5f) * 3.5f / 4.0f);
}

TEST_F(CameraTest, FovAndZoomFactorLimits)
{
    camera.SetFov(0.0f);
    EXPECT_NEAR(camera.zoomFactor, 229.18f, 0.01f);
    camera.SetFov(3.14159265f);
    EXPECT_EQ(camera.zoomFactor, 0.1f);
    camera.SetFov(-2.0f);
    EXPECT_NEAR(camera.zoomFactor, 229.18f, 0.01f);
    camera.SetFov(1.0f);
    EXPECT_NEAR(camera.GetFov(), 1.0f, 1e-6f);
    EXPECT_NEAR(camera.zoomFactor, 1.0f / std::tan(0.5f), 1e-5f);
    for (float z : {0.1f, 0.05f, 0.0f, -3.0f}) {
        camera.SetZoomFactor(z);
        EXPECT_EQ(camera.zoomFactor, 0.1f) << z;
    }
    camera.SetZoomFactor(0.2f);
    EXPECT_EQ(camera.zoomFactor, 0.2f);
    camera.SetViewport(1, 2, 3, 4);
    EXPECT_EQ(camera.viewportOrigin.x, 1.0f);
    EXPECT_EQ(camera.viewportOrigin.y, 2.0f);
    EXPECT_EQ(camera.viewportSize.x, 3.0f);
    EXPECT_EQ(camera.viewportSize.y, 4.0f);
}

// Camera at (0, 0, -10) looking along +z with zoom 2; (1, 1, 0) is at
// camera-space (1, 1, 10), so x = y = 0.2 before the aspect correction.
struct ScreenCase {
    const char* name;
    bool aspectCorrect;
    bool referenceX;
    float sx;
    float sy;
};

// Names the case in test listings and failure messages.
void PrintTo(const ScreenCase& c, std::ostream* out)
{
    *out << c.name;
}

class CameraScreenTest : public CameraTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(CameraScreenTest, WorldToScreenMatchesHandValuesAndScreenToWorldInvertsIt)
{
    const ScreenCase& c = GetParam();
    SetViewport(800, 600);
    GlobalAspectRatio = 3.0f; // not used by the mapping
    camera.aspect = 0.25f;    // nor this
    camera.aspectReferenceX = c.referenceX ? 1 : 0;
    camera.zoomFactor = 2.0f;
    camera.position = zVector(0, 0, -10);
    camera.UpdateWorldMatrix();

    zVector s;
    ASSERT_TRUE(camera.WorldToScreen(zVector(1, 1, 0), s, c.aspectCorrect));
    ExpectPoint(s, c.sx, c.sy, 0.0f);
    EXPECT_EQ(s.w, 1.0f);
    if (!c.aspectCorrect)
        return;
    zVector world;
    camera.ScreenToWorld(world, s.x, s.y);
    // On the ray to the point, at camera-space depth zoom = 2.
    ExpectPoint(world, 0.2f, 0.2f, -8.0f);
}

const ScreenCase screenCases[] = {
    {"Plain", false, true, 0.6f, 0.4f},
    {"CorrectedOnX", true, true, 0.575f, 0.4f},
    {"CorrectedOnY", true, false, 0.6f, 0.425f},
};

INSTANTIATE_TEST_SUITE_P(Cases, CameraScreenTest, ::testing::ValuesIn(screenCases),
                         [](const ::testing::TestParamInfo<ScreenCase>& info) { return info.param.name; });

TEST_F(CameraTest, ScreenToWorldAndBackRoundTripForATurnedCamera)
{
    SetViewport(1280, 720);
    camera.position = zVector(-4, 2, 7);
    camera.rotation = zVector(0.2f, -0.7f, 0.1f);
    camera.zoomFactor = 1.7f;
    for (bool referenceX : {true, false}) {
        camera.aspectReferenceX = referenceX ? 1 : 0;
        camera.UpdateWorldMatrix();
        for (float sx : {0.0f, 0.3f, 0.5f, 1.0f}) {
            for (float sy : {0.0f, 0.8f, 1.0f}) {
                zVector world;
                camera.ScreenToWorld(world, sx, sy);
                EXPECT_NEAR(world.Transform(camera.inverseWorldMatrix).z, 1.7f, 1e-4f);
                zVector s;
                ASSERT_TRUE(camera.WorldToScreen(world, s, true));
                EXPECT_NEAR(s.x, sx, 1e-5f);
                EXPECT_NEAR(s.y, sy, 1e-5f);
            }
        }
    }
}

TEST_F(CameraTest, PointsOnOrBehindTheCameraPlaneAreRejectedAndOutIsUntouched)
{
    camera.position = zVector(0, 0, 5);
    camera.UpdateWorldMatrix();
    for (const zVector& p : {zVector(3, 4, 5), zVector(0, 0, 4), zVector(1, 1, -100)}) {
        zVector out(9, 9, 9, 9);
        EXPECT_FALSE(camera.WorldToScreen(p, out, true));
        ExpectPoint(out, 9, 9, 9);
        EXPECT_EQ(out.w, 9.0f);
    }
    zVector out;
    EXPECT_TRUE(camera.WorldToScreen(zVector(0, 0, 5.001f), out, false));
    ExpectPoint(out, 0.5f, 0.5f, 0.0f);
}

// Divisions by zero are refused with a warning; every element stays finite.
struct DegenerateCase {
    const char* name;
    float width;
    float height;
    float zNear;
    float zFar;
    bool orthographic;
    float orthographicWidth;
    float globalRatio;
    const char* warning;
};

// Names the case in test listings and failure messages.
void PrintTo(const DegenerateCase& c, std::ostream* out)
{
    *out << c.name;
}

class CameraDegenerateTest : public CameraTest, public ::testing::WithParamInterface<DegenerateCase> {};

TEST_P(CameraDegenerateTest, WarnsAndStaysFinite)
{
    const DegenerateCase& c = GetParam();
    SetViewport(c.width, c.height);
    GlobalAspectRatio = c.globalRatio;
    camera.zNear = c.zNear;
    camera.zFar = c.zFar;
    camera.orthographic = c.orthographic ? 1 : 0;
    camera.orthographicWidth = c.orthographicWidth;
    camera.position = zVector(0, 0, -3);
    camera.UpdateWorldMatrix();

    LogCapture capture;
    for (int referenceX = 0; referenceX < 2; ++referenceX) {
        camera.aspectReferenceX = uint8_t(referenceX);
        zMatrix4 m;
        camera.ComputeProjectionMatrix(m);
        for (float e : m.m)
            EXPECT_TRUE(std::isfinite(e));
        zFrustum frustum;
        camera.ComputeFrustum(frustum, -1.0f, -1.0f);
        for (const zVector& corner : frustum.corners)
            EXPECT_TRUE(std::isfinite(corner.x) && std::isfinite(corner.y) && std::isfinite(corner.z));
        for (const zPlane& plane : frustum.planes)
            EXPECT_TRUE(std::isfinite(plane.d));
        zVector s;
        ASSERT_TRUE(camera.WorldToScreen(zVector(1, 1, 1), s, true));
        EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y));
        zVector world;
        camera.ScreenToWorld(world, 0.2f, 0.9f);
        EXPECT_TRUE(std::isfinite(world.x) && std::isfinite(world.y) && std::isfinite(world.z));
    }
    EXPECT_TRUE(capture.Contains(c.warning)) << c.warning;
    EXPECT_TRUE(capture.Contains("[*] zCamera::"));
}

const DegenerateCase degenerateCases[] = {
    {"FarEqualsNear", 800, 600, 5.0f, 5.0f, false, 1.0f, 1.0f, "Far distance equals near distance (5.000)."},
    {"OrthographicFarEqualsNear", 800, 600, 2.0f, 2.0f, true, 1.0f, 1.0f, "Far distance equals near distance"},
    {"ZeroViewportWidth", 0, 600, 0.1f, 100.0f, false, 1.0f, 1.0f, "Viewport size 0.000 x 600.000 is degenerate"},
    {"ZeroViewportHeight", 800, 0, 0.1f, 100.0f, true, 1.0f, 1.0f, "Viewport size 800.000 x 0.000 is degenerate"},
    {"ZeroOrthographicWidth", 800, 600, 0.1f, 100.0f, true, 0.0f, 1.0f, "Orthographic width is zero."},
    {"ZeroGlobalRatio", 800, 600, 0.1f, 100.0f, false, 1.0f, 0.0f, "Aspect factor 0.000 is degenerate"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CameraDegenerateTest, ::testing::ValuesIn(degenerateCases),
                         [](const ::testing::TestParamInfo<DegenerateCase>& info) { return info.param.name; });

TEST_F(CameraTest, AppliedByTheRendererWithItsOwnProjectionAndFrustum)
{
    SetViewport(800, 600);
    camera.position = zVector(0, 0, -10);
    camera.UpdateWorldMatrix();
    core.renderer->camera = &camera;
    core.renderer->ApplyCamera();
    // The null renderer keeps nothing of the matrices; the frustum is the camera's.
    zFrustum expected;
    camera.ComputeFrustum(expected, -1.0f, -1.0f);
    for (int i = 0; i < 8; ++i)
        ExpectPoint(core.renderer->frustum.corners[i], expected.corners[i].x, expected.corners[i].y,
                    expected.corners[i].z);
    EXPECT_EQ(core.renderer->frustum.ClassifySphere(zVector(0, 0, 0), 0.5f), FrustumInside);
    EXPECT_EQ(core.renderer->frustum.ClassifySphere(zVector(0, 0, -20), 0.5f), FrustumOutside);
    core.renderer->camera = nullptr;
}

// ZML reading and writing.

TEST_F(CameraTest, DefaultCameraWritesOnlyItsItem)
{
    std::unique_ptr<zMetaTag> tag(camera.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().Get(), "Camera");
    EXPECT_EQ(ChildNames(tag.get()), std::vector<std::string>{"Item"});
}

TEST_F(CameraTest, EveryFieldRoundTripsThroughText)
{
    camera.position = zVector(1, 2, 3);
    camera.zNear = 0.5f;
    camera.zFar = 900.0f;
    camera.zoomFactor = 1.25f;
    camera.SetViewport(0.25f, 0.5f, 0.5f, 1.0f);
    camera.orthographic = 1;
    camera.orthographicWidth = 12.0f;
    camera.orthographicHeight = 9.0f;
    camera.fStop = 2.8f;
    camera.focalDistance = 14.0f;
    std::unique_ptr<zMetaTag> tag(camera.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"Item", "ZNear", "ZFar", "ZoomFactor", "ViewportOrigin", "ViewportSize",
                                        "Orthographic", "OrthographicWidth", "OrthographicHeight", "FStop",
                                        "FocalDistance"}));

    zMetaFile document;
    document.AddRootTag(tag.release());
    std::string text;
    ASSERT_TRUE(zMetaParser::SaveText(&document, text));
    auto parsed = ParseZml(text);
    zCamera read(&core);
    LogCapture capture;
    ASSERT_TRUE(read.FromMetaTag(parsed.get(), parsed->GetFirstRootTag()));
    EXPECT_TRUE(capture.lines.empty());
    ExpectPoint(read.position, 1, 2, 3);
    EXPECT_EQ(read.zNear, 0.5f);
    EXPECT_EQ(read.zFar, 900.0f);
    EXPECT_EQ(read.zoomFactor, 1.25f);
    EXPECT_EQ(read.viewportOrigin.x, 0.25f);
    EXPECT_EQ(read.viewportOrigin.y, 0.5f);
    EXPECT_EQ(read.viewportSize.x, 0.5f);
    EXPECT_EQ(read.viewportSize.y, 1.0f);
    EXPECT_EQ(read.orthographic, 1);
    EXPECT_EQ(read.orthographicWidth, 12.0f);
    EXPECT_EQ(read.orthographicHeight, 9.0f);
    EXPECT_FLOAT_EQ(read.fStop, 2.8f);
    EXPECT_EQ(read.focalDistance, 14.0f);

    // Only the near distance and the viewport height differ from their defaults.
    zCamera small(&core);
    small.zNear = 0.1f;
    small.viewportSize.y = 2.0f;
    std::unique_ptr<zMetaTag> written(small.AsMetaTag());
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"Item", "ZNear", "ViewportSize"}));
}

TEST_F(CameraTest, ReaderClampsNearKeepsOtherFieldsAndResetsDepthOfField)
{
    camera.orthographic = 1;
    camera.fStop = 4.0f;
    camera.focalDistance = 3.0f;
    camera.zoomFactor = 5.0f;
    auto document = ParseZml("<ZML=1.0>\n<Camera=<ZNear=0.05> <ZFar=\"far\"> <OrthographicWidth=3> <Lens=1>>\n");
    LogCapture capture;
    ASSERT_TRUE(camera.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_EQ(camera.zNear, 0.2f);
    EXPECT_EQ(camera.zFar, -999.0f);
    EXPECT_EQ(camera.orthographicWidth, 3.0f) << "integers read as numbers";
    EXPECT_EQ(camera.orthographic, 1) << "a tag without Orthographic keeps it";
    EXPECT_EQ(camera.zoomFactor, 5.0f);
    EXPECT_EQ(camera.fStop, 0.0f);
    EXPECT_EQ(camera.focalDistance, 0.0f);
    EXPECT_TRUE(capture.Contains("[*] zCamera::FromMetaTag"));
    EXPECT_TRUE(capture.Contains("Unknown tag 'Lens' in <Camera>."));
    EXPECT_EQ(capture.lines.size(), 1u);

    // A zoom factor from a tag is stored as it is; a non-number is -999.
    auto zoom = ParseZml("<ZML=1.0>\n<Camera=<ZoomFactor=0.01> <ZNear=\"x\">>\n<Camera=<ZoomFactor=\"wide\">>\n");
    ASSERT_TRUE(camera.FromMetaTag(zoom.get(), zoom->GetFirstRootTag()));
    EXPECT_EQ(camera.zoomFactor, 0.01f);
    EXPECT_EQ(camera.zNear, 0.2f);
    ASSERT_TRUE(camera.FromMetaTag(zoom.get(), zoom->GetFirstRootTag()->GetNextSibling()));
    EXPECT_EQ(camera.zoomFactor, -999.0f);
}

TEST_F(CameraTest, WrongRootIsRefusedAndChangesNothing)
{
    camera.fStop = 4.0f;
    camera.zFar = 77.0f;
    auto document = ParseZml("<ZML=1.0>\n<Light=<ZFar=5>>\n");
    LogCapture capture;
    EXPECT_FALSE(camera.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_FALSE(camera.FromMetaTag(document.get(), nullptr));
    EXPECT_TRUE(capture.Contains("[!] zCamera::FromMetaTag"));
    EXPECT_TRUE(capture.Contains("Root tag id is incorrect (Light)."));
    EXPECT_EQ(camera.fStop, 4.0f);
    EXPECT_EQ(camera.zFar, 77.0f);
}

} // namespace
