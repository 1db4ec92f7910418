#pragma once

#include "framework/spatial_structure/zBIH.h"

#include <cstdint>

class zGeometry;

// Projection data of one fan triangle (corner 0, corner k, corner k + 1) of a
// polygon: the inverse of the 2x2 matrix of its edges A = p(k+1) - p0 and
// B = p(k) - p0 projected on the polygon's (u, v) axes.
struct zGeometryBIHTriangle {
    // {A[u]/det, -A[v]/det, B[v]/det, -B[u]/det}.
    float inverse[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    // The projected edges are parallel: no inverse, never hit.
    uint8_t degenerate = 1;
};

// What the hierarchy keeps of one polygon: its plane, its projection axes and
// its fan triangles.
struct zGeometryBIHPolygon {
    // Unit plane normal (zero for a polygon that cannot be hit); points x of
    // the plane have normal . x = distance.
    zVector normal{0.0f, 0.0f, 0.0f};
    // Corner 0, where the plane and the fan triangles start.
    zVector origin{0.0f, 0.0f, 0.0f};
    float distance = 0.0f;
    // The two axes other than the normal's dominant one.
    uint8_t u = 1;
    uint8_t v = 2;
    // Fan triangles, corner count - 2; 0 for a polygon that cannot be hit.
    uint16_t triangleCount = 0;
    uint32_t firstTriangle = 0;
};

// The tree again, laid out for ray queries: nodes in one array, children
// side by side, and the fan triangles of each leaf in groups of
// zGeometryBIHLanes::Width with their planes, in leaf and fan order. A group
// is tested at once with SSE2, lane by lane in the scalar build: the same
// bits either way.
struct zGeometryBIHRayNode {
    // Inner: index of the left child (the right one follows it) << 2 | split
    // axis. Leaf: index of its first lane group << 2 | 3.
    uint32_t link = 3;
    // Leaf: number of lanes (fan triangles that can be hit).
    uint32_t lanes = 0;
    // Inner: the node's clip planes. Leaf: lane 0 holds the bits of the
    // triangle count the leaf adds to the primitives tested.
    float clip[2] = {0.0f, 0.0f};
};

struct alignas(16) zGeometryBIHLanes {
    static constexpr uint32_t Width = 4;
    // The polygon's unit normal and corner 0, per axis.
    float normal[3][Width];
    float corner[3][Width];
    // The fan triangle's projection inverse (zGeometryBIHTriangle::inverse).
    float inverse[4][Width];
    uint32_t polygon[Width];
    // Fan triangle index << 2 | dominant axis of the normal.
    uint32_t fan[Width];
};

// Bounding interval hierarchy over the polygons of one geometry, one volume
// per polygon, answering where a ray first meets them and which polygons a box
// touches. The geometry is not owned; it must outlive the tree and keep its
// mesh (the build sets its keep bit).
class zGeometryBIH : public zBIH {
public:
    // Weights within this of a triangle's edges still count as inside.
    static constexpr float InsideTolerance = 1e-6f;

    zGeometryBIH() = default;
    ~zGeometryBIH() override;

    void IntersectLeaf(const zBIHNode& leaf, float tNear, float tFar, zBIHQuery& query) const override;
    // Frees the polygon records, forgets the geometry, then the tree.
    void Free() override;

    // One volume per polygon. Polygons with fewer than three corners, corners
    // naming no vertex or no plane are kept in the tree but never hit; fan
    // triangles without area are skipped. Replaces an earlier build; false,
    // with nothing built, on failure.
    bool BuildFromGeometry(zGeometry* geometry);
    // Clears the primitive fields and runs the traversal; the caller sets the
    // nearest-hit mode. A maximum distance of 0 or less is unlimited. Walks
    // the layout made for rays, which gives what IntersectRay over the node
    // tree and IntersectLeaf give, bit for bit (hit, t, polygon, fan
    // triangle, weights, back side, visits, primitives tested), faster;
    // without that layout (its allocation failed) it is IntersectRay.
    void TraceRay(zBIHQuery& query, const zVector& origin, const zVector& direction, float maximumDistance) const;
    // The leaf test for one polygon, front faces only, t >= 0 and within the
    // maximum distance when that is above 0; nothing is recorded.
    bool IntersectPolygon(uint32_t polygon, const zVector& origin, const zVector& direction, float maximumDistance) const;
    // Whether a point of the polygon's plane lies in one of its fan triangles
    // (in fan order, the first that holds it); triangle gets k - 1 and weights
    // those of corner k, corner k + 1 and corner 0.
    bool LocateInPolygon(uint32_t polygon, const zVector& point, int32_t* triangle = nullptr, float* weights = nullptr) const;

    // Calls visit(polygon) for every polygon that can be hit whose box of
    // corners overlaps the box (touching counts), each once, until visit
    // returns false.
    template <typename Visitor>
    void VisitPolygonsInBox(const zMinMax& box, Visitor&& visit) const;
    // The polygons VisitPolygonsInBox finds: writes the first capacity of them
    // to out and returns how many there are.
    uint32_t GatherPolygonsInBox(const zMinMax& box, uint32_t* out, uint32_t capacity) const;
    // Whether the polygon's box of corners overlaps the box.
    bool PolygonOverlapsBox(uint32_t polygon, const zMinMax& box) const;

    const zGeometry* GetGeometry() const { return geometry; }
    uint32_t GetPolygonCount() const { return polygonCount; }
    // Null until built.
    const zGeometryBIHPolygon* GetPolygons() const { return polygons; }
    const zGeometryBIHTriangle* GetTriangles() const { return triangles; }
    // Whether TraceRay has its ray layout.
    bool HasRayLayout() const { return rayNodes != nullptr; }

private:
    // Frees what this class adds.
    void ReleasePolygons();
    // Makes the ray layout from the built tree and the polygon records; false
    // (and none) when memory runs out.
    bool BuildRayLayout();

    zGeometry* geometry = nullptr;
    uint32_t polygonCount = 0;
    zGeometryBIHPolygon* polygons = nullptr;
    zGeometryBIHTriangle* triangles = nullptr;
    zGeometryBIHRayNode* rayNodes = nullptr;
    zGeometryBIHLanes* rayLanes = nullptr;
};

template <typename Visitor>
void zGeometryBIH::VisitPolygonsInBox(const zMinMax& box, Visitor&& visit) const
{
    const zBIHNode* root = GetRoot();
    if (root == nullptr || polygons == nullptr)
        return;
    const zMinMax& all = GetBounds();
    if (box.min.x > all.max.x || box.max.x < all.min.x || box.min.y > all.max.y || box.max.y < all.min.y
        || box.min.z > all.max.z || box.max.z < all.min.z)
        return;
    // The tree is at most MaxDepth deep and each level leaves at most one
    // sibling waiting.
    const zBIHNode* stack[MaxDepth + 2];
    int32_t depth = 0;
    stack[depth++] = root;
    while (depth > 0) {
        const zBIHNode* node = stack[--depth];
        if (node->IsLeaf()) {
            for (uint32_t i = 0; i < node->count; ++i) {
                const uint32_t polygon = node->indices[i];
                if (polygons[polygon].triangleCount != 0 && PolygonOverlapsBox(polygon, box) && !visit(polygon))
                    return;
            }
            continue;
        }
        const float lo = (&box.min.x)[node->type];
        const float hi = (&box.max.x)[node->type];
        if (hi >= node->rightClip)
            stack[depth++] = &node->children[1];
        if (lo <= node->leftClip)
            stack[depth++] = &node->children[0];
    }
}
