// A safe-mode frame of 2,000 objects sharing 10 geometries under 4 lights, at
// 800x600: milliseconds per frame, draw calls and GL state changes per frame.
// Geometries are uploaded once before the timing; the benchmark fails if a
// frame uploads anything.

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/object/zObject.h"
#include "core/render/zRendererProperty.h"
#include "core/zad/Tavrin.h"
#include "gl3/system/zGL3Renderer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int32_t Width = 800;
constexpr int32_t Height = 600;
constexpr int ObjectCount = 2000;
constexpr int GeometryCount = 10;

// A UV sphere of the given rings and segments, radius r, lit, coloured.
void FillSphere(zGeometry& g, int rings, int segments, float r, zColor colour)
{
    const int vertices = (rings + 1) * (segments + 1);
    g.vertexCount = uint32_t(vertices);
    g.vertices = new zVector[size_t(vertices)];
    for (int i = 0; i <= rings; ++i) {
        const float theta = float(M_PI) * float(i) / float(rings);
        for (int j = 0; j <= segments; ++j) {
            const float phi = 2.0f * float(M_PI) * float(j) / float(segments);
            g.vertices[i * (segments + 1) + j] = zVector(r * std::sin(theta) * std::cos(phi), r * std::cos(theta),
                                                         r * std::sin(theta) * std::sin(phi));
        }
    }
    g.polygonCount = uint32_t(rings * segments);
    g.bindingCount = g.polygonCount * 4;
    g.bindingIndices = new int32_t[g.bindingCount];
    g.polygons = new zPolygon[g.polygonCount];
    g.vertexNormals = new zVector[g.bindingCount];
    int p = 0;
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j, ++p) {
            const int a = i * (segments + 1) + j, b = a + segments + 1;
            const int corners[4] = {a, a + 1, b + 1, b};
            g.polygons[p].vertexCount = 4;
            g.polygons[p].indices = g.bindingIndices + 4 * p;
            for (int k = 0; k < 4; ++k) {
                g.bindingIndices[4 * p + k] = corners[k];
                const zVector& v = g.vertices[corners[k]];
                g.vertexNormals[4 * p + k] = zVector(v.x / r, v.y / r, v.z / r);
            }
        }
    }
    g.AllocateMaterials(1, true);
    g.materials[0]->flags = zMaterial::FlagLit | zMaterial::FlagSmoothing | zMaterial::FlagDoubleSided;
    g.materials[0]->diffuse = colour;
}

struct Lights {
    std::vector<zLight*> lights;
    static bool Callback(int32_t kind, zRendererPropertyRequest& request)
    {
        auto* self = static_cast<Lights*>(request.context);
        if (kind == PropertyVisibleLights) {
            request.count = 0;
            for (zLight* l : self->lights)
                request.lights[request.count++] = l;
        } else if (kind == PropertyAmbient) {
            request.ambient[0] = request.ambient[1] = request.ambient[2] = 0.15f;
        } else {
            return false;
        }
        request.handled = 1;
        return true;
    }
};

void BM_SafeModeFrame(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    Tavrin core;
    zGL3Renderer renderer(&core);
    renderer.optionFlags |= zGL3Renderer::OptionDisableShader;
    if (!renderer.OpenVideoMode(Width, Height, 32, zGL3Renderer::ModeHidden)) {
        state.SkipWithError("no GL output");
        return;
    }
    std::vector<zGeometry*> geometries;
    for (int i = 0; i < GeometryCount; ++i) {
        zGeometry* g = zGeometry::New(&core, nullptr);
        FillSphere(*g, 6 + i, 8 + 2 * i, 0.4f,
                   zColor(0.3f + 0.07f * float(i), 0.8f - 0.05f * float(i), 0.5f, 1.0f));
        g->Setup();
        geometries.push_back(g);
    }
    std::vector<std::unique_ptr<zObject>> objects;
    for (int i = 0; i < ObjectCount; ++i) {
        auto o = std::make_unique<zObject>(&core);
        o->SetGeometry(geometries[size_t(i % GeometryCount)], false);
        o->position = zVector(float(i % 50) - 25.0f, float((i / 50) % 40) * 0.8f - 16.0f, 20.0f + float(i % 7) * 3.0f);
        o->UpdateWorldMatrix();
        objects.push_back(std::move(o));
    }
    zCamera camera(&core);
    camera.UpdateWorldMatrix();
    Lights lights;
    std::vector<std::unique_ptr<zLight>> owned;
    const zVector positions[4] = {{-20, 10, 0}, {20, 10, 10}, {0, -10, 15}, {0, 0, -5}};
    for (int i = 0; i < 4; ++i) {
        auto l = std::make_unique<zLight>(&core);
        l->type = i == 3 ? zLight::TypeParallel : zLight::TypePoint;
        l->position = positions[i];
        l->diffuseIntensity = 0.6f;
        l->range = 80.0f;
        l->UpdateWorldMatrix();
        lights.lights.push_back(l.get());
        owned.push_back(std::move(l));
    }
    renderer.propertyCallback = &Lights::Callback;
    renderer.propertyContext = &lights;

    const uint64_t uploads = renderer.uploads;
    uint64_t frames = 0, draws = 0, changes = 0, drawn = 0;
    for (auto _ : state) {
        for (uint32_t& counter : renderer.statistics)
            counter = 0;
        const uint64_t changesBefore = renderer.stateChanges;
        renderer.Clear(0.1f, 0.1f, 0.1f, 1.0f, 0);
        renderer.camera = &camera;
        renderer.ApplyCamera();
        renderer.ResetItemStack();
        for (auto& o : objects)
            o->PushToRenderer();
        renderer.RenderQueue();
        renderer.Present();
        glFinish();
        ++frames;
        draws += renderer.statistics[zRenderer::StatListsDrawn];
        drawn += renderer.statistics[zRenderer::StatObjectsDrawn];
        changes += renderer.stateChanges - changesBefore;
    }
    if (renderer.uploads != uploads)
        state.SkipWithError("a frame uploaded geometry or textures");
    state.counters["draw_calls_per_frame"] = double(draws) / double(frames);
    state.counters["objects_drawn_per_frame"] = double(drawn) / double(frames);
    state.counters["state_changes_per_frame"] = double(changes) / double(frames);
    state.counters["uploads_during_frames"] = double(renderer.uploads - uploads);
    renderer.CloseVideo();
}
BENCHMARK(BM_SafeModeFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace
