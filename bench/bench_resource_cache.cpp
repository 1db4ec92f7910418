#include "core/resource/zTexture.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// Cache hits of Tavrin::LoadTexture and Tavrin::LoadSound with n resources
// cached, asking for every name in turn (half of the textures by the path they
// were loaded from). Nothing touches a file: every name is cached.

namespace {

class QuietLog : public zLogSink {
public:
    void Write(const char*) override {}
};

void BM_TextureCacheHit(benchmark::State& state)
{
    QuietLog quiet;
    zLogSink* previous = GlobalLog.SetSink(&quiet);
    const int count = int(state.range(0));
    {
        Tavrin core;
        std::vector<std::string> keys;
        for (int i = 0; i < count; ++i) {
            const std::string name = "textures/layer_" + std::to_string(i * 7919) + ".tga";
            zTexture* texture = zTexture::New(&core, name.c_str(), 0, 0, false, 0.5f);
            texture->path = ("data/" + name).c_str();
            keys.push_back(i % 2 == 0 ? name : "data/" + name);
        }
        size_t next = 0;
        for (auto _ : state) {
            benchmark::DoNotOptimize(core.LoadTexture(keys[next].c_str(), true, true, 0.5f, true));
            next = (next + 1) % keys.size();
        }
        state.SetItemsProcessed(state.iterations());
    }
    GlobalLog.SetSink(previous);
}
BENCHMARK(BM_TextureCacheHit)->Arg(16)->Arg(256)->Arg(4096);

void BM_SoundCacheHit(benchmark::State& state)
{
    QuietLog quiet;
    zLogSink* previous = GlobalLog.SetSink(&quiet);
    const int count = int(state.range(0));
    {
        Tavrin core;
        std::vector<std::string> keys;
        for (int i = 0; i < count; ++i) {
            keys.push_back("sounds/effect_" + std::to_string(i * 7919) + ".wav");
            zSound::New(&core, keys.back().c_str());
        }
        size_t next = 0;
        for (auto _ : state) {
            benchmark::DoNotOptimize(core.LoadSound(keys[next].c_str()));
            next = (next + 1) % keys.size();
        }
        state.SetItemsProcessed(state.iterations());
    }
    GlobalLog.SetSink(previous);
}
BENCHMARK(BM_SoundCacheHit)->Arg(16)->Arg(256)->Arg(4096);

} // namespace
