#include "ResourceTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A ZML file holding one triangle with one material.
std::string TriangleFile()
{
    return "<ZML=1>\n"
           "<Geometry=<Materials=<Material=<Id=\"m\">>>"
           "<AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>><V=<X=0><Y=1><Z=0>>>>"
           "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>>\n";
}

std::vector<std::string> missingPaths;
const char* missingReplacement = nullptr;
std::vector<zGeometry*> loadedGeometries;
std::vector<std::string> progressSteps;

void RecordMissing(zString& path)
{
    missingPaths.emplace_back(path.Get() != nullptr ? path.Get() : "");
    if (missingReplacement != nullptr)
        path = missingReplacement;
}

void RecordLoaded(zGeometry* geometry)
{
    loadedGeometries.push_back(geometry);
}

void RecordProgress(const char* step)
{
    progressSteps.emplace_back(step);
}

class GeometryLoaderTest : public ::testing::Test {
protected:
    GeometryLoaderTest() : renderer(&core, true)
    {
        missingPaths.clear();
        missingReplacement = nullptr;
        loadedGeometries.clear();
        progressSteps.clear();
        GlobalGeometryLoadedHook = RecordLoaded;
    }

    ResourceFiles files;
    Tavrin core;
    ResourceRecordingRenderer renderer;
};

TEST_F(GeometryLoaderTest, ASecondLoadOfTheSamePathReturnsTheCachedGeometryWithoutTouchingTheFile)
{
    files.Write("mesh/tri.zml", TriangleFile());
    zGeometry* geometry = core.LoadGeometry("mesh/tri.zml", true, true);
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(geometry->id, "mesh/tri.zml");
    EXPECT_EQ(geometry->path, "mesh/tri.zml");
    EXPECT_EQ(geometry->vertexCount, 3u);
    EXPECT_EQ(geometry->polygonCount, 1u);
    EXPECT_EQ(loadedGeometries, std::vector<zGeometry*>{geometry});
    // Geometries wait for SetupResources.
    EXPECT_TRUE(renderer.geometrySetups.empty());

    std::filesystem::remove(files.dir.Path("mesh/tri.zml"));
    EXPECT_EQ(core.LoadGeometry("mesh/tri.zml", true, true), geometry);
    EXPECT_EQ(core.GetGeometries().GetCount(), 1);
    EXPECT_EQ(loadedGeometries.size(), 1u);
}

TEST_F(GeometryLoaderTest, AChainOfProxiesEndsAtItsNestingLimit)
{
    // Each file names the next as its level-of-detail proxy: loading the
    // first would otherwise recurse once per file.
    constexpr int count = 70;
    std::string triangle = TriangleFile();
    for (int i = 0; i < count; ++i) {
        std::string text = triangle;
        text.insert(text.rfind(">"), "<LodProxy=\"p" + std::to_string(i + 1) + ".zml\">");
        files.Write("p" + std::to_string(i) + ".zml", text);
    }
    LogCapture capture;
    zGeometry* first = core.LoadGeometry("p0.zml", true, true);
    ASSERT_NE(first, nullptr);
    int chain = 0;
    for (zGeometry* g = first; g != nullptr; g = g->lodProxy) {
        EXPECT_EQ(g->vertexCount, 3u) << g->id.Get();
        ++chain;
    }
    EXPECT_EQ(chain, 65);
    EXPECT_TRUE(capture.Contains("Proxy 'p65.zml' of geometry 'p64.zml' is nested more than 64 proxies deep, not "
                                 "loaded."));
    EXPECT_EQ(core.GetGeometries().GetCount(), 65);
}

TEST_F(GeometryLoaderTest, BypassingTheCacheSaysSoAndAddsASecondEntryUnlessNotKept)
{
    files.Write("tri.zml", TriangleFile());
    zGeometry* cached = core.LoadGeometry("tri.zml", true, true);
    LogCapture capture;
    zGeometry* second = core.LoadGeometry("tri.zml", false, true);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, cached);
    EXPECT_TRUE(capture.Contains("Ignoring geometry cache for 'tri.zml'."));
    EXPECT_EQ(second->id, "tri.zml");
    EXPECT_EQ(core.GetGeometries().GetCount(), 2);

    zGeometry* owned = core.LoadGeometry("tri.zml", false, false);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->vertexCount, 3u);
    EXPECT_FALSE(core.GetGeometries().Contains(owned));
    delete owned;
    EXPECT_EQ(core.GetGeometries().GetCount(), 2);
}

TEST_F(GeometryLoaderTest, AMissingFileLeavesAnEmptyCachedGeometryAndTellsTheHookOncePerName)
{
    SetResourceMissingHook(RecordMissing);
    LogCapture capture;
    zGeometry* geometry = core.LoadGeometry("gone.zml", true, true);
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(geometry->id, "gone.zml");
    EXPECT_EQ(geometry->vertexCount, 0u);
    EXPECT_TRUE(geometry->path.IsEmpty());
    EXPECT_TRUE(capture.Contains("Failed to locate 'gone.zml', could not load geometry."));
    EXPECT_EQ(core.LoadGeometry("gone.zml", true, true), geometry);
    EXPECT_TRUE(loadedGeometries.empty());

    // The one application hook serves all three kinds, once per missing name each.
    core.LoadTexture("gone.tga", true, true, 0.5f, false);
    core.LoadTexture("gone.tga", true, true, 0.5f, false);
    core.LoadSound("gone.wav");
    core.LoadSound("gone.wav");
    EXPECT_EQ(missingPaths, (std::vector<std::string>{"gone.zml", "gone.tga", "gone.wav"}));
}

TEST_F(GeometryLoaderTest, AHookThatNamesAnotherFileLoadsItUnderThatNameWithoutItsSearchPath)
{
    files.Write("fallback/missing.zml", TriangleFile());
    GlobalSearchPathList.Add(zString("fallback"));
    GlobalGeometryMissingHook = RecordMissing;
    missingReplacement = "fallback/missing.zml";
    zGeometry* first = core.LoadGeometry("a.zml", true, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, "/missing.zml");
    EXPECT_EQ(first->path, "fallback/missing.zml");
    EXPECT_EQ(first->vertexCount, 3u);
    EXPECT_EQ(core.LoadGeometry("b.zml", true, true), first);
    EXPECT_EQ(missingPaths, (std::vector<std::string>{"a.zml", "b.zml"}));
}

TEST_F(GeometryLoaderTest, UnreadableFilesLeaveAnEmptyCachedGeometryWithAWarning)
{
    struct Case {
        const char* path;
        std::string bytes;
    };
    const std::string good = TriangleFile();
    std::string badIndex = good;
    badIndex.replace(badIndex.find("<Index=2>"), 9, "<Index=7>");
    const Case cases[] = {
        {"garbage.zml", "not zml at all"},
        {"empty.zml", ""},
        {"truncated.zml", good.substr(0, good.size() / 2)},
        {"other.zml", "<ZML=1>\n<Texture=<Id=\"x\">>\n"},
        {"noroot.zml", "<ZML=1>\n"},
        {"badindex.zml", badIndex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        files.Write(c.path, c.bytes);
        LogCapture capture;
        zGeometry* geometry = core.LoadGeometry(c.path, true, true);
        ASSERT_NE(geometry, nullptr);
        EXPECT_EQ(geometry->vertexCount, 0u);
        EXPECT_EQ(geometry->polygonCount, 0u);
        EXPECT_EQ(geometry->path, c.path);
        EXPECT_TRUE(core.GetGeometries().Contains(geometry));
        EXPECT_TRUE(capture.Contains(std::string("Failed to load geometry from '") + c.path + "'."));
    }
    EXPECT_TRUE(loadedGeometries.empty());
}

TEST_F(GeometryLoaderTest, SetupResourcesGoesTexturesThenGeometriesThenSounds)
{
    files.Write("tri.zml", TriangleFile());
    GlobalResourceAutoSetup = 0;
    zGeometry* geometry = core.LoadGeometry("tri.zml", true, true);
    core.LoadGeometry("gone.zml", true, true);
    core.LoadSound("gone.wav");
    core.LoadTexture("gone.tga", true, true, 0.5f, false);
    GlobalSetupProgressHook = RecordProgress;
    core.SetupResources();
    EXPECT_EQ(progressSteps, (std::vector<std::string>{"Texture Setup", "Geometry Setup", "Geometry Setup",
                                                       "Sound Setup"}));
    // An empty geometry never reaches the renderer.
    EXPECT_EQ(renderer.geometrySetups, std::vector<zGeometry*>{geometry});
}

TEST_F(GeometryLoaderTest, DeletingAllResourcesDeletesEveryGeometry)
{
    files.Write("tri.zml", TriangleFile());
    zGeometry* geometry = core.LoadGeometry("tri.zml", true, true);
    core.LoadGeometry("gone.zml", true, true);
    core.SetupResources();
    ASSERT_EQ(renderer.geometrySetups, std::vector<zGeometry*>{geometry});
    core.DeleteAllResources();
    EXPECT_EQ(core.GetGeometries().GetCount(), 0);
    EXPECT_EQ(renderer.geometryFrees, std::vector<zGeometry*>{geometry});
}

TEST_F(GeometryLoaderTest, ANullPathIsRefused)
{
    LogCapture capture;
    EXPECT_EQ(core.LoadGeometry(nullptr, true, true), nullptr);
    EXPECT_TRUE(capture.Contains("Tavrin::LoadGeometry"));
    EXPECT_EQ(core.GetGeometries().GetCount(), 0);
}

} // namespace
