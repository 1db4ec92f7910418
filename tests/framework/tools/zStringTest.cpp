#include "framework/tools/zString.h"

#include <gtest/gtest.h>

#include <string>

TEST(zStringHash, FollowsTimes37WithSignedBytes)
{
    EXPECT_EQ(HashString(""), 0);
    EXPECT_EQ(HashString("a"), 97);
    EXPECT_EQ(HashString("ab"), 97 * 37 + 98);
    EXPECT_EQ(HashString("\xE9"), -23);
    EXPECT_EQ(HashString("a\xE9"), 97 * 37 - 23);
    // Wraps at 32 bits instead of overflowing.
    uint32_t h = 0;
    for (const char c : std::string("a long name that overflows the hash"))
        h = h * 37u + uint32_t(int32_t(static_cast<signed char>(c)));
    EXPECT_EQ(HashString("a long name that overflows the hash"), int32_t(h));
    EXPECT_EQ(zString("ab").GetHash(), 3687);
    EXPECT_EQ(zString().GetHash(), 0);
}

TEST(zStringAssign, NullAndEmptyTextsDifferOnlyInTheirBuffer)
{
    zString fromNull;
    fromNull.Assign(nullptr);
    zString fromEmpty;
    fromEmpty.Assign("");

    EXPECT_EQ(fromNull.Get(), nullptr);
    ASSERT_NE(fromEmpty.Get(), nullptr);
    EXPECT_EQ(fromEmpty.GetLength(), 0);
    EXPECT_EQ(fromEmpty.GetHash(), 0);
    EXPECT_TRUE(fromNull.IsEmpty());
    EXPECT_TRUE(fromEmpty.IsEmpty());
    EXPECT_TRUE(fromNull.EqualsString(fromEmpty));
    EXPECT_TRUE(fromEmpty.EqualsString(fromNull));

    zString text;
    text.AssignText("");
    EXPECT_EQ(text.Get(), nullptr);
    text.AssignText("x");
    EXPECT_STREQ(text.Get(), "x");
}

TEST(zStringAssign, RangeCopiesUpToEndOrNul)
{
    const char* source = "abcdef";
    zString s;
    s.AssignRange(source + 1, source + 4);
    EXPECT_STREQ(s.Get(), "bcd");
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.GetHash(), HashString("bcd"));

    s.AssignRange(source + 2, nullptr);
    EXPECT_STREQ(s.Get(), "cdef");

    s.AssignRange(source + 2, source + 2);
    EXPECT_EQ(s.Get(), nullptr);
}

TEST(zStringAssign, CopiesAreDeepAndSelfAssignmentIsHarmless)
{
    zString a("name");
    zString b(a);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_TRUE(a == b);

    b.AssignString(b);
    EXPECT_STREQ(b.Get(), "name");

    // Assigning a piece of the string's own text.
    b.Assign(b.Get() + 2);
    EXPECT_STREQ(b.Get(), "me");

    zString empty;
    b.AssignString(empty);
    EXPECT_EQ(b.Get(), nullptr);
    EXPECT_EQ(b.GetLength(), 0);
}

TEST(zStringAppend, ConcatenatesAndUpdatesHash)
{
    zString s;
    s.Append(nullptr);
    EXPECT_EQ(s.Get(), nullptr);
    s.Append("ab");
    s.Append("cd");
    EXPECT_STREQ(s.Get(), "abcd");
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.GetHash(), HashString("abcd"));
}

TEST(zStringEquality, FollowsEmptinessRules)
{
    zString empty;
    zString emptyBuffer("");
    zString abc("abc");

    EXPECT_FALSE(empty.EqualsCString(""));
    EXPECT_FALSE(emptyBuffer.EqualsCString(""));
    EXPECT_TRUE(empty.CompareCString(""));
    EXPECT_FALSE(abc.EqualsCString(nullptr));
    EXPECT_TRUE(abc.CompareCString(nullptr));
    EXPECT_TRUE(abc.EqualsCString("abc"));
    EXPECT_FALSE(abc.CompareCString("abc"));
    EXPECT_FALSE(abc.EqualsCString("ABC"));

    EXPECT_FALSE(abc.EqualsString(empty));
    EXPECT_FALSE(empty.EqualsString(abc));
    EXPECT_TRUE(abc.EqualsString(zString("abc")));
    EXPECT_FALSE(abc.EqualsString(zString("abd")));
}

TEST(zStringFormat, CutsAt1023Characters)
{
    const std::string longText(2000, 'x');
    const zString s = zString::Format("%s", longText.c_str());
    EXPECT_EQ(s.GetLength(), 1023);
    EXPECT_STREQ(zString::Format("%d-%s", 42, "a").Get(), "42-a");
}

TEST(zStringRemoveChar, RemovesEveryOccurrence)
{
    EXPECT_STREQ(zString("a b c").RemoveChar(' ').Get(), "abc");
    EXPECT_STREQ(zString("abc").RemoveChar('x').Get(), "abc");
    EXPECT_EQ(zString().RemoveChar('x').Get(), nullptr);
}

TEST(zStringNormalizePath, LowersDriveAndUnifiesSeparators)
{
    zString path("C:\\data\\\\maps//level.zms");
    ASSERT_TRUE(path.NormalizePath());
    EXPECT_STREQ(path.Get(), "c:/data/maps/level.zms");
    EXPECT_EQ(path.GetHash(), HashString("c:/data/maps/level.zms"));

    zString drive("C:");
    drive.NormalizePath();
    EXPECT_STREQ(drive.Get(), "C:");

    zString none;
    EXPECT_FALSE(none.NormalizePath());
}

TEST(zStringParse, IntegerForms)
{
    EXPECT_EQ(ParseInt("123"), 123);
    EXPECT_EQ(ParseInt("-45x"), -45);
    EXPECT_EQ(ParseInt("+7"), 0);
    EXPECT_EQ(ParseInt(" 7"), 0);
    EXPECT_EQ(ParseInt(""), 0);
}

struct FloatCase {
    const char* text;
    bool comma;
    float expected;
    friend void PrintTo(const FloatCase& c, std::ostream* os) { *os << '"' << c.text << '"' << (c.comma ? " comma" : ""); }
};

class ParseFloatTest : public testing::TestWithParam<FloatCase> {};

TEST_P(ParseFloatTest, ReadsTheNumber)
{
    const FloatCase& c = GetParam();
    EXPECT_FLOAT_EQ(ParseFloat(c.text, nullptr, c.comma), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Forms, ParseFloatTest,
    testing::Values(
        FloatCase{"1,5", false, 1.0f},
        FloatCase{"1,5", true, 1.5f},
        FloatCase{"-2.25e+1", false, -22.5f},
        FloatCase{"1e+5", false, 100000.0f},
        FloatCase{"2.5e-2", false, 0.025f},
        FloatCase{"1.5e+10", false, 1.5e10f},
        FloatCase{"3.75", false, 3.75f},
        FloatCase{"-0.5", false, -0.5f},
        FloatCase{"12abc", false, 12.0f},
        FloatCase{"4.5x9", false, 4.5f},
        FloatCase{"1E+5", false, 1.0f},
        FloatCase{"-", false, 0.0f},
        FloatCase{"", false, 0.0f}));

TEST(zStringParse, FloatStopsAtRangeEnd)
{
    const char* text = "12.75";
    EXPECT_FLOAT_EQ(ParseFloat(text, text + 2, false), 12.0f);
    EXPECT_FLOAT_EQ(ParseFloat(text, text + 4, false), 12.7f);
    EXPECT_FLOAT_EQ(ParseFloat(nullptr, nullptr, false), 0.0f);
}

TEST(zStringFindChar, StopsAtEndOrNul)
{
    const char* text = "abc:def";
    EXPECT_EQ(FindChar(text, ':'), text + 3);
    EXPECT_EQ(FindChar(text, 'x'), text + 7);
    EXPECT_EQ(FindChar(text, ':', text + 2), text + 2);
}

struct PathCase {
    void (*function)(char*);
    const char* name;
    const char* input;
    const char* expected;
    friend void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name << " \"" << c.input << '"'; }
};

class PathTest : public testing::TestWithParam<PathCase> {};

TEST_P(PathTest, CutsAsExpected)
{
    const PathCase& c = GetParam();
    std::string buffer(c.input);
    c.function(buffer.data());
    EXPECT_STREQ(buffer.c_str(), c.expected) << c.name << "(" << c.input << ")";
}

INSTANTIATE_TEST_SUITE_P(Helpers, PathTest,
    testing::Values(
        PathCase{PathStripFileName, "PathStripFileName", "a/b/c.txt", "a/b/"},
        PathCase{PathStripFileName, "PathStripFileName", "a\\b\\c.txt", "a\\b\\"},
        PathCase{PathStripFileName, "PathStripFileName", "c:file.txt", "c:"},
        PathCase{PathStripFileName, "PathStripFileName", "file.txt", ""},
        PathCase{PathStripFileName, "PathStripFileName", "a/b/", "a/b/"},
        PathCase{PathStripExtension, "PathStripExtension", "dir.old/file", "dir"},
        PathCase{PathStripExtension, "PathStripExtension", "a/b.tar.gz", "a/b.tar"},
        PathCase{PathStripExtension, "PathStripExtension", "noext", "noext"},
        PathCase{PathStripDirectory, "PathStripDirectory", "a/b\\c.txt", "c.txt"},
        PathCase{PathStripDirectory, "PathStripDirectory", "c:file.txt", "c:file.txt"},
        PathCase{PathStripDirectoryAndExtension, "PathStripDirectoryAndExtension", "a/b/c.tar.gz", "c.tar"}));

TEST(zStringPath, ExtensionAndMemberStrip)
{
    EXPECT_STREQ(PathGetExtension("a/b.TGA").Get(), "TGA");
    EXPECT_TRUE(PathGetExtension("a/b").IsEmpty());

    zString s("data/models/ship.zgm");
    s.StripDirectoryAndExtension();
    EXPECT_STREQ(s.Get(), "ship");
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.GetHash(), HashString("ship"));
}
