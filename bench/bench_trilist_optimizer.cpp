#include "core/geometry/zGeometryTrilist.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// The vertex cache optimiser on triangle lists of growing size: a grid mesh
// 64 quads wide cut to the list size, once in row order (as geometry comes)
// and once shuffled, and the fan of one large polygon, where one vertex is in
// every triangle. The time per triangle should stay nearly flat.

namespace {

std::vector<int32_t> Grid(uint32_t triangles, bool shuffled, uint32_t& vertexCount)
{
    constexpr uint32_t Width = 64;
    std::vector<int32_t> indices;
    for (uint32_t q = 0; 2 * q < triangles; ++q) {
        const int32_t a = int32_t((q / Width) * (Width + 1) + q % Width);
        const int32_t b = a + 1;
        const int32_t c = a + int32_t(Width) + 1;
        indices.insert(indices.end(), {a, b, c + 1, a, c + 1, c});
    }
    indices.resize(3 * size_t(triangles));
    vertexCount = (triangles / (2 * Width) + 2) * (Width + 1);
    if (shuffled) {
        std::mt19937 random(5);
        for (uint32_t t = triangles; t > 1; --t) {
            const uint32_t other = std::uniform_int_distribution<uint32_t>(0, t - 1)(random);
            std::swap_ranges(indices.begin() + 3 * (t - 1), indices.begin() + 3 * t, indices.begin() + 3 * other);
        }
    }
    return indices;
}

std::vector<int32_t> Fan(uint32_t triangles, uint32_t& vertexCount)
{
    std::vector<int32_t> indices;
    for (int32_t k = 1; k <= int32_t(triangles); ++k)
        indices.insert(indices.end(), {0, k, k + 1});
    vertexCount = triangles + 2;
    return indices;
}

enum class Shape { Grid, ShuffledGrid, Fan };

void Run(benchmark::State& state, Shape shape)
{
    // Keeps glibc from handing the working memory back to the system after
    // each call, so that the numbers show the ordering, not page faults.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    const uint32_t triangles = uint32_t(state.range(0));
    uint32_t vertexCount = 0;
    const std::vector<int32_t> source
        = shape == Shape::Fan ? Fan(triangles, vertexCount) : Grid(triangles, shape == Shape::ShuffledGrid, vertexCount);
    std::vector<int32_t> work;
    for (auto _ : state) {
        work = source;
        if (!zGeometryTrilist::OptimizeIndices(work.data(), triangles, vertexCount))
            state.SkipWithError("optimiser refused the list");
        benchmark::DoNotOptimize(work.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["time/triangle"] = benchmark::Counter(double(triangles) * double(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_OptimizeGrid(benchmark::State& state)
{
    Run(state, Shape::Grid);
}

void BM_OptimizeShuffledGrid(benchmark::State& state)
{
    Run(state, Shape::ShuffledGrid);
}

void BM_OptimizeFan(benchmark::State& state)
{
    Run(state, Shape::Fan);
}

} // namespace

BENCHMARK(BM_OptimizeGrid)->Arg(1000)->Arg(4000)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_OptimizeShuffledGrid)->Arg(1000)->Arg(4000)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_OptimizeFan)->Arg(1000)->Arg(4000)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMicrosecond)->Complexity();
