#include "core/geometry/zGeometryOctree.h"

#include "core/geometry/zGeometry.h"
#include "framework/math/zFrustum.h"

zGeometryOctree::~zGeometryOctree()
{
    delete left;
    delete right;
    delete leaf;
}

void zGeometryOctree::MarkVisible(const zFrustum& frustum, const zMatrix4* matrix)
{
    if (parent != nullptr && parent->visible == FrustumInside)
        visible = FrustumInside;
    else
        visible = frustum.ClassifyMinMax(bounds, matrix);
    if (visible == FrustumOutside)
        return;
    if (left != nullptr)
        left->MarkVisible(frustum, matrix);
    if (right != nullptr)
        right->MarkVisible(frustum, matrix);
}
