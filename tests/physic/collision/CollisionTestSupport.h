#pragma once

#include "core/geometry/zGeometry.h"
#include "framework/spatial_structure/zBIH.h"
#include "physic/collision/GCollide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

inline void ExpectNear(const zVector& actual, const zVector& expected, float tolerance = 1e-4f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// Whether every expected point appears among the actual ones (any order) and
// the counts agree.
inline bool SamePointSet(const std::vector<zVector>& actual, const std::vector<zVector>& expected, float tolerance = 1e-4f)
{
    if (actual.size() != expected.size())
        return false;
    for (const zVector& e : expected) {
        const bool found = std::any_of(actual.begin(), actual.end(), [&](const zVector& a) {
            return std::fabs(a.x - e.x) <= tolerance && std::fabs(a.y - e.y) <= tolerance && std::fabs(a.z - e.z) <= tolerance;
        });
        if (!found)
            return false;
    }
    return true;
}

inline zOBB MakeBox(const zVector& centre, const zVector& size, const zMatrix3& orientation = zMatrix3())
{
    zOBB box;
    box.centre = centre;
    box.size = size;
    box.orientation = orientation;
    return box;
}

// Normal, depth and up to 32 points of one test.
struct TestOutput {
    zVector normal;
    float depth = 0.0f;
    zVector points[32];
    float pointDepths[32] = {};
    GColContactOutput output;

    explicit TestOutput(uint32_t capacity = 8)
    {
        output.normal = &normal;
        output.depth = &depth;
        output.pointCapacity = capacity;
        output.points = points;
        output.pointDepths = pointDepths;
    }
    std::vector<zVector> Points(uint32_t n) const { return std::vector<zVector>(points, points + n); }
};

// A hierarchy over the polygons of a geometry, for the mesh tests; rays are
// not its concern.
class PolygonHierarchy : public zBIH {
public:
    void IntersectLeaf(const zBIHNode&, float, float, zBIHQuery&) const override {}

    bool BuildOver(const zGeometry& g)
    {
        std::vector<zMinMax> volumes(g.polygonCount);
        for (uint32_t p = 0; p < g.polygonCount; ++p) {
            const zPolygon& polygon = g.polygons[p];
            zMinMax& box = volumes[p];
            box.min = box.max = g.vertices[polygon.indices[0]];
            for (uint32_t k = 1; k < polygon.vertexCount; ++k) {
                const zVector& v = g.vertices[polygon.indices[k]];
                box.min = zVector(std::min(box.min.x, v.x), std::min(box.min.y, v.y), std::min(box.min.z, v.z));
                box.max = zVector(std::max(box.max.x, v.x), std::max(box.max.y, v.y), std::max(box.max.z, v.z));
            }
        }
        return Build(int32_t(volumes.size()), volumes.data());
    }
};

// A geometry built from vertices and polygons, with its hierarchy.
struct TestMesh {
    zGeometry geometry{nullptr, "TestMesh"};
    PolygonHierarchy tree;

    TestMesh(const std::vector<zVector>& vertices, const std::vector<std::vector<int32_t>>& polygons)
    {
        geometry.vertexCount = uint32_t(vertices.size());
        geometry.vertices = new zVector[vertices.size()];
        std::copy(vertices.begin(), vertices.end(), geometry.vertices);
        uint32_t bindings = 0;
        for (const auto& p : polygons)
            bindings += uint32_t(p.size());
        geometry.bindingCount = bindings;
        geometry.bindingIndices = new int32_t[bindings > 0 ? bindings : 1];
        geometry.polygonCount = uint32_t(polygons.size());
        geometry.polygons = new zPolygon[polygons.size()];
        uint32_t used = 0;
        for (size_t p = 0; p < polygons.size(); ++p) {
            geometry.polygons[p].vertexCount = uint16_t(polygons[p].size());
            geometry.polygons[p].indices = geometry.bindingIndices + used;
            for (int32_t c : polygons[p])
                geometry.bindingIndices[used++] = c;
        }
        EXPECT_TRUE(tree.BuildOver(geometry));
    }
};

// A square floor at height y from -half to +half on x and z, facing up, as
// two triangles split along the diagonal (-half, -half)-(half, half).
inline std::unique_ptr<TestMesh> MakeFloor(float half, float y = 0.0f)
{
    return std::make_unique<TestMesh>(
        std::vector<zVector>{{-half, y, -half}, {-half, y, half}, {half, y, half}, {half, y, -half}},
        std::vector<std::vector<int32_t>>{{0, 1, 2}, {0, 2, 3}});
}

// Contact buffers of the sizes the rigid-body world uses.
struct ContactBuffers {
    std::vector<TauContactNode> nodes;
    std::vector<TauContactPoint> points;
    GColContactBuffer buffer;

    explicit ContactBuffers(uint32_t nodeCapacity = 2048, uint32_t pointCapacity = 4096) : nodes(nodeCapacity), points(pointCapacity)
    {
        buffer.nodes = nodes.data();
        buffer.nodeCapacity = nodeCapacity;
        buffer.points = pointCapacity > 0 ? points.data() : nullptr;
        buffer.pointCapacity = pointCapacity;
    }
    std::vector<zVector> NodePoints(uint32_t node) const
    {
        std::vector<zVector> out;
        for (uint32_t k = 0; k < nodes[node].pointCount; ++k)
            out.push_back(points[nodes[node].firstPoint + k].position);
        return out;
    }
};
