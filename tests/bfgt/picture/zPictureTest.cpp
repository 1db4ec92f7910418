#include "bfgt/picture/zPicture.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

TEST(zPicture, AllocAsGivesAZeroFilledBuffer)
{
    zPicture picture;
    ASSERT_TRUE(picture.AllocAs(3, 2, PixelFormatRGB24));
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);
    EXPECT_EQ(PixelBytes(picture), std::vector<uint8_t>(18, 0));
}

TEST(zPicture, AllocAsAtTheSameSizeAndDepthKeepsThePixels)
{
    zPicture picture = MakePicture(1, 1, PixelFormatARGB32, {1, 2, 3, 4});
    const uint8_t* buffer = picture.pixels;
    ASSERT_TRUE(picture.AllocAs(1, 1, PixelFormatABGR32));
    EXPECT_EQ(picture.pixels, buffer);
    EXPECT_FALSE(picture.format.IsDifferent(PixelFormatABGR32));
    EXPECT_EQ(PixelBytes(picture), (std::vector<uint8_t>{1, 2, 3, 4}));

    // Another depth at the same size is a new, cleared buffer.
    ASSERT_TRUE(picture.AllocAs(1, 1, PixelFormatBGR565));
    EXPECT_EQ(PixelBytes(picture), (std::vector<uint8_t>{0, 0}));
}

TEST(zPicture, AllocAsRefusesBadSizesWithItsLogLine)
{
    struct Case {
        int32_t width, height;
        zPixelFormat format;
        const char* line;
    } cases[] = {
        {0, 4, PixelFormatABGR32, "Failed to allocate picture buffer (0x4@32bpp).\n"},
        {4, 0, PixelFormatABGR32, "Failed to allocate picture buffer (4x0@32bpp).\n"},
        {-2, 4, PixelFormatABGR32, "Failed to allocate picture buffer (-2x4@32bpp).\n"},
        {4, 4, zPixelFormat(), "Failed to allocate picture buffer (4x4@0bpp).\n"},
        // Products that overflow 32 bits, and sizes past the buffer limit.
        {65536, 65536, PixelFormatABGR32, "Failed to allocate picture buffer (65536x65536@32bpp).\n"},
        {2147483647, 2147483647, PixelFormatRGBFloat,
         "Failed to allocate picture buffer (2147483647x2147483647@96bpp).\n"},
        {32768, 16385, PixelFormatABGR32, "Failed to allocate picture buffer (32768x16385@32bpp).\n"},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        zPicture picture = MakePicture(2, 3, PixelFormatRGB24, std::vector<uint8_t>(18, 7));
        EXPECT_FALSE(picture.AllocAs(c.width, c.height, c.format)) << c.line;
        EXPECT_EQ(picture.pixels, nullptr);
        // The old size stays in the fields.
        EXPECT_EQ(picture.width, 2);
        EXPECT_EQ(picture.height, 3);
        ASSERT_EQ(capture.lines.size(), 1u);
        EXPECT_EQ(capture.lines[0].rfind("[!] zPicture::AllocAs (", 0), 0u);
        EXPECT_NE(capture.lines[0].find(c.line), std::string::npos) << capture.lines[0];
    }
}

TEST(zPicture, ResetPictureCannotAllocateItsOwnFormat)
{
    LogCapture capture;
    zPicture picture;
    EXPECT_EQ(picture.format.bitsPerPixel, 0);
    EXPECT_FALSE(picture.AllocAs(4, 4, picture.format));
}

TEST(zPicture, CopyDuplicatesPixelsSizeOnlyAndEmptyPictures)
{
    zPicture source = MakePicture(2, 1, PixelFormatBGR565, {1, 2, 3, 4});
    zPicture copy(source);
    EXPECT_NE(copy.pixels, source.pixels);
    EXPECT_EQ(PixelBytes(copy), PixelBytes(source));
    EXPECT_FALSE(copy.format.IsDifferent(PixelFormatBGR565));

    zPicture placeholder;
    placeholder.SetSizeOnly(640, 480);
    copy = placeholder;
    EXPECT_TRUE(copy.IsSizeOnly());
    EXPECT_EQ(copy.pixels, nullptr);
    EXPECT_EQ(copy.width, 640);
    EXPECT_EQ(copy.height, 480);

    // A freed picture keeps its size but has nothing to copy.
    source.Free();
    EXPECT_TRUE(copy.Copy(source));
    EXPECT_EQ(copy.pixels, nullptr);
    EXPECT_FALSE(copy.IsSizeOnly());

    copy = copy;
    EXPECT_EQ(copy.pixels, nullptr);
}

TEST(zPicture, ExternalBufferStaysTheCallersAndConversionsOwnTheirs)
{
    uint8_t buffer[8] = {10, 20, 30, 40, 50, 60, 70, 80};
    {
        zPicture picture;
        picture.SetExternalBuffer(nullptr, 5, 5, PixelFormatABGR32);
        EXPECT_EQ(picture.pixels, nullptr);
        picture.SetExternalBuffer(buffer, 2, 1, PixelFormatARGB32);
        EXPECT_EQ(picture.bufferFlags, zPicture::BufferNotOwned);
        picture.Free();
        EXPECT_EQ(picture.pixels, nullptr);
        EXPECT_EQ(picture.bufferFlags, 0u);

        // A conversion that needs a new buffer owns it (the leak checker
        // reports it otherwise); the lent buffer is left as it was.
        picture.SetExternalBuffer(buffer, 2, 1, PixelFormatARGB32);
        ASSERT_TRUE(picture.ConvertTo(PixelFormatRGB24));
        EXPECT_NE(picture.pixels, buffer);
        EXPECT_EQ(picture.bufferFlags & zPicture::BufferNotOwned, 0u);
        EXPECT_EQ(PixelBytes(picture), (std::vector<uint8_t>{10, 20, 30, 50, 60, 70}));
        ASSERT_TRUE(picture.ConvertTo(PixelFormatBGR565));
        ASSERT_TRUE(picture.ConvertTo(PixelFormatRGBFloat));
    }
    EXPECT_EQ(buffer[0], 10);
    EXPECT_EQ(buffer[7], 80);
}

namespace {

// One colour in every preset: red 0xCD, green 0x6B, blue 0x39, alpha 0x96,
// with the low bits that the narrow formats drop.
struct Encoded {
    zPixelFormat format;
    std::vector<uint8_t> bytes;
};

std::vector<Encoded> ColourInEachPreset()
{
    return {
        {PixelFormatARGB32, {0x39, 0x6B, 0xCD, 0x96}},
        {PixelFormatABGR32, {0xCD, 0x6B, 0x39, 0x96}},
        {PixelFormatBGRA32, {0x96, 0xCD, 0x6B, 0x39}},
        {PixelFormatRGB24, {0x39, 0x6B, 0xCD}},
        {PixelFormatBGR24, {0xCD, 0x6B, 0x39}},
        {PixelFormatBGR555, {0xB9, 0x1D}},
        {PixelFormatBGR565, {0x59, 0x3B}},
        {PixelFormatABGR4444, {0x6C, 0x93}},
        {PixelFormatRGBFloat, FloatBytes({0xCD / 255.0f, 0x6B / 255.0f, 0x39 / 255.0f})},
    };
}

} // namespace

TEST(zPicture, ConvertsFromEveryFullPrecisionPresetToEveryPreset)
{
    // Sources that hold all four 8-bit channels convert exactly into every target
    // (float and 24-bit targets drop the alpha).
    const std::vector<Encoded> all = ColourInEachPreset();
    for (size_t s = 0; s < 3; ++s) {
        for (const Encoded& target : all) {
            zPicture picture = MakePicture(1, 1, all[s].format, all[s].bytes);
            ASSERT_TRUE(picture.ConvertTo(target.format));
            EXPECT_FALSE(picture.format.IsDifferent(target.format));
            EXPECT_EQ(PixelBytes(picture), target.bytes) << "from " << s << " to bpp " << int(target.format.bitsPerPixel);
        }
    }
}

TEST(zPicture, ConvertsNarrowAndAlphaLessSourcesExactly)
{
    const std::vector<uint8_t> noAlpha = {0xCD, 0x6B, 0x39, 0x00};
    struct Case {
        const char* name;
        zPixelFormat from;
        std::vector<uint8_t> source;
        zPixelFormat to;
        std::vector<uint8_t> expected;
    } cases[] = {
        // A source without alpha gives alpha 0.
        {"RGB24 to ABGR32", PixelFormatRGB24, {0x39, 0x6B, 0xCD}, PixelFormatABGR32, noAlpha},
        {"BGR24 to RGB24", PixelFormatBGR24, {0xCD, 0x6B, 0x39}, PixelFormatRGB24, {0x39, 0x6B, 0xCD}},
        // Narrow channels come back shifted up, their low bits 0.
        {"BGR555 to ABGR32", PixelFormatBGR555, {0xB9, 0x1D}, PixelFormatABGR32, {0xC8, 0x68, 0x38, 0x00}},
        {"BGR565 to ARGB32", PixelFormatBGR565, {0x59, 0x3B}, PixelFormatARGB32, {0x38, 0x68, 0xC8, 0x00}},
        {"ABGR4444 to ABGR32", PixelFormatABGR4444, {0x6C, 0x93}, PixelFormatABGR32, {0xC0, 0x60, 0x30, 0x90}},
        {"BGR565 to BGR555", PixelFormatBGR565, {0x59, 0x3B}, PixelFormatBGR555, {0xB9, 0x1D}},
        {"BGR555 to float", PixelFormatBGR555, {0xB9, 0x1D}, PixelFormatRGBFloat,
         FloatBytes({0xC8 / 255.0f, 0x68 / 255.0f, 0x38 / 255.0f})},
        // Float: above 1 and NaN give 255, below 0 gives 0; alpha is opaque.
        {"float to ABGR32", PixelFormatRGBFloat, FloatBytes({2.0f, -0.5f, std::nanf("")}), PixelFormatABGR32,
         {0xFF, 0x00, 0xFF, 0xFF}},
        {"float to ABGR4444", PixelFormatRGBFloat, FloatBytes({1.0f, 0.5f, 0.0f}), PixelFormatABGR4444, {0x7F, 0xF0}},
        {"float to BGR555", PixelFormatRGBFloat, FloatBytes({1.0f, 0.0f, 1.0f}), PixelFormatBGR555, {0x1F, 0x7C}},
    };
    for (const Case& c : cases) {
        zPicture picture = MakePicture(1, 1, c.from, c.source);
        ASSERT_TRUE(picture.ConvertTo(c.to)) << c.name;
        EXPECT_EQ(PixelBytes(picture), c.expected) << c.name;
    }
}

TEST(zPicture, ConvertBetween32BitPresetsPermutesBytesInPlace)
{
    zPicture picture = MakePicture(2, 1, PixelFormatARGB32, {1, 2, 3, 4, 5, 6, 7, 8});
    const uint8_t* buffer = picture.pixels;
    ASSERT_TRUE(picture.ConvertTo(PixelFormatABGR32));
    EXPECT_EQ(picture.pixels, buffer);
    EXPECT_EQ(PixelBytes(picture), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(zPicture, EveryByteValueSurvivesARoundTripThroughFloat)
{
    std::vector<uint8_t> bytes(256 * 3);
    for (int i = 0; i < 256 * 3; ++i)
        bytes[i] = uint8_t(i / 3);
    zPicture picture = MakePicture(256, 1, PixelFormatBGR24, bytes);
    ASSERT_TRUE(picture.ConvertTo(PixelFormatRGBFloat));
    ASSERT_TRUE(picture.ConvertTo(PixelFormatBGR24));
    EXPECT_EQ(PixelBytes(picture), bytes);
}

TEST(zPicture, ConvertToAnEmptyFormatFreesAndUnknownDepthsAreRefused)
{
    zPicture picture = MakePicture(1, 1, PixelFormatABGR32, {1, 2, 3, 4});
    ASSERT_TRUE(picture.ConvertTo(zPixelFormat()));
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_EQ(picture.width, 0);

    // A 12-bit packing is no depth the converter reads; the picture stays.
    zPixelFormat odd(1, 0, 0xF00, 0x0F0, 0x00F, 12, 0);
    zPicture normal = MakePicture(1, 1, PixelFormatABGR32, {1, 2, 3, 4});
    EXPECT_FALSE(normal.ConvertTo(odd));
    EXPECT_EQ(PixelBytes(normal), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(normal.format.IsDifferent(PixelFormatABGR32));
}

TEST(zPicture, HasTransparentPixelReadsTheAlphaChannel)
{
    struct Case {
        const char* name;
        zPixelFormat format;
        std::vector<uint8_t> bytes;
        bool transparent;
    } cases[] = {
        {"opaque ABGR32", PixelFormatABGR32, {0, 0, 0, 255, 9, 9, 9, 255}, false},
        {"one at 254", PixelFormatABGR32, {0, 0, 0, 255, 9, 9, 9, 254}, true},
        {"BGRA32 alpha in byte 0", PixelFormatBGRA32, {255, 0, 0, 0, 0, 1, 2, 3}, true},
        {"4444 alpha 14 counts as opaque", PixelFormatABGR4444, {0xFF, 0xEF, 0xFF, 0xFF}, false},
        {"4444 alpha 0", PixelFormatABGR4444, {0xFF, 0xFF, 0xFF, 0x0F}, true},
        {"no alpha channel", PixelFormatRGB24, {0, 0, 0, 0, 0, 0}, false},
        {"float", PixelFormatRGBFloat, FloatBytes({0, 0, 0, 0, 0, 0}), false},
    };
    for (const Case& c : cases) {
        zPicture picture = MakePicture(2, 1, c.format, c.bytes);
        EXPECT_EQ(picture.HasTransparentPixel(), c.transparent) << c.name;
    }
    EXPECT_FALSE(zPicture().HasTransparentPixel());
}
