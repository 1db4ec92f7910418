#include "dav/decoder/dAV_FrameConvert.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>
#if defined(_OPENMP)
#include <omp.h>
#endif

// YUV 4:2:0 to RGB32 conversion of full-HD frames: frames per second on one
// thread and on all of the machine's cores.
static void BM_ConvertYUV420ToRGB32(benchmark::State& state)
{
    constexpr int Width = 1920;
    constexpr int Height = 1080;
    std::vector<uint8_t> y(size_t(Width) * Height);
    std::vector<uint8_t> u(y.size() / 4);
    std::vector<uint8_t> v(y.size() / 4);
    std::mt19937 random(1);
    for (uint8_t& value : y)
        value = uint8_t(random());
    for (size_t i = 0; i < u.size(); ++i) {
        u[i] = uint8_t(random());
        v[i] = uint8_t(random());
    }
    std::vector<uint8_t> picture(y.size() * 4);
    const int threads = int(state.range(0));
#if defined(_OPENMP)
    const int previous = omp_get_max_threads();
    omp_set_num_threads(threads > 0 ? threads : omp_get_num_procs());
    state.counters["threads"] = omp_get_max_threads();
#else
    state.counters["threads"] = 1;
#endif
    for (auto _ : state) {
        ConvertYUV420ToRGB32(y.data(), u.data(), v.data(), picture.data(), Width, Height);
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
#if defined(_OPENMP)
    omp_set_num_threads(previous);
#endif
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.size()));
}
// Threads: 1, 2, 4, or 0 for every core.
BENCHMARK(BM_ConvertYUV420ToRGB32)->Arg(1)->Arg(2)->Arg(4)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
