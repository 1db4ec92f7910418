#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// A grid of width x height quads split into triangles, with vertex normals,
// one UV set and one material: 2 x width x height triangles.
void FillGrid(zGeometry& g, uint32_t width, uint32_t height)
{
    const uint32_t columns = width + 1;
    g.vertexCount = columns * (height + 1);
    g.vertices = new zVector[g.vertexCount];
    for (uint32_t y = 0; y <= height; ++y) {
        for (uint32_t x = 0; x <= width; ++x)
            g.vertices[y * columns + x] = zVector(float(x), float(y), float((x * 7 + y * 3) % 5) * 0.1f);
    }
    g.polygonCount = 2 * width * height;
    g.bindingCount = 3 * g.polygonCount;
    g.polygons = new zPolygon[g.polygonCount];
    g.bindingIndices = new int32_t[g.bindingCount];
    g.vertexNormals = new zVector[g.bindingCount];
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[g.bindingCount];
    uint32_t p = 0;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int32_t a = int32_t(y * columns + x);
            const int32_t c = int32_t(columns);
            const int32_t triangles[2][3] = {{a, a + 1, a + c + 1}, {a, a + c + 1, a + c}};
            for (const auto& triangle : triangles) {
                zPolygon& polygon = g.polygons[p];
                polygon.vertexCount = 3;
                polygon.indices = g.bindingIndices + 3 * p;
                for (int k = 0; k < 3; ++k) {
                    polygon.indices[k] = triangle[k];
                    g.vertexNormals[3 * p + k] = zVector(0.0f, 0.0f, 1.0f);
                    g.uvSets[0][3 * p + k] = {g.vertices[triangle[k]].x / float(width),
                                              g.vertices[triangle[k]].y / float(height)};
                }
                ++p;
            }
        }
    }
    g.AllocateMaterials(1, true);
    g.materials[0]->name = "Ground";
}

struct MillionTriangles {
    MillionTriangles()
    {
        GlobalLog.VerbosityMask = 0;
        zGeometry grid(&core, "grid.zml");
        FillGrid(grid, 1000, 500);
        zMetaFile document;
        document.AddRootTag(grid.AsMetaTag(&document));
        zMetaParser::SaveText(&document, text);
    }

    Tavrin core;
    std::string text;
};

MillionTriangles& Fixture()
{
    static MillionTriangles fixture;
    return fixture;
}

// Text to geometry: the ZML parse and the geometry reader, which decodes the
// yEnc blocks, checks them against the counts and validates every corner.
// One iteration is one million triangles.
void BM_LoadMillionTriangles(benchmark::State& state)
{
    MillionTriangles& f = Fixture();
    for (auto _ : state) {
        zMetaFile document;
        zMetaParser::LoadText(f.text.data(), f.text.size(), &document, "grid.zml");
        zGeometry geometry(&f.core, "grid.zml");
        benchmark::DoNotOptimize(geometry.FromMetaFile(&document));
    }
    state.counters["MB"] = double(f.text.size()) / 1e6;
    state.counters["triangles/s"] = benchmark::Counter(1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadMillionTriangles)->Unit(benchmark::kMillisecond);

// The geometry reader alone, from a document already parsed.
void BM_ReadMillionTrianglesFromTags(benchmark::State& state)
{
    MillionTriangles& f = Fixture();
    zMetaFile document;
    zMetaParser::LoadText(f.text.data(), f.text.size(), &document, "grid.zml");
    for (auto _ : state) {
        zGeometry geometry(&f.core, "grid.zml");
        benchmark::DoNotOptimize(geometry.FromMetaFile(&document));
    }
    state.counters["triangles/s"] = benchmark::Counter(1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadMillionTrianglesFromTags)->Unit(benchmark::kMillisecond);

// Geometry to text: the writer's blocks and the ZML text.
void BM_WriteMillionTriangles(benchmark::State& state)
{
    MillionTriangles& f = Fixture();
    zMetaFile document;
    zMetaParser::LoadText(f.text.data(), f.text.size(), &document, "grid.zml");
    zGeometry geometry(&f.core, "grid.zml");
    geometry.FromMetaFile(&document);
    for (auto _ : state) {
        zMetaFile written;
        written.AddRootTag(geometry.AsMetaTag(&written));
        std::string text;
        zMetaParser::SaveText(&written, text);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["triangles/s"] = benchmark::Counter(1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteMillionTriangles)->Unit(benchmark::kMillisecond);

} // namespace
