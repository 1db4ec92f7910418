#include "RunTavrin.h"

#include "framework/filesystem/zArchive.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string Data = std::string(TAVRIN_TEST_DATA) + "/applications/";

// Headless runs: no video, no sound, the interface's font from the build.
std::vector<std::string> Headless(std::vector<std::string> arguments)
{
    for (const char* extra : {"-r", "none", "-m", "none", "-S", TAVRIN_BUILD_DATA, "-ignore_esc"})
        arguments.push_back(extra);
    return arguments;
}

// The project's own includes run first, then "scriptlib/zad.nut", then "-I"
// includes; the defines come after all of them.
const std::vector<std::string> StackLines = {
    "project include runs, zad visible false, project true",
    "zad.nut runs, define visible false",
    "include runs, zad visible true, define visible false",
    "OnSetup hello 5 2.5 [true]",
    "hud OnSetup", "hud OnReset", "menu OnSetup", "menu OnReset",
    "frame 1", "menu drawn", "hud drawn",
    "frame 2", "hud drawn", "menu drawn",
    "frame 3", "activate hud false", "menu drawn",
    "frame 4", "menu drawn",
    "OnClose",
};

TEST(ProjectRun, ScriptBuildsReordersAndEndsTheLayerStack)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"stack.zgp", "-P", "-f", Data, "-I", "include.nut", "-Ds",
                                                          "g_text", "hello", "-Di", "g_count", "5", "-Df", "g_ratio",
                                                          "2.5"}));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(), StackLines) << run.Text();
    EXPECT_TRUE(run.Has("Parsing ZML environment..."));
}

TEST(ProjectRun, HandleOfTheWrongKindEndsAfterTheFrameWithCode3)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"wrongkind.zgp", "-P", "-f", Data}));
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_EQ(run.Count("frame 1"), 1) << run.Text();
    EXPECT_FALSE(run.Has("frame 2"));
    EXPECT_FALSE(run.Has("not reached"));
    EXPECT_TRUE(run.Has("Expected 'Project' (4), got 'Engine' (2)."));
    // The hud layer of that frame was still drawn.
    EXPECT_TRUE(run.Has("hud drawn")) << run.Text();
}

TEST(ProjectRun, MissingProjectFileFailsSetUp)
{
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"absent.zgp", "-P", "-f", Data}));
    EXPECT_EQ(run.exitCode, 2) << run.Text();
}

// The same project read from an archive the test writes: only the archive's
// entries are seen, unless the disk is queued as fallback.
TEST(ProjectRun, ArchiveModeReadsEverythingFromTheArchive)
{
    TempDir dir;
    const std::string archivePath = dir.Path("game.zarc");
    {
        zArchive archive;
        ASSERT_TRUE(archive.CreateNew(archivePath.c_str(), nullptr));
        for (const char* name : {"stack.zgp", "stack.nut", "layers.nut", "hud.zml", "menu.zml", "include.nut",
                                 "project_include.nut", "scriptlib/zad.nut"}) {
            std::ifstream in(Data + name, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ASSERT_FALSE(bytes.empty()) << name;
            ASSERT_TRUE(archive.MemoryBlockWrite(name, bytes.data(), uint32_t(bytes.size()), 6)) << name;
        }
        ASSERT_TRUE(archive.Close());
    }
    const std::vector<std::string> arguments = {"stack.zgp", "-P", "-A", archivePath, "-I", "include.nut", "-Ds",
                                                "g_text", "hello", "-Di", "g_count", "5", "-Df", "g_ratio", "2.5"};
    const TavrinRun run = RunTavrin(dir.Path(), Headless(arguments));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(), StackLines) << run.Text();
    // The archive is mounted verbose: its scan lists each entry with its method
    // line. The first entry's data starts after the 12-byte header and its
    // 4-byte name length, 9-byte name, flag byte and two 4-byte sizes.
    EXPECT_TRUE(run.Has("No index provided, please wait while scanning archive...")) << run.Text();
    EXPECT_EQ(run.Count("New entry: '"), 8) << run.Text();
    EXPECT_TRUE(run.Has("New entry: 'scriptlib/zad.nut'"));
    const std::string firstSize = std::to_string(std::filesystem::file_size(Data + "stack.zgp"));
    EXPECT_TRUE(run.Has("[method = 1, len = " + firstSize + ", clen = ")) << run.Text();
    EXPECT_TRUE(run.Has(", offset = 34].")) << run.Text();
    EXPECT_TRUE(run.Has("Done, index table built.")) << run.Text();

    // A project that is not in the archive is not found on the disk either...
    dir.Write("disk.zgp", "<ZML=1.0>\n<Environment=<Name=\"Disk\">>\n");
    const TavrinRun archiveOnly = RunTavrin(dir.Path(), Headless({"disk.zgp", "-P", "-A", archivePath}));
    EXPECT_EQ(archiveOnly.exitCode, 2) << archiveOnly.Text();
    // ...unless the disk is the fallback (the run then waits for Escape, so
    // its script ends it).
    dir.Write("disk.zgp", "<ZML=1.0>\n<Environment=<Name=\"Disk\"><ScriptUnit=<Script=\"disk.nut\"><Class=\"D\">>>\n");
    dir.Write("disk.nut", "class D { function OnUpdate(p) { print(\"disk project\"); ProjectEnd(p); } }\n");
    const TavrinRun fallback = RunTavrin(dir.Path(), Headless({"disk.zgp", "-P", "-A", archivePath, "-fallback_disk_fs"}));
    EXPECT_EQ(fallback.exitCode, 0) << fallback.Text();
    EXPECT_TRUE(fallback.Has("[S] disk project")) << fallback.Text();

    const TavrinRun broken = RunTavrin(dir.Path(), Headless({"stack.zgp", "-P", "-A", dir.Path("absent.zarc")}));
    EXPECT_EQ(broken.exitCode, 2) << broken.Text();
}

} // namespace

namespace {

// The run in the background, headless, on a project of the test data.
std::vector<std::string> HeadlessProject(const char* project)
{
    return Headless({project, "-P", "-f", Data});
}

// Ctrl+C or a termination signal ends the run after the frame, with a clean
// shutdown, as closing the window does.
TEST(ProjectRun, TerminationSignalEndsTheRunCleanly)
{
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        TavrinProcess tavrin(dir.Path(), HeadlessProject("endless.zgp"));
        ASSERT_TRUE(tavrin.Started());
        ASSERT_TRUE(tavrin.WaitForLine("[S] running")) << tavrin.SoFar().Text();
        tavrin.Signal(signal);
        const TavrinRun run = tavrin.Finish();
        EXPECT_EQ(run.exitCode, 0) << run.Text();
        EXPECT_TRUE(run.Has(signal == SIGTERM ? "[!] SIGTERM: the run ends after this frame."
                                              : "[!] SIGINT: the run ends after this frame."))
            << run.Text();
        EXPECT_TRUE(run.Has("[S] OnClose")) << run.Text();
        EXPECT_FALSE(run.Has("exit code 3")) << run.Text();
    }
}

// A frame that does not end after the signal: the script spinning in it is
// stopped with a script error once the grace period is over, and the run ends
// with exit code 3.
TEST(ProjectRun, TerminationSignalStopsASpinningScript)
{
    TempDir dir;
    TavrinProcess tavrin(dir.Path(), HeadlessProject("spin.zgp"));
    ASSERT_TRUE(tavrin.Started());
    ASSERT_TRUE(tavrin.WaitForLine("[S] spinning")) << tavrin.SoFar().Text();
    tavrin.Signal(SIGTERM);
    const TavrinRun run = tavrin.Finish();
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_TRUE(run.Has("[!] SIGTERM: the run ends after this frame.")) << run.Text();
    EXPECT_TRUE(run.Has("[!] The frame or load in progress did not finish within 3 seconds of the stop signal: "
                        "stopping its scripts."))
        << run.Text();
    EXPECT_TRUE(run.Has("[|]     Error: script stopped: the run is ending")) << run.Text();
    EXPECT_TRUE(run.Has("[|]     -> In function OnUpdate() ('" + Data + "spin.nut', Line 8).")) << run.Text();
    EXPECT_TRUE(run.Has("Exiting with code 3: the frame did not finish in time after the stop signal.")) << run.Text();
    // The scripts stay stopped for the shutdown.
    EXPECT_FALSE(run.Has("[S] OnClose")) << run.Text();
}

// A second signal does not wait for the frame.
TEST(ProjectRun, SecondTerminationSignalEndsTheProcessAtOnce)
{
    TempDir dir;
    TavrinProcess tavrin(dir.Path(), HeadlessProject("spin.zgp"));
    ASSERT_TRUE(tavrin.Started());
    ASSERT_TRUE(tavrin.WaitForLine("[S] spinning")) << tavrin.SoFar().Text();
    tavrin.Signal(SIGTERM);
    // The first one is taken before the second is sent, so the two cannot merge.
    ASSERT_TRUE(tavrin.WaitForLine("[!] SIGTERM: the run ends after this frame.")) << tavrin.SoFar().Text();
    tavrin.Signal(SIGTERM);
    const TavrinRun run = tavrin.Finish();
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_TRUE(run.Has("[!] SIGTERM again: ending the process now (exit code 3).")) << run.Text();
}

// A callback that recurses without end is reported as any runtime error is,
// and no script runs afterwards (not even the project's "OnClose").
TEST(ProjectRun, StackOverflowInACallbackIsARuntimeError)
{
    TempDir dir;
    TavrinProcess tavrin(dir.Path(), HeadlessProject("recurse.zgp"));
    ASSERT_TRUE(tavrin.Started());
    ASSERT_TRUE(tavrin.WaitForLine("Function call failed.")) << tavrin.SoFar().Text();
    tavrin.Signal(SIGTERM);
    const TavrinRun run = tavrin.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count("[|] VM runtime error, execution stopped."), 1) << run.Text();
    EXPECT_TRUE(run.Has("[|]     Error: stack overflow")) << run.Text();
    EXPECT_TRUE(run.Has("[|]     -> In function Down() ('" + Data + "recurse.nut', Line 4).")) << run.Text();
    EXPECT_TRUE(run.Has("[|]     -> Called from OnUpdate() ('" + Data + "recurse.nut', Line 9).")) << run.Text();
    EXPECT_TRUE(run.Has(" levels not shown)")) << run.Text();
    EXPECT_FALSE(run.Has("[S] frame 3")) << run.Text();
    EXPECT_FALSE(run.Has("[S] OnClose")) << run.Text();
}

} // namespace

namespace {

// A ray-traced frame of the demo: an uncompressed 320 x 240 TGA showing
// something, not one flat colour.
void ExpectTracedPicture(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path;
    const std::vector<uint8_t> tga((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(tga.size(), 18u);
    const int width = tga[12] | tga[13] << 8;
    const int height = tga[14] | tga[15] << 8;
    const int bytes = tga[16] / 8;
    EXPECT_EQ(tga[2], 2) << "uncompressed true colour";
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    ASSERT_GE(bytes, 3);
    const size_t first = 18 + tga[0];
    const size_t end = first + size_t(width) * size_t(height) * size_t(bytes);
    ASSERT_GE(tga.size(), end);
    int darkest = 3 * 255, brightest = 0;
    for (size_t at = first; at < end; at += size_t(bytes)) {
        const int brightness = tga[at] + tga[at + 1] + tga[at + 2];
        darkest = std::min(darkest, brightness);
        brightest = std::max(brightest, brightness);
    }
    EXPECT_GT(brightest - darkest, 100);
}

// The demo the project ships runs to its end on its own.
TEST(ProjectRun, ShippedDemoEndsByItself)
{
    TempDir dir;
    const std::string demo = std::string(TAVRIN_TEST_DATA) + "/../../data/demo/";
    const TavrinRun run = RunTavrin(dir.Path(), Headless({"demo.zgp", "-P", "-f", demo, "-Di", "demo_frames", "300"}));
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("[S] Demo over after 300 frames")) << run.Text();
    EXPECT_TRUE(run.Has("[S] World: five crates above the floor")) << run.Text();
    EXPECT_FALSE(run.Has("[!] ")) << run.Text();
    EXPECT_FALSE(run.Has("[|] ")) << run.Text();

    // Its last frame, ray traced into the working folder.
    EXPECT_TRUE(run.Has("[S] Ray traced the last frame into demo-raytraced.tga (320 x 240).")) << run.Text();
    ExpectTracedPicture(dir.Path("demo-raytraced.tga"));

    // Asked not to, it writes nothing.
    TempDir quiet;
    const TavrinRun untraced = RunTavrin(
        quiet.Path(), Headless({"demo.zgp", "-P", "-f", demo, "-Di", "demo_frames", "30", "-Di", "demo_raytrace", "0"}));
    EXPECT_EQ(untraced.exitCode, 0) << untraced.Text();
    EXPECT_FALSE(untraced.Has("Ray traced")) << untraced.Text();
    EXPECT_FALSE(std::filesystem::exists(quiet.Path("demo-raytraced.tga")));
}

// With the GL renderer, which releases what it uploads unless told to keep
// it, the ray tracer still sees the meshes and pictures of the world.
TEST(ProjectRun, ShippedDemoRayTracesItsLastFrameOnTheGLRenderer)
{
    TempDir dir;
    const std::string demo = std::string(TAVRIN_TEST_DATA) + "/../../data/demo/";
    const TavrinRun run = RunProgram(
        dir.Path(),
        // Mesa and SDL keep blocks that LeakSanitizer cannot attribute once the
        // GL driver is unloaded (as in the GL tests).
        "SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1 ASAN_OPTIONS=detect_leaks=0 exec", TAVRIN_EXECUTABLE,
        {"demo.zgp", "-P", "-f", demo, "-r", "gl2", "-m", "none", "-S", TAVRIN_BUILD_DATA, "-ignore_esc", "-Di",
         "demo_frames", "120", "-Ds", "demo_trace", "last.tga"});
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_TRUE(run.Has("[S] Ray traced the last frame into last.tga (320 x 240).")) << run.Text();
    EXPECT_FALSE(run.Has("no mesh left to trace")) << run.Text();
    ExpectTracedPicture(dir.Path("last.tga"));
}

} // namespace
