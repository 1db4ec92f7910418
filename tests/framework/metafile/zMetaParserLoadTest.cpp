#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/tools/zAsciiEncoder.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

bool Load(const std::string& text, zMetaFile& document, const char* name = "test.zml")
{
    return zMetaParser::LoadText(text.data(), text.size(), &document, name);
}

// A body after the header, read into a fresh document.
struct Loaded {
    explicit Loaded(const std::string& body) : ok(Load("<ZML=1.0>\n" + body, document)) {}
    zMetaTag* Root() const { return document.GetFirstRootTag(); }

    LogCapture log;
    zMetaFile document;
    bool ok;
};

std::string Name(const zMetaTag* tag)
{
    return tag->GetName().Get() != nullptr ? tag->GetName().Get() : "";
}

} // namespace

TEST(MetaParserLoad, HeaderOnlyWithCommentsIsAnEmptyDocument)
{
    Loaded loaded("// nothing\n  /* at\n all */ \r\n\t");
    EXPECT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.document.GetCount(), 0);
    EXPECT_TRUE(loaded.document.GetFileName() == "test.zml");
    EXPECT_TRUE(loaded.log.lines.empty());
}

TEST(MetaParserLoad, HeaderValueIsCheckedForTheVersion)
{
    struct Case {
        const char* text;
        bool ok;
        const char* logged;
    };
    const Case cases[] = {
        {"<ZML=1.0>", true, nullptr},
        {"<ZML=1>", true, nullptr},
        {"<ZML=2>", true, "[*] zMetaParser::Load ("},
        {"<ZML=2>", true, "Newer version ZML header found (2>1 in file 'test.zml').\n"},
        {"<ZML=1.5>", true, "Newer version ZML header found (1.500>1) in file 'test.zml'.\n"},
        {"<ZML=\"1.0\">", true, "Unknown ZML header version identification method in file 'test.zml'.\n"},
        {"<ZML>", true, "Unknown ZML header version identification method in file 'test.zml'.\n"},
        {"<XML=1.0>", false, "Unknown ZML variant in file 'test.zml'.\n"},
        {"", false, "Invalid ZML file 'test.zml'.\n"},
        {"ZML=1.0>", false, "Expected metatag, none found in file 'test.zml'.\n"},
        {"<ZML=1.0", false, "Invalid ZML file 'test.zml'.\n"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        zMetaFile document;
        EXPECT_EQ(Load(c.text, document), c.ok) << c.text;
        if (c.logged != nullptr) {
            EXPECT_TRUE(log.Contains(c.logged)) << c.text;
        } else {
            EXPECT_TRUE(log.lines.empty()) << c.text;
        }
    }
}

TEST(MetaParserLoad, NumbersAreIntegersUnlessTheyHoldADotOrAnF)
{
    struct Case {
        const char* value;
        int32_t type;
        int32_t integer;
        float number;
    };
    const Case cases[] = {
        {"5", zMetaTag::TypeInteger, 5, 5.0f},
        {"-17", zMetaTag::TypeInteger, -17, -17.0f},
        {"5.", zMetaTag::TypeFloat, 5, 5.0f},
        {"5f", zMetaTag::TypeFloat, 5, 5.0f},
        {".5", zMetaTag::TypeFloat, 0, 0.5f},
        {"-0.25", zMetaTag::TypeFloat, 0, -0.25f},
        {"0.100000", zMetaTag::TypeFloat, 0, 0.1f},
        // Exact where a 32-bit float would give 16777216.
        {"16777217", zMetaTag::TypeInteger, 16777217, 16777216.0f},
        {"2147483647", zMetaTag::TypeInteger, INT32_MAX, 2147483647.0f},
        {"-2147483648", zMetaTag::TypeInteger, INT32_MIN, -2147483648.0f},
        {"0007", zMetaTag::TypeInteger, 7, 7.0f},
        // Decimal text reads as the nearest float.
        {"1234.567017", zMetaTag::TypeFloat, 1234, 1234.567017f},
        {"10858530545311155720000000.000000", zMetaTag::TypeFloat, INT32_MAX, 10858530545311155720000000.0f},
        {"-0.000001f", zMetaTag::TypeFloat, 0, -0.000001f},
        // Other forms read through the system's decimal reader.
        {"1.5x", zMetaTag::TypeFloat, 1, 1.5f},
        {"2e3", zMetaTag::TypeInteger, 2, 2.0f},
    };
    for (const Case& c : cases) {
        Loaded loaded(std::string("<A=") + c.value + ">");
        ASSERT_TRUE(loaded.ok) << c.value;
        const zMetaTag* a = loaded.Root();
        EXPECT_EQ(a->GetType(), c.type) << c.value;
        EXPECT_EQ(a->GetInteger(), c.integer) << c.value;
        EXPECT_EQ(a->GetFloat(), c.number) << c.value;
        EXPECT_TRUE(loaded.log.lines.empty()) << c.value;
    }

    Loaded huge("<A=99999999999><B=-3000000000>");
    ASSERT_TRUE(huge.ok);
    EXPECT_EQ(huge.Root()->GetInteger(), INT32_MAX);
    EXPECT_EQ(huge.Root()->GetNextSibling()->GetInteger(), INT32_MIN);
    EXPECT_TRUE(huge.log.Contains("integer out of range, clamped to 2147483647, metatag 'A'.\n"));
}

TEST(MetaParserLoad, ValuesAndNodesReadAsWritten)
{
    Loaded loaded("<S=\"a\\\"b\" // comment\n >\n"
                  "<Empty=\"\">\n"
                  "<L=@\"A:B;\">\n"
                  "<N = <B> <C=1> >\n"
                  "<P=>\n"
                  "<Q >\n"
                  "<=3>\n");
    ASSERT_TRUE(loaded.ok);
    const zMetaTag* s = loaded.Root();
    EXPECT_STREQ(s->GetString(), "a\\\"b");
    const zMetaTag* empty = s->GetNextSibling();
    EXPECT_STREQ(empty->GetString(), "");
    const zMetaTag* l = empty->GetNextSibling();
    EXPECT_STREQ(l->GetShortcut(), "A:B;");
    const zMetaTag* n = l->GetNextSibling();
    EXPECT_EQ(n->GetType(), zMetaTag::TypeNode);
    ASSERT_EQ(n->GetChildCount(), 2);
    EXPECT_EQ(n->GetFirstChild()->GetType(), zMetaTag::TypePure);
    EXPECT_EQ(Name(n->GetFirstChild()), "B");
    EXPECT_EQ(n->FindChild("C")->GetInteger(), 1);
    const zMetaTag* p = n->GetNextSibling();
    EXPECT_EQ(p->GetType(), zMetaTag::TypePure);
    EXPECT_EQ(p->GetNextSibling()->GetType(), zMetaTag::TypePure);
    const zMetaTag* unnamed = p->GetNextSibling()->GetNextSibling();
    EXPECT_EQ(Name(unnamed), "");
    EXPECT_EQ(unnamed->GetInteger(), 3);
}

TEST(MetaParserLoad, BinaryBlocksKeepTheirEncodedBytes)
{
    const uint8_t data[5] = {0x00, 0xD6, 0x13, 0xFF, 0x0A};
    for (int32_t encoding : {zAsciiEncoder::EncodingUU, zAsciiEncoder::EncodingYEnc}) {
        zMetaTag source("D");
        ASSERT_TRUE(source.SetBinary(data, 5, encoding));
        const std::string encoded(source.GetEncodedData(), size_t(source.GetEncodedSize()));
        Loaded loaded("<D==" + std::to_string(encoded.size()) + ":5" + (encoding == 1 ? "@" : "") + "\n" + encoded
                      + ">\n");
        ASSERT_TRUE(loaded.ok) << encoding;
        const zMetaTag* d = loaded.Root();
        EXPECT_EQ(d->GetType(), zMetaTag::TypeBinary);
        EXPECT_EQ(d->GetEncoding(), encoding);
        EXPECT_EQ(d->GetRawSize(), 5);
        EXPECT_EQ(std::string(d->GetEncodedData(), size_t(d->GetEncodedSize())), encoded);
        uint8_t out[5] = {};
        ASSERT_TRUE(d->GetBinaryData(out, 5));
        EXPECT_TRUE(std::equal(out, out + 5, data));
    }
    Loaded empty("<D==0:0\n>");
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.Root()->GetType(), zMetaTag::TypeBinary);
    EXPECT_EQ(empty.Root()->GetEncodedSize(), 0);

    // Data that decodes to fewer bytes than the raw size is refused when decoded.
    Loaded shortData("<D==3:2@\n***>");
    ASSERT_TRUE(shortData.ok);
    uint8_t two[2];
    EXPECT_TRUE(shortData.Root()->GetBinaryData(two, 2));
    Loaded lying("<D==4:4@\n**\n*>");
    ASSERT_TRUE(lying.ok);
    uint8_t four[4];
    EXPECT_FALSE(lying.Root()->GetBinaryData(four, 4));
    EXPECT_TRUE(lying.log.Contains("[!] zMetaTag::GetBinaryData ("));
}

TEST(MetaParserLoad, AppendJoinsLiteralsAndEarlierStringTags)
{
    Loaded loaded("<T=\"b\">\n<I=4>\n<N=<In=\"x\">>\n<R=#append(\"a\", <T;> \"c\" , <N:In;>)>\n<E=#append()>");
    ASSERT_TRUE(loaded.ok);
    EXPECT_STREQ(loaded.document.GetString("R;"), "abcx");
    EXPECT_STREQ(loaded.document.GetString("E;"), "");

    struct Case {
        const char* body;
        const char* message;
    };
    const Case cases[] = {
        {"<I=4><R=#append(\"a\", <I;>)>", "Preprocessor directive #append only support string, metatag 'I'.\n"},
        {"<R=#append(<Later;>)><Later=\"x\">", "Preprocessor argument tag 'Later;' not found, metatag 'R'.\n"},
        {"<R=#append \"a\">", "Mangled preprocessor directive, metatag 'R'.\n"},
        {"<R=#append(\"a\" x)>", "Unexpected character in preprocessor directive, metatag 'R'.\n"},
        {"<R=#append(\"a)>", "Mangled shortcut declaration, metatag 'R'.\n"},
        {"<R=#append(<T;)", "Mangled tag declaration in preprocessor directive, metatag 'R'.\n"},
        {"<R=#append(\"a\") 5>", "Unexpected trailing expression following string object, metatag 'R'.\n"},
        {"<R=<B> #append(\"a\")>", "Incoherent type in tag 'R' declaration.\n"},
        {"<R=#define(\"a\")>", "Unknown preprocessor directive, metatag 'R'.\n"},
        {"<R=#append(\"a\"", "Mangled preprocessor directive, metatag 'R'.\n"},
    };
    for (const Case& c : cases) {
        Loaded bad(c.body);
        EXPECT_FALSE(bad.ok) << c.body;
        EXPECT_TRUE(bad.log.Contains(c.message)) << c.body;
    }
}

// Every malformed text fails with its message, leaves the caller's document
// as it was, and reads nothing outside the text (checked by the sanitizers).
TEST(MetaParserLoad, MalformedTextFailsAndLeavesTheDocumentUntouched)
{
    struct Case {
        const char* body;
        const char* message;
    };
    const Case cases[] = {
        {"<A", "Mangled definition, metatag 'A'.\n"},
        {"<A=", "Mangled definition, metatag 'A'.\n"},
        {"<A=<B>", "Mangled definition, metatag 'A'.\n"},
        {"<A=5", "Mangled definition, metatag 'A'.\n"},
        {"<A=5 >", "Unexpected trailing expression following value, metatag 'A'.\n"},
        {"<A=1e-3>", "Unexpected trailing expression following value, metatag 'A'.\n"},
        {"<A=1<B>>", "Unexpected trailing expression following value, metatag 'A'.\n"},
        {"<A=1 <B>>", "Unexpected trailing expression following value, metatag 'A'.\n"},
        {"<A=<B> 5>", "Incoherent type in tag 'A' declaration.\n"},
        {"<A=\"s\" \"t\">", "Unexpected trailing expression following string object, metatag 'A'.\n"},
        {"<A=\"s", "Mangled string declaration, metatag 'A'.\n"},
        {"<A=\"s\\\">", "Mangled string declaration, metatag 'A'.\n"},
        {"<A=\"s\"", "Unexpected EOF after string declaration, metatag 'A'.\n"},
        {"<A=\"s\"  ", "Unexpected EOF after string declaration, metatag 'A'.\n"},
        {"<A=@B>", "Expected string as shortcut adress, metatag 'A'.\n"},
        {"<A=@", "Expected string as shortcut adress, metatag 'A'.\n"},
        {"<A=@\"B", "Mangled shortcut declaration, metatag 'A'.\n"},
        {"<A=@\"B\"", "Unexpected EOF after shortcut declaration, metatag 'A'.\n"},
        {"<A=@\"B\" >", "Unexpected trailing expression following shortcut object, metatag 'A'.\n"},
        {"<A=x>", "Unexpected 'x' in assignation, metatag 'A'.\n"},
        {"<my-tag>", "Expected metatag, none found in file 'test.zml'.\n"},
        {"<N=<my-tag>>", "Incoherent type in tag 'N' declaration.\n"},
        {">", "Expected metatag, none found in file 'test.zml'.\n"},
        {"<A==x", "Expected encoded size in binary tag 'A' declaration.\n"},
        {"<A==4x", "Expected size delimiter in binary tag 'A' declaration.\n"},
        {"<A==4:", "Expected binary size in binary tag 'A' declaration.\n"},
        {"<A==4:3", "Expected EOL following binary size in binary tag 'A' declaration.\n"},
        {"<A==4:3\r\n****>", "Expected EOL following binary size in binary tag 'A' declaration.\n"},
        {"<A==4:3@\n***>", "Expected closing tag in tag 'A'.\n"},
        {"<A==2:2@\n***>", "Expected closing tag in tag 'A'.\n"},
        {"<A==4:3@\n****", "Expected closing tag in tag 'A'.\n"},
        // Sizes from the file that reach past the text or overflow.
        {"<A==5:3@\n***>", "Encoded size exceeds the text left in binary tag 'A' declaration.\n"},
        {"<A==4294967300:1@\n*>", "Encoded size exceeds the text left in binary tag 'A' declaration.\n"},
        {"<A==2147483647:1@\n*>", "Encoded size exceeds the text left in binary tag 'A' declaration.\n"},
        {"<A==3:4@\n***>", "Binary size exceeds what the encoded data holds in binary tag 'A' declaration.\n"},
        {"<A==6:5\n#\"\"\"\n>", "Binary size exceeds what the encoded data holds in binary tag 'A' declaration.\n"},
        {"<A==1:99999999999@\n*>", "Binary size exceeds what the encoded data holds in binary tag 'A' declaration.\n"},
        {"<A=#include \"x\">", "Mangled #include directive in file 'test.zml'.\n"},
        {"<A=#include(x)>", "Unexpected character in #include directive.\n"},
        {"<A=#include(\"x", "Mangled #include directive in file 'test.zml'.\n"},
        {"<A=#include(\"x\"", "Mangled #include directive in file 'test.zml'.\n"},
    };
    for (const Case& c : cases) {
        zMetaFile document("previous.zml");
        document.AddRootTag(new zMetaTag("Kept", 1));
        LogCapture log;
        const std::string text = std::string("<ZML=1.0>\n") + c.body;
        // The text is copied to a buffer of its exact size so that a read past it is caught.
        std::vector<char> exact(text.begin(), text.end());
        EXPECT_FALSE(zMetaParser::LoadText(exact.data(), exact.size(), &document, "test.zml")) << c.body;
        EXPECT_TRUE(log.Contains(c.message)) << c.body;
        EXPECT_EQ(document.GetCount(), 1) << c.body;
        EXPECT_TRUE(document.GetFirstRootTag()->GetName() == "Kept") << c.body;
        EXPECT_TRUE(document.GetFileName() == "previous.zml") << c.body;
    }
}

TEST(MetaParserLoad, ErrorsNameTheFileAndEveryEnclosingTag)
{
    Loaded loaded("<Outer=<Inner=<Leaf=x>>>");
    EXPECT_FALSE(loaded.ok);
    const std::string location = "[!] zMetaParser::ParseTag (";
    bool found = false;
    for (const std::string& line : loaded.log.lines) {
        if (line.find("Unexpected 'x' in assignation, metatag 'Leaf'.\n") == std::string::npos)
            continue;
        found = true;
        EXPECT_EQ(line.rfind(location, 0), 0u) << line;
        EXPECT_NE(line.find(") In file 'test.zml': " + location), std::string::npos) << line;
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(loaded.log.Contains("In file 'test.zml': in metatag 'Inner'.\n"));
    EXPECT_TRUE(loaded.log.Contains("In file 'test.zml': in metatag 'Outer'.\n"));
    // Every line is finished: nothing is left to run into the next message.
    for (const std::string& line : loaded.log.lines)
        EXPECT_EQ(line.back(), '\n');
}

TEST(MetaParserLoad, DeepNestingFailsInsteadOfExhaustingTheStack)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a=";
    Loaded loaded(deep);
    EXPECT_FALSE(loaded.ok);
    EXPECT_TRUE(loaded.log.Contains("Tags nested deeper than 256 levels, metatag 'a'.\n"));

    std::string fine;
    for (int i = 0; i < zMetaParser::MaxTagDepth; ++i)
        fine += "<a=";
    fine += "1";
    for (int i = 0; i < zMetaParser::MaxTagDepth; ++i)
        fine += ">";
    Loaded allowed(fine);
    EXPECT_TRUE(allowed.ok);
}

TEST(MetaParserLoad, EveryTruncationOfAValidDocumentIsSafe)
{
    const std::string text = "<ZML=1.0>\n<Root=\n\t<I=-12>\n\t<F=0.500000>\n\t<S=\"a \\\" b\">\n"
                             "\t<B==6:3\n#`0A`\n>\n\t<Y==3:3@\n+,->\n\t<L=@\"Root:I;\">\n"
                             "\t<A=#append(\"x\", <Root:S;>)>\n\t/* note */\n>\n<P>\n";
    {
        zMetaFile whole;
        LogCapture log;
        ASSERT_TRUE(Load(text, whole));
        EXPECT_EQ(whole.GetCount(), 2);
    }
    for (size_t length = 0; length < text.size(); ++length) {
        std::vector<char> prefix(text.begin(), text.begin() + ptrdiff_t(length));
        zMetaFile document("before.zml");
        document.AddRootTag(new zMetaTag("Kept"));
        LogCapture log;
        if (!zMetaParser::LoadText(prefix.data(), prefix.size(), &document, "cut.zml")) {
            EXPECT_EQ(document.GetCount(), 1) << length;
            EXPECT_TRUE(document.GetFileName() == "before.zml") << length;
            EXPECT_FALSE(log.lines.empty()) << length;
        }
    }
}

TEST(MetaParserLoad, IncludeOfAMissingFileIsLoggedAndParsingGoesOn)
{
    Loaded loaded("<A=#include(\"no/such/file.zml\") <B=1>>\n<C=2>");
    ASSERT_TRUE(loaded.ok);
    EXPECT_TRUE(loaded.log.Contains("Failed to include external ZML file 'no/such/file.zml' from file 'test.zml'.\n"));
    EXPECT_EQ(loaded.Root()->GetType(), zMetaTag::TypeNode);
    EXPECT_EQ(loaded.document.GetInt("A:B;", 0), 1);
    EXPECT_EQ(loaded.document.GetInt("C;", 0), 2);

    Loaded alone("<A=#include(\"missing.zml\")>");
    ASSERT_TRUE(alone.ok);
    EXPECT_EQ(alone.Root()->GetType(), zMetaTag::TypePure);
}
