#include "RunTavrin.h"

#include "applications/skorva/TavrinViewer.h"
#include "core/render/zNullRenderer.h"
#include "core/render/zRendererSettings.h"
#include "core/camera/zCamera.h"
#include "framework/data_structure/zProperty.h"
#include "framework/system/zLogStream.h"
#include "platform/PlatformEvents.h"
#include "platform/PlatformFile.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct CommandLineCase {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    // A line that must appear ("" for none), and one that must not.
    const char* expected;
    const char* absent;
};

void PrintTo(const CommandLineCase& c, std::ostream* out)
{
    *out << c.name;
}

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, ExitCodeAndMessage)
{
    const CommandLineCase& c = GetParam();
    TempDir dir;
    const TavrinRun run = RunTavrin(dir.Path(), c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.Text();
    if (c.expected[0] != '\0') {
        EXPECT_TRUE(run.Has(c.expected)) << c.expected << "\n" << run.Text();
    }
    if (c.absent[0] != '\0') {
        EXPECT_FALSE(run.Has(c.absent)) << c.absent << "\n" << run.Text();
    }
    // The banner comes first in every run.
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0], "Tavrin stand-alone executable.");
}

const char* const Missing = "[!] TavrinViewer::ParseCommandLine";

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(
        CommandLineCase{"NoArgument", {}, 1, "Usage: tavrin input(.zms|.zgp) <-P> <-f|-A> <-S>", Missing},
        CommandLineCase{"LogLevelWithoutMask", {"in", "-log_level"}, 1, "-log_level: Missing mask.", ""},
        CommandLineCase{"RootWithoutPath", {"in", "-f"}, 1, "-f: Missing root path.", ""},
        CommandLineCase{"ArchiveWithoutPath", {"in", "-A"}, 1, "-A: Missing archive path.", ""},
        CommandLineCase{"RendererWithoutId", {"in", "-r"}, 1, "-r: Missing renderer id.", ""},
        CommandLineCase{"MixerWithoutId", {"in", "-m"}, 1, "-m: Missing mixer id.", ""},
        CommandLineCase{"FileMixerWithoutOutput", {"in", "-m", "file"}, 1, "-m: Missing mixer output file.", ""},
        CommandLineCase{"SearchPathMissing", {"in", "-S"}, 1, "-S: Missing search path.", ""},
        CommandLineCase{"IncludeMissing", {"in", "-I"}, 1, "-I: Missing include path.", ""},
        CommandLineCase{"StringDefineOneValue", {"in", "-Ds", "name"}, 1,
                        "-Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")", ""},
        CommandLineCase{"StringDefineLast", {"in", "-r", "none", "-Ds"}, 1, "-Ds: Incomplete key-value pair.", ""},
        CommandLineCase{"IntegerDefineOneValue", {"in", "-Di", "n"}, 1,
                        "-Di: Incomplete key-value pair. (eg. -Di my_var 5)", ""},
        CommandLineCase{"FloatDefineOneValue", {"in", "-Df", "f"}, 1,
                        "-Df: Incomplete key-value pair. (eg. -Df my_var 5.5)", ""},
        CommandLineCase{"UnknownOption", {"in", "-bogus"}, 1, "Unknown command line parameter '-bogus'", ""},
        CommandLineCase{"OptionsAreCaseSensitive", {"in", "-p"}, 1, "Unknown command line parameter '-p'", ""},
        CommandLineCase{"RendererList", {"dummy", "-r", "list"}, 2, "'gl2'\t\t\t\t: OpenGL 2.0 based hardware renderer.",
                        "Available mixer ID:"},
        CommandLineCase{"MixerList", {"dummy", "-r", "none", "-m", "list"}, 2,
                        "'file' <output.wav>\t: Software mixer with output to file.", "Available renderer ID:"},
        CommandLineCase{"UnknownRendererSaysNothing", {"in", "-r", "vulkan", "-m", "none"}, 2, "", "[!] TavrinViewer"},
        CommandLineCase{"UnknownMixerSaysNothing", {"in", "-r", "none", "-m", "midi"}, 2, "", "[!] TavrinViewer"},
        CommandLineCase{"MaskNoneHidesTheList", {"dummy", "-log_level", "n", "-r", "list"}, 2, "",
                        "Available renderer ID:"},
        CommandLineCase{"MaskAllThenNoneHidesTheList", {"dummy", "-log_level", "an", "-r", "list"}, 2, "",
                        "Available renderer ID:"},
        CommandLineCase{"MaskStandardShowsTheList", {"dummy", "-log_level", "s", "-r", "list"}, 2,
                        "Available renderer ID:", ""},
        CommandLineCase{"MaskErrorsOnlyHidesStandardLines", {"missing.zgp", "-P", "-log_level", "!S", "-r", "none",
                                                            "-m", "none"},
                        2, "[!] ", "Parsing ZML environment..."}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

// In-process cases: what the command line leaves in the viewer.
class ViewerFixture : public ::testing::Test {
protected:
    ~ViewerFixture() override { GlobalLog.VerbosityMask = 0xFF; }

    bool Parse(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "tavrin");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        return viewer.ParseCommandLine(int(argv.size()), argv.data());
    }

    FileSystemGuard guard;
    LogCapture log;
    TavrinViewer viewer;
};

TEST_F(ViewerFixture, LogLevelMasksApplyLettersLeftToRight)
{
    const struct {
        const char* letters;
        uint8_t mask;
    } cases[] = {
        {"a", 255}, {"n", 0}, {"!S", 24}, {"s", 1}, {"H", 2}, {"*", 4}, {"an", 0}, {"na", 255}, {"!an*", 4}, {"xyz", 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Parse({"in", "-log_level", c.letters})) << c.letters;
        EXPECT_EQ(GlobalLog.VerbosityMask, c.mask) << c.letters;
    }
}

TEST_F(ViewerFixture, OptionsFillTheViewer)
{
    ASSERT_TRUE(Parse({"game.zgp", "-P", "-A", "first.arc", "-f", "second", "-r", "none", "-m", "file", "out.wav",
                       "-S", "s1", "-S", "s2", "-I", "i1", "-Ds", "text", "hello world", "-Di", "count", "12abc",
                       "-Df", "ratio", "2.5", "-ignore_esc", "-ignore_missing", "-fallback_disk_fs", "-safe_mode"}));
    EXPECT_STREQ(viewer.inputFile.Get(), "game.zgp");
    EXPECT_EQ(viewer.projectMode, 1);
    // "-f" after "-A" keeps archive mode with the later path.
    EXPECT_EQ(viewer.archiveMode, 1);
    EXPECT_STREQ(viewer.dataPath.Get(), "second");
    EXPECT_STREQ(viewer.rendererId.Get(), "none");
    EXPECT_STREQ(viewer.mixerId.Get(), "file");
    EXPECT_STREQ(viewer.mixerOutputFile.Get(), "out.wav");
    EXPECT_EQ(viewer.searchPaths.GetCount(), 2);
    EXPECT_EQ(viewer.includes.GetCount(), 1);
    ASSERT_EQ(viewer.defines.GetCount(), 3);
    auto* node = viewer.defines.GetFirst();
    const char* text = nullptr;
    ASSERT_TRUE(node->value->GetString(text));
    EXPECT_STREQ(text, "hello world");
    int32_t count = 0;
    ASSERT_TRUE(node->next->value->GetInt(count));
    EXPECT_EQ(count, 12);
    float ratio = 0.0f;
    ASSERT_TRUE(node->next->next->value->GetFloat(ratio));
    EXPECT_FLOAT_EQ(ratio, 2.5f);
    EXPECT_TRUE(viewer.ignoreEscape && viewer.ignoreMissing && viewer.fallbackDiskFS && viewer.safeMode);
}

TEST_F(ViewerFixture, ConfigurationTakesOnlyKeysOfTheirType)
{
    TempDir dir;
    const float aspectBefore = GlobalAspectRatio;
    dir.Write("typed.conf", "<ZML=1.0>\n<Fullscreen=1>\n<Width=1024>\n<Height=768>\n<AspectRatio=1.5>\n");
    ASSERT_TRUE(viewer.LoadConfiguration(dir.Path("typed.conf").c_str()));
    EXPECT_TRUE(viewer.fullScreen);
    EXPECT_EQ(viewer.width, 1024);
    EXPECT_EQ(viewer.height, 768);
    EXPECT_FLOAT_EQ(viewer.aspectRatio, 1.5f);
    EXPECT_FLOAT_EQ(GlobalAspectRatio, 1.5f);

    TavrinViewer other;
    dir.Write("mistyped.conf", "<ZML=1.0>\n<Fullscreen=\"yes\">\n<Width=1024.0>\n<Height=\"768\">\n<AspectRatio=2>\n");
    ASSERT_TRUE(other.LoadConfiguration(dir.Path("mistyped.conf").c_str()));
    EXPECT_FALSE(other.fullScreen);
    EXPECT_EQ(other.width, 800);
    EXPECT_EQ(other.height, 600);
    EXPECT_FLOAT_EQ(other.aspectRatio, 1.0f);

    TavrinViewer missing;
    EXPECT_FALSE(missing.LoadConfiguration(dir.Path("absent.conf").c_str()));
    EXPECT_EQ(missing.width, 800);
    GlobalAspectRatio = aspectBefore;
}

// "-safe_mode" survives renderer settings that do not name "DisableShader".
TEST_F(ViewerFixture, SafeModeIsAppliedAfterTheRendererSettings)
{
    TempDir dir;
    dir.Write("tavrin.conf", "<ZML=1.0>\n<Width=640>\n<Bloom=1>\n");
    ASSERT_TRUE(viewer.LoadConfiguration(dir.Path("tavrin.conf").c_str()));
    ASSERT_TRUE(Parse({"in", "-safe_mode"}));
    viewer.renderer = new zNullRenderer(&viewer.core, true);
    viewer.renderer->optionFlags = zRendererOption::DisableShader | zRendererOption::TextureForceTrueColor;
    ASSERT_TRUE(viewer.ApplyRendererSettings());
    EXPECT_EQ(viewer.renderer->optionFlags, zRendererOption::DisableShader);
    EXPECT_EQ(viewer.renderer->effectFlags, zRendererEffect::Bloom);

    TavrinViewer plain;
    plain.renderer = new zNullRenderer(&plain.core, true);
    plain.renderer->optionFlags = zRendererOption::DisableShader;
    ASSERT_TRUE(plain.ApplyRendererSettings());
    EXPECT_EQ(plain.renderer->optionFlags, 0u);
}

TEST_F(ViewerFixture, EscapeAndClosingTheWindowEndTheRun)
{
    EXPECT_TRUE(viewer.PumpMessages());
    PlatformInjectEscape();
    EXPECT_FALSE(viewer.PumpMessages());
    EXPECT_TRUE(viewer.PumpMessages());

    viewer.ignoreEscape = true;
    PlatformInjectEscape();
    EXPECT_TRUE(viewer.PumpMessages());
    PlatformInjectCloseRequest();
    EXPECT_FALSE(viewer.PumpMessages());
    EXPECT_TRUE(viewer.PumpMessages());
}

TEST_F(ViewerFixture, MissingResourceEndsTheRunUnlessIgnored)
{
    ResourceMissingFlag = 0;
    EXPECT_FALSE(viewer.CheckAbnormalTermination());
    ResourceMissingFlag = 1;
    EXPECT_TRUE(viewer.CheckAbnormalTermination());
    EXPECT_TRUE(log.Contains("[!] TavrinViewer::CheckAbnormalTermination"));
    EXPECT_TRUE(log.Contains("Exiting due to missing resources."));
    viewer.ignoreMissing = true;
    EXPECT_FALSE(viewer.CheckAbnormalTermination());
    ResourceMissingFlag = 0;
}

TEST_F(ViewerFixture, ShutdownRunsTwiceHarmlessly)
{
    EXPECT_TRUE(viewer.Shutdown());
    EXPECT_TRUE(viewer.Shutdown());
    EXPECT_EQ(viewer.core.renderer, viewer.core.defaultRenderer);
    EXPECT_EQ(viewer.core.mixer, viewer.core.defaultMixer);
}

TEST(ExecutableDirectory, CutAfterTheLastSeparator)
{
    const struct {
        const char* argv0;
        const char* directory;
    } cases[] = {
        {"/opt/tavrin/bin/tavrin", "/opt/tavrin/bin/"},
        {"./tavrin", "./"},
        {"build\\bin\\tavrin.exe", "build\\bin\\"},
        {"C:tavrin", "C:"},
        {"a/b\\c:d", "a/b\\c:"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(TavrinExecutableDirectory(c.argv0).Get(), c.directory) << c.argv0;

    // A bare name: where this very program lives.
    std::string real;
    ASSERT_TRUE(PlatformExecutableDirectory(real));
    EXPECT_STREQ(TavrinExecutableDirectory("tavrin").Get(), real.c_str());
    EXPECT_EQ(real.back(), '/');
}

// Started through PATH, the executable still reads the configuration beside it.
TEST(ExecutableDirectory, ConfigurationBesideAnExecutableFoundThroughPath)
{
    TempDir dir;
    const std::string bin = dir.Path("bin");
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(TAVRIN_EXECUTABLE, bin + "/tavrin");
    std::filesystem::permissions(bin + "/tavrin", std::filesystem::perms::owner_all);
    dir.Write("bin/tavrin.conf", "this is not ZML");
    const TavrinRun run = RunProgram(dir.Path(), "PATH=" + ShellQuote(bin) + ":\"$PATH\" exec", "tavrin",
                                     {"dummy", "-r", "list"});
    EXPECT_EQ(run.exitCode, 2) << run.Text();
    EXPECT_TRUE(run.Has(bin + "/tavrin.conf")) << run.Text();
}

} // namespace
