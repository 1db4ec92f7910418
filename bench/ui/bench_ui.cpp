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

#include <benchmark/benchmark.h>

#include <cstdint>
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
