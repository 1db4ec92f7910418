// Vertex normals and tangents on shapes where many polygons share a vertex:
// a disc of 100,000 triangles around one hub vertex, and 100,000 copies of
// one triangle; a cone of the same size, whose apex sees 100,000 different
// faces; and a plain grid of 100,000 triangles for the usual case. One
// iteration is one shape of 100,000 triangles, so the times are per 100,000
// triangles. The loads read the shape from ZML text, which computes its
// normals; the triangle lists are what the GL renderer makes of a geometry
// when it takes it, also for a grid whose triangles use 20,000 materials.

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryTrilist.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Triangles = 100000;

enum Shape { Disc, Copies, Cone, Grid, Materials };

const char* const ShapeNames[] = {"disc", "copies", "cone", "grid", "materials"};
constexpr uint32_t MaterialCount = 20000;

// Fills the shape with one lit material that smooths by the default
// threshold and has a normal map on UV set 0.
void FillShape(zGeometry& g, Shape shape)
{
    std::vector<zVector> vertices;
    std::vector<int32_t> corners;
    const float pi = 3.14159265f;
    switch (shape) {
    case Disc:
    case Cone: {
        vertices.push_back(zVector(0.0f, 0.0f, shape == Cone ? 1.0f : 0.0f));
        for (uint32_t i = 0; i < Triangles; ++i) {
            const float a = 2.0f * pi * float(i) / float(Triangles);
            vertices.push_back(zVector(std::cos(a), std::sin(a), 0.0f));
        }
        for (uint32_t i = 0; i < Triangles; ++i)
            corners.insert(corners.end(), {0, int32_t(1 + i), int32_t(1 + (i + 1) % Triangles)});
        break;
    }
    case Copies:
        vertices = {zVector(0, 0, 0), zVector(1, 0, 0), zVector(0, 1, 0)};
        for (uint32_t i = 0; i < Triangles; ++i)
            corners.insert(corners.end(), {0, 1, 2});
        break;
    case Grid:
    case Materials: {
        const uint32_t width = 500;
        const uint32_t height = Triangles / (2 * width);
        for (uint32_t y = 0; y <= height; ++y) {
            for (uint32_t x = 0; x <= width; ++x)
                vertices.push_back(zVector(float(x), float(y), float((x * 7 + y * 3) % 5) * 0.1f));
        }
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const int32_t a = int32_t(y * (width + 1) + x);
                const int32_t c = int32_t(width + 1);
                corners.insert(corners.end(), {a, a + 1, a + c + 1, a, a + c + 1, a + c});
            }
        }
        break;
    }
    }
    g.vertexCount = uint32_t(vertices.size());
    g.vertices = new zVector[g.vertexCount];
    for (uint32_t i = 0; i < g.vertexCount; ++i)
        g.vertices[i] = vertices[i];
    g.polygonCount = uint32_t(corners.size() / 3);
    g.bindingCount = uint32_t(corners.size());
    g.bindingIndices = new int32_t[g.bindingCount];
    g.polygons = new zPolygon[g.polygonCount];
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[g.bindingCount];
    for (uint32_t b = 0; b < g.bindingCount; ++b) {
        g.bindingIndices[b] = corners[b];
        g.uvSets[0][b] = {g.vertices[corners[b]].x, g.vertices[corners[b]].y};
    }
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        g.polygons[p].vertexCount = 3;
        g.polygons[p].indices = g.bindingIndices + 3 * p;
    }
    const uint32_t materials = shape == Materials ? MaterialCount : 1;
    g.AllocateMaterials(materials, true);
    for (uint32_t m = 0; m < materials; ++m) {
        zMaterial& material = *g.materials[m];
        material.name = zString::Format("Surface%u", m);
        material.flags |= zMaterial::FlagLit | zMaterial::FlagNormalMapTangent;
        material.stages[0].active = 1;
        material.stages[0].channel = zMaterial::ChannelNormal;
        material.stages[0].uvIndex = 0;
    }
    for (uint32_t p = 0; p < g.polygonCount; ++p)
        g.polygons[p].material = uint16_t(p % materials);
    g.renderWord = zGeometry::RenderLit;
}

struct Quiet {
    Quiet() : previous(GlobalLog.VerbosityMask) { GlobalLog.VerbosityMask = 0; }
    ~Quiet() { GlobalLog.VerbosityMask = previous; }
    uint8_t previous;
};

void BM_VertexNormals(benchmark::State& state)
{
    Quiet quiet;
    Tavrin core;
    const Shape shape = Shape(state.range(0));
    state.SetLabel(ShapeNames[shape]);
    zGeometry g(&core, "shape");
    FillShape(g, shape);
    for (auto _ : state)
        benchmark::DoNotOptimize(g.ComputeVertexNormal(true));
}
BENCHMARK(BM_VertexNormals)->DenseRange(Disc, Grid)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_VertexTangents(benchmark::State& state)
{
    Quiet quiet;
    Tavrin core;
    const Shape shape = Shape(state.range(0));
    state.SetLabel(ShapeNames[shape]);
    zGeometry g(&core, "shape");
    FillShape(g, shape);
    for (auto _ : state)
        benchmark::DoNotOptimize(g.ComputeVertexTangent(true));
}
BENCHMARK(BM_VertexTangents)->DenseRange(Disc, Grid)->Unit(benchmark::kMillisecond)->Iterations(1);

// Text to geometry, as a geometry file loads: the reader checks the mesh and
// computes the vertex normals the material asks for.
void BM_LoadShape(benchmark::State& state)
{
    Quiet quiet;
    Tavrin core;
    const Shape shape = Shape(state.range(0));
    state.SetLabel(ShapeNames[shape]);
    std::string text;
    {
        zGeometry g(&core, "shape.zml");
        FillShape(g, shape);
        zMetaFile document;
        document.AddRootTag(g.AsMetaTag(&document));
        zMetaParser::SaveText(&document, text);
    }
    for (auto _ : state) {
        zMetaFile document;
        zMetaParser::LoadText(text.data(), text.size(), &document, "shape.zml");
        zGeometry geometry(&core, "shape.zml");
        if (!geometry.FromMetaFile(&document) || geometry.vertexNormals == nullptr)
            state.SkipWithError("the shape did not load with its normals");
    }
    state.counters["MB"] = double(text.size()) / 1e6;
}
BENCHMARK(BM_LoadShape)->DenseRange(Disc, Grid)->Unit(benchmark::kMillisecond)->Iterations(1);

// The renderer's conversion: validation with the vertex normals, the
// shared-vertex table, lists of at most 16,384 triangles and their order for
// the vertex cache.
void BM_TriangleLists(benchmark::State& state)
{
    Quiet quiet;
    Tavrin core;
    const Shape shape = Shape(state.range(0));
    state.SetLabel(ShapeNames[shape]);
    for (auto _ : state) {
        state.PauseTiming();
        zGeometry g(&core, "shape");
        FillShape(g, shape);
        state.ResumeTiming();
        zLinkedList* lists = zGeometryTrilist::GeometryToTriangleList(&g, 16384, zGeometryTrilist::CacheSize);
        if (lists == nullptr) {
            state.SkipWithError("no triangle lists");
            break;
        }
        state.counters["lists"] = double(lists->GetCount());
        lists->Clear(true);
        delete lists;
    }
}
BENCHMARK(BM_TriangleLists)->DenseRange(Disc, Materials)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
