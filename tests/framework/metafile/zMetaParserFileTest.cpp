#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaObject.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

namespace {

std::string Header(const std::string& body)
{
    return "<ZML=1.0>\n" + body;
}

// A persistent object of one integer, stored as the tag "Counter".
class Counter : public zMetaObject {
public:
    bool FromMetaTag(const zMetaFile*, const zMetaTag* tag) override
    {
        if (tag == nullptr || !(tag->GetName() == "Counter"))
            return false;
        value = tag->GetTag("Value;") != nullptr ? tag->GetTag("Value;")->GetInteger() : -1;
        return true;
    }
    zMetaTag* AsMetaTag(zLinkedListId*) override
    {
        auto* tag = new zMetaTag("Counter");
        tag->CreateInteger("Value", value);
        return tag;
    }

    int32_t value = 0;
};

} // namespace

TEST(MetaParserFile, SavedFilesLoadBack)
{
    TempDir dir;
    zMetaFile document;
    zMetaTag* root = document.AddRootTag(new zMetaTag("Root"));
    root->CreateFloat("F", -1.5f);
    root->CreateString("S", "text");
    const std::string path = dir.Path("saved.zml");
    ASSERT_TRUE(zMetaParser::Save(path.c_str(), &document));
    EXPECT_EQ(dir.Read("saved.zml"), "<ZML=1.0>\n<Root=\n\t<F=-1.500000>\n\t<S=\"text\">\n>\n");

    zMetaFile loaded;
    ASSERT_TRUE(zMetaParser::Load(path.c_str(), &loaded));
    EXPECT_TRUE(loaded.GetFileName() == path.c_str());
    EXPECT_EQ(loaded.GetFloat("Root:F;", 0.0f), -1.5f);

    std::unique_ptr<zMetaFile> fresh(zMetaParser::LoadNew(path.c_str()));
    ASSERT_NE(fresh, nullptr);
    EXPECT_STREQ(fresh->GetString("Root:S;"), "text");
}

TEST(MetaParserFile, FailuresLeaveFilesAndDocumentsAsTheyWere)
{
    TempDir dir;
    const std::string path = dir.Write("kept.zml", Header("<Old=1>\n"));
    zMetaFile unwritable;
    unwritable.AddRootTag(new zMetaTag("F", std::numeric_limits<float>::quiet_NaN()));
    {
        LogCapture log;
        EXPECT_FALSE(zMetaParser::Save(path.c_str(), &unwritable));
        EXPECT_EQ(dir.Read("kept.zml"), Header("<Old=1>\n"));
        EXPECT_FALSE(zMetaParser::Save(nullptr, &unwritable));
    }
    {
        LogCapture log;
        EXPECT_FALSE(zMetaParser::Save(dir.Path("no/such/dir/out.zml").c_str(), &unwritable));
        zMetaFile fine;
        EXPECT_FALSE(zMetaParser::Save(dir.Path("no/such/dir/out.zml").c_str(), &fine));
        EXPECT_TRUE(log.Contains("[!] zMetaParser::Save ("));
        EXPECT_TRUE(log.Contains("Failed to open ML output '" + dir.Path("no/such/dir/out.zml") + "'.\n"));
    }

    zMetaFile document("previous.zml");
    document.AddRootTag(new zMetaTag("Kept", 1));
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {dir.Path("missing.zml"), "Could not access file '"},
        {"", "No filename specified.\n"},
        {dir.Write("empty.zml", ""), "Invalid ZML file '"},
        {dir.Write("cut.zml", Header("<A=<B=1>")), "Mangled definition, metatag 'A'.\n"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        EXPECT_FALSE(zMetaParser::Load(c.path.c_str(), &document)) << c.path;
        EXPECT_TRUE(log.Contains(c.message)) << c.path;
        EXPECT_EQ(document.GetCount(), 1) << c.path;
        EXPECT_TRUE(document.GetFileName() == "previous.zml") << c.path;
        EXPECT_EQ(zMetaParser::LoadNew(c.path.c_str()), nullptr) << c.path;
    }
}

TEST(MetaParserFile, IncludedRootTagsBecomeChildrenAndSeeEarlierTags)
{
    TempDir dir;
    const std::string inner = dir.Write("inner.zml", Header("<Deep=42>\n"));
    const std::string part = dir.Write(
        "part.zml", Header("<P1=1>\n<P2=#append(<Prefix;>, \"-part\")>\n<P3=#include(\"" + inner + "\")>\n"));
    const std::string main = dir.Write(
        "main.zml", Header("<Prefix=\"main\">\n<Holder=<First=0> #include(\"" + part + "\") <Last=9>>\n"));

    zMetaFile document;
    LogCapture log;
    ASSERT_TRUE(zMetaParser::Load(main.c_str(), &document));
    EXPECT_TRUE(log.lines.empty());
    const zMetaTag* holder = document.GetTag("Holder;");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->GetChildCount(), 5);
    EXPECT_EQ(holder->FindChild("ZML"), nullptr);
    EXPECT_EQ(document.GetInt("Holder:P1;", 0), 1);
    EXPECT_STREQ(document.GetString("Holder:P2;"), "main-part");
    EXPECT_EQ(document.GetInt("Holder:P3:Deep;", 0), 42);
    EXPECT_TRUE(holder->GetFirstChild()->GetName() == "First");
    EXPECT_EQ(document.GetInt("Holder:Last;", 0), 9);
}

TEST(MetaParserFile, IncludeCyclesAndRunawayNestingFail)
{
    TempDir dir;
    const std::string self = dir.Path("self.zml");
    dir.Write("self.zml", Header("<A=#include(\"" + self + "\")>\n"));
    const std::string a = dir.Path("a.zml");
    const std::string b = dir.Path("b.zml");
    dir.Write("a.zml", Header("<A=#include(\"" + b + "\")>\n"));
    // The second spelling of a.zml names the same file.
    dir.Write("b.zml", Header("<B=#include(\"" + dir.Path(".//a.zml") + "\")>\n"));

    for (const std::string& path : {self, a}) {
        zMetaFile document("previous.zml");
        LogCapture log;
        EXPECT_FALSE(zMetaParser::Load(path.c_str(), &document)) << path;
        EXPECT_TRUE(log.Contains("Recursive #include of ZML file '")) << path;
        EXPECT_EQ(document.GetCount(), 0) << path;
    }

    // A chain of distinct files deeper than the limit.
    const int32_t files = zMetaParser::MaxIncludeDepth + 3;
    for (int32_t i = 0; i < files; ++i) {
        const std::string next = dir.Path("chain" + std::to_string(i + 1) + ".zml");
        dir.Write("chain" + std::to_string(i) + ".zml",
                  Header(i + 1 < files ? "<L=#include(\"" + next + "\")>\n" : "<End=1>\n"));
    }
    zMetaFile chain;
    LogCapture log;
    EXPECT_FALSE(zMetaParser::Load(dir.Path("chain0.zml").c_str(), &chain));
    EXPECT_TRUE(log.Contains("#include nested deeper than 16 files"));

    zMetaFile shorter;
    LogCapture quiet;
    EXPECT_TRUE(zMetaParser::Load(dir.Path("chain3.zml").c_str(), &shorter));
}

TEST(MetaParserFile, OneLoadStopsAtItsBoundsWhateverTheDepth)
{
    FileSystemGuard guard;
    const std::string data = std::string(TAVRIN_TEST_DATA) + "/metafile";
    struct Case {
        std::string folder;
        const char* file;
        const char* message;
    };
    // Neither load nests deeper than the depth bounds allow; includes are
    // found from the working folder.
    const Case cases[] = {
        {data + "/include_fanout", "f0.zml",
         "#include of ZML file 'f10.zml' in file 'f9.zml' goes past 4096 files in one load.\n"},
        {data, "append_doubling.zml", "#append builds more than 16777216 bytes in one load, metatag 'S20'.\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::current_path(c.folder);
        zMetaFile document("previous.zml");
        document.AddRootTag(new zMetaTag("Kept", 1));
        LogCapture log;
        EXPECT_FALSE(zMetaParser::Load(c.file, &document)) << c.file;
        EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(),
                                [&](const std::string& line) { return line.find(c.message) != std::string::npos; }),
                  1)
            << c.file;
        EXPECT_EQ(document.GetCount(), 1) << c.file;
        EXPECT_TRUE(document.GetFileName() == "previous.zml") << c.file;
    }

    // The same fan-out a few levels from its end stays within the bounds and
    // holds every copy: 4 x 4 x 4 copies of the last file.
    std::filesystem::current_path(data + "/include_fanout");
    zMetaFile shorter;
    LogCapture quiet;
    ASSERT_TRUE(zMetaParser::Load("f8.zml", &shorter));
    int32_t ends = 0;
    for (const zMetaTag* l9 = shorter.GetFirstRootTag()->GetFirstChild(); l9 != nullptr; l9 = l9->GetNextSibling()) {
        for (const zMetaTag* l10 = l9->GetFirstChild(); l10 != nullptr; l10 = l10->GetNextSibling()) {
            for (const zMetaTag* end = l10->GetFirstChild(); end != nullptr; end = end->GetNextSibling())
                ends += end->GetName() == "End" && end->GetInteger() == 1;
        }
    }
    EXPECT_EQ(ends, 64);
    EXPECT_FALSE(quiet.Contains("[!] "));
}

TEST(MetaObject, SavesAndLoadsItsRootTag)
{
    TempDir dir;
    const std::string path = dir.Path("counter.zml");
    Counter out;
    out.value = 17;
    ASSERT_TRUE(out.SaveToFile(path.c_str()));
    Counter in;
    ASSERT_TRUE(in.LoadFromFile(path.c_str()));
    EXPECT_EQ(in.value, 17);

    zLinkedListId list;
    EXPECT_TRUE(out.AppendToList(list));
    EXPECT_EQ(list.GetCount(), 1);

    LogCapture log;
    EXPECT_FALSE(in.LoadFromFile(dir.Path("missing.zml").c_str()));
    zMetaFile empty("empty.zml");
    EXPECT_FALSE(in.FromMetaFile(&empty));
    EXPECT_TRUE(log.Contains("[!] zMetaObject::FromMetaFile ("));
    EXPECT_TRUE(log.Contains("No root tag in 'empty.zml'.\n"));

    // A shortcut as the first root tag stands for its target.
    const std::string text = Header("<First=@\"Real;\">\n<Real=<Value=5>>\n");
    zMetaFile linked;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &linked, "linked.zml"));
    in.value = 0;
    EXPECT_FALSE(in.FromMetaFile(&linked));
    linked.GetTag("Real;")->SetName("Counter");
    linked.GetFirstRootTag()->SetShortcut("Counter;");
    EXPECT_TRUE(in.FromMetaFile(&linked));
    EXPECT_EQ(in.value, 5);
}
