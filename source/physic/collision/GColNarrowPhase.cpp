#include "core/geometry/zGeometry.h"
#include "framework/math/zColor.h"
#include "framework/system/zLogStream.h"
#include "framework/spatial_structure/zBIH.h"
#include "physic/collision/GColGeometry.h"
#include "physic/collision/GColMeshAccess.h"
#include "physic/collision/GCollide.h"

#include <cmath>

namespace {

constexpr float Tiny = 1e-6f;
constexpr float NeverChosen = -1e8f;
// Face against face, each face is widened by this factor before the other is
// clipped to it: faces that nearly coincide then keep their own corners
// instead of crossings of almost parallel edges, and a corner on the rim
// stays in whichever way it rounds.
constexpr float FaceRim = 1.01f;

float Component(const zVector& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// Inline forms of the vector operations every box pair repeats; each
// computes exactly what the zVector or zMatrix3 operation named beside it does.

// v.Rotate(r)
inline zVector RotateBy(const zVector& v, const zMatrix3& r)
{
    const float* m = r.m;
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z, m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

// v.Rotate(r.Transposed())
inline zVector RotateByTransposed(const zVector& v, const zMatrix3& r)
{
    const float* m = r.m;
    return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z, m[2] * v.x + m[5] * v.y + m[8] * v.z};
}

// r.GetRow(i)
inline zVector RowOf(const zMatrix3& r, int i)
{
    return {r.m[i], r.m[i + 3], r.m[i + 6]};
}

// a.Cross(b)
inline zVector CrossOf(const zVector& a, const zVector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// v.Normalized()
inline zVector NormalizedOf(const zVector& v)
{
    const float length = std::sqrt(v.SquaredLength());
    if (length < 1e-6f)
        return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

// VectorDistanceSquared(a, b)
inline float DistanceSquared(const zVector& a, const zVector& b)
{
    return (a - b).SquaredLength();
}

// std::fmax and std::fmin for numbers, without the library call.
inline float Larger(float a, float b)
{
    return a < b ? b : a;
}

inline float Smaller(float a, float b)
{
    return b < a ? b : a;
}

inline zVector ToBoxFrame(const zVector& p, const zOBB& box)
{
    return RotateByTransposed(p - box.centre, box.orientation);
}

inline zVector FromBoxFrame(const zVector& p, const zOBB& box)
{
    return RotateBy(p, box.orientation) + box.centre;
}

zOBB ShapeBox(const GColShape& shape, const zMatrix4& placement)
{
    zOBB box;
    const float* m = placement.m;
    box.centre = zVector(m[3], m[7], m[11]);
    box.size = shape.owner == nullptr ? shape.dimensions
                                      : zVector(shape.dimensions.x * shape.owner->scale.x, shape.dimensions.y * shape.owner->scale.y,
                                                shape.dimensions.z * shape.owner->scale.z);
    float* o = box.orientation.m;
    o[0] = m[0];
    o[1] = m[1];
    o[2] = m[2];
    o[3] = m[4];
    o[4] = m[5];
    o[5] = m[6];
    o[6] = m[8];
    o[7] = m[9];
    o[8] = m[10];
    return box;
}

bool BoundsOverlap(const zMinMax& a, const zMinMax& b)
{
    return !(a.min.x > b.max.x || b.min.x > a.max.x || a.min.y > b.max.y || b.min.y > a.max.y || a.min.z > b.max.z ||
             b.min.z > a.max.z);
}

bool InsideBox(const zVector& p, const zVector& h)
{
    return p.x >= -h.x && p.x <= h.x && p.y >= -h.y && p.y <= h.y && p.z >= -h.z && p.z <= h.z;
}

// Clips a world-space edge to a box, leaving the axis along the normal
// unclipped; the surviving ends come back in world space.
int ClipEdgeToBox(const zVector& p, const zVector& q, const zOBB& box, const zVector& normal, zVector out[2], float rim = 1.0f)
{
    zVector a = ToBoxFrame(p, box);
    zVector b = ToBoxFrame(q, box);
    const zVector n = RotateByTransposed(normal, box.orientation);
    zVector h = box.size * (0.5f * rim);
    if (std::fabs(n.x) > 0.9f)
        h.x = -1.0f;
    else if (std::fabs(n.y) > 0.9f)
        h.y = -1.0f;
    else
        h.z = -1.0f;
    if (ClipSegmentToBox(a, b, h) == 0)
        return 0;
    if (rim != 1.0f) {
        // What the widened rim let through is put back on the true rim.
        const zVector e = box.size * 0.5f;
        const zVector limit(h.x < 0.0f ? 1e30f : e.x, h.y < 0.0f ? 1e30f : e.y, h.z < 0.0f ? 1e30f : e.z);
        a = ClampToBox(a, limit);
        b = ClampToBox(b, limit);
    }
    out[0] = FromBoxFrame(a, box);
    out[1] = FromBoxFrame(b, box);
    return 2;
}

// The corners in the order (-+ +), (+ + +), (+ - +), (- - +), then the same
// with -z. Each corner's offsets are +-half the size exactly, so the products
// with the rotation are formed once and only their signs differ per corner.
void BoxCorners(const zOBB& box, zVector corners[8])
{
    const float* m = box.orientation.m;
    const float hx = 0.5f * box.size.x;
    const float hy = 0.5f * box.size.y;
    const float hz = 0.5f * box.size.z;
    const zVector ex(m[0] * hx, m[3] * hx, m[6] * hx);
    const zVector ey(m[1] * hy, m[4] * hy, m[7] * hy);
    const zVector ez(m[2] * hz, m[5] * hz, m[8] * hz);
    static const float signs[8][3] = {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}};
    for (int i = 0; i < 8; ++i) {
        const float sx = signs[i][0];
        const float sy = signs[i][1];
        const float sz = signs[i][2];
        corners[i] = zVector(sx * ex.x + sy * ey.x + sz * ez.x + box.centre.x, sx * ex.y + sy * ey.y + sz * ez.y + box.centre.y,
                             sx * ex.z + sy * ey.z + sz * ez.z + box.centre.z);
    }
}

// The corners of one box that reach into the other along the normal.
struct Feature {
    zVector corners[8];
    float projections[8];
    int count = 0;
};

// Keeps the two deepest of three corners, or the four deepest of more than
// four (largest projections when deepestIsLargest), in corner order. Under
// deep penetration the first four corners need not form a face at all,
// while the deepest four are the face turned towards the other box.
void ReduceFeature(Feature& f, bool deepestIsLargest)
{
    int keep = f.count;
    if (f.count == 3)
        keep = 2;
    else if (f.count > 4)
        keep = 4;
    while (f.count > keep) {
        int drop = 0;
        for (int i = 1; i < f.count; ++i) {
            const bool shallower = deepestIsLargest ? f.projections[i] < f.projections[drop] : f.projections[i] > f.projections[drop];
            if (shallower)
                drop = i;
        }
        for (int i = drop; i + 1 < f.count; ++i) {
            f.corners[i] = f.corners[i + 1];
            f.projections[i] = f.projections[i + 1];
        }
        --f.count;
    }
}

// Collects points, skipping near duplicates, at most capacity of them.
struct PointSet {
    zVector points[GCollide::ConvexPointCapacity];
    uint32_t count = 0;

    void Add(const zVector& p)
    {
        if (count >= GCollide::ConvexPointCapacity)
            return;
        for (uint32_t i = 0; i < count; ++i) {
            if (DistanceSquared(points[i], p) < 0.001f)
                return;
        }
        points[count++] = p;
    }
};

// Adds the corners of one face that lie over the face of the given box
// touching it (that face holds faceCorner), moved along the box axis nearest
// the normal onto that face, so that the overlap's points share its plane.
void AddCornersInsideFace(const Feature& corners, const zOBB& box, const zVector& faceCorner, const zVector& normal,
                          PointSet& found)
{
    const zVector n = RotateByTransposed(normal, box.orientation);
    const int axis = std::fabs(n.x) > 0.9f ? 0 : (std::fabs(n.y) > 0.9f ? 1 : 2);
    const zVector h = box.size * 0.5f;
    const float plane = Component(ToBoxFrame(faceCorner, box), axis);
    for (int i = 0; i < corners.count; ++i) {
        zVector p = ToBoxFrame(corners.corners[i], box);
        bool inside = true;
        for (int k = 0; k < 3 && inside; ++k) {
            if (k != axis)
                inside = std::fabs(Component(p, k)) <= Component(h, k) * FaceRim;
        }
        if (!inside)
            continue;
        p = ClampToBox(p, h);
        if (axis == 0)
            p.x = plane;
        else if (axis == 1)
            p.y = plane;
        else
            p.z = plane;
        found.Add(FromBoxFrame(p, box));
    }
}

// Puts four face corners in cycle order: the two neighbours of the first are
// the pair whose vectors from it are nearly perpendicular.
void CycleOrder(zVector c[4])
{
    for (int i = 1; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const zVector di = NormalizedOf(c[i] - c[0]);
            const zVector dj = NormalizedOf(c[j] - c[0]);
            if (std::fabs(di.Dot(dj)) < 0.1f) {
                const int opposite = 6 - i - j;
                const zVector a = c[i];
                const zVector b = c[j];
                const zVector o = c[opposite];
                c[1] = a;
                c[2] = o;
                c[3] = b;
                return;
            }
        }
    }
}

void WriteResult(GColContactOutput* output, const zVector& normal, float depth)
{
    *output->normal = zVector(normal.x, normal.y, normal.z);
    *output->depth = depth;
}

}

uint32_t GCollide::SphereSphere(const zVector& previousA, const zVector& centreA, float radiusA, const zVector& previousB,
                                const zVector& centreB, float radiusB, GColContactOutput* output)
{
    const zVector d0 = previousA - previousB;
    const zVector d1 = centreA - centreB;
    const zVector s = d1 - d0;
    const float R = radiusA + radiusB;
    const float motion = s.SquaredLength();
    if (std::fabs(motion) <= Tiny)
        return 0;
    const float d0Squared = d0.SquaredLength();
    zVector normal;
    float depth;
    if (R * R > d0Squared) {
        if (std::fabs(d0Squared) > Tiny)
            normal = (-d0).Normalized();
        else if (std::fabs(d1.SquaredLength()) > Tiny)
            normal = (-d1).Normalized();
        else
            normal = zVector(0.0f, 1.0f, 0.0f);
        depth = std::sqrt(d0Squared) - R;
    } else {
        // Time of impact along the relative motion: |d0 + t s| = R.
        const float e = (-d0).Dot(s);
        const float disc = e * e - motion * (d0Squared - R * R);
        if (disc < 0.0f)
            return 0;
        const float t = (e - std::sqrt(disc)) / motion;
        if (t < 0.0f || t > 1.0f)
            return 0;
        const float length = std::sqrt(motion);
        normal = s * (1.0f / length);
        depth = -(1.0f - t) * length;
    }
    if (output == nullptr || !output->WantsResult())
        return 1;
    WriteResult(output, normal, depth);
    if (output->WantsPoints()) {
        output->points[0] = centreB - normal * radiusB;
        output->pointDepths[0] = depth;
    }
    return 1;
}

uint32_t GCollide::SphereCuboid(const zVector& previousCentre, const zVector& centre, float radius, const zOBB& previousBox,
                                const zOBB& box, GColContactOutput* output)
{
    const zVector p0 = ToBoxFrame(previousCentre, previousBox);
    const zVector p1 = ToBoxFrame(centre, box);
    if (std::fabs((p1 - p0).SquaredLength()) <= Tiny)
        return 0;
    const zVector h = box.size * 0.5f;
    const zVector q = ClampToBox(p1, h);
    const zVector d = q - p1;
    const float dSquared = d.SquaredLength();
    if (!(radius * radius > dSquared))
        return 0;
    if (output == nullptr || !output->WantsResult())
        return 1;
    const zVector direction = std::fabs(dSquared) > Tiny ? d : p1 - p0;
    const zVector normal = direction.Normalized().Rotate(box.orientation);
    const float depth = -(radius - std::sqrt(dSquared));
    WriteResult(output, normal, depth);
    if (output->WantsPoints()) {
        output->points[0] = previousCentre + normal * radius;
        output->pointDepths[0] = depth;
    }
    return 1;
}

uint32_t GCollide::CuboidCuboid(const zOBB& a, const zOBB& b, GColContactOutput* output)
{
    const zVector axesA[3] = {RowOf(a.orientation, 0), RowOf(a.orientation, 1), RowOf(a.orientation, 2)};
    const zVector axesB[3] = {RowOf(b.orientation, 0), RowOf(b.orientation, 1), RowOf(b.orientation, 2)};
    const float ha[3] = {a.size.x * 0.5f, a.size.y * 0.5f, a.size.z * 0.5f};
    const float hb[3] = {b.size.x * 0.5f, b.size.y * 0.5f, b.size.z * 0.5f};
    const zVector T = b.centre - a.centre;

    // The fifteen axes side by side, component by component, so that the
    // same arithmetic runs for all of them at once; the sixteenth is padding.
    constexpr int Lanes = 16;
    alignas(64) float lx[Lanes];
    alignas(64) float ly[Lanes];
    alignas(64) float lz[Lanes];
    for (int i = 0; i < 3; ++i) {
        lx[i] = axesA[i].x;
        ly[i] = axesA[i].y;
        lz[i] = axesA[i].z;
        lx[3 + i] = axesB[i].x;
        ly[3 + i] = axesB[i].y;
        lz[3 + i] = axesB[i].z;
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const zVector L = CrossOf(axesA[i], axesB[j]);
            lx[6 + 3 * i + j] = L.x;
            ly[6 + 3 * i + j] = L.y;
            lz[6 + 3 * i + j] = L.z;
        }
    }
    lx[15] = ly[15] = lz[15] = 0.0f;
    alignas(64) float gap[Lanes];
    alignas(64) float length[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        float r = 0.0f;
        for (int i = 0; i < 3; ++i) {
            const float da = axesA[i].x * lx[k] + axesA[i].y * ly[k] + axesA[i].z * lz[k];
            const float db = axesB[i].x * lx[k] + axesB[i].y * ly[k] + axesB[i].z * lz[k];
            r += ha[i] * std::fabs(da) + hb[i] * std::fabs(db);
        }
        gap[k] = std::fabs(T.x * lx[k] + T.y * ly[k] + T.z * lz[k]) - r;
        length[k] = std::sqrt(lx[k] * lx[k] + ly[k] * ly[k] + lz[k] * lz[k]);
    }
    float separations[15];
    for (int k = 0; k < 15; ++k) {
        // Parallel edges: the cross product is noise, not an axis.
        if (k >= 6 && !(length[k] > Tiny)) {
            separations[k] = NeverChosen;
            continue;
        }
        if (gap[k] > 0.0f)
            return 0;
        separations[k] = k >= 6 ? gap[k] / length[k] : gap[k];
    }
    int chosen = 0;
    for (int k = 1; k < 15; ++k) {
        if (separations[k] > separations[chosen])
            chosen = k;
    }
    if (separations[chosen] == NeverChosen)
        return 0;
    zVector normal = NormalizedOf(zVector(lx[chosen], ly[chosen], lz[chosen]));
    if (normal.Dot(T) < 0.0f)
        normal = -normal;
    const float depth = separations[chosen];
    if (output == nullptr || !output->WantsResult())
        return 1;
    if (!output->WantsPoints()) {
        WriteResult(output, normal, depth);
        return 1;
    }

    zVector cornersA[8];
    zVector cornersB[8];
    BoxCorners(a, cornersA);
    BoxCorners(b, cornersB);
    float projA[8];
    float projB[8];
    float maxA = 0.0f;
    float minB = 0.0f;
    for (int i = 0; i < 8; ++i) {
        projA[i] = cornersA[i].Dot(normal);
        projB[i] = cornersB[i].Dot(normal);
        maxA = i == 0 ? projA[i] : Larger(maxA, projA[i]);
        minB = i == 0 ? projB[i] : Smaller(minB, projB[i]);
    }
    Feature fa;
    Feature fb;
    for (int i = 0; i < 8; ++i) {
        if (projA[i] >= minB) {
            fa.corners[fa.count] = cornersA[i];
            fa.projections[fa.count++] = projA[i];
        }
        if (projB[i] <= maxA) {
            fb.corners[fb.count] = cornersB[i];
            fb.projections[fb.count++] = projB[i];
        }
    }
    if (fa.count == 0 || fb.count == 0)
        return 0;
    ReduceFeature(fa, true);
    ReduceFeature(fb, false);

    PointSet found;
    if (fa.count == 1) {
        found.Add(fa.corners[0]);
    } else if (fb.count == 1) {
        found.Add(fb.corners[0]);
    } else if (fa.count == 2 && fb.count == 2) {
        float st[2];
        if (ClosestPointsOfLines(fa.corners[0], fa.corners[1], fb.corners[0], fb.corners[1], st)) {
            const float s = std::fmin(std::fmax(st[0], 0.0f), 1.0f);
            const float t = std::fmin(std::fmax(st[1], 0.0f), 1.0f);
            const zVector pa = fa.corners[0] + (fa.corners[1] - fa.corners[0]) * s;
            const zVector pb = fb.corners[0] + (fb.corners[1] - fb.corners[0]) * t;
            found.Add((pa + pb) * 0.5f);
        } else {
            for (int i = 0; i < 2; ++i) {
                zVector projected;
                ClosestPointOnSegment(fa.corners[0], fa.corners[1], fb.corners[i], &projected);
                found.Add(projected);
            }
        }
    } else if (fa.count == 2 || fb.count == 2) {
        // Edge against face: the edge clipped to the face's box.
        const Feature& edge = fa.count == 2 ? fa : fb;
        const zOBB& faceBox = fa.count == 2 ? b : a;
        zVector ends[2];
        const int n = ClipEdgeToBox(edge.corners[0], edge.corners[1], faceBox, normal, ends);
        for (int i = 0; i < n; ++i) {
            if (i == 1 && output->pointCapacity < 2)
                break;
            found.Add(ends[i]);
        }
    } else {
        // Face against face: a face with a corner inside the other box is
        // clipped to it edge by edge.
        const zVector hb2 = b.size * (0.5f * FaceRim);
        bool clipA = false;
        for (int i = 0; i < 4 && !clipA; ++i)
            clipA = InsideBox(ToBoxFrame(fa.corners[i], b), hb2);
        zVector face[4];
        const Feature& clipped = clipA ? fa : fb;
        const zOBB& other = clipA ? b : a;
        for (int i = 0; i < 4; ++i)
            face[i] = clipped.corners[i];
        CycleOrder(face);
        for (int i = 0; i < 4; ++i) {
            zVector ends[2];
            const int n = ClipEdgeToBox(face[i], face[(i + 1) % 4], other, normal, ends, FaceRim);
            for (int k = 0; k < n; ++k)
                found.Add(ends[k]);
        }
        // The clipped edges miss the corners of the overlap that belong to
        // the other face: two equal faces a little apart otherwise lose one
        // corner, and a stack resting on three points tips over.
        const Feature& inner = clipA ? fb : fa;
        const zOBB& faceBox = clipA ? a : b;
        AddCornersInsideFace(inner, faceBox, face[0], normal, found);
    }
    // The boxes overlap on every axis, so a contact exists even when every
    // clipped edge fell outside: B's deepest corner then stands for it.
    if (found.count == 0) {
        int deepest = 0;
        for (int i = 1; i < fb.count; ++i) {
            if (fb.projections[i] < fb.projections[deepest])
                deepest = i;
        }
        found.Add(fb.corners[deepest]);
    }
    const uint32_t written = found.count < output->pointCapacity ? found.count : output->pointCapacity;
    float m = 0.0f;
    float projections[ConvexPointCapacity];
    for (uint32_t i = 0; i < found.count; ++i) {
        projections[i] = (found.points[i] - b.centre).Dot(normal);
        m = Smaller(m, projections[i]);
    }
    WriteResult(output, normal, depth);
    for (uint32_t i = 0; i < written; ++i) {
        output->points[i] = found.points[i];
        output->pointDepths[i] = depth + projections[i] - m;
    }
    return written;
}

uint32_t GCollide::SpherePolygon(const zVector& previousCentre, const zVector& centre, float radius, const zVector* pool,
                                 const int32_t* indices, uint32_t count, const zVector& n, float offset, GColContactOutput* output)
{
    if (count < 3)
        return 0;
    if (n.Dot(centre - previousCentre) > 0.0f)
        return 0;
    const float distance = n.Dot(centre) + offset;
    if (distance < 0.0f || !(radius > distance))
        return 0;
    zVector contact = centre - n * distance;
    float depth = radius - distance;
    if (!PolygonClosestPoint(contact, pool, indices, count, n)) {
        const float e = VectorDistance(centre, contact);
        if (!(radius > e))
            return 0;
        depth = radius - e;
    }
    if (output == nullptr || !output->WantsResult())
        return 1;
    WriteResult(output, (previousCentre - contact).Normalized(), depth);
    if (output->WantsPoints()) {
        output->points[0] = contact;
        output->pointDepths[0] = depth;
    }
    return 1;
}

uint32_t GCollide::OBBOverlapPolygon(const zOBB& box, const zMatrix4& meshWorld, const zVector* pool, const int32_t* indices,
                                     uint32_t count, GColContactOutput* output)
{
    if (count > MaxPolygonVertices) {
        LogWarning("GCollide::OBBOverlapPolygon") << "polygon vertex count exceeds internal OBB SAT limit (n = " << count << ").\n";
        return 0;
    }
    if (count < 3)
        return 0;
    zVector v[MaxPolygonVertices];
    for (uint32_t i = 0; i < count; ++i)
        v[i] = ToBoxFrame(pool[indices[i]].Transform(meshWorld), box);
    const zVector h = box.size * 0.5f;
    const float he[3] = {h.x, h.y, h.z};

    const auto interval = [&](const zVector& axis, float& lo, float& hi) {
        lo = hi = v[0].Dot(axis);
        for (uint32_t i = 1; i < count; ++i) {
            const float p = v[i].Dot(axis);
            lo = std::fmin(lo, p);
            hi = std::fmax(hi, p);
        }
    };
    const auto boxRadius = [&](const zVector& axis) {
        return he[0] * std::fabs(axis.x) + he[1] * std::fabs(axis.y) + he[2] * std::fabs(axis.z);
    };

    float best = 0.0f;
    zVector bestDirection;
    bool haveBest = false;
    const auto consider = [&](const zVector& direction, float separation) {
        if (!haveBest || separation > best) {
            best = separation;
            bestDirection = direction;
            haveBest = true;
        }
    };

    const zVector boxAxes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    for (int k = 0; k < 3; ++k) {
        float lo = 0.0f;
        float hi = 0.0f;
        interval(boxAxes[k], lo, hi);
        if (hi < -he[k] || lo > he[k])
            return 0;
        consider(lo < 0.0f ? -boxAxes[k] : boxAxes[k], std::fmax(-he[k] - hi, lo - he[k]));
    }

    zVector n = (v[1] - v[0]).Cross(v[2] - v[0]).Normalized();
    if (n.Dot(v[0]) < 0.0f)
        n = -n;
    {
        const float R = boxRadius(n);
        const float d = n.Dot(v[0]);
        if (d < -R || d > R)
            return 0;
        float lo = 0.0f;
        float hi = 0.0f;
        interval(n, lo, hi);
        consider(n, std::fmax(-R - hi, lo - R));
    }

    for (uint32_t i = 0; i < count; ++i) {
        const zVector edge = v[(i + 1) % count] - v[i];
        for (int k = 0; k < 3; ++k) {
            zVector axis = boxAxes[k].Cross(edge);
            const float length = axis.Length();
            if (!(length > Tiny)) {
                consider(axis, NeverChosen);
                continue;
            }
            axis = axis * (1.0f / length);
            float lo = 0.0f;
            float hi = 0.0f;
            interval(axis, lo, hi);
            if (lo < 0.0f) {
                axis = -axis;
                const float t = lo;
                lo = -hi;
                hi = -t;
            }
            const float R = boxRadius(axis);
            if (hi < -R || lo > R)
                return 0;
            consider(axis, std::fmax(-R - hi, lo - R));
        }
    }

    if (output == nullptr || !output->WantsResult())
        return 1;
    const float depth = -best;
    WriteResult(output, bestDirection.Rotate(box.orientation), depth);
    if (!output->WantsPoints())
        return 1;

    // Sutherland-Hodgman against the six face planes.
    const uint32_t limit = (output->pointCapacity < MaxPolygonVertices ? output->pointCapacity : MaxPolygonVertices) - 1;
    zVector bufferA[MaxPolygonVertices + 2];
    zVector bufferB[MaxPolygonVertices + 2];
    zVector* input = bufferA;
    zVector* result = bufferB;
    uint32_t inputCount = count;
    for (uint32_t i = 0; i < count; ++i)
        input[i] = v[i];
    for (int plane = 0; plane < 6 && inputCount > 0; ++plane) {
        const int axis = plane >> 1;
        const float sign = (plane & 1) ? -1.0f : 1.0f;
        // Inside: sign * x < h on that axis.
        const auto inside = [&](const zVector& p) { return sign * Component(p, axis) < he[axis]; };
        uint32_t resultCount = 0;
        for (uint32_t i = 0; i < inputCount; ++i) {
            if (resultCount >= limit) {
                LogWarning("GCollide::OBBOverlapPolygon") << "OBB/Poly contact overflow.\n";
                break;
            }
            const zVector& current = input[i];
            const zVector& previous = input[(i + inputCount - 1) % inputCount];
            const bool currentIn = inside(current);
            const bool previousIn = inside(previous);
            if (currentIn != previousIn) {
                const float pc = sign * Component(previous, axis) - he[axis];
                const float cc = sign * Component(current, axis) - he[axis];
                result[resultCount++] = previous + (current - previous) * (pc / (pc - cc));
            }
            if (currentIn)
                result[resultCount++] = current;
        }
        zVector* t = input;
        input = result;
        result = t;
        inputCount = resultCount;
    }
    for (uint32_t i = 0; i < inputCount; ++i) {
        output->points[i] = FromBoxFrame(input[i], box);
        output->pointDepths[i] = depth;
    }
    return inputCount;
}

bool GCollide::CollideShapes(GColShape* a, GColShape* b, GColContactBuffer* buffer)
{
    if (a == nullptr || b == nullptr || a->Active == 0 || b->Active == 0)
        return false;
    if (!BoundsOverlap(a->bounds, b->bounds))
        return false;
    if (b->type < a->type) {
        GColShape* t = a;
        a = b;
        b = t;
    }
    switch (a->type) {
    case GColShapeMesh:
        return CollideMeshShape(b, a, buffer);
    case GColShapeSphere:
    case GColShapeCuboid:
        return CollideConvexShapes(a, b, buffer);
    default:
        return false;
    }
}

bool GCollide::CollideConvexShapes(GColShape* a, GColShape* b, GColContactBuffer* buffer)
{
    zVector normal;
    float depth = 0.0f;
    zVector points[ConvexPointCapacity];
    float pointDepths[ConvexPointCapacity];
    GColContactOutput output;
    // Without room for a node the test still decides whether they touch.
    const bool writeNode = buffer != nullptr && buffer->HasNodes() && buffer->ReserveNode();
    if (writeNode) {
        output.normal = &normal;
        output.depth = &depth;
        if (buffer->HasPoints()) {
            output.pointCapacity = ConvexPointCapacity;
            output.points = points;
            output.pointDepths = pointDepths;
        }
    }
    uint32_t result = 0;
    if (a->type == GColShapeSphere && b->type == GColShapeSphere) {
        result = SphereSphere(a->GetPreviousCentre(), a->GetCentre(), a->GetRadius(), b->GetPreviousCentre(), b->GetCentre(),
                              b->GetRadius(), &output);
    } else if (a->type == GColShapeSphere && b->type == GColShapeCuboid) {
        result = SphereCuboid(a->GetPreviousCentre(), a->GetCentre(), a->GetRadius(), ShapeBox(*b, b->previousWorld),
                              ShapeBox(*b, b->world), &output);
    } else if (a->type == GColShapeCuboid && b->type == GColShapeCuboid) {
        result = CuboidCuboid(ShapeBox(*a, a->world), ShapeBox(*b, b->world), &output);
    }
    if (result == 0)
        return false;
    if (!writeNode)
        return true;
    TauContactNode& node = buffer->nodes[buffer->nodeCount++];
    node.shapeA = a;
    node.shapeB = b;
    node.normal = zVector(normal.x, normal.y, normal.z);
    node.depth = depth;
    node.firstPoint = static_cast<uint16_t>(buffer->pointCount);
    node.pointCount = 0;
    if (buffer->HasPoints()) {
        for (uint32_t i = 0; i < result && buffer->ReservePoint(); ++i) {
            TauContactPoint& point = buffer->points[buffer->pointCount++];
            point.position = points[i];
            point.depth = pointDepths[i];
            ++node.pointCount;
        }
    }
    return true;
}

namespace {

// State of one shape-against-mesh test, shared by the batches of triangles.
struct MeshPass {
    GColShape* shape = nullptr;
    GColShape* mesh = nullptr;
    const zGeometry* geometry = nullptr;
    GColContactBuffer* buffer = nullptr;
    bool touched = false;
    // Sphere: centres in the mesh frame.
    zVector previousCentre;
    zVector centre;
    // Cuboid: its current world placement.
    zOBB box;
};

// Appends a box-triangle result to the last node when it is for the same
// shapes with a like normal, else to a new node.
void MergeMeshContacts(MeshPass& pass, const zVector& normal, float depth, const zVector* points, const float* pointDepths,
                       uint32_t count)
{
    GColContactBuffer& buffer = *pass.buffer;
    TauContactNode* node = nullptr;
    if (buffer.nodeCount > 0) {
        TauContactNode& last = buffer.nodes[buffer.nodeCount - 1];
        if (last.shapeA == pass.shape && last.shapeB == pass.mesh && last.normal.Dot(normal) > 0.99f &&
            last.firstPoint + last.pointCount == buffer.pointCount) {
            node = &last;
            node->normal = (node->normal + normal).Normalized();
            node->depth = (node->depth + depth) * 0.5f;
        }
    }
    if (node == nullptr) {
        if (!buffer.ReserveNode())
            return;
        node = &buffer.nodes[buffer.nodeCount++];
        node->shapeA = pass.shape;
        node->shapeB = pass.mesh;
        node->normal = zVector(normal.x, normal.y, normal.z);
        node->depth = depth;
        node->firstPoint = static_cast<uint16_t>(buffer.pointCount);
        node->pointCount = 0;
    }
    for (uint32_t i = 0; i < count; ++i) {
        bool duplicate = false;
        for (uint32_t k = 0; k < node->pointCount && !duplicate; ++k)
            duplicate = VectorDistanceSquared(buffer.points[node->firstPoint + k].position, points[i]) < 0.001f;
        if (duplicate || node->pointCount == 0xFFFFu)
            continue;
        if (!buffer.ReservePoint())
            return;
        TauContactPoint& point = buffer.points[buffer.pointCount++];
        point.position = points[i];
        point.depth = pointDepths[i];
        ++node->pointCount;
    }
}

// One polygon or fan triangle against the box; false stops the pass.
bool BoxAgainstPolygon(MeshPass& pass, const int32_t* corners, uint32_t count)
{
    GColContactBuffer* buffer = pass.buffer;
    const bool wantNode = buffer != nullptr && buffer->HasNodes();
    zVector normal;
    float depth = 0.0f;
    zVector points[GCollide::MeshPointCapacity];
    float pointDepths[GCollide::MeshPointCapacity];
    GColContactOutput output;
    if (wantNode) {
        output.normal = &normal;
        output.depth = &depth;
        if (buffer->HasPoints()) {
            output.pointCapacity = GCollide::MeshPointCapacity;
            output.points = points;
            output.pointDepths = pointDepths;
        }
    }
    const uint32_t k = GCollide::OBBOverlapPolygon(pass.box, pass.mesh->world, pass.geometry->vertices, corners, count, &output);
    if (k == 0)
        return true;
    pass.touched = true;
    if (!wantNode)
        return false;
    // The test's depths are positive; the nodes take the sign of the other pairs.
    depth = -depth;
    if (output.pointDepths != nullptr) {
        for (uint32_t i = 0; i < k; ++i)
            pointDepths[i] = -pointDepths[i];
    }
    if (buffer->HasPoints()) {
        MergeMeshContacts(pass, normal, depth, points, pointDepths, k);
    } else if (buffer->ReserveNode()) {
        TauContactNode& node = buffer->nodes[buffer->nodeCount++];
        node.shapeA = pass.shape;
        node.shapeB = pass.mesh;
        node.normal = normal;
        node.depth = depth;
        node.firstPoint = static_cast<uint16_t>(buffer->pointCount);
        node.pointCount = 0;
    }
    return true;
}

bool SphereAgainstPolygon(MeshPass& pass, const int32_t* corners, uint32_t count)
{
    const zVector* vertices = pass.geometry->vertices;
    const zVector& p0 = vertices[corners[0]];
    const zVector n = (vertices[corners[1]] - p0).Cross(vertices[corners[2]] - p0).Normalized();
    GColContactBuffer* buffer = pass.buffer;
    const bool wantNode = buffer != nullptr && buffer->HasNodes();
    zVector normal;
    float depth = 0.0f;
    zVector point;
    float pointDepth = 0.0f;
    GColContactOutput output;
    if (wantNode) {
        output.normal = &normal;
        output.depth = &depth;
        output.pointCapacity = 1;
        output.points = &point;
        output.pointDepths = &pointDepth;
    }
    if (GCollide::SpherePolygon(pass.previousCentre, pass.centre, pass.shape->GetRadius(), vertices, corners, count, n, -n.Dot(p0),
                                &output) == 0)
        return true;
    pass.touched = true;
    if (!wantNode)
        return false;
    if (!buffer->ReserveNode())
        return true;
    // The test's normal points from the triangle to the sphere and its depth
    // is positive; the node takes the sense and the sign of the other pairs,
    // which the solver reads (normal x depth is unchanged).
    TauContactNode& node = buffer->nodes[buffer->nodeCount++];
    node.shapeA = pass.shape;
    node.shapeB = pass.mesh;
    node.normal = (-normal).Rotate(zMatrix3::FromMatrix4(pass.mesh->world));
    node.depth = -depth;
    node.firstPoint = static_cast<uint16_t>(buffer->pointCount);
    node.pointCount = 0;
    if (buffer->HasPoints() && buffer->ReservePoint()) {
        TauContactPoint& contact = buffer->points[buffer->pointCount++];
        contact.position = point.Transform(pass.mesh->world);
        contact.depth = -pointDepth;
        node.pointCount = 1;
    }
    return true;
}

bool MeshBatch(void* context, const uint32_t* polygons, uint32_t count)
{
    MeshPass& pass = *static_cast<MeshPass*>(context);
    const zGeometry& geometry = *pass.geometry;
    for (uint32_t i = 0; i < count; ++i) {
        if (polygons[i] >= geometry.polygonCount)
            continue;
        const zPolygon& polygon = geometry.polygons[polygons[i]];
        const uint32_t n = polygon.vertexCount;
        if (n < 3 || polygon.indices == nullptr)
            continue;
        bool valid = true;
        for (uint32_t k = 0; k < n && valid; ++k)
            valid = polygon.indices[k] >= 0 && static_cast<uint32_t>(polygon.indices[k]) < geometry.vertexCount;
        if (!valid)
            continue;
        if (pass.shape->type == GColShapeSphere) {
            if (!SphereAgainstPolygon(pass, polygon.indices, n))
                return false;
        } else if (n <= GCollide::MaxPolygonVertices) {
            if (!BoxAgainstPolygon(pass, polygon.indices, n))
                return false;
        } else {
            // Larger polygons than the clipping room: their fan triangles.
            for (uint32_t k = 1; k + 1 < n; ++k) {
                const int32_t fan[3] = {polygon.indices[0], polygon.indices[k], polygon.indices[k + 1]};
                if (!BoxAgainstPolygon(pass, fan, 3))
                    return false;
            }
        }
    }
    return true;
}

}

bool GCollide::CollideMeshShape(GColShape* shape, GColShape* mesh, GColContactBuffer* buffer)
{
    const zGeometry* geometry = GColMesh::GetGeometry(mesh->meshTree);
    const zBIH* tree = GColMesh::GetHierarchy(mesh->meshTree);
    if (geometry == nullptr || tree == nullptr)
        return false;
    return CollideMeshGeometry(shape, mesh, *geometry, *tree, buffer);
}

bool GCollide::CollideMeshGeometry(GColShape* shape, GColShape* mesh, const zGeometry& geometry, const zBIH& tree,
                                   GColContactBuffer* buffer)
{
    if (shape->type != GColShapeSphere && shape->type != GColShapeCuboid)
        return false;
    if (geometry.vertices == nullptr || geometry.polygons == nullptr)
        return false;
    zOBB query;
    query.centre = (shape->bounds.min + shape->bounds.max) * 0.5f;
    query.size = shape->bounds.max - shape->bounds.min;
    query.Transform(mesh->worldInverse);

    MeshPass pass;
    pass.shape = shape;
    pass.mesh = mesh;
    pass.geometry = &geometry;
    pass.buffer = buffer;
    if (shape->type == GColShapeSphere) {
        pass.previousCentre = shape->GetPreviousCentre().Transform(mesh->worldInverse);
        pass.centre = shape->GetCentre().Transform(mesh->worldInverse);
    } else {
        pass.box = ShapeBox(*shape, shape->world);
    }
    uint32_t batch[GatherBatchSize];
    GatherInBoxBatches(tree, query.GetMinMax(), batch, GatherBatchSize, MeshBatch, &pass);
    return pass.touched;
}
