#include "framework/math/zMinMax.h"

#include "framework/math/zMatrix4.h"

#include <cfloat>
#include <cmath>

namespace {

enum : int {
    AboveX = 0x01,
    BelowX = 0x02,
    AboveY = 0x04,
    BelowY = 0x08,
    BelowZ = 0x10,
    AboveZ = 0x20,
};

int RegionCode(const zVector& p, const zMinMax& box)
{
    int code = 0;
    if (p.x > box.max.x)
        code |= AboveX;
    else if (p.x < box.min.x)
        code |= BelowX;
    if (p.y > box.max.y)
        code |= AboveY;
    else if (p.y < box.min.y)
        code |= BelowY;
    if (p.z > box.max.z)
        code |= AboveZ;
    else if (p.z < box.min.z)
        code |= BelowZ;
    return code;
}

int DirectionCode(const zVector& d)
{
    return (d.x > 0.0f ? AboveX : BelowX) | (d.y > 0.0f ? AboveY : BelowY) | (d.z > 0.0f ? AboveZ : BelowZ);
}

bool Within(float v, float lo, float hi)
{
    return v >= lo && v <= hi;
}

// Faces in the order x, y, z, each tried only when the origin lies outside it.
bool HitFaces(const zMinMax& box, int code, const zVector& origin, const zVector& direction, zVector& hit, zVector* normal)
{
    zVector point;
    zVector face;
    bool found = false;
    // Axis a with the two others b and c; the face is on the side the origin is outside of.
    for (int a = 0; a < 3 && !found; ++a) {
        const int above = a == 0 ? AboveX : (a == 1 ? AboveY : AboveZ);
        const int below = a == 0 ? BelowX : (a == 1 ? BelowY : BelowZ);
        if ((code & (above | below)) == 0)
            continue;
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        const float* o = &origin.x;
        const float* d = &direction.x;
        const float plane = (code & above) ? (&box.max.x)[a] : (&box.min.x)[a];
        face = zVector(0.0f, 0.0f, 0.0f);
        (&face.x)[a] = (code & above) ? 1.0f : -1.0f;
        // The direction codes already rule out a ray running away from or
        // along this face; a zero component here means it runs along it.
        if (d[a] == 0.0f)
            continue;
        const float t = (plane - o[a]) / d[a];
        float* p = &point.x;
        p[a] = plane;
        p[b] = o[b] + d[b] * t;
        p[c] = o[c] + d[c] * t;
        point.w = 1.0f;
        found = Within(p[b], (&box.min.x)[b], (&box.max.x)[b]) && Within(p[c], (&box.min.x)[c], (&box.max.x)[c]);
    }
    if (found)
        hit = point;
    if (normal != nullptr)
        *normal = face;
    return found;
}

} // namespace

bool zMinMax::IntersectRaySlab(const zVector& origin, const zVector& direction, float& entry, float& exit) const
{
    float near = 0.0f;
    float far = FLT_MAX;
    for (int a = 0; a < 3; ++a) {
        const float o = (&origin.x)[a];
        const float d = (&direction.x)[a];
        const float lo = (&min.x)[a];
        const float hi = (&max.x)[a];
        if (std::fabs(d) > 1e-6f) {
            const float inverse = 1.0f / d;
            float t0 = (lo - o) * inverse;
            float t1 = (hi - o) * inverse;
            if (t0 > t1) {
                const float swap = t0;
                t0 = t1;
                t1 = swap;
            }
            if (t0 > near)
                near = t0;
            if (t1 < far)
                far = t1;
            if (far < near)
                return false;
        } else if (o < lo || o > hi) {
            return false;
        }
    }
    entry = near;
    exit = far;
    return true;
}

bool zMinMax::IntersectRay(const zVector& origin, const zVector& direction, zVector& hit, zVector* normal) const
{
    const int code = RegionCode(origin, *this);
    if (code == 0) {
        hit = zVector(origin.x, origin.y, origin.z);
        if (normal != nullptr)
            *normal = zVector(0.0f, 0.0f, 0.0f);
        return true;
    }
    if (code & DirectionCode(direction))
        return false;
    return HitFaces(*this, code, origin, direction, hit, normal);
}

bool zMinMax::IntersectSegment(const zVector& start, const zVector& end, zVector& hit, zVector* normal) const
{
    const int startCode = RegionCode(start, *this);
    const int endCode = RegionCode(end, *this);
    if (startCode == 0) {
        hit = zVector(start.x, start.y, start.z);
        if (normal != nullptr)
            *normal = zVector(0.0f, 0.0f, 0.0f);
        return true;
    }
    if (endCode == 0) {
        hit = zVector(end.x, end.y, end.z);
        return true;
    }
    if (startCode & endCode)
        return false;
    return HitFaces(*this, startCode, start, end - start, hit, normal);
}

void zOBB::Transform(const zMatrix4& m)
{
    const zMatrix3 r = zMatrix3::FromMatrix4(m);
    orientation = r * orientation;
    centre = centre.Rotate(r) + zVector(m.m[3], m.m[7], m.m[11]);
}

zMinMax zOBB::GetMinMax() const
{
    const zVector h = size * 0.5f;
    const zVector corners[4] = {
        {h.x, h.y, h.z},
        {-h.x, h.y, h.z},
        {h.x, -h.y, h.z},
        {h.x, h.y, -h.z},
    };
    zVector extent(0.0f, 0.0f, 0.0f);
    for (const zVector& corner : corners) {
        const zVector r = corner.Rotate(orientation);
        extent.x = std::fmax(extent.x, std::fabs(r.x));
        extent.y = std::fmax(extent.y, std::fabs(r.y));
        extent.z = std::fmax(extent.z, std::fabs(r.z));
    }
    return zMinMax(centre - extent, centre + extent);
}
