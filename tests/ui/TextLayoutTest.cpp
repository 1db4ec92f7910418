#include "UiTestSupport.h"

#include "framework/system/zLogStream.h"
#include "ui/zTextLayout.h"
#include "ui/zTrueTypeFont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TextLayoutTest : public FontSystemTest {
protected:
    void SetUp() override
    {
        FontSystemTest::SetUp();
        params.font = zScene2D::GetDefaultFont();
        params.size = 16;
    }

    // Width in pixels of a single unwrapped line.
    int32_t LineWidth(const std::string& text, zTextParameters p)
    {
        p.format = zTextParameters::FormatStandard;
        return ComputeTextRect(text.c_str(), p, zPicture::Rect{0, 0, 0, 0}).x1;
    }

    // The text of each line of the table, markup and all.
    std::vector<std::string> Lines(const std::string& text, int32_t wrapWidth, zTextParameters p)
    {
        stored = text;
        ComputeTextRect(stored.c_str(), p, zPicture::Rect{0, 0, wrapWidth, 100});
        std::vector<std::string> lines;
        for (int32_t i = 0; i < GlobalTextLines.count; ++i) {
            const zTextLine& line = GlobalTextLines.lines[i];
            lines.emplace_back(line.start, line.end);
        }
        return lines;
    }

    zTextParameters params;
    std::string stored;
};

TEST_F(TextLayoutTest, StandardFormatBreaksOnlyAtLineBreaks)
{
    const std::string longLine(300, 'w');
    const std::string text = "first line\n" + longLine + "\\nlast";
    EXPECT_EQ(Lines(text, 50, params), (std::vector<std::string>{"first line", longLine, "last"}));
    const zPicture::Rect rect = ComputeTextRect(text.c_str(), params, zPicture::Rect{0, 0, 50, 100});
    EXPECT_GT(rect.x1, 1000) << "a standard line is never wrapped";
    EXPECT_EQ(rect.y1, 3 * GlobalTextLines.lines[0].height / 64);
}

TEST_F(TextLayoutTest, EmptyLinesKeepTheirHeight)
{
    stored = "a\n\nb";
    const zPicture::Rect rect = ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, 100, 100});
    ASSERT_EQ(GlobalTextLines.count, 3);
    const int32_t height = GlobalTextLines.lines[0].height;
    EXPECT_GT(height, 0);
    EXPECT_EQ(GlobalTextLines.lines[1].height, height);
    EXPECT_EQ(rect.y1, 3 * height / 64);
}

TEST_F(TextLayoutTest, ParagraphWrapsAtTheLastSingleSpace)
{
    params.format = zTextParameters::FormatParagraph;
    // Every character, the space after a word included, must fit before the
    // wrap width: room for "aaa bbb " breaks before ccc, one pixel less
    // before bbb.
    const int32_t wordsWidth = LineWidth("aaa bbb ", params);
    EXPECT_EQ(Lines("aaa bbb ccc", wordsWidth + 1, params), (std::vector<std::string>{"aaa bbb", "ccc"}));
    EXPECT_EQ(Lines("aaa bbb ccc", wordsWidth, params), (std::vector<std::string>{"aaa", "bbb ccc"}));
    // Spaces that run on are no break point: the break falls at the last
    // space not followed by another, the first one staying on the line.
    EXPECT_EQ(Lines("aaa  bbb ccc", LineWidth("aaa  bbb ", params) + 1, params),
              (std::vector<std::string>{"aaa  bbb", "ccc"}));
    EXPECT_EQ(Lines("aaa  bbb ccc", LineWidth("aaa  bbb", params), params),
              (std::vector<std::string>{"aaa ", "bbb ccc"}));
}

TEST_F(TextLayoutTest, BreakPointCountersExcludeTheBreakingSpace)
{
    params.format = zTextParameters::FormatParagraph;
    stored = "ab cd ef";
    ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, LineWidth("ab cd e", params), 100});
    ASSERT_EQ(GlobalTextLines.count, 2);
    const zTextLine& first = GlobalTextLines.lines[0];
    EXPECT_EQ(first.glyphs, 5);
    EXPECT_EQ(first.spaces, 2) << "the space the line breaks at is counted";
    EXPECT_EQ(first.width / 64, LineWidth("ab cd ", params));
    EXPECT_EQ(std::string(GlobalTextLines.lines[1].start), "ef");
}

TEST_F(TextLayoutTest, LongWordBreaksInsideTheWord)
{
    params.format = zTextParameters::FormatParagraph;
    const std::vector<std::string> lines = Lines("abcdefghijkl", LineWidth("abcd", params) + 1, params);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "abcd");
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    EXPECT_EQ(joined, "abcdefghijkl") << "no character is lost at a break";
}

TEST_F(TextLayoutTest, WrapWidthBelowOneGlyphTakesOneGlyphPerLine)
{
    params.format = zTextParameters::FormatParagraph;
    EXPECT_EQ(Lines("WWW", 1, params), (std::vector<std::string>{"W", "W", "W"}));
}

TEST_F(TextLayoutTest, ColumnFormatLimitsGlyphsPerLine)
{
    params.format = zTextParameters::FormatColumn;
    params.columnWidth = 4;
    EXPECT_EQ(Lines("abcdefghij", 10000, params), (std::vector<std::string>{"abcd", "efgh", "ij"}));
}

TEST_F(TextLayoutTest, LineTableTruncatesAtItsCapacity)
{
    std::string text;
    for (int i = 0; i < 1500; ++i)
        text += "x\n";
    stored = text;
    const zPicture::Rect rect = ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, 100, 100});
    EXPECT_EQ(GlobalTextLines.count, zTextLineTable::Capacity);
    EXPECT_TRUE(GlobalTextLines.truncated);
    EXPECT_EQ(rect.y1, zTextLineTable::Capacity * GlobalTextLines.lines[0].height / 64);
    zPicture picture = MakeCanvas(16, 16);
    RenderTextToPicture(picture, stored.c_str(), params, zPicture::Rect{0, 0, 16, 16}, zPicture::Rect{0, 0, 16, 16});
}

TEST_F(TextLayoutTest, MeasuredWidthIncludesKerningAndTracking)
{
    // DejaVu Sans kerns "AV" closer than its two glyphs apart.
    EXPECT_LT(LineWidth("AV", params), LineWidth("A", params) + LineWidth("V", params));
    const int32_t plain = ComputeTextRect("abcd", params, zPicture::Rect{0, 0, 0, 0}).x1;
    zTextParameters tracked = params;
    tracked.tracking = 64; // a whole pixel per pixel of size
    EXPECT_EQ(ComputeTextRect("abcd", tracked, zPicture::Rect{0, 0, 0, 0}).x1, plain + 4 * 16);
}

TEST_F(TextLayoutTest, SizeMarkupChangesTheRestOfTheText)
{
    const int32_t small = LineWidth("mmmm", params);
    EXPECT_EQ(LineWidth("~~Size(32)mmmm", params), LineWidth("mmmm", [&] {
                  zTextParameters p = params;
                  p.size = 32;
                  return p;
              }()));
    EXPECT_GT(LineWidth("~~Size(32)mmmm", params), small);
    // Markup takes no place; a colour changes no width.
    EXPECT_EQ(LineWidth("mm~~Color(1,2,3,4)mm", params), small);
}

TEST_F(TextLayoutTest, TwoTildesWithoutMarkupAreText)
{
    stored = "~~Bold ~~Size(x";
    ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, 0, 0});
    ASSERT_EQ(GlobalTextLines.count, 1);
    EXPECT_EQ(GlobalTextLines.lines[0].glyphs, int32_t(stored.size()));
}

TEST_F(TextLayoutTest, InvalidUtf8TakesOneGlyphPerByte)
{
    stored = "a\xFF\xC3" "b";
    ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, 0, 0});
    ASSERT_EQ(GlobalTextLines.count, 1);
    EXPECT_EQ(GlobalTextLines.lines[0].glyphs, 4);
    stored = "\xC3\xA9t\xC3\xA9";
    ComputeTextRect(stored.c_str(), params, zPicture::Rect{0, 0, 0, 0});
    EXPECT_EQ(GlobalTextLines.lines[0].glyphs, 3);
}

TEST_F(TextLayoutTest, NoFontOrTextGivesAnEmptyRect)
{
    zTextParameters none;
    const zPicture::Rect a = ComputeTextRect("abc", none, zPicture::Rect{0, 0, 100, 100});
    const zPicture::Rect b = ComputeTextRect(nullptr, params, zPicture::Rect{0, 0, 100, 100});
    const zPicture::Rect c = ComputeTextRect("", params, zPicture::Rect{0, 0, 100, 100});
    for (const zPicture::Rect& r : {a, b, c})
        EXPECT_EQ(r.x1 | r.y1 | r.x0 | r.y0, 0);
}

TEST_F(TextLayoutTest, TextExtentMeasuresBytesAtTheFaceSize)
{
    zTrueTypeFont* font = params.font;
    ASSERT_TRUE(font->SetPixelSize(16));
    const zPicture::Rect extent = zTrueTypeFont::TextExtent("Hello\n", font);
    EXPECT_EQ(extent.x1, LineWidth("Hello", params));
    EXPECT_GT(extent.y1, 8);
    EXPECT_LE(extent.y1, 16);
    EXPECT_EQ(zTrueTypeFont::TextExtent("x", nullptr).x1, 0);
}

TEST_F(TextLayoutTest, GlyphsAreRenderedOncePerSizeAndCharacter)
{
    zTrueTypeFont* font = params.font;
    zPicture picture = MakeCanvas(200, 40);
    const char* text = "abcabc";
    const zPicture::Rect all{0, 0, 200, 40};
    ComputeTextRect(text, params, all);
    EXPECT_EQ(font->GetRenderCount(), 0u) << "measuring rasterises nothing";
    RenderTextToPicture(picture, text, params, all, all);
    const uint32_t loadsAfterFirst = font->GetLoadCount();
    const uint32_t rendersAfterFirst = font->GetRenderCount();
    EXPECT_EQ(rendersAfterFirst, 3u);
    for (int i = 0; i < 5; ++i) {
        ComputeTextRect(text, params, all);
        RenderTextToPicture(picture, text, params, all, all);
    }
    EXPECT_EQ(font->GetLoadCount(), loadsAfterFirst);
    EXPECT_EQ(font->GetRenderCount(), rendersAfterFirst);
    ComputeTextRect("~~Size(20)abc", params, all);
    EXPECT_EQ(font->GetLoadCount(), loadsAfterFirst + 3) << "another size is another glyph";
    EXPECT_EQ(font->GetRenderCount(), rendersAfterFirst);
}

TEST_F(TextLayoutTest, GlyphCacheStartsOverPastItsLimit)
{
    zTrueTypeFont* font = params.font;
    params.size = 41;
    const zPicture::Rect all{0, 0, 400, 60};
    const char* text = "WMWMQ";
    font->SetCacheLimit(2000); // room for about one glyph of this size
    const uint32_t before = font->GetRenderCount();
    zPicture limited = MakeCanvas(400, 60);
    ComputeTextRect(text, params, all);
    RenderTextToPicture(limited, text, params, all, all);
    font->SetCacheLimit(zTrueTypeFont::DefaultCacheBytes);
    EXPECT_GT(font->GetRenderCount() - before, 3u) << "three glyphs, rendered again after each start-over";

    zPicture unlimited = MakeCanvas(400, 60);
    ComputeTextRect(text, params, all);
    RenderTextToPicture(unlimited, text, params, all, all);
    EXPECT_EQ(AlphaAsText(limited), AlphaAsText(unlimited)) << "the same text comes out";
}

// Every ordered pair of the printable ASCII glyphs: each pair of neighbours
// asks the kerning cache for a pair it has not seen.
std::string AllAsciiPairs()
{
    std::string text;
    for (char left = '!'; left <= '~'; ++left)
        for (char right = '!'; right <= '~'; ++right) {
            text += left;
            text += right;
        }
    return text;
}

TEST_F(TextLayoutTest, RefusedSizesLeaveTheCachesEmpty)
{
    zTrueTypeFont* font = params.font;
    const std::string text = AllAsciiPairs();
    for (int32_t size : {0, -1, INT32_MIN, zTrueTypeFont::MaxPixelSize + 1, 2000, 2001, 3999, INT32_MAX}) {
        params.size = size;
        EXPECT_EQ(ComputeTextRect(text.c_str(), params, zPicture::Rect{0, 0, 0, 0}).x1, 0) << size;
    }
    EXPECT_EQ(font->GetKerningCacheBytes(), 0u);
    EXPECT_EQ(font->GetCacheBytes(), 0u);
}

TEST_F(TextLayoutTest, KerningCacheStaysWithinAQuarterOfTheLimit)
{
    zTrueTypeFont* font = params.font;
    const std::string text = AllAsciiPairs();
    // The widths with the default limit, where nothing starts over.
    std::vector<int32_t> widths;
    for (int32_t size = 1; size <= 24; ++size) {
        params.size = size;
        widths.push_back(LineWidth(text, params));
    }
    // The pairs of one size alone fill more than a quarter of this limit.
    font->SetCacheLimit(size_t(256) << 10);
    size_t highest = 0;
    for (int32_t size = 1; size <= 24; ++size) {
        params.size = size;
        EXPECT_EQ(LineWidth(text, params), widths[size_t(size - 1)]) << "size " << size;
        highest = std::max(highest, font->GetKerningCacheBytes());
    }
    font->SetCacheLimit(zTrueTypeFont::DefaultCacheBytes);
    EXPECT_LE(highest, (size_t(256) << 10) / 4);
    EXPECT_GT(highest, (size_t(256) << 10) / 8) << "the cache was used up to its limit";
}

// Glyph records count against the glyph cache's limit, also those without a
// bitmap: spaces, and glyphs that fail to load (indices past the face's).
struct RecordCase {
    const char* name;
    uint32_t firstIndex; // 0: the space's glyph
    uint32_t indices;
};

void PrintTo(const RecordCase& c, std::ostream* os)
{
    *os << c.name;
}

class GlyphRecordTest : public TextLayoutTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(GlyphRecordTest, RecordsWithoutBitmapsStayWithinTheLimit)
{
    const RecordCase& c = GetParam();
    zTrueTypeFont* font = params.font;
    const size_t limit = size_t(16) << 10;
    font->SetCacheLimit(limit);
    const uint32_t first = c.firstIndex != 0 ? c.firstIndex : font->GetGlyphIndex(' ');
    size_t highest = 0;
    bool loaded = false;
    for (int32_t size = 1; size <= zTrueTypeFont::MaxPixelSize; ++size)
        for (uint32_t index = first; index < first + c.indices; ++index) {
            const zGlyph* glyph = font->GetGlyph(size, index);
            loaded |= glyph != nullptr && glyph->width == 0;
            highest = std::max(highest, font->GetCacheBytes());
        }
    font->SetCacheLimit(zTrueTypeFont::DefaultCacheBytes);
    EXPECT_EQ(loaded, c.firstIndex == 0);
    EXPECT_LE(highest, limit);
    EXPECT_GT(highest, limit / 2);
}

const RecordCase RecordCases[] = {
    {"Spaces", 0, 1},
    {"FailedLoads", 60000, 4},
};

INSTANTIATE_TEST_SUITE_P(Cache, GlyphRecordTest, ::testing::ValuesIn(RecordCases),
                         [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

// Drawing.

struct DrawCase {
    const char* name;
    const char* text;
    int32_t align;
    int32_t format;
    int32_t width, height;
};

void PrintTo(const DrawCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextDrawTest : public TextLayoutTest, public ::testing::WithParamInterface<DrawCase> {};

TEST_P(TextDrawTest, MatchesGolden)
{
    const DrawCase& c = GetParam();
    params.align = c.align;
    params.format = c.format;
    params.size = 12;
    zPicture picture = MakeCanvas(c.width, c.height);
    const zPicture::Rect all{0, 0, c.width, c.height};
    ComputeTextRect(c.text, params, all);
    const zPicture::Rect placed = RenderTextToPicture(picture, c.text, params, all, all);
    EXPECT_EQ(placed.x1, c.width);
    ExpectMatchesGolden(AlphaAsText(picture), (std::string("text_") + c.name + ".txt").c_str());
}

const DrawCase DrawCases[] = {
    {"Left", "Tavrin", zTextParameters::AlignLeft, zTextParameters::FormatStandard, 48, 16},
    {"Right", "Tavrin", zTextParameters::AlignRight, zTextParameters::FormatStandard, 48, 16},
    {"Centre", "Tavrin", zTextParameters::AlignCentre, zTextParameters::FormatStandard, 48, 16},
    {"Justify", "a b c d e f g h", zTextParameters::AlignJustify, zTextParameters::FormatParagraph, 40, 32},
    {"Kerned", "AVAV", zTextParameters::AlignLeft, zTextParameters::FormatStandard, 36, 16},
};

INSTANTIATE_TEST_SUITE_P(Text, TextDrawTest, ::testing::ValuesIn(DrawCases),
                         [](const ::testing::TestParamInfo<DrawCase>& info) { return info.param.name; });

// Leftmost column holding ink in a row band of the picture, -1 when none.
int32_t FirstInkColumn(const zPicture& picture, int32_t y0, int32_t y1)
{
    for (int32_t x = 0; x < picture.width; ++x)
        for (int32_t y = y0; y < y1; ++y)
            if (PixelByte(picture, x, y, 3) != 0)
                return x;
    return -1;
}

int32_t LastInkColumn(const zPicture& picture, int32_t y0, int32_t y1)
{
    for (int32_t x = picture.width - 1; x >= 0; --x)
        for (int32_t y = y0; y < y1; ++y)
            if (PixelByte(picture, x, y, 3) != 0)
                return x;
    return -1;
}

TEST_F(TextLayoutTest, JustifiedLinesFillTheWidthExceptTheLast)
{
    params.format = zTextParameters::FormatParagraph;
    params.align = zTextParameters::AlignJustify;
    const char* text = "iii iii iii iii iii";
    const zPicture::Rect all{0, 0, 60, 80};
    ComputeTextRect(text, params, all);
    ASSERT_GE(GlobalTextLines.count, 2);
    const int32_t lineHeight = GlobalTextLines.lines[0].height / 64;
    zPicture picture = MakeCanvas(60, 80);
    RenderTextToPicture(picture, text, params, all, all);
    zTextParameters left = params;
    left.align = zTextParameters::AlignLeft;
    zPicture unjustified = MakeCanvas(60, 80);
    ComputeTextRect(text, left, all);
    RenderTextToPicture(unjustified, text, left, all, all);
    // Each drawn space widens by ((width - line width) x 64 / spaces) / 64
    // pixel; the space the line breaks at counts in both the line width and
    // the spaces but is not drawn, so the last glyph moves (spaces - 1) shares.
    ComputeTextRect(text, params, all);
    const zTextLine& first = GlobalTextLines.lines[0];
    const int32_t share = (60 - first.width / 64) * 64 / first.spaces;
    EXPECT_NEAR(LastInkColumn(picture, 0, lineHeight) - LastInkColumn(unjustified, 0, lineHeight),
                (first.spaces - 1) * share / 64, 1);
    ComputeTextRect(text, params, all);
    const int32_t lastRow = (GlobalTextLines.count - 1) * lineHeight;
    EXPECT_LT(LastInkColumn(picture, lastRow, lastRow + lineHeight), GlobalTextLines.lines[GlobalTextLines.count - 1].width / 64 + 2)
        << "last line keeps its natural spacing";
}

TEST_F(TextLayoutTest, JustifiedLineWithoutSpacesIsLeftAligned)
{
    params.format = zTextParameters::FormatParagraph;
    params.align = zTextParameters::AlignJustify;
    const char* text = "mmmmmmmmmmmm";
    const zPicture::Rect all{0, 0, 50, 80};
    ComputeTextRect(text, params, all);
    ASSERT_GE(GlobalTextLines.count, 2);
    zPicture picture = MakeCanvas(50, 80);
    RenderTextToPicture(picture, text, params, all, all);
    EXPECT_LE(FirstInkColumn(picture, 0, GlobalTextLines.lines[0].height / 64), 2);
}

TEST_F(TextLayoutTest, ColourMarkupColoursTheGlyphsAfterIt)
{
    params.size = 24;
    params.color[0] = params.color[1] = params.color[2] = 255;
    const char* text = "II~~Color(255,0,0,255)II";
    zPicture picture = MakeCanvas(80, 30);
    const zPicture::Rect all{0, 0, 80, 30};
    ComputeTextRect(text, params, all);
    RenderTextToPicture(picture, text, params, all, all);
    const int32_t half = LineWidth("II", params);
    bool whiteSeen = false, redSeen = false;
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 80; ++x) {
            // Full coverage reaches 255 x 255 / 256 on a transparent picture.
            if (PixelByte(picture, x, y, 3) < 250)
                continue;
            const uint8_t r = PixelByte(picture, x, y, 2), g = PixelByte(picture, x, y, 1);
            if (x < half) {
                EXPECT_EQ(g, 255) << x << "," << y;
                whiteSeen = true;
            } else {
                EXPECT_EQ(r, 255);
                EXPECT_EQ(g, 0) << x << "," << y;
                redSeen = true;
            }
        }
    }
    EXPECT_TRUE(whiteSeen);
    EXPECT_TRUE(redSeen);
}

TEST_F(TextLayoutTest, ColourAlphaScalesCoverageAndComposesOverThePicture)
{
    params.size = 24;
    params.color[3] = 128;
    zPicture picture = MakeCanvas(40, 30);
    const zPicture::Rect all{0, 0, 40, 30};
    ComputeTextRect("I", params, all);
    RenderTextToPicture(picture, "I", params, all, all);
    uint8_t highest = 0;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            highest = std::max(highest, PixelByte(picture, x, y, 3));
    EXPECT_EQ(highest, 255 * 128 / 256);
}

TEST_F(TextLayoutTest, DrawingWritesOnlyInsideTheClip)
{
    params.size = 20;
    const char* text = "WWWWWWWW";
    zPicture picture = MakeCanvas(100, 30);
    const zPicture::Rect all{0, 0, 100, 30};
    const zPicture::Rect clip{20, 5, 50, 20};
    ComputeTextRect(text, params, all);
    RenderTextToPicture(picture, text, params, all, clip);
    bool inside = false;
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 100; ++x) {
            const bool in = x >= clip.x0 && x < clip.x1 && y >= clip.y0 && y < clip.y1;
            if (!in) {
                ASSERT_EQ(PixelByte(picture, x, y, 3), 0) << x << "," << y;
            }
            inside |= in && PixelByte(picture, x, y, 3) != 0;
        }
    }
    EXPECT_TRUE(inside);
    // Placed far outside the picture: nothing to write, nothing written.
    zPicture small = MakeCanvas(8, 8);
    RenderTextToPicture(small, text, params, zPicture::Rect{-500, -500, -400, -400},
                        zPicture::Rect{-1000, -1000, 1000, 1000});
    EXPECT_EQ(AlphaAsText(small), AlphaAsText(MakeCanvas(8, 8)));
}

TEST_F(TextLayoutTest, OtherPictureDepthsAreNotDrawn)
{
    zPicture picture;
    picture.AllocAs(20, 20, PixelFormatRGB24);
    const zPicture::Rect all{0, 0, 20, 20};
    ComputeTextRect("x", params, all);
    const zPicture::Rect r = RenderTextToPicture(picture, "x", params, all, all);
    EXPECT_EQ(r.x1, 0);
    EXPECT_EQ(r.y1, 0);
}

TEST_F(TextLayoutTest, StaleLineTableIsLaidOutAgain)
{
    const zPicture::Rect all{0, 0, 60, 20};
    std::string first = "AAAA";
    ComputeTextRect(first.c_str(), params, all);
    std::string second = "....";
    zPicture picture = MakeCanvas(60, 20);
    RenderTextToPicture(picture, second.c_str(), params, all, all);
    EXPECT_EQ(GlobalTextLines.text, second.c_str());
    // Dots sit low on the line: nothing in the top half.
    EXPECT_EQ(FirstInkColumn(picture, 0, 8), -1);
}

// Line advances (heading x size + line height) far past int32, in both
// directions: heights saturate, and lines outside the picture draw nothing.
struct AdvanceCase {
    const char* name;
    const char* text;
    int32_t size;
    int32_t heading;
    int32_t height; // the measured height in pixels
};

void PrintTo(const AdvanceCase& c, std::ostream* os)
{
    *os << c.name;
}

class LineAdvanceTest : public TextLayoutTest, public ::testing::WithParamInterface<AdvanceCase> {};

TEST_P(LineAdvanceTest, HeightsSaturateAndLinesOutsideDrawNothing)
{
    const AdvanceCase& c = GetParam();
    params.size = c.size;
    params.heading = c.heading;
    const zPicture::Rect all{0, 0, 64, 32};
    EXPECT_EQ(ComputeTextRect(c.text, params, all).y1, c.height);
    zPicture picture = MakeCanvas(64, 32);
    RenderTextToPicture(picture, c.text, params, all, all);
    // Only the first line lies in the picture.
    const std::string text = c.text;
    stored = text.substr(0, text.find('\n'));
    zPicture first = MakeCanvas(64, 32);
    RenderTextToPicture(first, stored.c_str(), params, all, all);
    EXPECT_EQ(AlphaAsText(picture), AlphaAsText(first));
}

const AdvanceCase AdvanceCases[] = {
    {"HugeSizeAndHeading", "a\nb\nc", INT32_MAX, INT32_MAX, INT32_MAX},
    {"SizeMarkup", "~~Size(2147483647)a\nb\nc", 16, INT32_MAX, INT32_MAX},
    {"NegativeHeading", "a\nb\nc", INT32_MAX, INT32_MIN, 0},
    // 67 million pixels a line up, or down.
    {"HeadingFarAbove", "A\nA\nA", 16, -268435456, 0},
    {"HeadingFarBelow", "A\nA\nA", 1024, 1 << 30, INT32_MAX},
    {"ManyLinesFarAbove", "A\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA\nA", 16, INT32_MIN, 0},
};

INSTANTIATE_TEST_SUITE_P(Text, LineAdvanceTest, ::testing::ValuesIn(AdvanceCases),
                         [](const ::testing::TestParamInfo<AdvanceCase>& info) { return info.param.name; });

TEST_F(TextLayoutTest, RectanglesAsWideAsInt32Allows)
{
    const zPicture::Rect widest{INT32_MIN, 0, INT32_MAX, 32};
    params.format = zTextParameters::FormatParagraph;
    const char* text = "ab cd ef";
    EXPECT_EQ(ComputeTextRect(text, params, widest).x1, LineWidth(text, params)) << "no wrap";
    const struct {
        int32_t align;
        bool inked;
    } aligns[] = {
        {zTextParameters::AlignLeft, false},
        {zTextParameters::AlignRight, false},
        // Centred on x = 0: the right half shows.
        {zTextParameters::AlignCentre, true},
        {zTextParameters::AlignJustify, false},
    };
    for (const auto& a : aligns) {
        params.align = a.align;
        zPicture picture = MakeCanvas(64, 32);
        ComputeTextRect(text, params, widest);
        RenderTextToPicture(picture, text, params, widest, zPicture::Rect{0, 0, 64, 32});
        EXPECT_EQ(FirstInkColumn(picture, 0, 32) >= 0, a.inked) << "align " << a.align;
    }
}

// The font system.

class FontListTest : public FontSystemTest {};

TEST_F(FontListTest, SamePathLoadsOnceUnlessNamedOtherwise)
{
    const std::string path = std::string(TAVRIN_BUILD_DATA) + "/default.ttf";
    zTrueTypeFont* first = zScene2D::OpenFont(path.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, "default");
    // The list is searched by the path as given: a full path is not the base
    // name, so it loads a second copy.
    zTrueTypeFont* second = zScene2D::OpenFont(path.c_str());
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(zScene2D::GetFontList().GetCount(), 2);
    // A bare base name already listed is refused.
    EXPECT_EQ(zScene2D::OpenFont("default"), nullptr);
    EXPECT_EQ(zScene2D::GetFont("default"), first);
}

TEST_F(FontListTest, UnknownNameGivesTheDefaultFont)
{
    EXPECT_EQ(zScene2D::GetFont("NoSuchFont"), zScene2D::GetDefaultFont());
    EXPECT_EQ(zScene2D::GetFont(nullptr), zScene2D::GetDefaultFont());
    EXPECT_NE(zScene2D::GetDefaultFont(), nullptr);
    EXPECT_EQ(zScene2D::GetFontList().GetCount(), 0) << "the default font is not in the list";
}

TEST_F(FontListTest, UnreadableOrInvalidFilesGiveNull)
{
    EXPECT_EQ(zScene2D::OpenFont("no/such/file.ttf"), nullptr);
    const std::string notAFont = std::string(TAVRIN_BUILD_DATA) + "/ui/ui_check_true.tga";
    EXPECT_EQ(zScene2D::OpenFont(notAFont.c_str()), nullptr);
    EXPECT_EQ(zScene2D::GetFontList().GetCount(), 0);
}

TEST(FontSystem, ClosedSystemLoadsNothingAndClosesTwice)
{
    zScene2D::CloseFontSystem();
    EXPECT_EQ(zScene2D::OpenFont("default.ttf"), nullptr);
    EXPECT_EQ(zScene2D::GetDefaultFont(), nullptr);
    zScene2D::CloseFontSystem();
    EXPECT_FALSE(zScene2D::IsFontSystemOpen());
}

TEST(FontSystem, MissingDefaultFontLeavesTheSystemClosed)
{
    GlobalSearchPathList.Clear();
    EXPECT_FALSE(zScene2D::OpenFontSystem());
    EXPECT_FALSE(zScene2D::IsFontSystemOpen());
    EXPECT_EQ(zScene2D::GetDefaultFont(), nullptr);
}

} // namespace
