#include "SceneTestSupport.h"

#include <fstream>
#include <sstream>

namespace {

class SceneRender : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/scenes/cube.zml", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        dir.Write("cube.zml", text.str());
        dir.Write("s.nut", "class S {\n"
                           "  function OnRenderDone(s) { print(\"done\"); }\n"
                           "  function OnRenderUI(s) { print(\"ui\"); }\n"
                           "}\n");
    }
    // Objects made nearly and barely transparent, a hidden one, an inactive one and a proxy.
    void Build(bool withCamera)
    {
        std::string items = withCamera ? ItemTag("MCamera", "eye", 0, "", "<Position=<X=0><Y=0><Z=-5>>") : "";
        const std::string geometry = "<Geometry=\"cube.zml\">";
        items += "  <MObject=<MItem=<Id=\"clear\"><UId=1><Active>><Object=" + geometry + ">>\n";
        items += "  <MObject=<MItem=<Id=\"faint\"><UId=2><Active>><Object=" + geometry + ">>\n";
        items += "  <MObject=<MItem=<Id=\"asleep\"><UId=3>><Object=" + geometry + ">>\n";
        items += "  <MObject=<MItem=<Id=\"stand-in\"><UId=4><Active><Proxy>><Object=" + geometry + ">>\n";
        items += "  <MObject=<MItem=<Id=\"solid\"><UId=5><Active>><Object=" + geometry + ">>\n";
        ASSERT_TRUE(ReadScene("r.zml", SceneText(items, " <ScriptUnit=<Script=\"s.nut\"><Class=\"S\">>\n"
                                                        " <Globals=<BackgroundColor=<X=0.25><Y=0.5><Z=0.75><W=1>>"
                                                        "<FogNear=3><FogFar=0><TargetExposure=0.6>>\n")));
        Start();
        scene->FindObject("clear")->object.alpha = 0.009f;
        scene->FindObject("faint")->object.alpha = 0.01f;
    }
    void Frame(uint32_t flags = 0)
    {
        renderer->ResetItemStack();
        renderer->calls.clear();
        scene->RenderSetup(zScene::RenderFlagClear);
        scene->RenderToQueue(flags);
        scene->RenderUI(flags);
    }
};

TEST_F(SceneRender, PushesVisibleObjectsAndHandsOverTheFrameSettings)
{
    Build(true);
    renderer->fogOn = 1;
    const size_t mark = Lines().size();
    Frame();
    EXPECT_EQ(renderer->Pushed(), (std::vector<std::string>{"faint", "solid"}));
    ASSERT_GE(renderer->calls.size(), 2u);
    EXPECT_EQ(renderer->calls[0], "Clear 0.250000 0.500000 0.750000 1.000000 0");
    EXPECT_EQ(renderer->calls[1], "ApplyCamera");
    EXPECT_EQ(renderer->camera, scene->currentCamera);
    EXPECT_FLOAT_EQ(renderer->targetExposure, 0.6f);
    // Fog far 0 turns the fog off whatever its near distance.
    EXPECT_EQ(renderer->fogOn, 0);
    EXPECT_EQ(ScriptLines(mark), (std::vector<std::string>{"done", "ui"}));
}

TEST_F(SceneRender, FlagTwoSilencesTheCallbacks)
{
    Build(true);
    const size_t mark = Lines().size();
    Frame(zScene::RenderFlagNoCallback);
    EXPECT_TRUE(ScriptLines(mark).empty());
    EXPECT_EQ(renderer->Pushed().size(), 2u);
}

TEST_F(SceneRender, WithoutAnyCameraNothingIsPushedAndOnlyTheUiCallbackRuns)
{
    Build(false);
    renderer->camera = nullptr;
    const size_t mark = Lines().size();
    Frame();
    EXPECT_TRUE(renderer->Pushed().empty());
    EXPECT_EQ(ScriptLines(mark), (std::vector<std::string>{"ui"}));
}

TEST_F(SceneRender, RenderlessSceneKeepsOnlyItsCallbacks)
{
    Build(true);
    scene->SetRenderless(true);
    const size_t mark = Lines().size();
    Frame();
    EXPECT_TRUE(renderer->calls.empty());
    EXPECT_TRUE(renderer->Pushed().empty());
    EXPECT_EQ(ScriptLines(mark), (std::vector<std::string>{"done", "ui"}));
}

} // namespace
