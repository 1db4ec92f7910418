#include "bfgt/picture/zPicture.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr int32_t Side = 2048;

zPicture Source(const zPixelFormat& format)
{
    zPicture picture;
    picture.AllocAs(Side, Side, PixelFormatABGR32);
    uint32_t seed = 12345;
    for (int64_t i = 0; i < int64_t(Side) * Side * 4; ++i) {
        seed = seed * 1664525u + 1013904223u;
        picture.pixels[i] = uint8_t(seed >> 24);
    }
    picture.ConvertTo(format);
    return picture;
}

void ReportMegapixels(benchmark::State& state, int64_t pixelsPerIteration)
{
    state.counters["megapixels/s"] =
        benchmark::Counter(double(pixelsPerIteration) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

} // namespace

// zPicture::ConvertTo on a 2048 x 2048 picture; the copy it converts is made
// outside the timed part.
static void BM_ConvertTo(benchmark::State& state, zPixelFormat from, zPixelFormat to)
{
    const zPicture source = Source(from);
    zPicture picture;
    for (auto _ : state) {
        state.PauseTiming();
        picture.Copy(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(picture.ConvertTo(to));
        benchmark::ClobberMemory();
    }
    ReportMegapixels(state, int64_t(Side) * Side);
}
BENCHMARK_CAPTURE(BM_ConvertTo, ARGB32_to_ABGR32_in_place, PixelFormatARGB32, PixelFormatABGR32)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertTo, RGB24_to_ABGR32, PixelFormatRGB24, PixelFormatABGR32)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertTo, ABGR32_to_BGR565, PixelFormatABGR32, PixelFormatBGR565)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertTo, RGBFloat_to_ABGR32, PixelFormatRGBFloat, PixelFormatABGR32)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertTo, ABGR32_to_RGBFloat, PixelFormatABGR32, PixelFormatRGBFloat)
    ->Unit(benchmark::kMillisecond);

// zPicture::Resize of a 2048 x 2048 picture to the given side; megapixels are
// those of the resampled picture.
static void BM_Resize(benchmark::State& state, zPixelFormat format)
{
    const int32_t target = int32_t(state.range(0));
    const zPicture source = Source(format);
    zPicture picture;
    for (auto _ : state) {
        state.PauseTiming();
        picture.Copy(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(picture.Resize(target, target));
        benchmark::ClobberMemory();
    }
    ReportMegapixels(state, int64_t(target) * target);
}
BENCHMARK_CAPTURE(BM_Resize, ABGR32, PixelFormatABGR32)->Arg(1024)->Arg(3072)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resize, RGBFloat, PixelFormatRGBFloat)->Arg(1024)->Arg(3072)->Unit(benchmark::kMillisecond);
