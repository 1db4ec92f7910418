#include "core/geometry/zGeometry.h"

#include "core/geometry/zGeometryBIH.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/material/zMaterial.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zMatrix4.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Per-corner attributes of two corners closer than this count as equal.
constexpr float HomogeneousTolerance = 1.0000001e-5f;

bool Differ(const zVector& a, const zVector& b)
{
    return VectorDistanceSquared(a, b) > HomogeneousTolerance;
}

bool Differ(const zUV& a, const zUV& b)
{
    const float du = a.u - b.u;
    const float dv = a.v - b.v;
    return du * du + dv * dv > HomogeneousTolerance;
}

// The components a spread is measured on.
int Components(const zVector&)
{
    return 3;
}

int Components(const zUV&)
{
    return 2;
}

float Component(const zVector& v, int k)
{
    return (&v.x)[k];
}

float Component(const zUV& uv, int k)
{
    return k == 0 ? uv.u : uv.v;
}

// Whether some two of the values a vertex's polygons give at it differ by more
// than the tolerance, as Differ compares two, without comparing every pair.
// Values with a NaN never differ from any; equal values never differ. The
// other values' box decides when its size, worked out as Differ works out a
// distance, is within the tolerance (no two differ) or one of its sides alone
// is not (the two values at that side's ends differ). Only a spread between
// those two is compared pair by pair, among at most MaxCompared different
// values; more of them count as differing, which costs a shared vertex in the
// triangle lists and nothing else.
struct zHomogeneousSpread {
    static constexpr uint32_t MaxCompared = 64;

    template <class T> bool Differs(const T* values, const uint32_t* bindings, uint32_t count)
    {
        const int n = Components(values[bindings[0]]);
        float low[3] = {0, 0, 0};
        float high[3] = {0, 0, 0};
        bool any = false;
        bool infinite = false;
        uint32_t distinct = 0;
        bool many = false;
        for (uint32_t u = 0; u < count; ++u) {
            const T& value = values[bindings[u]];
            bool nan = false;
            for (int k = 0; k < n; ++k) {
                nan = nan || std::isnan(Component(value, k));
                infinite = infinite || std::isinf(Component(value, k));
            }
            if (nan)
                continue;
            for (int k = 0; k < n; ++k) {
                const float c = Component(value, k);
                low[k] = any ? std::min(low[k], c) : c;
                high[k] = any ? std::max(high[k], c) : c;
            }
            any = true;
            if (many)
                continue;
            uint32_t d = 0;
            while (d < distinct && !Same(values[seen[d]], value))
                ++d;
            if (d == distinct) {
                if (distinct == MaxCompared)
                    many = true;
                else
                    seen[distinct++] = bindings[u];
            }
        }
        if (distinct <= 1 && !many)
            return false;
        if (!infinite) {
            float side[3];
            for (int k = 0; k < n; ++k) {
                side[k] = high[k] - low[k];
                if (side[k] * side[k] > HomogeneousTolerance)
                    return true;
            }
            float size = side[0] * side[0] + side[1] * side[1];
            if (n == 3)
                size = size + side[2] * side[2];
            if (!(size > HomogeneousTolerance))
                return false;
        }
        if (many)
            return true;
        for (uint32_t a = 0; a < distinct; ++a) {
            for (uint32_t b = a + 1; b < distinct; ++b) {
                if (Differ(values[seen[a]], values[seen[b]]))
                    return true;
            }
        }
        return false;
    }

    template <class T> static bool Same(const T& a, const T& b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }

    uint32_t seen[MaxCompared];
};

// Leaves the cache when the geometry is in it; one that no list holds (as
// while a cache is cleared) costs no walk.
void LeaveCache(zLinkedList& cache, zLinkedListEntry* entry)
{
    if (entry->prev != nullptr || entry->next != nullptr || cache.GetFirst() == entry)
        cache.Unlink(entry);
}

} // namespace

zGeometry* zGeometry::New(Tavrin* core, const char* name)
{
    zModuleTagScope module(1);
    zGeometry* geometry = new (std::nothrow) zGeometry(core, name);
    if (geometry != nullptr && core != nullptr)
        core->GetGeometries().Append(geometry);
    return geometry;
}

zGeometry::zGeometry(Tavrin* owner, const char* name) : zResource(owner, name)
{
}

zGeometry::~zGeometry()
{
    FreeAll();
    if (core != nullptr) {
        // The current set may have changed since the geometry was cached.
        LeaveCache(core->currentResources->GetGeometries(), this);
        LeaveCache(core->resources.GetGeometries(), this);
    }
}

void zGeometry::FreeMaterialArray()
{
    if ((flags & FlagSharedMaterials) == 0) {
        for (uint32_t i = 0; i < materialCount; ++i)
            delete materials[i];
    }
    delete[] materials;
    materials = nullptr;
    materialCount = 0;
    flags &= ~FlagSharedMaterials;
}

void zGeometry::Free()
{
    if ((keepMask & KeepMaterials) == 0) {
        FreeMaterialArray();
        zFar = -1.0f;
    }
    if ((keepMask & KeepMesh) == 0) {
        delete[] vertices;
        delete[] vertexNormals;
        delete[] vertexTangents;
        delete[] polygonNormals;
        delete[] polygonTangents;
        delete[] polygons;
        delete[] bindingIndices;
        delete[] polygonFirst;
        vertices = vertexNormals = vertexTangents = polygonNormals = polygonTangents = nullptr;
        polygons = nullptr;
        bindingIndices = polygonFirst = nullptr;
        vertexCount = polygonCount = bindingCount = 0;
        delete tree;
        tree = nullptr;
    }
    if ((keepMask & KeepAdjacency) == 0) {
        FreeVertexToPolygon();
        FreeVertexToVertex();
        FreeHomogeneousTable();
        delete[] polygonFirst;
        polygonFirst = nullptr;
    }
    if ((keepMask & KeepOctree) == 0) {
        delete octree;
        octree = nullptr;
    }
    if ((keepMask & KeepProxies) == 0) {
        lodProxy = nullptr;
        lodDistance = DefaultLodDistance;
        flags &= ~(FlagLodNull | FlagShadowNull);
        shadowProxy = nullptr;
    }
    // A geometry the renderer never took has nothing there to free.
    if ((keepMask & KeepRendererCopy) == 0 && rendererData != nullptr && core != nullptr && core->renderer != nullptr)
        core->renderer->FreeGeometry(this);
    if ((keepMask & KeepAttributes) == 0) {
        for (zUV*& set : uvSets) {
            delete[] set;
            set = nullptr;
        }
        uvSetCount = 0;
        delete[] vertexColours;
        vertexColours = nullptr;
    }
    if ((keepMask & KeepSkin) == 0) {
        delete[] skinWeights;
        delete[] boneIds;
        skinWeights = nullptr;
        boneIds = nullptr;
        boneCount = 0;
    }
}

void zGeometry::FreeAll()
{
    keepMask = 0;
    Free();
}

void zGeometry::Setup()
{
    zModuleTagScope module(1);
    if (GlobalSetupProgressHook != nullptr)
        GlobalSetupProgressHook("Geometry Setup");
    ComputeRenderFlags();
    if (vertexCount == 0 || polygonCount == 0 || vertices == nullptr || polygons == nullptr) {
        // The leaves of a split geometry hold what is drawn, with or
        // without the parent's mesh.
        if (octree != nullptr) {
            SetupMaterials();
            keepMask |= KeepMaterials | KeepProxies | KeepRendererCopy;
            octree->SetupLeaves();
        }
        return;
    }
    zVector sum(0.0f, 0.0f, 0.0f);
    for (uint32_t i = 0; i < vertexCount; ++i)
        sum = sum + vertices[i];
    centre = sum * (1.0f / float(vertexCount));
    // A split geometry is drawn by its leaves, which make their own.
    if (octree == nullptr) {
        if ((renderWord & RenderLit) != 0)
            ComputeVertexNormal(false);
        if ((renderWord & RenderTangents) != 0)
            ComputeVertexTangent(false);
    }
    // Octree leaves share their parent's materials, which the parent sets up.
    if ((flags & FlagSharedMaterials) == 0)
        SetupMaterials();
    keepMask |= KeepMaterials | KeepProxies | KeepRendererCopy;
    ComputeMinMax(bounds);
    if (octree != nullptr)
        octree->SetupLeaves();
    else if (core != nullptr && core->renderer != nullptr)
        core->renderer->SetupGeometry(this);
}

void zGeometry::SetupMaterials()
{
    for (uint32_t i = 0; i < materialCount; ++i) {
        zMaterial* material = materials[i];
        if (material == nullptr)
            continue;
        if (skinWeights != nullptr)
            material->flags |= zMaterial::FlagSkinned;
        material->Setup();
    }
}

void zGeometry::ComputeRenderFlags()
{
    renderWord = 0;
    materialFlagUnion = 0;
    bool lit = false;
    for (uint32_t i = 0; i < materialCount; ++i) {
        const zMaterial* material = materials[i];
        if (material == nullptr)
            continue;
        materialFlagUnion |= material->flags;
        if ((material->flags & zMaterial::FlagSoftBody) != 0)
            staticFlag = 0;
        if ((material->flags & (zMaterial::FlagLit | zMaterial::FlagSmoothing)) != 0)
            lit = true;
        if ((material->flags & zMaterial::FlagNormalMapTangent) != 0)
            renderWord |= RenderTangents;
    }
    if ((materialFlagUnion & zMaterial::FlagForceVertexNormal) != 0 || lit)
        renderWord |= RenderLit;
    if (vertexColours != nullptr) {
        renderWord |= RenderRGB;
        for (uint32_t i = 0; i < materialCount; ++i) {
            if (materials[i] != nullptr)
                materials[i]->flags |= zMaterial::FlagVertexColor;
        }
    }
}

void zGeometry::ComputeMinMax(zMinMax& out, const zMatrix4* matrix) const
{
    if (vertexCount == 0 || vertices == nullptr) {
        out.min = zVector(0.0f, 0.0f, 0.0f);
        out.max = zVector(0.0f, 0.0f, 0.0f);
        return;
    }
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const zVector p = matrix != nullptr ? vertices[i].Transform(*matrix) : vertices[i];
        if (i == 0) {
            out.min = zVector(p.x, p.y, p.z);
            out.max = out.min;
            continue;
        }
        out.min = zVector(std::min(out.min.x, p.x), std::min(out.min.y, p.y), std::min(out.min.z, p.z));
        out.max = zVector(std::max(out.max.x, p.x), std::max(out.max.y, p.y), std::max(out.max.z, p.z));
    }
}

bool zGeometry::BuildPolygonIndex()
{
    if (polygonFirst != nullptr)
        return true;
    zModuleTagScope module(1);
    polygonFirst = new (std::nothrow) int32_t[polygonCount > 0 ? polygonCount : 1];
    if (polygonFirst == nullptr)
        return false;
    int32_t first = 0;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        polygonFirst[p] = first;
        first += polygons[p].vertexCount;
    }
    return true;
}

void zGeometry::CountBindings()
{
    bindingCount = 0;
    for (uint32_t p = 0; p < polygonCount; ++p)
        bindingCount += polygons[p].vertexCount;
}

bool zGeometry::EnforceValid()
{
    zModuleTagScope module(1);
    // Every corner must name a vertex, and every polygon's corners must lie in
    // the binding block, before anything reads through them.
    if (polygonCount > 0 && polygons == nullptr) {
        LogError("zGeometry::EnforceValid") << "Geometry '" << id << "' has no polygon array.\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        if (polygon.vertexCount == 0)
            continue;
        const bool inBlock = polygon.indices != nullptr
            && (bindingIndices == nullptr
                || (polygon.indices >= bindingIndices
                    && polygon.indices + polygon.vertexCount <= bindingIndices + bindingCount));
        if (!inBlock) {
            LogError("zGeometry::EnforceValid") << "Polygon " << unsigned(p) << " of '" << id
                                                << "' has no corners in the binding block.\n";
            return false;
        }
        for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
            const int32_t index = polygon.indices[c];
            if (index < 0 || uint32_t(index) >= vertexCount) {
                LogError("zGeometry::EnforceValid") << "Polygon " << unsigned(p) << " of '" << id << "' refers to vertex "
                                                    << index << ", beyond the " << unsigned(vertexCount)
                                                    << " vertice.\n";
                return false;
            }
        }
    }

    // With no material at all there is nothing to point the polygons to.
    if (materialCount > 0) {
        bool warned = false;
        for (uint32_t p = 0; p < polygonCount; ++p) {
            if (polygons[p].material < materialCount)
                continue;
            polygons[p].material = uint16_t(materialCount - 1);
            if (!warned) {
                LogWarning("zGeometry::EnforceValid")
                    << "A polygon is referring to a non-existent material. Source file was probably incomplete.\n";
                warned = true;
            }
        }
    }

    bool warnedUV = false;
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (materials[i] == nullptr)
            continue;
        for (zTextureStage& stage : materials[i]->stages) {
            if (stage.uvIndex < -1)
                stage.uvIndex = -1;
            if (stage.uvIndex >= 0 && uint32_t(stage.uvIndex) >= uvSetCount) {
                stage.uvIndex = -1;
                if (!warnedUV) {
                    LogWarning("zGeometry::EnforceValid") << "Some materials in '" << id
                                                          << "' are referring to one or more non-existent UV map.\n";
                    warnedUV = true;
                }
            }
        }
    }

    PurgeUnusedMaterials();
    // After the material repair, so that a polygon whose material index was
    // out of range is smoothed by the material it now has.
    if ((renderWord & RenderLit) != 0)
        ComputeVertexNormal(false);
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (materials[i] != nullptr)
            materials[i]->Update();
    }
    return true;
}

bool zGeometry::PurgeUnusedMaterials()
{
    if (materialCount == 0)
        return true;
    std::unique_ptr<int32_t[]> newIndex(new (std::nothrow) int32_t[materialCount]);
    if (newIndex == nullptr) {
        LogError("zGeometry::EnforceValid") << "Could not allocate temporary memory to validate geometry.\n";
        return false;
    }
    std::fill(newIndex.get(), newIndex.get() + materialCount, -1);
    for (uint32_t p = 0; p < polygonCount; ++p)
        newIndex[polygons[p].material] = 0;
    uint32_t used = 0;
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (newIndex[i] == 0)
            newIndex[i] = int32_t(used++);
    }
    if (used == materialCount)
        return true;

    // The new table is made before anything is deleted, so a failure leaves
    // every polygon naming a live material.
    zMaterial** kept = new (std::nothrow) zMaterial*[used > 0 ? used : 1];
    if (kept == nullptr) {
        LogError("zGeometry::EnforceValid") << "Could not allocate new material table to purify geometry.\n";
        return false;
    }
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (newIndex[i] >= 0)
            kept[newIndex[i]] = materials[i];
        else if ((flags & FlagSharedMaterials) == 0)
            delete materials[i];
    }
    const uint32_t removed = materialCount - used;
    delete[] materials;
    materials = kept;
    materialCount = used;
    for (uint32_t p = 0; p < polygonCount; ++p)
        polygons[p].material = uint16_t(newIndex[polygons[p].material]);
    *GlobalLogStream << "Removed " << unsigned(removed) << " material(s) from geometry.\n";
    return true;
}

bool zGeometry::BuildVertexToPolygon()
{
    if (vertexToPolygon != nullptr)
        return true;
    zModuleTagScope module(1);
    std::unique_ptr<zVertexPolygons[]> table(new (std::nothrow) zVertexPolygons[vertexCount > 0 ? vertexCount : 1]);
    if (table == nullptr)
        return false;
    // A vertex that a polygon lists twice is counted twice; corners that name
    // no vertex are left out.
    uint64_t total = 0;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        for (uint16_t c = 0; c < polygons[p].vertexCount; ++c) {
            const int32_t v = polygons[p].indices[c];
            if (v >= 0 && uint32_t(v) < vertexCount) {
                ++table[v].count;
                ++total;
            }
        }
    }
    uint32_t* block = new (std::nothrow) uint32_t[total > 0 ? total : 1];
    if (block == nullptr)
        return false;
    uint64_t offset = 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        table[v].polygons = block + offset;
        offset += table[v].count;
        table[v].count = 0;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        for (uint16_t c = 0; c < polygons[p].vertexCount; ++c) {
            const int32_t v = polygons[p].indices[c];
            if (v >= 0 && uint32_t(v) < vertexCount)
                table[v].polygons[table[v].count++] = p;
        }
    }
    vertexToPolygon = table.release();
    vertexToPolygonBlock = block;
    return true;
}

bool zGeometry::ComputeVertexToVertex()
{
    if (vertexToVertex != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    zModuleTagScope module(1);
    if (!BuildVertexToPolygon()) {
        LogError("zGeometry::ComputeVertexToVertex") << "Could not allocate memory.\n";
        return false;
    }

    // The first pass bounds each vertex's list by two neighbours per use, so
    // the block always holds every neighbour however many polygons meet.
    uint64_t bound = 0;
    uint32_t widest = 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        bound += 2 * uint64_t(vertexToPolygon[v].count);
        widest = std::max(widest, 2 * vertexToPolygon[v].count);
    }
    std::unique_ptr<zVertexNeighbours[]> table(new (std::nothrow) zVertexNeighbours[vertexCount]);
    std::unique_ptr<zVertexNeighbour[]> block(new (std::nothrow) zVertexNeighbour[bound > 0 ? bound : 1]);
    std::unique_ptr<uint32_t[]> order(new (std::nothrow) uint32_t[widest > 0 ? widest : 1]);
    std::unique_ptr<bool[]> dropped(new (std::nothrow) bool[widest > 0 ? widest : 1]);
    if (table == nullptr || block == nullptr || order == nullptr || dropped == nullptr) {
        LogError("zGeometry::ComputeVertexToVertex") << "Could not allocate memory.\n";
        return false;
    }

    // Each vertex's slice is filled by one walk over the corners, in polygon
    // and corner order: what a walk of the vertex's polygons, each scanned for
    // the vertex, would give, without scanning a large polygon once for every
    // one of its vertices.
    std::unique_ptr<uint32_t[]> filled(new (std::nothrow) uint32_t[vertexCount]());
    if (filled == nullptr) {
        LogError("zGeometry::ComputeVertexToVertex") << "Could not allocate memory.\n";
        return false;
    }
    uint64_t offset = 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        table[v].neighbours = block.get() + offset;
        offset += 2 * uint64_t(vertexToPolygon[v].count);
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        const int32_t corners = polygon.vertexCount;
        for (int32_t l = 0; l < corners; ++l) {
            const int32_t v = polygon.indices[l];
            if (v < 0 || uint32_t(v) >= vertexCount)
                continue;
            zVertexNeighbour* list = table[v].neighbours;
            list[filled[v]++] = {int32_t(p), (l + corners - 1) % corners};
            list[filled[v]++] = {int32_t(p), (l + 1) % corners};
        }
    }
    for (uint32_t v = 0; v < vertexCount; ++v) {
        zVertexNeighbour* list = table[v].neighbours;
        const uint32_t count = filled[v];
        // Drop repeated pairs, keeping each at its first place.
        for (uint32_t i = 0; i < count; ++i)
            order[i] = i;
        const auto key = [list](uint32_t i) { return std::make_pair(list[i].polygon, list[i].corner); };
        std::sort(order.get(), order.get() + count, [&](uint32_t a, uint32_t b) {
            return key(a) != key(b) ? key(a) < key(b) : a < b;
        });
        for (uint32_t i = 0; i < count; ++i)
            dropped[i] = false;
        for (uint32_t i = 1; i < count; ++i)
            dropped[order[i]] = key(order[i]) == key(order[i - 1]);
        uint32_t kept = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (!dropped[i])
                list[kept++] = list[i];
        }
        table[v].count = kept;
    }
    vertexToVertex = table.release();
    vertexToVertexBlock = block.release();
    return true;
}

bool zGeometry::FlagHomogeneousVertex(int32_t material)
{
    zModuleTagScope module(1);
    if (homogeneous == nullptr)
        homogeneous = new (std::nothrow) uint8_t[vertexCount > 0 ? vertexCount : 1];
    if (homogeneous == nullptr) {
        LogError("zGeometry::FlagHomogeneousVertex") << "Could not allocate homogeneous vertex table.\n";
        return false;
    }
    if (!BuildVertexToPolygon() || !BuildPolygonIndex()) {
        LogError("zGeometry::FlagHomogeneousVertex") << "Could not allocate homogeneous vertex table.\n";
        return false;
    }
    // The binding of the first corner of each polygon at each vertex, in the
    // order of the vertex-to-polygon table, found by one walk over the corners
    // rather than by scanning a polygon for every vertex it holds; and one
    // pass over each vertex's values rather than one per pair of polygons.
    uint64_t total = 0;
    for (uint32_t v = 0; v < vertexCount; ++v)
        total += vertexToPolygon[v].count;
    std::unique_ptr<uint32_t[]> firstCorner(new (std::nothrow) uint32_t[total > 0 ? total : 1]);
    std::unique_ptr<uint32_t[]> filled(new (std::nothrow) uint32_t[vertexCount > 0 ? vertexCount : 1]());
    std::unique_ptr<zHomogeneousSpread> spread(new (std::nothrow) zHomogeneousSpread);
    if (firstCorner == nullptr || filled == nullptr || spread == nullptr) {
        LogError("zGeometry::FlagHomogeneousVertex") << "Could not allocate homogeneous vertex table.\n";
        return false;
    }
    std::unique_ptr<uint64_t[]> start(new (std::nothrow) uint64_t[uint64_t(vertexCount) + 1]);
    if (start == nullptr) {
        LogError("zGeometry::FlagHomogeneousVertex") << "Could not allocate homogeneous vertex table.\n";
        return false;
    }
    start[0] = 0;
    for (uint32_t v = 0; v < vertexCount; ++v)
        start[v + 1] = start[v] + vertexToPolygon[v].count;
    // A polygon holding the vertex twice has its entries next to each other:
    // the second takes the first one's binding.
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        for (uint16_t c = 0; polygon.indices != nullptr && c < polygon.vertexCount; ++c) {
            const int32_t v = polygon.indices[c];
            if (v < 0 || uint32_t(v) >= vertexCount)
                continue;
            uint32_t* at = firstCorner.get() + start[v] + filled[v];
            const bool again = filled[v] > 0 && vertexToPolygon[v].polygons[filled[v] - 1] == p;
            *at = again ? at[-1] : uint32_t(polygonFirst[p]) + c;
            ++filled[v];
        }
    }

    for (uint32_t v = 0; v < vertexCount; ++v) {
        homogeneous[v] = 1;
        const zVertexPolygons& uses = vertexToPolygon[v];
        if (uses.count == 0)
            continue;
        // Only corners of two different polygons are compared.
        bool pairs = false;
        bool mixed = false;
        for (uint32_t u = 1; u < uses.count; ++u) {
            if (uses.polygons[u] == uses.polygons[0])
                continue;
            pairs = true;
            mixed = mixed || polygons[uses.polygons[u]].material != polygons[uses.polygons[0]].material;
        }
        if (mixed) {
            homogeneous[v] = 0;
            continue;
        }
        const uint16_t shared = polygons[uses.polygons[0]].material;
        if (!pairs || (material != -1 && material != shared))
            continue;
        const uint32_t* bindings = firstCorner.get() + start[v];
        bool differs = (vertexNormals != nullptr && spread->Differs(vertexNormals, bindings, uses.count))
            || (vertexColours != nullptr && spread->Differs(vertexColours, bindings, uses.count));
        const zMaterial* used = GetMaterialFromIndex(shared);
        for (uint32_t s = 0; !differs && used != nullptr && s < uvSetCount && s < MaxUVSets; ++s) {
            if (used->uvMapsUsed[s] && uvSets[s] != nullptr)
                differs = spread->Differs(uvSets[s], bindings, uses.count);
        }
        if (differs)
            homogeneous[v] = 0;
    }
    return true;
}

void zGeometry::FreeVertexToPolygon()
{
    delete[] vertexToPolygon;
    delete[] vertexToPolygonBlock;
    vertexToPolygon = nullptr;
    vertexToPolygonBlock = nullptr;
}

void zGeometry::FreeVertexToVertex()
{
    delete[] vertexToVertex;
    delete[] vertexToVertexBlock;
    vertexToVertex = nullptr;
    vertexToVertexBlock = nullptr;
}

void zGeometry::FreeHomogeneousTable()
{
    delete[] homogeneous;
    homogeneous = nullptr;
}

void zGeometry::DeleteOctrees()
{
    DeleteOctreesAt(0);
}

void zGeometry::DeleteOctreesAt(int32_t depth)
{
    // Proxies may point back up the chain; a bounded walk ends anyway.
    constexpr int32_t MaxProxyDepth = 64;
    for (zGeometry* geometry = this; geometry != nullptr && depth < MaxProxyDepth; ++depth) {
        delete geometry->octree;
        geometry->octree = nullptr;
        if (geometry->lodProxy != nullptr && geometry->lodProxy != geometry)
            geometry->lodProxy->DeleteOctreesAt(depth + 1);
        geometry = geometry->shadowProxy != geometry ? geometry->shadowProxy : nullptr;
    }
}

bool zGeometry::CreateTree()
{
    if (tree != nullptr)
        return true;
    zModuleTagScope module(1);
    zGeometryBIH* built = new (std::nothrow) zGeometryBIH();
    if (built == nullptr) {
        LogError("zGeometry::CreateTree") << "Failed to allocate geotree.\n";
        return false;
    }
    if (!built->BuildFromGeometry(this)) {
        delete built;
        return false;
    }
    tree = built;
    return true;
}

zGeometryBIH* zGeometry::GetTree()
{
    if (tree == nullptr)
        CreateTree();
    return tree;
}
