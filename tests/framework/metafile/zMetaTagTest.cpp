#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/tools/zAsciiEncoder.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Root "A" (node) holding "B" (node holding integer "C" = 7), float "F",
// string "S"; root "I" integer -5; root "Link" shortcut to "A:B;".
std::unique_ptr<zMetaFile> SampleDocument()
{
    auto document = std::make_unique<zMetaFile>("sample.zml");
    zMetaTag* a = document->AddRootTag(new zMetaTag("A"));
    a->CreateChild("B")->CreateInteger("C", 7);
    a->CreateFloat("F", 2.5f);
    a->CreateString("S", "text");
    document->AddRootTag(new zMetaTag("I", -5));
    auto* link = new zMetaTag("Link");
    link->SetShortcut("A:B;");
    document->AddRootTag(link);
    return document;
}

std::vector<std::string> Names(const zMetaTag& parent, const zMetaFile* document)
{
    std::vector<std::string> names;
    zLinkedListCursor cursor;
    while (zMetaTag* child = parent.NextChild(cursor, document))
        names.emplace_back(child->GetName().Get() != nullptr ? child->GetName().Get() : "");
    return names;
}

} // namespace

TEST(MetaTag, ConstructorsGiveTheirTypes)
{
    EXPECT_EQ(zMetaTag().GetType(), zMetaTag::TypeUnset);
    EXPECT_EQ(zMetaTag("P").GetType(), zMetaTag::TypePure);
    zMetaTag integer("I", 42);
    EXPECT_EQ(integer.GetType(), zMetaTag::TypeInteger);
    EXPECT_EQ(integer.GetInteger(), 42);
    zMetaTag number("F", 0.25f);
    EXPECT_EQ(number.GetType(), zMetaTag::TypeFloat);
    EXPECT_EQ(number.GetFloat(), 0.25f);
    zMetaTag text("S", "hello");
    EXPECT_EQ(text.GetType(), zMetaTag::TypeString);
    EXPECT_STREQ(text.GetString(), "hello");
    EXPECT_TRUE(text.GetName() == "S");

    zMetaTag flag;
    flag.InitBool("On", true);
    EXPECT_EQ(flag.GetType(), zMetaTag::TypeInteger);
    EXPECT_EQ(flag.GetInteger(), 1);
    flag.InitBool("Off", false);
    EXPECT_EQ(flag.GetInteger(), 0);
    EXPECT_TRUE(flag.GetName() == "Off");
}

TEST(MetaTag, NumbersReadFromIntegerAndFloatTagsAlike)
{
    zMetaTag binary("B");
    const uint8_t bytes[3] = {1, 2, 3};
    binary.SetBinary(bytes, 3, zAsciiEncoder::EncodingUU);
    zMetaTag shortcut("L");
    shortcut.SetShortcut("X;");
    struct Case {
        const zMetaTag* tag;
        int32_t integer;
        float number;
    };
    zMetaTag i("I", -3), f("F", -2.75f), big("G", 3e9f), s("S", "12"), p("P");
    const Case cases[] = {
        {&i, -3, -3.0f}, {&f, -2, -2.75f}, {&big, INT32_MAX, 3e9f}, {&s, -999, -999.0f},
        {&p, -999, -999.0f}, {&binary, -999, -999.0f}, {&shortcut, -999, -999.0f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tag->GetInteger(), c.integer) << c.tag->GetName().Get();
        EXPECT_EQ(c.tag->GetFloat(), c.number) << c.tag->GetName().Get();
    }
}

TEST(MetaTag, OnlyPureTagsAndNodesTakeChildren)
{
    const uint8_t bytes[2] = {9, 8};
    std::vector<std::unique_ptr<zMetaTag>> refusing;
    refusing.push_back(std::make_unique<zMetaTag>("I", 1));
    refusing.push_back(std::make_unique<zMetaTag>("F", 1.0f));
    refusing.push_back(std::make_unique<zMetaTag>("S", "s"));
    refusing.push_back(std::make_unique<zMetaTag>("B"));
    refusing.back()->SetBinary(bytes, 2, zAsciiEncoder::EncodingYEnc);
    refusing.push_back(std::make_unique<zMetaTag>("L"));
    refusing.back()->SetShortcut("I;");
    refusing.push_back(std::make_unique<zMetaTag>());
    for (auto& parent : refusing) {
        const int32_t type = parent->GetType();
        LogCapture log;
        zMetaTag child("C");
        EXPECT_EQ(parent->AddChild(&child), nullptr);
        EXPECT_EQ(parent->GetType(), type);
        EXPECT_EQ(parent->GetChildCount(), 0);
        EXPECT_EQ(child.prev, nullptr);
        EXPECT_EQ(child.next, nullptr);
        EXPECT_TRUE(log.Contains("[!] zMetaTag::AddChild ("));
        EXPECT_TRUE(log.Contains("cannot add child to tag '" + std::string(parent->GetName().Get() ? parent->GetName().Get() : "")
                                 + "' as it is neither a pure tag or a node.\n"));
        EXPECT_EQ(parent->CreateInteger("X", 1), nullptr);
    }

    zMetaTag pure("P");
    zMetaTag* b = pure.CreateChild("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(pure.GetType(), zMetaTag::TypeNode);
    EXPECT_EQ(pure.AddChild(nullptr), nullptr);
    pure.AddChild(new zMetaTag("A"), b, true);
    pure.AddChild(new zMetaTag("C"), b, false);
    pure.CreateString("D", "d");
    EXPECT_EQ(Names(pure, nullptr), (std::vector<std::string>{"A", "B", "C", "D"}));

    // A tag already linked somewhere is refused rather than relinked.
    LogCapture log;
    EXPECT_EQ(pure.AddChild(b), nullptr);
    zMetaTag other("O");
    EXPECT_EQ(other.AddChild(b), nullptr);
    zMetaTag stranger("X");
    zMetaTag e("E");
    EXPECT_EQ(pure.AddChild(&e, &stranger), nullptr);
    EXPECT_EQ(pure.GetChildCount(), 4);
    EXPECT_EQ(other.GetChildCount(), 0);
}

TEST(MetaTag, ChangingAValueFreesTheOldOne)
{
    // Leaks show under the sanitizer build.
    zMetaTag tag("T", "first");
    tag.SetString("second");
    EXPECT_STREQ(tag.GetString(), "second");
    const uint8_t bytes[4] = {1, 2, 3, 4};
    ASSERT_TRUE(tag.SetBinary(bytes, 4, zAsciiEncoder::EncodingYEnc));
    EXPECT_EQ(tag.GetString(), nullptr);
    tag.SetString("third");
    EXPECT_EQ(tag.GetType(), zMetaTag::TypeString);
    EXPECT_EQ(tag.GetEncodedSize(), 0);
    tag.SetShortcut("A;");
    EXPECT_STREQ(tag.GetShortcut(), "A;");
    tag.SetInteger(3);
    EXPECT_EQ(tag.GetShortcut(), nullptr);
    tag.ClearValue();
    EXPECT_EQ(tag.GetType(), zMetaTag::TypeUnset);
}

TEST(MetaTag, BinaryValuesDecodeBackIntoTheRawSize)
{
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 3);
    for (int32_t encoding : {zAsciiEncoder::EncodingUU, zAsciiEncoder::EncodingYEnc}) {
        zMetaTag tag("Data");
        ASSERT_TRUE(tag.SetBinary(data.data(), int32_t(data.size()), encoding));
        EXPECT_EQ(tag.GetType(), zMetaTag::TypeBinary);
        EXPECT_EQ(tag.GetEncoding(), encoding);
        EXPECT_EQ(tag.GetRawSize(), 300);
        std::vector<uint8_t> out(300);
        ASSERT_TRUE(tag.GetBinaryData(out.data(), int32_t(out.size())));
        EXPECT_EQ(out, data);

        LogCapture log;
        EXPECT_FALSE(tag.GetBinaryData(nullptr, 300));
        EXPECT_TRUE(log.Contains("[!] zMetaTag::GetBinaryData ("));
        EXPECT_TRUE(log.Contains("no output buffer to decode binary tag 'Data'.\n"));
    }

    LogCapture log;
    zMetaTag empty("E");
    EXPECT_FALSE(empty.SetBinary(data.data(), 0, zAsciiEncoder::EncodingUU));
    EXPECT_EQ(empty.GetType(), zMetaTag::TypeUnset);
    EXPECT_TRUE(log.Contains("[*] zMetaTag::SetBinary ("));
    EXPECT_TRUE(log.Contains("NULL size ASCII encoded binary tag 'E'.\n"));
    EXPECT_FALSE(empty.SetBinary(nullptr, 10, zAsciiEncoder::EncodingUU));
    EXPECT_FALSE(empty.SetBinary(data.data(), 10, 2));
    EXPECT_EQ(empty.GetType(), zMetaTag::TypeUnset);
}

TEST(MetaTag, ChildrenAreFoundByName)
{
    auto document = SampleDocument();
    const zMetaTag* a = document->GetFirstRootTag();
    static const zString s("S");
    ASSERT_NE(a->FindChild(s), nullptr);
    EXPECT_STREQ(a->FindChild(s)->GetString(), "text");
    EXPECT_EQ(a->FindChild("F")->GetFloat(), 2.5f);
    EXPECT_EQ(a->FindChild("Missing"), nullptr);
    EXPECT_EQ(a->FindChild("C"), nullptr);
}

TEST(MetaTag, PathQueriesFollowTheirSyntax)
{
    auto document = SampleDocument();
    struct Case {
        const char* path;
        const char* found;
        const char* logged;
    };
    const Case cases[] = {
        {"A:B:C;", "C", nullptr},
        {"A:B:C", "C", "[*] zMetaTag::GetTagEx ("},
        {"A:B:C", "C", "incomplete path 'A:B:C' (missing ';').\n"},
        {"::A;", "A", nullptr},
        {"A::B;", "B", nullptr},
        {"A;B;", "A", nullptr},
        {";", nullptr, nullptr},
        {"", nullptr, nullptr},
        {"A:S:X;", nullptr, "'A:S:X;' is deeper than lowest tree node.\n"},
        {"A:Nope;", nullptr, "!! Error 'Nope' in 'A:Nope;' not found.\n"},
        {"A:Nope;", nullptr, "LListID failed to find 'Nope'.\n"},
        {"A:", nullptr, "[!] zMetaTag::GetTagEx ("},
        {"A:", nullptr, "unexpected end of path'A:'.\n"},
        {"Link:C;", "C", nullptr},
        {"Link;", "B", nullptr},
    };
    for (const Case& c : cases) {
        LogCapture log;
        zMetaTag* found = document->GetTag(c.path, true);
        if (c.found == nullptr) {
            EXPECT_EQ(found, nullptr) << c.path;
        } else {
            ASSERT_NE(found, nullptr) << c.path;
            EXPECT_TRUE(found->GetName() == c.found) << c.path;
        }
        if (c.logged != nullptr) {
            EXPECT_TRUE(log.Contains(c.logged)) << c.path;
        }

        LogCapture quiet;
        EXPECT_EQ(document->GetTag(c.path, false), found) << c.path;
        EXPECT_TRUE(quiet.lines.empty()) << c.path;
    }

    // Without a document a shortcut is the tag itself, and the search goes on
    // in the list that holds it.
    zMetaTag* link = zMetaTag::GetTagEx(document.get(), "Link;", nullptr, false);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->GetType(), zMetaTag::TypeShortcut);
    EXPECT_TRUE(zMetaTag::GetTagEx(document.get(), "Link:I;", nullptr, false)->GetName() == "I");
    EXPECT_EQ(document->GetFirstRootTag()->GetTag("B:C;")->GetInteger(), 7);
    EXPECT_EQ(document->GetFirstRootTag()->GetTypedTag("B:C;", zMetaTag::TypeFloat), nullptr);
}

TEST(MetaTag, ShortcutsThatCannotResolveGiveNullAndAnErrorEvenWithoutLogging)
{
    zMetaFile document("loops.zml");
    auto* node = document.AddRootTag(new zMetaTag("N"));
    node->CreateShortcut("Dangling", "Nowhere;");
    // Shortcuts pointing at each other, and one at itself.
    document.AddRootTag(new zMetaTag("X"))->SetShortcut("Y;");
    document.AddRootTag(new zMetaTag("Y"))->SetShortcut("X;");
    document.AddRootTag(new zMetaTag("Self"))->SetShortcut("Self:Deeper;");
    for (const char* path : {"N:Dangling;", "X;", "Y:Z;", "Self;"}) {
        LogCapture log;
        EXPECT_EQ(document.GetTag(path, false), nullptr) << path;
        EXPECT_TRUE(log.Contains("[!] zMetaTag::GetTagEx (")) << path;
        EXPECT_TRUE(log.Contains("failed runtime ZML shortcut resolution '")) << path;
    }
}

TEST(MetaTag, OneQueryResolvesABoundedNumberOfShortcuts)
{
    zMetaFile document("steps.zml");
    document.AddRootTag(new zMetaTag("N"))->CreateShortcut("s", "N;");
    auto path = [](int32_t hops) {
        std::string text = "N";
        for (int32_t i = 0; i < hops; ++i)
            text += ":s";
        return text + ";";
    };
    EXPECT_TRUE(document.GetTag(path(zMetaTag::MaxShortcutSteps).c_str())->GetName() == "N");
    LogCapture log;
    EXPECT_EQ(document.GetTag(path(zMetaTag::MaxShortcutSteps + 1).c_str()), nullptr);
    EXPECT_TRUE(log.Contains("failed runtime ZML shortcut resolution 'N;'.\n"));
}

TEST(MetaTag, IteratorsResolveShortcutsAndSkipDanglingOnes)
{
    zMetaFile document("iterate.zml");
    document.AddRootTag(new zMetaTag("Target", 5));
    auto* parent = document.AddRootTag(new zMetaTag("Parent"));
    parent->CreateInteger("First", 1);
    parent->CreateShortcut("Gone", "Missing;");
    parent->CreateShortcut("ToTarget", "Target;");
    parent->CreateInteger("Last", 3);
    document.AddRootTag(new zMetaTag("RootGone"))->SetShortcut("Missing;");
    document.AddRootTag(new zMetaTag("RootLink"))->SetShortcut("Parent:Last;");

    EXPECT_EQ(Names(*parent, nullptr), (std::vector<std::string>{"First", "Gone", "ToTarget", "Last"}));
    {
        LogCapture log;
        EXPECT_EQ(Names(*parent, &document), (std::vector<std::string>{"First", "Target", "Last"}));
        EXPECT_TRUE(log.Contains("[*] zMetaTag::NextChild ("));
        EXPECT_TRUE(log.Contains("'Gone'"));
    }
    {
        LogCapture log;
        std::vector<std::string> roots;
        zLinkedListCursor cursor;
        while (zMetaTag* tag = document.NextRootTag(cursor, true))
            roots.emplace_back(tag->GetName().Get());
        EXPECT_EQ(roots, (std::vector<std::string>{"Target", "Parent", "Last"}));
        EXPECT_TRUE(log.Contains("[*] zMetaFile::NextRootTag ("));
    }
    std::vector<std::string> raw;
    zLinkedListCursor cursor;
    while (zMetaTag* tag = document.NextRootTag(cursor, false))
        raw.emplace_back(tag->GetName().Get());
    EXPECT_EQ(raw.size(), 4u);
}

TEST(MetaFile, TypedLookupsKeepTheirDefaults)
{
    auto document = SampleDocument();
    EXPECT_EQ(document->GetInt("A:B:C;", 0), 7);
    EXPECT_EQ(document->GetInt("A:F;", 11), 11);
    EXPECT_EQ(document->GetInt("Link:C;", 0), 7);
    EXPECT_TRUE(document->GetBool("I;", false));
    EXPECT_TRUE(document->GetBool("Missing;", true));
    EXPECT_FALSE(document->GetBool("A:S;", false));
    EXPECT_EQ(document->GetFloat("A:F;", 0.0f), 2.5f);
    EXPECT_EQ(document->GetFloat("I;", 0.0f), -5.0f);
    EXPECT_EQ(document->GetFloat("A:S;", 1.5f), 1.5f);
    EXPECT_STREQ(document->GetString("A:S;"), "text");
    EXPECT_STREQ(document->GetString("I;", "none"), "none");
    EXPECT_NE(document->GetTypedTag("A:B;", zMetaTag::TypeNode), nullptr);
    EXPECT_EQ(document->GetTypedTag("A:B;", zMetaTag::TypePure), nullptr);
}
