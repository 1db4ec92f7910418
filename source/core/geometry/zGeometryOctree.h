#pragma once

#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"

#include <cstdint>

class Tavrin;
class zFrustum;
class zGeometry;
class zMatrix4;
class zRenderer;

// An oriented box with the box's centre and size and no rotation.
zOBB MinMaxToOBB(const zMinMax& box);

// Where a ray walked through an octree first meets a leaf's polygons.
struct zOctreeRayHit {
    float t = 0.0f;
    // The leaf geometry and the polygon within it.
    zGeometry* leaf = nullptr;
    int32_t polygon = -1;
    // Fan triangle of the polygon: corners 0, k + 1, k + 2.
    int32_t triangle = -1;
    // 1 when the ray met the polygon's back.
    int32_t backSide = 0;
};

// A node of a geometry's spatial split: a box of polygons, two children and,
// at the leaves, a geometry of its own. Every split halves the polygon set
// along the longest axis of the node's box. The renderer marks the nodes that
// the view sees each frame and draws the leaves of the visible ones.
class zGeometryOctree {
public:
    // Nodes deeper than this become leaves whatever they hold.
    static constexpr int32_t MaxDepth = 48;
    // A node of no more than twice this many polygons becomes a leaf.
    static constexpr int32_t MinLeafSize = 512;

    explicit zGeometryOctree(Tavrin* owner) : core(owner) {}
    // Deletes the subtree and the leaf geometry.
    ~zGeometryOctree();
    zGeometryOctree(const zGeometryOctree&) = delete;
    zGeometryOctree& operator=(const zGeometryOctree&) = delete;

    // Splits the listed polygons of the geometry below this node until depth
    // runs out or a node holds no more than threshold polygons. Takes the
    // list (allocated with new[]) and frees it. False when a leaf could not
    // be made.
    bool Build(zGeometry* geometry, int32_t* list, int32_t count, int32_t depth, int32_t threshold);
    // Makes this node a leaf holding a copy of the listed polygons. Frees the
    // list. False, with no leaf, when the copy cannot be allocated.
    bool CreateLeaf(zGeometry* geometry, int32_t* list, int32_t count);
    // The coordinate on the axis below which about half of the listed
    // polygons have a vertex, searched by bisection within the box.
    static float ChooseSplit(int32_t axis, const zGeometry* geometry, const int32_t* list, int32_t count,
                             const zMinMax& box);

    // Sets up every leaf geometry, depth first, reporting each finished node
    // to the set-up progress hook as "Octree Leaf Setup".
    void SetupLeaves();
    // Classifies the nodes against the frustum (their boxes transformed by the
    // matrix when one is given). A node inside marks its whole subtree inside;
    // a node outside is not descended into.
    void MarkVisible(const zFrustum& frustum, const zMatrix4* matrix);
    // The leaf geometry of the next visible node after the cursor (from this
    // node when the cursor is null), depth first, left before right, entering
    // only visible nodes; the cursor is left on that node. Null at the end.
    zGeometry* NextVisibleLeaf(zGeometryOctree*& cursor);
    // The deepest node on the point's side of the split values.
    zGeometryOctree* FindNode(const zVector& point);
    // Draws every leaf's box, transformed by the matrix when one is given.
    void DrawDebug(zRenderer* renderer, const zMatrix4* matrix);
    // The nearest polygon of the leaves that the ray meets, either side, at a
    // distance from 0 to maxDistance (no limit when it is not above 0), in the
    // geometry's space. Only nodes whose boxes the ray crosses are visited.
    bool IntersectRay(const zVector& origin, const zVector& direction, float maxDistance, zOctreeRayHit& hit) const;

    // Leaves made and polygons they reference, by the last build.
    static int32_t GetLeafCount();
    static int32_t GetLeafPolygonCount();

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

private:
    friend class zGeometry;
    static void ResetCounters();
    void ComputeBounds(const zGeometry* geometry, const int32_t* list, int32_t count);
    void DrawDebugAt(zRenderer* renderer, const zMatrix4* matrix, int32_t& drawn) const;
    void IntersectRayAt(const zVector& origin, const zVector& direction, float& limit, zOctreeRayHit& hit) const;
};
