#pragma once

#include <cstdint>

class zBIH;
class zGeometry;
class zGeometryBIH;
class zMinMax;
class zVector;

// What the collision world needs of a mesh tree, in one place.
namespace GColMesh {
// The geometry the tree was built over; null without a tree.
const zGeometry* GetGeometry(const zGeometryBIH* tree);
// The tree as a plain hierarchy; null without a tree.
const zBIH* GetHierarchy(const zGeometryBIH* tree);
// The nearest polygon the ray meets, at origin + direction x t, in the
// tree's frame; false when none.
bool TraceRay(const zGeometryBIH* tree, const zVector& origin, const zVector& direction, int32_t& polygon, float& t);
// The plane normal the tree keeps for the polygon; false when it has none.
bool GetPlaneNormal(const zGeometryBIH* tree, uint32_t polygon, zVector& normal);
}
