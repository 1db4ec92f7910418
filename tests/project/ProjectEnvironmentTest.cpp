#include "ProjectTestSupport.h"

#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <cstring>

namespace {

using ProjectEnvironment = ProjectFixture;

// "3d:URI" / "2d:URI" per declaration, in order.
std::vector<std::string> Declarations(const zProject& project)
{
    std::vector<std::string> out;
    zLinkedListCursor cursor;
    while (auto* declaration = project.GetDeclarations().NextAs<zProjectSceneDecl>(cursor))
        out.push_back(std::string(declaration->type == zProjectSceneDecl::Scene2D ? "2d:" : "3d:") +
                      declaration->uri.Get());
    return out;
}

std::vector<std::string> Strings(const ztLinkedList<zString>& list)
{
    std::vector<std::string> out;
    for (auto* node = list.GetFirst(); node != nullptr; node = node->next)
        out.push_back(node->value.Get() != nullptr ? node->value.Get() : "");
    return out;
}

TEST_F(ProjectEnvironment, ReadsEveryChildAndKeepsTheFirstOfTwinDeclarations)
{
    dir.Write("game.zgp", "<ZML=1.0>\n"
                          "<Environment=\n"
                          "  <Name=\"Demo\">\n"
                          "  <Scenes=\n"
                          "    <URI=\"world.zms\">\n"
                          "    <Scene=<URI=\"hud.zml\"><Type=\"2d\"><Folder=\"ui\">>\n"
                          "    <Scene=<URI=\"upper.zml\"><Type=\"2D\">>\n"
                          "    <Scene=<URI=\"world.zms\"><Type=\"2d\">>\n"
                          "    <Scene=<Type=\"2d\">>\n"
                          "    <Other=1>\n"
                          "  >\n"
                          "  <Include=<URI=\"a.nut\"><URI=\"b.nut\"><Path=\"ignored.nut\">>\n"
                          "  <SearchPaths=<Path=\"data\"><Anything=\"more\"><Number=3>>\n"
                          "  <ScriptUnit=<Script=\"game.nut\"><Class=\"Game\">>\n"
                          "  <Unknown=7>\n"
                          ">\n");
    ASSERT_TRUE(project->LoadFromFile("game.zgp"));
    EXPECT_TRUE(log.Contains("Parsing ZML environment..."));
    EXPECT_STREQ(project->name.Get(), "Demo");
    EXPECT_EQ(Declarations(*project),
              (std::vector<std::string>{"3d:world.zms", "2d:hud.zml", "3d:upper.zml"}));
    EXPECT_EQ(Strings(project->includes), (std::vector<std::string>{"a.nut", "b.nut"}));
    EXPECT_EQ(Strings(project->searchPaths), (std::vector<std::string>{"data", "more"}));
    EXPECT_STREQ(project->Script.Get(), "game.nut");
    EXPECT_STREQ(project->Class.Get(), "Game");
    EXPECT_NE(std::strstr(project->fileName.Get(), "game.zgp"), nullptr);
}

TEST_F(ProjectEnvironment, RefusesAnotherRootTag)
{
    dir.Write("scene.zgp", "<ZML=1.0>\n<Scene=<Name=\"x\">>\n");
    EXPECT_FALSE(project->LoadFromFile("scene.zgp"));
    EXPECT_TRUE(log.Contains("Could not parse environment. Root tag id is incorrect (Scene)."));
    EXPECT_STREQ(project->name.Get(), "New Project");
}

TEST_F(ProjectEnvironment, WrittenTagReadsBackTheSame)
{
    dir.Write("game.zgp", "<ZML=1.0>\n<Environment=<Name=\"Round\">"
                          "<Scenes=<Scene=<URI=\"w.zms\">><Scene=<URI=\"h.zml\"><Type=\"2d\">>>"
                          "<Include=<URI=\"lib.nut\">><SearchPaths=<Path=\"p\">>"
                          "<ScriptUnit=<Script=\"g.nut\"><Class=\"G\">>>\n");
    ASSERT_TRUE(project->LoadFromFile("game.zgp"));
    std::unique_ptr<zMetaTag> tag(project->AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    std::vector<std::string> children;
    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling())
        children.push_back(child->GetName().Get());
    EXPECT_EQ(children, (std::vector<std::string>{"Name", "ScriptUnit", "Scenes", "Include", "SearchPaths"}));
    EXPECT_STREQ(tag->GetTypedTag("Scenes:Scene:Type", zMetaTag::TypeString)->GetString(), "3d");

    ASSERT_TRUE(project->SaveToFile("copy.zgp"));
    zProject again(&core);
    ASSERT_TRUE(again.LoadFromFile("copy.zgp"));
    EXPECT_STREQ(again.name.Get(), "Round");
    EXPECT_EQ(Declarations(again), (std::vector<std::string>{"3d:w.zms", "2d:h.zml"}));
    EXPECT_EQ(Strings(again.includes), (std::vector<std::string>{"lib.nut"}));
    EXPECT_EQ(Strings(again.searchPaths), (std::vector<std::string>{"p"}));
    EXPECT_STREQ(again.Class.Get(), "G");
}

TEST_F(ProjectEnvironment, DeclarationsAreFoundByExactUriAndNewSceneKeepsTheFirstType)
{
    zProjectSceneDecl* world = project->NewScene("World.zms", zProjectSceneDecl::Scene3D);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(project->NewScene("World.zms", zProjectSceneDecl::Scene2D), world);
    EXPECT_EQ(world->type, zProjectSceneDecl::Scene3D);
    EXPECT_EQ(project->FindScene("world.zms"), nullptr);
    EXPECT_TRUE(project->RemoveScene("World.zms"));
    EXPECT_FALSE(project->RemoveScene("World.zms"));
    EXPECT_EQ(project->FindScene("World.zms"), nullptr);
}

} // namespace
