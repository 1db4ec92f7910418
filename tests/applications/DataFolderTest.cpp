// The engine's own files (the interface's font and check-box pictures, the
// renderer's shader library and noise picture) are found from wherever the
// executable really lives, whatever folder a user runs it from: in the build
// tree, through a symbolic link, and in an installed copy.
#include "RunTavrin.h"

#include "applications/skorva/TavrinViewer.h"
#include "support/FileSystemGuard.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// A user's own scene in a folder of its own, with a text and a check box in
// its interface; it ends the run by itself on its third frame. The folder has
// its own start-up library, so that nothing the run looks for is absent.
void WriteOwnScene(const TempDir& dir)
{
    dir.Write("panel.zms", "<ZML=1.0>\n"
                           "<Scene=\n"
                           " <Items=\n"
                           "  <MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera=<Item=<Position=<X=0><Y=2><Z=-10>>>>>\n"
                           " >\n"
                           " <ScriptUnit=<Script=\"panel.nut\"><Class=\"Panel\">>\n"
                           ">\n");
    dir.Write("panel.nut", "class Panel {\n"
                           "    frame = 0;\n"
                           "    function OnUpdate(s) {\n"
                           "        frame++;\n"
                           "        if (frame == 1) {\n"
                           "            local ui = SceneGetUI(s);\n"
                           "            local window = UIAddWindow(ui, 1, 16.0, 16.0, 300.0, 80.0);\n"
                           "            local column = UIAddVerticalSizerWidget(ui, 2);\n"
                           "            local text = UIAddStaticTextWidget(ui, 3, \"Some text\", \"default\");\n"
                           "            local check = UIAddCheckWidget(ui, 4, \"A check box\", \"default\", true);\n"
                           "            SizerAddWidget(column, text);\n"
                           "            SizerAddWidget(column, check);\n"
                           "            WindowSetBaseWidget(window, column);\n"
                           "            WindowShow(window, true);\n"
                           "            print(\"widgets \" + ObjectIsValid(text) + \" \" + ObjectIsValid(check));\n"
                           "            CheckWidgetSetState(check, false);\n"
                           "        }\n"
                           "        if (frame == 3)\n"
                           "            SceneEnd(s);\n"
                           "    }\n"
                           "}\n");
    dir.Write("scriptlib/zad.nut", "print(\"own start-up library\");\n");
}

// Runs `program panel.zms -r gl2` from the scene's folder, with nothing that
// points at the engine's data, and checks that it found all of it.
TavrinRun ExpectCompleteDeferredRun(const std::string& program)
{
    TempDir scene;
    WriteOwnScene(scene);
    const TavrinRun run = RunProgram(
        scene.Path(),
        // Mesa and SDL keep blocks that LeakSanitizer cannot attribute once the
        // GL driver is unloaded (as in the GL tests).
        "SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1 ASAN_OPTIONS=detect_leaks=0 exec", program,
        {"panel.zms", "-r", "gl2", "-m", "none"});
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(), (std::vector<std::string>{"own start-up library", "widgets true true"}))
        << run.Text();
    // A missing font, picture or shader library is an error line.
    EXPECT_EQ(run.Count("[!] "), 0) << run.Text();
    EXPECT_TRUE(run.Has("Font 'default.ttf' loaded as 'default'.")) << run.Text();
    // The deferred frame: the shader library's programs are in, the noise
    // picture and the G-buffer are set up, and nothing fell back to the
    // fixed-function ("safe mode") frame.
    EXPECT_TRUE(run.Has("shader(s) in library.")) << run.Text();
    EXPECT_TRUE(run.Has("Setup 'noise.tga'")) << run.Text();
    EXPECT_TRUE(run.Has("Setup 'attr0_map'")) << run.Text();
    EXPECT_FALSE(run.Has("ixed-function")) << run.Text();
    return run;
}

TEST(DataFolder, BuiltExecutableRunsAUsersSceneFromItsOwnFolder)
{
    ExpectCompleteDeferredRun(TAVRIN_EXECUTABLE);
}

// The data and the configuration are both found from where the executable
// really is, not from the link: the build's "tavrin.conf" (its 1024 x 768
// output sizes the G-buffer, where the viewer's own default is 800 x 600) is
// read, and one beside the link is not.
TEST(DataFolder, ExecutableStartedThroughASymbolicLink)
{
    TempDir links;
    std::filesystem::create_symlink(TAVRIN_EXECUTABLE, links.Path("tavrin"));
    links.Write("tavrin.conf", "<ZML=1.0>\n<Width=640>\n<Height=480>\n");
    const TavrinRun run = ExpectCompleteDeferredRun(links.Path("tavrin"));
    EXPECT_TRUE(run.Has("Setup 'attr0_map' (1024x768)")) << run.Text();
    EXPECT_FALSE(run.Has("(640x480)")) << run.Text();
    EXPECT_FALSE(run.Has(links.Path("tavrin.conf"))) << run.Text();
}

// `cmake --install` into a fresh prefix gives a copy that runs on its own,
// with its configuration beside it (its 1024 x 768 output sizes the G-buffer).
TEST(DataFolder, InstalledCopyRunsAUsersSceneFromAnyFolder)
{
    TempDir prefix;
    const TavrinRun install = RunProgram(prefix.Path(), "exec", TAVRIN_CMAKE_COMMAND,
                                         {"--install", TAVRIN_BINARY_DIR, "--prefix", prefix.Path()});
    ASSERT_EQ(install.exitCode, 0) << install.Text();
    for (const char* file : {"bin/tavrin", "bin/tavrin.conf", "share/tavrin/default.ttf",
                             "share/tavrin/default.ttf.copyright", "share/tavrin/ui/ui_check_true.tga",
                             "share/tavrin/ui/ui_check_false.tga", "share/tavrin/default_shaders.zml",
                             "share/tavrin/noise.tga"})
        EXPECT_TRUE(std::filesystem::is_regular_file(prefix.Path(file))) << file << "\n" << install.Text();
    const TavrinRun run = ExpectCompleteDeferredRun(prefix.Path("bin/tavrin"));
    EXPECT_TRUE(run.Has("Setup 'attr0_map' (1024x768)"));
}

// The engine's folder comes after the search paths a run names: the data path
// first, then each "-S" path in order, so a scene's own files win.
TEST(DataFolder, SearchedAfterTheDataPathAndTheSearchPaths)
{
    FileSystemGuard guard;
    GlobalSearchPathList.Clear();
    TempDir dir;
    TavrinViewer viewer;
    std::vector<std::string> arguments = {"tavrin", "in.zms", "-f", dir.Path(), "-S", "first", "-S", "second",
                                          "-r", "none", "-m", "none"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    ASSERT_TRUE(viewer.ParseCommandLine(int(argv.size()), argv.data()));
    ASSERT_TRUE(viewer.SetupEnvironment());

    // This test program sits beside the executable, in the build's bin folder.
    const std::string engine = std::filesystem::canonical(TAVRIN_BUILD_DATA).string();
    EXPECT_STREQ(TavrinDataDirectory().Get(), engine.c_str());
    std::vector<std::string> paths;
    for (auto* node = GlobalSearchPathList.GetFirst(); node != nullptr; node = node->next)
        paths.emplace_back(node->value.Get() != nullptr ? node->value.Get() : "");
    EXPECT_EQ(paths, (std::vector<std::string>{dir.Path(), "first", "second", engine}));
}

} // namespace
