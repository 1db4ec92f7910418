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

} // namespace
