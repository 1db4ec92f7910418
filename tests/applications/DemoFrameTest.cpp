// The shipped demo drawn by the OpenGL renderer (the deferred frame, with the settings
// the executable reads), off screen, and read back: the world must be lit, the lamp's
// shadow and the sky visible, and the overlay's panel and text in front.
#include "applications/skorva/TavrinViewer.h"
#include "core/render/zRendererSettings.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"
#include "support/FileSystemGuard.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocator keeps the heap (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

const std::string Demo = std::string(TAVRIN_TEST_DATA) + "/../../data/demo/";
constexpr int Width = 800;
constexpr int Height = 600;

struct Rgb {
    int r, g, b;
};

// Bottom row first, as GL reads it.
Rgb At(const std::vector<uint8_t>& pixels, int x, int yFromTop)
{
    const size_t at = (size_t(Height - 1 - yFromTop) * Width + size_t(x)) * 3;
    return {pixels[at], pixels[at + 1], pixels[at + 2]};
}

bool Near(Rgb a, Rgb b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// An uncompressed 24-bit TGA, bottom row first like the read-back.
void WriteTga(const std::string& path, const std::vector<uint8_t>& pixels)
{
    std::ofstream out(path, std::ios::binary);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(Width & 0xFF), uint8_t(Width >> 8),
                                uint8_t(Height & 0xFF), uint8_t(Height >> 8), 24, 0};
    out.write(reinterpret_cast<const char*>(header), sizeof(header));
    for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const char bgr[3] = {char(pixels[i + 2]), char(pixels[i + 1]), char(pixels[i])};
        out.write(bgr, 3);
    }
}

TEST(DemoFrame, LitWorldWithTheOverlayInFront)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    FileSystemGuard guard;
    // Sixtieth-of-a-second frames whatever the machine's load: the crates are
    // where the physics puts them after that many steps.
    const int32_t savedStep = GlobalFixedFrameStep;
    GlobalFixedFrameStep = 166;
    TavrinViewer viewer;
    std::vector<std::string> arguments = {"tavrin", "demo.zgp", "-P",    "-f",          Demo,       "-S",
                                          TAVRIN_BUILD_DATA, "-r", "gl2", "-m", "none", "-ignore_esc"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    viewer.Init();
    // The renderer settings the executable runs the demo with (shadow maps,
    // bloom), at the size this test reads back.
    ASSERT_TRUE(viewer.LoadConfiguration((std::string(TAVRIN_TEST_DATA) + "/../../data/tavrin.conf").c_str()));
    viewer.width = Width;
    viewer.height = Height;
    ASSERT_TRUE(viewer.ParseCommandLine(int(argv.size()), argv.data()));
    ASSERT_TRUE(viewer.Setup());
    // Long enough for the crates to land and the overlay to count them.
    for (int frame = 0; frame < 150; ++frame)
        ASSERT_TRUE(viewer.Frame());

    // One more frame, read back before it is presented.
    viewer.core.BeginDraw(true);
    viewer.project.Evaluate(63);
    viewer.project.Render(0);
    const uint32_t drawCalls = viewer.core.renderer->statistics[3];
    std::vector<uint8_t> pixels(size_t(Width) * Height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    viewer.core.EndDraw(false, false);
    if (const char* out = std::getenv("TAVRIN_DEMO_FRAME"))
        WriteTga(out, pixels);

    // The five crates and the floor, each one draw call, were sent to GL.
    EXPECT_GE(drawCalls, 6u);
    // A project clears to black; the world's script clears to its sky, the
    // scene's background colour, which shows above the horizon unlit.
    const Rgb sky = At(pixels, Width - 4, 100);
    EXPECT_TRUE(Near(sky, {89, 115, 153}, 3)) << sky.r << " " << sky.g << " " << sky.b;
    // The overlay panel sits in the top left corner over the sky: a darker
    // blue-grey, not black.
    const Rgb panel = At(pixels, 100, 30);
    EXPECT_FALSE(Near(panel, {0, 0, 0}, 4));
    EXPECT_LT(panel.r + panel.g + panel.b, sky.r + sky.g + sky.b - 100);
    EXPECT_GT(panel.b, panel.r);
    // Its two lines of text show as bright pixels on it.
    int text = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 320; ++x) {
            const Rgb p = At(pixels, x, y);
            text += p.r + p.g + p.b > 450 ? 1 : 0;
        }
    }
    EXPECT_GT(text, 100);
    // The title is amber, more red than blue, as the overlay colours it.
    int amber = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 320; ++x) {
            const Rgb p = At(pixels, x, y);
            amber += p.r > 200 && p.b < 150 ? 1 : 0;
        }
    }
    EXPECT_GT(amber, 20);
    // Below the horizon the lit floor covers everything, and the crates stand
    // on it in a colour of their own. Both are textured and lit: the floor's
    // checker shows dark and light tiles, and the crates show their dark
    // frame as well as their bright planks, so neither is one flat colour.
    int black = 0;
    int floor = 0;
    int crate = 0;
    int floorDarkest = 255 * 3, floorBrightest = 0;
    int crateDarkest = 255, crateBrightest = 0;
    const Rgb floorColour = At(pixels, 40, Height - 40);
    for (int y = Height / 2; y < Height; y += 4) {
        for (int x = 0; x < Width; x += 4) {
            const Rgb p = At(pixels, x, y);
            black += Near(p, {0, 0, 0}, 8) ? 1 : 0;
            if (std::abs(p.r - p.g) <= 6 && p.b >= p.g) {
                ++floor;
                floorDarkest = std::min(floorDarkest, p.r + p.g + p.b);
                floorBrightest = std::max(floorBrightest, p.r + p.g + p.b);
            }
            if (p.r > p.b + 40) {
                ++crate;
                crateDarkest = std::min(crateDarkest, p.r);
                crateBrightest = std::max(crateBrightest, p.r);
            }
        }
    }
    EXPECT_GT(floorColour.r + floorColour.g + floorColour.b, 90);
    EXPECT_EQ(black, 0);
    EXPECT_GT(floor, 8000);
    EXPECT_GT(crate, 400);
    EXPECT_GT(floorBrightest - floorDarkest, 60);
    EXPECT_GT(crateBrightest - crateDarkest, 50);
    // The lamp's shadow: the crates stacked near the middle throw it onto the
    // floor to their left, where the floor is far darker than in the lamp's
    // light just in front of it on the same tile.
    auto brightness = [&](int x0, int y0) {
        int sum = 0;
        for (int y = y0 - 2; y <= y0 + 2; ++y)
            for (int x = x0 - 2; x <= x0 + 2; ++x) {
                const Rgb p = At(pixels, x, y);
                sum += p.r + p.g + p.b;
            }
        return sum / 25;
    };
    const int shadowed = brightness(180, 310);
    const int lit = brightness(60, 340);
    EXPECT_LT(shadowed * 4, lit * 3) << shadowed << " against " << lit;
    EXPECT_GT(shadowed, 150) << "the ambient and the sun still reach the shadow";
    viewer.Shutdown();
    GlobalFixedFrameStep = savedStep;
}

// Bytes the process holds on its heap now, the GL driver's blocks included.
size_t LiveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

zRenderer* countedRenderer = nullptr;
uint32_t objectsDrawn = 0;

// At the end of each frame, before the main loop zeroes the statistics.
void CountObjectsDrawn()
{
    objectsDrawn += countedRenderer->statistics[zRenderer::StatObjectsDrawn];
}

// The demo's world alone in scene mode on the fixed-function frame: nothing
// in it reads a picture back or updates a texture, so only the end of the
// frame hands the driver its work. Each frame must leave the heap as it found
// it once the driver's pools have their working size; a driver left to queue
// frames holds 17 KB or more after each one.
TEST(DemoFrame, WorldSceneOnTheFixedFunctionFrameKeepsItsMemory)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    FileSystemGuard guard;
    const int32_t savedStep = GlobalFixedFrameStep;
    GlobalFixedFrameStep = 166;
    TavrinViewer viewer;
    std::vector<std::string> arguments = {"tavrin", "world.zms", "-f", Demo,   "-S",         TAVRIN_BUILD_DATA,
                                          "-r",     "gl2",       "-m", "none", "-safe_mode", "-ignore_esc"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    viewer.Init();
    ASSERT_TRUE(viewer.ParseCommandLine(int(argv.size()), argv.data()));
    ASSERT_TRUE(viewer.Setup());
    ASSERT_NE(0u, viewer.core.renderer->optionFlags & zRendererOption::DisableShader);
    // The least the heap holds over the last frames of a run: what a frame
    // leaves behind, without the blocks of one still being drawn.
    auto runFrames = [&viewer](int frames) {
        size_t least = SIZE_MAX;
        for (int frame = 0; frame < frames; ++frame) {
            if (!viewer.Frame())
                return size_t(0);
            if (frame >= frames - 20)
                least = std::min(least, LiveHeapBytes());
        }
        return least;
    };
    // The crates settle and the driver's pools reach their working size
    // first (100 to 500 frames here, sooner when the machine is busy).
    const size_t before = runFrames(600);
    ASSERT_NE(0u, before);
    countedRenderer = viewer.core.renderer;
    objectsDrawn = 0;
    size_t after = 0;
    {
        struct HookScope {
            zFrameHook saved = GlobalEndOfFrameHook;
            HookScope() { GlobalEndOfFrameHook = &CountObjectsDrawn; }
            ~HookScope() { GlobalEndOfFrameHook = saved; }
        } counting;
        after = runFrames(1000);
    }
    ASSERT_NE(0u, after);
    EXPECT_GE(objectsDrawn, 1000u * 6) << "the floor and the five crates drawn every frame";
    EXPECT_LT(after, before + 4 * 1024 * 1024) << (after - before) / 1000 << " bytes more per frame";
    viewer.Shutdown();
    GlobalFixedFrameStep = savedStep;
}

} // namespace
