#include "ResourceTestSupport.h"
#include "support/LogCapture.h"

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> missingPaths;
const char* missingReplacement = nullptr;
int contentHookCalls = 0;

void RecordMissing(zString& path)
{
    missingPaths.emplace_back(path.Get() != nullptr ? path.Get() : "");
    if (missingReplacement != nullptr)
        path = missingReplacement;
}

void CountContent(zTexture*)
{
    ++contentHookCalls;
}

class TextureLoaderTest : public ::testing::Test {
protected:
    TextureLoaderTest() : renderer(&core, true)
    {
        missingPaths.clear();
        missingReplacement = nullptr;
        contentHookCalls = 0;
    }

    ResourceFiles files;
    Tavrin core;
    ResourceRecordingRenderer renderer;
};

TEST_F(TextureLoaderTest, ASecondLoadOfTheSamePathReturnsTheCachedTextureWithoutTouchingTheFile)
{
    files.Write("pic.tga", MakeTga(2, 3));
    zTexture* texture = core.LoadTexture("pic.tga", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->id, "pic.tga");
    EXPECT_EQ(texture->path, "pic.tga");
    EXPECT_EQ(texture->picture.width, 2);
    EXPECT_EQ(texture->picture.height, 3);
    EXPECT_EQ(texture->mode, 0);

    std::filesystem::remove(files.dir.Path("pic.tga"));
    EXPECT_EQ(core.LoadTexture("pic.tga", true, true, 0.5f, false), texture);
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
}

TEST_F(TextureLoaderTest, ATextureFoundThroughASearchPathIsCachedUnderItsNameAndFoundByItsPathToo)
{
    files.Write("maps/pic.tga", MakeTga(1, 1));
    GlobalSearchPathList.Add(zString("maps"));
    zTexture* texture = core.LoadTexture("pic.tga", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->id, "pic.tga");
    EXPECT_EQ(texture->path, "maps/pic.tga");
    EXPECT_FALSE(zTexture::IsPathEqualToName(texture));
    EXPECT_EQ(core.LoadTexture("maps/pic.tga", true, true, 0.5f, false), texture);
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
}

TEST_F(TextureLoaderTest, BypassingTheCacheAddsASecondEntryAndNotKeepingItLeavesTheCallerTheOwner)
{
    files.Write("pic.tga", MakeTga(1, 1));
    zTexture* cached = core.LoadTexture("pic.tga", true, true, 0.5f, false);
    zTexture* second = core.LoadTexture("pic.tga", false, true, 0.5f, false);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, cached);
    EXPECT_EQ(second->id, "pic.tga");
    EXPECT_EQ(core.GetTextures().GetCount(), 2);

    zTexture* owned = core.LoadTexture("pic.tga", false, false, 0.5f, false);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->picture.width, 1);
    EXPECT_FALSE(core.GetTextures().Contains(owned));
    delete owned;
    EXPECT_EQ(core.GetTextures().GetCount(), 2);
}

struct SideFileCase {
    const char* name;
    const char* picture;
    const char* sideFile;   // null: none
    const char* sideText;
    float callerPriority;
    float expected;
    bool corrupt = false;
};

void PrintTo(const SideFileCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextureSideFileTest : public TextureLoaderTest, public ::testing::WithParamInterface<SideFileCase> {};

TEST_P(TextureSideFileTest, PriorityComesFromTheSideFileUnlessTheCallerGivesOtherThanOneHalf)
{
    const SideFileCase& c = GetParam();
    files.Write(c.picture, MakeTga(1, 1));
    if (c.sideFile != nullptr)
        files.Write(c.sideFile, c.sideText);
    LogCapture capture;
    zTexture* texture = core.LoadTexture(c.picture, true, true, c.callerPriority, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_FLOAT_EQ(texture->priority, c.expected);
    EXPECT_EQ(texture->picture.width, 1) << "the picture loads whatever the side file holds";
    const bool read = c.sideFile != nullptr && c.expected != 0.5f && c.callerPriority == 0.5f;
    if (read) {
        EXPECT_TRUE(capture.Contains(std::string("Loading texture '") + c.picture + "' engine attributes."));
    }
    EXPECT_EQ(capture.Contains("Ignoring unreadable engine attributes"), c.corrupt);
}

const SideFileCase sideFileCases[] = {
    {"NoSideFile", "pic.tga", nullptr, "", 0.5f, 0.5f},
    {"IntegerPriority", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=2>\n", 0.5f, 2.0f},
    {"FloatPriority", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=0.25>\n", 0.5f, 0.25f},
    {"StringPriority", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=\"high\">\n", 0.5f, -999.0f},
    {"LaterTagWins", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=2>\n<Other=7>\n<Priority=3>\n", 0.5f, 3.0f},
    {"NameIsCaseSensitive", "pic.tga", "pic.zmd", "<ZML=1>\n<priority=2>\n", 0.5f, 0.5f},
    {"CallerOverridesSideFile", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=2>\n", 0.75f, 0.75f},
    {"CallerOverridesStringPriority", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=\"x\">\n", 0.75f, 0.75f},
    {"PathWithoutExtension", "pic", "pic.zmd", "<ZML=1>\n<Priority=2>\n", 0.5f, 2.0f},
    {"OnlyTheLastExtensionIsReplaced", "pic.v2.tga", "pic.v2.zmd", "<ZML=1>\n<Priority=4>\n", 0.5f, 4.0f},
    {"DotInDirectoryIsNoExtension", "set.d/pic", "set.d/pic.zmd", "<ZML=1>\n<Priority=2>\n", 0.5f, 2.0f},
    {"CorruptSideFileIsIgnored", "pic.tga", "pic.zmd", "<ZML=1>\n<Priority=2\n", 0.5f, 0.5f, true},
    {"BinaryGarbageSideFileIsIgnored", "pic.tga", "pic.zmd", "\xff<Priority=2>\n", 0.5f, 0.5f, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, TextureSideFileTest, ::testing::ValuesIn(sideFileCases),
                         [](const ::testing::TestParamInfo<SideFileCase>& info) { return info.param.name; });

TEST_F(TextureLoaderTest, ADirectoryNamedLikeTheSideFileOfADotlessPathIsNotUsed)
{
    // With the extension cut at the directory's dot the side file would be "set.zmd".
    files.Write("set.d/pic", MakeTga(1, 1));
    files.Write("set.zmd", "<ZML=1>\n<Priority=9>\n");
    zTexture* texture = core.LoadTexture("set.d/pic", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_FLOAT_EQ(texture->priority, 0.5f);
}

TEST_F(TextureLoaderTest, AMissingFileLeavesAnEmptyCachedTextureAndTellsTheHookOncePerName)
{
    GlobalTextureMissingHook = RecordMissing;
    LogCapture capture;
    zTexture* texture = core.LoadTexture("gone.tga", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->id, "gone.tga");
    EXPECT_FALSE(texture->picture.HasBuffer());
    EXPECT_TRUE(core.GetTextures().Contains(texture));
    EXPECT_TRUE(capture.Contains("Failed to locate 'gone.tga', could not set texture content."));
    EXPECT_EQ(core.LoadTexture("gone.tga", true, true, 0.5f, false), texture);
    EXPECT_EQ(missingPaths, std::vector<std::string>{"gone.tga"});
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
}

TEST_F(TextureLoaderTest, AMissingFileWithoutAHookStillGivesAnEmptyTexture)
{
    zTexture* texture = core.LoadTexture("gone.tga", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(texture->path.IsEmpty());
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
}

TEST_F(TextureLoaderTest, AHookThatNamesAnotherFileLoadsItUnderThatNameWithoutItsSearchPath)
{
    files.Write("fallback/missing.tga", MakeTga(4, 4));
    GlobalSearchPathList.Add(zString("fallback"));
    GlobalTextureMissingHook = RecordMissing;
    missingReplacement = "fallback/missing.tga";

    zTexture* first = core.LoadTexture("a.tga", true, true, 0.5f, false);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, "/missing.tga");
    EXPECT_EQ(first->path, "fallback/missing.tga");
    EXPECT_EQ(first->picture.width, 4);
    // Another missing name that the hook maps to the same file finds it by name.
    EXPECT_EQ(core.LoadTexture("b.tga", true, true, 0.5f, false), first);
    EXPECT_EQ(missingPaths, (std::vector<std::string>{"a.tga", "b.tga"}));
    EXPECT_EQ(core.GetTextures().GetCount(), 1);
}

TEST_F(TextureLoaderTest, UnreadablePicturesAskTheRendererAndStayCachedEmptyWhenItCannotHelp)
{
    struct Case {
        const char* path;
        std::string bytes;
    };
    const std::string tga = MakeTga(2, 2);
    const Case cases[] = {
        {"garbage.tga", "not a picture at all"},
        {"truncated.tga", tga.substr(0, tga.size() / 2)},
        {"empty.tga", ""},
        // Only "mpg" in lower case opens a video stream; the picture loader never sees it.
        {"clip.mpg", tga},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        files.Write(c.path, c.bytes);
        LogCapture capture;
        const size_t requests = renderer.contentRequests.size();
        zTexture* texture = core.LoadTexture(c.path, true, true, 0.5f, false);
        ASSERT_NE(texture, nullptr);
        EXPECT_FALSE(texture->picture.HasBuffer());
        EXPECT_EQ(texture->path, c.path);
        EXPECT_TRUE(core.GetTextures().Contains(texture));
        ASSERT_EQ(renderer.contentRequests.size(), requests + 1);
        EXPECT_EQ(renderer.contentRequests.back(), texture);
        EXPECT_TRUE(capture.Contains(std::string("Failed to set texture content from '") + c.path + "'."));
    }
}

TEST_F(TextureLoaderTest, AnUpperCaseMpgExtensionLoadsAsAPicture)
{
    files.Write("clip.MPG", MakeTga(3, 1));
    zTexture* texture = core.LoadTexture("clip.MPG", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->picture.width, 3);
    EXPECT_TRUE(renderer.contentRequests.empty());
}

TEST_F(TextureLoaderTest, TheRendererMaySupplyContentThePictureLoaderCannot)
{
    files.Write("special.dds", "DDS ");
    renderer.answersContent = true;
    GlobalTextureContentHook = CountContent;
    zTexture* texture = core.LoadTexture("special.dds", true, true, 0.5f, false);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(renderer.contentPaths.size(), 1u);
    EXPECT_EQ(renderer.contentPaths[0], "special.dds");
    EXPECT_EQ(contentHookCalls, 1);
}

TEST_F(TextureLoaderTest, SetTextureContentRefusesNullsAndMissingFilesLeavingTheTextureAsItWas)
{
    files.Write("pic.tga", MakeTga(2, 2));
    zTexture* texture = core.LoadTexture("pic.tga", true, true, 0.5f, false);
    GlobalTextureContentHook = CountContent;
    LogCapture capture;
    EXPECT_FALSE(core.SetTextureContent(nullptr, "pic.tga"));
    EXPECT_FALSE(core.SetTextureContent(texture, nullptr));
    EXPECT_TRUE(capture.Contains("No texture or path to set texture content."));
    EXPECT_FALSE(core.SetTextureContent(texture, "other.tga"));
    EXPECT_TRUE(capture.Contains("Failed to locate 'other.tga', could not set texture content."));
    EXPECT_EQ(texture->path, "pic.tga");
    EXPECT_EQ(texture->picture.width, 2);
    EXPECT_EQ(contentHookCalls, 0);

    files.Write("wide.tga", MakeTga(5, 1));
    EXPECT_TRUE(core.SetTextureContent(texture, "wide.tga"));
    EXPECT_EQ(texture->path, "wide.tga");
    EXPECT_EQ(texture->picture.width, 5);
    EXPECT_EQ(contentHookCalls, 1);
}

TEST_F(TextureLoaderTest, AutoSetupSetsTexturesUpAsTheyLoadUnlessSkippedOrSwitchedOff)
{
    files.Write("a.tga", MakeTga(1, 1));
    files.Write("b.tga", MakeTga(1, 1));
    zTexture* a = core.LoadTexture("a.tga", true, true, 0.5f, false);
    EXPECT_EQ(renderer.CountSetups(a), 1);
    core.LoadTexture("a.tga", true, true, 0.5f, false);
    EXPECT_EQ(renderer.CountSetups(a), 2) << "a cache hit is set up again";
    core.LoadTexture("a.tga", true, true, 0.5f, true);
    EXPECT_EQ(renderer.CountSetups(a), 2);

    GlobalResourceAutoSetup = 0;
    zTexture* b = core.LoadTexture("b.tga", true, true, 0.5f, false);
    EXPECT_EQ(renderer.CountSetups(b), 0);
    core.SetupResources();
    EXPECT_EQ(renderer.CountSetups(a), 3);
    EXPECT_EQ(renderer.CountSetups(b), 1);
}

TEST_F(TextureLoaderTest, DeletingAllResourcesFreesEveryTextureOnTheRenderer)
{
    files.Write("a.tga", MakeTga(1, 1));
    zTexture* a = core.LoadTexture("a.tga", true, true, 0.5f, false);
    zTexture* missing = core.LoadTexture("missing.tga", true, true, 0.5f, false);
    core.DeleteAllResources();
    EXPECT_EQ(core.GetTextures().GetCount(), 0);
    EXPECT_EQ(renderer.frees, (std::vector<zTexture*>{a, missing}));
}

TEST_F(TextureLoaderTest, ANullPathIsRefusedAndAnEmptyOneMatchesNoTextureWithoutAPath)
{
    LogCapture capture;
    EXPECT_EQ(core.LoadTexture(nullptr, true, true, 0.5f, false), nullptr);
    EXPECT_TRUE(capture.Contains("Tavrin::LoadTexture"));
    EXPECT_EQ(core.GetTextures().GetCount(), 0);

    zTexture* missing = core.LoadTexture("missing.tga", true, true, 0.5f, false);
    ASSERT_TRUE(missing->path.IsEmpty());
    EXPECT_NE(core.LoadTexture("", true, true, 0.5f, false), missing);
}

} // namespace
