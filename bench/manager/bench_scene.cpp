// The scene frame and the scene file: 1,000 scripted boxes with physics
// dropped onto a floor and kept awake, 600 frames at 60 Hz on the null renderer, split into
// script, physics, collision callbacks and commit; and reading a file of
// 10,000 items.

#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "script/zScriptMaster.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

constexpr int BoxSide = 32;
constexpr int BoxCount = 1000;
constexpr int FrameCount = 600;
constexpr int LoadItemCount = 10000;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string ScratchDirectory()
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "tavrin-bench-scene";
    std::filesystem::create_directories(path);
    return path.string();
}

std::string BoxTag(int uid, const char* name, float x, float y, float z, float size, float mass, bool scripted,
                   bool rigid)
{
    char text[1024];
    std::snprintf(text, sizeof(text),
                  "  <MObject=<MItem=<Id=\"%s\"><UId=%d><Active>"
                  "<GColItem=<Active><Shapes=<GColShape=<Active><Type=\"Cuboid\"><Dimensions=<X=%g><Y=1><Z=%g>>"
                  "<Mass=%g>>>>%s%s>"
                  "<Object=<Item=<Position=<X=%g><Y=%g><Z=%g>>>>>\n",
                  name, uid, size, size, mass, rigid ? "<TauItem=<Mode=<Rigid>><Mass=1>>" : "",
                  scripted ? "<ScriptUnit=<Script=\"box.nut\"><Class=\"Box\">>" : "", x, y, z);
    return text;
}

void SceneFrames(benchmark::State& state)
{
    Silent silent;
    zLogSink* previousSink = GlobalLog.SetSink(&silent);
    const std::string directory = ScratchDirectory();
    const std::filesystem::path previousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(directory);
    std::ofstream("box.nut") << "class Box {\n"
                                "  updates = 0; thoughts = 0; touches = 0;\n"
                                "  function OnUpdate(item) { updates++; }\n"
                                "  function OnLogicUpdate(item, period) { thoughts++; }\n"
                                "  function OnCollision(item, other) { touches++; }\n"
                                "}\n";
    std::string text = "<ZML=1.0>\n<Scene=\n <Items=\n"
                       "  <MCamera=<MItem=<Id=\"eye\"><UId=0><Active>><Camera=<Item=<Position=<Y=20><Z=-60>>>>>\n";
    text += BoxTag(1, "floor", 0, -0.5f, 0, 200.0f, 0.0f, false, false);
    for (int i = 0; i < BoxCount; ++i) {
        const std::string name = "box" + std::to_string(i);
        text += BoxTag(2 + i, name.c_str(), float(i % BoxSide) * 1.5f - 24.0f, 0.6f + float(i % 7) * 0.25f,
                       float((i / BoxSide) % BoxSide) * 1.5f - 24.0f, 1.0f, 1.0f, true, true);
    }
    text += " >\n <Tau=<Frequency=60>>\n>\n";
    std::ofstream("boxes.zml") << text;

    double script = 0, physics = 0, collisions = 0, commit = 0, total = 0;
    int frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Tavrin core;
        core.renderer->AllocateItemStack(4096);
        zScriptMaster master;
        master.StartVM();
        SqRegisterBindings(master.GetVM());
        auto scene = std::make_unique<zScene>(&core, &master);
        scene->FromMetaFileStoreGroup("boxes.zml", nullptr, zScene::LoadAll, 0);
        // A geometry that counts as set up, so that the commit pushes every box.
        zGeometry* geometry = zGeometry::New(&core, "box");
        geometry->rendererData = geometry;
        for (zLinkedListEntry* e = scene->objects.GetFirst(); e != nullptr; e = e->next)
            static_cast<zMObject*>(static_cast<zLinkedListIdEntry*>(e))->object.geometry = geometry;
        scene->RegisterAsPropertyCallback(core.renderer);
        scene->RegisterScriptGlobals();
        scene->Setup(true, 1024);
        scene->Reset();
        // Fixed steps of 1/60 s, and no dropped physics steps.
        GlobalFrameDelta = 167;
        scene->physics.clock = [] { return uint32_t(1); };
        // No body falls asleep: every frame simulates and reports all contacts.
        scene->physics.sleepingEnabled = 0;
        state.ResumeTiming();

        for (int frame = 0; frame < FrameCount; ++frame) {
            const Clock::time_point start = Clock::now();
            scene->Update(zScene::UpdateAll);
            const Clock::time_point updated = Clock::now();
            core.renderer->ResetItemStack();
            scene->RenderSetup(zScene::RenderFlagClear);
            scene->RenderToQueue(0);
            scene->RenderUI(0);
            const Clock::time_point committed = Clock::now();
            commit += Milliseconds(committed - updated);
            total += Milliseconds(committed - start);
            script += double(scene->timers[zScene::TimerItemUpdate].GetLastMilliseconds() +
                             scene->timers[zScene::TimerLogicUpdate].GetLastMilliseconds());
            physics += double(scene->timers[zScene::TimerPhysic].GetLastMilliseconds());
            collisions += double(scene->timers[zScene::TimerCollision].GetLastMilliseconds());
            ++frames;
        }
        state.PauseTiming();
        // What the last frame did, so that the figures can be read for what they are.
        state.counters["script_calls"] = master.GetUnitCallCount();
        state.counters["awake_bodies"] = scene->physics.activeItems.GetCount();
        state.counters["contact_nodes"] = scene->physics.pairCount;
        if (core.renderer->itemStackCount != BoxCount + 1)
            state.SkipWithError("the commit did not push every box");
        scene.reset();
        state.ResumeTiming();
    }
    state.counters["frame_ms"] = total / frames;
    state.counters["script_ms"] = script / frames;
    state.counters["physics_ms"] = physics / frames;
    state.counters["collision_cb_ms"] = collisions / frames;
    state.counters["commit_ms"] = commit / frames;
    // Transforms, the separation pass (a detection of its own), velocities.
    state.counters["rest_ms"] = (total - script - physics - collisions - commit) / frames;
    std::filesystem::current_path(previousDirectory);
    GlobalLog.SetSink(previousSink);
}
BENCHMARK(SceneFrames)->Iterations(1)->Unit(benchmark::kMillisecond);

void LoadTenThousandItems(benchmark::State& state)
{
    Silent silent;
    zLogSink* previousSink = GlobalLog.SetSink(&silent);
    const std::string path = ScratchDirectory() + "/many.zml";
    std::string text = "<ZML=1.0>\n<Scene=\n <Items=\n";
    for (int i = 0; i < LoadItemCount; ++i) {
        const std::string name = "item" + std::to_string(i);
        text += BoxTag(i, name.c_str(), float(i % 100), 0, float(i / 100), 1.0f, 1.0f, false, (i % 2) == 0);
    }
    text += " >\n <Links=\n";
    for (int i = 1; i < LoadItemCount; i += 10)
        text += "  <Link=<Item=" + std::to_string(i) + "><Link=" + std::to_string(i - 1) + ">>\n";
    text += " >\n <Groups=<Group=<Id=\"all\">";
    for (int i = 0; i < LoadItemCount; i += 7)
        text += "<Item=" + std::to_string(i) + ">";
    text += ">>\n>\n";
    std::ofstream(path) << text;

    Tavrin core;
    for (auto _ : state) {
        zScene scene(&core, nullptr);
        if (!scene.FromMetaFileStoreGroup(path.c_str(), nullptr, zScene::LoadAll, 0) ||
            scene.objects.GetCount() != LoadItemCount)
            state.SkipWithError("the file did not load");
        state.PauseTiming();
        scene.DeleteContent(false);
        state.ResumeTiming();
    }
    GlobalLog.SetSink(previousSink);
}
BENCHMARK(LoadTenThousandItems)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
