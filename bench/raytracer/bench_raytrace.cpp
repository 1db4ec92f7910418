// Primary rays per second on a 100,000-triangle mesh: the ray tracer's scene
// hierarchy (one instance, its geometry tree queried in object space), the
// geometry tree alone, and Embree's single-ray query on the same triangles
// and the same rays; one thread, then all threads, with the ratios.
//
//   bench_raytrace [width height]   (default 1024 x 1024 rays)

#include "BenchTerrain.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "raytracer/zSceneBIH.h"
#include "script/zScriptMaster.h"

#include <embree3/rtcore.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr int GridX = 250;
constexpr int GridZ = 200;

void FillTerrain(zGeometry& g)
{
    const int sx = GridX + 1;
    const int sz = GridZ + 1;
    g.vertexCount = uint32_t(sx * sz);
    g.vertices = new zVector[g.vertexCount];
    for (int i = 0; i < sx; ++i)
        for (int j = 0; j < sz; ++j)
            g.vertices[i * sz + j] = zVector(float(i), TerrainHeight(float(i), float(j)), float(j));
    g.polygonCount = uint32_t(2 * GridX * GridZ);
    g.bindingCount = 3 * g.polygonCount;
    g.polygons = new zPolygon[g.polygonCount];
    g.bindingIndices = new int32_t[g.bindingCount];
    int32_t* corner = g.bindingIndices;
    uint32_t p = 0;
    for (int i = 0; i < GridX; ++i) {
        for (int j = 0; j < GridZ; ++j) {
            const int32_t v00 = i * sz + j, v10 = v00 + sz, v01 = v00 + 1, v11 = v10 + 1;
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
    // Both sides, as Embree sees them.
    g.materials[0]->flags |= zMaterial::FlagDoubleSided;
}

struct Rays {
    std::vector<zVector> directions;
    zVector origin;
};

// A pinhole above the hills looking down onto them: every ray is a camera ray.
Rays MakeRays(int width, int height)
{
    Rays rays;
    rays.origin = zVector(GridX * 0.5f, 90.0f, -30.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const zVector target(5.0f + (GridX - 10.0f) * (float(x) + 0.5f) / float(width), 0.0f,
                                 5.0f + (GridZ - 10.0f) * (float(y) + 0.5f) / float(height));
            rays.directions.push_back((target - rays.origin).Normalized());
        }
    }
    return rays;
}

struct Result {
    double raysPerSecond = 0.0;
    size_t hits = 0;
};

// Best of three runs of body over all rays, on threads threads.
Result Measure(const Rays& rays, int threads, const std::function<bool(size_t)>& body)
{
    Result best;
    const long n = long(rays.directions.size());
    for (int run = 0; run < 3; ++run) {
        size_t hits = 0;
        const auto start = std::chrono::steady_clock::now();
#pragma omp parallel for schedule(dynamic, 1024) num_threads(threads) reduction(+ : hits)
        for (long i = 0; i < n; ++i)
            hits += body(size_t(i)) ? 1 : 0;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = double(n) / seconds;
        if (rate > best.raysPerSecond)
            best = {rate, hits};
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc >= 3 ? std::atoi(argv[1]) : 1024;
    const int height = argc >= 3 ? std::atoi(argv[2]) : 1024;
    GlobalLog.VerbosityMask = zLogStream::Error;

    Tavrin core;
    zScriptMaster master;
    zScene scene(&core, &master);
    zGeometry* mesh = zGeometry::New(&core, "terrain");
    FillTerrain(*mesh);
    zMObject* object = scene.AddObject("terrain", mesh);
    object->object.UpdateWorldMatrix();

    auto built = std::chrono::steady_clock::now();
    zSceneBIH hierarchy;
    if (!hierarchy.SetScene(&scene, false) || mesh->tree == nullptr) {
        std::fprintf(stderr, "could not build the scene hierarchy\n");
        return 1;
    }
    const double ourBuild = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - built).count();
    const zGeometryBIH* tree = mesh->tree;

    RTCDevice device = rtcNewDevice(nullptr);
    RTCScene embreeScene = rtcNewScene(device);
    RTCGeometry triangles = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    float* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(triangles, RTC_BUFFER_TYPE_VERTEX, 0,
                                                                   RTC_FORMAT_FLOAT3, 3 * sizeof(float),
                                                                   mesh->vertexCount));
    for (uint32_t v = 0; v < mesh->vertexCount; ++v) {
        vertices[3 * v] = mesh->vertices[v].x;
        vertices[3 * v + 1] = mesh->vertices[v].y;
        vertices[3 * v + 2] = mesh->vertices[v].z;
    }
    unsigned* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
        triangles, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh->polygonCount));
    for (uint32_t p = 0; p < mesh->polygonCount; ++p)
        for (int c = 0; c < 3; ++c)
            indices[3 * p + c] = unsigned(mesh->polygons[p].indices[c]);
    built = std::chrono::steady_clock::now();
    rtcCommitGeometry(triangles);
    rtcAttachGeometry(embreeScene, triangles);
    rtcReleaseGeometry(triangles);
    rtcCommitScene(embreeScene);
    const double embreeBuild =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - built).count();

    const Rays rays = MakeRays(width, height);
    auto ours = [&](size_t i) {
        thread_local zSceneRayQuery query;
        query.nearestHit = 1;
        return hierarchy.CastRay(query, rays.origin, rays.directions[i]);
    };
    auto geometryOnly = [&](size_t i) {
        thread_local zBIHQuery query;
        query.nearestHit = 1;
        query.ResetHit();
        tree->TraceRay(query, rays.origin, rays.directions[i], -1.0f);
        return query.hitFound != 0;
    };
    auto embree = [&](size_t i) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit hit;
        hit.ray.org_x = rays.origin.x;
        hit.ray.org_y = rays.origin.y;
        hit.ray.org_z = rays.origin.z;
        hit.ray.dir_x = rays.directions[i].x;
        hit.ray.dir_y = rays.directions[i].y;
        hit.ray.dir_z = rays.directions[i].z;
        hit.ray.tnear = 0.0f;
        hit.ray.tfar = std::numeric_limits<float>::infinity();
        hit.ray.mask = 0xFFFFFFFFu;
        hit.ray.flags = 0;
        hit.ray.time = 0.0f;
        hit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        hit.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(embreeScene, &context, &hit);
        return hit.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    };

    // What a ray costs the geometry tree, on average: inner nodes visited
    // and fan triangles tested in the leaves it reached.
    double visits = 0.0;
    double tested = 0.0;
    for (size_t i = 0; i < rays.directions.size(); ++i) {
        zBIHQuery query;
        query.nearestHit = 1;
        query.ResetHit();
        tree->TraceRay(query, rays.origin, rays.directions[i], -1.0f);
        visits += query.visits;
        tested += query.primitivesTested;
    }

    const int all = omp_get_max_threads();
    std::printf("mesh: %u triangles; %zu primary rays (%d x %d); build: tavrin %.1f ms, Embree %.1f ms\n",
                mesh->polygonCount, rays.directions.size(), width, height, ourBuild, embreeBuild);
    std::printf("per ray in the geometry tree: %.1f inner nodes visited, %.1f triangles tested; leaf size %u\n",
                visits / double(rays.directions.size()), tested / double(rays.directions.size()), tree->GetLeafSize());
    std::printf("%-8s %-28s %14s %10s %14s\n", "threads", "path", "rays/s", "hits", "ratio/Embree");
    for (int threads : {1, all}) {
        const Result e = Measure(rays, threads, embree);
        const Result s = Measure(rays, threads, ours);
        const Result g = Measure(rays, threads, geometryOnly);
        std::printf("%-8d %-28s %14.0f %10zu %14s\n", threads, "Embree rtcIntersect1", e.raysPerSecond, e.hits, "1.00");
        std::printf("%-8d %-28s %14.0f %10zu %14.2f\n", threads, "tavrin zSceneBIH::CastRay", s.raysPerSecond, s.hits,
                    s.raysPerSecond / e.raysPerSecond);
        std::printf("%-8d %-28s %14.0f %10zu %14.2f\n", threads, "tavrin zGeometryBIH::TraceRay", g.raysPerSecond,
                    g.hits, g.raysPerSecond / e.raysPerSecond);
        if (all == 1)
            break;
    }
    rtcReleaseScene(embreeScene);
    rtcReleaseDevice(device);
    return 0;
}
