#pragma once

#include "core/item/zItem.h"

class zGeometry;

// The item that shows a geometry. The renderer's item stack reads the item
// part and the geometry; bones, skinning, bounds and the ZML tag come with the
// mesh objects.
class zObject : public zItem {
public:
    explicit zObject(Tavrin* owner) : zItem(owner) {}

    // Shown geometry, owned by the resource cache.
    zGeometry* geometry = nullptr;
};
