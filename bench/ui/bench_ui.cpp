#include "core/render/zNullRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "framework/system/device/zInputSource.h"
#include "framework/system/zLogStream.h"
#include "ui/zCheckWidget.h"
#include "ui/zPictureWidget.h"
#include "ui/zScene2D.h"
#include "ui/zSizer.h"
#include "ui/zTextLayout.h"
#include "ui/zTextWidget.h"
#include "ui/zTrueTypeFont.h"
#include "ui/zWindow.h"

#include "ui/TrueTypeBuilder.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

bool OpenFonts()
{
    static const bool open = [] {
        GlobalLog.VerbosityMask = zLogStream::Error;
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        return zScene2D::OpenFontSystem();
    }();
    return open;
}

// 10,000 words of 2 to 9 letters, a colour change every 40 words and a size
// change every 250, from a fixed seed.
std::string MarkupText()
{
    std::string text;
    uint32_t seed = 2024;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int word = 0; word < 10000; ++word) {
        if (word % 40 == 0)
            text += "~~Color(" + std::to_string(next() % 256) + "," + std::to_string(next() % 256) + ",200,255)";
        if (word % 250 == 0)
            text += "~~Size(" + std::to_string(12 + next() % 8) + ")";
        const uint32_t letters = 2 + next() % 8;
        for (uint32_t i = 0; i < letters; ++i)
            text += char('a' + next() % 26);
        text += ' ';
    }
    return text;
}

// No cursor input: the frame benchmarks measure drawing, the mouse is idle.
class IdleInput : public zInputSource {
public:
    bool IsKeyDown(int32_t) override { return false; }
    void GetCursorPosition(int32_t& x, int32_t& y) override { x = y = 0; }
    void GetClientSize(int32_t& w, int32_t& h) override
    {
        w = 1280;
        h = 960;
    }
    bool SetCursorPosition(int32_t, int32_t) override { return true; }
    int32_t GetFullScreenWidth() override { return 1280; }
};

// Runs work in a child process and gives the child's peak resident size in
// MiB, or -1 when it fails: each row's peak is its own, not the peak of the
// rows before it in this program.
double PeakMegabytesOf(const std::function<void()>& work)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

// Times are per frame. Lays 10,000 words of markup out as a justified paragraph 1024 pixels wide
// and draws it into a cleared picture of that width.
static void BM_LayoutAndRenderMarkup(benchmark::State& state)
{
    if (!OpenFonts()) {
        state.SkipWithError("default.ttf not found");
        return;
    }
    const std::string text = MarkupText();
    zTextParameters parameters;
    parameters.font = zScene2D::GetDefaultFont();
    parameters.size = 14;
    parameters.format = zTextParameters::FormatParagraph;
    parameters.align = zTextParameters::AlignJustify;
    const zPicture::Rect area{0, 0, 1024, 1 << 20};
    const zPicture::Rect extent = ComputeTextRect(text.c_str(), parameters, area);
    zPicture picture;
    picture.AllocAs(1024, extent.y1 + 32, PixelFormatARGB32);
    const zPicture::Rect placed{0, 0, 1024, extent.y1 + 32};
    // Drawn into a cleared picture each time, as a window redraws its cache.
    for (auto _ : state) {
        picture.Fill(0, 0, 0, 0);
        ComputeTextRect(text.c_str(), parameters, area);
        RenderTextToPicture(picture, text.c_str(), parameters, placed, placed);
        benchmark::DoNotOptimize(picture.pixels);
    }
    state.counters["lines"] = double(GlobalTextLines.count);
}
BENCHMARK(BM_LayoutAndRenderMarkup)->Unit(benchmark::kMillisecond);

// One frame of a 2D scene of 100 windows with 10 widgets each (a column of
// texts, check boxes, a canvas and a spacer). Arg 0: nothing changed since the
// last frame; arg 1: every window redraws its tree (invalidated each frame).
static void BM_SceneFrame(benchmark::State& state)
{
    if (!OpenFonts()) {
        state.SkipWithError("default.ttf not found");
        return;
    }
    const bool redraw = state.range(0) != 0;
    Tavrin core;
    zNullRenderer renderer(&core, true);
    renderer.outputWidth = 1280;
    renderer.outputHeight = 960;
    IdleInput input;
    auto scene = std::make_unique<zScene2D>(&core, nullptr, &input);
    scene->SetCursor("ui/ui_check_true.tga");
    std::vector<zWindow*> windows;
    for (int w = 0; w < 100; ++w) {
        const float position[2] = {float(w % 10) * 125.0f, float(w / 10) * 95.0f};
        const float size[2] = {120.0f, 90.0f};
        auto* window = new zWindow(scene.get(), nullptr, w, "Window", position, size);
        window->SetBackgroundColor(0.1f, 0.1f, 0.2f, 0.8f);
        auto* column = new zVerticalSizer(scene.get(), 0);
        for (int i = 0; i < 6; ++i)
            column->AddWidget(new zTextWidget(scene.get(), 1 + i, "Widget text", nullptr, 10));
        column->AddWidget(new zCheckWidget(scene.get(), 7, "Check", w % 2 == 0));
        column->AddWidget(new zCanvasWidget(scene.get(), 8, 16, 8));
        column->AddWidget(new zSpacerWidget(scene.get(), 9));
        window->SetBaseWidget(column);
        windows.push_back(window);
    }
    scene->Render();
    for (auto _ : state) {
        if (redraw)
            for (zWindow* window : windows)
                window->Invalidate();
        scene->Render();
    }
}
BENCHMARK(BM_SceneFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Every ordered pair of the printable ASCII glyphs ("!" to "~"): 17,672
// characters that ask the kerning cache for every pair, measured at 2,000
// sizes the font refuses (arg 0: 2000 to 3999) or at every size it accepts
// (arg 1: 1 to 1024). The time and peak are those of the whole row.
static void BM_MeasurePairsAtManySizes(benchmark::State& state)
{
    if (!OpenFonts()) {
        state.SkipWithError("default.ttf not found");
        return;
    }
    std::string text;
    for (char left = '!'; left <= '~'; ++left)
        for (char right = '!'; right <= '~'; ++right) {
            text += left;
            text += right;
        }
    const bool valid = state.range(0) != 0;
    const int32_t first = valid ? 1 : 2000;
    const int32_t last = valid ? zTrueTypeFont::MaxPixelSize : 3999;
    double peak = 0.0;
    for (auto _ : state) {
        peak = PeakMegabytesOf([&] {
            zTextParameters parameters;
            parameters.font = zScene2D::GetDefaultFont();
            for (int32_t size = first; size <= last; ++size) {
                parameters.size = size;
                benchmark::DoNotOptimize(ComputeTextRect(text.c_str(), parameters, zPicture::Rect{0, 0, 0, 0}));
            }
        });
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_MeasurePairsAtManySizes)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// A font of 16 units per em whose "A" and "B" are filled squares of 32,760
// units: at 16 pixels each glyph would be a 1 GiB bitmap. "A" measured once,
// "AB" ten times, then "AB" drawn ten times into a 256 x 64 picture.
static void BM_HugeGlyphFont(benchmark::State& state)
{
    if (!OpenFonts()) {
        state.SkipWithError("default.ttf not found");
        return;
    }
    TrueTypeFontSpec spec;
    spec.unitsPerEm = 16;
    spec.ascender = 14;
    spec.descender = -2;
    for (char c : {'A', 'B'}) {
        TrueTypeGlyphSpec glyph;
        glyph.codePoint = uint32_t(c);
        glyph.advance = 32760;
        glyph.contours = {TrueTypeSquare(32760)};
        spec.glyphs.push_back(glyph);
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tavrin-bench-huge-" + std::to_string(getpid()) + ".ttf")).string();
    std::ofstream(path, std::ios::binary) << BuildTrueType(spec);
    zTrueTypeFont* font = zScene2D::OpenFont(path.c_str());
    std::filesystem::remove(path);
    if (font == nullptr) {
        state.SkipWithError("the generated font did not open");
        return;
    }
    double peak = 0.0;
    for (auto _ : state) {
        peak = PeakMegabytesOf([&] {
            zTextParameters parameters;
            parameters.font = font;
            parameters.size = 16;
            const zPicture::Rect none{0, 0, 0, 0};
            benchmark::DoNotOptimize(ComputeTextRect("A", parameters, none));
            for (int i = 0; i < 10; ++i)
                benchmark::DoNotOptimize(ComputeTextRect("AB", parameters, none));
            zPicture picture;
            picture.AllocAs(256, 64, PixelFormatARGB32);
            const zPicture::Rect all{0, 0, 256, 64};
            for (int i = 0; i < 10; ++i) {
                ComputeTextRect("AB", parameters, all);
                RenderTextToPicture(picture, "AB", parameters, all, all);
            }
            benchmark::DoNotOptimize(picture.pixels);
        });
    }
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_HugeGlyphFont)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
