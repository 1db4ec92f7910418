#include "ResourceTestSupport.h"
#include "support/LogCapture.h"

#include "core/font/zRasterFont.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace {

const char* const DefaultCommon = "<Height=12.0>\n<BaseLine=10.0>\n";
const char* const SpaceGlyph = "<Char=<Id=32>\n<Step=3.0>>\n";

std::string Description(const std::string& common, const std::string& chars)
{
    return "<ZML=1.0>\n<Font=\n<Common=\n" + common + ">\n" + chars + ">\n";
}

// Two pages; steps chosen so that every sum is exact.
std::string TwoPageFont()
{
    return Description(std::string(DefaultCommon) + "<PageCount=2>\n",
                       std::string(SpaceGlyph) +
                           "<Char=<Id=65>\n<U=0.25>\n<V=0.5>\n<W=0.125>\n<H=0.0625>\n<OffsetU=1.0>\n<OffsetV=-2.0>\n"
                           "<Step=7.5>\n<Kerning=4>>\n"
                           "<Char=<Id=66>\n<Step=6.25>\n<Page=1>>\n"
                           "<Char=<Id=233>\n<Step=5.0>>\n"
                           "<Char=<Id=255>\n<Step=0.5>>\n");
}

class RasterFontTest : public testing::Test {
protected:
    RasterFontTest() : renderer(&core, true)
    {
        files.Write("font_00.tga", MakeTga(16, 16));
        files.Write("font_01.tga", MakeTga(8, 4));
    }

    ResourceFiles files;
    Tavrin core;
    ResourceRecordingRenderer renderer;
};

TEST_F(RasterFontTest, LoadsMetricsGlyphsAndPrivatePageTextures)
{
    files.Write("font.zml", TwoPageFont());
    zRasterFont font(&core);
    LogCapture capture;
    ASSERT_TRUE(font.Load("font.zml", "font"));
    EXPECT_EQ(font.path, "font.zml");
    EXPECT_FLOAT_EQ(font.height, 12.0f);
    EXPECT_FLOAT_EQ(font.baseLine, 10.0f);
    EXPECT_FALSE(capture.Contains("[*] "));

    const zRasterFont::Glyph* a = font.GetGlyph('A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->defined, 1);
    EXPECT_FLOAT_EQ(a->u, 0.25f);
    EXPECT_FLOAT_EQ(a->v, 0.5f);
    EXPECT_FLOAT_EQ(a->w, 0.125f);
    EXPECT_FLOAT_EQ(a->h, 0.0625f);
    EXPECT_FLOAT_EQ(a->offsetU, 1.0f);
    EXPECT_FLOAT_EQ(a->offsetV, -2.0f);
    EXPECT_FLOAT_EQ(a->step, 7.5f);
    EXPECT_EQ(a->page, 0);
    ASSERT_NE(font.GetGlyph('B'), nullptr);
    EXPECT_EQ(font.GetGlyph('B')->page, 1);
    EXPECT_EQ(font.GetGlyph('C'), nullptr);
    // Bytes above 127 are glyphs like any other.
    ASSERT_NE(font.GetGlyph('\xE9'), nullptr);
    EXPECT_FLOAT_EQ(font.GetGlyph('\xE9')->step, 5.0f);
    ASSERT_NE(font.GetGlyph('\xFF'), nullptr);
    EXPECT_FLOAT_EQ(font.GetGlyph('\xFF')->step, 0.5f);

    ASSERT_EQ(font.GetPageCount(), 2);
    ASSERT_NE(font.GetPageTexture(0), nullptr);
    ASSERT_NE(font.GetPageTexture(1), nullptr);
    EXPECT_EQ(font.GetPageTexture(0)->path, "font_00.tga");
    EXPECT_EQ(font.GetPageTexture(0)->picture.width, 16);
    EXPECT_EQ(font.GetPageTexture(1)->picture.width, 8);
    EXPECT_EQ(font.GetPageTexture(2), nullptr);
    EXPECT_EQ(font.GetPageTexture(-1), nullptr);
    // The pages are the font's own: set up, but not in the core's cache.
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
    EXPECT_EQ(renderer.CountSetups(font.GetPageTexture(0)), 1);
}

TEST_F(RasterFontTest, MeasuresTextByTheStepsOfItsGlyphs)
{
    struct Case {
        const char* text;
        float width;
    };
    // Steps: space 3, 'A' 7.5, 'B' 6.25, 0xE9 5, 0xFF 0.5; 'x' has no glyph.
    const Case cases[] = {
        {"", 0.0f},
        {"A", 7.5f},
        {"AB A", 24.25f},
        {"AxA", 15.0f},
        {"A\nBB", 12.5f},
        {"BBB\nA", 18.75f},
        {"A\n", 7.5f},
        {"\n\nB", 6.25f},
        {"\xE9\xE9 \xFF", 13.5f},
        {"xyz", 0.0f},
    };
    files.Write("font.zml", TwoPageFont());
    zRasterFont font(&core);
    ASSERT_TRUE(font.Load("font.zml", "font"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_FLOAT_EQ(font.GetTextWidth(c.text), c.width);
    }

    const char* text = "AB\nA \n";
    const char* next = nullptr;
    EXPECT_FLOAT_EQ(font.GetLineWidth(text, &next), 13.75f);
    EXPECT_EQ(next, text + 3);
    EXPECT_FLOAT_EQ(font.GetLineWidth(next, &next), 10.5f);
    EXPECT_EQ(next, text + 6);
    EXPECT_FLOAT_EQ(font.GetLineWidth(next, &next), 0.0f);
    EXPECT_EQ(next, text + 6);
    EXPECT_FLOAT_EQ(font.GetTextWidth(nullptr), 0.0f);
}

struct DescriptionCase {
    const char* name;
    std::string text;
    bool loads;
    std::string message;
    int32_t pages; // pages after the load
};

void PrintTo(const DescriptionCase& c, std::ostream* out)
{
    *out << c.name;
}

class RasterFontDescriptionTest : public RasterFontTest, public testing::WithParamInterface<DescriptionCase> {};

TEST_P(RasterFontDescriptionTest, BadDescriptionsAreReportedClearly)
{
    const DescriptionCase& c = GetParam();
    files.Write("bad.zml", c.text);
    files.Write("font.zml", TwoPageFont());
    zRasterFont font(&core);
    ASSERT_TRUE(font.Load("font.zml", "font"));

    LogCapture capture;
    EXPECT_EQ(font.Load("bad.zml", "font"), c.loads);
    EXPECT_TRUE(capture.Contains(c.message)) << c.message;
    EXPECT_EQ(font.GetPageCount(), c.pages);
    // Nothing of the previous font is left.
    EXPECT_EQ(font.GetGlyph('B'), nullptr);
    if (!c.loads) {
        EXPECT_EQ(font.GetGlyph(' '), nullptr);
        EXPECT_TRUE(font.path.IsEmpty());
        EXPECT_FLOAT_EQ(font.height, 0.0f);
        EXPECT_FLOAT_EQ(font.GetTextWidth("A A"), 0.0f);
    } else {
        EXPECT_EQ(font.path, "bad.zml");
    }
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
}

std::string OneGlyph(const std::string& glyph)
{
    return Description(DefaultCommon, std::string(SpaceGlyph) + glyph);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RasterFontDescriptionTest,
    testing::Values(
        DescriptionCase{"NotZML", "this is no font", false,
                        "failed to load raster font description file 'bad.zml'.", 0},
        DescriptionCase{"Empty", "", false, "failed to load raster font description file 'bad.zml'.", 0},
        DescriptionCase{"Truncated", TwoPageFont().substr(0, 60), false,
                        "failed to load raster font description file 'bad.zml'.", 0},
        DescriptionCase{"NoCommon", "<ZML=1.0>\n<Font=\n<Char=<Id=32>\n<Step=3.0>>\n>\n", false,
                        "Missing base tag in font description ('bad.zml').", 0},
        DescriptionCase{"NoFont", "<ZML=1.0>\n<Typeface=\n<Common=\n<Height=1.0>\n>\n>\n", false,
                        "Missing base tag in font description ('bad.zml').", 0},
        DescriptionCase{"UnknownHeaderTag", Description("<Height=1.0>\n<Size=3>\n", SpaceGlyph), true,
                        "Unexpected tag in font description header ('Size').", 1},
        DescriptionCase{"IdAbove255", OneGlyph("<Char=<Id=300>\n<Step=1.0>>\n"), true,
                        "Glyph with no or invalid ID in font 'bad.zml', skipping.", 1},
        DescriptionCase{"NegativeId", OneGlyph("<Char=<Id=-1>\n<Step=1.0>>\n"), true,
                        "Glyph with no or invalid ID in font 'bad.zml', skipping.", 1},
        DescriptionCase{"FloatId", OneGlyph("<Char=<Id=66.0>\n<Step=1.0>>\n"), true,
                        "Glyph with no or invalid ID in font 'bad.zml', skipping.", 1},
        DescriptionCase{"NoId", OneGlyph("<Char=<Step=1.0>>\n"), true,
                        "Glyph with no or invalid ID in font 'bad.zml', skipping.", 1},
        DescriptionCase{"PagePastTheCount", OneGlyph("<Char=<Id=66>\n<Page=1>\n<Step=1.0>>\n"), true,
                        "Invalid glyph page in font 'bad.zml' (Glyph #66), skipping.", 1},
        DescriptionCase{"NegativePage", OneGlyph("<Char=<Id=66>\n<Step=1.0>\n<Page=-1>>\n"), true,
                        "Invalid glyph page in font 'bad.zml' (Glyph #66), skipping.", 1},
        DescriptionCase{"FloatPage", OneGlyph("<Char=<Id=66>\n<Page=0.0>>\n"), true,
                        "Invalid glyph page in font 'bad.zml' (Glyph #66), skipping.", 1},
        DescriptionCase{"NoSpace", Description(DefaultCommon, "<Char=<Id=65>\n<Step=1.0>>\n"), true,
                        "No space character in font 'bad.zml'.", 1},
        DescriptionCase{"HugePageCount", Description("<PageCount=100000>\n", SpaceGlyph), true,
                        "Invalid page count 100000 in font 'bad.zml', using 256.", 256},
        DescriptionCase{"NegativePageCount", Description("<PageCount=-3>\n", SpaceGlyph), true,
                        "Invalid page count -3 in font 'bad.zml', using 0.", 0},
        DescriptionCase{"MissingPage", Description("<PageCount=3>\n", SpaceGlyph), true,
                        "Failed to locate 'font_02.tga', could not set texture content.", 3}),
    [](const testing::TestParamInfo<DescriptionCase>& info) { return std::string(info.param.name); });

TEST_F(RasterFontTest, AGlyphOnABadPageIsUndefinedEvenAfterAGoodDefinition)
{
    files.Write("font.zml", Description(DefaultCommon, std::string(SpaceGlyph) +
                                                           "<Char=<Id=66>\n<Step=2.0>>\n"
                                                           "<Char=<Id=66>\n<Step=4.0>\n<Page=-5>\n<W=9.0>>\n"
                                                           "<Char=<Id=67>\n<Step=2.0>>\n"
                                                           "<Char=<Id=67>\n<W=0.5>>\n"));
    zRasterFont font(&core);
    LogCapture capture;
    ASSERT_TRUE(font.Load("font.zml", "font"));
    EXPECT_EQ(font.GetGlyph('B'), nullptr);
    // A later definition overwrites only what it gives.
    ASSERT_NE(font.GetGlyph('C'), nullptr);
    EXPECT_FLOAT_EQ(font.GetGlyph('C')->step, 2.0f);
    EXPECT_FLOAT_EQ(font.GetGlyph('C')->w, 0.5f);
    EXPECT_FLOAT_EQ(font.GetTextWidth("BCB"), 2.0f);
}

TEST_F(RasterFontTest, WithoutAPageCountOnePageIsLoaded)
{
    files.Write("font.zml", Description(DefaultCommon, SpaceGlyph));
    zRasterFont font(&core);
    ASSERT_TRUE(font.Load("font.zml", "font"));
    ASSERT_EQ(font.GetPageCount(), 1);
    EXPECT_EQ(font.GetPageTexture(0)->path, "font_00.tga");
}

TEST_F(RasterFontTest, AMissingDescriptionFileFailsAndReloadingFreesThePreviousFont)
{
    zRasterFont font(&core);
    LogCapture capture;
    EXPECT_FALSE(font.Load("absent.zml", "font"));
    EXPECT_TRUE(capture.Contains("failed to load raster font description file 'absent.zml'."));
    EXPECT_FALSE(font.Load(nullptr, nullptr));

    files.Write("font.zml", TwoPageFont());
    files.Write("small.zml", Description("<Height=5.0>\n", SpaceGlyph));
    ASSERT_TRUE(font.Load("font.zml", "font"));
    ASSERT_TRUE(font.Load("small.zml", "font"));
    EXPECT_EQ(font.GetPageCount(), 1);
    EXPECT_EQ(font.GetGlyph('A'), nullptr);
    EXPECT_FLOAT_EQ(font.height, 5.0f);
    EXPECT_FLOAT_EQ(font.baseLine, 0.0f);
    EXPECT_EQ(renderer.frees.size(), 2u);
}

TEST_F(RasterFontTest, APageTheCacheAlreadyHoldsStaysInTheCache)
{
    zTexture* cached = core.LoadTexture("font_00.tga", true, true, 0.5f, false);
    ASSERT_NE(cached, nullptr);
    files.Write("font.zml", TwoPageFont());
    auto font = std::make_unique<zRasterFont>(&core);
    ASSERT_TRUE(font->Load("font.zml", "font"));
    EXPECT_EQ(font->GetPageTexture(0), cached);
    EXPECT_NE(font->GetPageTexture(1), nullptr);
    font.reset();
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
    EXPECT_TRUE(core.GetTextures().Contains(cached));
    EXPECT_EQ(cached->picture.width, 16);
}

TEST_F(RasterFontTest, TheRendererLoadsFontsForItsCore)
{
    files.Write("font.zml", TwoPageFont());
    std::unique_ptr<zRasterFont> font(renderer.LoadRasterFont("font.zml", "font"));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->core, &core);
    EXPECT_FLOAT_EQ(font->GetTextWidth("AB"), 13.75f);
    EXPECT_EQ(renderer.LoadRasterFont("absent.zml", "font"), nullptr);
}

} // namespace
