#pragma once

#include <cstdint>

class zGeometry;
class zGeometryBIH;
class zMinMax;
class zVector;

// What the collision world needs of a mesh tree, in one place.
namespace GColMesh {
// The geometry the tree was built over; null without a tree.
const zGeometry* GetGeometry(const zGeometryBIH* tree);
}
