#include "bfgt/picture/zPictureIO.h"

#include "PictureTestSupport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct TgaHeader {
    uint8_t type = 2;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 24;
    uint8_t descriptor = 0x20;
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint16_t mapLength = 0;
    uint8_t entrySize = 0;
};

Bytes Tga(const TgaHeader& h, const Bytes& body)
{
    Bytes file{h.idLength, h.mapType, h.type, 0, 0};
    AppendU16(file, h.mapLength);
    file.push_back(h.entrySize);
    AppendU32(file, 0); // origin
    AppendU16(file, h.width);
    AppendU16(file, h.height);
    file.push_back(h.depth);
    file.push_back(h.descriptor);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

bool DecodeTga(const Bytes& file, zPicture& picture)
{
    return DecodeExact(file, [&](const uint8_t* data, size_t size) { return lowlevel_tga_decode(data, size, picture); });
}

// 256 palette entries of 24 bits: entry i is (blue i, green 2i, red 3i), entry 7 magenta.
Bytes Palette24()
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back(uint8_t(i));
        palette.push_back(uint8_t(2 * i));
        palette.push_back(uint8_t(3 * i));
    }
    palette[21] = 255, palette[22] = 0, palette[23] = 255;
    return palette;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(TgaLoad, DecodesEverySupportedLayoutToARGB32)
{
    const Bytes palette = Palette24();
    struct Case {
        const char* name;
        TgaHeader header;
        Bytes body;
        Bytes pixels; // B, G, R, A per pixel, top row first
    } cases[] = {
        {"24-bit bottom-up", {2, 2, 2, 24, 0x00}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {7, 8, 9, 255, 10, 11, 12, 255, 1, 2, 3, 255, 4, 5, 6, 255}},
        {"24-bit top-down", {2, 2, 2, 24, 0x20}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}},
        {"grey", {3, 2, 1, 8, 0x20}, {128, 7}, {128, 128, 128, 128, 7, 7, 7, 7}},
        {"16-bit, bit 15 ignored", {2, 3, 1, 16, 0x20}, {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x80},
         {0xF8, 0xF8, 0xF8, 255, 0xF8, 0, 0, 255, 0, 0, 0, 255}},
        {"32-bit", {2, 1, 1, 32, 0x28}, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {"ID field skipped", {2, 1, 1, 24, 0x20, 3}, {9, 9, 9, 1, 2, 3}, {1, 2, 3, 255}},
        {"colour-mapped, magenta transparent", {1, 3, 1, 8, 0x20, 2, 1, 256, 24}, Concat(Bytes{0, 0}, Concat(palette, {1, 7, 255})),
         {1, 2, 3, 255, 255, 0, 255, 0, 255, 254, 253, 255}},
        {"short colour map, index past it is 0", {1, 2, 1, 8, 0x20, 0, 1, 2, 24}, {1, 2, 3, 4, 5, 6, 1, 5},
         {4, 5, 6, 255, 0, 0, 0, 0}},
        {"32-bit colour map", {1, 1, 1, 8, 0x20, 0, 1, 2, 32}, {1, 2, 3, 4, 5, 6, 7, 8, 1}, {5, 6, 7, 8}},
        {"run-length colour-mapped", {9, 4, 1, 8, 0x20, 0, 1, 256, 24}, Concat(palette, {0x81, 2, 0x01, 3, 1}),
         {2, 4, 6, 255, 2, 4, 6, 255, 3, 6, 9, 255, 1, 2, 3, 255}},
        {"run-length 24-bit across rows", {10, 2, 2, 24, 0x20}, {0x82, 1, 2, 3, 0x00, 4, 5, 6},
         {1, 2, 3, 255, 1, 2, 3, 255, 1, 2, 3, 255, 4, 5, 6, 255}},
        {"run-length 32-bit bottom-up", {10, 1, 2, 32, 0x08}, {0x00, 1, 2, 3, 4, 0x80, 5, 6, 7, 8},
         {5, 6, 7, 8, 1, 2, 3, 4}},
        {"run-length 16-bit", {10, 2, 1, 16, 0x20}, {0x81, 0x1F, 0x00}, {0xF8, 0, 0, 255, 0xF8, 0, 0, 255}},
        {"run past the last pixel is cut", {10, 2, 1, 24, 0x20}, {0xFF, 1, 2, 3}, {1, 2, 3, 255, 1, 2, 3, 255}},
        {"raw packet past the last pixel is cut", {10, 1, 1, 24, 0x20}, {0x01, 1, 2, 3, 4, 5, 6}, {1, 2, 3, 255}},
        {"true-colour file carrying a colour map", {2, 1, 1, 24, 0x20, 0, 1, 2, 24}, {9, 9, 9, 9, 9, 9, 1, 2, 3},
         {1, 2, 3, 255}},
    };
    for (const Case& c : cases) {
        zPicture picture;
        ASSERT_TRUE(DecodeTga(Tga(c.header, c.body), picture)) << c.name;
        EXPECT_FALSE(picture.format.IsDifferent(PixelFormatARGB32)) << c.name;
        EXPECT_EQ(picture.width, c.header.width);
        EXPECT_EQ(picture.height, c.header.height);
        EXPECT_EQ(PixelBytes(picture), c.pixels) << c.name;
    }
}

TEST(TgaLoad, BadFilesFailAndLeaveThePictureAsItWas)
{
    struct Case {
        const char* name;
        Bytes file;
        const char* line; // null: no log line
    } cases[] = {
        {"shorter than a header", Bytes(17, 0), nullptr},
        {"image type 0", Tga({0}, {}), nullptr},
        {"image type 11", Tga({11}, {1, 2, 3}), nullptr},
        {"a BMP", Concat({'B', 'M', 2, 0}, Bytes(60, 0)), nullptr},
        {"type word with a high byte", [] { Bytes f = Tga({2}, {1, 2, 3}); f[3] = 1; return f; }(), nullptr},
        {"truncated pixels", Tga({2, 2, 2, 24}, Bytes(11, 1)), "TGA pixel data is truncated."},
        {"truncated run-length data", Tga({10, 4, 1, 24}, {0x81, 1, 2, 3, 0x01, 4}), "TGA pixel data is truncated."},
        {"run-length data missing", Tga({10, 4, 1, 24}, {}), "TGA pixel data is truncated."},
        {"ID field past the end", Tga({2, 1, 1, 24, 0x20, 200}, {1, 2, 3}), "TGA pixel data is truncated."},
        {"huge size, little data", Tga({2, 65535, 65535, 32}, Bytes(64, 0)), "TGA pixel data is truncated."},
        {"huge run-length size", Tga({10, 65535, 65535, 32}, Bytes(64, 0xFF)), "TGA pixel data is truncated."},
        {"zero width", Tga({2, 0, 4, 24}, {}), "Failed to allocate picture buffer (0x4@32bpp)."},
        {"depth 15", Tga({2, 1, 1, 15}, {1, 2}), "Unsupported TGA pixel depth (15 bpp)."},
        {"run-length depth 8", Tga({10, 1, 1, 8}, {0, 1}), "Unsupported TGA pixel depth (8 bpp)."},
        {"8-bit colour map", Tga({1, 1, 1, 8, 0x20, 0, 1, 256, 8}, Bytes(257, 0)),
         "Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8)."},
        {"20-bit colour map", Tga({1, 1, 1, 8, 0x20, 0, 1, 256, 20}, Bytes(1000, 0)),
         "Palette is in unsupported pixel format (neither RGB16, RGB24 or BGR8)."},
        {"16-bit indices", Tga({1, 1, 1, 16, 0x20, 0, 1, 256, 24}, Bytes(800, 0)), "Unsupported TGA index depth (16 bpp)."},
        {"truncated colour map", Tga({9, 1, 1, 8, 0x20, 0, 1, 256, 24}, Bytes(100, 0)), "Could not read TGA palette."},
    };
    for (const Case& c : cases) {
        LogCapture capture;
        zPicture picture = MakePicture(1, 1, PixelFormatBGR565, {0x34, 0x12});
        EXPECT_FALSE(DecodeTga(c.file, picture)) << c.name;
        EXPECT_EQ(PixelBytes(picture), (Bytes{0x34, 0x12})) << c.name;
        EXPECT_FALSE(picture.format.IsDifferent(PixelFormatBGR565)) << c.name;
        if (c.line == nullptr) {
            EXPECT_TRUE(capture.lines.empty()) << c.name;
        } else {
            ASSERT_EQ(capture.lines.size(), 1u) << c.name;
            EXPECT_NE(capture.lines[0].find(c.line), std::string::npos) << c.name << ": " << capture.lines[0];
        }
    }
}

TEST(TgaSave, WritesBlueGreenRedAlphaOrderForEachFormat)
{
    struct Case {
        const char* name;
        zPixelFormat format;
        Bytes pixel;      // in the picture's format
        Bytes filePixel;  // as TGA stores it
        uint8_t descriptor;
        Bytes loaded;     // B, G, R, A after loading back
    } cases[] = {
        {"ABGR32", PixelFormatABGR32, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10, 0x40}, 0x28, {0x30, 0x20, 0x10, 0x40}},
        {"ARGB32", PixelFormatARGB32, {0x30, 0x20, 0x10, 0x40}, {0x30, 0x20, 0x10, 0x40}, 0x28, {0x30, 0x20, 0x10, 0x40}},
        {"RGB24", PixelFormatRGB24, {0x30, 0x20, 0x10}, {0x30, 0x20, 0x10}, 0x20, {0x30, 0x20, 0x10, 0xFF}},
        {"BGR24", PixelFormatBGR24, {0x10, 0x20, 0x30}, {0x30, 0x20, 0x10}, 0x20, {0x30, 0x20, 0x10, 0xFF}},
        // Red 1, green 2, blue 3 in the picture; TGA keeps blue in the low bits.
        {"BGR555", PixelFormatBGR555, {0x41, 0x0C}, {0x43, 0x04}, 0x20, {0x18, 0x10, 0x08, 0xFF}},
    };
    for (const Case& c : cases) {
        zPicture picture = MakePicture(1, 1, c.format, c.pixel);
        Bytes file;
        ASSERT_TRUE(lowlevel_tga_encode(picture, file)) << c.name;
        ASSERT_EQ(file.size(), 18 + c.pixel.size());
        EXPECT_EQ(file[2], 2);
        EXPECT_EQ(file[12], 1);
        EXPECT_EQ(file[14], 1);
        EXPECT_EQ(file[16], c.format.bitsPerPixel);
        EXPECT_EQ(file[17], c.descriptor) << c.name;
        EXPECT_EQ(Bytes(file.begin() + 18, file.end()), c.filePixel) << c.name;

        zPicture loaded;
        ASSERT_TRUE(DecodeTga(file, loaded));
        EXPECT_EQ(PixelBytes(loaded), c.loaded) << c.name;
    }
}

TEST(TgaSave, RefusesOtherFormatsAndUnwritablePaths)
{
    LogCapture capture;
    zPicture floating = MakePicture(1, 1, PixelFormatRGBFloat, FloatBytes({1, 1, 1}));
    zPicture rgb565 = MakePicture(1, 1, PixelFormatBGR565, {0, 0});
    Bytes file;
    EXPECT_FALSE(lowlevel_tga_encode(floating, file));
    EXPECT_FALSE(lowlevel_tga_encode(rgb565, file));
    EXPECT_FALSE(lowlevel_tga_encode(zPicture(), file));
    ASSERT_EQ(capture.lines.size(), 3u);
    EXPECT_NE(capture.lines[0].find("[!] lowlevel_tga_save ("), std::string::npos);
    EXPECT_NE(capture.lines[0].find(") Only supports BGRA8/BGR8/RGB24/RGB555.\n"), std::string::npos);

    TempDir dir;
    zPicture picture = MakePicture(1, 1, PixelFormatABGR32, {1, 2, 3, 4});
    const std::string path = dir.Path("missing/out.tga");
    EXPECT_FALSE(lowlevel_tga_save(path.c_str(), picture));
    EXPECT_TRUE(capture.Contains("Cannot write to '" + path + "'."));
}

TEST(TgaSave, SavedFileLoadsBackThroughTheFileSystem)
{
    TempDir dir;
    zPicture picture;
    picture.AllocAs(3, 2, PixelFormatABGR32);
    for (int i = 0; i < 24; ++i)
        picture.pixels[i] = uint8_t(i * 10);
    const std::string path = dir.Path("picture.tga");
    ASSERT_TRUE(lowlevel_tga_save(path.c_str(), picture));

    zPicture loaded;
    ASSERT_TRUE(lowlevel_tga_load(path.c_str(), loaded));
    ASSERT_TRUE(loaded.ConvertTo(PixelFormatABGR32));
    EXPECT_EQ(PixelBytes(loaded), PixelBytes(picture));
    EXPECT_FALSE(lowlevel_tga_load(dir.Path("none.tga").c_str(), loaded));
}
