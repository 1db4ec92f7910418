#pragma once

#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"

#include <cstdint>

class zBIH;

// Geometry routines of the shape-pair tests.

// Clips the segment p-q to the box of half extents h centred at the origin;
// an axis whose half extent is not above 0 is left unclipped. Returns 2 with
// the clipped ends in p and q, or 0 when nothing is left.
int ClipSegmentToBox(zVector& p, zVector& q, const zVector& h);

// Each of x, y, z clamped to [-e, +e] of its axis.
zVector ClampToBox(const zVector& v, const zVector& e);

// The unit axis direction nearest to (a.x / b.x, a.y / b.y, a.z / b.z)
// normalised; (0, 1, 0) when a and b are nearly equal.
zVector NearestAxisDirection(const zVector& a, const zVector& b);

// Whether the point, taken as lying in the polygon's plane, is inside one of
// its fan triangles (projected on the two axes other than the dominant axis of
// the normal). Otherwise the point is replaced by the nearest point of the
// polygon's boundary. The polygon's corners are pool[indices[i]].
bool PolygonClosestPoint(zVector& point, const zVector* pool, const int32_t* indices, uint32_t count, const zVector& normal);

// Visits the tree's leaves that may touch the box, second child before first
// as the tree orders them, and hands their indices to the visitor in batches
// of at most capacity, so that no leaf is ever left out. The tree bounds must
// overlap the box strictly. Stops early when the visitor returns false.
// Returns false when it stopped early.
using GColIndexBatchVisitor = bool (*)(void* context, const uint32_t* indices, uint32_t count);
bool GatherInBoxBatches(const zBIH& tree, const zMinMax& box, uint32_t* buffer, uint32_t capacity, GColIndexBatchVisitor visitor,
                        void* context);
