#include "SceneTestSupport.h"

#include "framework/metafile/zMetaTag.h"
#include "physic/dynamics/TauConstraint.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string DataFile(const std::string& name)
{
    std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/scenes/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneFile : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        dir.Write("cube.zml", DataFile("cube.zml"));
        dir.Write("world.zml", DataFile("world.zml"));
        dir.Write("house.zml", DataFile("house.zml"));
    }

    // The scene written as ZML text.
    std::string Written(zScene& from, int32_t flags = zScene::LoadAll, const zGroup* filter = nullptr)
    {
        zMetaFile document("out.zml");
        document.AddRootTag(from.AsMetaTag(&document, filter, flags));
        std::string text;
        zMetaParser::SaveText(&document, text);
        // Without the layout, so that tests can look for tag sequences.
        text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\t'; }), text.end());
        return text;
    }

    std::string Problems(size_t from = 0) const
    {
        std::string out;
        for (const std::string& line : Lines()) {
            if (from-- > 0)
                continue;
            if (line.rfind("[!] ", 0) == 0 || line.rfind("[*] ", 0) == 0)
                out += line + "\n";
        }
        return out;
    }
};

std::string NameOf(const zMItem* item)
{
    return item != nullptr && item->GetName().Get() != nullptr ? item->GetName().Get() : "(none)";
}

TEST_F(SceneFile, ReadsEveryPartOfTheWorld)
{
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    EXPECT_EQ(Problems(), "");
    EXPECT_EQ(scene->cameras.GetCount(), 2);
    EXPECT_EQ(scene->objects.GetCount(), 2);
    EXPECT_EQ(scene->lights.GetCount(), 2);
    EXPECT_EQ(scene->triggers.GetCount(), 1);
    EXPECT_EQ(scene->nextUid, 7);
    for (int uid = 0; uid < 7; ++uid)
        EXPECT_NE(scene->FindFromUid(uid), nullptr) << uid;

    zMItem* lid = scene->Find("lid");
    zMItem* cube = scene->Find("cube");
    ASSERT_NE(lid, nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(lid->GetCoreItem()->link, cube->GetCoreItem());
    EXPECT_EQ(scene->Find("gate")->GetCoreItem()->link, scene->Find("eye")->GetCoreItem());
    // World matrices are computed at the end of the read: the lid sits on the cube.
    EXPECT_FLOAT_EQ(lid->GetCoreItem()->worldMatrix.m[7], 1.6f);

    zGroup* box = scene->FindGroup("box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetItemCount(), 2);
    EXPECT_EQ(scene->FindGroup("lights")->GetItemCount(), 2);
    ASSERT_EQ(scene->physics.constraints.GetCount(), 1);
    TauConstraint* hold = static_cast<TauConstraint*>(scene->physics.constraints.GetFirst());
    EXPECT_EQ(hold->anchor, &cube->body);
    EXPECT_EQ(hold->target, &lid->body);
    EXPECT_EQ(scene->aiWorld.GetPathCount(), 1);

    EXPECT_FLOAT_EQ(scene->backgroundColor.g, 0.2f);
    EXPECT_FLOAT_EQ(scene->ambientIntensity, 0.5f);
    EXPECT_FLOAT_EQ(scene->targetExposure, 0.4f);
    EXPECT_FLOAT_EQ(scene->visualisationScale, 2.0f);
    EXPECT_FLOAT_EQ(scene->fogFar, 100.0f);
    EXPECT_FLOAT_EQ(scene->physics.Frequency, 60.0f);
    EXPECT_EQ(scene->collision.GetSAPCapacity(), 128u);
    EXPECT_EQ(scene->currentCamera, &scene->FindCamera("spare")->camera);
    EXPECT_EQ(scene->scenePath, "world.zml");
}

TEST_F(SceneFile, WriteReadWriteGivesTheSameFile)
{
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    // Motions read their channels to the head of a list and write them in
    // list order, so a path's channels swap at every pass: compare two
    // passes apart.
    std::vector<std::string> passes{Written(*scene)};
    for (int pass = 0; pass < 2; ++pass) {
        dir.Write("again.zml", passes.back());
        zScene copy(&core, &master);
        ASSERT_TRUE(copy.FromMetaFileStoreGroup("again.zml", nullptr, zScene::LoadAll, 0));
        passes.push_back(Written(copy));
    }
    EXPECT_EQ(Problems(), "");
    EXPECT_EQ(passes[2], passes[0]);
    EXPECT_EQ(passes[1].size(), passes[0].size());
    EXPECT_NE(passes[0].find("<VisualisationScale=2.000000>"), std::string::npos);
    EXPECT_NE(passes[0].find("<CurrentCamera=\"spare\">"), std::string::npos);
    EXPECT_NE(passes[0].find("<Link=<Item=3><Link=2>>"), std::string::npos);
    EXPECT_NE(passes[0].find("<Group=<Id=\"box\"><Item=2><Item=3>>"), std::string::npos);
}

TEST_F(SceneFile, ScaleOfOneIsNotWrittenAndResetsOnRead)
{
    ASSERT_TRUE(ReadScene("scaled.zml", SceneText("", " <Globals=<VisualisationScale=3>>\n")));
    EXPECT_FLOAT_EQ(scene->visualisationScale, 3.0f);
    ASSERT_TRUE(ReadScene("plain.zml", SceneText("", " <Globals=<FogNear=2>>\n")));
    EXPECT_FLOAT_EQ(scene->visualisationScale, 1.0f);
    EXPECT_EQ(Written(*scene).find("VisualisationScale"), std::string::npos);
}

TEST_F(SceneFile, ReadingTwiceGivesTwoConsistentSets)
{
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    EXPECT_EQ(scene->nextUid, 14);
    ASSERT_EQ(scene->objects.GetCount(), 4);
    // The second lid (UID 3 + 7) hangs under the second cube (UID 2 + 7).
    zMItem* lid = scene->FindFromUid(10);
    zMItem* cube = scene->FindFromUid(9);
    ASSERT_NE(lid, nullptr);
    EXPECT_EQ(NameOf(lid), "lid");
    EXPECT_EQ(lid->GetCoreItem()->link, cube->GetCoreItem());
    EXPECT_EQ(scene->physics.constraints.GetCount(), 2);
    TauConstraint* second = static_cast<TauConstraint*>(scene->physics.constraints.GetLast());
    EXPECT_TRUE((second->anchor == &cube->body && second->target == &lid->body) ||
                (second->anchor == &scene->FindFromUid(2)->body));
}

TEST_F(SceneFile, UidsAreOffsetByTheScenesNextUid)
{
    scene->AddCamera("first");
    ASSERT_TRUE(ReadScene("sparse.zml", SceneText(ItemTag("Trigger", "a", 0) + ItemTag("Trigger", "b", 5) +
                                                  ItemTag("Trigger", "c", 7))));
    EXPECT_EQ(NameOf(scene->FindFromUid(1)), "a");
    EXPECT_EQ(NameOf(scene->FindFromUid(6)), "b");
    EXPECT_EQ(NameOf(scene->FindFromUid(8)), "c");
    EXPECT_EQ(scene->nextUid, 9);
}

struct MaskCase {
    const char* name;
    int32_t flags;
    int cameras, objects, lights, triggers;
    size_t maskedLinks;
};

void PrintTo(const MaskCase& c, std::ostream* out)
{
    *out << c.name;
}

class SceneFileFlags : public SceneFile, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(SceneFileFlags, ReadsOnlyTheKindsAskedFor)
{
    const MaskCase& c = GetParam();
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, c.flags, 0));
    EXPECT_EQ(scene->cameras.GetCount(), c.cameras);
    EXPECT_EQ(scene->objects.GetCount(), c.objects);
    EXPECT_EQ(scene->lights.GetCount(), c.lights);
    EXPECT_EQ(scene->triggers.GetCount(), c.triggers);
    EXPECT_EQ(Count("Link item masked out during import."), c.maskedLinks);
}

INSTANTIATE_TEST_SUITE_P(Flags, SceneFileFlags,
                         ::testing::Values(MaskCase{"CamerasOnly", zScene::LoadCamera, 2, 0, 0, 0, 2},
                                           MaskCase{"ObjectsOnly", zScene::LoadObject, 0, 2, 0, 0, 1},
                                           MaskCase{"CamerasAndTriggers", zScene::LoadCamera | zScene::LoadTrigger, 2,
                                                    0, 0, 1, 1},
                                           MaskCase{"All", zScene::LoadAll, 2, 2, 2, 1, 0}),
                         [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

TEST_F(SceneFile, ToolSpecificItemsAreSkippedAndTheirLinksMasked)
{
    ASSERT_TRUE(ReadScene("tool.zml", SceneText(ItemTag("MObject", "kept", 0) +
                                                ItemTag("MObject", "helper", 1, "<ToolSpecific>"),
                                                " <Links=<Link=<Item=0><Link=1>>>\n")));
    EXPECT_EQ(scene->objects.GetCount(), 1);
    EXPECT_EQ(Count("Link item masked out during import."), 1u);
}

TEST_F(SceneFile, BadEntriesAreReportedAndTheRestIsRead)
{
    const std::string text =
        SceneText(ItemTag("MObject", "a", 0) + "  <Spaceship=1>\n" + ItemTag("MObject", "b", 1),
                  " <Links=\n"
                  "  <Link=<Item=1><Link=0>>\n"
                  "  <Link=<Item=1>>\n"
                  "  <Link=<Item=1><Link=2000000000><Colour=3>>\n"
                  "  <Link=<Item=-4><Link=0>>\n"
                  "  <Anchor=1>\n"
                  " >\n"
                  " <Groups=<Group=<Item=0>><Group=<Id=\"g\"><Item=0><Item=99><Item=-1><Item=1>>>\n");
    ASSERT_TRUE(ReadScene("bad.zml", text));
    EXPECT_EQ(Count("Unexpected <Spaceship> sub-tag in <Items>."), 1u);
    EXPECT_EQ(Count("Incomplete link tag."), 1u);
    EXPECT_EQ(Count("Unexpected <Colour> sub-tag in <Link>."), 1u);
    EXPECT_EQ(Count("Unexpected <Anchor> sub-tag in <Links>."), 1u);
    // UIDs beyond the file's range count as masked, never as indexes.
    EXPECT_EQ(Count("Link item masked out during import."), 2u);
    EXPECT_EQ(Count("Could not read group, no identifier found."), 1u);
    EXPECT_EQ(Count("Group member masked out during import."), 2u);
    EXPECT_EQ(scene->Find("b")->GetCoreItem()->link, scene->Find("a")->GetCoreItem());
    EXPECT_EQ(scene->FindGroup("g")->GetItemCount(), 2);
}

TEST_F(SceneFile, HugeUidsNeitherAllocateNorOverflow)
{
    const std::string text = SceneText(ItemTag("MObject", "far", 2000000000) + ItemTag("MObject", "near", 3),
                                       " <Links=<Link=<Item=2000000000><Link=3>>>\n"
                                       " <Groups=<Group=<Id=\"g\"><Item=2000000000>>>\n");
    ASSERT_TRUE(ReadScene("huge.zml", text));
    ASSERT_TRUE(ReadScene("huge.zml", text));
    EXPECT_EQ(scene->objects.GetCount(), 4);
    std::vector<int32_t> uids;
    for (zMItem* item : scene->allItems) {
        EXPECT_GE(item->uid, 0);
        uids.push_back(item->uid);
    }
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(std::adjacent_find(uids.begin(), uids.end()), uids.end()) << "UIDs must stay unique";
    // Links and groups still resolve within each read.
    int linked = 0;
    for (zLinkedListEntry* e = scene->objects.GetFirst(); e != nullptr; e = e->next) {
        zMObject* object = static_cast<zMObject*>(static_cast<zLinkedListIdEntry*>(e));
        if (NameOf(object) == "far") {
            ASSERT_NE(object->object.link, nullptr);
            EXPECT_EQ(NameOf(zMItem::FromCoreItem(object->object.link)), "near");
            ++linked;
        }
    }
    EXPECT_EQ(linked, 2);
}

TEST_F(SceneFile, DuplicateFileUidsDoNotShareASceneUid)
{
    ASSERT_TRUE(ReadScene("twice.zml", SceneText(ItemTag("MObject", "a", 1) + ItemTag("MObject", "b", 1))));
    ASSERT_EQ(scene->allItems.size(), 2u);
    EXPECT_NE(scene->allItems[0]->uid, scene->allItems[1]->uid);
    EXPECT_EQ(Count("Corrupt item 'b' source UID"), 1u);
}

TEST_F(SceneFile, ItemWithoutUidKeepsAFreshOne)
{
    ASSERT_TRUE(ReadScene("nouid.zml", SceneText("  <MObject=<MItem=<Id=\"loose\"><Active>><Object>>\n" +
                                                 ItemTag("MObject", "b", 0))));
    EXPECT_EQ(Count("Managed item 'loose' UID is invalid."), 1u);
    zMObject* loose = scene->FindObject("loose");
    ASSERT_NE(loose, nullptr);
    EXPECT_GE(loose->uid, 0);
    EXPECT_NE(loose->uid, scene->FindObject("b")->uid);
}

TEST_F(SceneFile, FileWithoutSceneTagFails)
{
    dir.Write("notascene.zml", "<ZML=1.0>\n<Geometry=<Count=1>>\n");
    EXPECT_FALSE(scene->FromMetaFileStoreGroup("notascene.zml", nullptr, zScene::LoadAll, 0));
    EXPECT_EQ(Count("No <Scene> tag in 'notascene.zml'."), 1u);
    EXPECT_FALSE(scene->FromMetaFileStoreGroup("absent.zml", nullptr, zScene::LoadAll, 0));

    zMetaTag wrong("Environment");
    EXPECT_FALSE(scene->FromMetaTagStoreGroup(nullptr, &wrong, nullptr, zScene::LoadAll, 0));
    EXPECT_EQ(Count("Could not parse scene. Root tag id is incorrect (Environment)."), 1u);
}

TEST_F(SceneFile, ShaderLibrariesWaitForARenderer)
{
    static std::vector<std::string> asked;
    asked.clear();
    const zResourceMissingHook saved = GlobalShaderLibraryMissingHook;
    GlobalShaderLibraryMissingHook = [](zString& path) { asked.push_back(path.Get() != nullptr ? path.Get() : ""); };
    ASSERT_TRUE(ReadScene("shaded.zml", "<ZML=1.0>\n<Scene=<Shader=<Include=\"lib_a.zml\"><Include=3><Include=\"lib_b.zml\">>>\n"));
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(scene->shaderIncludes.GetCount(), 2);
    scene->RegisterAsPropertyCallback(renderer.get());
    GlobalShaderLibraryMissingHook = saved;
    EXPECT_EQ(asked, (std::vector<std::string>{"lib_a.zml", "lib_b.zml"}));
    EXPECT_NE(Written(*scene).find("<Shader=<Include=\"lib_a.zml\"><Include=\"lib_b.zml\">>"), std::string::npos);
}

TEST_F(SceneFile, GroupOutputCollectsWhatWasRead)
{
    zGroup* group = nullptr;
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", &group, zScene::LoadAll & ~zScene::LoadGlobals, 0));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetName(), "world.zml");
    EXPECT_EQ(group->GetItemCount(), 7);
    EXPECT_EQ(group->GetConstraintCount(), 1);
    EXPECT_EQ(Count("Group 'world.zml': 7 item(s), 1 constraint(s)."), 1u);
    // Globals are read into a group only when asked.
    EXPECT_FLOAT_EQ(scene->targetExposure, 0.25f);

    // Writing the group alone gives its items, links and skins only.
    const std::string text = Written(*scene, zScene::LoadAll, group);
    EXPECT_EQ(text.find("<Globals="), std::string::npos);
    EXPECT_EQ(text.find("<Groups="), std::string::npos);
    EXPECT_NE(text.find("<Link=<Item=3><Link=2>>"), std::string::npos);
}

} // namespace
