#include "bfgt/picture/zPixelFormat.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct PresetCase {
    const char* name;
    zPixelFormat format;
    uint8_t shifts[4]; // alpha, red, green, blue
    uint8_t widths[4];
};

const PresetCase Presets[] = {
    {"ARGB32", PixelFormatARGB32, {24, 16, 8, 0}, {8, 8, 8, 8}},
    {"ABGR32", PixelFormatABGR32, {24, 0, 8, 16}, {8, 8, 8, 8}},
    {"BGRA32", PixelFormatBGRA32, {0, 8, 16, 24}, {8, 8, 8, 8}},
    {"RGB24", PixelFormatRGB24, {32, 16, 8, 0}, {0, 8, 8, 8}},
    {"BGR24", PixelFormatBGR24, {32, 0, 8, 16}, {0, 8, 8, 8}},
    {"BGR555", PixelFormatBGR555, {32, 0, 5, 10}, {0, 5, 5, 5}},
    {"BGR565", PixelFormatBGR565, {32, 0, 5, 11}, {0, 5, 6, 5}},
    {"ABGR4444", PixelFormatABGR4444, {12, 0, 4, 8}, {4, 4, 4, 4}},
};

} // namespace

TEST(zPixelFormat, PresetsDeriveShiftAndWidthFromTheirMasks)
{
    for (const PresetCase& c : Presets) {
        SCOPED_TRACE(c.name);
        const zPixelFormat& f = c.format;
        EXPECT_EQ(f.byteOrder, 1);
        EXPECT_EQ(f.alphaShift, c.shifts[0]);
        EXPECT_EQ(f.redShift, c.shifts[1]);
        EXPECT_EQ(f.greenShift, c.shifts[2]);
        EXPECT_EQ(f.blueShift, c.shifts[3]);
        EXPECT_EQ(f.alphaWidth, c.widths[0]);
        EXPECT_EQ(f.redWidth, c.widths[1]);
        EXPECT_EQ(f.greenWidth, c.widths[2]);
        EXPECT_EQ(f.blueWidth, c.widths[3]);
    }
    EXPECT_EQ(PixelFormatRGBFloat.bitsPerPixel, 96);
    EXPECT_EQ(PixelFormatRGBFloat.isFloat, 1);
    EXPECT_FALSE(PixelFormatPresets[1].IsDifferent(PixelFormatABGR32));
    EXPECT_FALSE(PixelFormatPresets[8].IsDifferent(PixelFormatRGBFloat));
}

TEST(zPixelFormat, FormatPacksIntoTheBytesOfEach32BitPreset)
{
    struct Case {
        zPixelFormat format;
        uint8_t bytes[4]; // lowest address first
    } cases[] = {
        {PixelFormatARGB32, {0x3F, 0x7F, 0xFF, 0xBF}}, // B, G, R, A
        {PixelFormatABGR32, {0xFF, 0x7F, 0x3F, 0xBF}}, // R, G, B, A
        {PixelFormatBGRA32, {0xBF, 0xFF, 0x7F, 0x3F}}, // A, R, G, B
    };
    for (const Case& c : cases) {
        uint32_t value = c.format.Format(1.0f, 0.5f, 0.25f, 0.75f);
        uint8_t bytes[4];
        std::memcpy(bytes, &value, 4);
        EXPECT_EQ(std::memcmp(bytes, c.bytes, 4), 0) << std::hex << value;
    }
    EXPECT_EQ(PixelFormatABGR32.Format(1.0f, 0.5f, 0.0f, 1.0f), 0xFF007FFFu);
}

TEST(zPixelFormat, FormatClampsComponentsAndIgnoresMissingChannels)
{
    EXPECT_EQ(PixelFormatABGR32.Format(2.0f, -1.0f, std::nanf(""), 1.0f), 0xFF0000FFu);
    // A 32-bit format without alpha: the alpha must not leak into another channel.
    zPixelFormat xrgb(1, 0, 0x00FF0000, 0x0000FF00, 0x000000FF, 32, 0);
    EXPECT_EQ(xrgb.Format(0.0f, 0.0f, 0.0f, 1.0f), 0u);
}

TEST(zPixelFormat, FormatRefusesFormatsOtherThan32Bits)
{
    LogCapture capture;
    EXPECT_EQ(PixelFormatRGB24.Format(1, 1, 1, 1), 0u);
    EXPECT_EQ(PixelFormatRGBFloat.Format(1, 1, 1, 1), 0u);
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[0].rfind("[*] zPixelFormat::Format (", 0), 0u);
    EXPECT_NE(capture.lines[0].find(") Unimplemented formatting.\n"), std::string::npos);
}

TEST(zPixelFormat, IsDifferentComparesTheDefiningFields)
{
    const zPixelFormat base = PixelFormatABGR32;
    zPixelFormat variants[7];
    for (zPixelFormat& v : variants)
        v = base;
    variants[0].byteOrder = 0;
    variants[1].alphaMask = 0;
    variants[2].redMask = 0x00FF0000;
    variants[3].greenMask = 0;
    variants[4].blueMask = 0;
    variants[5].bitsPerPixel = 24;
    variants[6].isFloat = 1;
    for (const zPixelFormat& v : variants)
        EXPECT_TRUE(base.IsDifferent(v));

    zPixelFormat copy;
    copy.Copy(base);
    EXPECT_FALSE(base.IsDifferent(copy));
    EXPECT_EQ(copy.blueShift, 16);
}

TEST(zPixelFormat, ToHostOrderReversesOnlyForeignFormats)
{
    uint8_t bytes[3] = {1, 2, 3};
    PixelFormatRGB24.ToHostOrder(3, bytes);
    EXPECT_EQ(bytes[0], 1);
    zPixelFormat foreign = PixelFormatRGB24;
    foreign.byteOrder = 0;
    foreign.ToHostOrder(3, bytes);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 1);
}
