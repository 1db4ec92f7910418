#pragma once

#include "framework/math/zMinMax.h"

#include <cstdint>

class Tavrin;
class zFrustum;
class zGeometry;
class zMatrix4;

// A node of a geometry's spatial split: a box of polygons, two children and,
// at the leaves, a geometry of its own. The renderer marks the nodes that the
// view sees each frame. Building the tree comes with the geometry processing.
class zGeometryOctree {
public:
    explicit zGeometryOctree(Tavrin* owner) : core(owner) {}
    // Deletes the subtree and the leaf geometry.
    ~zGeometryOctree();
    zGeometryOctree(const zGeometryOctree&) = delete;
    zGeometryOctree& operator=(const zGeometryOctree&) = delete;

    // Classifies the nodes against the frustum (their boxes transformed by the
    // matrix when one is given). A node inside marks its whole subtree inside;
    // a node outside is not descended into.
    void MarkVisible(const zFrustum& frustum, const zMatrix4* matrix);
    // Sets up every leaf geometry, depth first, reporting each finished node
    // to the set-up progress hook as "Octree Leaf Setup".
    void SetupLeaves();

    Tavrin* core;
    // Frustum class of the last culling: 0 outside, 1 inside, 2 clipped.
    int32_t visible = 0;
    zMinMax bounds;
    zGeometryOctree* parent = nullptr;
    zGeometryOctree* left = nullptr;
    zGeometryOctree* right = nullptr;
    zGeometry* leaf = nullptr;
    int32_t splitAxis = 0;
    float splitValue = 0.0f;
};
