#include "core/geometry/zGeometryTrilist.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zClock.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr const char* ConvertMethod = "zGeometryTrilist::GeometryToTriangleList";

// A place in the walk over a material's polygons: a polygon, and which piece
// of its fan when it is too large for one list.
struct TrilistCursor {
    uint32_t polygon = 0;
    uint32_t piece = 0;
};

// The output vertex a homogeneous vertex got in the list being built; valid
// only while stamp is that list's.
struct RemapEntry {
    uint32_t stamp = 0;
    int32_t output = -1;
};

// Builds the lists of one geometry; holds the tables shared by all lists.
class TrilistBuilder {
public:
    TrilistBuilder(zGeometry& geometry, uint32_t maxTriangles) : g(geometry), maxTriangles(maxTriangles) {}

    bool AllocateTables()
    {
        uint32_t widest = 0;
        for (uint32_t p = 0; p < g.polygonCount; ++p)
            widest = std::max<uint32_t>(widest, g.polygons[p].vertexCount);
        remap.reset(new (std::nothrow) RemapEntry[g.vertexCount > 0 ? g.vertexCount : 1]);
        corners.reset(new (std::nothrow) int32_t[widest > 0 ? widest : 1]);
        // Each material's polygons chained in polygon order, so that the
        // walk of one material does not pass over every other material's.
        firstOfMaterial.reset(new (std::nothrow) uint32_t[g.materialCount > 0 ? g.materialCount : 1]);
        nextOfMaterial.reset(new (std::nothrow) uint32_t[g.polygonCount > 0 ? g.polygonCount : 1]);
        if (remap == nullptr || corners == nullptr || firstOfMaterial == nullptr || nextOfMaterial == nullptr)
            return false;
        std::fill(firstOfMaterial.get(), firstOfMaterial.get() + g.materialCount, g.polygonCount);
        for (uint32_t p = g.polygonCount; p-- > 0;) {
            const uint32_t m = g.polygons[p].material;
            nextOfMaterial[p] = g.polygonCount;
            if (m < g.materialCount) {
                nextOfMaterial[p] = firstOfMaterial[m];
                firstOfMaterial[m] = p;
            }
        }
        return true;
    }

    // Builds the lists of material m into the container; false after an
    // allocation failure it logged.
    bool BuildMaterial(uint32_t m, zLinkedList& container)
    {
        material = g.GetMaterialFromIndex(m);
        TrilistCursor start{firstOfMaterial[m], 0};
        while (start.polygon < g.polygonCount) {
            uint32_t vertexTotal = 0;
            uint32_t triangleTotal = 0;
            paletteCount = 0;
            const TrilistCursor end = Walk(m, start, nullptr, [&](uint32_t p, uint32_t firstFan, uint32_t lastFan) {
                ForEachCorner(p, firstFan, lastFan, [&](uint32_t, int32_t v) {
                    if (g.skinWeights != nullptr)
                        CollectBones(v);
                    if (!IsShared(v))
                        ++vertexTotal;
                    else if (remap[v].stamp != stamp)
                        remap[v] = {stamp, int32_t(vertexTotal++)};
                });
                triangleTotal += lastFan - firstFan + 1;
            });
            if (vertexTotal == 0)
                return true;
            zGeometryTrilist* list = NewList(vertexTotal, triangleTotal);
            if (list == nullptr) {
                LogError(ConvertMethod) << "Couldn't allocate triangle list container objects.\n";
                return false;
            }
            container.Append(list);
            Fill(*list, m, start, end);
            totalTriangles += list->triangleCount;
            totalBones += list->boneCount;
            start = end;
        }
        return true;
    }

    bool splitWarning = false;
    uint64_t totalTriangles = 0;
    uint64_t totalBones = 0;

private:
    // Fan triangles of one piece: at most maxTriangles - 1, so that a piece
    // always fits an empty list.
    uint32_t PieceSize() const { return maxTriangles - 1; }

    bool IsShared(int32_t v) const { return g.homogeneous != nullptr && g.homogeneous[v] != 0; }

    // Walks the pieces of material m from start, up to stop when given and
    // otherwise while the list has room, calling take(polygon, first fan
    // triangle, last fan triangle) for each piece taken; returns where the
    // next list starts. Each walk is one list, so it opens a new remap
    // generation.
    template <class Take> TrilistCursor Walk(uint32_t m, TrilistCursor cursor, const TrilistCursor* stop, Take&& take)
    {
        ++stamp;
        uint32_t triangles = 0;
        while (cursor.polygon < g.polygonCount
               && (stop == nullptr || cursor.polygon != stop->polygon || cursor.piece != stop->piece)) {
            const zPolygon& polygon = g.polygons[cursor.polygon];
            if (polygon.vertexCount <= 2 || polygon.material != m) {
                cursor = {nextOfMaterial[cursor.polygon], 0};
                continue;
            }
            const uint32_t fan = polygon.vertexCount - 2u;
            const uint32_t firstFan = 1 + cursor.piece * PieceSize();
            const uint32_t lastFan = std::min(fan, firstFan + PieceSize() - 1);
            const uint32_t size = lastFan - firstFan + 1;
            if (stop == nullptr
                && (triangles + size >= maxTriangles || paletteCount >= zGeometryTrilist::BoneCloseCount))
                break;
            if (fan > PieceSize())
                splitWarning = true;
            take(cursor.polygon, firstFan, lastFan);
            triangles += size;
            cursor = lastFan < fan ? TrilistCursor{cursor.polygon, cursor.piece + 1}
                                   : TrilistCursor{nextOfMaterial[cursor.polygon], 0};
        }
        return cursor;
    }

    // The corners a piece's triangles use, in corner order: 0, then
    // firstFan .. lastFan + 1.
    template <class Visit> void ForEachCorner(uint32_t p, uint32_t firstFan, uint32_t lastFan, Visit&& visit)
    {
        const zPolygon& polygon = g.polygons[p];
        visit(0u, polygon.indices[0]);
        for (uint32_t c = firstFan; c <= lastFan + 1; ++c)
            visit(c, polygon.indices[c]);
    }

    void CollectBones(int32_t v)
    {
        for (uint16_t bone : g.skinWeights[v].bones) {
            if (std::find(palette, palette + paletteCount, bone) != palette + paletteCount)
                continue;
            if (paletteCount >= zGeometryTrilist::MaxPaletteBones) {
                LogError(ConvertMethod) << "Bone array safeguard exceeded!\n";
                continue;
            }
            palette[paletteCount++] = bone;
        }
    }

    zGeometryTrilist* NewList(uint32_t vertexTotal, uint32_t triangleTotal)
    {
        bool withUVSets[3] = {false, false, false};
        for (uint32_t s = 0; s < 3 && material != nullptr; ++s)
            withUVSets[s] = material->uvMapsUsed[s] != 0;
        const bool withTangents = g.vertexTangents != nullptr && material != nullptr
            && (material->flags & zMaterial::FlagNormalMapTangent) != 0;
        std::unique_ptr<zGeometryTrilist> list(new (std::nothrow) zGeometryTrilist);
        if (list == nullptr
            || !list->Allocate(vertexTotal, triangleTotal, paletteCount, g.skinWeights != nullptr,
                               g.vertexNormals != nullptr, withTangents, g.vertexColours != nullptr, withUVSets))
            return nullptr;
        list->material = material;
        std::copy(palette, palette + paletteCount, list->bonePalette);
        return list.release();
    }

    void Fill(zGeometryTrilist& list, uint32_t m, TrilistCursor start, TrilistCursor end)
    {
        uint32_t nextVertex = 0;
        uint32_t nextIndex = 0;
        const auto makeVertex = [&](int32_t v, uint32_t binding) {
            const uint32_t out = nextVertex++;
            list.vertices[out] = g.vertices[v];
            if (list.normals != nullptr)
                list.normals[out] = g.vertexNormals[binding];
            if (list.tangents != nullptr) {
                list.tangents[2 * out] = g.vertexTangents[2 * binding];
                list.tangents[2 * out + 1] = g.vertexTangents[2 * binding + 1];
            }
            if (list.colours != nullptr)
                list.colours[out] = g.vertexColours[binding];
            for (uint32_t s = 0; s < 3; ++s) {
                if (list.uvSets[s] != nullptr && s < g.uvSetCount && g.uvSets[s] != nullptr)
                    list.uvSets[s][out] = g.uvSets[s][binding];
            }
            if (list.weights != nullptr) {
                const zSkinWeight& skin = g.skinWeights[v];
                zTrilistWeight& weight = list.weights[out];
                for (int i = 0; i < 4; ++i) {
                    const uint16_t* at = std::find(list.bonePalette, list.bonePalette + list.boneCount, skin.bones[i]);
                    const bool held = at != list.bonePalette + list.boneCount;
                    weight.weights[i] = held ? skin.weights[i] : 0.0f;
                    weight.palette[i] = held ? uint8_t(at - list.bonePalette) : 0;
                }
            }
            return int32_t(out);
        };
        Walk(m, start, &end, [&](uint32_t p, uint32_t firstFan, uint32_t lastFan) {
            ForEachCorner(p, firstFan, lastFan, [&](uint32_t c, int32_t v) {
                const uint32_t binding = uint32_t(g.polygonFirst[p]) + c;
                if (!IsShared(v)) {
                    corners[c] = makeVertex(v, binding);
                } else if (remap[v].stamp == stamp) {
                    corners[c] = remap[v].output;
                } else {
                    corners[c] = makeVertex(v, binding);
                    remap[v] = {stamp, corners[c]};
                }
            });
            for (uint32_t k = firstFan; k <= lastFan; ++k) {
                list.indices[nextIndex++] = corners[0];
                list.indices[nextIndex++] = corners[k];
                list.indices[nextIndex++] = corners[k + 1];
            }
        });
    }

    zGeometry& g;
    const uint32_t maxTriangles;
    zMaterial* material = nullptr;
    std::unique_ptr<RemapEntry[]> remap;
    // Output vertex of each corner of the polygon being filled.
    std::unique_ptr<int32_t[]> corners;
    // The first polygon of each material, and the next one of the same
    // material after each polygon; polygonCount for none.
    std::unique_ptr<uint32_t[]> firstOfMaterial;
    std::unique_ptr<uint32_t[]> nextOfMaterial;
    uint32_t stamp = 0;
    uint16_t palette[zGeometryTrilist::MaxPaletteBones] = {};
    uint32_t paletteCount = 0;
};

} // namespace

zGeometryTrilist::~zGeometryTrilist()
{
    delete[] vertices;
    delete[] indices;
    delete[] weights;
    delete[] bonePalette;
    delete[] normals;
    delete[] tangents;
    delete[] colours;
    for (zUV* set : uvSets)
        delete[] set;
}

bool zGeometryTrilist::Allocate(uint32_t vertexTotal, uint32_t triangleTotal, uint32_t bones, bool skinned,
                                bool withNormals, bool withTangents, bool withColours, const bool withUVSets[3])
{
    // Zero counts still get an array, so that a present part is never null.
    const auto size = [](uint64_t n) { return size_t(n > 0 ? n : 1); };
    vertexCount = vertexTotal;
    triangleCount = triangleTotal;
    boneCount = bones;
    vertices = new (std::nothrow) zVector[size(vertexTotal)];
    indices = new (std::nothrow) int32_t[size(3 * uint64_t(triangleTotal))];
    bonePalette = new (std::nothrow) uint16_t[size(bones)];
    bool ok = vertices != nullptr && indices != nullptr && bonePalette != nullptr;
    if (skinned)
        ok = ok && (weights = new (std::nothrow) zTrilistWeight[size(vertexTotal)]) != nullptr;
    if (withNormals)
        ok = ok && (normals = new (std::nothrow) zVector[size(vertexTotal)]) != nullptr;
    if (withTangents)
        ok = ok && (tangents = new (std::nothrow) zVector[size(2 * uint64_t(vertexTotal))]) != nullptr;
    if (withColours)
        ok = ok && (colours = new (std::nothrow) zVector[size(vertexTotal)]) != nullptr;
    for (uint32_t s = 0; s < 3; ++s) {
        if (withUVSets[s])
            ok = ok && (uvSets[s] = new (std::nothrow) zUV[size(vertexTotal)]) != nullptr;
    }
    return ok;
}

zLinkedList* zGeometryTrilist::GeometryToTriangleList(zGeometry* geometry, int32_t maxTriangles, int32_t cacheSize)
{
    *GlobalLogStream << "Converting geometry " << (geometry != nullptr ? geometry->id.Get() : "") << " to triangle list...\n";
    const uint32_t startTicks = GetClockTicks();
    if (geometry == nullptr || geometry->polygonCount == 0 || geometry->polygons == nullptr) {
        LogError(ConvertMethod) << "Invalid geometry (" << (geometry != nullptr ? geometry->id.Get() : "") << ").\n";
        return nullptr;
    }
    std::unique_ptr<zLinkedList> container(new (std::nothrow) zLinkedList);
    if (container == nullptr) {
        LogError(ConvertMethod) << "Failed to allocate trilist object.\n";
        return nullptr;
    }
    // Corners naming missing vertices would be read through below.
    if (!geometry->EnforceValid()) {
        LogError(ConvertMethod) << "Invalid geometry (" << geometry->id << ").\n";
        return nullptr;
    }
    if (!geometry->BuildPolygonIndex()) {
        LogError(ConvertMethod) << "Could not allocate memory to remap vertice!\n";
        return nullptr;
    }
    // Lists stay below the limit, so a limit under 2 could never hold a triangle.
    const int32_t limit = std::max(maxTriangles, 2);
    TrilistBuilder builder(*geometry, uint32_t(limit));
    if (!builder.AllocateTables()) {
        LogError(ConvertMethod) << "Could not allocate memory to remap vertice!\n";
        return nullptr;
    }

    // One table serves every material: a vertex that a material's polygons
    // use is either shared by polygons of that material only, and compared
    // as that material would have it, or by several materials, and never
    // shared.
    const bool flagged = geometry->FlagHomogeneousVertex(-1);
    for (uint32_t m = 0; flagged && m < geometry->materialCount; ++m) {
        if (!builder.BuildMaterial(m, *container)) {
            geometry->FreeHomogeneousTable();
            return nullptr;
        }
    }
    geometry->FreeHomogeneousTable();
    if (!flagged)
        return nullptr;

    if (builder.splitWarning)
        LogWarning(ConvertMethod) << "One or more polygon(s) exceeded the triangle limit (" << (limit - 1)
                                  << "), split over several lists.\n";
    const int32_t lists = container->GetCount();
    const float perListTriangles = lists > 0 ? float(builder.totalTriangles) / float(lists) : 0.0f;
    const float perListBones = lists > 0 ? float(builder.totalBones) / float(lists) : 0.0f;
    *GlobalLogStream << "Done, in " << unsigned((GetClockTicks() - startTicks) / 10) << "ms. Average: "
                     << perListTriangles << " tri/list, " << perListBones << " bone/list.\n";

    if (GlobalToolMode == 0 && cacheSize > 0)
        Optimize(container.get());
    return container.release();
}
