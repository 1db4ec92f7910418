#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "framework/system/zLogStream.h"

#include "BenchTerrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

// The polygon hierarchy of a geometry: build time and ray queries per second
// on a generated terrain, a grid of k x k cells of two triangles each over
// rolling hills.

namespace {

struct Terrain {
    std::unique_ptr<zGeometry> geometry;
    float size = 0.0f;
};

Terrain& TerrainOf(int64_t triangleCount)
{
    static Terrain cached;
    const int k = int(std::sqrt(double(triangleCount) / 2.0));
    if (cached.geometry != nullptr && int64_t(cached.geometry->polygonCount) == int64_t(2) * k * k)
        return cached;
    cached.geometry = std::make_unique<zGeometry>(nullptr, "terrain");
    zGeometry& g = *cached.geometry;
    cached.size = float(k);
    const int side = k + 1;
    g.vertexCount = uint32_t(side * side);
    g.vertices = new zVector[g.vertexCount];
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j)
            g.vertices[i * side + j] = zVector(float(i), TerrainHeight(float(i), float(j)), float(j));
    }
    g.polygonCount = uint32_t(2 * k * k);
    g.bindingCount = 3 * g.polygonCount;
    g.polygons = new zPolygon[g.polygonCount];
    g.bindingIndices = new int32_t[g.bindingCount];
    int32_t* corner = g.bindingIndices;
    uint32_t p = 0;
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const int32_t v00 = i * side + j, v10 = v00 + side, v01 = v00 + 1, v11 = v10 + 1;
            const int32_t cell[2][3] = {{v00, v01, v11}, {v00, v11, v10}};
            for (const auto& tri : cell) {
                g.polygons[p].vertexCount = 3;
                g.polygons[p].indices = corner;
                for (int32_t index : tri)
                    *corner++ = index;
                ++p;
            }
        }
    }
    g.AllocateMaterials(1, true);
    return cached;
}

void QuietLog()
{
    GlobalLog.VerbosityMask = zLogStream::Error;
}

void GeometryBIHBuild(benchmark::State& state)
{
    QuietLog();
    Terrain& terrain = TerrainOf(state.range(0));
    zGeometryBIH tree;
    for (auto _ : state) {
        const bool built = tree.BuildFromGeometry(terrain.geometry.get());
        benchmark::DoNotOptimize(built);
    }
    state.counters["triangles"] = double(terrain.geometry->polygonCount);
    state.counters["nodes"] = double(tree.GetNodeCount());
    state.counters["depth"] = double(tree.GetDepth());
    state.SetItemsProcessed(state.iterations() * int64_t(terrain.geometry->polygonCount));
}
BENCHMARK(GeometryBIHBuild)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Rays from above the hills to random points on the ground, nearest hit
// (state.range(1) = 1) or any hit (0). Items per second are rays per second.
void GeometryBIHRay(benchmark::State& state)
{
    QuietLog();
    Terrain& terrain = TerrainOf(state.range(0));
    zGeometryBIH tree;
    if (!tree.BuildFromGeometry(terrain.geometry.get())) {
        state.SkipWithError("build failed");
        return;
    }
    const TerrainRays rays(terrain.size);
    zBIHQuery query;
    query.nearestHit = uint8_t(state.range(1));
    size_t next = 0;
    int64_t hits = 0;
    int64_t tested = 0;
    for (auto _ : state) {
        query.ResetHit();
        tree.TraceRay(query, rays.origins[next], rays.directions[next], 0.0f);
        hits += query.hitFound;
        tested += query.primitivesTested;
        next = (next + 1) % TerrainRays::Count;
    }
    state.counters["hit share"] = double(hits) / double(state.iterations());
    state.counters["tested"] = double(tested) / double(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(GeometryBIHRay)->Args({100000, 1})->Args({1000000, 1})->Args({1000000, 0});

} // namespace
