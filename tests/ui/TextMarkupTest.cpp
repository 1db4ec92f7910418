#include "ui/zTextLayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct MarkupCase {
    const char* name;
    const char* text;
    int32_t kind;
    std::vector<int32_t> values;
    // Characters consumed.
    size_t consumed;
};

void PrintTo(const MarkupCase& c, std::ostream* os)
{
    *os << c.name;
}

class MarkupTest : public ::testing::TestWithParam<MarkupCase> {};

TEST_P(MarkupTest, ParsesKindValuesAndEnd)
{
    const MarkupCase& c = GetParam();
    zTextMarkup record;
    const char* after = ParseTextMarkup(c.text, record);
    EXPECT_EQ(record.kind, c.kind);
    EXPECT_EQ(size_t(after - c.text), c.consumed);
    for (size_t i = 0; i < c.values.size(); ++i)
        EXPECT_EQ(record.values[i], c.values[i]) << "value " << i;
}

const MarkupCase MarkupCases[] = {
    {"PlainText", "hello", zTextMarkup::None, {}, 0},
    {"OneTilde", "~Color(1,2,3,4)", zTextMarkup::None, {}, 0},
    {"TildesThenOther", "~~Bold(1)", zTextMarkup::None, {}, 0},
    {"TildesAtEnd", "~~", zTextMarkup::None, {}, 0},
    {"Colour", "~~Color(255,128,0,64)x", zTextMarkup::Color, {255, 128, 0, 64}, 21},
    {"ColourNegative", "~~Color(-1,2,-3,4)", zTextMarkup::Color, {-1, 2, -3, 4}, 18},
    {"ColourBlanksAndComments", "~~Color( 1 , /*g*/ 2,3 ,\t4 )z", zTextMarkup::Color, {1, 2, 3, 4}, 28},
    {"Size", "~~Size(24)abc", zTextMarkup::Size, {24}, 10},
    {"SizeSaturates", "~~Size(99999999999999)", zTextMarkup::Size, {2147483647}, 22},
    {"MissingClose", "~~Size(24", zTextMarkup::SyntaxError, {}, 0},
    {"MissingComma", "~~Color(1 2,3,4)", zTextMarkup::SyntaxError, {}, 0},
    {"TooFewValues", "~~Color(1,2,3)", zTextMarkup::SyntaxError, {}, 0},
    {"NotANumber", "~~Size(x)", zTextMarkup::SyntaxError, {}, 0},
    {"LoneMinus", "~~Size(-)", zTextMarkup::SyntaxError, {}, 0},
    {"UnterminatedComment", "~~Size(/* 3)", zTextMarkup::SyntaxError, {}, 0},
    {"CaseMatters", "~~color(1,2,3,4)", zTextMarkup::None, {}, 0},
};

INSTANTIATE_TEST_SUITE_P(Markup, MarkupTest, ::testing::ValuesIn(MarkupCases),
                         [](const ::testing::TestParamInfo<MarkupCase>& info) { return info.param.name; });

struct Utf8Case {
    const char* name;
    std::string bytes;
    int32_t length;
    uint32_t codePoint;
};

void PrintTo(const Utf8Case& c, std::ostream* os)
{
    *os << c.name;
}

class Utf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, DecodesOrRejects)
{
    const Utf8Case& c = GetParam();
    uint32_t codePoint = 12345;
    EXPECT_EQ(DecodeUtf8(c.bytes.c_str(), codePoint), c.length);
    EXPECT_EQ(codePoint, c.codePoint);
}

const Utf8Case Utf8Cases[] = {
    {"Ascii", "A", 1, 0x41},
    {"TwoBytes", "\xC3\xA9", 2, 0xE9},
    {"ThreeBytes", "\xE2\x82\xAC", 3, 0x20AC},
    {"FourBytes", "\xF0\x9F\x98\x80", 4, 0x1F600},
    {"Empty", "", 0, 0},
    {"LoneContinuation", "\x80", 0, 0},
    {"MissingContinuation", "\xC3", 0, 0},
    {"ContinuationReplacedByAscii", "\xE2\x82" "A", 0, 0},
    {"Overlong", "\xC0\xAF", 0, 0},
    {"OverlongThree", "\xE0\x80\xAF", 0, 0},
    {"Surrogate", "\xED\xA0\x80", 0, 0},
    {"AboveUnicode", "\xF4\x90\x80\x80", 0, 0},
    {"FiveByteLead", "\xF8\x88\x80\x80\x80", 0, 0},
    {"LargestCodePoint", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
};

INSTANTIATE_TEST_SUITE_P(Utf8, Utf8Test, ::testing::ValuesIn(Utf8Cases),
                         [](const ::testing::TestParamInfo<Utf8Case>& info) { return info.param.name; });

} // namespace
