#include "core/geometry/zGeometryOctree.h"

#include "core/geometry/zGeometry.h"
#include "core/zad/TavrinGlobals.h"
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

void zGeometryOctree::SetupLeaves()
{
    if (leaf != nullptr)
        leaf->Setup();
    if (left != nullptr)
        left->SetupLeaves();
    if (right != nullptr)
        right->SetupLeaves();
    if (GlobalSetupProgressHook != nullptr)
        GlobalSetupProgressHook("Octree Leaf Setup");
}
