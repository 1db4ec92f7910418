#include "core/geometry/zGeometryBIH.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "framework/system/zLogStream.h"
#include "framework/system/zSimd.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

namespace {

float Axis(const zVector& v, int axis)
{
    return (&v.x)[axis];
}

float& Axis(zVector& v, int axis)
{
    return (&v.x)[axis];
}

// The unit normal of the triangle (p0, p1, p2), or zero when it has no area.
// Worked in double, and unlike zVector::Normalized it keeps the planes of
// small polygons, which rays must still meet.
zVector PlaneNormal(const zVector& p0, const zVector& p1, const zVector& p2)
{
    const double ax = double(p1.x) - p0.x, ay = double(p1.y) - p0.y, az = double(p1.z) - p0.z;
    const double bx = double(p2.x) - p0.x, by = double(p2.y) - p0.y, bz = double(p2.z) - p0.z;
    const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0) || !std::isfinite(length))
        return zVector(0.0f, 0.0f, 0.0f);
    return zVector(float(nx / length), float(ny / length), float(nz / length));
}

// The fan triangles of one lane group that a ray meets within [tNear, tFar]
// (and before hitT when there is a hit), as a bit per lane, with the t and
// the weights of each; back holds the lanes met from behind. The arithmetic
// is IntersectLeaf's and LocateInPolygon's, operation for operation, so that
// both give the same bits.
struct LaneHits {
    float t[zGeometryBIHLanes::Width];
    float weights[3][zGeometryBIHLanes::Width];
    uint32_t back = 0;
};

// The ray as the lane tests take it.
struct LaneRay {
    explicit LaneRay(const zVector& origin, const zVector& direction)
    {
        for (int a = 0; a < 3; ++a) {
            o[a] = Axis(origin, a);
            d[a] = Axis(direction, a);
#if TAVRIN_SIMD_SSE2
            o4[a] = _mm_set1_ps(o[a]);
            d4[a] = _mm_set1_ps(d[a]);
#endif
        }
    }
    float o[3];
    float d[3];
#if TAVRIN_SIMD_SSE2
    __m128 o4[3];
    __m128 d4[3];
#endif
};

#if TAVRIN_SIMD_SSE2

inline __m128 Select(__m128 mask, __m128 yes, __m128 no)
{
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// The lanes of a group at once; count of them hold a triangle. Kept out of
// the traversal loop: inlined there, its vector registers crowd out the
// loop's own and rays get about a sixth slower.
[[gnu::noinline]] uint32_t TestLanes(const zGeometryBIHLanes& group, uint32_t count, const LaneRay& ray, float tNear,
                                     float tFar, bool hitFound, float hitT, LaneHits& out)
{
    const uint32_t lanes = (1u << count) - 1u;
    const __m128 zero = _mm_setzero_ps();
    __m128 n[3];
    __m128 c[3];
    for (int a = 0; a < 3; ++a) {
        n[a] = _mm_load_ps(group.normal[a]);
        c[a] = _mm_load_ps(group.corner[a]);
    }
    const __m128 f = _mm_add_ps(_mm_add_ps(_mm_mul_ps(n[0], ray.d4[0]), _mm_mul_ps(n[1], ray.d4[1])),
                                _mm_mul_ps(n[2], ray.d4[2]));
    const __m128 along = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(n[0], _mm_sub_ps(c[0], ray.o4[0])), _mm_mul_ps(n[1], _mm_sub_ps(c[1], ray.o4[1]))),
        _mm_mul_ps(n[2], _mm_sub_ps(c[2], ray.o4[2])));
    const __m128 t = _mm_div_ps(along, f);
    // The scalar test's "skip when t < near, t > far or t >= hit t": NaN passes
    // them, as it does there, and fails the weights instead.
    __m128 keep = _mm_and_ps(_mm_cmpneq_ps(f, zero),
                             _mm_and_ps(_mm_cmpnlt_ps(t, _mm_set1_ps(tNear)), _mm_cmpngt_ps(t, _mm_set1_ps(tFar))));
    if (hitFound)
        keep = _mm_and_ps(keep, _mm_cmpnge_ps(t, _mm_set1_ps(hitT)));
    if ((uint32_t(_mm_movemask_ps(keep)) & lanes) == 0)
        return 0;

    __m128 p[3];
    for (int a = 0; a < 3; ++a)
        p[a] = _mm_add_ps(ray.o4[a], _mm_mul_ps(ray.d4[a], t));
    // u and v follow the dominant axis: x gives (y, z), y gives (z, x), z (x, y).
    const __m128i dominant =
        _mm_and_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(group.fan)), _mm_set1_epi32(3));
    const __m128 isX = _mm_castsi128_ps(_mm_cmpeq_epi32(dominant, _mm_setzero_si128()));
    const __m128 isY = _mm_castsi128_ps(_mm_cmpeq_epi32(dominant, _mm_set1_epi32(1)));
    const __m128 m = _mm_sub_ps(Select(isX, p[1], Select(isY, p[2], p[0])), Select(isX, c[1], Select(isY, c[2], c[0])));
    const __m128 o = _mm_sub_ps(Select(isX, p[2], Select(isY, p[0], p[1])), Select(isX, c[2], Select(isY, c[0], c[1])));
    const __m128 wa = _mm_add_ps(_mm_mul_ps(_mm_load_ps(group.inverse[1]), m),
                                 _mm_mul_ps(_mm_load_ps(group.inverse[0]), o));
    const __m128 wb = _mm_add_ps(_mm_mul_ps(_mm_load_ps(group.inverse[2]), m),
                                 _mm_mul_ps(_mm_load_ps(group.inverse[3]), o));
    const __m128 wc = _mm_sub_ps(_mm_sub_ps(_mm_set1_ps(1.0f), wa), wb);
    const __m128 tolerance = _mm_set1_ps(-zGeometryBIH::InsideTolerance);
    keep = _mm_and_ps(keep, _mm_and_ps(_mm_cmpge_ps(wa, tolerance),
                                       _mm_and_ps(_mm_cmpge_ps(wb, tolerance), _mm_cmpge_ps(wc, tolerance))));
    const uint32_t hits = uint32_t(_mm_movemask_ps(keep)) & lanes;
    if (hits == 0)
        return 0;
    _mm_storeu_ps(out.t, t);
    _mm_storeu_ps(out.weights[0], wa);
    _mm_storeu_ps(out.weights[1], wb);
    _mm_storeu_ps(out.weights[2], wc);
    out.back = uint32_t(_mm_movemask_ps(_mm_cmpgt_ps(f, zero)));
    return hits;
}

#else

uint32_t TestLanes(const zGeometryBIHLanes& group, uint32_t count, const LaneRay& ray, float tNear, float tFar,
                   bool hitFound, float hitT, LaneHits& out)
{
    const zVector origin(ray.o[0], ray.o[1], ray.o[2]);
    const zVector direction(ray.d[0], ray.d[1], ray.d[2]);
    uint32_t hits = 0;
    out.back = 0;
    for (uint32_t j = 0; j < count; ++j) {
        const zVector normal(group.normal[0][j], group.normal[1][j], group.normal[2][j]);
        const zVector corner(group.corner[0][j], group.corner[1][j], group.corner[2][j]);
        const float f = normal.Dot(direction);
        if (f == 0.0f)
            continue;
        const float t = normal.Dot(corner - origin) / f;
        if ((hitFound && t >= hitT) || t < tNear || t > tFar)
            continue;
        const zVector point = origin + direction * t;
        const int dominant = int(group.fan[j] & 3u);
        const int u = (dominant + 1) % 3;
        const int v = (dominant + 2) % 3;
        const float m = Axis(point, u) - Axis(corner, u);
        const float o = Axis(point, v) - Axis(corner, v);
        const float a = group.inverse[1][j] * m + group.inverse[0][j] * o;
        const float b = group.inverse[2][j] * m + group.inverse[3][j] * o;
        const float c = 1.0f - a - b;
        const float tolerance = -zGeometryBIH::InsideTolerance;
        if (!(a >= tolerance && b >= tolerance && c >= tolerance))
            continue;
        out.t[j] = t;
        out.weights[0][j] = a;
        out.weights[1][j] = b;
        out.weights[2][j] = c;
        if (f > 0.0f)
            out.back |= 1u << j;
        hits |= 1u << j;
    }
    return hits;
}

#endif

// IntersectLeaf over the leaf's lane groups. The groups test every fan
// triangle at once; the lanes they keep are taken in leaf and fan order
// against the hit so far, as the polygon loop would take them.
void IntersectLanes(const zGeometryBIHLanes* lanes, const zGeometry* geometry, const zGeometryBIHRayNode& leaf,
                    const LaneRay& ray, float tNear, float tFar, zBIHQuery& query)
{
    query.primitivesTested += int32_t(std::bit_cast<uint32_t>(leaf.clip[0]));
    const zGeometryBIHLanes* group = lanes + (leaf.link >> 2);
    for (uint32_t first = 0; first < leaf.lanes; first += zGeometryBIHLanes::Width, ++group) {
        const uint32_t count = std::min(zGeometryBIHLanes::Width, leaf.lanes - first);
        LaneHits found;
        uint32_t hits = TestLanes(*group, count, ray, tNear, tFar, query.hitFound != 0, query.hitT, found);
        while (hits != 0) {
            const uint32_t lane = uint32_t(std::countr_zero(hits));
            hits &= hits - 1u;
            const float t = found.t[lane];
            if (query.hitFound && t >= query.hitT)
                continue;
            const uint32_t polygon = group->polygon[lane];
            const uint8_t backSide = uint8_t((found.back >> lane) & 1u);
            if (backSide) {
                const uint32_t material = geometry->polygons[polygon].material;
                const zMaterial* owner = material < geometry->materialCount ? geometry->materials[material] : nullptr;
                if (owner == nullptr || (owner->flags & zMaterial::FlagDoubleSided) == 0)
                    continue;
            }
            query.hitFound = 1;
            query.hitT = t;
            query.objectHit = geometry;
            query.primitiveHit = int32_t(polygon);
            query.subPrimitiveHit = int32_t(group->fan[lane] >> 2);
            query.weights[0] = found.weights[0][lane];
            query.weights[1] = found.weights[1][lane];
            query.weights[2] = found.weights[2][lane];
            query.backSide = backSide;
        }
    }
}

} // namespace

zGeometryBIH::~zGeometryBIH()
{
    ReleasePolygons();
}

void zGeometryBIH::ReleasePolygons()
{
    delete[] polygons;
    polygons = nullptr;
    delete[] triangles;
    triangles = nullptr;
    delete[] rayNodes;
    rayNodes = nullptr;
    delete[] rayLanes;
    rayLanes = nullptr;
    polygonCount = 0;
    geometry = nullptr;
}

void zGeometryBIH::Free()
{
    ReleasePolygons();
    zBIH::Free();
}

bool zGeometryBIH::BuildFromGeometry(zGeometry* source)
{
    Free();
    if (source == nullptr || source->polygonCount == 0 || source->polygons == nullptr || source->vertexCount == 0
        || source->vertices == nullptr)
        return Build(0, nullptr);
    if (source->polygonCount > uint32_t(std::numeric_limits<int32_t>::max())) {
        LogError("zGeometryBIH::BuildFromGeometry") << "Failed to allocate volume objects.\n";
        return false;
    }
    // The normals are the geometry's own: made first, so there is an array
    // to write the planes back to.
    if (!source->ComputePolygonNormal())
        return false;

    const uint32_t count = source->polygonCount;
    std::unique_ptr<zMinMax[]> volumes(new (std::nothrow) zMinMax[count]);
    if (volumes == nullptr) {
        LogError("zGeometryBIH::BuildFromGeometry") << "Failed to allocate volume objects.\n";
        return false;
    }
    uint64_t triangleTotal = 0;
    for (uint32_t p = 0; p < count; ++p) {
        if (source->polygons[p].vertexCount >= 3)
            triangleTotal += source->polygons[p].vertexCount - 2u;
    }
    std::unique_ptr<zGeometryBIHPolygon[]> records(new (std::nothrow) zGeometryBIHPolygon[count]);
    std::unique_ptr<zGeometryBIHTriangle[]> fans(
        new (std::nothrow) zGeometryBIHTriangle[triangleTotal > 0 ? triangleTotal : 1]);
    if (records == nullptr || fans == nullptr) {
        LogError("zGeometryBIH::BuildFromGeometry") << "Failed to allocate point in polygon acceleration array.\n";
        return false;
    }

    const zVector* positions = source->vertices;
    uint32_t nextTriangle = 0;
    for (uint32_t p = 0; p < count; ++p) {
        const zPolygon& polygon = source->polygons[p];
        zGeometryBIHPolygon& record = records[p];
        record.firstTriangle = nextTriangle;
        const uint32_t corners = polygon.indices != nullptr ? polygon.vertexCount : 0;
        if (polygon.vertexCount >= 3)
            nextTriangle += polygon.vertexCount - 2u;

        // The volume holds every corner that names a vertex; a polygon with
        // none sits on vertex 0, where it costs nothing as it is never hit.
        bool valid = corners >= 3;
        bool any = false;
        zMinMax& volume = volumes[p];
        volume = zMinMax(positions[0], positions[0]);
        for (uint32_t c = 0; c < corners; ++c) {
            const int32_t index = polygon.indices[c];
            if (index < 0 || uint32_t(index) >= source->vertexCount) {
                valid = false;
                continue;
            }
            const zVector& point = positions[index];
            if (!any) {
                volume = zMinMax(point, point);
                any = true;
            }
            for (int a = 0; a < 3; ++a) {
                Axis(volume.min, a) = std::fmin(Axis(volume.min, a), Axis(point, a));
                Axis(volume.max, a) = std::fmax(Axis(volume.max, a), Axis(point, a));
            }
        }
        if (!valid)
            continue;

        const zVector& p0 = positions[polygon.indices[0]];
        const zVector normal = PlaneNormal(p0, positions[polygon.indices[1]], positions[polygon.indices[2]]);
        source->polygonNormals[p] = normal;
        if (normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f)
            continue;

        const float ax = std::fabs(normal.x);
        const float ay = std::fabs(normal.y);
        const float az = std::fabs(normal.z);
        const int dominant = (ax >= ay && ax >= az) ? 0 : (ay >= ax && ay >= az) ? 1 : 2;
        const int u = (dominant + 1) % 3;
        const int v = (dominant + 2) % 3;
        record.normal = normal;
        record.origin = p0;
        record.distance = normal.Dot(p0);
        record.u = uint8_t(u);
        record.v = uint8_t(v);
        record.triangleCount = uint16_t(polygon.vertexCount - 2);
        // Rays meet the polygon on the plane of its first three corners. Where
        // the other corners leave that plane, the hits lie on their shadows
        // along the dominant axis, which the volume must hold as well.
        for (uint32_t c = 3; c < corners; ++c) {
            zVector shadow = positions[polygon.indices[c]];
            Axis(shadow, dominant) = Axis(p0, dominant)
                - (Axis(normal, u) * (Axis(shadow, u) - Axis(p0, u)) + Axis(normal, v) * (Axis(shadow, v) - Axis(p0, v)))
                    / Axis(normal, dominant);
            for (int a = 0; a < 3; ++a) {
                Axis(volume.min, a) = std::fmin(Axis(volume.min, a), Axis(shadow, a));
                Axis(volume.max, a) = std::fmax(Axis(volume.max, a), Axis(shadow, a));
            }
        }
        for (uint32_t k = 1; k + 1 < corners; ++k) {
            const zVector a = positions[polygon.indices[k + 1]] - p0;
            const zVector b = positions[polygon.indices[k]] - p0;
            const float det = Axis(a, u) * Axis(b, v) - Axis(b, u) * Axis(a, v);
            zGeometryBIHTriangle& fan = fans[record.firstTriangle + k - 1];
            // A fan triangle seen edge-on has no inverse; one so thin that the
            // inverse overflows has none worth using.
            if (det == 0.0f || !std::isfinite(1.0f / det))
                continue;
            const float inverse = 1.0f / det;
            fan.inverse[0] = Axis(a, u) * inverse;
            fan.inverse[1] = -Axis(a, v) * inverse;
            fan.inverse[2] = Axis(b, v) * inverse;
            fan.inverse[3] = -Axis(b, u) * inverse;
            fan.degenerate = 0;
            for (float value : fan.inverse) {
                if (!std::isfinite(value))
                    fan.degenerate = 1;
            }
        }
    }

    if (!Build(int32_t(count), volumes.get()))
        return false;
    geometry = source;
    polygonCount = count;
    polygons = records.release();
    triangles = fans.release();
    source->keepMask |= zGeometry::KeepMesh;
    // Without it rays take the node tree, to the same answers.
    if (!BuildRayLayout())
        LogWarning("zGeometryBIH::BuildFromGeometry") << "No memory for the ray layout; rays walk the node tree.\n";
    return true;
}

bool zGeometryBIH::BuildRayLayout()
{
    const zBIHNode* top = GetRoot();
    if (top == nullptr || polygons == nullptr || nodeCount <= 0 || uint32_t(nodeCount) >= (1u << 30))
        return false;
    // Lanes per leaf: the fan triangles with an inverse.
    const auto laneCount = [this](const zBIHNode& leaf) {
        uint32_t lanes = 0;
        for (uint32_t i = 0; i < leaf.count; ++i) {
            const zGeometryBIHPolygon& record = polygons[leaf.indices[i]];
            for (uint32_t k = 0; k < record.triangleCount; ++k)
                lanes += triangles[record.firstTriangle + k].degenerate ? 0u : 1u;
        }
        return lanes;
    };
    const zBIHNode* pending[MaxDepth + 2];
    int32_t depth = 0;
    uint64_t groupCount = 0;
    pending[depth++] = top;
    while (depth > 0) {
        const zBIHNode* node = pending[--depth];
        if (node->IsLeaf()) {
            groupCount += (uint64_t(laneCount(*node)) + zGeometryBIHLanes::Width - 1) / zGeometryBIHLanes::Width;
            continue;
        }
        pending[depth++] = &node->children[1];
        pending[depth++] = &node->children[0];
    }
    if (groupCount >= (1u << 30))
        return false;
    std::unique_ptr<zGeometryBIHRayNode[]> nodes(new (std::nothrow) zGeometryBIHRayNode[uint32_t(nodeCount)]);
    std::unique_ptr<zGeometryBIHLanes[]> groups(new (std::nothrow) zGeometryBIHLanes[groupCount > 0 ? groupCount : 1]());
    if (nodes == nullptr || groups == nullptr)
        return false;

    // Depth first, each pair of children placed when their parent is, so that
    // a subtree sits close to its root.
    struct Work {
        const zBIHNode* node;
        uint32_t index;
    };
    Work work[MaxDepth + 2];
    depth = 0;
    work[depth++] = {top, 0};
    uint32_t nextNode = 1;
    uint32_t nextGroup = 0;
    while (depth > 0) {
        const Work item = work[--depth];
        const zBIHNode& node = *item.node;
        zGeometryBIHRayNode& out = nodes[item.index];
        if (!node.IsLeaf()) {
            if (nextNode + 2 > uint32_t(nodeCount))
                return false;
            out.link = nextNode << 2 | node.type;
            out.clip[0] = node.leftClip;
            out.clip[1] = node.rightClip;
            work[depth++] = {&node.children[1], nextNode + 1};
            work[depth++] = {&node.children[0], nextNode};
            nextNode += 2;
            continue;
        }
        out.link = nextGroup << 2 | zBIHNode::LeafType;
        uint32_t tested = 0;
        uint32_t lane = 0;
        for (uint32_t i = 0; i < node.count; ++i) {
            const uint32_t index = node.indices[i];
            const zGeometryBIHPolygon& record = polygons[index];
            tested += record.triangleCount;
            for (uint32_t k = 0; k < record.triangleCount; ++k) {
                const zGeometryBIHTriangle& fan = triangles[record.firstTriangle + k];
                if (fan.degenerate)
                    continue;
                zGeometryBIHLanes& group = groups[nextGroup + lane / zGeometryBIHLanes::Width];
                const uint32_t j = lane % zGeometryBIHLanes::Width;
                for (int a = 0; a < 3; ++a) {
                    group.normal[a][j] = Axis(record.normal, a);
                    group.corner[a][j] = Axis(record.origin, a);
                }
                for (int e = 0; e < 4; ++e)
                    group.inverse[e][j] = fan.inverse[e];
                group.polygon[j] = index;
                // u = dominant + 1: the dominant axis is the one before u.
                group.fan[j] = k << 2 | uint32_t((record.u + 2) % 3);
                ++lane;
            }
        }
        out.lanes = lane;
        out.clip[0] = std::bit_cast<float>(tested);
        nextGroup += (lane + zGeometryBIHLanes::Width - 1) / zGeometryBIHLanes::Width;
    }
    rayNodes = nodes.release();
    rayLanes = groups.release();
    return true;
}

bool zGeometryBIH::LocateInPolygon(uint32_t polygon, const zVector& point, int32_t* triangle, float* weights) const
{
    if (polygons == nullptr || polygon >= polygonCount)
        return false;
    const zGeometryBIHPolygon& record = polygons[polygon];
    const float m = Axis(point, record.u) - Axis(record.origin, record.u);
    const float o = Axis(point, record.v) - Axis(record.origin, record.v);
    const zGeometryBIHTriangle* fan = triangles + record.firstTriangle;
    for (uint32_t k = 0; k < record.triangleCount; ++k, ++fan) {
        if (fan->degenerate)
            continue;
        const float a = fan->inverse[1] * m + fan->inverse[0] * o;
        const float b = fan->inverse[2] * m + fan->inverse[3] * o;
        const float c = 1.0f - a - b;
        if (a >= -InsideTolerance && b >= -InsideTolerance && c >= -InsideTolerance) {
            if (triangle != nullptr)
                *triangle = int32_t(k);
            if (weights != nullptr) {
                weights[0] = a;
                weights[1] = b;
                weights[2] = c;
            }
            return true;
        }
    }
    return false;
}

void zGeometryBIH::IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const
{
    const zVector& origin = query.origin;
    const zVector& direction = query.direction;
    for (uint32_t i = 0; i < leaf.count; ++i) {
        const uint32_t index = leaf.indices[i];
        const zGeometryBIHPolygon& record = polygons[index];
        if (record.triangleCount == 0)
            continue;
        query.primitivesTested += record.triangleCount;

        const float f = record.normal.Dot(direction);
        uint8_t backSide = 0;
        if (f >= 0.0f) {
            // Quiet lookup: a missing material makes the polygon one-sided
            // without a log line per ray.
            const uint32_t material = geometry->polygons[index].material;
            const zMaterial* found = material < geometry->materialCount ? geometry->materials[material] : nullptr;
            // A ray in the plane meets no point of it worth reporting.
            if (f == 0.0f || found == nullptr || (found->flags & zMaterial::FlagDoubleSided) == 0)
                continue;
            backSide = 1;
        }
        // N . (p0 - origin) rather than N . p0 - N . origin: the same value,
        // without losing the digits that two large, nearly equal products share.
        const float t = record.normal.Dot(record.origin - origin) / f;
        if ((query.hitFound && t >= query.hitT) || t < tNear || t > tFar)
            continue;

        int32_t triangle = 0;
        float weights[3];
        if (!LocateInPolygon(index, origin + direction * t, &triangle, weights))
            continue;
        query.hitFound = 1;
        query.hitT = t;
        query.objectHit = geometry;
        query.primitiveHit = int32_t(index);
        query.subPrimitiveHit = triangle;
        query.weights[0] = weights[0];
        query.weights[1] = weights[1];
        query.weights[2] = weights[2];
        query.backSide = backSide;
    }
}

void zGeometryBIH::TraceRay(zBIHQuery& query, const zVector& origin, const zVector& direction, float maximumDistance) const
{
    query.primitiveHit = -1;
    query.primitivesTested = 0;
    if (rayNodes == nullptr) {
        IntersectRay(query, origin, direction, maximumDistance);
        return;
    }
    // zBIH::IntersectRay step for step, over the ray layout.
    query.BeginWalk();
    float tNear;
    float tFar;
    if (!query.ClipRay(GetBounds(), origin, direction, maximumDistance, tNear, tFar))
        return;

    const LaneRay ray(origin, direction);
    struct Entry {
        uint32_t node;
        float tNear;
        float tFar;
    };
    Entry stack[zBIHQuery::StackCapacity];
    int32_t stackDepth = 0;
    int32_t visits = 0;
    uint32_t node = 0;
    for (;;) {
        if (!query.hitFound || (query.nearestHit && tNear < query.hitT)) {
            bool atLeaf = true;
            uint32_t link = rayNodes[node].link;
            while ((link & 3u) != zBIHNode::LeafType) {
                ++visits;
                const zGeometryBIHRayNode& inner = rayNodes[node];
                const int a = int(link & 3u);
                const uint32_t left = link >> 2;
                const float o = Axis(origin, a);
                const float d = Axis(direction, a);
                if (d != 0.0f) {
                    const float t0 = (inner.clip[0] - o) / d;
                    const float t1 = (inner.clip[1] - o) / d;
                    const bool forward = d > 0.0f;
                    const uint32_t nearChild = forward ? left : left + 1;
                    const uint32_t farChild = forward ? left + 1 : left;
                    const float nearExit = forward ? t0 : t1;
                    const float farEntry = forward ? t1 : t0;
                    if (tNear < nearExit) {
                        if (tFar > farEntry && stackDepth < zBIHQuery::StackCapacity)
                            stack[stackDepth++] = {farChild, farEntry > tNear ? farEntry : tNear, tFar};
                        node = nearChild;
                        if (nearExit < tFar)
                            tFar = nearExit;
                    } else if (tFar > farEntry) {
                        node = farChild;
                        if (farEntry > tNear)
                            tNear = farEntry;
                    } else {
                        atLeaf = false;
                        break;
                    }
                } else if (o < inner.clip[0]) {
                    if (o > inner.clip[1] && stackDepth < zBIHQuery::StackCapacity)
                        stack[stackDepth++] = {left + 1, tNear, tFar};
                    node = left;
                } else if (o > inner.clip[1]) {
                    node = left + 1;
                } else {
                    atLeaf = false;
                    break;
                }
                link = rayNodes[node].link;
            }
            if (atLeaf)
                IntersectLanes(rayLanes, geometry, rayNodes[node], ray, tNear, tFar, query);
        }
        if (stackDepth == 0)
            break;
        const Entry& top = stack[--stackDepth];
        node = top.node;
        tNear = top.tNear;
        tFar = top.tFar;
    }
    query.visits = visits;
}

bool zGeometryBIH::IntersectPolygon(uint32_t polygon, const zVector& origin, const zVector& direction, float maximumDistance) const
{
    if (polygons == nullptr || polygon >= polygonCount || polygons[polygon].triangleCount == 0)
        return false;
    const zGeometryBIHPolygon& record = polygons[polygon];
    const float f = record.normal.Dot(direction);
    if (!(f < 0.0f))
        return false;
    const float t = record.normal.Dot(record.origin - origin) / f;
    if (!(t >= 0.0f) || (maximumDistance > 0.0f && t > maximumDistance))
        return false;
    return LocateInPolygon(polygon, origin + direction * t);
}

bool zGeometryBIH::PolygonOverlapsBox(uint32_t polygon, const zMinMax& box) const
{
    if (geometry == nullptr || polygon >= polygonCount)
        return false;
    const zPolygon& source = geometry->polygons[polygon];
    if (source.vertexCount == 0 || source.indices == nullptr)
        return false;
    float lo[3] = {0.0f, 0.0f, 0.0f};
    float hi[3] = {0.0f, 0.0f, 0.0f};
    bool any = false;
    for (uint16_t c = 0; c < source.vertexCount; ++c) {
        const int32_t index = source.indices[c];
        if (index < 0 || uint32_t(index) >= geometry->vertexCount)
            continue;
        const zVector& point = geometry->vertices[index];
        for (int a = 0; a < 3; ++a) {
            lo[a] = any ? std::fmin(lo[a], Axis(point, a)) : Axis(point, a);
            hi[a] = any ? std::fmax(hi[a], Axis(point, a)) : Axis(point, a);
        }
        any = true;
    }
    if (!any)
        return false;
    for (int a = 0; a < 3; ++a) {
        if (lo[a] > Axis(box.max, a) || hi[a] < Axis(box.min, a))
            return false;
    }
    return true;
}

uint32_t zGeometryBIH::GatherPolygonsInBox(const zMinMax& box, uint32_t* out, uint32_t capacity) const
{
    uint32_t found = 0;
    VisitPolygonsInBox(box, [&](uint32_t polygon) {
        if (out != nullptr && found < capacity)
            out[found] = polygon;
        ++found;
        return true;
    });
    return found;
}
