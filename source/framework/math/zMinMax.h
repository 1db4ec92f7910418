#pragma once

#include "framework/math/zMatrix3.h"
#include "framework/math/zVector.h"

class zMatrix4;

// Axis-aligned box.
class zMinMax {
public:
    zMinMax() = default;
    zMinMax(const zVector& min_, const zVector& max_) : min(min_), max(max_) {}

    // Slab test: entry and exit are the ray parameters where it enters and
    // leaves the box; grazing a face still hits.
    bool IntersectRaySlab(const zVector& origin, const zVector& direction, float& entry, float& exit) const;
    // A ray starting inside hits at its origin with normal (0, 0, 0, 1);
    // otherwise the normal is the outward normal of the face hit (or the last
    // face tried on a miss).
    bool IntersectRay(const zVector& origin, const zVector& direction, zVector& hit, zVector* normal = nullptr) const;
    bool IntersectSegment(const zVector& start, const zVector& end, zVector& hit, zVector* normal = nullptr) const;

    zVector min;
    zVector max;
};

// Oriented box: size holds the full edge lengths along the box's own axes.
class zOBB {
public:
    // The box's own orientation is applied first, then the matrix.
    void Transform(const zMatrix4& m);
    zMinMax GetMinMax() const;

    zVector centre;
    zVector size;
    zMatrix3 orientation;
};
