// The renderer's decisions that need no GL context.

#include "core/geometry/zGeometry.h"
#include "gl3/common/zGL3Rules.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

struct LayoutCase {
    const char* name;
    zGL3VertexAttributes attributes;
    zGL3VertexLayout expected;
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << c.name;
}

zGL3VertexAttributes Attributes(bool normals, bool tangents, bool skinned, bool colours, bool uv0, bool uv1, bool uv2)
{
    zGL3VertexAttributes a;
    a.normals = normals;
    a.tangents = tangents;
    a.skinned = skinned;
    a.colours = colours;
    a.uvSets[0] = uv0;
    a.uvSets[1] = uv1;
    a.uvSets[2] = uv2;
    return a;
}

zGL3VertexLayout Layout(int32_t normals, int32_t tangents, int32_t bitangents, int32_t indices, int32_t weights,
                        int32_t colours, int32_t uv0, int32_t uv1, int32_t uv2, int32_t size)
{
    zGL3VertexLayout l;
    l.normals = normals;
    l.tangents = tangents;
    l.bitangents = bitangents;
    l.boneIndices = indices;
    l.boneWeights = weights;
    l.colours = colours;
    l.uvSets[0] = uv0;
    l.uvSets[1] = uv1;
    l.uvSets[2] = uv2;
    l.size = size;
    return l;
}

class VertexLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(VertexLayout, OffsetsFollowTheBlockOrder)
{
    const uint32_t n = 10;
    const zGL3VertexLayout got = ComputeGL3VertexLayout(GetParam().attributes, n);
    const zGL3VertexLayout& want = GetParam().expected;
    EXPECT_EQ(got.normals, want.normals);
    EXPECT_EQ(got.tangents, want.tangents);
    EXPECT_EQ(got.bitangents, want.bitangents);
    EXPECT_EQ(got.boneIndices, want.boneIndices);
    EXPECT_EQ(got.boneWeights, want.boneWeights);
    EXPECT_EQ(got.colours, want.colours);
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(got.uvSets[s], want.uvSets[s]) << "UV set " << s;
    EXPECT_EQ(got.size, want.size);
}

// n = 10 vertices throughout.
INSTANTIATE_TEST_SUITE_P(
    Blocks, VertexLayout,
    ::testing::Values(
        LayoutCase{"PositionsOnly", Attributes(false, false, false, false, false, false, false),
                   Layout(-1, -1, -1, -1, -1, -1, -1, -1, -1, 120)},
        // Normals and UV set 1 without set 0: 12n, none, 24n, 32n.
        LayoutCase{"NormalsAndSecondUVSet", Attributes(true, false, false, false, false, true, false),
                   Layout(120, -1, -1, -1, -1, -1, -1, 240, -1, 320)},
        LayoutCase{"TangentsBringBitangents", Attributes(true, true, false, false, true, false, false),
                   Layout(120, 240, 360, -1, -1, -1, 480, -1, -1, 560)},
        // Bone indices are 4 bytes, weights 4 floats.
        LayoutCase{"Skin", Attributes(false, false, true, true, false, false, false),
                   Layout(-1, -1, -1, 120, 160, 320, -1, -1, -1, 440)},
        LayoutCase{"Everything", Attributes(true, true, true, true, true, true, true),
                   Layout(120, 240, 360, 480, 520, 680, 800, 880, 960, 1040)}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(VertexLayoutLimits, AHugeCountIsRefusedInsteadOfWrapping)
{
    zGL3VertexAttributes all = Attributes(true, true, true, true, true, true, true);
    EXPECT_EQ(ComputeGL3VertexLayout(all, 100000000u).size, -1);
    EXPECT_GT(ComputeGL3VertexLayout(all, 16384u).size, 0);
}

struct SizeCase {
    const char* name;
    int32_t width, height, usage;
    uint32_t textureFlags;
    float priority;
    uint32_t options;
    int32_t wantWidth, wantHeight;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextureSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(TextureSize, UploadSizeFollowsUsagePriorityAndOptions)
{
    const SizeCase& c = GetParam();
    int32_t w = c.width, h = c.height;
    ComputeGL3TextureSize(w, h, c.usage, IsGL3TextureReducible(c.textureFlags, c.priority, c.options), c.options);
    EXPECT_EQ(w, c.wantWidth);
    EXPECT_EQ(h, c.wantHeight);
}

constexpr uint32_t OptimizeVideoRam = 8, PowerOfTwo = 64, NoDownscale = 128, ForceSquare = 1024;

INSTANTIATE_TEST_SUITE_P(
    Rules, TextureSize,
    ::testing::Values(
        // 150 and 100 both give the nearest power of two, 128.
        SizeCase{"HalvedWhenReducible", 300, 200, 0, 0, 0.5f, OptimizeVideoRam, 128, 128},
        // Priority above 0.5: not reducible, rounded up.
        SizeCase{"HighPriorityRoundsUp", 300, 200, 0, 0, 0.6f, OptimizeVideoRam, 512, 256},
        SizeCase{"NearestWithoutOptimize", 300, 200, 0, 0, 0.5f, 0, 256, 256},
        SizeCase{"NoDownscaleRoundsUp", 300, 200, 0, 0, 0.5f, OptimizeVideoRam | NoDownscale, 512, 256},
        SizeCase{"KeptPictureIsNotReduced", 300, 200, 0, 1, 0.5f, OptimizeVideoRam, 512, 256},
        SizeCase{"RawIsNotReduced", 300, 200, 0, 2, 0.5f, OptimizeVideoRam, 512, 256},
        SizeCase{"ExactSizeStays", 300, 200, 1, 2, 0.5f, OptimizeVideoRam, 300, 200},
        // Power-of-two targets: an exact-size texture only grows.
        SizeCase{"ExactSizeRoundsUpWithPowerOfTwoTargets", 1600, 1600, 1, 2, 0.5f, PowerOfTwo, 2048, 2048},
        SizeCase{"ReducibleExactSizeNeverShrinks", 300, 200, 1, 0, 0.5f, PowerOfTwo, 512, 256},
        SizeCase{"ForceSquareReducibleTakesTheSmaller", 300, 200, 0, 0, 0.5f, ForceSquare, 256, 256},
        SizeCase{"ForceSquareOtherwiseTakesTheLarger", 300, 100, 0, 0, 0.6f, ForceSquare, 512, 512},
        SizeCase{"ClampedToTheLargestTexture", 10000, 8, 0, 0, 0.5f, 0, 4096, 8}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(TextureTraits, CompressionAndMipmapsFollowKindFlagsAndOptions)
{
    constexpr uint32_t NoCompression = 512;
    EXPECT_TRUE(IsGL3TextureCompressible(0, 0, 0));
    EXPECT_FALSE(IsGL3TextureCompressible(0, 0, NoCompression));
    EXPECT_FALSE(IsGL3TextureCompressible(GL3TextureRaw, 0, 0));
    EXPECT_FALSE(IsGL3TextureCompressible(0, 3, 0));
    EXPECT_FALSE(IsGL3TextureCompressible(0, 4, 0));

    EXPECT_TRUE(DoesGL3TextureGetMipmaps(0, 0, 0, true));
    EXPECT_FALSE(DoesGL3TextureGetMipmaps(0, 0, 0, false));
    EXPECT_FALSE(DoesGL3TextureGetMipmaps(0, 0, 1, true));
    EXPECT_FALSE(DoesGL3TextureGetMipmaps(GL3TextureKeepPicture, 0, 0, true));
    EXPECT_FALSE(DoesGL3TextureGetMipmaps(GL3TextureRaw, 0, 0, true));
    EXPECT_FALSE(DoesGL3TextureGetMipmaps(0, 3, 0, true));
}

class WalkChoice : public ::testing::Test {
protected:
    WalkChoice()
    {
        own.lodDistance = 10.0f;
        own.lodProxy = &lod;
        own.shadowProxy = &shadow;
    }
    zGeometry own{nullptr, "own"};
    zGeometry lod{nullptr, "lod"};
    zGeometry shadow{nullptr, "shadow"};
};

TEST_F(WalkChoice, ProxiesByDistanceAndPass)
{
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 99.0f), &own);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 100.0f), &own);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 101.0f), &lod);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassBackToFront, 101.0f), &lod);
    // Shadow casting ignores the distance and takes the shadow proxy.
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassShadowCasters, 1.0f), &shadow);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassShadowCasters, 1e6f), &shadow);
}

TEST_F(WalkChoice, NullFlagsAndHiddenGeometriesAreSkipped)
{
    own.flags |= zGeometry::FlagLodNull;
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 101.0f), nullptr);
    // LodNull does not stop the shadow.
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassShadowCasters, 101.0f), &shadow);
    own.flags = zGeometry::FlagShadowNull;
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassShadowCasters, 1.0f), nullptr);
    lod.flags = zGeometry::FlagHidden;
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 101.0f), nullptr);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 1.0f), &own);
}

TEST_F(WalkChoice, WithoutProxiesTheGeometryItself)
{
    own.lodProxy = nullptr;
    own.shadowProxy = nullptr;
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassFixedOpaque, 1e6f), &own);
    EXPECT_EQ(ChooseGL3WalkGeometry(&own, GL3PassShadowCasters, 1.0f), &own);
}

TEST(FarPlane, DrawsBetweenANearOfOneTenthAndTheFarDistance)
{
    zMatrix4 projection;
    ApplyGL3FarPlane(projection, 100.0f);
    EXPECT_FLOAT_EQ(projection.m[10], 100.0f / 99.9f);
    EXPECT_FLOAT_EQ(projection.m[11], -0.1f * 100.0f / 99.9f);
    // Depth 0 at the near plane and 1 at the far one.
    EXPECT_NEAR((projection.m[10] * 0.1f + projection.m[11]) / 0.1f, 0.0f, 1e-6f);
    EXPECT_NEAR((projection.m[10] * 100.0f + projection.m[11]) / 100.0f, 1.0f, 1e-6f);
}

TEST(DeferredSize, SupersamplingAndPowerOfTwoTargets)
{
    zGL3DeferredSize plain = ComputeGL3DeferredSize(800, 600, 1.0f, 0);
    EXPECT_EQ(plain.width, 800);
    EXPECT_EQ(plain.height, 600);
    EXPECT_FLOAT_EQ(plain.framebufferWidth, 800.0f);
    zGL3DeferredSize antialiased = ComputeGL3DeferredSize(800, 600, 2.0f, 0);
    EXPECT_EQ(antialiased.width, 1600);
    EXPECT_EQ(antialiased.height, 1200);
    zGL3DeferredSize square = ComputeGL3DeferredSize(800, 600, 2.0f, 64);
    EXPECT_EQ(square.width, 1600);
    EXPECT_EQ(square.height, 1600);
    EXPECT_FLOAT_EQ(square.framebufferWidth, 2048.0f);
    EXPECT_FLOAT_EQ(square.framebufferHeight, 2048.0f);
}

TEST(Pixels, FloatsBecomeIntegersWithinTheirRange)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ToGL3Pixels(nan), 0);
    EXPECT_EQ(ToGL3Pixels(0.5f), 0);
    EXPECT_EQ(ToGL3Pixels(-0.5f), 0);
    EXPECT_EQ(ToGL3Pixels(640.75f), 640);
    EXPECT_EQ(ToGL3Pixels(1e12f), INT32_MAX);
    EXPECT_EQ(ToGL3Pixels(inf), INT32_MAX);
    EXPECT_EQ(ToGL3Pixels(-1e12f), INT32_MIN);
    EXPECT_EQ(ToGL3Pixels(-inf), INT32_MIN);
    // Supersampling the largest sizes saturates instead of wrapping.
    EXPECT_EQ(ScaleGL3Pixels(INT32_MAX, 2.0f), INT32_MAX);
    EXPECT_EQ(ScaleGL3Pixels(INT32_MIN, 2.0f), INT32_MIN);
    EXPECT_EQ(ScaleGL3Pixels(300, 2.0f), 600);
    EXPECT_EQ(ScaleGL3Pixels(300, nan), 0);
    zGL3DeferredSize huge = ComputeGL3DeferredSize(INT32_MAX, INT32_MAX, 2.0f, 0);
    EXPECT_EQ(huge.width, INT32_MAX);
    EXPECT_EQ(huge.height, INT32_MAX);
}

// Viewport rectangles against a 64 x 48 output: the part inside it.
struct ViewportCase {
    const char* name;
    int32_t x, y, width, height;
    zGL3Viewport clamped;
};

void PrintTo(const ViewportCase& c, std::ostream* out)
{
    *out << c.name;
}

class ViewportClamp : public ::testing::TestWithParam<ViewportCase> {};

TEST_P(ViewportClamp, KeepsThePartInsideTheOutput)
{
    const ViewportCase& c = GetParam();
    const zGL3Viewport v = ClampGL3Viewport(c.x, c.y, c.width, c.height, 64, 48);
    EXPECT_EQ(v.x, c.clamped.x);
    EXPECT_EQ(v.y, c.clamped.y);
    EXPECT_EQ(v.width, c.clamped.width);
    EXPECT_EQ(v.height, c.clamped.height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewportClamp,
    ::testing::Values(ViewportCase{"Whole", 0, 0, 64, 48, {0, 0, 64, 48}},
                      ViewportCase{"Inside", 16, 12, 32, 24, {16, 12, 32, 24}},
                      ViewportCase{"Empty", 0, 0, 0, 0, {0, 0, 0, 0}},
                      ViewportCase{"NegativeSize", 0, 0, -64, -48, {0, 0, 0, 0}},
                      ViewportCase{"NegativeSizeInside", 32, 24, -1, -1, {32, 24, 0, 0}},
                      ViewportCase{"LargestSize", 0, 0, INT32_MAX, INT32_MAX, {0, 0, 64, 48}},
                      ViewportCase{"LargestOrigin", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, {64, 48, 0, 0}},
                      ViewportCase{"SmallestOrigin", INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, {0, 0, 0, 0}},
                      ViewportCase{"StartingBelowTheOutput", -32, -24, 64, 48, {0, 0, 32, 24}},
                      ViewportCase{"EndingBeyondIt", 48, 40, 64, 48, {48, 40, 16, 8}}),
    [](const ::testing::TestParamInfo<ViewportCase>& info) { return std::string(info.param.name); });

} // namespace
