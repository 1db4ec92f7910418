#include "core/geometry/zGeometryBIH.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "framework/system/zLogStream.h"

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
    IntersectRay(query, origin, direction, maximumDistance);
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
