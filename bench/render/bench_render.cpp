// Frames of the GL renderer at 800x600: 2,000 objects sharing 10 geometries
// under 4 lights in the safe-mode frame and in the deferred frame, and the
// demo's scene (floor, five crates, two lights) in the deferred frame.
// Milliseconds per frame, draw calls and GL state changes per frame; the
// deferred runs also give each pass's share of the frame (CPU time around the
// pass with glFinish on both sides, so the GL work is inside it). Geometries
// are uploaded once before the timing; the benchmark fails if a frame uploads
// anything or builds a program.

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/object/zObject.h"
#include "core/render/zRendererProperty.h"
#include "core/zad/Tavrin.h"
#include "framework/filesystem/zIOBaseFS.h"
#include "gl3/system/zGL3Renderer.h"

#include <benchmark/benchmark.h>

#include <chrono>
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
    // What a material read from a file gets: the deferred frame draws by it.
    g.materials[0]->shaderMap = g.materials[0]->AsShaderMap();
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

// The scene a frame draws: its objects, lights and camera.
struct Scene {
    std::vector<std::unique_ptr<zObject>> objects;
    std::vector<std::unique_ptr<zLight>> owned;
    Lights lights;
    std::unique_ptr<zCamera> camera;
};

void BuildSpheres(Tavrin& core, Scene& scene)
{
    std::vector<zGeometry*> geometries;
    for (int i = 0; i < GeometryCount; ++i) {
        zGeometry* g = zGeometry::New(&core, nullptr);
        FillSphere(*g, 6 + i, 8 + 2 * i, 0.4f,
                   zColor(0.3f + 0.07f * float(i), 0.8f - 0.05f * float(i), 0.5f, 1.0f));
        g->Setup();
        geometries.push_back(g);
    }
    for (int i = 0; i < ObjectCount; ++i) {
        auto o = std::make_unique<zObject>(&core);
        o->SetGeometry(geometries[size_t(i % GeometryCount)], false);
        o->position = zVector(float(i % 50) - 25.0f, float((i / 50) % 40) * 0.8f - 16.0f, 20.0f + float(i % 7) * 3.0f);
        o->UpdateWorldMatrix();
        scene.objects.push_back(std::move(o));
    }
    scene.camera = std::make_unique<zCamera>(&core);
    scene.camera->UpdateWorldMatrix();
    const zVector positions[4] = {{-20, 10, 0}, {20, 10, 10}, {0, -10, 15}, {0, 0, -5}};
    for (int i = 0; i < 4; ++i) {
        auto l = std::make_unique<zLight>(&core);
        l->type = i == 3 ? zLight::TypeParallel : zLight::TypePoint;
        l->position = positions[i];
        l->diffuseIntensity = 0.6f;
        l->range = 80.0f;
        l->UpdateWorldMatrix();
        scene.lights.lights.push_back(l.get());
        scene.owned.push_back(std::move(l));
    }
}

// The demo's world (data/demo/world.zms) with the crates where they come to
// rest: the floor, two stacks of crates, the sun and the lamp, its camera.
bool BuildDemo(Tavrin& core, Scene& scene)
{
    zGeometry* floor = core.LoadGeometry("floor.zml", true, true);
    zGeometry* crate = core.LoadGeometry("crate.zml", true, true);
    if (floor == nullptr || crate == nullptr)
        return false;
    floor->Setup();
    crate->Setup();
    const zVector places[6] = {{0, -0.5f, 0}, {0, 0.5f, 0}, {0.1f, 1.5f, 0.05f}, {-0.1f, 2.5f, -0.05f},
                               {2, 0.5f, 0.5f}, {2.3f, 1.5f, 0.4f}};
    for (int i = 0; i < 6; ++i) {
        auto o = std::make_unique<zObject>(&core);
        o->SetGeometry(i == 0 ? floor : crate, false);
        o->position = places[i];
        o->UpdateWorldMatrix();
        scene.objects.push_back(std::move(o));
    }
    scene.camera = std::make_unique<zCamera>(&core);
    scene.camera->position = zVector(1.0f, 5.5f, -11.0f);
    scene.camera->rotation = zVector(0.4f, 0.0f, 0.0f);
    scene.camera->UpdateWorldMatrix();
    // The sun, a point light, and the lamp, a spot light casting shadows.
    auto sun = std::make_unique<zLight>(&core);
    sun->position = zVector(-20.0f, 40.0f, -10.0f);
    sun->range = 100.0f;
    auto lamp = std::make_unique<zLight>(&core);
    lamp->type = zLight::TypeSpot;
    lamp->range = 25.0f;
    lamp->zNear = 2.0f;
    lamp->zFar = 30.0f;
    lamp->coneAngle = 0.6f;
    lamp->edgeAngle = 0.2f;
    lamp->diffuseIntensity = 1.5f;
    lamp->shadow = zLight::ShadowMap;
    lamp->position = zVector(5.0f, 7.0f, -4.0f);
    lamp->rotation = zVector(0.7f, -0.8f, 0.0f);
    for (auto* l : {&sun, &lamp}) {
        (*l)->UpdateWorldMatrix();
        scene.lights.lights.push_back(l->get());
        scene.owned.push_back(std::move(*l));
    }
    return true;
}

enum class Frame { SafeSpheres, DeferredSpheres, DeferredDemo };

void RunFrames(benchmark::State& state, Frame kind)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    // The shader library and the demo's files, from the source tree.
    GlobalSearchPathList.Add(zString(TAVRIN_SOURCE_DIR "/data/shaders"));
    GlobalSearchPathList.Add(zString(TAVRIN_SOURCE_DIR "/data/demo"));
    Tavrin core;
    zGL3Renderer renderer(&core);
    if (kind == Frame::SafeSpheres)
        renderer.optionFlags |= zGL3Renderer::OptionDisableShader;
    if (!renderer.OpenVideoMode(Width, Height, 32, zGL3Renderer::ModeHidden)) {
        state.SkipWithError("no GL output");
        return;
    }
    if (kind != Frame::SafeSpheres && (renderer.optionFlags & zGL3Renderer::OptionDisableShader) != 0) {
        state.SkipWithError("no deferred frame on this GL");
        return;
    }
    Scene scene;
    if (kind == Frame::DeferredDemo) {
        if (!BuildDemo(core, scene)) {
            state.SkipWithError("demo geometries not found");
            return;
        }
    } else {
        BuildSpheres(core, scene);
    }
    // The demo runs with the shipped settings (data/tavrin.conf).
    if (kind == Frame::DeferredDemo)
        renderer.effectFlags |= zGL3Renderer::EffectShadowMapping | zGL3Renderer::EffectLinearShadow |
            zGL3Renderer::EffectBloom | zGL3Renderer::EffectFramebufferAsTexture;
    for (auto& l : scene.owned)
        renderer.SetupLight(l.get());
    renderer.propertyCallback = &Lights::Callback;
    renderer.propertyContext = &scene.lights;
    renderer.passTiming = kind != Frame::SafeSpheres ? 1 : 0;

    const uint64_t uploads = renderer.uploads;
    const uint64_t programs = renderer.shaderMapPrograms;
    uint64_t frames = 0, draws = 0, changes = 0, drawn = 0;
    double passes[zGL3Renderer::TimeCount] = {};
    double total = 0.0;
    for (auto _ : state) {
        for (uint32_t& counter : renderer.statistics)
            counter = 0;
        const uint64_t changesBefore = renderer.stateChanges;
        const auto start = std::chrono::steady_clock::now();
        renderer.Clear(0.35f, 0.45f, 0.6f, 1.0f, 0);
        renderer.camera = scene.camera.get();
        renderer.ApplyCamera();
        renderer.ResetItemStack();
        for (auto& o : scene.objects)
            o->PushToRenderer();
        renderer.RenderQueue();
        renderer.Present();
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (int i = 0; i < zGL3Renderer::TimeCount; ++i)
            passes[i] += renderer.passSeconds[i];
        ++frames;
        draws += renderer.statistics[zRenderer::StatListsDrawn];
        drawn += renderer.statistics[zRenderer::StatObjectsDrawn];
        changes += renderer.stateChanges - changesBefore;
    }
    if (renderer.uploads != uploads)
        state.SkipWithError("a frame uploaded geometry or textures");
    if (renderer.shaderMapPrograms != programs)
        state.SkipWithError("a frame built a program");
    state.counters["draw_calls_per_frame"] = double(draws) / double(frames);
    state.counters["objects_drawn_per_frame"] = double(drawn) / double(frames);
    state.counters["state_changes_per_frame"] = double(changes) / double(frames);
    state.counters["uploads_during_frames"] = double(renderer.uploads - uploads);
    if (kind != Frame::SafeSpheres && total > 0.0) {
        static const char* const names[zGL3Renderer::TimeCount] = {
            "share_velocity", "share_depth_normal", "share_ssao",    "share_attributes",   "share_lights",
            "share_shadows",  "share_fog",          "share_forward", "share_post_effects", "share_output"};
        for (int i = 0; i < zGL3Renderer::TimeCount; ++i)
            state.counters[names[i]] = passes[i] / total;
    }
    renderer.CloseVideo();
}

void BM_SafeModeFrame(benchmark::State& state)
{
    RunFrames(state, Frame::SafeSpheres);
}

void BM_DeferredFrame(benchmark::State& state)
{
    RunFrames(state, Frame::DeferredSpheres);
}

void BM_DeferredDemoFrame(benchmark::State& state)
{
    RunFrames(state, Frame::DeferredDemo);
}

BENCHMARK(BM_DeferredFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DeferredDemoFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_SafeModeFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace
