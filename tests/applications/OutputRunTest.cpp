// The built executable with a real renderer and real mixers: headless GL
// through SDL's offscreen driver, OpenAL's null driver, SDL's dummy audio and
// the WAV-writing mixer.
#include "RunTavrin.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string Data = std::string(TAVRIN_TEST_DATA) + "/applications/";

void Put16(std::string& out, uint32_t value)
{
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
uint32_t Get32(const std::string& in, size_t at)
{
    return uint32_t(uint8_t(in[at])) | uint32_t(uint8_t(in[at + 1])) << 8 | uint32_t(uint8_t(in[at + 2])) << 16 |
           uint32_t(uint8_t(in[at + 3])) << 24;
}

// Half a second of a 48 kHz mono square wave, loud enough to show in the mix.
void WriteTone(const std::string& path)
{
    const uint32_t frames = 24000;
    std::string wav = "RIFF";
    Put32(wav, 36 + frames * 2);
    wav += "WAVEfmt ";
    Put32(wav, 16);
    Put16(wav, 1);
    Put16(wav, 1);
    Put32(wav, 48000);
    Put32(wav, 48000 * 2);
    Put16(wav, 2);
    Put16(wav, 16);
    wav += "data";
    Put32(wav, frames * 2);
    for (uint32_t i = 0; i < frames; ++i)
        Put16(wav, (i / 50) % 2 != 0 ? 12000u : uint32_t(uint16_t(-12000)));
    std::ofstream(path, std::ios::binary) << wav;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TavrinRun RunSoundScene(const TempDir& dir, const std::string& environment, std::vector<std::string> output,
                        const std::string& scene = "sound.zms")
{
    WriteTone(dir.Path() + "/tone.wav");
    std::vector<std::string> arguments = {scene, "-f", Data, "-S", dir.Path() + "/", "-S", TAVRIN_BUILD_DATA,
                                          "-ignore_esc"};
    arguments.insert(arguments.end(), output.begin(), output.end());
    return RunProgram(dir.Path(), environment + " exec", TAVRIN_EXECUTABLE, arguments);
}

struct DeviceCase {
    const char* name;
    std::vector<std::string> output;
    // A line the run must print, naming the device it used.
    const char* shows;
};

void PrintTo(const DeviceCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeviceRun : public ::testing::TestWithParam<DeviceCase> {};

// Every renderer and device mixer runs the whole scene headless and ends
// normally, with the sound started on channel 0.
TEST_P(DeviceRun, RunsTheSceneToItsEnd)
{
    TempDir dir;
    const TavrinRun run = RunSoundScene(
        dir, // Mesa and SDL keep blocks for the life of the process that LeakSanitizer
        // cannot attribute once the GL driver is unloaded (as in the GL tests).
        "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null LIBGL_ALWAYS_SOFTWARE=1 "
        "ASAN_OPTIONS=detect_leaks=0",
        GetParam().output);
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines(), (std::vector<std::string>{"zad.nut runs, define visible false", "tone on channel 0", "ended after 10 frames"}))
        << run.Text();
    EXPECT_TRUE(run.Has(GetParam().shows)) << run.Text();
    EXPECT_FALSE(run.Has("[!] ")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, DeviceRun,
    ::testing::Values(
        DeviceCase{"OpenGLOffScreen", {"-r", "gl2", "-m", "none"}, "No display: rendering off screen"},
        DeviceCase{"OpenGLSafeMode", {"-r", "gl2", "-m", "none", "-safe_mode"}, "Renderer instantiated with no shader support."},
        DeviceCase{"OpenALNullDriver", {"-r", "none", "-m", "al"}, "Failed to open default device"},
        DeviceCase{"SoftwareMixerDummyDevice", {"-r", "none", "-m", "soft"}, "tone on channel 0"},
        DeviceCase{"BothTogether", {"-r", "gl2", "-m", "al"}, "Renderer: "}),
    [](const ::testing::TestParamInfo<DeviceCase>& info) { return std::string(info.param.name); });

// A script setting viewports out of range every frame, (0, 0, s, s) of the
// output for s = -1, 1e12, NaN, 0, 0.5 and 1, on both frames of the OpenGL
// renderer: the run draws them without a GL error (the test programs' GL
// error check fails the test on one) and without an error line.
class ViewportRun : public ::testing::TestWithParam<const char*> {};

TEST_P(ViewportRun, DrawsViewportsOutOfRangeWithoutAGLError)
{
    TempDir dir;
    dir.Write("viewports.zms",
              "<ZML=1.0>\n<Scene=<Items="
              "<MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera=<Item=<Position=<X=0><Y=2><Z=-10>>>>>>"
              "<ScriptUnit=<Script=\"viewports.nut\"><Class=\"Viewports\">>>\n");
    dir.Write("viewports.nut", "class Viewports {\n"
                               "    frame = 0;\n"
                               "    sizes = [-1.0, 1e12, 0.0 / 0.0, 0.0, 0.5, 1.0];\n"
                               "    function OnUpdate(s) {\n"
                               "        local size = sizes[frame % sizes.len()];\n"
                               "        RendererSetViewport(EngineGetRenderer(g_engine), 0.0, 0.0, size, size);\n"
                               "        frame++;\n"
                               "        if (frame == 12)\n"
                               "            SceneEnd(s);\n"
                               "    }\n"
                               "    function OnDelete(s) { print(\"ended after \" + frame + \" frames\"); }\n"
                               "}\n");
    std::vector<std::string> arguments = {"viewports.zms", "-f",        Data, "-S", dir.Path() + "/", "-S",
                                          TAVRIN_BUILD_DATA, "-ignore_esc", "-r", "gl2",           "-m", "none"};
    if (std::strlen(GetParam()) > 0)
        arguments.push_back(GetParam());
    const TavrinRun run = RunProgram(dir.Path(),
                                     "SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1 ASAN_OPTIONS=detect_leaks=0 exec",
                                     TAVRIN_EXECUTABLE, arguments);
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.ScriptLines().back(), "ended after 12 frames") << run.Text();
    EXPECT_FALSE(run.Has("[!] ")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(Frames, ViewportRun, ::testing::Values("", "-safe_mode"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(std::strlen(info.param) > 0 ? "SafeMode" : "Deferred");
                         });

// The file mixer writes one step per frame, each as long as the frame before
// it took (no step yet on the first frame: one whole buffer), and the WAV's
// header counts exactly what was written.
TEST(FileMixerRun, WavHoldsOneStepPerFrame)
{
    TempDir dir;
    const TavrinRun run = RunSoundScene(dir, "", {"-r", "none", "-m", "file", "out.wav"});
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    uint64_t expected = 0;
    int frames = 0;
    const std::string marker = "Fixed mixer step: ";
    for (const std::string& line : run.lines) {
        const size_t at = line.find(marker);
        if (at == std::string::npos)
            continue;
        const long step = std::stol(line.substr(at + marker.size()));
        expected += step != 0 ? uint64_t(step) : 16384u;
        ++frames;
    }
    EXPECT_EQ(frames, 10) << run.Text();

    const std::string wav = ReadFile(dir.Path() + "/out.wav");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(wav.compare(36, 4, "data"), 0);
    EXPECT_EQ(Get32(wav, 40), expected);
    EXPECT_EQ(wav.size(), 44 + expected);
    EXPECT_EQ(Get32(wav, 4), 36 + expected);
    // The tone is in it: the first frame's samples are not silent.
    bool heard = false;
    for (size_t i = 44; i + 1 < wav.size() && i < 44 + 4096; i += 2)
        heard = heard || wav[i] != 0 || wav[i + 1] != 0;
    EXPECT_TRUE(heard);
}

// A capture that cannot write its sound ends at once, says so once and exits
// with the abnormal end's code, so that a script running it knows.
TEST(FileMixerRun, FullDiskEndsTheRunAbnormally)
{
    TempDir dir;
    const TavrinRun run = RunSoundScene(dir, "", {"-r", "none", "-m", "file", "/dev/full"});
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_EQ(run.Count("Writing the mixer output file '/dev/full' failed"), 1) << run.Text();
    EXPECT_FALSE(run.Has("ended after 10 frames")) << run.Text();
}

// A capture into a pipe whose reader takes 4 KB and leaves ends as on a full
// disk (one error line, the scene shut down, the abnormal end's code) rather
// than being killed by the closed pipe.
TEST(FileMixerRun, ReaderLeavingThePipeEndsTheRunAbnormally)
{
    TempDir dir;
    const std::string fifo = dir.Path() + "/out.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> readerDone{false};
    std::thread reader([&fifo, &readerDone] {
        const int in = open(fifo.c_str(), O_RDONLY);
        if (in >= 0) {
            char buffer[4096];
            size_t taken = 0;
            while (taken < sizeof(buffer)) {
                const ssize_t count = read(in, buffer + taken, sizeof(buffer) - taken);
                if (count <= 0)
                    break;
                taken += size_t(count);
            }
            close(in);
        }
        readerDone = true;
    });
    const TavrinRun run = RunSoundScene(dir, "", {"-r", "none", "-m", "file", "out.fifo"}, "capture.zms");
    // A run that never opened the pipe leaves the reader waiting for a writer:
    // one comes and goes, and the reader sees the end of the pipe.
    while (!readerDone) {
        const int release = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (release >= 0)
            close(release);
        std::this_thread::yield();
    }
    reader.join();
    EXPECT_EQ(run.exitCode, 3) << run.Text();
    EXPECT_EQ(run.Count("[!] "), 1) << run.Text();
    EXPECT_EQ(run.Count("Writing the mixer output file 'out.fifo' failed"), 1) << run.Text();
    // The scene was shut down, before the end it would have reached by itself.
    EXPECT_EQ(run.Count("ended after "), 1) << run.Text();
    EXPECT_FALSE(run.Has("ended after 1000 frames")) << run.Text();
}

// A file mixer that cannot write its file fails set-up instead of running
// without output.
TEST(FileMixerRun, UnwritableOutputFailsSetUp)
{
    TempDir dir;
    const std::string path = dir.Path() + "/no/such/folder/out.wav";
    const TavrinRun run = RunSoundScene(dir, "", {"-r", "none", "-m", "file", path});
    EXPECT_EQ(run.exitCode, 2) << run.Text();
    EXPECT_TRUE(run.Has("[!] TavrinViewer::CreateMixer")) << run.Text();
    EXPECT_TRUE(run.Has("Cannot open the mixer output file '" + path + "'.")) << run.Text();
    EXPECT_TRUE(run.ScriptLines().empty()) << run.Text();
}

} // namespace
