// Text with fonts the tests write themselves (TrueTypeBuilder.h): glyphs
// far larger than any picture, and embedded bitmaps.
#include "TrueTypeBuilder.h"
#include "UiTestSupport.h"

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "ui/zTextLayout.h"
#include "ui/zTrueTypeFont.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class GeneratedFontTest : public FontSystemTest {
protected:
    zTrueTypeFont* Open(const TrueTypeFontSpec& spec, const std::string& name)
    {
        const std::string path = dir.Write(name + ".ttf", BuildTrueType(spec));
        return zScene2D::OpenFont(path.c_str());
    }

    // Draws text with the font into a fresh transparent picture, the text
    // placed over the whole picture.
    zPicture Draw(zTrueTypeFont* font, int32_t size, const char* text, int32_t width, int32_t height)
    {
        zTextParameters parameters;
        parameters.font = font;
        parameters.size = size;
        zPicture picture = MakeCanvas(width, height);
        const zPicture::Rect all{0, 0, width, height};
        ComputeTextRect(text, parameters, all);
        RenderTextToPicture(picture, text, parameters, all, all);
        return picture;
    }

    TempDir dir;
};

// 16 units per em, "A" and "B" filled squares of 32,760 units: at 16 pixels
// each bitmap would be 32,760 pixels square, 1 GiB.
TrueTypeFontSpec HugeSquares()
{
    TrueTypeFontSpec spec;
    spec.unitsPerEm = 16;
    spec.ascender = 14;
    spec.descender = -2;
    for (char c : {'A', 'B'}) {
        TrueTypeGlyphSpec glyph;
        glyph.codePoint = uint32_t(c);
        glyph.advance = 32760;
        glyph.contours = {TrueTypeSquare(32760)};
        spec.glyphs.push_back(glyph);
    }
    return spec;
}

int32_t InkedPixels(const zPicture& picture)
{
    int32_t inked = 0;
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x)
            inked += PixelByte(picture, x, y, 3) != 0;
    return inked;
}

TEST_F(GeneratedFontTest, HugeGlyphsAreMeasuredWithoutBitmaps)
{
    zTrueTypeFont* font = Open(HugeSquares(), "huge");
    ASSERT_NE(font, nullptr);
    zTextParameters parameters;
    parameters.font = font;
    parameters.size = 16;
    EXPECT_EQ(ComputeTextRect("A", parameters, zPicture::Rect{0, 0, 0, 0}).x1, 32760);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(ComputeTextRect("AB", parameters, zPicture::Rect{0, 0, 0, 0}).x1, 65520);
    EXPECT_EQ(font->GetRenderCount(), 0u);
    EXPECT_EQ(font->GetLoadCount(), 2u);
    EXPECT_LT(font->GetCacheBytes(), size_t(4) << 10);
}

TEST_F(GeneratedFontTest, BitmapsPastTheLimitAreRefusedBeforeRendering)
{
    zTrueTypeFont* font = Open(HugeSquares(), "huge");
    ASSERT_NE(font, nullptr);
    LogCapture log;
    // "B" after "A" starts 32,760 pixels right of the picture: drawn alone.
    for (int i = 0; i < 10; ++i)
        for (const char* text : {"A", "B", "AB"})
            EXPECT_EQ(InkedPixels(Draw(font, 16, text, 64, 32)), 0) << text;
    EXPECT_EQ(font->GetRenderCount(), 0u);
    EXPECT_LT(font->GetCacheBytes(), size_t(4) << 10);
    int32_t warnings = 0;
    for (const std::string& line : log.lines)
        warnings += line.find("is too large to draw (32760x32760 pixels)") != std::string::npos;
    EXPECT_EQ(warnings, 2) << "one warning per glyph, not per drawing";

    // At one pixel the same squares are 2,048 pixels wide, 4 MiB each, and
    // drawn: a square stands on the baseline a pixel down the line, so its
    // bottom row is the picture's top row.
    const zPicture small = Draw(font, 1, "AB", 64, 32);
    EXPECT_EQ(InkedPixels(small), 64);
    EXPECT_EQ(font->GetRenderCount(), 1u) << "B lies right of the picture: not rasterised";
    EXPECT_LE(font->GetCacheBytes(), zTrueTypeFont::DefaultCacheBytes);
}

TEST_F(GeneratedFontTest, GlyphCacheGivesItsMemoryBack)
{
    zTrueTypeFont* font = Open(HugeSquares(), "huge");
    ASSERT_NE(font, nullptr);
    // At one pixel each glyph is a 4 MiB bitmap: one fits in 6 MiB, two do
    // not, so drawing them in turn starts the cache over every time.
    const size_t limit = size_t(6) << 20;
    font->SetCacheLimit(limit);
    size_t highest = 0;
    for (int i = 0; i < 3; ++i) {
        for (const char* text : {"A", "B"}) {
            EXPECT_EQ(InkedPixels(Draw(font, 1, text, 8, 8)), 8) << text;
            highest = std::max(highest, font->GetCacheBytes());
        }
    }
    EXPECT_LE(highest, limit);
    EXPECT_GT(highest, size_t(4) << 20);
    EXPECT_EQ(font->GetRenderCount(), 6u);
    // A lower limit empties the cache at once.
    font->SetCacheLimit(size_t(1) << 20);
    EXPECT_LT(font->GetCacheBytes(), size_t(1) << 20);
    const zPicture picture = Draw(font, 1, "A", 8, 8);
    EXPECT_EQ(InkedPixels(picture), 0) << "a 4 MiB bitmap does not fit in 1 MiB";
    EXPECT_LT(font->GetCacheBytes(), size_t(1) << 20);
}

// An ascender of -32768 at 16 units per em: at 1024 pixels an empty line is
// -2,097,152 pixels high (a line with glyphs is at least 0); 40 of them
// reach -84 million pixels, past what int32 holds in 1/64 pixel, and the
// "A" after them lies far above the picture.
TEST_F(GeneratedFontTest, NegativeLineHeightsDrawNothing)
{
    TrueTypeFontSpec spec;
    spec.unitsPerEm = 16;
    spec.ascender = -32768;
    spec.descender = 0;
    TrueTypeGlyphSpec glyph;
    glyph.codePoint = 'A';
    glyph.advance = 8;
    glyph.contours = {TrueTypeSquare(8)};
    spec.glyphs.push_back(glyph);
    zTrueTypeFont* font = Open(spec, "negative");
    ASSERT_NE(font, nullptr);
    ASSERT_LT(font->GetLineHeight(1024), 0);
    const std::string text = std::string(40, '\n') + "A";
    zTextParameters parameters;
    parameters.font = font;
    for (int32_t size : {16, 1024}) {
        parameters.size = size;
        EXPECT_EQ(ComputeTextRect(text.c_str(), parameters, zPicture::Rect{0, 0, 64, 64}).y1, 0) << size;
        EXPECT_EQ(InkedPixels(Draw(font, size, text.c_str(), 64, 64)), 0) << size;
    }
    EXPECT_EQ(font->GetRenderCount(), 0u) << "glyphs outside the picture are not rasterised";
    // Alone, the "A" stands on the placed rectangle's top edge (its line is
    // 0 high): placed 16 pixels down, it is drawn.
    parameters.size = 16;
    zPicture alone = MakeCanvas(64, 64);
    const zPicture::Rect lower{0, 16, 64, 64};
    ComputeTextRect("A", parameters, lower);
    RenderTextToPicture(alone, "A", parameters, lower, zPicture::Rect{0, 0, 64, 64});
    EXPECT_EQ(InkedPixels(alone), 8 * 8);
}

// Embedded bitmaps: a 16 ppem strike of "A" at each depth FreeType reads,
// in a font with outlines and in a bitmap-only one.
struct StrikeCase {
    const char* name;
    uint8_t depth;
    bool outlines;
};

void PrintTo(const StrikeCase& c, std::ostream* os)
{
    *os << c.name;
}

constexpr uint8_t StrikeWidth = 6, StrikeHeight = 8;

// The strike's levels: the top row and the left column at the highest level,
// so that the drawn glyph is easy to find; the rest runs through the levels.
uint8_t StrikeLevel(uint8_t depth, int32_t x, int32_t y)
{
    const int32_t highest = (1 << depth) - 1;
    return uint8_t(x == 0 || y == 0 ? highest : (x * 7 + y * 13) % (highest + 1));
}

TrueTypeFontSpec StrikeFont(const StrikeCase& c)
{
    TrueTypeFontSpec spec;
    spec.outlines = c.outlines;
    TrueTypeGlyphSpec glyph;
    glyph.codePoint = 'A';
    glyph.advance = 600;
    glyph.contours = {TrueTypeSquare(500)};
    spec.glyphs.push_back(glyph);
    TrueTypeStrike strike;
    strike.ppem = 16;
    strike.bitDepth = c.depth;
    TrueTypeStrikeGlyph image;
    image.width = StrikeWidth;
    image.height = StrikeHeight;
    image.bearingX = 1;
    image.bearingY = 10;
    image.advance = 11;
    for (int32_t y = 0; y < StrikeHeight; ++y)
        for (int32_t x = 0; x < StrikeWidth; ++x)
            image.levels.push_back(StrikeLevel(c.depth, x, y));
    strike.glyphs.push_back(image);
    spec.strikes.push_back(strike);
    return spec;
}

class StrikeTest : public GeneratedFontTest, public ::testing::WithParamInterface<StrikeCase> {};

TEST_P(StrikeTest, EmbeddedBitmapsAreDrawnAtTheirSize)
{
    const StrikeCase& c = GetParam();
    zTrueTypeFont* font = Open(StrikeFont(c), c.name);
    ASSERT_NE(font, nullptr);
    zTextParameters parameters;
    parameters.font = font;
    parameters.size = 16;
    const zPicture::Rect extent = ComputeTextRect("AAAA", parameters, zPicture::Rect{0, 0, 0, 0});
    EXPECT_EQ(extent.x1, 44);
    EXPECT_EQ(extent.y1, 16);

    // The line is 16 pixels high with its baseline 12 down: each glyph's top
    // row lies at 12 - 10, its left column at the pen + 1, the pen moving 11
    // pixels a glyph. Full coverage at full colour alpha gives 255 x 255 / 256.
    const zPicture drawn = Draw(font, 16, "AAAA", 48, 16);
    zPicture expected = MakeCanvas(48, 16);
    const int32_t highest = (1 << c.depth) - 1;
    for (int32_t glyph = 0; glyph < 4; ++glyph)
        for (int32_t y = 0; y < StrikeHeight; ++y)
            for (int32_t x = 0; x < StrikeWidth; ++x) {
                const int32_t coverage = StrikeLevel(c.depth, x, y) * 255 / highest * 255 / 256;
                expected.pixels[(size_t(2 + y) * 48 + size_t(1 + 11 * glyph + x)) * 4 + 3] = uint8_t(coverage);
            }
    EXPECT_EQ(AlphaAsText(drawn), AlphaAsText(expected));
    // The text shows four bits a pixel: the first glyph's bytes exactly.
    for (int32_t y = 0; y < StrikeHeight; ++y)
        for (int32_t x = 0; x < StrikeWidth; ++x)
            ASSERT_EQ(PixelByte(drawn, 1 + x, 2 + y, 3), PixelByte(expected, 1 + x, 2 + y, 3)) << x << "," << y;

    // Other sizes: the outline where there is one, nothing in a font of
    // bitmaps only.
    const zPicture other = Draw(font, 17, "AAAA", 48, 17);
    if (c.outlines)
        EXPECT_GT(InkedPixels(other), 4 * 8 * 8);
    else
        EXPECT_EQ(InkedPixels(other), 0);
}

const StrikeCase StrikeCases[] = {
    {"Mono", 1, true},
    {"Gray2", 2, true},
    {"Gray4", 4, true},
    {"Gray8", 8, true},
    {"BitmapOnlyMono", 1, false},
    {"BitmapOnlyGray2", 2, false},
    {"BitmapOnlyGray4", 4, false},
};

INSTANTIATE_TEST_SUITE_P(Depths, StrikeTest, ::testing::ValuesIn(StrikeCases),
                         [](const ::testing::TestParamInfo<StrikeCase>& info) { return info.param.name; });

} // namespace
