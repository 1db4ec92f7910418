#include "framework/spatial_structure/zBIH.h"
#include "framework/system/zLogStream.h"

#include "BenchTerrain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Build time and ray queries per second on a generated terrain mesh: a grid of
// k x k quads, two triangles each, over rolling hills.

namespace {

struct Triangle {
    zVector a, b, c;
};

class MeshBIH : public zBIH {
public:
    explicit MeshBIH(const std::vector<Triangle>& mesh) : triangles(mesh) {}

    void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const override
    {
        for (uint32_t i = 0; i < leaf.count; ++i) {
            const uint32_t index = leaf.indices[i];
            const Triangle& tri = triangles[index];
            ++query.primitivesTested;
            const zVector e1 = tri.b - tri.a;
            const zVector e2 = tri.c - tri.a;
            const zVector p = query.direction.Cross(e2);
            const float det = e1.Dot(p);
            if (det == 0.0f)
                continue;
            const float inverse = 1.0f / det;
            const zVector s = query.origin - tri.a;
            const float u = s.Dot(p) * inverse;
            if (u < 0.0f || u > 1.0f)
                continue;
            const zVector q = s.Cross(e1);
            const float v = query.direction.Dot(q) * inverse;
            if (v < 0.0f || u + v > 1.0f)
                continue;
            const float t = e2.Dot(q) * inverse;
            if ((query.hitFound && t >= query.hitT) || t < tNear || t > tFar)
                continue;
            query.hitFound = 1;
            query.hitT = t;
            query.primitiveHit = int32_t(index);
            query.weights[0] = u;
            query.weights[1] = v;
            query.weights[2] = 1.0f - u - v;
        }
    }

private:
    const std::vector<Triangle>& triangles;
};

struct Terrain {
    std::vector<Triangle> triangles;
    std::vector<zMinMax> volumes;
    float size = 0.0f;
};

const Terrain& TerrainOf(int64_t triangleCount)
{
    static Terrain cached;
    const int k = int(std::sqrt(double(triangleCount) / 2.0));
    if (int64_t(cached.triangles.size()) == int64_t(2) * k * k)
        return cached;
    cached = Terrain();
    cached.size = float(k);
    auto vertex = [](int i, int j) { return zVector(float(i), TerrainHeight(float(i), float(j)), float(j)); };
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const zVector p00 = vertex(i, j), p10 = vertex(i + 1, j), p01 = vertex(i, j + 1), p11 = vertex(i + 1, j + 1);
            cached.triangles.push_back({p00, p10, p11});
            cached.triangles.push_back({p00, p11, p01});
        }
    }
    for (const Triangle& t : cached.triangles) {
        zMinMax box(t.a, t.a);
        for (const zVector* p : {&t.b, &t.c}) {
            box.min = zVector(std::min(box.min.x, p->x), std::min(box.min.y, p->y), std::min(box.min.z, p->z));
            box.max = zVector(std::max(box.max.x, p->x), std::max(box.max.y, p->y), std::max(box.max.z, p->z));
        }
        cached.volumes.push_back(box);
    }
    return cached;
}

void QuietLog()
{
    GlobalLog.VerbosityMask = zLogStream::Error;
}

void BIHBuild(benchmark::State& state)
{
    QuietLog();
    const Terrain& terrain = TerrainOf(state.range(0));
    MeshBIH tree(terrain.triangles);
    for (auto _ : state) {
        const bool built = tree.Build(int32_t(terrain.volumes.size()), terrain.volumes.data());
        benchmark::DoNotOptimize(built);
    }
    state.counters["triangles"] = double(terrain.triangles.size());
    state.counters["nodes"] = double(tree.GetNodeCount());
    state.counters["depth"] = double(tree.GetDepth());
    state.SetItemsProcessed(state.iterations() * int64_t(terrain.triangles.size()));
}
BENCHMARK(BIHBuild)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Rays from above the hills to random points on the ground, nearest hit
// (state.range(1) = 1) or any hit (0).
void BIHRay(benchmark::State& state)
{
    QuietLog();
    const Terrain& terrain = TerrainOf(state.range(0));
    MeshBIH tree(terrain.triangles);
    if (!tree.Build(int32_t(terrain.volumes.size()), terrain.volumes.data())) {
        state.SkipWithError("build failed");
        return;
    }
    const TerrainRays rays(terrain.size);
    zBIHQuery query;
    query.nearestHit = uint8_t(state.range(1));
    size_t next = 0;
    int64_t hits = 0;
    int64_t visits = 0;
    int64_t tested = 0;
    for (auto _ : state) {
        query.ResetHit();
        tree.IntersectRay(query, rays.origins[next], rays.directions[next], 0.0f);
        hits += query.hitFound;
        visits += query.visits;
        tested += query.primitivesTested;
        next = (next + 1) % TerrainRays::Count;
    }
    state.counters["hit share"] = double(hits) / double(state.iterations());
    state.counters["visits"] = double(visits) / double(state.iterations());
    state.counters["tested"] = double(tested) / double(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BIHRay)->Args({100000, 1})->Args({1000000, 1})->Args({1000000, 0});

} // namespace
