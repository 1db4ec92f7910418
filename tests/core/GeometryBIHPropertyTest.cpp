#include "GeometryTestSupport.h"
#include "support/LogCapture.h"
#include "support/SeededRandom.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Ray and box queries of the polygon hierarchy against brute force over every
// polygon of randomized meshes that mix triangles, convex polygons, shared
// vertices, double-sided materials and degenerate polygons.

namespace {

using Random = SeededRandom;

struct Mesh {
    std::vector<zVector> vertices;
    std::vector<PolygonSpec> polygons;

    int32_t Add(const zVector& v)
    {
        vertices.push_back(v);
        return int32_t(vertices.size() - 1);
    }
};

// A convex polygon of n corners around a centre, in a random plane.
void ConvexPolygon(Random& random, Mesh& mesh, const zVector& centre, float radius, int n, uint16_t material)
{
    const zVector a = random.Point(zVector(0, 0, 0), 1.0f);
    zVector e1 = a.Normalized();
    if (e1.SquaredLength() == 0.0f)
        e1 = zVector(1, 0, 0);
    zVector e2 = e1.Cross(random.Point(zVector(0, 0, 0), 1.0f)).Normalized();
    if (e2.SquaredLength() == 0.0f)
        e2 = e1.Cross(zVector(0.3f, 0.9f, 0.1f)).Normalized();
    std::vector<float> angles;
    for (int i = 0; i < n; ++i)
        angles.push_back(random.Range(0.0f, 6.2831853f));
    std::sort(angles.begin(), angles.end());
    PolygonSpec polygon{{}, material};
    for (float angle : angles) {
        const float r = radius * random.Range(0.6f, 1.0f);
        polygon.corners.push_back(mesh.Add(centre + e1 * (r * std::cos(angle)) + e2 * (r * std::sin(angle))));
    }
    mesh.polygons.push_back(polygon);
}

// Polygons that no ray may hit: too few corners, corners on one line, a
// repeated corner, a corner naming no vertex, and a quad whose first three
// corners are on one line. Whole coordinates keep the lines exact.
void Degenerates(Random& random, Mesh& mesh, const zVector& centre, float spread)
{
    const auto whole = [](const zVector& v) { return zVector(std::round(v.x), std::round(v.y), std::round(v.z)); };
    const zVector p = whole(random.Point(centre, spread));
    const zVector d(float(1 + random.Below(3)), float(random.Below(3)) - 1.0f, 2.0f);
    const int32_t a = mesh.Add(p);
    const int32_t b = mesh.Add(p + d);
    const int32_t c = mesh.Add(p + d * 2.5f);
    const int32_t off = mesh.Add(p + random.Point(zVector(0, 0, 0), 2.0f));
    const uint16_t material = uint16_t(random.Below(2));
    switch (random.Below(6)) {
    case 0:
        mesh.polygons.push_back({{a, b}, material});
        break;
    case 1:
        mesh.polygons.push_back({{a, b, c}, material});
        break;
    case 2:
        mesh.polygons.push_back({{a, a, b}, material});
        break;
    case 3:
        mesh.polygons.push_back({{a, b, 1000000}, material});
        break;
    case 4:
        mesh.polygons.push_back({{a, b, c, off}, material});
        break;
    default:
        mesh.polygons.push_back({{}, material});
        break;
    }
}

void Scattered(Random& random, const zVector& centre, Mesh& mesh)
{
    for (int i = 0; i < 900; ++i) {
        const zVector p = random.Point(centre, 50.0f);
        if (random.Chance(60)) {
            mesh.polygons.push_back(
                {{mesh.Add(p), mesh.Add(random.Point(p, 3.0f)), mesh.Add(random.Point(p, 3.0f))}, uint16_t(random.Below(2))});
        } else {
            ConvexPolygon(random, mesh, p, random.Range(0.5f, 4.0f), 4 + int(random.Below(5)), uint16_t(random.Below(2)));
        }
        if (random.Chance(8))
            Degenerates(random, mesh, centre, 50.0f);
    }
}

// A rolling surface of quads and triangles sharing their vertices, folded
// over itself so that rays meet several layers.
void Surface(Random& random, const zVector& centre, Mesh& mesh)
{
    const int k = 24;
    for (int layer = 0; layer < 2; ++layer) {
        const int32_t base = int32_t(mesh.vertices.size());
        for (int i = 0; i <= k; ++i) {
            for (int j = 0; j <= k; ++j) {
                const float x = float(i) * 3.0f - 36.0f;
                const float z = float(j) * 3.0f - 36.0f;
                const float y = 4.0f * std::sin(x * 0.2f) * std::cos(z * 0.15f) + float(layer) * 6.0f;
                mesh.Add(centre + zVector(x, y + random.Range(-0.3f, 0.3f), z));
            }
        }
        for (int i = 0; i < k; ++i) {
            for (int j = 0; j < k; ++j) {
                const int32_t v00 = base + i * (k + 1) + j;
                const int32_t v10 = v00 + (k + 1);
                const uint16_t material = uint16_t(random.Below(2));
                if (random.Chance(50)) {
                    mesh.polygons.push_back({{v00, v00 + 1, v10 + 1, v10}, material});
                } else {
                    mesh.polygons.push_back({{v00, v00 + 1, v10 + 1}, material});
                    mesh.polygons.push_back({{v00, v10 + 1, v10}, material});
                }
                if (random.Chance(5))
                    Degenerates(random, mesh, centre, 30.0f);
            }
        }
    }
}

// Unit quads on integer planes, met head-on by axis-parallel rays.
void AxisQuads(Random& random, const zVector& centre, Mesh& mesh)
{
    for (int i = 0; i < 800; ++i) {
        const int axis = int(random.Below(3));
        float base[3];
        for (int a = 0; a < 3; ++a)
            base[a] = (&centre.x)[a] + float(int(random.Below(31)) - 15);
        const int u = (axis + 1) % 3;
        const int v = (axis + 2) % 3;
        PolygonSpec polygon{{}, uint16_t(random.Below(2))};
        for (int c = 0; c < 4; ++c) {
            float p[3] = {base[0], base[1], base[2]};
            p[u] += (c == 1 || c == 2) ? 1.0f : 0.0f;
            p[v] += (c >= 2) ? 1.0f : 0.0f;
            polygon.corners.push_back(mesh.Add(zVector(p[0], p[1], p[2])));
        }
        if (random.Chance(50))
            std::reverse(polygon.corners.begin(), polygon.corners.end());
        mesh.polygons.push_back(polygon);
        if (random.Chance(5))
            Degenerates(random, mesh, centre, 15.0f);
    }
}

struct Scene {
    const char* name;
    uint32_t seed;
    zVector centre;
    void (*make)(Random& random, const zVector& centre, Mesh& mesh);
};

// Names the case in test listings and failure messages.
void PrintTo(const Scene& c, std::ostream* out)
{
    *out << c.name;
}

const Scene scenes[] = {
    {"Scattered", 11, zVector(0, 0, 0), Scattered},
    {"Surface", 12, zVector(0, 0, 0), Surface},
    {"AxisQuads", 13, zVector(0, 0, 0), AxisQuads},
    {"FarFromOrigin", 14, zVector(2000.0f, -1500.0f, 800.0f), Scattered},
};

struct Ray {
    zVector origin;
    zVector direction;
    float maximumDistance = 0.0f;
};

std::string Describe(const Ray& ray)
{
    char text[256];
    std::snprintf(text, sizeof text, "origin (%.9g, %.9g, %.9g) direction (%.9g, %.9g, %.9g) max %.9g", ray.origin.x,
                  ray.origin.y, ray.origin.z, ray.direction.x, ray.direction.y, ray.direction.z, ray.maximumDistance);
    return text;
}

// Independent reference in double precision: the first three corners give
// the plane, the polygon is inside where a fan triangle holds the point.
struct Reference {
    bool found = false;
    double t = 0.0;
    uint32_t polygon = 0;
    bool tie = false;
    // The ray nearly skims the plane of the polygon hit.
    bool grazing = false;
};

struct Vec {
    double x, y, z;
    Vec(const zVector& v) : x(v.x), y(v.y), z(v.z) {}
    Vec(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec Cross(const Vec& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double operator[](int a) const { return a == 0 ? x : a == 1 ? y : z; }
};

// The nearest polygon hit where every weight is at least slack (negative
// slack widens the polygons), or none.
Reference ReferenceHit(const zGeometry& g, const Ray& ray, double slack)
{
    Reference best;
    double second = DBL_MAX;
    const Vec o(ray.origin);
    const Vec d(ray.direction);
    for (uint32_t p = 0; p < g.polygonCount; ++p) {
        const zPolygon& polygon = g.polygons[p];
        if (polygon.vertexCount < 3)
            continue;
        bool valid = true;
        for (uint16_t c = 0; c < polygon.vertexCount; ++c)
            valid = valid && polygon.indices[c] >= 0 && uint32_t(polygon.indices[c]) < g.vertexCount;
        if (!valid)
            continue;
        const Vec p0(g.vertices[polygon.indices[0]]);
        const Vec n = (Vec(g.vertices[polygon.indices[1]]) - p0).Cross(Vec(g.vertices[polygon.indices[2]]) - p0);
        const double length = std::sqrt(n.Dot(n));
        if (length == 0.0)
            continue;
        const double f = n.Dot(d);
        if (f == 0.0)
            continue;
        const bool doubleSided = (g.materials[polygon.material]->flags & zMaterial::FlagDoubleSided) != 0;
        if (f > 0.0 && !doubleSided)
            continue;
        const double t = (n.Dot(p0) - n.Dot(o)) / f;
        if (t < 0.0 || (ray.maximumDistance > 0.0f && t > ray.maximumDistance))
            continue;
        const Vec hit = o + d * t;
        const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        const int dominant = (ax >= ay && ax >= az) ? 0 : (ay >= az ? 1 : 2);
        const int u = (dominant + 1) % 3;
        const int v = (dominant + 2) % 3;
        bool inside = false;
        for (uint16_t k = 1; k + 1 < polygon.vertexCount && !inside; ++k) {
            const Vec a = Vec(g.vertices[polygon.indices[k + 1]]) - p0;
            const Vec b = Vec(g.vertices[polygon.indices[k]]) - p0;
            const double det = a[u] * b[v] - b[u] * a[v];
            if (det == 0.0)
                continue;
            const double m = hit[u] - p0[u];
            const double q = hit[v] - p0[v];
            const double wk = (-a[v] * m + a[u] * q) / det;
            const double wk1 = (b[v] * m - b[u] * q) / det;
            inside = wk >= slack && wk1 >= slack && 1.0 - wk - wk1 >= slack;
        }
        if (!inside)
            continue;
        if (!best.found || t < best.t) {
            second = best.found ? best.t : DBL_MAX;
            best.found = true;
            best.t = t;
            best.polygon = p;
            best.grazing = std::fabs(f) / (length * std::sqrt(d.Dot(d))) < 0.02;
        } else if (t < second) {
            second = t;
        }
    }
    // Polygons met at the same distance (duplicates, shared edges) could be
    // reported in either order.
    if (best.found && second - best.t < 1e-5 * (1.0 + best.t))
        best.tie = true;
    return best;
}

// The hierarchy's own polygon test run over every polygon: one leaf holding
// them all.
zBIHQuery BruteForce(const zGeometryBIH& tree, const Ray& ray, uint8_t nearest)
{
    std::vector<uint32_t> all(tree.GetPolygonCount());
    for (uint32_t i = 0; i < all.size(); ++i)
        all[i] = i;
    zBIHNode leaf;
    leaf.type = zBIHNode::LeafType;
    leaf.indices = all.data();
    leaf.count = uint32_t(all.size());
    zBIHQuery query;
    query.ResetHit();
    query.nearestHit = nearest;
    query.origin = ray.origin;
    query.direction = ray.direction;
    tree.IntersectLeaf(leaf, 0.0f, ray.maximumDistance > 0.0f ? ray.maximumDistance : FLT_MAX, query);
    leaf.indices = nullptr;
    return query;
}

// t at which the hierarchy's test meets one polygon, or -1.
float PolygonT(const zGeometryBIH& tree, uint32_t polygon, const Ray& ray)
{
    zBIHNode leaf;
    leaf.type = zBIHNode::LeafType;
    leaf.indices = &polygon;
    leaf.count = 1;
    zBIHQuery query;
    query.ResetHit();
    query.origin = ray.origin;
    query.direction = ray.direction;
    tree.IntersectLeaf(leaf, 0.0f, FLT_MAX, query);
    leaf.indices = nullptr;
    return query.hitFound ? query.hitT : -1.0f;
}

class GeometryBIHAgainstBruteForce : public ::testing::TestWithParam<Scene> {
protected:
    GeometryBIHAgainstBruteForce() : geometry(&core, "random") {}

    void SetUp() override
    {
        Random random(GetParam().seed);
        GetParam().make(random, GetParam().centre, mesh);
        LogCapture quiet;
        FillGeometry(geometry, mesh.vertices, mesh.polygons, 2);
        geometry.materials[1]->flags |= zMaterial::FlagDoubleSided;
        ASSERT_TRUE(geometry.CreateTree());
        tree = geometry.tree;
        for (uint32_t p = 0; p < tree->GetPolygonCount(); ++p) {
            if (tree->GetPolygons()[p].triangleCount != 0)
                hittable.push_back(p);
        }
        ASSERT_FALSE(hittable.empty());
    }

    zVector PointOn(Random& random, uint32_t polygon)
    {
        const zPolygon& p = geometry.polygons[polygon];
        const uint16_t k = uint16_t(1 + random.Below(p.vertexCount - 2u));
        float a = random.Range(0.0f, 1.0f);
        float b = random.Range(0.0f, 1.0f);
        if (a + b > 1.0f) {
            a = 1.0f - a;
            b = 1.0f - b;
        }
        const zVector& p0 = geometry.vertices[p.indices[0]];
        return p0 + (geometry.vertices[p.indices[k]] - p0) * a + (geometry.vertices[p.indices[k + 1]] - p0) * b;
    }

    Ray MakeRay(Random& random)
    {
        Ray ray;
        const zVector centre = GetParam().centre;
        const zVector target = PointOn(random, hittable[random.Below(uint32_t(hittable.size()))]);
        const uint32_t kind = random.Below(10);
        if (kind < 5) {
            ray.origin = random.Point(centre, 80.0f);
            ray.direction = (target - ray.origin) * random.Range(0.01f, 3.0f);
        } else if (kind < 7) {
            const int axis = int(random.Below(3));
            const float sign = random.Chance(50) ? 1.0f : -1.0f;
            ray.direction = zVector(0, 0, 0);
            (&ray.direction.x)[axis] = sign * random.Range(0.5f, 2.0f);
            ray.origin = target;
            (&ray.origin.x)[axis] -= sign * random.Range(-20.0f, 100.0f);
        } else {
            ray.origin = random.Point(centre, 80.0f);
            ray.direction = random.Point(zVector(0, 0, 0), 1.0f);
        }
        const uint32_t limit = random.Below(5);
        if (limit < 2)
            ray.maximumDistance = 0.0f;
        else if (limit == 2)
            ray.maximumDistance = -random.Range(0.0f, 10.0f);
        else
            ray.maximumDistance = random.Range(0.0f, 1.2f) * std::sqrt(VectorDistanceSquared(ray.origin, target))
                / std::sqrt(ray.direction.SquaredLength());
        return ray;
    }

    Tavrin core;
    zGeometry geometry;
    Mesh mesh;
    zGeometryBIH* tree = nullptr;
    std::vector<uint32_t> hittable;
};

} // namespace

TEST_P(GeometryBIHAgainstBruteForce, RaysAgreeWithEveryPolygonTested)
{
    Random random(GetParam().seed * 7919u);
    int hits = 0;
    int failures = 0;
    for (int i = 0; i < 1000 && failures < 5; ++i) {
        const Ray ray = MakeRay(random);
        const zBIHQuery expected = BruteForce(*tree, ray, 1);

        zBIHQuery query;
        query.ResetHit();
        query.nearestHit = 1;
        tree->TraceRay(query, ray.origin, ray.direction, ray.maximumDistance);
        if (query.hitFound != expected.hitFound || (expected.hitFound && query.hitT != expected.hitT)) {
            ++failures;
            ADD_FAILURE() << "nearest: " << Describe(ray) << " tree " << int(query.hitFound) << " t " << query.hitT
                          << " polygon " << query.primitiveHit << ", brute " << int(expected.hitFound) << " t "
                          << expected.hitT << " polygon " << expected.primitiveHit;
            continue;
        }
        if (!expected.hitFound) {
            EXPECT_EQ(query.primitiveHit, -1);
            continue;
        }
        ++hits;
        ASSERT_GE(query.primitiveHit, 0);
        EXPECT_EQ(PolygonT(*tree, uint32_t(query.primitiveHit), ray), query.hitT) << Describe(ray);
        EXPECT_EQ(query.objectHit, &geometry);

        // The weights put the hit point back together from the fan triangle,
        // on the axes the polygon is projected on (a polygon that is not
        // flat is met on the plane of its first three corners).
        const zPolygon& polygon = geometry.polygons[query.primitiveHit];
        const int32_t k = query.subPrimitiveHit + 1;
        ASSERT_GE(k, 1);
        ASSERT_LT(k + 1, polygon.vertexCount);
        const zVector point = geometry.vertices[polygon.indices[k]] * query.weights[0]
            + geometry.vertices[polygon.indices[k + 1]] * query.weights[1]
            + geometry.vertices[polygon.indices[0]] * query.weights[2];
        const zVector expectedPoint = ray.origin + ray.direction * query.hitT;
        const float scale = 1.0f + std::fabs(GetParam().centre.x) + std::fabs(GetParam().centre.y)
            + std::fabs(GetParam().centre.z);
        for (int axis : {tree->GetPolygons()[query.primitiveHit].u, tree->GetPolygons()[query.primitiveHit].v}) {
            EXPECT_NEAR((&point.x)[axis], (&expectedPoint.x)[axis], 1e-3f * scale) << Describe(ray);
        }
        EXPECT_EQ(query.backSide, tree->GetPolygons()[query.primitiveHit].normal.Dot(ray.direction) > 0.0f);

        // Stopping at the first hit still finds a real one.
        zBIHQuery first;
        first.ResetHit();
        first.nearestHit = 0;
        tree->TraceRay(first, ray.origin, ray.direction, ray.maximumDistance);
        ASSERT_TRUE(first.hitFound) << Describe(ray);
        EXPECT_EQ(PolygonT(*tree, uint32_t(first.primitiveHit), ray), first.hitT);
        EXPECT_GE(first.hitT, query.hitT);
        if (ray.maximumDistance > 0.0f) {
            EXPECT_LE(first.hitT, ray.maximumDistance);
        }
    }
    EXPECT_GT(hits, 250);
}

TEST_P(GeometryBIHAgainstBruteForce, RaysAgreeWithAnIndependentReference)
{
    Random random(GetParam().seed * 31337u);
    int compared = 0;
    int failures = 0;
    for (int i = 0; i < 1000 && failures < 5; ++i) {
        const Ray ray = MakeRay(random);
        // Rays that pass within a hair of an edge, skim a plane or end at a
        // hit could go either way in single precision: only the others count.
        const Reference strict = ReferenceHit(geometry, ray, 1e-4);
        const Reference loose = ReferenceHit(geometry, ray, -1e-4);
        if (strict.found != loose.found || (strict.found && strict.polygon != loose.polygon) || loose.grazing
            || loose.tie)
            continue;
        if (loose.found && ray.maximumDistance > 0.0f && std::fabs(loose.t - ray.maximumDistance) < 1e-3 * (1.0 + loose.t))
            continue;
        ++compared;

        zBIHQuery query;
        query.ResetHit();
        query.nearestHit = 1;
        tree->TraceRay(query, ray.origin, ray.direction, ray.maximumDistance);
        const bool same = bool(query.hitFound) == strict.found
            && (!strict.found
                || (uint32_t(query.primitiveHit) == strict.polygon
                    && std::fabs(query.hitT - strict.t) <= 1e-4 * std::max(1.0, strict.t)));
        if (!same) {
            ++failures;
            ADD_FAILURE() << Describe(ray) << " tree " << int(query.hitFound) << " t " << query.hitT << " polygon "
                          << query.primitiveHit << ", reference " << strict.found << " t " << strict.t << " polygon "
                          << strict.polygon;
        }
    }
    EXPECT_GT(compared, 900);
}

namespace {

// Rays made to land on the cases where a fast path and the plain one could
// part: along and through edges and corners, in a polygon's plane, from
// behind, straight along the axes (zero direction components), ending on a
// hit, and rays with no sensible direction at all.
struct EdgeRayCase {
    const char* name;
    Ray (*make)(Random& random, const zGeometry& geometry, const std::vector<uint32_t>& hittable);
};

zVector Corner(const zGeometry& g, uint32_t polygon, uint32_t corner)
{
    const zPolygon& p = g.polygons[polygon];
    return g.vertices[p.indices[corner % p.vertexCount]];
}

uint32_t Pick(Random& random, const std::vector<uint32_t>& hittable)
{
    return hittable[random.Below(uint32_t(hittable.size()))];
}

// Somewhere within 60 of the point, aimed at it.
Ray Towards(Random& random, const zVector& target)
{
    Ray ray;
    ray.origin = random.Point(target, 60.0f);
    ray.direction = (target - ray.origin) * random.Range(0.05f, 2.0f);
    return ray;
}

const EdgeRayCase edgeRays[] = {
    {"ThroughACorner",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         return Towards(r, Corner(g, p, r.Below(g.polygons[p].vertexCount)));
     }},
    {"ThroughAnEdge",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const uint32_t c = r.Below(g.polygons[p].vertexCount);
         const zVector a = Corner(g, p, c);
         return Towards(r, a + (Corner(g, p, c + 1) - a) * r.Range(0.0f, 1.0f));
     }},
    {"ThroughAFanDiagonal",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const zVector a = Corner(g, p, 0);
         return Towards(r, a + (Corner(g, p, 2) - a) * r.Range(0.0f, 1.0f));
     }},
    {"AlongAnEdge",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const uint32_t c = r.Below(g.polygons[p].vertexCount);
         const zVector a = Corner(g, p, c);
         const zVector edge = Corner(g, p, c + 1) - a;
         Ray ray;
         ray.origin = a - edge * r.Range(-0.5f, 3.0f);
         ray.direction = edge * (r.Chance(50) ? 1.0f : -1.0f);
         return ray;
     }},
    {"InThePlane",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const zVector a = Corner(g, p, 0);
         const zVector e1 = Corner(g, p, 1) - a;
         const zVector e2 = Corner(g, p, 2) - a;
         Ray ray;
         ray.origin = a + e1 * r.Range(-2.0f, 2.0f) + e2 * r.Range(-2.0f, 2.0f);
         ray.direction = e1 * r.Range(-1.0f, 1.0f) + e2 * r.Range(-1.0f, 1.0f);
         return ray;
     }},
    {"FromBehind",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const zVector a = Corner(g, p, 0);
         const zVector target = a + (Corner(g, p, 1) - a) * 0.3f + (Corner(g, p, 2) - a) * 0.3f;
         const zVector normal = g.polygonNormals[p];
         Ray ray;
         ray.origin = target - normal * r.Range(0.0f, 20.0f) + r.Point(zVector(0, 0, 0), 0.5f);
         ray.direction = target - ray.origin;
         return ray;
     }},
    {"AlongAnAxis",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const zVector corner = Corner(g, p, r.Below(g.polygons[p].vertexCount));
         Ray ray;
         ray.origin = corner;
         const int axis = int(r.Below(3));
         const float sign = r.Chance(50) ? 1.0f : -1.0f;
         (&ray.origin.x)[axis] -= sign * r.Range(0.0f, 80.0f);
         // Some start exactly on a corner's coordinate, some between.
         if (r.Chance(50))
             (&ray.origin.x)[(axis + 1) % 3] += r.Range(-1.0f, 1.0f);
         ray.direction = zVector(0, 0, 0);
         (&ray.direction.x)[axis] = sign;
         return ray;
     }},
    {"EndingOnTheHit",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         const uint32_t p = Pick(r, h);
         const zVector a = Corner(g, p, 0);
         Ray ray = Towards(r, a + (Corner(g, p, 1) - a) * 0.25f + (Corner(g, p, 2) - a) * 0.25f);
         ray.maximumDistance = r.Chance(50) ? 1.0f : std::nextafter(1.0f, r.Chance(50) ? 0.0f : 2.0f);
         return ray;
     }},
    {"NoSensibleDirection",
     [](Random& r, const zGeometry& g, const std::vector<uint32_t>& h) {
         Ray ray = Towards(r, Corner(g, Pick(r, h), 0));
         const float inf = std::numeric_limits<float>::infinity();
         const zVector odd[] = {{0, 0, 0},          {1e-30f, -1e-30f, 1e-30f}, {1e30f, -1e30f, 1e29f},
                                {inf, 0, 0},        {0, -inf, 0},              {std::nanf(""), 1, 0},
                                {1e-38f, 0, -1e-38f}};
         const uint32_t pick = r.Below(uint32_t(std::size(odd)) + 1);
         if (pick < std::size(odd))
             ray.direction = odd[pick];
         return ray;
     }},
};

bool SameBits(float a, float b)
{
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// Everything a query reports, exactly.
std::string Difference(const zBIHQuery& fast, const zBIHQuery& plain)
{
    std::string out;
    const auto field = [&out](const char* name, bool same, double a, double b) {
        char text[96];
        std::snprintf(text, sizeof text, " %s %.9g != %.9g", name, a, b);
        if (!same)
            out += text;
    };
    field("hit", fast.hitFound == plain.hitFound, fast.hitFound, plain.hitFound);
    field("t", SameBits(fast.hitT, plain.hitT), fast.hitT, plain.hitT);
    field("polygon", fast.primitiveHit == plain.primitiveHit, fast.primitiveHit, plain.primitiveHit);
    field("fan", fast.subPrimitiveHit == plain.subPrimitiveHit, fast.subPrimitiveHit, plain.subPrimitiveHit);
    for (int i = 0; i < 3; ++i)
        field("weight", SameBits(fast.weights[i], plain.weights[i]), fast.weights[i], plain.weights[i]);
    field("back", fast.backSide == plain.backSide, fast.backSide, plain.backSide);
    field("object", fast.objectHit == plain.objectHit, 0, 0);
    field("visits", fast.visits == plain.visits, fast.visits, plain.visits);
    field("tested", fast.primitivesTested == plain.primitivesTested, fast.primitivesTested, plain.primitivesTested);
    return out;
}

// Polygons met at the same t: quads laid twice, once the other way round,
// and the fan triangles of a quad laid over it, so that ties are settled by
// the order of the leaf and of the fan alone.
void Coplanar(Random& random, const zVector& centre, Mesh& mesh)
{
    const int k = 16;
    const int32_t base = int32_t(mesh.vertices.size());
    for (int i = 0; i <= k; ++i) {
        for (int j = 0; j <= k; ++j)
            mesh.Add(centre + zVector(float(i) * 2.0f - 16.0f, random.Range(-0.2f, 0.2f), float(j) * 2.0f - 16.0f));
    }
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const int32_t v00 = base + i * (k + 1) + j;
            const int32_t v01 = v00 + 1;
            const int32_t v10 = v00 + (k + 1);
            const int32_t v11 = v10 + 1;
            mesh.polygons.push_back({{v00, v01, v11, v10}, uint16_t(random.Below(2))});
            if (random.Chance(50))
                mesh.polygons.push_back({{v00, v10, v11, v01}, uint16_t(random.Below(2))});
            if (random.Chance(50)) {
                mesh.polygons.push_back({{v00, v01, v11}, uint16_t(random.Below(2))});
                mesh.polygons.push_back({{v00, v11, v10}, uint16_t(random.Below(2))});
            }
            if (random.Chance(10))
                Degenerates(random, mesh, centre, 16.0f);
        }
    }
}

const Scene layoutScenes[] = {
    scenes[0], scenes[1], scenes[2], scenes[3], {"Coplanar", 15, zVector(0, 0, 0), Coplanar},
};

class GeometryBIHRayLayout : public GeometryBIHAgainstBruteForce {};

} // namespace

// TraceRay walks a layout made for rays; IntersectRay walks the node tree
// with the polygon records one by one. They must agree bit for bit.
TEST_P(GeometryBIHRayLayout, TraceRayGivesWhatTheNodeTreeGives)
{
    ASSERT_TRUE(tree->HasRayLayout());
    Random random(GetParam().seed * 65537u);
    int hits = 0;
    int failures = 0;
    const auto compare = [&](const Ray& ray, const char* kind) {
        for (uint8_t nearest : {uint8_t(1), uint8_t(0)}) {
            zBIHQuery fast;
            fast.ResetHit();
            fast.nearestHit = nearest;
            tree->TraceRay(fast, ray.origin, ray.direction, ray.maximumDistance);
            zBIHQuery plain;
            plain.ResetHit();
            plain.nearestHit = nearest;
            tree->IntersectRay(plain, ray.origin, ray.direction, ray.maximumDistance);
            const std::string difference = Difference(fast, plain);
            if (!difference.empty() && ++failures <= 5)
                ADD_FAILURE() << kind << " nearest " << int(nearest) << ": " << Describe(ray) << difference;
            hits += nearest && plain.hitFound;
        }
    };
    for (int i = 0; i < 1000; ++i)
        compare(MakeRay(random), "random");
    for (const EdgeRayCase& c : edgeRays) {
        // Every kind of ray meets the mesh now and then, so each is compared
        // on hits as well as on misses.
        const int before = hits;
        for (int i = 0; i < 300; ++i)
            compare(c.make(random, geometry, hittable), c.name);
        EXPECT_GT(hits, before) << c.name << " never hits";
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(hits, 1000);
}

// Any number of threads may trace through one tree at once, each with its
// own query: every answer is the one a lone thread gets.
TEST_P(GeometryBIHRayLayout, ThreadsTracingAtOnceGetWhatOneThreadGets)
{
    Random random(GetParam().seed * 92821u);
    std::vector<Ray> rays;
    for (int i = 0; i < 400; ++i)
        rays.push_back(MakeRay(random));
    const auto trace = [this](const Ray& ray) {
        zBIHQuery query;
        query.ResetHit();
        query.nearestHit = 1;
        tree->TraceRay(query, ray.origin, ray.direction, ray.maximumDistance);
        return query;
    };
    std::vector<zBIHQuery> alone;
    for (const Ray& ray : rays)
        alone.push_back(trace(ray));

    std::atomic<int> differences{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < rays.size(); ++i) {
                const size_t k = (i + size_t(t) * 97) % rays.size();
                if (!Difference(trace(rays[k]), alone[k]).empty())
                    ++differences;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(differences.load(), 0);
}

TEST_P(GeometryBIHAgainstBruteForce, BoxesFindEveryOverlappingPolygonOnce)
{
    Random random(GetParam().seed * 104729u);
    std::vector<uint32_t> out(tree->GetPolygonCount());
    std::vector<uint32_t> leaves(tree->GetPolygonCount());
    int nonEmpty = 0;
    for (int i = 0; i < 400; ++i) {
        const zVector centre = random.Chance(50) ? PointOn(random, hittable[random.Below(uint32_t(hittable.size()))])
                                                 : random.Point(GetParam().centre, 70.0f);
        zVector half(random.Range(0.0f, 12.0f), random.Range(0.0f, 12.0f), random.Range(0.0f, 12.0f));
        if (random.Chance(10))
            (&half.x)[random.Below(3)] = 0.0f;
        const zMinMax box(centre - half, centre + half);

        std::set<uint32_t> expected;
        for (uint32_t p : hittable) {
            const zPolygon& polygon = geometry.polygons[p];
            zMinMax bounds(geometry.vertices[polygon.indices[0]], geometry.vertices[polygon.indices[0]]);
            for (uint16_t c = 1; c < polygon.vertexCount; ++c) {
                const zVector& v = geometry.vertices[polygon.indices[c]];
                bounds.min = zVector(std::min(bounds.min.x, v.x), std::min(bounds.min.y, v.y), std::min(bounds.min.z, v.z));
                bounds.max = zVector(std::max(bounds.max.x, v.x), std::max(bounds.max.y, v.y), std::max(bounds.max.z, v.z));
            }
            if (bounds.min.x <= box.max.x && bounds.max.x >= box.min.x && bounds.min.y <= box.max.y
                && bounds.max.y >= box.min.y && bounds.min.z <= box.max.z && bounds.max.z >= box.min.z)
                expected.insert(p);
        }

        const uint32_t count = tree->GatherPolygonsInBox(box, out.data(), uint32_t(out.size()));
        ASSERT_LE(count, out.size());
        const std::set<uint32_t> gathered(out.begin(), out.begin() + count);
        ASSERT_EQ(gathered.size(), count) << "a polygon was gathered twice";
        ASSERT_EQ(gathered, expected) << "box " << i;

        // The base's leaf gathering, which collision uses, holds them all too.
        bool truncated = true;
        const uint32_t inLeaves = tree->GatherInBox(box, leaves.data(), uint32_t(leaves.size()), &truncated);
        EXPECT_FALSE(truncated);
        const std::set<uint32_t> leafSet(leaves.begin(), leaves.begin() + inLeaves);
        for (uint32_t p : expected)
            ASSERT_TRUE(leafSet.count(p) != 0) << "box " << i << " leaves out polygon " << p;

        // A short buffer keeps the first ones and still counts them all.
        if (count > 1) {
            std::vector<uint32_t> few(count / 2);
            EXPECT_EQ(tree->GatherPolygonsInBox(box, few.data(), uint32_t(few.size())), count);
            EXPECT_TRUE(std::equal(few.begin(), few.end(), out.begin()));
        }
        nonEmpty += count != 0;
    }
    EXPECT_GT(nonEmpty, 150);
}

INSTANTIATE_TEST_SUITE_P(Scenes, GeometryBIHAgainstBruteForce, ::testing::ValuesIn(scenes),
                         [](const ::testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Scenes, GeometryBIHRayLayout, ::testing::ValuesIn(layoutScenes),
                         [](const ::testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });
