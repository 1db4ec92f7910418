#pragma once

#include "core/item/zItem.h"

// The viewing item. The renderer takes its view matrix from the inverse world
// matrix and asks the item operations for the projection and the frustum; the
// camera's own fields (projection, near and far, viewport) and their ZML tag
// come with the camera.
class zCamera : public zItem {
public:
    explicit zCamera(Tavrin* owner) : zItem(owner) {}
};
