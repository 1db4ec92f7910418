#include "framework/tools/zTextScanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Text {
    explicit Text(const char* t) : begin(t), end(t + std::strlen(t)) {}
    const char* begin;
    const char* end;
};

} // namespace

TEST(TextScanner, SkipsBlanksAndCommentsOfEveryKind)
{
    Text t("  // note\r\n/* block */ x");
    const char* p = SkipBlanksAndComments(t.begin, t.end);
    ASSERT_NE(p, t.end);
    EXPECT_EQ(*p, 'x');

    Text open("  /* never closed");
    EXPECT_EQ(SkipBlanksAndComments(open.begin, open.end), open.end);

    Text slash(" / x");
    EXPECT_EQ(*SkipBlanksAndComments(slash.begin, slash.end), '/');

    Text lineAtEnd("// only a comment");
    EXPECT_EQ(SkipBlanksAndComments(lineAtEnd.begin, lineAtEnd.end), lineAtEnd.end);
}

TEST(TextScanner, CommentSkippersStopWhereTheCommentEnds)
{
    Text line("// abc\ndef");
    EXPECT_EQ(SkipLineComment(line.begin, line.end), line.begin + 6);
    Text block("/* a */b");
    EXPECT_EQ(SkipBlockComment(block.begin, block.end), block.begin + 7);
    Text tight("/*/b");
    EXPECT_EQ(SkipBlockComment(tight.begin, tight.end), tight.end);
}

TEST(TextScanner, TokenEndsDependOnTheMinusFlag)
{
    Text t("abc-def=1");
    EXPECT_EQ(FindTokenEnd(t.begin, t.end, false), t.begin + 3);
    EXPECT_EQ(FindTokenEnd(t.begin, t.end, true), t.begin + 7);

    for (const char stop : std::string(" \t\r\n\"()*+,/:;<=>")) {
        const char text[] = {'a', stop, 'b'};
        EXPECT_EQ(FindTokenEnd(text, text + 3, true), text + 1) << int(stop);
    }
    Text name("plain");
    EXPECT_EQ(FindTokenEnd(name.begin, name.end, false), name.end);

    Text two("first /*c*/ second");
    EXPECT_EQ(SkipToken(two.begin, two.end, false), two.begin + 12);
}

TEST(TextScanner, ClosingQuoteHonoursBackslashes)
{
    Text t(R"(ab\"cd"ef)");
    EXPECT_EQ(FindClosingQuote(t.begin, t.end), t.begin + 6);
    Text none(R"(abc\")");
    EXPECT_EQ(FindClosingQuote(none.begin, none.end), none.end);
}

TEST(TextScanner, FloatTokens)
{
    struct Case {
        const char* text;
        bool isFloat;
    };
    for (const Case& c : {Case{"-1.5", true}, Case{"2f", true}, Case{"12", false}, Case{"-12", false},
                          Case{"12 1.5", false}, Case{"3.0>", true}}) {
        Text t(c.text);
        EXPECT_EQ(IsFloatToken(t.begin, t.end), c.isFloat) << c.text;
    }
}

TEST(TextScanner, DelimiterOutsideGroupsAndComments)
{
    Text t("(a>b) c>d");
    EXPECT_EQ(FindDelimiter(t.begin, t.end, '>'), t.begin + 7);

    Text nested("((a>b)>c) /* > */ x>y");
    EXPECT_EQ(FindDelimiter(nested.begin, nested.end, '>'), nested.begin + 19);

    Text unclosed("(a>b c");
    EXPECT_EQ(FindDelimiter(unclosed.begin, unclosed.end, '>'), nullptr);

    Text missing("abc");
    EXPECT_EQ(FindDelimiter(missing.begin, missing.end, '>'), nullptr);
}
