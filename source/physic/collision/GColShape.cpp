#include "physic/collision/GColShape.h"

#include "physic/collision/GColItem.h"

zVector GColShape::GetScaledSize() const
{
    if (owner == nullptr)
        return dimensions;
    return {dimensions.x * owner->scale.x, dimensions.y * owner->scale.y, dimensions.z * owner->scale.z};
}

void GColShape::Place(const zVector* localPosition, const zVector* angles)
{
    position = localPosition != nullptr ? zVector(localPosition->x, localPosition->y, localPosition->z) : zVector(0.0f, 0.0f, 0.0f);
    orientation = angles != nullptr ? zMatrix3::FromEuler(angles->x, angles->y, angles->z, RotationOrderYXZ) : zMatrix3();
}

bool GColShape::AsCuboid(const zVector* size, const zVector* localPosition, const zVector* angles)
{
    type = GColShapeCuboid;
    Place(localPosition, angles);
    dimensions = size != nullptr ? zVector(size->x, size->y, size->z) : zVector(1.0f, 1.0f, 1.0f);
    return true;
}

bool GColShape::AsSphere(float radius, const zVector* localPosition, const zVector* angles)
{
    type = GColShapeSphere;
    Place(localPosition, angles);
    dimensions = zVector(radius, radius, radius);
    return true;
}
