#include "RunTavrin.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

const std::string Data = std::string(TAVRIN_TEST_DATA) + "/applications/";

std::vector<std::string> Headless(std::vector<std::string> arguments)
{
    for (const char* extra : {"-f", Data.c_str(), "-r", "none", "-m", "none", "-S", TAVRIN_BUILD_DATA, "-ignore_esc"})
        arguments.push_back(extra);
    return arguments;
}

const std::vector<std::string> ThreeFrames = {
    "zad.nut runs, define visible false",
    "scene OnSetup", "scene OnReset",
    "update 1", "render done 1", "render ui 1",
    "update 2", "render done 2", "render ui 2",
    "update 3", "render done 3", "render ui 3",
};

// The frame in which a native gets a handle of the wrong kind is finished
// (commit and interface callbacks included); then the run ends with code 3.
TEST(SceneRun, CallbacksInFrameOrderUntilAWrongKindEndsTheRun)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"frames.zms"}));
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_EQ(run.ScriptLines(), ThreeFrames) << run.Text();
    EXPECT_TRUE(run.Has("Expected 'Project' (4), got 'Scene' (8)."));
    EXPECT_TRUE(run.Has("    sizeof(zScene) = "));
}

// The frame in which the script asks to end is still finished; shutdown then
// deletes the scene and the run ends normally.
TEST(SceneRun, ScriptThatEndsTheRun)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"ending.zms"}));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(),
              (std::vector<std::string>{"zad.nut runs, define visible false", "update 1", "render ui 1", "update 2",
                                        "render ui 2", "scene deleted"}))
        << run.Text();
}

TEST(SceneRun, MissingTextureEndsTheRunAfterTheFirstFrame)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"missing.zms"}));
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    // Once by the loop, once more by the final check.
    EXPECT_EQ(run.Count("[!] TavrinViewer::CheckAbnormalTermination"), 2) << run.Text();
    EXPECT_EQ(run.Count("Exiting due to missing resources."), 2);
    EXPECT_EQ(run.ScriptLines(),
              (std::vector<std::string>{"zad.nut runs, define visible false", "scene OnSetup", "scene OnReset",
                                        "update 1", "render done 1", "render ui 1"}))
        << run.Text();
}

TEST(SceneRun, IgnoreMissingRunsOn)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"missing.zms", "-ignore_missing"}));
    EXPECT_EQ(run.ScriptLines(), ThreeFrames) << run.Text();
    EXPECT_FALSE(run.Has("Exiting due to missing resources."));
    // Ended by the script's wrong handle on its third frame.
    EXPECT_EQ(run.exitCode, 3);
}

// A material whose shader map's branch leads back into itself through a
// shortcut: the branch is refused with one line, the geometry and the rest of
// its map load, and the scene runs its frames.
TEST(SceneRun, AShaderMapThatReachesItselfIsRefusedAndTheSceneRuns)
{
    TempDir dir;
    dir.Write("loop.zml",
              "<ZML=1>\n"
              "<Geometry=<Materials=<Material=<Id=\"loop\"><ShaderMap=<Map=<Entry=<Type=\"Add\">>"
              "<Entry=<Type=\"Clock\">>><Diffuse=<Block=<Index=0><Input="
              "<Block=@\"Geometry:Materials:Material:ShaderMap:Diffuse:Block;\"><Block=<Index=1>>>>>>>>"
              "<AVertex=<Count=3><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0><Z=0>><V=<X=0><Y=1><Z=0>>>>"
              "<APolygon=<Count=1><BindingCount=3><Data=<P=<Count=3><Material=0><Index=0><Index=1><Index=2>>>>>\n");
    dir.Write("loop.zms",
              "<ZML=1.0>\n<Scene=<Items="
              "<MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera=<Item=<Position=<X=0><Y=0><Z=-5>>>>>"
              "<MObject=<MItem=<Id=\"wall\"><UId=1><Active>><Object=<Geometry=\"loop.zml\">>>>"
              "<ScriptUnit=<Script=\"ending.nut\"><Class=\"Ending\">>>\n");
    dir.Write("ending.nut", "class Ending {\n"
                            "    frame = 0;\n"
                            "    function OnUpdate(s) { frame++; print(\"update \" + frame); if (frame == 2) SceneEnd(s); }\n"
                            "}\n");
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"loop.zms"}));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count("Material 'loop': shader branch 'Geometry:Materials:Material:ShaderMap:Diffuse:Block;' "
                        "(block 0) leads back to a block on its own path, refused."),
              1)
        << run.Text();
    EXPECT_EQ(run.ScriptLines(),
              (std::vector<std::string>{"zad.nut runs, define visible false", "update 1", "update 2"}))
        << run.Text();
}

TEST(SceneRun, SceneFileThatCannotBeReadFailsSetUp)
{
    TempDir dir;
    dir.Write("broken.zms", "<ZML=1.0>\n<Environment=<Name=\"not a scene\">>\n");
    const TavrinRun absent = RunTavrin(dir.Path(), Headless({"absent.zms"}));
    EXPECT_EQ(absent.exitCode, 2) << absent.Text();
    const TavrinRun broken = RunTavrin(dir.Path(), Headless({"broken.zms"}));
    EXPECT_EQ(broken.exitCode, 2) << broken.Text();
    EXPECT_FALSE(broken.Has("Scene setup"));
}

// A FIFO given as the scene or the project is refused at once, as a file that
// cannot be read is (a plain open would wait for a writer for ever).
TEST(SceneRun, FifoAsTheInputIsRefusedLikeAnUnreadableFile)
{
    TempDir dir;
    const std::string fifo = dir.Path("input.zms");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::vector<std::string>& arguments :
         {Headless({fifo}), Headless({fifo, "-P"})}) {
        const TavrinRun run = RunProgram(dir.Path(), "exec timeout 30", TAVRIN_EXECUTABLE, arguments);
        EXPECT_EQ(run.exitCode, 2) << run.Text();
        EXPECT_TRUE(run.Has("Cannot read '" + fifo + "', it is not a regular file.")) << run.Text();
        EXPECT_TRUE(run.Has("Could not access file '" + fifo + "'.")) << run.Text();
        EXPECT_FALSE(run.Has("Scene setup")) << run.Text();
    }
}

// A project with a 3D and a 2D layer: the 3D layer is updated while active,
// drawn with "OnRenderDone" but never "OnRenderUI"; reordering and
// deactivation come from the project script.
TEST(SceneRun, ProjectWithA3DAndA2DLayer)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"mixed.zgp", "-P"}));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(),
              (std::vector<std::string>{"zad.nut runs, define visible false",
                                        "world OnSetup", "world OnReset", "hud OnSetup", "hud OnReset", "types 0 1",
                                        "frame 1", "world updated", "layer 0", "world drawn", "layer 1", "hud drawn",
                                        "frame 2", "world updated", "layer 1", "hud drawn", "layer 0", "world drawn",
                                        "frame 3", "layer 1", "hud drawn",
                                        "frame 4", "layer 1", "hud drawn",
                                        "OnClose"}))
        << run.Text();
    EXPECT_FALSE(run.Has("world ui"));
}

} // namespace

namespace {

// "SceneGetUI" and its alias "SceneGetWindowSystem" hand out the interface the
// scene embeds; anything but a scene suspends the script and ends the run.
TEST(SceneRun, SceneGivesItsInterfaceToScripts)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"sceneui.zms"}));
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_EQ(run.ScriptLines(),
              (std::vector<std::string>{"zad.nut runs, define visible false", "valid: true", "alias gives the same: true",
                                        "same on every call: true", "a window can be added: true",
                                        "a text widget too: true", "wrong kind next"}))
        << run.Text();
    EXPECT_TRUE(run.Has("got 'Engine'")) << run.Text();
}

} // namespace
