#pragma once

#include "core/resource/zResource.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"

#include <cstdint>

class zGeometryOctree;

// One polygon of a geometry: its corner count, material index and first entry
// in the geometry's binding indices.
struct zPolygon {
    uint16_t vertexCount = 0;
    uint16_t material = 0;
    int32_t* indices = nullptr;
};

// The engine's mesh resource. Only the fields that the renderer's item stack
// reads are here; vertices, polygons, materials, skins and their readers come
// with the geometry model.
class zGeometry : public zResource {
public:
    explicit zGeometry(Tavrin* owner, const char* name = nullptr) : zResource(owner, name) {}

    // Mean of the vertex positions, set by the set-up.
    zVector centre;
    // Geometry used for shadows; null.
    zGeometry* shadowProxy = nullptr;
    // Box of the vertices, min and max (0, 0, 0, 1) until the set-up.
    zMinMax bounds;
    // Spatial split of a large mesh; owned by the geometry.
    zGeometryOctree* octree = nullptr;
    // The renderer's record, set by its SetupGeometry.
    void* rendererData = nullptr;
};
