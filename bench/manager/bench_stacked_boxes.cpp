// Boxes spawned at one point: n unit boxes with rigid bodies placed all at
// the same spot on a floor, against the control of the same boxes spread 2
// apart on a grid. Every pair of stacked boxes overlaps, so the contacts
// outnumber the solver's buffer. Each run steps 20 frames of 1/60 s on the
// null renderer and gives the longest and the mean frame and the most memory
// the program held above what it held before the scene was made.

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "script/zScriptMaster.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>

namespace {

std::atomic<int64_t> heldBytes{0};
std::atomic<int64_t> peakBytes{0};

void* Take(size_t size)
{
    void* p = std::malloc(size > 0 ? size : 1);
    if (p != nullptr) {
        const int64_t now = heldBytes += int64_t(malloc_usable_size(p));
        int64_t peak = peakBytes.load();
        while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}

void Give(void* p)
{
    if (p == nullptr)
        return;
    heldBytes -= int64_t(malloc_usable_size(p));
    std::free(p);
}

} // namespace

// Every allocation of the program is counted, so that the peak covers the
// pairs and contacts a frame makes and frees.
void* operator new(size_t size)
{
    if (void* p = Take(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return Take(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return Take(size);
}
void operator delete(void* p) noexcept
{
    Give(p);
}
void operator delete[](void* p) noexcept
{
    Give(p);
}
void operator delete(void* p, size_t) noexcept
{
    Give(p);
}
void operator delete[](void* p, size_t) noexcept
{
    Give(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    Give(p);
}

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

constexpr int FrameCount = 20;

using Clock = std::chrono::steady_clock;

std::string ScratchDirectory()
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "tavrin-bench-stacked";
    std::filesystem::create_directories(path);
    return path.string();
}

std::string BoxTag(int uid, const char* name, float x, float y, float z, float size, bool rigid, bool listening)
{
    char text[1024];
    std::snprintf(text, sizeof(text),
                  "  <MObject=<MItem=<Id=\"%s\"><UId=%d><Active>"
                  "<GColItem=<Active><Shapes=<GColShape=<Active><Type=\"Cuboid\"><Dimensions=<X=%g><Y=1><Z=%g>>"
                  "<Mass=%g>>>>%s%s>"
                  "<Object=<Item=<Position=<X=%g><Y=%g><Z=%g>>>>>\n",
                  name, uid, size, size, rigid ? 1.0 : 0.0, rigid ? "<TauItem=<Mode=<Rigid>><Mass=1>>" : "",
                  listening ? "<ScriptUnit=<Script=\"box.nut\"><Class=\"Box\">>" : "", x, y, z);
    return text;
}

// range(0) boxes; range(1) 1 stacked at one point, 0 spread; range(2) 1 when
// every box listens for collisions.
void StackedBoxes(benchmark::State& state)
{
    const int count = int(state.range(0));
    const bool stacked = state.range(1) != 0;
    const bool listening = state.range(2) != 0;
    Silent silent;
    zLogSink* previousSink = GlobalLog.SetSink(&silent);
    const std::filesystem::path previousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(ScratchDirectory());
    std::ofstream("box.nut") << "class Box {\n"
                                "  touches = 0;\n"
                                "  function OnCollision(item, other) { touches++; }\n"
                                "}\n";
    std::string text = "<ZML=1.0>\n<Scene=\n <Items=\n"
                       "  <MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera=<Item=<Position=<Y=20><Z=-60>>>>>\n";
    text += BoxTag(1, "floor", 0, -0.5f, 0, 400.0f, false, false);
    const int side = int(std::ceil(std::sqrt(double(count))));
    for (int i = 0; i < count; ++i) {
        const std::string name = "box" + std::to_string(i);
        const float x = stacked ? 0.0f : float(i % side) * 2.0f - float(side);
        const float z = stacked ? 0.0f : float(i / side) * 2.0f - float(side);
        text += BoxTag(2 + i, name.c_str(), x, 0.5f, z, 1.0f, true, listening);
    }
    text += " >\n>\n";
    std::ofstream("boxes.zml") << text;

    double longest = 0.0;
    double total = 0.0;
    int64_t peak = 0;
    for (auto _ : state) {
        const int64_t before = heldBytes.load();
        peakBytes = before;
        {
            Tavrin core;
            core.renderer->AllocateItemStack(4096);
            zScriptMaster master;
            master.StartVM();
            SqRegisterBindings(master.GetVM());
            auto scene = std::make_unique<zScene>(&core, &master);
            if (!scene->FromMetaFileStoreGroup("boxes.zml", nullptr, zScene::LoadAll, 0))
                state.SkipWithError("the scene did not load");
            scene->RegisterScriptGlobals();
            scene->Setup(true, 1024);
            scene->Reset();
            GlobalFrameDelta = 167;
            // The steps a frame owes are all taken, however long it lasts.
            scene->physics.clock = [] { return uint32_t(1); };
            for (int frame = 0; frame < FrameCount; ++frame) {
                const Clock::time_point start = Clock::now();
                scene->Update(zScene::UpdateAll);
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                longest = std::max(longest, ms);
                total += ms;
            }
            state.counters["contact_nodes"] = scene->physics.pairCount;
        }
        peak = std::max(peak, peakBytes.load() - before);
    }
    state.counters["longest_frame_ms"] = longest;
    state.counters["mean_frame_ms"] = total / (FrameCount * double(state.iterations()));
    state.counters["peak_MB"] = double(peak) / 1e6;
    std::filesystem::current_path(previousDirectory);
    GlobalLog.SetSink(previousSink);
}
BENCHMARK(StackedBoxes)
    ->ArgNames({"boxes", "stacked", "listening"})
    ->Args({500, 0, 0})
    ->Args({500, 1, 0})
    ->Args({1000, 0, 0})
    ->Args({1000, 1, 0})
    ->Args({2000, 0, 0})
    ->Args({2000, 1, 0})
    ->Args({2000, 0, 1})
    ->Args({2000, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
