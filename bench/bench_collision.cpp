#include "core/geometry/zGeometry.h"
#include "physic/collision/GCollide.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

// Detection time per step for a resting heap of boxes and spheres, and ray
// casts per second against a large terrain mesh.

namespace {

// side x side x layers items, boxes and spheres in a checkerboard, each
// slightly overlapping its neighbours, on a ground box.
struct Heap {
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;
    std::vector<TauContactNode> nodes = std::vector<TauContactNode>(16384);
    std::vector<TauContactPoint> points = std::vector<TauContactPoint>(65536);

    Heap(int side, int layers)
    {
        world.SAP_Allocate(uint32_t(side * side * layers + 16));
        const zVector groundSize(float(side) + 2.0f, 1.0f, float(side) + 2.0f);
        Add([&](GColItem* item) { item->AddCuboidShape(&groundSize); }, zVector(float(side) * 0.5f, -0.49f, float(side) * 0.5f));
        const zVector size(1.02f, 1.02f, 1.02f);
        for (int y = 0; y < layers; ++y) {
            for (int x = 0; x < side; ++x) {
                for (int z = 0; z < side; ++z) {
                    const bool box = ((x + y + z) & 1) == 0;
                    Add([&](GColItem* item) {
                        if (box)
                            item->AddCuboidShape(&size);
                        else
                            item->AddSphereShape(0.51f);
                    }, zVector(float(x) + 0.5f, float(y) + 0.5f, float(z) + 0.5f));
                }
            }
        }
    }
    ~Heap()
    {
        for (auto& item : items)
            world.RemoveItem(item.get());
    }
    template <typename Fill>
    void Add(Fill fill, const zVector& at)
    {
        items.push_back(std::make_unique<GColItem>());
        GColItem* item = items.back().get();
        fill(item);
        item->SetTransformation(at, nullptr, nullptr, true);
        world.AddItem(item);
    }
    // Resting bodies still drift a little each step, each its own way, so
    // that every touching pair has relative motion to test.
    void Jitter(int step)
    {
        for (size_t i = 1; i < items.size(); ++i) {
            GColItem* item = items[i].get();
            const float offset = 2e-3f * float(int((i * 7 + size_t(step)) % 3) - 1);
            item->SetTransformation(item->position + zVector(0, offset, 0));
        }
    }
};

void BM_HeapDetection(benchmark::State& state)
{
    Heap heap(10, int(state.range(0)) / 100);
    heap.world.UseSAP = 1;
    int step = 0;
    uint32_t nodes = 0;
    for (auto _ : state) {
        // The rigid-body world's placement of the bodies is not detection.
        state.PauseTiming();
        heap.Jitter(step++);
        heap.world.GetPairTable().Clear();
        state.ResumeTiming();
        nodes = heap.world.Detect(heap.nodes.data(), uint32_t(heap.nodes.size()), heap.points.data(), uint32_t(heap.points.size()));
        benchmark::DoNotOptimize(nodes);
    }
    state.counters["items"] = double(heap.items.size());
    state.counters["nodes"] = double(nodes);
    state.counters["pairs"] = double(heap.world.GetPairTable().GetCount());
}
BENCHMARK(BM_HeapDetection)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A k x k grid of quads over rolling hills, two triangles each.
std::unique_ptr<zGeometry> Terrain(int k)
{
    auto g = std::make_unique<zGeometry>(nullptr, "Terrain");
    const int n = k + 1;
    g->vertexCount = uint32_t(n * n);
    g->vertices = new zVector[g->vertexCount];
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const float x = float(i);
            const float z = float(j);
            g->vertices[i * n + j] = zVector(x, 3.0f * std::sin(x * 0.05f) * std::cos(z * 0.07f), z);
        }
    }
    g->polygonCount = uint32_t(2 * k * k);
    g->bindingCount = g->polygonCount * 3;
    g->bindingIndices = new int32_t[g->bindingCount];
    g->polygons = new zPolygon[g->polygonCount];
    uint32_t p = 0;
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const int32_t a = i * n + j;
            const int32_t corners[2][3] = {{a, a + 1, a + n + 1}, {a, a + n + 1, a + n}};
            for (const auto& tri : corners) {
                zPolygon& polygon = g->polygons[p];
                polygon.vertexCount = 3;
                polygon.indices = g->bindingIndices + 3 * p;
                for (int c = 0; c < 3; ++c)
                    polygon.indices[c] = tri[c];
                ++p;
            }
        }
    }
    g->AllocateMaterials(1, true);
    return g;
}

void BM_RaycastTerrain(benchmark::State& state)
{
    const int k = int(state.range(0));
    auto terrain = Terrain(k);
    GCollide world;
    GColItem item;
    item.AddMeshShape(terrain.get());
    item.SetTransformation(zVector(0, 0, 0), nullptr, nullptr, true);
    world.AddItem(&item);
    uint32_t seed = 12345;
    const auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / float(1u << 24);
    };
    int64_t hits = 0;
    for (auto _ : state) {
        const zVector origin(next() * float(k), 20.0f, next() * float(k));
        const zVector direction(next() - 0.5f, -1.0f, next() - 0.5f);
        GColRayHit hit;
        hits += world.Raytrace(origin, direction, hit, 1, GColRayAll) ? 1 : 0;
        benchmark::DoNotOptimize(hit.distance);
    }
    world.RemoveItem(&item);
    state.SetItemsProcessed(state.iterations());
    state.counters["triangles"] = double(terrain->polygonCount);
    state.counters["hit_ratio"] = state.iterations() > 0 ? double(hits) / double(state.iterations()) : 0.0;
}
BENCHMARK(BM_RaycastTerrain)->Arg(224)->Unit(benchmark::kMicrosecond);

}
