// The queue walk every pass draws through: level of detail, shadow proxy,
// per-geometry far plane and octree leaves.

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/object/zObject.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"

namespace {

zVector Translation(const zMatrix4& m)
{
    return zVector(m.m[3], m.m[7], m.m[11]);
}

} // namespace

void zGL3Renderer::WalkQueue(int32_t mode)
{
    ++statistics[StatQueuePasses];
    const float saved10 = projectionMatrix.m[10];
    const float saved11 = projectionMatrix.m[11];
    const zVector eye = camera != nullptr ? Translation(camera->worldMatrix) : zVector(0.0f, 0.0f, 0.0f);
    const int32_t count = itemStackCount;
    for (int32_t p = 0; p < count; ++p) {
        const zFloatKeyedPair& sorted = sortArray[mode == GL3PassBackToFront ? count - 1 - p : p];
        currentItem = sorted.value;
        const zRenderItem& entry = itemArray[sorted.value];
        if (entry.visibility == 0 || entry.item == nullptr)
            continue;
        zObject* object = entry.item;
        const zVector at = Translation(object->worldMatrix);
        const float dx = at.x - eye.x, dy = at.y - eye.y, dz = at.z - eye.z;
        zGeometry* g = ChooseGL3WalkGeometry(object->geometry, mode, dx * dx + dy * dy + dz * dz);
        if (g == nullptr)
            continue;
        const bool farPlane = g->zFar > 0.0f;
        if (farPlane) {
            zMatrix4 projection = projectionMatrix;
            ApplyGL3FarPlane(projection, g->zFar);
            SetProjectionMatrix(projection);
        }
        if (g->octree != nullptr) {
            zGeometryOctree* cursor = nullptr;
            for (zGeometry* leaf = g->octree->NextVisibleLeaf(cursor); leaf != nullptr;
                 leaf = g->octree->NextVisibleLeaf(cursor))
                DrawItemBatches(object, leaf, mode);
        } else {
            DrawItemBatches(object, g, mode);
        }
        if (farPlane) {
            zMatrix4 projection = projectionMatrix;
            projection.m[10] = saved10;
            projection.m[11] = saved11;
            SetProjectionMatrix(projection);
        }
    }
}
