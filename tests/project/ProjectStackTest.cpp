#include "ProjectTestSupport.h"

#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

#include <squirrel.h>

#include <algorithm>

namespace {

// The project script keeps its instances in root slots so that the test can
// drive the stack through root functions, as a game script would.
const char* const ProjectScript = R"(
class Game {
    function OnSetup(p) {
        print("OnSetup");
        ::g_hud <- ProjectInstantiateScene(g_project, "hud.zml", ProjectInstantiateLayerFront);
        ::g_menu <- ProjectInstantiateScene(g_project, "menu.zml", ProjectInstantiateLayerBack);
        print("types " + ProjectSceneGetType(g_hud) + " " + ProjectSceneGetType(g_menu));
    }
    function OnUpdate(p) { print("OnUpdate"); }
    function OnRender(p) { print("OnRender"); }
    function OnRenderScene(p, scene, layer) { print("OnRenderScene " + ProjectSceneGetScriptInstance(scene).name); }
    function OnActivateScene(p, scene, state) {
        print("OnActivateScene " + ProjectSceneGetScriptInstance(scene).name + " " + state);
    }
    function OnClose(p) { print("OnClose"); }
}
function Reorder() {
    ProjectLayerMoveToFront(g_project, ProjectGetSceneLayerList(g_project, g_menu)[0]);
}
function HideHud() {
    ProjectSceneActivate(g_project, g_hud, false);
    print("hud active " + ProjectSceneIsActive(g_project, g_hud) + ", menu active " + ProjectIsSceneActive(g_project, g_menu));
}
function Edges() {
    print("mode 3 valid " + ObjectIsValid(ProjectAddLayer(g_project, g_menu, 3)));
    ProjectAddLayer(g_project, g_menu, 1);
    print("menu layers " + ProjectGetSceneLayerList(g_project, g_menu).len());
    local again = ProjectInstantiateScene(g_project, "menu.zml", ProjectInstantiateLayerFront);
    print("same instance " + ObjectIsSame(again, g_menu) + ", menu layers " + ProjectGetSceneLayerList(g_project, g_menu).len());
    print("undeclared valid " + ObjectIsValid(ProjectInstantiateScene(g_project, "nope.zml", 1)));
    local hudLayer = ProjectGetSceneLayerList(g_project, g_hud)[0];
    ProjectUnloadScene(g_project, g_hud);
    ProjectLayerMoveToFront(g_project, hudLayer);
    print("hud valid " + ObjectIsValid(g_hud));
}
function Quit() { ProjectEnd(g_project); }
function Scratch() {
    local scene = ProjectNewScene(g_project);
    print("scratch valid " + ObjectIsValid(scene));
    scene = null;
    collectgarbage();
}
function WrongKind() { ProjectEnd(g_engine); print("not reached"); }
)";

const char* const LayerScript = R"(
class Layer {
    function OnSetup(s) { print(name + " OnSetup"); }
    function OnReset(s) { print(name + " OnReset"); }
    function OnUpdate(s) { print(name + " OnUpdate"); }
}
class Hud extends Layer { name = "hud"; }
class Menu extends Layer { name = "menu"; }
class Meddler extends Layer {
    name = "meddler";
    function OnUpdate(s) { ProjectInstantiateScene(g_project, "hud.zml", 1); }
}
)";

class ProjectStack : public ProjectFixture {
protected:
    void SetUp() override
    {
        ProjectFixture::SetUp();
        dir.Write("game.nut", ProjectScript);
        dir.Write("layers.nut", LayerScript);
        Write2DScene("hud.zml", "layers.nut", "Hud");
        Write2DScene("menu.zml", "layers.nut", "Menu");
        Write2DScene("meddler.zml", "layers.nut", "Meddler");
        dir.Write("game.zgp", "<ZML=1.0>\n<Environment=<Name=\"Stack\">"
                              "<Scenes=<Scene=<URI=\"hud.zml\"><Type=\"2d\">><Scene=<URI=\"menu.zml\"><Type=\"2d\">>"
                              "<Scene=<URI=\"meddler.zml\"><Type=\"2d\">>>"
                              "<ScriptUnit=<Script=\"game.nut\"><Class=\"Game\">>>\n");
        ASSERT_TRUE(project->LoadFromFile("game.zgp"));
        ASSERT_TRUE(project->Open(true));
        ASSERT_TRUE(project->Setup());
    }

    void Call(const char* function)
    {
        zScriptMaster& master = project->GetMaster();
        ASSERT_TRUE(master.SetupFunctionCall(function)) << function;
        master.DoFunctionCall(0);
    }

    // One frame as the main loop runs it; returns the script lines it printed.
    std::vector<std::string> Frame()
    {
        log.lines.clear();
        renderer->clears.clear();
        project->Evaluate(63);
        project->Render(0);
        return ScriptLines();
    }
};

TEST_F(ProjectStack, SetupInstantiatesAndDrawsLayersFromBackToFront)
{
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"OnSetup", "hud OnSetup", "hud OnReset", "menu OnSetup",
                                                       "menu OnReset", "types 1 1"}));
    EXPECT_EQ(Frame(), (std::vector<std::string>{"OnUpdate", "OnRender", "OnRenderScene menu", "menu OnUpdate",
                                                 "OnRenderScene hud", "hud OnUpdate"}));
    EXPECT_EQ(renderer->clears, "CD");
    EXPECT_EQ(project->CountActiveInstances(), 2);
}

TEST_F(ProjectStack, ScriptsReorderAndDeactivateLayers)
{
    Call("Reorder");
    EXPECT_EQ(Frame(), (std::vector<std::string>{"OnUpdate", "OnRender", "OnRenderScene hud", "hud OnUpdate",
                                                 "OnRenderScene menu", "menu OnUpdate"}));
    log.lines.clear();
    Call("HideHud");
    EXPECT_EQ(ScriptLines(),
              (std::vector<std::string>{"OnActivateScene hud false", "hud active false, menu active true"}));
    EXPECT_EQ(Frame(), (std::vector<std::string>{"OnUpdate", "OnRender", "OnRenderScene menu", "menu OnUpdate"}));
    EXPECT_EQ(renderer->clears, "C");
    // Inactive, but still in its layer.
    EXPECT_EQ(project->GetLayers().GetCount(), 2);
}

TEST_F(ProjectStack, LayerEdgesAndUnloading)
{
    log.lines.clear();
    Call("Edges");
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"mode 3 valid false", "menu layers 2",
                                                       "same instance true, menu layers 2", "undeclared valid false",
                                                       "hud valid false"}));
    EXPECT_TRUE(log.Contains("Scene 'nope.zml' does not exist in project."));
    EXPECT_TRUE(log.Contains("Failed to locate layer in project."));
    EXPECT_EQ(project->FindInstance("hud.zml"), nullptr);
    // The declaration stays; the menu shows twice, the second time over depth only.
    EXPECT_NE(project->FindScene("hud.zml"), nullptr);
    EXPECT_EQ(Frame(), (std::vector<std::string>{"OnUpdate", "OnRender", "OnRenderScene menu", "menu OnUpdate",
                                                 "OnRenderScene menu", "menu OnUpdate"}));
    EXPECT_EQ(renderer->clears, "CD");
}

TEST_F(ProjectStack, SceneScriptsCannotChangeTheStackWhileItIsDrawn)
{
    ASSERT_NE(project->Instantiate(project->FindScene("meddler.zml"), 1), nullptr);
    project->Unload(project->FindInstance("hud.zml"));
    Frame();
    EXPECT_TRUE(log.Contains(
        "Cannot call 'zProject::Instantiate' while rendering or evaluating the project scene stack."));
    EXPECT_EQ(project->FindInstance("hud.zml"), nullptr);
}

TEST_F(ProjectStack, RemovingAnInstantiatedDeclarationIsRefused)
{
    EXPECT_FALSE(project->RemoveScene("hud.zml"));
    EXPECT_TRUE(log.Contains("Scene 'hud.zml' is instantiated, unload it first."));
    ASSERT_NE(project->FindInstance("hud.zml"), nullptr);
    EXPECT_EQ(project->FindInstance("hud.zml")->declaration, project->FindScene("hud.zml"));
    project->Unload(project->FindInstance("hud.zml"));
    EXPECT_TRUE(project->RemoveScene("hud.zml"));
}

TEST_F(ProjectStack, QuitRequestHoldsUntilClose)
{
    EXPECT_FALSE(project->IsQuitRequested());
    Call("Quit");
    EXPECT_TRUE(project->IsQuitRequested());
    log.lines.clear();
    ASSERT_TRUE(project->Close(true));
    EXPECT_FALSE(project->IsQuitRequested());
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"OnClose"}));
    EXPECT_EQ(project->GetInstances().GetCount(), 0);
    EXPECT_EQ(project->GetDeclarations().GetCount(), 0);
    EXPECT_EQ(project->GetMaster().GetVM(), nullptr);
    // A second close finds nothing left to do.
    log.lines.clear();
    EXPECT_TRUE(project->Close(true));
    EXPECT_TRUE(ScriptLines().empty());
}

// A scene made by a script belongs to its handle and goes with it.
TEST_F(ProjectStack, NewSceneIsOwnedByItsHandle)
{
    log.lines.clear();
    Call("Scratch");
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"scratch valid true"}));
    EXPECT_TRUE(log.Contains("[|] New scene!"));
    EXPECT_TRUE(log.Contains("[|] Garbage collected: Scene."));
    EXPECT_FALSE(log.Contains("No deleter installed"));
}

TEST_F(ProjectStack, HandleOfTheWrongKindSuspendsTheMachine)
{
    log.lines.clear();
    Call("WrongKind");
    EXPECT_EQ(sq_getvmstate(project->GetMaster().GetVM()), SQ_VMSTATE_SUSPENDED);
    EXPECT_FALSE(project->IsQuitRequested());
    EXPECT_TRUE(log.Contains("Expected 'Project' (4), got 'Engine' (2)."));
}

TEST_F(ProjectStack, ScriptGlobalsOfTheProject)
{
    dir.Write("globals.nut", "print(\"context \" + g_context_project + \" size \" + g_width + \"x\" + g_height"
                             " + \" dt \" + g_dt_frame + \" kinds \" + ObjectIsValid(g_engine) + ObjectIsValid(g_project)"
                             " + ObjectIsValid(g_render) + ObjectIsValid(g_mixer));\n");
    log.lines.clear();
    ASSERT_TRUE(project->GetMaster().AddScript("globals.nut"));
    ASSERT_EQ(ScriptLines().size(), 1u);
    EXPECT_EQ(ScriptLines()[0].rfind("context true size ", 0), 0u) << ScriptLines()[0];
    EXPECT_NE(ScriptLines()[0].find("dt 0.0166667 kinds truetruetruetrue"), std::string::npos) << ScriptLines()[0];
}

} // namespace

#include "manager/scene/zScene.h"
#include "ui/zScene2D.h"

namespace {

TEST_F(ProjectStack, RegisteredScenesMustMatchTheirDeclaration)
{
    zProjectSceneDecl* flat = project->NewScene("flat.zml", zProjectSceneDecl::Scene2D);
    zProjectSceneDecl* deep = project->NewScene("deep.zms", zProjectSceneDecl::Scene3D);
    auto* scene2D = new zScene2D(&core, &project->GetMaster());
    auto* scene3D = new zScene(&core, &project->GetMaster());
    log.lines.clear();
    EXPECT_FALSE(project->RegisterInstance(deep, scene2D));
    EXPECT_TRUE(log.Contains("Instance (2D) does not match project declared scene type, won't register."));
    EXPECT_FALSE(project->RegisterInstance(flat, scene3D));
    EXPECT_TRUE(log.Contains("Instance (3D) does not match project declared scene type, won't register."));
    EXPECT_FALSE(project->RegisterInstance(flat, static_cast<zScene2D*>(nullptr)));
    EXPECT_TRUE(log.Contains("Invalid instance scene."));

    const int32_t before = project->CountActiveInstances();
    ASSERT_TRUE(project->RegisterInstance(flat, scene2D));
    ASSERT_TRUE(project->RegisterInstance(deep, scene3D));
    EXPECT_EQ(project->CountActiveInstances(), before + 2);
    ASSERT_NE(project->FindInstanceByScene(scene3D), nullptr);
    EXPECT_EQ(project->FindInstanceByScene(scene3D)->declaration, deep);
    EXPECT_EQ(project->FindInstanceByScene(scene2D), project->FindInstance("flat.zml"));
    // The project owns them now: unloading frees them.
    project->Unload(project->FindInstanceByScene(scene3D));
    EXPECT_EQ(project->FindInstance("deep.zms"), nullptr);

    project->Reset(true);
    EXPECT_STREQ(project->name.Get(), "New Project");
    EXPECT_EQ(project->GetInstances().GetCount(), 0);
    EXPECT_EQ(project->GetDeclarations().GetCount(), 0);
}

// A 3D scene's script runs inside the stack's update: it cannot change the stack.
TEST_F(ProjectStack, ThreeDimensionalScenesAreUpdatedOnlyWhileActive)
{
    dir.Write("deep.nut", "class Deep {\n"
                          "  name = \"deep\";\n"
                          "  function OnUpdate(s) { print(\"deep update\"); ProjectUnloadScene(g_project, ::g_deep); }\n"
                          "  function OnRenderDone(s) { print(\"deep drawn\"); }\n"
                          "  function OnRenderUI(s) { print(\"deep ui\"); }\n"
                          "}\n");
    dir.Write("deep.zms", "<ZML=1.0>\n<Scene=<Items=<MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera>>>"
                          "<ScriptUnit=<Script=\"deep.nut\"><Class=\"Deep\">>>\n");
    ASSERT_NE(project->NewScene("deep.zms", zProjectSceneDecl::Scene3D), nullptr);
    zProjectScene* deep = project->Instantiate(project->FindScene("deep.zms"), 2);
    ASSERT_NE(deep, nullptr);
    ASSERT_NE(deep->scene3D, nullptr);
    HSQUIRRELVM v = project->GetMaster().GetVM();
    sq_pushroottable(v);
    sq_pushstring(v, "g_deep", -1);
    SqPushSafePtr(v, deep, SqPtrProjectScene);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    const std::vector<std::string> lines = Frame();
    EXPECT_TRUE(log.Contains("Cannot call 'zProject::Unload' while rendering or evaluating the project scene stack."));
    EXPECT_EQ(project->FindInstance("deep.zms"), deep);
    // Updated, drawn at the back with its commit callback, but never its interface callback.
    EXPECT_EQ(lines, (std::vector<std::string>{"OnUpdate", "deep update", "OnRender", "OnRenderScene deep", "deep drawn",
                                               "OnRenderScene menu", "menu OnUpdate", "OnRenderScene hud",
                                               "hud OnUpdate"}));
    EXPECT_EQ(renderer->clears, "CDD");

    project->ActivateScene(deep, false);
    const std::vector<std::string> quiet = Frame();
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), "deep update"), 0);
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), "deep drawn"), 0);
    EXPECT_EQ(project->GetLayers().GetCount(), 3);
}

} // namespace
