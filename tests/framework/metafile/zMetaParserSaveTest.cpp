#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/tools/zAsciiEncoder.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string Save(const zMetaFile& document, bool expectOk = true)
{
    std::string text;
    EXPECT_EQ(zMetaParser::SaveText(&document, text), expectOk);
    return text;
}

std::string Name(const zMetaTag* tag)
{
    return tag->GetName().Get() != nullptr ? tag->GetName().Get() : "";
}

testing::AssertionResult SameTree(const zMetaTag* a, const zMetaTag* b, const std::string& where)
{
    const std::string here = where + "/" + Name(a);
    if (Name(a) != Name(b))
        return testing::AssertionFailure() << here << ": name " << Name(b);
    if (a->GetType() != b->GetType())
        return testing::AssertionFailure() << here << ": type " << a->GetType() << " vs " << b->GetType();
    switch (a->GetType()) {
    case zMetaTag::TypeInteger:
        if (a->GetInteger() != b->GetInteger())
            return testing::AssertionFailure() << here << ": " << a->GetInteger() << " vs " << b->GetInteger();
        break;
    case zMetaTag::TypeFloat: {
        const float x = a->GetFloat();
        const float y = b->GetFloat();
        if (std::memcmp(&x, &y, sizeof x) != 0)
            return testing::AssertionFailure() << here << ": " << x << " vs " << y;
        break;
    }
    case zMetaTag::TypeString:
        if (std::strcmp(a->GetString(), b->GetString()) != 0)
            return testing::AssertionFailure() << here << ": '" << a->GetString() << "' vs '" << b->GetString() << "'";
        break;
    case zMetaTag::TypeShortcut:
        if (std::strcmp(a->GetShortcut(), b->GetShortcut()) != 0)
            return testing::AssertionFailure() << here << ": shortcut " << b->GetShortcut();
        break;
    case zMetaTag::TypeBinary:
        if (a->GetEncoding() != b->GetEncoding() || a->GetRawSize() != b->GetRawSize()
            || a->GetEncodedSize() != b->GetEncodedSize()
            || std::memcmp(a->GetEncodedData(), b->GetEncodedData(), size_t(a->GetEncodedSize())) != 0)
            return testing::AssertionFailure() << here << ": binary differs";
        break;
    default:
        break;
    }
    if (a->GetChildCount() != b->GetChildCount())
        return testing::AssertionFailure() << here << ": " << b->GetChildCount() << " children";
    for (const zMetaTag *x = a->GetFirstChild(), *y = b->GetFirstChild(); x != nullptr;
         x = x->GetNextSibling(), y = y->GetNextSibling()) {
        testing::AssertionResult same = SameTree(x, y, here);
        if (!same)
            return same;
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult SameDocument(const zMetaFile& a, const zMetaFile& b)
{
    if (a.GetCount() != b.GetCount())
        return testing::AssertionFailure() << a.GetCount() << " vs " << b.GetCount() << " root tags";
    for (const zMetaTag *x = a.GetFirstRootTag(), *y = b.GetFirstRootTag(); x != nullptr;
         x = x->GetNextSibling(), y = y->GetNextSibling()) {
        testing::AssertionResult same = SameTree(x, y, "");
        if (!same)
            return same;
    }
    return testing::AssertionSuccess();
}

// Deterministic document with every type of tag, nesting, UU and yEnc blocks
// and shortcuts to tags that exist.
class Generator {
public:
    explicit Generator(uint32_t seed) : state(seed) {}

    void Fill(zMetaFile& document, int32_t roots)
    {
        for (int32_t i = 0; i < roots; ++i) {
            auto* root = document.AddRootTag(new zMetaTag(("Root" + std::to_string(i)).c_str()));
            paths.push_back(Name(root) + ";");
            FillNode(root, Name(root), 0);
        }
    }

    std::vector<std::string> paths;

private:
    uint32_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }

    std::string RandomName()
    {
        static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.#@!&$%";
        if (Below(40) == 0)
            return "";
        std::string name;
        const uint32_t length = 1 + Below(12);
        for (uint32_t i = 0; i < length; ++i)
            name += alphabet[Below(sizeof alphabet - 1)];
        return name;
    }

    std::string RandomText()
    {
        std::string text;
        const uint32_t length = Below(40);
        for (uint32_t i = 0; i < length; ++i) {
            switch (Below(10)) {
            case 0: text += "\\\""; break;
            case 1: text += "\\\\"; break;
            case 2: text += char(0x80 + Below(128)); break;
            case 3: text += " \t\n</*>//"[Below(9)]; break;
            default: {
                char c = char(32 + Below(95));
                text += c == '"' || c == '\\' ? 'q' : c;
            }
            }
        }
        return text;
    }

    float RandomFloat()
    {
        switch (Below(8)) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        default: return float(int32_t(Below(20000001)) - 10000000) / 64.0f;
        }
    }

    int32_t RandomInteger()
    {
        switch (Below(6)) {
        case 0: return INT32_MIN;
        case 1: return INT32_MAX;
        case 2: return int32_t(Below(100)) - 50;
        default: return int32_t(Next() * 2654435761u);
        }
    }

    void FillNode(zMetaTag* node, const std::string& path, int32_t depth)
    {
        const uint32_t count = 1 + Below(depth == 0 ? 12 : 6);
        for (uint32_t i = 0; i < count; ++i) {
            const std::string name = RandomName();
            const uint32_t kind = Below(depth < 4 ? 8 : 7);
            zMetaTag* child = nullptr;
            switch (kind) {
            case 0: child = node->CreateChild(name.c_str()); break;
            case 1: child = node->CreateInteger(name.c_str(), RandomInteger()); break;
            case 2: child = node->CreateFloat(name.c_str(), RandomFloat()); break;
            case 3: child = node->CreateString(name.c_str(), RandomText().c_str()); break;
            case 4: {
                std::vector<uint8_t> bytes(1 + Below(Below(10) == 0 ? 5000 : 300));
                for (uint8_t& b : bytes)
                    b = uint8_t(Next());
                child = node->CreateBinary(name.c_str(), bytes.data(), int32_t(bytes.size()), int32_t(Below(2)));
                break;
            }
            case 5:
                child = node->CreateShortcut(name.c_str(), paths[Below(uint32_t(paths.size()))].c_str());
                break;
            case 6: child = node->CreateBool(name.c_str(), Below(2) == 0); break;
            default: {
                child = node->CreateChild(name.c_str());
                FillNode(child, path + ":" + name, depth + 1);
                break;
            }
            }
            ASSERT_NE(child, nullptr);
            if (kind != 5)
                paths.push_back(path + ":" + name + ";");
        }
    }

    uint32_t state;
};

} // namespace

TEST(MetaParserSave, WritesTheExactLayout)
{
    zMetaFile document;
    zMetaTag* root = document.AddRootTag(new zMetaTag("Root"));
    root->CreateChild("P");
    root->CreateInteger("I", -3);
    root->CreateFloat("F", 0.5f);
    root->CreateString("S", "a b");
    root->CreateShortcut("L", "Root:I;");
    const uint8_t yenc[3] = {1, 2, 3};
    root->CreateBinary("Y", yenc, 3, zAsciiEncoder::EncodingYEnc);
    const uint8_t zero = 0;
    root->CreateBinary("U", &zero, 1, zAsciiEncoder::EncodingUU);
    root->CreateChild("N")->CreateInteger("X", 1);
    zMetaTag* empty = root->CreateChild("E");
    empty->GetChildren().Remove(empty->CreateChild("Gone"));
    root->AddChild(new zMetaTag());
    document.AddRootTag(new zMetaTag("Last", 123456.75f));

    LogCapture log;
    EXPECT_EQ(Save(document), "<ZML=1.0>\n"
                              "<Root=\n"
                              "\t<P>\n"
                              "\t<I=-3>\n"
                              "\t<F=0.500000>\n"
                              "\t<S=\"a b\">\n"
                              "\t<L=@\"Root:I;\">\n"
                              "\t<Y==3:3@\n+,->\n"
                              "\t<U==6:1\n#    \n>\n"
                              "\t<N=\n"
                              "\t\t<X=1>\n"
                              "\t>\n"
                              "\t<E=\n"
                              "\t>\n"
                              ">\n"
                              "<Last=123456.750000>\n");
    EXPECT_TRUE(log.Contains("[*] zMetaParser::SaveTag ("));
    EXPECT_TRUE(log.Contains("Ignoring invalid metatag ''.\n"));

    zMetaFile none;
    EXPECT_EQ(Save(none), "<ZML=1.0>\n");
}

TEST(MetaParserSave, AChildlessNodeReadsBackAsAPureTag)
{
    zMetaFile document;
    zMetaTag* node = document.AddRootTag(new zMetaTag("N"));
    node->GetChildren().Remove(node->CreateChild("C"));
    ASSERT_EQ(node->GetType(), zMetaTag::TypeNode);
    const std::string text = Save(document);
    zMetaFile back;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &back));
    EXPECT_EQ(back.GetFirstRootTag()->GetType(), zMetaTag::TypePure);
}

TEST(MetaParserSave, RefusesValuesThatWouldNotReadBack)
{
    struct Case {
        const char* what;
        zMetaTag* tag;
        const char* message;
    };
    auto shortcut = [](const char* path) {
        auto* tag = new zMetaTag("L");
        tag->SetShortcut(path);
        return tag;
    };
    const Case cases[] = {
        {"bare quote", new zMetaTag("S", "say \"hi"), "string tag 'S' holds an unescaped double quote"},
        {"trailing backslash", new zMetaTag("S", "dir\\"), "string tag 'S' holds an unescaped double quote or ends in a backslash"},
        {"escaped then trailing", new zMetaTag("S", "a\\\"\\"), "ends in a backslash"},
        {"shortcut quote", shortcut("A\"B;"), "shortcut tag 'L' holds"},
        {"nan", new zMetaTag("F", std::numeric_limits<float>::quiet_NaN()), "float tag 'F' holds no finite number"},
        {"inf", new zMetaTag("F", std::numeric_limits<float>::infinity()), "float tag 'F' holds no finite number"},
        {"-inf", new zMetaTag("F", -std::numeric_limits<float>::infinity()), "float tag 'F' holds no finite number"},
        {"name with minus", new zMetaTag("my-tag", 1), "tag name 'my-tag' holds a character that ends a name"},
        {"name with colon", new zMetaTag("a:b"), "tag name 'a:b' holds"},
        {"name with blank", new zMetaTag("a b", "x"), "tag name 'a b' holds"},
    };
    for (const Case& c : cases) {
        zMetaFile document;
        document.AddRootTag(new zMetaTag("Before", 1));
        document.AddRootTag(new zMetaTag("Holder"))->AddChild(c.tag);
        LogCapture log;
        Save(document, false);
        EXPECT_TRUE(log.Contains("[!] zMetaParser::SaveTag (")) << c.what;
        EXPECT_TRUE(log.Contains(c.message)) << c.what;
    }

    // Escaped quotes and doubled backslashes are fine.
    zMetaFile fine;
    fine.AddRootTag(new zMetaTag("S", "a\\\"b\\\\"));
    fine.AddRootTag(new zMetaTag("T", "\\n\\t"));
    const std::string text = Save(fine);
    zMetaFile back;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &back));
    EXPECT_STREQ(back.GetString("S;"), "a\\\"b\\\\");
    EXPECT_STREQ(back.GetString("T;"), "\\n\\t");
}

TEST(MetaParserSave, WhatIsWrittenReadsBackIdentical)
{
    for (uint32_t seed : {1u, 2u, 3u, 77u, 1234u}) {
        zMetaFile document("generated.zml");
        Generator generator(seed);
        generator.Fill(document, 6);
        ASSERT_FALSE(HasFatalFailure());

        const std::string text = Save(document);
        zMetaFile back;
        LogCapture log;
        ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &back, "generated.zml")) << seed;
        EXPECT_TRUE(log.lines.empty()) << seed;
        EXPECT_TRUE(SameDocument(document, back)) << seed;
        EXPECT_EQ(Save(back), text) << seed;

        // Binary values decode to the same bytes and shortcuts resolve alike.
        for (const std::string& path : generator.paths) {
            const zMetaTag* a = document.GetTag(path.c_str());
            const zMetaTag* b = back.GetTag(path.c_str());
            ASSERT_EQ(a == nullptr, b == nullptr) << path;
            if (a == nullptr || a->GetType() != zMetaTag::TypeBinary)
                continue;
            std::vector<uint8_t> x(size_t(a->GetRawSize())), y(size_t(b->GetRawSize()));
            ASSERT_TRUE(a->GetBinaryData(x.data(), int32_t(x.size())));
            ASSERT_TRUE(b->GetBinaryData(y.data(), int32_t(y.size())));
            EXPECT_EQ(x, y) << path;
        }
    }
}

// Six decimals pin a float down once its neighbours are more than 2e-6
// apart; below that the text keeps what it can and stays stable once read.
TEST(MetaParserSave, FloatsReadBackAsWrittenAtEveryMagnitude)
{
    zMetaFile document;
    uint32_t state = 99;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float mantissa = float(state >> 8) / float(1 << 24) + 0.5f;
        const float value = std::ldexp((state & 1) ? -mantissa : mantissa, int(state % 200) - 80);
        document.AddRootTag(new zMetaTag("F", value));
    }
    document.AddRootTag(new zMetaTag("Max", std::numeric_limits<float>::max()));
    document.AddRootTag(new zMetaTag("Min", std::numeric_limits<float>::lowest()));
    const std::string first = Save(document);
    zMetaFile once;
    ASSERT_TRUE(zMetaParser::LoadText(first.data(), first.size(), &once));
    EXPECT_EQ(Save(once), first);
    int32_t exact = 0;
    for (const zMetaTag *a = document.GetFirstRootTag(), *b = once.GetFirstRootTag(); a != nullptr;
         a = a->GetNextSibling(), b = b->GetNextSibling()) {
        if (std::fabs(a->GetFloat()) >= 16.0f) {
            EXPECT_EQ(a->GetFloat(), b->GetFloat());
            ++exact;
        } else {
            EXPECT_NEAR(a->GetFloat(), b->GetFloat(), 5e-7);
        }
    }
    EXPECT_GT(exact, 1000);
}
