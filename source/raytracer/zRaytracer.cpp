#include "raytracer/zRaytracer.h"

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMatrix3.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>
#include <string>

#ifndef RAYTRACER_SERIAL
#include <omp.h>
#endif

namespace {

constexpr float SurfaceOffset = 0.001f;
constexpr int32_t SpreadCount = 32;

int ThreadNumber()
{
#ifndef RAYTRACER_SERIAL
    return omp_get_thread_num();
#else
    return 0;
#endif
}

zColor Add(const zColor& a, const zColor& b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b, a.a + b.a};
}

zColor Mul(const zColor& a, const zColor& b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
}

zColor Scale(const zColor& a, float s)
{
    return {a.r * s, a.g * s, a.b * s, a.a * s};
}

float Clamp01(float v)
{
    // NaN counts as 0.
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

float DistanceSquared(const float* a, const float* b)
{
    const float r = a[0] - b[0];
    const float g = a[1] - b[1];
    const float bl = a[2] - b[2];
    return r * r + g * g + bl * bl;
}

} // namespace

// A hit, resolved: where, which polygon of which instance, and how it faces.
struct zRaytracer::Surface {
    const zSceneBIHInstance* instance = nullptr;
    const zGeometry* geometry = nullptr;
    const zMaterial* material = nullptr;
    int32_t polygon = -1;
    // Bindings of the three corners of the hit triangle and their weights.
    int32_t bindings[3] = {0, 0, 0};
    float weights[3] = {0.0f, 0.0f, 0.0f};
    zVector point;
    zVector normal;
    zVector direction;
    uint8_t backSide = 0;
};

// What one thread carries through a row: its query, its generator and its
// statistics, added to the shared ones once per row.
struct zRaytracer::Context {
    zSceneRayQuery query;
    zRayRandom random;
    uint32_t rays = 0;
    uint32_t nodes = 0;
};

zRaytracer::zRaytracer(Tavrin* owner) : core(owner)
{
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->freeCpuCopies = 0;
    SetParameters(parameters);
}

zRaytracer::~zRaytracer()
{
    ReleaseScene();
}

bool zRaytracer::SetScene(zScene* newScene)
{
    ReleaseScene();
    if (newScene == nullptr) {
        LogError("zRaytracer::SetScene") << "No scene given.\n";
        return false;
    }
    if (!view.SetScene(newScene, false) || !shadowTree.SetScene(newScene, true)) {
        ReleaseScene();
        return false;
    }
    try {
        lights.reserve(size_t(newScene->lights.GetCount()));
    } catch (const std::bad_alloc&) {
        LogError("zRaytracer::SetScene") << "Failed to allocate raytracer light array.\n";
        ReleaseScene();
        return false;
    }
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = newScene->lights.NextAs<zLinkedListIdEntry>(cursor)) {
        zMLight* light = static_cast<zMLight*>(entry);
        if (light->IsActive())
            lights.push_back(light);
    }
    scene = newScene;
    return true;
}

void zRaytracer::ReleaseScene()
{
    view.Clear();
    shadowTree.Clear();
    lights.clear();
    scene = nullptr;
}

void zRaytracer::SetParameters(const zRaytracerParameters& block)
{
    parameters = block;
    const auto bound = [](int32_t& value, int32_t lowest, int32_t highest, const char* what) {
        const int32_t bounded = std::clamp(value, lowest, highest);
        if (bounded != value)
            LogWarning("zRaytracer::SetParameters") << what << " " << value << " out of range, " << bounded << " used.\n";
        value = bounded;
    };
    bound(parameters.giRays, 0, MaxGIRays, "GI rays");
    bound(parameters.giDepth, 0, MaxGIDepth, "GI depth");
    bound(parameters.aaSubdivision, 0, MaxAASubdivision, "AA subdivision");
    const int32_t rays = parameters.giRays;
    // Each spread draws from its own generator: the same spreads whatever the
    // thread count.
#ifndef RAYTRACER_SERIAL
#pragma omp parallel for schedule(static)
#endif
    for (int32_t i = 0; i < SpreadCount; ++i) {
        zRayRandom random(0x5EED0000u + uint64_t(i));
        spreads[i].Compute(rays, rays, 1.5707964f, random);
    }
}

void zRaytracer::StartInterlacedSequence()
{
    field = parameters.firstField;
    storedField.Free();
}

uint32_t zRaytracer::PackColour(const float* rgba)
{
    const uint32_t r = uint32_t(Clamp01(rgba[0]) * 255.0f);
    const uint32_t g = uint32_t(Clamp01(rgba[1]) * 255.0f);
    const uint32_t b = uint32_t(Clamp01(rgba[2]) * 255.0f);
    const uint32_t a = uint32_t(Clamp01(rgba[3]) * 255.0f);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

bool zRaytracer::ComputeSurface(const zSceneRayQuery& query, const zVector& origin, const zVector& direction,
                                Surface& out) const
{
    const zSceneBIHInstance& instance = view.GetInstances()[size_t(query.instance)];
    const zGeometry* g = instance.geometry;
    out.instance = &instance;
    out.geometry = g;
    out.polygon = query.primitiveHit;
    out.direction = direction;
    out.point = origin + direction * query.hitT;
    out.backSide = query.backSide;
    const zPolygon& polygon = g->polygons[out.polygon];
    out.material = polygon.material < g->materialCount ? g->materials[polygon.material] : nullptr;
    // Fan triangle k of the polygon: corners k + 1, k + 2 and 0.
    const int32_t first = g->polygonFirst != nullptr ? g->polygonFirst[out.polygon] : 0;
    const int32_t k = query.subPrimitiveHit;
    out.bindings[0] = first + k + 1;
    out.bindings[1] = first + k + 2;
    out.bindings[2] = first;
    for (int i = 0; i < 3; ++i)
        out.weights[i] = query.weights[i];

    const uint32_t flags = out.material != nullptr ? out.material->flags : 0;
    zVector normal = g->polygonNormals != nullptr ? g->polygonNormals[out.polygon] : zVector(0, 0, 1);
    const bool smooth = (flags & (zMaterial::FlagSmoothing | zMaterial::FlagNormalMapTangent)) != 0;
    if (smooth && g->vertexNormals != nullptr) {
        zVector n(0, 0, 0);
        for (int i = 0; i < 3; ++i)
            n = n + g->vertexNormals[out.bindings[i]] * out.weights[i];
        normal = n.Normalized();
        if (out.material->channels[zMaterial::ChannelNormal] != nullptr) {
            const zColor sample = SampleLayer(out, zMaterial::ChannelNormal);
            const zVector m(sample.r * 2.0f - 1.0f, sample.g * 2.0f - 1.0f, sample.b * 2.0f - 1.0f);
            if ((flags & zMaterial::FlagNormalMapTangent) != 0 && g->vertexTangents != nullptr) {
                zVector t(0, 0, 0);
                zVector b(0, 0, 0);
                for (int i = 0; i < 3; ++i) {
                    t = t + g->vertexTangents[out.bindings[i] * 2] * out.weights[i];
                    b = b + g->vertexTangents[out.bindings[i] * 2 + 1] * out.weights[i];
                }
                normal = (t * m.x + b * m.y + normal * m.z).Normalized();
            } else {
                normal = zVector(m.x, m.z, m.y).Normalized();
            }
        }
    }
    normal = normal.Rotate(instance.rotation).Normalized();
    out.normal = out.backSide ? -normal : normal;
    return true;
}

zColor zRaytracer::InterpolatedVertexColour(const Surface& surface) const
{
    const zGeometry* g = surface.geometry;
    if (g->vertexColours == nullptr)
        return {1.0f, 1.0f, 1.0f, 1.0f};
    zVector c(0, 0, 0);
    for (int i = 0; i < 3; ++i)
        c = c + g->vertexColours[surface.bindings[i]] * surface.weights[i];
    return {c.x, c.y, c.z, 1.0f};
}

zColor zRaytracer::SampleLayer(const Surface& surface, int32_t layer) const
{
    const zMaterial* material = surface.material;
    if (material == nullptr || layer < 0 || layer >= zMaterial::ChannelCount)
        return {1.0f, 1.0f, 1.0f, 1.0f};
    const zTextureStage* stage = material->channels[layer];
    if (stage == nullptr || stage->texture == nullptr || !stage->texture->picture.HasBuffer())
        return {1.0f, 1.0f, 1.0f, 1.0f};
    float u = 0.0f;
    float v = 0.0f;
    const zGeometry* g = surface.geometry;
    if (stage->uvSource == zMaterial::UVSourceUVMap) {
        const int32_t set = stage->uvIndex < 0 ? 0 : stage->uvIndex;
        if (uint32_t(set) < g->uvSetCount && g->uvSets[set] != nullptr) {
            for (int i = 0; i < 3; ++i) {
                u += g->uvSets[set][surface.bindings[i]].u * surface.weights[i];
                v += g->uvSets[set][surface.bindings[i]].v * surface.weights[i];
            }
        }
    } else if (scene != nullptr && scene->currentCamera != nullptr) {
        zCamera* camera = scene->currentCamera;
        if (stage->uvSource == zMaterial::UVSourceLSNormal) {
            const zVector n = surface.normal.Rotate(zMatrix3::FromMatrix4(camera->inverseWorldMatrix));
            u = (n.x + 1.0f) * 0.5f;
            v = (n.y + 1.0f) * 0.5f;
        } else if (stage->uvSource == zMaterial::UVSourceFrontMap) {
            zVector screen;
            if (camera->WorldToScreen(surface.point, screen, false)) {
                u = (screen.x - 0.5f) * (frameHeight / frameWidth) + 0.5f;
                v = screen.y;
            }
        }
    }
    const zVector t = zVector(u, v, 0.0f).Transform(stage->matrix);
    u = t.x;
    v = t.y;
    if (stage->wrapU)
        u -= std::floor(u);
    if (stage->wrapV)
        v -= std::floor(v);
    zColor out;
    stage->texture->picture.SampleBilinear(u, v, out);
    return out;
}

namespace {

// A value flowing through a shader graph on the CPU.
struct ShaderValue {
    enum Kind { Vector, Matrix3, Matrix4, Texture } kind = Vector;
    float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    zMatrix3 m3;
    zMatrix4 m4;
    const zTexture* texture = nullptr;
};

ShaderValue Vec(float x, float y, float z, float w = 1.0f)
{
    ShaderValue out;
    out.v[0] = x;
    out.v[1] = y;
    out.v[2] = z;
    out.v[3] = w;
    return out;
}

ShaderValue Vec(const zVector& v)
{
    return Vec(v.x, v.y, v.z);
}

zVector AsVector(const ShaderValue& value)
{
    return zVector(value.v[0], value.v[1], value.v[2]);
}

} // namespace

// Interpolated attributes of the hit the graph reads.
struct ShaderInputs {
    const zGeometry* geometry;
    const int32_t* bindings;
    const float* weights;
    const zMaterial* material;
};

static bool EvaluateShaderBlock(const zShaderBlock* block, const ShaderInputs& at, ShaderValue& out, int depth)
{
    // Graphs are acyclic; the bound only guards against a corrupt one.
    if (block == nullptr || depth > 256)
        return false;
    ShaderValue in[4];
    const uint32_t inputs = std::min<uint32_t>(block->GetInputCount(), 4);
    for (uint32_t i = 0; i < inputs; ++i) {
        if (block->GetInput(i) != nullptr && !EvaluateShaderBlock(block->GetInput(i), at, in[i], depth + 1))
            return false;
    }
    const zGeometry* g = at.geometry;
    auto interpolate = [&](const zVector* values) {
        zVector sum(0, 0, 0);
        for (int i = 0; i < 3; ++i)
            sum = sum + values[at.bindings[i]] * at.weights[i];
        return sum;
    };
    auto componentWise = [&](auto op) {
        out = Vec(op(in[0].v[0], in[1].v[0]), op(in[0].v[1], in[1].v[1]), op(in[0].v[2], in[1].v[2]));
        return true;
    };
    switch (block->GetType()) {
    case ShaderBlockNormalStream:
        out = g->vertexNormals != nullptr ? Vec(interpolate(g->vertexNormals)) : Vec(0, 0, 1);
        return true;
    case ShaderBlockUVStream: {
        const int32_t set = static_cast<const zUVStreamShaderBlock*>(block)->index;
        float u = 0.0f;
        float v = 0.0f;
        if (set >= 0 && uint32_t(set) < g->uvSetCount && g->uvSets[set] != nullptr) {
            for (int i = 0; i < 3; ++i) {
                u += g->uvSets[set][at.bindings[i]].u * at.weights[i];
                v += g->uvSets[set][at.bindings[i]].v * at.weights[i];
            }
        }
        out = Vec(u, v, 0.0f);
        return true;
    }
    case ShaderBlockVertexColorStream:
        out = g->vertexColours != nullptr ? Vec(interpolate(g->vertexColours)) : Vec(1, 1, 1);
        return true;
    case ShaderBlockTexture:
        out = ShaderValue();
        out.kind = ShaderValue::Texture;
        out.texture = static_cast<const zTextureShaderBlock*>(block)->texture;
        return true;
    case ShaderBlockSampler2D: {
        out = Vec(0, 0, 0);
        const zTexture* texture = in[0].kind == ShaderValue::Texture ? in[0].texture : nullptr;
        if (texture == nullptr || !texture->picture.HasBuffer())
            return true;
        const float u = in[1].v[0] - std::floor(in[1].v[0]);
        const float v = in[1].v[1] - std::floor(in[1].v[1]);
        zColor c;
        texture->picture.SampleBilinear(u, v, c);
        out = Vec(c.r, c.g, c.b, c.a);
        return true;
    }
    case ShaderBlockConstant: {
        const float* value = static_cast<const zConstantShaderBlock*>(block)->value;
        out = Vec(value[0], value[1], value[2], value[3]);
        return true;
    }
    case ShaderBlockColor: {
        const float* value = static_cast<const zColorShaderBlock*>(block)->colour;
        out = Vec(value[0], value[1], value[2], value[3]);
        return true;
    }
    case ShaderBlockMaterialParameter: {
        const zMaterial* m = at.material;
        switch (static_cast<const zMaterialParameterShaderBlock*>(block)->index) {
        case 0:
            out = Vec(m->diffuse.r, m->diffuse.g, m->diffuse.b, m->diffuse.a);
            return true;
        case 1:
            out = Vec(m->specular.r, m->specular.g, m->specular.b, m->specular.a);
            return true;
        case 2:
            out = Vec(m->selfIllumination.r, m->selfIllumination.g, m->selfIllumination.b, m->selfIllumination.a);
            return true;
        case 3:
            out = Vec(m->ambient.r, m->ambient.g, m->ambient.b, m->ambient.a);
            return true;
        case 4:
            out = Vec(m->glossiness, 0.0f, 0.0f);
            return true;
        default:
            return false;
        }
    }
    case ShaderBlockMix: {
        const float t = in[2].v[0];
        out = Vec(in[0].v[0] * t + (1.0f - t) * in[1].v[0], in[0].v[1] * t + (1.0f - t) * in[1].v[1],
                  in[0].v[2] * t + (1.0f - t) * in[1].v[2]);
        return true;
    }
    case ShaderBlockAdd:
        return componentWise([](float a, float b) { return a + b; });
    case ShaderBlockSubtract:
        return componentWise([](float a, float b) { return a - b; });
    case ShaderBlockDivide:
        return componentWise([](float a, float b) { return b != 0.0f ? a / b : 0.0f; });
    case ShaderBlockMultiply:
        if (in[0].kind == ShaderValue::Vector && in[1].kind == ShaderValue::Vector)
            return componentWise([](float a, float b) { return a * b; });
        if (in[0].kind == ShaderValue::Vector && in[1].kind == ShaderValue::Matrix3) {
            out = Vec(AsVector(in[0]).Rotate(in[1].m3));
            return true;
        }
        if (in[0].kind == ShaderValue::Vector && in[1].kind == ShaderValue::Matrix4) {
            out = Vec(AsVector(in[0]).Transform(in[1].m4));
            return true;
        }
        return false;
    case ShaderBlockDot:
        out = Vec(AsVector(in[0]).Dot(AsVector(in[1])), 0.0f, 0.0f);
        return true;
    case ShaderBlockCross:
        out = Vec(AsVector(in[0]).Cross(AsVector(in[1])));
        return true;
    case ShaderBlockNormalize:
        out = Vec(AsVector(in[0]).Normalized());
        return true;
    case ShaderBlockSinus:
        out = Vec(std::sin(in[0].v[0]), 0.0f, 0.0f);
        return true;
    case ShaderBlockCosinus:
        out = Vec(std::cos(in[0].v[0]), 0.0f, 0.0f);
        return true;
    case ShaderBlockUnpackColor:
        out = Vec(in[0].v[0] * 2.0f - 1.0f, in[0].v[1] * 2.0f - 1.0f, in[0].v[2]);
        return true;
    case ShaderBlockPackVector:
        out = Vec((in[0].v[0] + 1.0f) * 0.5f, (in[0].v[1] + 1.0f) * 0.5f, in[0].v[2]);
        return true;
    case ShaderBlockClock:
        out = Vec(float(GlobalClock) * 0.0001f, 0.0f, 0.0f);
        return true;
    case ShaderBlockVertexStream:
    case ShaderBlockSkinning:
    case ShaderBlockTangentFrame:
    case ShaderBlockScreenUV:
    case ShaderBlockViewVector:
    case ShaderBlockPow:
        out = Vec(0, 0, 0, 0);
        return true;
    case ShaderBlockClamp: {
        // A float bound holds for every component.
        auto bound = [&](uint32_t i, int c) {
            const zShaderBlock* source = block->GetInput(i);
            return source != nullptr && source->GetOutputType() == zShaderValue::Float ? in[i].v[0] : in[i].v[c];
        };
        out = Vec(0, 0, 0);
        for (int c = 0; c < 3; ++c)
            out.v[c] = std::min(std::max(in[0].v[c], bound(1, c)), bound(2, c));
        return true;
    }
    case ShaderBlockSwizzle: {
        const int32_t* selectors = static_cast<const zSwizzleShaderBlock*>(block)->selectors;
        out = Vec(0, 0, 0, 0);
        for (int c = 0; c < 4; ++c)
            out.v[c] = selectors[c] >= 1 && selectors[c] <= 4 ? in[0].v[selectors[c] - 1] : 0.0f;
        return true;
    }
    case ShaderBlockBuild: {
        const int32_t* modes = static_cast<const zBuildShaderBlock*>(block)->modes;
        out = Vec(0, 0, 0, 0);
        for (int c = 0; c < 4; ++c) {
            const int32_t mode = modes[c];
            out.v[c] = mode == zBuildShaderBlock::ModeOne ? 1.0f
                       : mode >= zBuildShaderBlock::ModeX && mode <= zBuildShaderBlock::ModeW
                           ? in[c].v[mode - zBuildShaderBlock::ModeX]
                           : 0.0f;
        }
        return true;
    }
    default:
        return false;
    }
}

zColor zRaytracer::GetMaterialChannel(const Surface& surface, int32_t channel) const
{
    const zMaterial* m = surface.material;
    const zShaderMap* map = m != nullptr ? m->shaderMap : nullptr;
    if (map != nullptr && channel >= 0 && channel < zShaderMap::ChannelCount && map->roots[channel] != nullptr) {
        const ShaderInputs at{surface.geometry, surface.bindings, surface.weights, m};
        ShaderValue value;
        if (EvaluateShaderBlock(map->roots[channel], at, value, 0) && value.kind == ShaderValue::Vector)
            return {value.v[0], value.v[1], value.v[2], value.v[3]};
    }
    switch (channel) {
    case 0:
        return {0, 0, 1, 1};
    case 1:
        return m != nullptr ? m->diffuse : zColor{1, 1, 1, 1};
    case 2:
        return {1, 1, 1, 1};
    case 3:
        return m != nullptr ? m->specular : zColor{1, 1, 1, 1};
    case 4:
        return {m != nullptr ? m->glossiness : 0.4f, 0, 0, 1};
    case 5:
        return {0, 0, 0, 1};
    case 6:
        return {1, 0, 0, 1};
    default:
        return {-1, -1, -1, -1};
    }
}

float zRaytracer::GetOpacity(const Surface& surface) const
{
    const zMaterial* material = surface.material;
    if (material == nullptr)
        return 1.0f;
    const zTextureStage* opacity = material->channels[zMaterial::ChannelOpacity];
    float x;
    if (opacity != nullptr && opacity->texture != nullptr && opacity->texture->picture.HasBuffer()) {
        const zColor sample = SampleLayer(surface, zMaterial::ChannelOpacity);
        // A mask says it in grey levels; its alpha may be anything (none, in
        // a picture converted from a format without alpha).
        x = opacity->texture->picture.IsMask() ? (sample.r + sample.g + sample.b) * 0.33333334f : sample.a;
    } else
        x = SampleLayer(surface, zMaterial::ChannelColor).a;
    return material->opacity * x;
}

float zRaytracer::ShadowFactor(const zVector& origin, const zVector& direction, float distance, int32_t layers) const
{
    zSceneRayQuery query;
    if (!parameters.transparentShadows) {
        query.nearestHit = 0;
        const bool hit = shadowTree.CastRay(query, origin, direction, distance);
        return hit && query.hitT > 0.0f ? 0.0f : 1.0f;
    }
    zVector from = origin;
    float left = distance;
    float transmittance = 1.0f;
    // Iterative form of the layer recursion.
    for (; layers > 0; --layers) {
        query.nearestHit = 1;
        if (!shadowTree.CastRay(query, from, direction, left))
            return transmittance;
        rayCount.fetch_add(1, std::memory_order_relaxed);
        const zSceneBIHInstance& instance = shadowTree.GetInstances()[size_t(query.instance)];
        const zGeometry* g = instance.geometry;
        const zPolygon& polygon = g->polygons[query.primitiveHit];
        Surface surface;
        surface.instance = &instance;
        surface.geometry = g;
        surface.material = polygon.material < g->materialCount ? g->materials[polygon.material] : nullptr;
        const int32_t first = g->polygonFirst != nullptr ? g->polygonFirst[query.primitiveHit] : 0;
        surface.bindings[0] = first + query.subPrimitiveHit + 1;
        surface.bindings[1] = first + query.subPrimitiveHit + 2;
        surface.bindings[2] = first;
        for (int i = 0; i < 3; ++i)
            surface.weights[i] = query.weights[i];
        const bool layered = surface.material != nullptr && (surface.material->flags & zMaterial::FlagFixedFunction);
        const float c = (layered ? GetOpacity(surface) : GetMaterialChannel(surface, 6).r) * instance.alpha;
        if (c >= 1.0f)
            return 0.0f;
        transmittance *= 1.0f - c;
        const float step = query.hitT + SurfaceOffset;
        from = from + direction * step;
        if (left > 0.0f) {
            left -= step;
            if (left <= 0.0f)
                return transmittance;
        }
    }
    return transmittance;
}

zColor zRaytracer::TracePixel(Context& context, const zVector& origin, const zVector& direction, Budget budget) const
{
    zSceneRayQuery& query = context.query;
    query.nearestHit = 1;
    const bool hit = view.CastRay(query, origin, direction, -1.0f);
    ++context.rays;
    context.nodes += uint32_t(query.nodeTests);
    if (!hit)
        return scene->backgroundColor;
    Surface surface;
    ComputeSurface(query, origin, direction, surface);
    return Shade(context, surface, budget);
}

zColor zRaytracer::Shade(Context& context, const Surface& surface, Budget budget) const
{
    const zMaterial* material = surface.material;
    const bool layered = material != nullptr && (material->flags & zMaterial::FlagFixedFunction) != 0;
    // Materials without texture layers take their channel constants.
    const float a = layered ? GetOpacity(surface) : GetMaterialChannel(surface, 6).r;
    const float b = surface.instance->alpha * a;
    zColor colour{0.0f, 0.0f, 0.0f, 1.0f};
    const float shininess = layered || material == nullptr ? (material != nullptr ? material->glossiness : 0.4f)
                                                           : GetMaterialChannel(surface, 4).r;

    if (b > 0.0f) {
        const zVector p = surface.point + surface.normal * SurfaceOffset;
        zColor diffuseSum{0, 0, 0, 0};
        zColor specularSum{0, 0, 0, 0};
        for (zMLight* managed : lights) {
            const zLight& light = managed->light;
            float visibility = 1.0f;
            if (light.shadow != zLight::ShadowNone && parameters.shadows) {
                zVector toLight;
                if (light.type == zLight::TypeParallel)
                    toLight = -light.worldMatrix.GetRow(2).Normalized() * light.clipDistance;
                else
                    toLight = light.worldMatrix.GetRow(3) - p;
                if (toLight.Dot(surface.normal) > 0.0f) {
                    const float distance = toLight.Length();
                    visibility = ShadowFactor(p, toLight * (1.0f / distance), distance, parameters.shadowLayers);
                    if (visibility <= 0.0f)
                        continue;
                }
            }
            float diffuse = 0.0f;
            float specular = 0.0f;
            const zVector viewDirection = surface.direction;
            if (!light.SampleEnergy(p, surface.normal, &diffuse, &specular, &viewDirection, shininess, false, false))
                continue;
            diffuseSum = Add(diffuseSum, Scale(light.diffuse, light.diffuseIntensity * diffuse * visibility));
            specularSum = Add(specularSum, Scale(light.specular, light.specularIntensity * specular * visibility));
        }

        zColor indirect{0, 0, 0, 0};
        const zColor ambient = Scale(scene->ambientColor, scene->ambientIntensity);
        if (parameters.gi && budget.gi > 0) {
            Budget next = budget;
            --next.gi;
            const zRaySpread& spread = spreads[context.random.Int(SpreadCount)];
            if (spread.count > 0) {
                const zMatrix3 frame = zMatrix3::FromDirection(surface.normal);
                zColor sum{0, 0, 0, 0};
                for (uint32_t i = 0; i < spread.count; ++i)
                    sum = Add(sum, TracePixel(context, p, spread.directions[i].Rotate(frame), next));
                indirect = Scale(sum, 1.0f / float(spread.count));
            }
        } else if (!parameters.gi || parameters.ambientAfterGi) {
            indirect = ambient;
        }

        zColor diffuse{1, 1, 1, 1};
        zColor specular{1, 1, 1, 1};
        zColor emissive{0, 0, 0, 1};
        if (material != nullptr) {
            if (layered) {
                diffuse = Mul(SampleLayer(surface, zMaterial::ChannelColor), material->diffuse);
                specular = Mul(SampleLayer(surface, zMaterial::ChannelSpecular), material->specular);
                emissive = Mul(SampleLayer(surface, zMaterial::ChannelSelfIllum), material->selfIllumination);
                const zTextureStage* tint = material->channels[zMaterial::ChannelVertexColor];
                if (tint != nullptr && tint->texture != nullptr) {
                    const zColor t = SampleLayer(surface, zMaterial::ChannelVertexColor);
                    diffuse = Mul(diffuse, t);
                    specular = Mul(specular, t);
                } else if ((material->flags & zMaterial::FlagVertexColor) != 0) {
                    const zColor t = InterpolatedVertexColour(surface);
                    diffuse = Mul(diffuse, t);
                    specular = Mul(specular, t);
                }
                const zTextureStage* decal = material->channels[zMaterial::ChannelReflection];
                if (decal != nullptr && decal->texture != nullptr) {
                    const zColor d = SampleLayer(surface, zMaterial::ChannelReflection);
                    diffuse = decal->operation == zMaterial::OperatorMultiply ? Mul(diffuse, d) : Add(diffuse, d);
                }
            } else {
                diffuse = GetMaterialChannel(surface, 1);
                specular = GetMaterialChannel(surface, 3);
                emissive = GetMaterialChannel(surface, 5);
            }
        }
        const zColor lit = Add(emissive, Add(Mul(Add(indirect, diffuseSum), diffuse), Mul(specular, specularSum)));
        colour = Scale(lit, b);
        colour.a = lit.a * b;
    }

    const bool transparentFlag = material != nullptr && material->transparent != 0;
    if ((b < 1.0f || transparentFlag) && budget.refractions > 0) {
        Budget next = budget;
        --next.refractions;
        zVector d = surface.direction;
        const float ior = material != nullptr ? material->ior : 1.0f;
        if (parameters.refraction && ior != 1.0f && ior > 0.0f) {
            const float u = budget.ior / ior;
            d = (d * u + surface.normal * (u - 1.0f)).Normalized();
            next.ior = ior;
        }
        const zColor traced = TracePixel(context, surface.point + d * SurfaceOffset, d, next);
        colour = transparentFlag ? Add(colour, traced) : Add(colour, Scale(traced, 1.0f - b));
    }

    const float reflectivity = material != nullptr ? material->reflection : 0.0f;
    if (parameters.reflections && b > 0.0f && reflectivity > 0.0f && budget.reflections > 0) {
        Budget next = budget;
        --next.reflections;
        const zVector& n = surface.normal;
        const zVector d = surface.direction - n * (2.0f * surface.direction.Dot(n));
        const zColor traced = TracePixel(context, surface.point + n * SurfaceOffset, d, next);
        colour = Add(colour, Scale(traced, reflectivity * b));
    }
    return colour;
}

bool zRaytracer::Trace(zPicture& picture, int32_t width, int32_t height)
{
    static constexpr const char* Method = "zRaytracer::Trace";
    if (parameters.interlace && (height % 2) != 0) {
        LogError(Method) << "Interlaced frame height must be a multiple of 2.\n";
        return false;
    }
    if (width <= 0 || height <= 0) {
        LogError(Method) << "Cannot trace a frame of " << width << " x " << height << " pixels.\n";
        return false;
    }
    if (scene == nullptr) {
        LogError(Method) << "No scene set to trace.\n";
        return false;
    }
    zCamera* camera = scene->currentCamera;
    if (camera == nullptr) {
        LogError(Method) << "The scene has no current camera to trace from.\n";
        return false;
    }
    const bool half = parameters.interlace && parameters.halfFields;
    const int32_t rows = half ? height / 2 : height;
    static const zPixelFormat Format(zPixelFormat::HostByteOrder, 0xFF000000u, 0x00FF0000u, 0x0000FF00u,
                                     0x000000FFu, 32, 0);
    if (!picture.AllocAs(width, rows, Format)) {
        LogError(Method) << "Failed to allocate the picture.\n";
        return false;
    }
    const size_t pixels = size_t(width) * size_t(rows);
    std::unique_ptr<float[]> buffer(new (std::nothrow) float[pixels * 4]);
    if (buffer == nullptr) {
        LogError(Method) << "Failed to allocate floating point frame buffer.\n";
        return false;
    }
    rayCount = 0;
    nodeTests = 0;
    supersampled = 0;
    cancel = 0;
    frameWidth = float(width);
    frameHeight = float(height);
    const auto started = std::chrono::steady_clock::now();

    float e = (camera->aspect == -1.0f ? 1.0f : camera->aspect) * GlobalAspectRatio;
    if (!(e > 0.0f))
        e = 1.0f;
    float hx = 1.0f;
    float hy = (float(height) / float(width)) / e;
    if (camera->aspectReferenceX != 0) {
        hx = (float(width) / float(height)) / e;
        hy = 1.0f;
    }
    const float z = camera->zoomFactor;
    const zMatrix4& world = camera->worldMatrix;
    const zVector tl = zVector(-hx, hy, z).Transform(world);
    const zVector tr = zVector(hx, hy, z).Transform(world);
    const zVector br = zVector(hx, -hy, z).Transform(world);
    const zVector bl = zVector(-hx, -hy, z).Transform(world);
    zVector leftStep = (bl - tl) * (1.0f / float(height));
    zVector rightStep = (br - tr) * (1.0f / float(height));
    zVector leftStart = tl;
    zVector rightStart = tr;
    if (half) {
        if (field == 0) {
            leftStart = leftStart + leftStep;
            rightStart = rightStart + rightStep;
        }
        leftStep = leftStep * 2.0f;
        rightStep = rightStep * 2.0f;
    }
    const zVector origin = world.GetRow(3);
    const Budget start{parameters.giDepth, parameters.reflectionDepth, parameters.refractionDepth, 1.0f};
    // Seeds differ per pass, field and row, never per thread.
    const uint64_t fieldSeed = uint64_t(parameters.interlace ? field : 2) << 40;

    auto primary = [&](float column, float subRow) {
        const zVector l = leftStart + leftStep * subRow;
        const zVector r = rightStart + rightStep * subRow;
        const zVector target = l + (r - l) * (column / float(width));
        return (target - origin).Normalized();
    };
    float* const frame = buffer.get();

#ifndef RAYTRACER_SERIAL
#pragma omp parallel for schedule(dynamic, 1)
#endif
    for (int32_t row = 0; row < rows; ++row) {
        if (cancel.load(std::memory_order_relaxed))
            continue;
        Context context;
        context.random.Seed(fieldSeed | (uint64_t(1) << 32) | uint32_t(row));
        for (int32_t column = 0; column < width; ++column) {
            if (cancel.load(std::memory_order_relaxed))
                break;
            const zColor c = TracePixel(context, origin, primary(float(column), float(row)), start);
            float* out = frame + (size_t(row) * size_t(width) + size_t(column)) * 4;
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
            out[3] = c.a;
        }
        rayCount.fetch_add(context.rays, std::memory_order_relaxed);
        nodeTests.fetch_add(context.nodes, std::memory_order_relaxed);
        if (progress != nullptr && ThreadNumber() == 0)
            progress({float(row) / float(rows), width, row, rows, 0});
    }

    if (parameters.aa && rows >= 3 && width >= 3) {
        // The edge test reads the first pass only: a copy, since other rows
        // are being replaced while it runs.
        std::unique_ptr<float[]> first(new (std::nothrow) float[pixels * 4]);
        if (first == nullptr) {
            LogError(Method) << "Failed to allocate floating point frame buffer.\n";
            return false;
        }
        std::copy(frame, frame + pixels * 4, first.get());
        const int32_t m = std::max(1, parameters.aaSubdivision);
        const float s = half ? 0.5f : 1.0f;
        const float threshold = parameters.aaThreshold;
#ifndef RAYTRACER_SERIAL
#pragma omp parallel for schedule(dynamic, 1)
#endif
        for (int32_t row = 1; row < rows - 1; ++row) {
            if (cancel.load(std::memory_order_relaxed))
                continue;
            Context context;
            context.random.Seed(fieldSeed | (uint64_t(2) << 32) | uint32_t(row));
            uint32_t replaced = 0;
            for (int32_t column = 1; column < width - 1; ++column) {
                if (cancel.load(std::memory_order_relaxed))
                    break;
                const size_t at = size_t(row) * size_t(width) + size_t(column);
                const float* here = first.get() + at * 4;
                const float* left = here - 4;
                const float* right = here + 4;
                const float* up = here - size_t(width) * 4;
                const float* down = here + size_t(width) * 4;
                if (DistanceSquared(here, left) < threshold && DistanceSquared(here, up) < threshold
                    && DistanceSquared(here, right) < threshold && DistanceSquared(here, down) < threshold)
                    continue;
                float sum[4] = {0, 0, 0, 0};
                for (int32_t j = 0; j < m; ++j) {
                    for (int32_t i = 0; i < m; ++i) {
                        const float jitterRow = parameters.aaJitter ? context.random.Float(0.125f / float(m)) : 0.0f;
                        const float jitterColumn =
                            parameters.aaJitter ? context.random.Float(0.125f / float(m)) : 0.0f;
                        const float subRow = float(row) + float(j) * s / float(m) + jitterRow;
                        const float subColumn = float(column) + float(i) / float(m) + jitterColumn;
                        const zColor c = TracePixel(context, origin, primary(subColumn, subRow), start);
                        sum[0] += Clamp01(c.r);
                        sum[1] += Clamp01(c.g);
                        sum[2] += Clamp01(c.b);
                        sum[3] += Clamp01(c.a);
                    }
                }
                float* out = frame + at * 4;
                const float n = 1.0f / float(m * m);
                for (int k = 0; k < 4; ++k)
                    out[k] = sum[k] * n;
                ++replaced;
            }
            rayCount.fetch_add(context.rays, std::memory_order_relaxed);
            nodeTests.fetch_add(context.nodes, std::memory_order_relaxed);
            supersampled.fetch_add(replaced, std::memory_order_relaxed);
            if (progress != nullptr && ThreadNumber() == 0)
                progress({float(row) / float(rows), width, row, rows, 0});
        }
    }
    if (progress != nullptr)
        progress({1.0f, width, rows, rows, 1});

    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    *GlobalLogStream << "Raytracing done. Took " << std::to_string(int64_t(ms)).c_str() << " ms. Ray/s = "
                     << std::to_string(int64_t(ms > 0.0 ? double(GetRayCount()) / ms * 1000.0 : 0.0)).c_str()
                     << "\n";

    uint32_t* const words = reinterpret_cast<uint32_t*>(picture.pixels);
#ifndef RAYTRACER_SERIAL
#pragma omp parallel for schedule(static)
#endif
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t column = 0; column < width; ++column) {
            const size_t at = size_t(row) * size_t(width) + size_t(column);
            words[at] = PackColour(frame + at * 4);
        }
    }

    if (parameters.interlace) {
        if (!storedField.HasBuffer()) {
            storedField.Swap(picture);
            picture.Free();
        } else if (storedField.width == width && storedField.height == rows) {
            zPicture woven;
            if (!woven.AllocAs(width, height, Format)) {
                LogError(Method) << "Failed to allocate the picture.\n";
                storedField.Free();
                return false;
            }
            // The field traced with the field byte set gives the even rows.
            const zPicture& setField = field != 0 ? picture : storedField;
            const zPicture& clearField = field != 0 ? storedField : picture;
            const size_t rowBytes = size_t(width) * 4;
            for (int32_t y = 0; y < height; ++y) {
                const zPicture& from = (y % 2) == 0 ? setField : clearField;
                const int32_t sourceRow = half ? y / 2 : y;
                std::copy(from.pixels + size_t(sourceRow) * rowBytes, from.pixels + size_t(sourceRow + 1) * rowBytes,
                          woven.pixels + size_t(y) * rowBytes);
            }
            picture.Swap(woven);
            storedField.Free();
        } else {
            LogError(Method) << "Unexpected frame dimension change during interlaced sequence rendering.\n";
            storedField.Free();
        }
    }
    field = field ? 0 : 1;
    frameWidth = 1.0f;
    frameHeight = 1.0f;
    return true;
}
