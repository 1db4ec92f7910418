#include "core/geometry/zGeometryOctree.h"

#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zColor.h"
#include "framework/math/zFrustum.h"
#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

namespace {

int32_t LeafCount = 0;
int32_t LeafPolygonCount = 0;

// Per-node colours of the debug boxes.
constexpr uint32_t DebugColours[4] = {0xffb40000u, 0xd420a500u, 0x3d62d300u, 0x47c8ff00u};

float Component(const zVector& v, int32_t axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// The lowest coordinate on the axis of the polygon's corners; a polygon
// without corners has none below any value.
float LowestOnAxis(const zGeometry* geometry, int32_t polygon, int32_t axis)
{
    const zPolygon& p = geometry->polygons[polygon];
    float lowest = INFINITY;
    for (uint32_t c = 0; c < p.vertexCount; ++c)
        lowest = std::min(lowest, Component(geometry->vertices[p.indices[c]], axis));
    return lowest;
}

// Ray against triangle a, b, c, either side; t within [0, limit].
bool IntersectTriangle(const zVector& origin, const zVector& direction, const zVector& a, const zVector& b,
                       const zVector& c, float limit, float& t, bool& back)
{
    constexpr float Tolerance = 1e-6f;
    const zVector e1 = b - a;
    const zVector e2 = c - a;
    const zVector p = direction.Cross(e2);
    const float det = e1.Dot(p);
    if (std::fabs(det) < 1e-12f)
        return false;
    const float inverse = 1.0f / det;
    const zVector s = origin - a;
    const float u = s.Dot(p) * inverse;
    if (u < -Tolerance || u > 1.0f + Tolerance)
        return false;
    const zVector q = s.Cross(e1);
    const float v = direction.Dot(q) * inverse;
    if (v < -Tolerance || u + v > 1.0f + Tolerance)
        return false;
    const float hit = e2.Dot(q) * inverse;
    // Written so that a NaN (from a NaN ray) is no hit.
    if (!(hit >= 0.0f && hit <= limit))
        return false;
    t = hit;
    back = e1.Cross(e2).Dot(direction) > 0.0f;
    return true;
}

// The bisection for the median by polygon count over [lo, hi]. A polygon has
// a vertex below a value exactly when its lowest one is: the sorted lowest
// values count each trial in a binary search.
float SplitFromSortedLowest(const float* lowest, int32_t count, float lo, float hi)
{
    float best = (lo + hi) * 0.5f;
    const int32_t half = count / 2;
    int32_t bestDifference = count;
    while (hi - lo > 0.001f) {
        const float mid = (lo + hi) * 0.5f;
        // Far from the origin neighbouring floats lie further apart than the
        // tolerance: the interval cannot shrink any more.
        if (!(mid > lo && mid < hi))
            break;
        const int32_t below = int32_t(std::lower_bound(lowest, lowest + count, mid) - lowest);
        const int32_t difference = std::abs(half - below);
        if (difference < bestDifference) {
            bestDifference = difference;
            best = mid;
        }
        if (below == half)
            break;
        if (below >= half)
            hi = mid;
        else
            lo = mid;
    }
    return best;
}

} // namespace

zOBB MinMaxToOBB(const zMinMax& box)
{
    zOBB obb;
    obb.centre = zVector((box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f,
                         (box.min.z + box.max.z) * 0.5f);
    obb.size = zVector(box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z);
    obb.orientation = IdentityMatrix3;
    return obb;
}

zGeometryOctree::~zGeometryOctree()
{
    delete left;
    delete right;
    delete leaf;
}

int32_t zGeometryOctree::GetLeafCount()
{
    return LeafCount;
}

int32_t zGeometryOctree::GetLeafPolygonCount()
{
    return LeafPolygonCount;
}

void zGeometryOctree::ResetCounters()
{
    LeafCount = 0;
    LeafPolygonCount = 0;
}

bool zGeometry::CreateOctree(int32_t leafSize)
{
    zModuleTagScope module(1);
    // Everything below reads corners through the vertex array: refuse a mesh
    // whose corners name vertices it does not have.
    if (polygonCount == 0 || polygons == nullptr || vertexCount == 0 || vertices == nullptr) {
        LogWarning("zGeometry::CreateOctree") << "Geometry '" << id << "' has no polygons to split.\n";
        return false;
    }
    uint64_t corners = 0;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        if (polygon.vertexCount > 0 && polygon.indices == nullptr) {
            LogError("zGeometry::CreateOctree") << "Geometry '" << id << "' has a polygon without corner indices.\n";
            return false;
        }
        for (uint32_t c = 0; c < polygon.vertexCount; ++c) {
            if (polygon.indices[c] < 0 || uint32_t(polygon.indices[c]) >= vertexCount) {
                LogError("zGeometry::CreateOctree")
                    << "Geometry '" << id << "' has a polygon corner beyond its vertices.\n";
                return false;
            }
        }
        corners += polygon.vertexCount;
    }
    if (corners > bindingCount &&
        (vertexNormals != nullptr || vertexTangents != nullptr || vertexColours != nullptr || uvSetCount > 0)) {
        LogError("zGeometry::CreateOctree") << "Geometry '" << id << "' has fewer corner attributes than corners.\n";
        return false;
    }

    ComputeMinMax(bounds);
    delete octree;
    octree = nullptr;
    auto* root = new (std::nothrow) zGeometryOctree(core);
    if (root == nullptr)
        return false;
    auto* list = new (std::nothrow) int32_t[polygonCount];
    // Made afresh: the leaves read the corner attributes through it.
    delete[] polygonFirst;
    polygonFirst = nullptr;
    if (list == nullptr || !BuildPolygonIndex()) {
        delete[] list;
        delete root;
        LogError("zGeometry::CreateOctree") << "Octree failed to allocate polygon list.\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p)
        list[p] = int32_t(p);
    zGeometryOctree::ResetCounters();

    const int32_t threshold =
        int32_t(std::min<int64_t>(2 * int64_t(std::max(leafSize, zGeometryOctree::MinLeafSize)), INT32_MAX));
    if (!root->Build(this, list, int32_t(polygonCount), zGeometryOctree::MaxDepth, threshold)) {
        // A tree with holes would lose polygons once the mesh is freed.
        delete root;
        return false;
    }
    octree = root;
    *GlobalLogStream << "Octree summary: " << zGeometryOctree::GetLeafCount() << " leaves referencing "
                     << zGeometryOctree::GetLeafPolygonCount() << " polygon(s).\n";

    // The leaves hold what the renderer draws. Positions, polygons and their
    // normals stay: the ray queries and collision shapes work on the parent.
    keepMask = KeepMaterials | KeepMesh | KeepOctree | KeepProxies;
    if (GlobalToolMode == 0) {
        Free();
        delete[] vertexNormals;
        delete[] vertexTangents;
        delete[] polygonTangents;
        vertexNormals = vertexTangents = polygonTangents = nullptr;
    }
    return true;
}

void zGeometryOctree::ComputeBounds(const zGeometry* geometry, const int32_t* list, int32_t count)
{
    // Polygons without corners add nothing; none at all leaves the start box.
    bool first = true;
    bounds.min = zVector(0.0f, 0.0f, 0.0f);
    bounds.max = zVector(0.0f, 0.0f, 0.0f);
    for (int32_t i = 0; i < count; ++i) {
        const zPolygon& polygon = geometry->polygons[list[i]];
        for (uint32_t c = 0; c < polygon.vertexCount; ++c) {
            const zVector& v = geometry->vertices[polygon.indices[c]];
            if (first) {
                bounds.min = zVector(v.x, v.y, v.z);
                bounds.max = bounds.min;
                first = false;
                continue;
            }
            bounds.min = zVector(std::min(bounds.min.x, v.x), std::min(bounds.min.y, v.y), std::min(bounds.min.z, v.z));
            bounds.max = zVector(std::max(bounds.max.x, v.x), std::max(bounds.max.y, v.y), std::max(bounds.max.z, v.z));
        }
    }
}

bool zGeometryOctree::Build(zGeometry* geometry, int32_t* list, int32_t count, int32_t depth, int32_t threshold)
{
    // The right side is walked in this loop, the left side by recursion, so
    // the stack grows with the left depth only.
    for (zGeometryOctree* node = this; node != nullptr; --depth) {
        node->ComputeBounds(geometry, list, count);
        if (depth <= 0 || count <= threshold) {
            *GlobalLogStream << "Octree node depth " << (MaxDepth - depth) << ", containing " << count
                             << " polygon(s).\n";
            return node->CreateLeaf(geometry, list, count);
        }
        const zVector extent = node->bounds.max - node->bounds.min;
        if (extent.x > extent.y && extent.x > extent.z)
            node->splitAxis = 0;
        else if (extent.y > extent.x && extent.y > extent.z)
            node->splitAxis = 1;
        else
            node->splitAxis = 2;
        std::unique_ptr<int32_t[]> input(list);
        // Each polygon's lowest coordinate on the axis decides both the split
        // and its side.
        std::unique_ptr<float[]> lowest(new (std::nothrow) float[std::max(count, 1)]);
        std::unique_ptr<float[]> sorted(new (std::nothrow) float[std::max(count, 1)]);
        if (lowest == nullptr || sorted == nullptr) {
            LogError("zGeometryOctree::Build") << "Failed to allocate polygon lists.\n";
            return false;
        }
        for (int32_t i = 0; i < count; ++i)
            lowest[i] = LowestOnAxis(geometry, input[i], node->splitAxis);
        std::copy(lowest.get(), lowest.get() + count, sorted.get());
        std::sort(sorted.get(), sorted.get() + count);
        node->splitValue = SplitFromSortedLowest(sorted.get(), count, Component(node->bounds.min, node->splitAxis),
                                                 Component(node->bounds.max, node->splitAxis));
        sorted.reset();

        int32_t leftCount = 0;
        for (int32_t i = 0; i < count; ++i)
            leftCount += lowest[i] < node->splitValue ? 1 : 0;
        std::unique_ptr<int32_t[]> leftList(new (std::nothrow) int32_t[std::max(leftCount, 1)]);
        std::unique_ptr<int32_t[]> rightList(new (std::nothrow) int32_t[std::max(count - leftCount, 1)]);
        if (leftList == nullptr || rightList == nullptr) {
            LogError("zGeometryOctree::Build") << "Failed to allocate polygon lists.\n";
            return false;
        }
        int32_t l = 0;
        int32_t r = 0;
        for (int32_t i = 0; i < count; ++i) {
            if (lowest[i] < node->splitValue)
                leftList[l++] = input[i];
            else
                rightList[r++] = input[i];
        }
        input.reset();
        lowest.reset();

        if (l > 0) {
            node->left = new (std::nothrow) zGeometryOctree(core);
            if (node->left == nullptr)
                return false;
            node->left->parent = node;
            if (!node->left->Build(geometry, leftList.release(), l, depth - 1, threshold))
                return false;
        }
        if (r == 0)
            return true;
        node->right = new (std::nothrow) zGeometryOctree(core);
        if (node->right == nullptr)
            return false;
        node->right->parent = node;
        node = node->right;
        list = rightList.release();
        count = r;
    }
    return true;
}

float zGeometryOctree::ChooseSplit(int32_t axis, const zGeometry* geometry, const int32_t* list, int32_t count,
                                   const zMinMax& box)
{
    const float lo = Component(box.min, axis);
    const float hi = Component(box.max, axis);
    std::unique_ptr<float[]> lowest(new (std::nothrow) float[std::max(count, 1)]);
    if (lowest == nullptr)
        return (lo + hi) * 0.5f;
    for (int32_t i = 0; i < count; ++i)
        lowest[i] = LowestOnAxis(geometry, list[i], axis);
    std::sort(lowest.get(), lowest.get() + count);
    return SplitFromSortedLowest(lowest.get(), count, lo, hi);
}

bool zGeometryOctree::CreateLeaf(zGeometry* geometry, int32_t* list, int32_t count)
{
    std::unique_ptr<int32_t[]> polygons(list);
    // Leaves stay out of the core's geometry list: the parent's set-up is
    // what sets them up, once each.
    std::unique_ptr<zGeometry> made(new (std::nothrow) zGeometry(core));
    if (made == nullptr) {
        LogError("zGeometryOctree::CreateLeaf") << "Failed to allocate leaf geometry.\n";
        return false;
    }
    zGeometry& out = *made;
    const zGeometry& in = *geometry;

    uint32_t bindings = 0;
    for (int32_t i = 0; i < count; ++i)
        bindings += in.polygons[polygons[i]].vertexCount;

    // Vertices numbered in order of first use: pairs of (vertex, first
    // binding) sorted by vertex give each vertex's first use; sorted again by
    // that use they give the new order.
    struct Use {
        int32_t vertex;
        uint32_t binding;
    };
    std::unique_ptr<Use[]> uses(new (std::nothrow) Use[std::max(bindings, 1u)]);
    std::unique_ptr<int32_t[]> remapped(new (std::nothrow) int32_t[std::max(bindings, 1u)]);
    bool ok = uses != nullptr && remapped != nullptr;
    uint32_t used = 0;
    if (ok) {
        uint32_t b = 0;
        for (int32_t i = 0; i < count; ++i) {
            const zPolygon& p = in.polygons[polygons[i]];
            for (uint32_t c = 0; c < p.vertexCount; ++c, ++b)
                uses[b] = {p.indices[c], b};
        }
        auto byVertex = [](const Use& a, const Use& c) {
            return a.vertex < c.vertex || (a.vertex == c.vertex && a.binding < c.binding);
        };
        std::sort(uses.get(), uses.get() + bindings, byVertex);
        // Every binding finds its vertex's first use in the sorted pairs.
        for (uint32_t k = 0; k < bindings; ++k) {
            if (k == 0 || uses[k].vertex != uses[k - 1].vertex)
                uses[used++] = uses[k];
        }
        std::unique_ptr<Use[]> order(new (std::nothrow) Use[std::max(used, 1u)]);
        out.vertices = new (std::nothrow) zVector[std::max(used, 1u)];
        ok = order != nullptr && out.vertices != nullptr;
        if (ok) {
            std::copy(uses.get(), uses.get() + used, order.get());
            std::sort(order.get(), order.get() + used,
                      [](const Use& a, const Use& c) { return a.binding < c.binding; });
            // uses[0 .. used) stays sorted by vertex; its binding field now
            // carries the new index.
            for (uint32_t n = 0; n < used; ++n) {
                out.vertices[n] = in.vertices[order[n].vertex];
                Use* entry = std::lower_bound(uses.get(), uses.get() + used, Use{order[n].vertex, 0}, byVertex);
                entry->binding = n;
            }
            out.vertexCount = used;
            b = 0;
            for (int32_t i = 0; i < count; ++i) {
                const zPolygon& p = in.polygons[polygons[i]];
                for (uint32_t c = 0; c < p.vertexCount; ++c, ++b) {
                    const Use* entry =
                        std::lower_bound(uses.get(), uses.get() + used, Use{p.indices[c], 0}, byVertex);
                    remapped[b] = int32_t(entry->binding);
                }
            }
        }
    }

    auto allocate = [&ok, bindings](zVector*& array, const zVector* source, uint32_t perBinding) {
        if (ok && source != nullptr) {
            array = new (std::nothrow) zVector[std::max(bindings * perBinding, 1u)];
            ok = array != nullptr;
        }
    };
    allocate(out.vertexNormals, in.vertexNormals, 1);
    allocate(out.vertexTangents, in.vertexTangents, 2);
    allocate(out.vertexColours, in.vertexColours, 1);
    const uint32_t uvSets = std::min(in.uvSetCount, zGeometry::MaxUVSets);
    for (uint32_t s = 0; s < uvSets && ok; ++s) {
        if (in.uvSets[s] != nullptr) {
            out.uvSets[s] = new (std::nothrow) zUV[std::max(bindings, 1u)];
            ok = out.uvSets[s] != nullptr;
        }
    }
    if (ok && in.polygonNormals != nullptr) {
        out.polygonNormals = new (std::nothrow) zVector[std::max(count, 1)];
        ok = out.polygonNormals != nullptr;
    }
    if (ok) {
        out.polygons = new (std::nothrow) zPolygon[std::max(count, 1)];
        out.materials = new (std::nothrow) zMaterial*[std::max(in.materialCount, 1u)];
        ok = out.polygons != nullptr && out.materials != nullptr;
    }
    if (!ok) {
        LogError("zGeometryOctree::CreateLeaf") << "Failed to allocate leaf geometry.\n";
        return false;
    }

    out.bindingIndices = remapped.release();
    out.bindingCount = bindings;
    out.polygonCount = uint32_t(count);
    out.uvSetCount = uvSets;
    uint32_t b = 0;
    for (int32_t i = 0; i < count; ++i) {
        const zPolygon& p = in.polygons[polygons[i]];
        out.polygons[i].vertexCount = p.vertexCount;
        out.polygons[i].material = p.material;
        out.polygons[i].indices = out.bindingIndices + b;
        if (out.polygonNormals != nullptr)
            out.polygonNormals[i] = in.polygonNormals[polygons[i]];
        const uint32_t first = uint32_t(in.polygonFirst[polygons[i]]);
        for (uint32_t c = 0; c < p.vertexCount; ++c, ++b) {
            if (out.vertexNormals != nullptr)
                out.vertexNormals[b] = in.vertexNormals[first + c];
            if (out.vertexTangents != nullptr) {
                out.vertexTangents[2 * b] = in.vertexTangents[2 * (first + c)];
                out.vertexTangents[2 * b + 1] = in.vertexTangents[2 * (first + c) + 1];
            }
            if (out.vertexColours != nullptr)
                out.vertexColours[b] = in.vertexColours[first + c];
            for (uint32_t s = 0; s < uvSets; ++s) {
                if (out.uvSets[s] != nullptr)
                    out.uvSets[s][b] = in.uvSets[s][first + c];
            }
        }
    }

    // The parent's materials, never deleted by the leaf.
    for (uint32_t m = 0; m < in.materialCount; ++m)
        out.materials[m] = in.materials[m];
    out.materialCount = in.materialCount;
    out.flags |= zGeometry::FlagSharedMaterials;

    ++LeafCount;
    LeafPolygonCount += count;
    out.ComputeMinMax(out.bounds);
    leaf = made.release();
    return true;
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

zGeometry* zGeometryOctree::NextVisibleLeaf(zGeometryOctree*& cursor)
{
    zGeometryOctree* node = cursor;
    for (;;) {
        if (node == nullptr) {
            node = visible != FrustumOutside ? this : nullptr;
        } else if (node->left != nullptr && node->left->visible != FrustumOutside) {
            node = node->left;
        } else if (node->right != nullptr && node->right->visible != FrustumOutside) {
            node = node->right;
        } else {
            // Climb until a node has a visible right subtree not yet walked.
            zGeometryOctree* next = nullptr;
            while (node != this && node->parent != nullptr) {
                zGeometryOctree* up = node->parent;
                if (node == up->left && up->right != nullptr && up->right->visible != FrustumOutside) {
                    next = up->right;
                    break;
                }
                node = up;
            }
            node = next;
        }
        if (node == nullptr) {
            cursor = nullptr;
            return nullptr;
        }
        if (node->leaf != nullptr) {
            cursor = node;
            return node->leaf;
        }
    }
}

zGeometryOctree* zGeometryOctree::FindNode(const zVector& point)
{
    zGeometryOctree* node = this;
    for (;;) {
        zGeometryOctree* next = Component(point, node->splitAxis) < node->splitValue ? node->left : node->right;
        if (next == nullptr)
            return node;
        node = next;
    }
}

void zGeometryOctree::DrawDebug(zRenderer* renderer, const zMatrix4* matrix)
{
    if (renderer == nullptr)
        return;
    int32_t drawn = 0;
    DrawDebugAt(renderer, matrix, drawn);
}

void zGeometryOctree::DrawDebugAt(zRenderer* renderer, const zMatrix4* matrix, int32_t& drawn) const
{
    if (leaf != nullptr) {
        zOBB box = MinMaxToOBB(bounds);
        if (matrix != nullptr)
            box.Transform(*matrix);
        zColor colour;
        colour.FromRGBA32(DebugColours[drawn % 4]);
        const float rgba[4] = {colour.r, colour.g, colour.b, colour.a};
        renderer->DrawOBB(box, rgba);
        ++drawn;
    }
    if (left != nullptr)
        left->DrawDebugAt(renderer, matrix, drawn);
    if (right != nullptr)
        right->DrawDebugAt(renderer, matrix, drawn);
}

bool zGeometryOctree::IntersectRay(const zVector& origin, const zVector& direction, float maxDistance,
                                   zOctreeRayHit& hit) const
{
    hit = zOctreeRayHit();
    float limit = maxDistance > 0.0f ? maxDistance : INFINITY;
    IntersectRayAt(origin, direction, limit, hit);
    return hit.leaf != nullptr;
}

void zGeometryOctree::IntersectRayAt(const zVector& origin, const zVector& direction, float& limit,
                                     zOctreeRayHit& hit) const
{
    // Padded so that a polygon lying in a face of the box is not lost to the
    // rounding of the slab test.
    const zVector extent = bounds.max - bounds.min;
    const float pad = 1e-4f * (1.0f + std::max({std::fabs(extent.x), std::fabs(extent.y), std::fabs(extent.z),
                                                std::fabs(bounds.min.x), std::fabs(bounds.min.y),
                                                std::fabs(bounds.min.z)}));
    const zMinMax padded(bounds.min - zVector(pad, pad, pad), bounds.max + zVector(pad, pad, pad));
    float entry = 0.0f;
    float exit = 0.0f;
    if (!padded.IntersectRaySlab(origin, direction, entry, exit) || entry > limit)
        return;

    if (leaf != nullptr && leaf->vertices != nullptr && leaf->polygons != nullptr) {
        for (uint32_t p = 0; p < leaf->polygonCount; ++p) {
            const zPolygon& polygon = leaf->polygons[p];
            if (polygon.vertexCount < 3)
                continue;
            const zVector& a = leaf->vertices[polygon.indices[0]];
            for (uint32_t k = 1; k + 1 < polygon.vertexCount; ++k) {
                float t = 0.0f;
                bool back = false;
                if (!IntersectTriangle(origin, direction, a, leaf->vertices[polygon.indices[k]],
                                       leaf->vertices[polygon.indices[k + 1]], limit, t, back))
                    continue;
                if (hit.leaf != nullptr && t >= hit.t)
                    continue;
                hit.t = t;
                hit.leaf = leaf;
                hit.polygon = int32_t(p);
                hit.triangle = int32_t(k - 1);
                hit.backSide = back ? 1 : 0;
                limit = t;
            }
        }
    }
    // The child on the ray's starting side first: its hits shorten the walk
    // of the other.
    const bool leftFirst = Component(direction, splitAxis) >= 0.0f;
    const zGeometryOctree* first = leftFirst ? left : right;
    const zGeometryOctree* second = leftFirst ? right : left;
    if (first != nullptr)
        first->IntersectRayAt(origin, direction, limit, hit);
    if (second != nullptr)
        second->IntersectRayAt(origin, direction, limit, hit);
}
