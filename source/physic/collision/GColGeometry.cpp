#include "physic/collision/GColGeometry.h"

#include "framework/math/zColor.h"
#include "framework/spatial_structure/zBIH.h"

#include <cmath>

namespace {

float Component(const zVector& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

void SetComponent(zVector& v, int axis, float value)
{
    if (axis == 0)
        v.x = value;
    else if (axis == 1)
        v.y = value;
    else
        v.z = value;
}

}

int ClipSegmentToBox(zVector& p, zVector& q, const zVector& h)
{
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = Component(h, axis);
        if (!(extent > 0.0f))
            continue;
        if (Component(p, axis) > Component(q, axis)) {
            const zVector t = p;
            p = q;
            q = t;
        }
        const float lo = Component(p, axis);
        const float hi = Component(q, axis);
        if (hi < -extent || lo > extent)
            return 0;
        if (hi != lo) {
            const zVector d = q - p;
            const zVector start = p;
            if (hi > extent)
                q = start + d * ((extent - lo) / (hi - lo));
            if (lo < -extent)
                p = start + d * ((-extent - lo) / (hi - lo));
        }
    }
    return 2;
}

zVector ClampToBox(const zVector& v, const zVector& e)
{
    return {std::fmin(std::fmax(v.x, -e.x), e.x), std::fmin(std::fmax(v.y, -e.y), e.y), std::fmin(std::fmax(v.z, -e.z), e.z)};
}

zVector NearestAxisDirection(const zVector& a, const zVector& b)
{
    if (!(VectorDistanceSquared(a, b) > 1e-6f))
        return {0.0f, 1.0f, 0.0f};
    const zVector d = zVector(a.x / b.x, a.y / b.y, a.z / b.z).Normalized();
    const zVector axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    int best = 0;
    for (int i = 1; i < 6; ++i) {
        if (d.Dot(axes[i]) > d.Dot(axes[best]))
            best = i;
    }
    return axes[best];
}

bool PolygonClosestPoint(zVector& point, const zVector* pool, const int32_t* indices, uint32_t count, const zVector& normal)
{
    if (count == 0)
        return false;
    const float ax = std::fabs(normal.x);
    const float ay = std::fabs(normal.y);
    const float az = std::fabs(normal.z);
    const int dominant = (ax >= ay && ax >= az) ? 0 : (ay >= az ? 1 : 2);
    const int u = (dominant + 1) % 3;
    const int v = (dominant + 2) % 3;
    const zVector& p0 = pool[indices[0]];
    const float m = Component(point, u) - Component(p0, u);
    const float o = Component(point, v) - Component(p0, v);
    for (uint32_t k = 1; k + 1 < count; ++k) {
        const zVector a = pool[indices[k + 1]] - p0;
        const zVector b = pool[indices[k]] - p0;
        const float det = Component(a, u) * Component(b, v) - Component(b, u) * Component(a, v);
        if (det == 0.0f)
            continue;
        const float wa = (-Component(a, v) / det) * m + (Component(a, u) / det) * o;
        const float wb = (Component(b, v) / det) * m + (-Component(b, u) / det) * o;
        if (wa >= -1e-6f && wb >= -1e-6f && 1.0f - wa - wb >= -1e-6f)
            return true;
    }
    zVector best = point;
    float bestDistance = -1.0f;
    for (uint32_t i = 0; i < count; ++i) {
        const zVector& a = pool[indices[i]];
        const zVector& b = pool[indices[(i + 1) % count]];
        zVector candidate;
        ClosestPointOnSegment(a, b, point, &candidate);
        const float distance = VectorDistanceSquared(candidate, point);
        if (bestDistance < 0.0f || distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    point = best;
    return false;
}

namespace {

struct GatherState {
    uint32_t* buffer;
    uint32_t capacity;
    uint32_t count;
    GColIndexBatchVisitor visitor;
    void* context;
};

bool Flush(GatherState& state)
{
    if (state.count == 0)
        return true;
    const uint32_t n = state.count;
    state.count = 0;
    return state.visitor(state.context, state.buffer, n);
}

bool GatherNode(const zBIHNode& node, const zMinMax& box, GatherState& state)
{
    if (node.IsLeaf()) {
        for (uint32_t i = 0; i < node.count; ++i) {
            if (state.count == state.capacity && !Flush(state))
                return false;
            state.buffer[state.count++] = node.indices[i];
        }
        return true;
    }
    if (node.children == nullptr)
        return true;
    const int axis = node.type;
    if (node.rightClip < Component(box.max, axis)) {
        zMinMax clipped = box;
        if (node.rightClip > Component(clipped.min, axis))
            SetComponent(clipped.min, axis, node.rightClip);
        if (!GatherNode(node.children[1], clipped, state))
            return false;
    }
    if (node.leftClip > Component(box.min, axis)) {
        zMinMax clipped = box;
        if (node.leftClip < Component(clipped.max, axis))
            SetComponent(clipped.max, axis, node.leftClip);
        if (!GatherNode(node.children[0], clipped, state))
            return false;
    }
    return true;
}

}

bool GatherInBoxBatches(const zBIH& tree, const zMinMax& box, uint32_t* buffer, uint32_t capacity, GColIndexBatchVisitor visitor,
                        void* context)
{
    const zBIHNode* root = tree.GetRoot();
    if (root == nullptr || capacity == 0)
        return true;
    const zMinMax& bounds = tree.GetBounds();
    if (!(bounds.min.x < box.max.x && bounds.max.x > box.min.x && bounds.min.y < box.max.y && bounds.max.y > box.min.y &&
          bounds.min.z < box.max.z && bounds.max.z > box.min.z))
        return true;
    GatherState state{buffer, capacity, 0, visitor, context};
    if (!GatherNode(*root, box, state))
        return false;
    return Flush(state);
}
