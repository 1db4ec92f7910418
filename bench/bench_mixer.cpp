// The software mixer's cost: 64 playing channels mixed for 10 s of 48 kHz
// output, through the WAV path's 1024-byte pieces. "x_realtime" is output
// seconds per second of mixing; "ns_per_channel_frame" the cost of one
// channel for one output frame.
#include "core/sound/zSound.h"
#include "smix/zSMixMixer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

void MixChannels(benchmark::State& state)
{
    const int32_t channelCount = int32_t(state.range(0));
    const int32_t sampleChannels = int32_t(state.range(1));
    zSMixMixer mixer(nullptr, false);
    std::vector<std::unique_ptr<zSound>> sounds;
    for (int32_t i = 0; i < channelCount; ++i) {
        auto sound = std::make_unique<zSound>(nullptr, "bench");
        // 2 s of noise-like data at 44.1 kHz, so the step is not a whole frame.
        const int32_t frames = 88200 + i * 37;
        sound->sample.AllocAs(frames, zSampleFormat{sampleChannels, 44100, 16});
        auto* data = reinterpret_cast<int16_t*>(sound->sample.data);
        uint32_t seed = 12345u + uint32_t(i);
        for (int32_t k = 0; k < frames * sampleChannels; ++k) {
            seed = seed * 1664525u + 1013904223u;
            data[k] = int16_t(seed >> 20);
        }
        sounds.push_back(std::move(sound));
    }
    std::vector<int16_t> piece(512);
    constexpr uint32_t outputFrames = 10 * 48000;
    for (auto _ : state) {
        state.PauseTiming();
        // Channels are started as a "file" mixer would, without a device: the
        // audio-open byte is what StartChannel needs.
        mixer.audioOpen = 1;
        for (int32_t i = 0; i < channelCount; ++i) {
            mixer.SetChannelLoop(i, 1);
            mixer.SetChannelPitch(i, 0.75f + 0.01f * float(i));
            mixer.SetChannelPan(i, float(i) / float(channelCount));
            mixer.SetChannelGain(i, 0.2f);
            mixer.StartChannel(i, sounds[size_t(i)].get());
        }
        state.ResumeTiming();
        for (uint32_t done = 0; done < outputFrames; done += 256)
            mixer.Mix(piece.data(), 1024);
        benchmark::DoNotOptimize(piece.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(10.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ns_per_channel_frame"] =
        benchmark::Counter(double(channelCount) * outputFrames * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["ms_per_channel_10s"] =
        benchmark::Counter(double(channelCount) * 1e-3,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(MixChannels)->Args({64, 1})->Args({64, 2})->Args({1, 2})->Unit(benchmark::kMillisecond);

} // namespace
