// Scene records: one snapshot of a scene of many lights, as "SceneRecordSnapshot"
// takes it, and the finalisation that copies the items a later sample met
// first into every earlier sample.

#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager/scene/zSceneRecord.h"
#include "script/zScriptMaster.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

struct LitScene {
    explicit LitScene(int lights)
    {
        scene = std::make_unique<zScene>(&core, &master);
        for (int i = 0; i < lights; ++i)
            scene->AddLight(("light" + std::to_string(i)).c_str(), 0, 1.0f);
    }
    Tavrin core;
    zScriptMaster master;
    std::unique_ptr<zScene> scene;
};

// One snapshot of range(0) lights; one iteration is one snapshot.
void BM_SnapshotLights(benchmark::State& state)
{
    Silent silent;
    zLogSink* previous = GlobalLog.SetSink(&silent);
    LitScene lit(int(state.range(0)));
    uint64_t bytes = 0;
    for (auto _ : state) {
        zSceneRecord record;
        benchmark::DoNotOptimize(lit.scene->SnapshotToRecord(&record));
        bytes = record.GetMemoryFootprint();
    }
    state.counters["record_MB"] = double(bytes) / 1e6;
    GlobalLog.SetSink(previous);
}
BENCHMARK(BM_SnapshotLights)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Two samples, the second holding range(0) lights the first did not see:
// the finalisation copies each of them into the first.
void BM_FinalizeNewLights(benchmark::State& state)
{
    Silent silent;
    zLogSink* previous = GlobalLog.SetSink(&silent);
    LitScene lit(0);
    zSceneRecord seed;
    lit.scene->SnapshotToRecord(&seed);
    for (int i = 0; i < state.range(0); ++i)
        lit.scene->AddLight(("late" + std::to_string(i)).c_str(), 0, 1.0f);
    for (auto _ : state) {
        state.PauseTiming();
        zSceneRecord record;
        record.CreateNewSample(0.0f);
        lit.scene->SnapshotToRecord(&record);
        state.ResumeTiming();
        benchmark::DoNotOptimize(lit.scene->FinalizeRecord(&record));
    }
    GlobalLog.SetSink(previous);
}
BENCHMARK(BM_FinalizeNewLights)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
