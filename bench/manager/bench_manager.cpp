// One frame of 1,000 managed objects, each blending four motions of 20
// channels, and 100,000 closest-point queries on a path of 1,000 segments.

#include "ai/zAIPath.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/item/zMKinds.h"
#include "manager/motion/zMotion.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int ItemCount = 1000;
constexpr int ChannelsPerMotion = 20;
constexpr int KeysPerChannel = 16;
constexpr int SegmentCount = 1000;
constexpr int QueryCount = 100000;

// A scene that keeps nothing but its worlds.
class Scene : public zMItemSceneServices {
public:
    Scene() { physics.collision = &collision; }
    Tavrin* GetCore() override { return nullptr; }
    Tau* GetPhysicWorld() override { return &physics; }
    GCollide* GetCollisionSystem() override { return &collision; }
    zScriptMaster* GetScriptMaster() override { return master; }
    void RegisterItem(zMItem*) override {}
    void UnregisterItem(zMItem*) override {}
    void UnlinkItemChilds(zMItem*) override {}
    void SetItemActive(zMItem*, bool) override {}
    void AddToLogicUpdateList(zMItem*) override {}
    void AddToTriggerWatchList(zMItem*) override {}
    void VisitItems(zMItemVisitor&) override {}
    zCamera* GetCurrentCamera() override { return nullptr; }
    zCamera* SetCurrentCamera(zCamera* camera) override { return camera; }

    zScriptMaster* master = nullptr;
    GCollide collision;
    Tau physics;
};

// Channels cycle through the ids an object drives (orientation aside) and
// a few it ignores, with keys every half second and a repeating end.
zMotion* NewMotion(std::mt19937& random, int index)
{
    static const int32_t ids[] = {ChannelPositionX, ChannelPositionY, ChannelPositionZ, ChannelRotationX,
                                  ChannelRotationY, ChannelRotationZ, ChannelScaleX,    ChannelScaleY,
                                  ChannelScaleZ,    ChannelAlpha};
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    auto* motion = new zMotion(index == 0 ? "a" : index == 1 ? "b" : index == 2 ? "c" : "d");
    for (int c = 0; c < ChannelsPerMotion; ++c) {
        zChannel* channel = motion->AddChannel(ids[c % 10]);
        channel->Allocate(KeysPerChannel);
        for (int k = 0; k < KeysPerChannel; ++k) {
            channel->GetKey(uint32_t(k))->time = 0.5f * float(k);
            channel->GetKey(uint32_t(k))->value = value(random);
        }
        channel->postBehaviour = zCurve::Repeat;
    }
    return motion;
}

void MotionPlayerFrame(benchmark::State& state)
{
    Scene scene;
    std::mt19937 random(7);
    std::vector<std::unique_ptr<zMObject>> items;
    for (int i = 0; i < ItemCount; ++i) {
        auto item = std::make_unique<zMObject>(&scene);
        for (int s = 0; s < zMotionPlayer::SlotCount; ++s) {
            zMotion* motion = NewMotion(random, s);
            item->motions.Add(motion);
            item->slots[s].Set(motion, 0.0f, 1.0f + float(s), 0.1f * float(i % 50));
        }
        items.push_back(std::move(item));
    }
    for (auto _ : state) {
        for (auto& item : items)
            item->UpdateMotion(1.0f / 60.0f);
        benchmark::ClobberMemory();
    }
    // The time column is one frame; this is seconds per item.
    state.counters["per_item"] = benchmark::Counter(
        ItemCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(MotionPlayerFrame)->Unit(benchmark::kMicrosecond);

void ClosestPointQueries(benchmark::State& state)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> step(-10.0f, 10.0f);
    zAIPath path("long");
    zChannel* axes[3] = {path.motion.AddChannel(ChannelPositionX), path.motion.AddChannel(ChannelPositionY),
                         path.motion.AddChannel(ChannelPositionZ)};
    for (zChannel* c : axes)
        c->Allocate(SegmentCount + 1);
    float at[3] = {0.0f, 0.0f, 0.0f};
    for (uint32_t k = 0; k <= SegmentCount; ++k) {
        for (int a = 0; a < 3; ++a) {
            axes[a]->GetKey(k)->time = float(k);
            axes[a]->GetKey(k)->value = at[a];
            at[a] += step(random);
        }
    }
    path.BuildPath();
    std::uniform_real_distribution<float> spread(-200.0f, 200.0f);
    std::vector<zVector> points;
    for (int i = 0; i < QueryCount; ++i)
        points.emplace_back(spread(random), spread(random), spread(random));
    for (auto _ : state) {
        float sum = 0.0f;
        for (const zVector& p : points) {
            zVector closest;
            float time = 0.0f;
            path.GetClosestPoint(p, closest, &time);
            sum += time;
        }
        benchmark::DoNotOptimize(sum);
    }
    // Seconds per query.
    state.counters["per_query"] = benchmark::Counter(
        QueryCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(ClosestPointQueries)->Unit(benchmark::kMillisecond);

} // namespace
