#include "bfgt/picture/zPicture.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

namespace {

std::vector<uint8_t> Px(const uint8_t* p)
{
    return std::vector<uint8_t>(p, p + 4);
}

using Bytes = std::vector<uint8_t>;

// Red channel of each pixel of a 32-bit picture, row by row.
std::vector<int> Reds(const zPicture& picture)
{
    std::vector<int> reds;
    for (int32_t i = 0; i < picture.width * picture.height; ++i)
        reds.push_back(picture.pixels[i * 4]);
    return reds;
}

} // namespace

TEST(PictureComposition, OverOnBytes)
{
    struct Case {
        uint8_t d, s, dA, sA;
        uint8_t alpha, channel;
    } cases[] = {
        {200, 10, 255, 255, 255, 10}, // opaque source wins (within integer rounding)
        {200, 10, 0, 255, 255, 10},
        {100, 200, 255, 128, 255, 150}, // half source over opaque
        {100, 200, 128, 128, 192, 166},
        {100, 200, 0, 0, 0, 0}, // result alpha 0 gives 0
    };
    for (const Case& c : cases) {
        const uint8_t alpha = ComposeAlphaOver(c.dA, c.sA);
        EXPECT_EQ(alpha, c.alpha);
        EXPECT_EQ(ComposeChannelOver(c.d, c.s, c.dA, c.sA, alpha), c.channel);
    }
    uint8_t pixel[4] = {100, 50, 0, 255};
    BlendPixelOver(pixel, 200, 100, 40, 128);
    EXPECT_EQ(Px(pixel), (Bytes{150, 75, 20, 255}));
}

TEST(PictureFill, FillsAllOrARectangleClippedToThePicture)
{
    GuardedPicture g(3, 2);
    ASSERT_TRUE(g.picture.Fill(1.0f, 0.5f, 0.0f, 1.0f));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Px(g.picture.pixels + i * 4), (Bytes{255, 127, 0, 255}));

    const zPicture::Rect inside{1, 0, 3, 1};
    ASSERT_TRUE(g.picture.Fill(0, 0, 1, 1, &inside));
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{255, 0, 0, 255, 255, 255}));

    const zPicture::Rect overlapping{-5, -5, 1, 100};
    ASSERT_TRUE(g.picture.Fill(0.2f, 0, 0, 1, &overlapping));
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{51, 0, 0, 51, 255, 255}));
    const zPicture::Rect outside{10, 10, 20, 20};
    EXPECT_TRUE(g.picture.Fill(0, 0, 0, 0, &outside));
    EXPECT_TRUE(g.GuardsIntact());

    const zPicture::Rect empty{1, 0, 1, 2};
    EXPECT_FALSE(g.picture.Fill(0, 0, 0, 0, &empty));
    const zPicture::Rect upside{0, 2, 3, 1};
    EXPECT_FALSE(g.picture.Fill(0, 0, 0, 0, &upside));

    zPicture rgb;
    rgb.AllocAs(2, 2, PixelFormatRGB24);
    EXPECT_FALSE(rgb.Fill(1, 1, 1, 1));
    EXPECT_FALSE(zPicture().Fill(1, 1, 1, 1));
}

TEST(PictureFill, PacksThroughThePictureFormat)
{
    zPicture picture;
    picture.AllocAs(1, 1, PixelFormatARGB32);
    ASSERT_TRUE(picture.Fill(1.0f, 0.5f, 0.25f, 0.75f));
    EXPECT_EQ(PixelBytes(picture), (Bytes{0x3F, 0x7F, 0xFF, 0xBF}));
}

TEST(PictureBlendPixel, BlendsOneTruncatedPixelAndIgnoresPointsOutside)
{
    GuardedPicture g(3, 3);
    g.picture.BlendPixel(1.9f, 0.2f, 1, 1, 1, 1);
    EXPECT_EQ(Px(g.Pixel(1, 0)), (Bytes{255, 255, 255, 255}));

    const float outside[][2] = {{-0.5f, 0}, {3, 0}, {0, 3}, {-1e10f, 2}, {1e10f, 1e10f}, {std::nanf(""), 1}};
    for (const auto& p : outside)
        g.picture.BlendPixel(p[0], p[1], 1, 0, 0, 1);
    const zPicture::ClipRect wide{-10, -10, 100, 100};
    g.picture.BlendPixel(5, 5, 1, 0, 0, 1, &wide);
    g.picture.BlendPixel(-1, 1, 1, 0, 0, 1, &wide);
    EXPECT_TRUE(g.GuardsIntact());
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{0, 255, 0, 0, 0, 0, 0, 0, 0}));

    const zPicture::ClipRect clip{0, 0, 1, 1};
    g.picture.BlendPixel(1, 2, 1, 0, 0, 1, &clip);
    g.picture.BlendPixel(0.5f, 0.5f, 0.4f, 0, 0, 1, &clip);
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{102, 255, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PictureBlendPixel, SmoothSpreadsOverFourPixelsAndClipsEachOne)
{
    GuardedPicture g(2, 2);
    g.picture.BlendPixelSmooth(0.5f, 0.5f, 1, 1, 1, 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Px(g.picture.pixels + i * 4), (Bytes{255, 255, 255, 63}));

    GuardedPicture edge(2, 2);
    edge.picture.BlendPixelSmooth(1.5f, 1.5f, 1, 1, 1, 1);
    edge.picture.BlendPixelSmooth(-0.5f, -0.5f, 1, 1, 1, 1);
    EXPECT_TRUE(edge.GuardsIntact());
    EXPECT_EQ(edge.Pixel(1, 1)[3], 63);
    EXPECT_EQ(edge.Pixel(0, 0)[3], 63);
    EXPECT_EQ(edge.Pixel(1, 0)[3], 0);

    // With a clip rectangle the whole 2 x 2 footprint must fit.
    GuardedPicture clipped(3, 3);
    const zPicture::ClipRect clip{0, 0, 2, 2};
    clipped.picture.BlendPixelSmooth(1.5f, 0, 1, 1, 1, 1, &clip);
    clipped.picture.BlendPixelSmooth(0.75f, 0, 1, 1, 1, 1, &clip);
    EXPECT_EQ(clipped.Pixel(0, 0)[3], 63);  // 0.25 x 255
    EXPECT_EQ(clipped.Pixel(1, 0)[3], 191); // 0.75 x 255
    EXPECT_EQ(clipped.Pixel(2, 0)[3], 0);
}

TEST(PictureDrawLine, PlotsUpToButNotTheEndPoint)
{
    struct Case {
        const char* name;
        float x0, y0, x1, y1;
        std::vector<int> reds; // 5 x 3 picture
    } cases[] = {
        {"horizontal", 0, 0, 4, 0, {255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"reversed", 4, 0, 0, 0, {255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"steep", 2, 0, 2, 3, {0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0}},
        {"shallow slope", 0, 0, 4, 2, {255, 255, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0}},
        // The start moves back along the line to column 1; 3.5 is not reached.
        {"fractional start", 1.5f, 0.5f, 3.5f, 0.5f, {0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"far outside", -1e9f, 1, 1e9f, 1, {0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0}},
        {"steep far outside", 4, -1e30f, 4, 1e30f, {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255}},
        {"entirely outside", -10, -10, -2, 20, std::vector<int>(15, 0)},
    };
    for (const Case& c : cases) {
        GuardedPicture g(5, 3);
        g.picture.DrawLine(c.x0, c.y0, c.x1, c.y1, 1, 0, 0, 1);
        EXPECT_EQ(Reds(g.picture), c.reds) << c.name;
        EXPECT_TRUE(g.GuardsIntact()) << c.name;
    }

    GuardedPicture wide(12, 1);
    wide.picture.DrawLine(0, 0, 10, 0, 1, 0, 0, 1);
    EXPECT_EQ(wide.Pixel(9, 0)[0], 255);
    EXPECT_EQ(wide.Pixel(10, 0)[0], 0);
}

TEST(PictureDrawLine, ClipsParametricallyToTheRectangle)
{
    GuardedPicture g(8, 2);
    const zPicture::ClipRect clip{2, 0, 5, 1};
    g.picture.DrawLine(0, 0, 8, 0, 1, 0, 0, 1, &clip);
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A vertical segment beside the rectangle is dropped whole.
    g.picture.DrawLine(6, 0, 6, 2, 1, 0, 0, 1, &clip);
    EXPECT_EQ(g.Pixel(6, 0)[0], 0);

    // A rectangle larger than the picture still keeps every write inside.
    GuardedPicture small(3, 3);
    const zPicture::ClipRect huge{-100, -100, 100, 100};
    small.picture.DrawLineSmooth(-50, 2.5f, 50, 2.5f, 1, 1, 1, 1, &huge);
    small.picture.DrawLine(-50, -50, 50, 50, 1, 1, 1, 1, &huge);
    EXPECT_TRUE(small.GuardsIntact());
    EXPECT_EQ(small.Pixel(1, 1)[0], 255);
}

TEST(PictureSampling, BilinearThroughTheFormatShifts)
{
    zPicture picture = MakePicture(2, 1, PixelFormatABGR32, {0, 0, 0, 255, 255, 255, 255, 255});
    zColor c;
    picture.SampleBilinear(0.25f, 0.0f, c);
    EXPECT_FLOAT_EQ(c.r, 0.5f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_EQ(picture.SampleBilinearRGBA32(0.25f, 0.0f), 0xFF7F7F7Fu);
    // u = 1 reads the last column only; below 0 the first.
    EXPECT_EQ(picture.SampleBilinearRGBA32(1.0f, 0.0f), 0xFFFFFFFFu);
    EXPECT_EQ(picture.SampleBilinearRGBA32(-3.0f, 5.0f), 0xFF000000u);
    EXPECT_EQ(picture.SampleBilinearRGBA32(std::nanf(""), 0.0f), 0xFF000000u);
    // A size larger than the picture is limited to it.
    EXPECT_EQ(picture.SampleBilinearRGBA32(0.25f, 0.0f, 100, 100), 0xFF7F7F7Fu);
    // A smaller size samples that part only.
    EXPECT_EQ(picture.SampleBilinearRGBA32(0.9f, 0.0f, 1, 1), 0xFF000000u);

    zPicture argb = MakePicture(1, 1, PixelFormatARGB32, {0x33, 0x66, 0x99, 0xCC});
    EXPECT_EQ(argb.SampleBilinearRGBA32(0.5f, 0.5f), 0xCC336699u);

    zPicture square = MakePicture(2, 2, PixelFormatABGR32, {0, 0, 0, 0, 40, 0, 0, 0, 80, 0, 0, 0, 120, 0, 0, 0});
    square.SampleBilinear(0.25f, 0.25f, c);
    EXPECT_FLOAT_EQ(c.r * 255.0f, 60.0f);
}

TEST(PictureSampling, FloatPicturesAndUnsupportedFormats)
{
    zPicture picture = MakePicture(2, 1, PixelFormatRGBFloat, FloatBytes({0, 0, 0, 1, 2, 3}));
    zColor c;
    picture.SampleBilinear(0.25f, 0.0f, c);
    EXPECT_FLOAT_EQ(c.r, 0.5f);
    EXPECT_FLOAT_EQ(c.g, 1.0f);
    EXPECT_FLOAT_EQ(c.b, 1.5f);
    // Below the last row every missing neighbour is the sample's own pixel,
    // the one on the right included.
    picture.SampleBilinear(0.25f, 0.5f, c);
    EXPECT_FLOAT_EQ(c.r, 0.25f);
    EXPECT_FLOAT_EQ(c.b, 0.75f);

    zPicture rgb;
    rgb.AllocAs(2, 2, PixelFormatRGB24);
    rgb.SampleBilinear(0.5f, 0.5f, c);
    EXPECT_EQ((std::vector<float>{c.r, c.g, c.b, c.a}), (std::vector<float>{1, 0, 1, 1}));
    EXPECT_EQ(zPicture().SampleBilinearRGBA32(0, 0), 0xFFFF00FFu);
}

TEST(PictureBlit, ClipBlitRectsPlacesTheClippedSourceAtTheDestinationOrigin)
{
    struct Case {
        zPicture::Rect source, destination;
        zPicture::Rect clippedSource, clippedDestination;
    } cases[] = {
        {{0, 0, 8, 8}, {-5, -5, 0, 0}, {5, 5, 8, 8}, {0, 0, 3, 3}},
        {{-2, -2, 3, 3}, {1, 1, 99, 99}, {0, 0, 3, 3}, {1, 1, 4, 4}},
        {{0, 0, 8, 8}, {6, 7, 0, 0}, {0, 0, 4, 3}, {6, 7, 10, 10}},
        {{2, 2, 4, 4}, {INT_MAX, INT_MIN, 0, 0}, {2, 2, 4, 4}, {INT_MAX, 0, 10, 4}},
    };
    const zPicture::Rect sourceBounds{0, 0, 8, 8}, destinationBounds{0, 0, 10, 10};
    for (const Case& c : cases) {
        zPicture::Rect s = c.source, d = c.destination;
        ClipBlitRects(sourceBounds, s, destinationBounds, d);
        const int32_t w = d.x1 - d.x0;
        if (c.clippedDestination.x1 <= c.clippedDestination.x0) {
            EXPECT_LE(w, 0);
            continue;
        }
        EXPECT_EQ((std::vector<int>{s.x0, s.y0, s.x1, s.y1}),
                  (std::vector<int>{c.clippedSource.x0, c.clippedSource.y0, c.clippedSource.x1, c.clippedSource.y1}));
        EXPECT_EQ((std::vector<int>{d.x0, d.y0, d.x1, d.y1}),
                  (std::vector<int>{c.clippedDestination.x0, c.clippedDestination.y0, c.clippedDestination.x1,
                                    c.clippedDestination.y1}));
    }
}

TEST(PictureBlit, CopiesFromANegativeOriginAndStaysInside)
{
    zPicture source;
    source.AllocAs(8, 8, PixelFormatABGR32);
    for (int i = 0; i < 64; ++i)
        source.pixels[i * 4] = uint8_t(i);
    GuardedPicture g(4, 4);
    const zPicture::Rect destination{-5, -5, 0, 0};
    zPicture::Blit(source, g.picture, nullptr, &destination);
    EXPECT_EQ(Reds(g.picture), (std::vector<int>{45, 46, 47, 0, 53, 54, 55, 0, 61, 62, 63, 0, 0, 0, 0, 0}));

    const zPicture::Rect far{3, 3, 0, 0};
    zPicture::Blit(source, g.picture, nullptr, &far);
    EXPECT_EQ(g.Pixel(3, 3)[0], 0);
    const zPicture::Rect huge{INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX};
    zPicture::Blit(source, g.picture, nullptr, &huge);
    zPicture::Blit(source, g.picture, &huge, nullptr);
    EXPECT_TRUE(g.GuardsIntact());
}

TEST(PictureBlit, BlendAndAlphaFromColorModes)
{
    zPicture source = MakePicture(2, 1, PixelFormatABGR32, {200, 100, 40, 128, 30, 60, 91, 0});
    zPicture destination = MakePicture(2, 1, PixelFormatABGR32, {100, 50, 0, 255, 7, 8, 9, 10});
    zPicture blended(destination);
    zPicture::Blit(source, blended, nullptr, nullptr, zPicture::BlitBlend);
    EXPECT_EQ(PixelBytes(blended), (Bytes{150, 75, 20, 255, 7, 8, 9, 10}));

    zPicture masked(destination);
    zPicture::Blit(source, masked, nullptr, nullptr, zPicture::BlitAlphaFromColor);
    EXPECT_EQ(PixelBytes(masked), (Bytes{100, 50, 0, 113, 7, 8, 9, 60}));

    zPicture white = MakePicture(1, 1, PixelFormatABGR32, {255, 255, 255, 0});
    zPicture::Blit(white, masked, nullptr, nullptr, zPicture::BlitAlphaFromColor);
    EXPECT_EQ(masked.pixels[3], 255);

    zPicture untouched(destination);
    zPicture::Blit(source, untouched, nullptr, nullptr, 3);
    EXPECT_EQ(PixelBytes(untouched), PixelBytes(destination));
}

TEST(PictureBlit, KeepsTheDestinationFormatAndTheAlphaOutsideTheRectangle)
{
    zPicture source = MakePicture(1, 1, PixelFormatRGB24, {0x30, 0x20, 0x10}); // B, G, R
    zPicture destination = MakePicture(3, 1, PixelFormatABGR32, {1, 2, 3, 200, 4, 5, 6, 200, 7, 8, 9, 200});
    const zPicture::Rect at{1, 0, 0, 0};
    zPicture::Blit(source, destination, nullptr, &at);
    EXPECT_FALSE(destination.format.IsDifferent(PixelFormatABGR32));
    // The copied pixel has no alpha in its source: 0, as any conversion gives.
    EXPECT_EQ(PixelBytes(destination), (Bytes{1, 2, 3, 200, 0x10, 0x20, 0x30, 0, 7, 8, 9, 200}));

    zPicture argb = MakePicture(1, 1, PixelFormatARGB32, {0x30, 0x20, 0x10, 0xFF});
    zPicture::Blit(argb, destination, nullptr, nullptr, zPicture::BlitBlend);
    EXPECT_EQ(PixelBytes(destination), (Bytes{0x10, 0x20, 0x30, 0xFF, 0x10, 0x20, 0x30, 0, 7, 8, 9, 200}));
}

TEST(PictureBlit, OverlappingBlitWithinOnePicture)
{
    zPicture picture = MakePicture(4, 1, PixelFormatABGR32, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0});
    const zPicture::Rect source{0, 0, 3, 1}, destination{1, 0, 0, 0};
    zPicture::Blit(picture, picture, &source, &destination);
    EXPECT_EQ(Reds(picture), (std::vector<int>{1, 1, 2, 3}));
}

TEST(PictureResize, ResamplesBilinearlyIntoABGR32)
{
    zPicture picture = MakePicture(2, 1, PixelFormatABGR32, {0, 0, 0, 255, 255, 255, 255, 255});
    ASSERT_TRUE(picture.Resize(4, 1));
    EXPECT_EQ(PixelBytes(picture), (Bytes{0, 0, 0, 255, 127, 127, 127, 255, 255, 255, 255, 255, 255, 255, 255, 255}));

    // Every byte value comes back unchanged from an ARGB32 picture.
    std::vector<uint8_t> bytes(256 * 4);
    for (int i = 0; i < 256; ++i) {
        bytes[i * 4 + 0] = uint8_t(i);
        bytes[i * 4 + 1] = uint8_t(255 - i);
        bytes[i * 4 + 2] = uint8_t(i ^ 0x55);
        bytes[i * 4 + 3] = uint8_t(i * 7);
    }
    zPicture argb = MakePicture(1, 256, PixelFormatARGB32, bytes);
    ASSERT_TRUE(argb.Resize(2, 256));
    EXPECT_FALSE(argb.format.IsDifferent(PixelFormatABGR32));
    for (int i = 0; i < 256; ++i) {
        const Bytes expected{uint8_t(i ^ 0x55), uint8_t(255 - i), uint8_t(i), uint8_t(i * 7)};
        ASSERT_EQ(Px(argb.pixels + i * 8), expected) << i;
        ASSERT_EQ(Px(argb.pixels + i * 8 + 4), expected) << i;
    }
}

TEST(PictureResize, FloatPicturesStayFloatAndBadRequestsFail)
{
    zPicture picture = MakePicture(2, 1, PixelFormatRGBFloat, FloatBytes({0, 0, 0, 1, 2, 3}));
    ASSERT_TRUE(picture.Resize(4, 2));
    EXPECT_FALSE(picture.format.IsDifferent(PixelFormatRGBFloat));
    float row[12];
    std::memcpy(row, picture.pixels, sizeof row);
    EXPECT_EQ(std::vector<float>(row, row + 12), (std::vector<float>{0, 0, 0, 0.5f, 1, 1.5f, 1, 2, 3, 1, 2, 3}));

    zPicture argb = MakePicture(1, 1, PixelFormatARGB32, {1, 2, 3, 4});
    EXPECT_TRUE(argb.Resize(1, 1));
    EXPECT_FALSE(argb.format.IsDifferent(PixelFormatARGB32));
    EXPECT_FALSE(argb.Resize(0, 4));
    EXPECT_FALSE(argb.Resize(4, -1));
    EXPECT_FALSE(argb.Resize(1 << 20, 1 << 20));
    EXPECT_EQ(PixelBytes(argb), (Bytes{1, 2, 3, 4}));

    zPicture rgb;
    rgb.AllocAs(2, 2, PixelFormatRGB24);
    EXPECT_FALSE(rgb.Resize(4, 4));
}

TEST(PictureConvolution, RepeatsTheCentreColumnOrRowForMissingTaps)
{
    struct Case {
        const char* name;
        int32_t kw, kh;
        std::vector<int32_t> kernel;
        std::vector<int> row; // of the 5 x 1 picture 10, 20, 30, 40, 50
    } cases[] = {
        {"box of five", 5, 1, {1, 1, 1, 1, 1}, {16, 24, 30, 36, 44}},
        {"vertical taps repeat the row", 1, 3, {1, 1, 1}, {10, 20, 30, 40, 50}},
        {"zero sum keeps raw sums", 3, 1, {-2, 1, 1}, {10, 30, 30, 30, 20}},
        {"clamped above 255", 3, 1, {-20, 0, 21}, {220, 255, 255, 255, 250}},
        {"clamped below 0", 3, 1, {21, 0, -20}, {0, 0, 0, 0, 0}},
        {"large weights", 1, 1, {INT_MAX}, {10, 20, 30, 40, 50}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        for (int v : {10, 20, 30, 40, 50})
            bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v), uint8_t(v), uint8_t(v)});
        zPicture picture = MakePicture(5, 1, PixelFormatABGR32, bytes);
        ASSERT_TRUE(picture.ApplyConvolution(c.kw, c.kh, c.kernel.data())) << c.name;
        EXPECT_EQ(Reds(picture), c.row) << c.name;
        EXPECT_EQ(picture.pixels[4 * 4 + 3], c.row[4]) << c.name;
    }

    // A 3 x 3 box in two dimensions: missing taps repeat the centre pixel's own column or row.
    zPicture square = MakePicture(3, 2, PixelFormatABGR32,
                                  {90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0});
    const int32_t box[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(square.ApplyConvolution(3, 3, box));
    EXPECT_EQ(Reds(square), (std::vector<int>{40, 21, 2, 20, 12, 4}));
}

TEST(PictureConvolution, RefusesOtherFormatsAndEmptyKernels)
{
    LogCapture capture;
    zPicture rgb;
    rgb.AllocAs(2, 2, PixelFormatRGB24);
    const int32_t one = 1;
    EXPECT_FALSE(rgb.ApplyConvolution(1, 1, &one));
    zPicture picture = MakePicture(1, 1, PixelFormatABGR32, {1, 2, 3, 4});
    EXPECT_FALSE(picture.ApplyConvolution(0, 3, &one));
    EXPECT_FALSE(picture.ApplyConvolution(3, -1, &one));
    ASSERT_EQ(capture.lines.size(), 3u);
    EXPECT_NE(capture.lines[0].find("[!] zPicture::ApplyConvolution ("), std::string::npos);
    EXPECT_NE(capture.lines[0].find(") Cannot apply convolution filter to a non RGB32 picture.\n"), std::string::npos);
    EXPECT_NE(capture.lines[1].find(") Invalid kernel size (0x3).\n"), std::string::npos);
    EXPECT_NE(capture.lines[2].find(") Invalid kernel size (3x-1).\n"), std::string::npos);
    EXPECT_EQ(PixelBytes(picture), (Bytes{1, 2, 3, 4}));
}
