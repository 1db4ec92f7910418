#include "core/geometry/zGeometry.h"

#include "core/material/zMaterial.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

namespace {

const zVector Zero(0.0f, 0.0f, 0.0f);

// The first active stage feeding the "Normal" channel, read from the stages
// themselves so that a channel table not yet rebuilt cannot mislead it.
const zTextureStage* NormalStage(const zMaterial& material)
{
    for (const zTextureStage& stage : material.stages) {
        if (stage.active && stage.channel == zMaterial::ChannelNormal)
            return &stage;
    }
    return nullptr;
}

// Positions of the first three corners, false when the polygon has fewer or
// one of them names no vertex.
bool FirstThreeCorners(const zGeometry& g, const zPolygon& polygon, const zVector*& p0, const zVector*& p1,
                              const zVector*& p2)
{
    if (polygon.vertexCount < 3 || polygon.indices == nullptr)
        return false;
    const zVector* corners[3];
    for (int c = 0; c < 3; ++c) {
        const int32_t index = polygon.indices[c];
        if (index < 0 || uint32_t(index) >= g.vertexCount)
            return false;
        corners[c] = &g.vertices[index];
    }
    p0 = corners[0];
    p1 = corners[1];
    p2 = corners[2];
    return true;
}


// The corners of every vertex, in polygon and corner order, so that the k-th
// corner of vertex v is the k-th entry of v's vertex-to-polygon slice.
struct VertexCorners {
    bool Build(const zGeometry& g)
    {
        start.reset(new (std::nothrow) uint32_t[uint64_t(g.vertexCount) + 1]);
        uint64_t total = 0;
        for (uint32_t p = 0; p < g.polygonCount; ++p)
            total += g.polygons[p].indices != nullptr ? g.polygons[p].vertexCount : 0;
        polygon.reset(new (std::nothrow) uint32_t[total > 0 ? total : 1]);
        binding.reset(new (std::nothrow) uint32_t[total > 0 ? total : 1]);
        if (start == nullptr || polygon == nullptr || binding == nullptr)
            return false;
        std::fill(start.get(), start.get() + g.vertexCount + 1, 0u);
        ForEachCorner(g, [&](uint32_t, uint32_t, uint32_t v) { ++start[v + 1]; });
        for (uint32_t v = 0; v < g.vertexCount; ++v)
            start[v + 1] += start[v];
        // Filled from each vertex's start, which then stands at its end and
        // is moved back.
        ForEachCorner(g, [&](uint32_t p, uint32_t b, uint32_t v) {
            polygon[start[v]] = p;
            binding[start[v]] = b;
            ++start[v];
        });
        for (uint32_t v = g.vertexCount; v > 0; --v)
            start[v] = start[v - 1];
        start[0] = 0;
        return true;
    }

    template <class Visit> static void ForEachCorner(const zGeometry& g, Visit&& visit)
    {
        for (uint32_t p = 0; p < g.polygonCount; ++p) {
            const zPolygon& polygon = g.polygons[p];
            if (polygon.indices == nullptr)
                continue;
            for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
                const int32_t v = polygon.indices[c];
                if (v >= 0 && uint32_t(v) < g.vertexCount)
                    visit(p, uint32_t(g.polygonFirst[p]) + c, uint32_t(v));
            }
        }
    }

    // The most corners one vertex has.
    uint32_t Widest(uint32_t vertexCount) const
    {
        uint32_t widest = 0;
        for (uint32_t v = 0; v < vertexCount; ++v)
            widest = std::max(widest, start[v + 1] - start[v]);
        return widest;
    }

    // Vertex v's corners are start[v] .. start[v + 1] - 1.
    std::unique_ptr<uint32_t[]> start;
    std::unique_ptr<uint32_t[]> polygon;
    std::unique_ptr<uint32_t[]> binding;
};

// A vertex whose corners bring more different polygon frames than this is
// smoothed by direction cells instead of polygon by polygon: summing each
// frame over every polygon of the vertex would cost frames x polygons.
constexpr uint32_t MaxExactGroups = 256;

uint32_t Bits(float value)
{
    return std::bit_cast<uint32_t>(value);
}

// Direction cells: 6 cube faces of CellSide x CellSide, then one cell for
// zero vectors and one for vectors that are not finite.
constexpr uint32_t CellSide = 16;
constexpr uint32_t ZeroCell = 6 * CellSide * CellSide;
constexpr uint32_t NotFiniteCell = ZeroCell + 1;
constexpr uint32_t CellCount = NotFiniteCell + 1;

uint32_t CellOf(const zVector& n)
{
    if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
        return NotFiniteCell;
    const float a[3] = {std::fabs(n.x), std::fabs(n.y), std::fabs(n.z)};
    if (a[0] == 0.0f && a[1] == 0.0f && a[2] == 0.0f)
        return ZeroCell;
    const int axis = a[0] >= a[1] && a[0] >= a[2] ? 0 : (a[1] >= a[2] ? 1 : 2);
    const float c[3] = {n.x, n.y, n.z};
    const float major = a[axis];
    const auto index = [major](float value) {
        const float f = (value / major + 1.0f) * 0.5f * float(CellSide);
        return std::min(CellSide - 1, uint32_t(std::max(f, 0.0f)));
    };
    const uint32_t face = uint32_t(axis) * 2 + (c[axis] < 0.0f ? 1 : 0);
    return (face * CellSide + index(c[(axis + 1) % 3])) * CellSide + index(c[(axis + 2) % 3]);
}

// The vectors of one vertex's polygons gathered by direction cell, in the
// order the cells are first met: each cell's sum in polygon order and its
// first vector, which stands for the cell in the threshold tests.
struct Cells {
    void Add(const zVector& v)
    {
        const uint32_t cell = CellOf(v);
        if (!used[cell]) {
            used[cell] = true;
            first[cell] = v;
            sum[cell] = Zero;
            order[count++] = cell;
        }
        sum[cell] = sum[cell] + v;
    }
    void Clear()
    {
        for (uint32_t i = 0; i < count; ++i)
            used[order[i]] = false;
        count = 0;
    }

    bool used[CellCount] = {};
    zVector first[CellCount];
    zVector sum[CellCount];
    uint32_t order[CellCount];
    uint32_t count = 0;
};

// The groups of one vertex's corners that share a polygon normal and a
// threshold, and each corner's group.
struct NormalGroups {
    static constexpr uint16_t NoSlot = 0xFFFF;
    struct Group {
        uint32_t key[4];
        uint32_t polygon;
        zVector result;
    };

    // False when the corners bring more than MaxExactGroups groups.
    bool Collect(const VertexCorners& corners, uint32_t first, uint32_t last, const zVector* normals,
                 const float* thresholds)
    {
        count = 0;
        for (uint32_t i = first; i < last; ++i) {
            const uint32_t p = corners.polygon[i];
            const float threshold = thresholds[p];
            if (std::isnan(threshold)) {
                slot[i - first] = NoSlot;
                continue;
            }
            const zVector& n = normals[p];
            const uint32_t key[4] = {Bits(n.x), Bits(n.y), Bits(n.z), Bits(threshold)};
            uint32_t k = 0;
            while (k < count && !std::equal(key, key + 4, groups[k].key))
                ++k;
            if (k == count) {
                if (count == MaxExactGroups)
                    return false;
                std::copy(key, key + 4, groups[k].key);
                groups[k].polygon = p;
                ++count;
            }
            slot[i - first] = uint16_t(k);
        }
        return true;
    }

    // Each corner sums the cells whose first normal passes its threshold
    // against its polygon's normal, and always its own normal's cell.
    void Approximate(const VertexCorners& corners, uint32_t first, uint32_t last, const zVertexPolygons& uses,
                     const zVector* normals, const float* thresholds, zVector* out)
    {
        for (uint32_t u = 0; u < uses.count; ++u)
            cells.Add(normals[uses.polygons[u]]);
        for (uint32_t i = first; i < last; ++i) {
            const uint32_t p = corners.polygon[i];
            const float threshold = thresholds[p];
            if (std::isnan(threshold))
                continue;
            const zVector& own = normals[p];
            const uint32_t ownCell = CellOf(own);
            zVector sum = Zero;
            for (uint32_t k = 0; k < cells.count; ++k) {
                const uint32_t cell = cells.order[k];
                if ((cell == ownCell && cell < ZeroCell) || cells.first[cell].Dot(own) > threshold)
                    sum = sum + cells.sum[cell];
            }
            out[corners.binding[i]] = sum.Normalized();
        }
        cells.Clear();
    }

    // Room for the group of each corner of a vertex of that many corners.
    bool Reserve(uint32_t corners)
    {
        slot.reset(new (std::nothrow) uint16_t[corners > 0 ? corners : 1]);
        return slot != nullptr;
    }

    Group groups[MaxExactGroups];
    uint32_t count = 0;
    std::unique_ptr<uint16_t[]> slot;
    Cells cells;
};

// The same for tangent frames: corners whose polygons have the same tangent
// and bitangent.
struct TangentGroups {
    struct Group {
        uint32_t key[6];
        uint32_t polygon;
        zVector tangent;
        zVector bitangent;
    };

    bool Collect(const VertexCorners& corners, uint32_t first, uint32_t last, const zVector* frames)
    {
        count = 0;
        for (uint32_t i = first; i < last; ++i) {
            const uint32_t p = corners.polygon[i];
            const zVector& t = frames[2 * p];
            const zVector& b = frames[2 * p + 1];
            const uint32_t key[6] = {Bits(t.x), Bits(t.y), Bits(t.z), Bits(b.x), Bits(b.y), Bits(b.z)};
            uint32_t k = 0;
            while (k < count && !std::equal(key, key + 6, groups[k].key))
                ++k;
            if (k == count) {
                if (count == MaxExactGroups)
                    return false;
                std::copy(key, key + 6, groups[k].key);
                groups[k].polygon = p;
                ++count;
            }
            slot[i - first] = uint16_t(k);
        }
        return true;
    }

    // Each cell is turned as a whole by its first vector.
    void Approximate(const VertexCorners& corners, uint32_t first, uint32_t last, const zVertexPolygons& uses,
                     const zVector* frames, zVector* out)
    {
        for (uint32_t u = 0; u < uses.count; ++u) {
            tangentCells.Add(frames[2 * uses.polygons[u]]);
            bitangentCells.Add(frames[2 * uses.polygons[u] + 1]);
        }
        const auto turned = [](const Cells& cells, const zVector& own) {
            zVector sum = Zero;
            for (uint32_t k = 0; k < cells.count; ++k) {
                const uint32_t cell = cells.order[k];
                sum = sum + (cells.first[cell].Dot(own) < 0.0f ? -cells.sum[cell] : cells.sum[cell]);
            }
            return sum.Normalized();
        };
        for (uint32_t i = first; i < last; ++i) {
            const uint32_t p = corners.polygon[i];
            out[2 * uint64_t(corners.binding[i])] = turned(tangentCells, frames[2 * p]);
            out[2 * uint64_t(corners.binding[i]) + 1] = turned(bitangentCells, frames[2 * p + 1]);
        }
        tangentCells.Clear();
        bitangentCells.Clear();
    }

    // Room for the group of each corner of a vertex of that many corners.
    bool Reserve(uint32_t corners)
    {
        slot.reset(new (std::nothrow) uint16_t[corners > 0 ? corners : 1]);
        return slot != nullptr;
    }

    Group groups[MaxExactGroups];
    uint32_t count = 0;
    std::unique_ptr<uint16_t[]> slot;
    Cells tangentCells;
    Cells bitangentCells;
};

} // namespace

bool zGeometry::BindingCountHoldsPolygons()
{
    // The per-binding arrays are written by binding number, so a count below
    // the polygons' corners (not only a missing one) would write past them.
    const uint32_t declared = bindingCount;
    CountBindings();
    if (declared == 0 || declared < bindingCount)
        return false;
    bindingCount = declared;
    return true;
}

bool zGeometry::ComputePolygonNormal()
{
    if (polygonNormals != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    *GlobalLogStream << "Compute polygon normal for " << id << ".\n";
    zVector* normals = new (std::nothrow) zVector[polygonCount];
    if (normals == nullptr) {
        LogError("zGeometry::ComputePolygonNormal") << "zGeometry::ComputePolygonNormal() failed to allocate buffer!\n";
        return false;
    }
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zVector* p0 = nullptr;
        const zVector* p1 = nullptr;
        const zVector* p2 = nullptr;
        normals[p] = FirstThreeCorners(*this, polygons[p], p0, p1, p2) ? (*p1 - *p0).Cross(*p2 - *p0).Normalized() : Zero;
    }
    polygonNormals = normals;
    return true;
}

bool zGeometry::ComputePolygonTangent()
{
    if (polygonTangents != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    // The handedness test needs the normals; the bindings locate the UVs.
    if (!ComputePolygonNormal() || !BuildPolygonIndex())
        return false;
    // Every polygon starts with zero vectors, so that one the pass skips adds
    // nothing to the vertex sums that read it.
    zVector* tangents = new (std::nothrow) zVector[2 * uint64_t(polygonCount)];
    if (tangents == nullptr) {
        LogError("zGeometry::ComputePolygonTangent") << "zGeometry::ComputePolygonTangent() failed to allocate buffer!\n";
        return false;
    }
    bool missingUV = false;
    for (uint32_t p = 0; p < polygonCount; ++p) {
        tangents[2 * p] = Zero;
        tangents[2 * p + 1] = Zero;
        const zPolygon& polygon = polygons[p];
        const zVector* p0 = nullptr;
        const zVector* p1 = nullptr;
        const zVector* p2 = nullptr;
        if (!FirstThreeCorners(*this, polygon, p0, p1, p2))
            continue;
        const zMaterial* material = GetMaterialFromIndex(polygon.material);
        const zTextureStage* stage = material != nullptr ? NormalStage(*material) : nullptr;
        if (stage == nullptr)
            continue;
        if (stage->uvIndex < 0 || uint32_t(stage->uvIndex) >= uvSetCount || uint32_t(stage->uvIndex) >= MaxUVSets
            || uvSets[stage->uvIndex] == nullptr) {
            missingUV = true;
            continue;
        }
        const zUV* uv = uvSets[stage->uvIndex] + polygonFirst[p];
        const zVector e0 = *p0 - *p1;
        const zVector e2 = *p2 - *p1;
        zVector t = -(e0 * (uv[2].v - uv[1].v) - e2 * (uv[0].v - uv[1].v)).Normalized();
        zVector b = (e0 * (uv[2].u - uv[1].u) - e2 * (uv[0].u - uv[1].u)).Normalized();
        if (polygonNormals[p].Dot(t.Cross(b)) < 0.0f) {
            t = -t;
            b = -b;
        }
        tangents[2 * p] = t;
        tangents[2 * p + 1] = b;
    }
    if (missingUV)
        LogWarning("zGeometry::ComputePolygonTangent") << "Missing UV sets to compute tangent frame in '" << id << "'.\n";
    polygonTangents = tangents;
    return true;
}

bool zGeometry::ComputeVertexNormal(bool force)
{
    if (!force && vertexNormals != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    if (!BindingCountHoldsPolygons())
        LogError("zGeometry::ComputeVertexNormal")
            << "The total binding count is wrong. Check that the importer did properly update this flag.\n";
    if (!ComputePolygonNormal() || !ComputePolygonTangent() || !BuildVertexToPolygon() || !BuildPolygonIndex())
        return false;
    *GlobalLogStream << "Compute vertex normal for " << id << ".\n";
    std::unique_ptr<zVector[]> normals(new (std::nothrow) zVector[bindingCount > 0 ? bindingCount : 1]);
    // The threshold of each polygon's material, NaN for a polygon whose
    // corners all get zero (no material or no corners).
    std::unique_ptr<float[]> thresholds(new (std::nothrow) float[polygonCount]);
    VertexCorners corners;
    // Some 30 KB: not for the stack of a loading thread.
    std::unique_ptr<NormalGroups> groups(new (std::nothrow) NormalGroups);
    if (normals == nullptr || thresholds == nullptr || groups == nullptr || !corners.Build(*this)
        || !groups->Reserve(corners.Widest(vertexCount))) {
        LogError("zGeometry::ComputeVertexNormal") << "zGeometry::ComputeVertexNormal() failed to allocate buffer!\n";
        return false;
    }
    const zVector unused = Zero.Normalized();
    for (uint32_t p = 0; p < polygonCount; ++p) {
        const zPolygon& polygon = polygons[p];
        zVector* out = normals.get() + polygonFirst[p];
        zMaterial* material = GetMaterialFromIndex(polygon.material);
        if (material == nullptr || polygon.indices == nullptr) {
            std::fill(out, out + polygon.vertexCount, Zero);
            thresholds[p] = std::numeric_limits<float>::quiet_NaN();
            continue;
        }
        // A threshold that is not a number (read from a file) would let no
        // polygon in, not even the corner's own: it falls back to the default.
        float threshold = std::isnan(material->maxSmoothingAngle)
            ? 0.0f
            : std::clamp(material->maxSmoothingAngle, -1.0f, 1.0f);
        if (threshold == 1.0f)
            threshold = -1.0f;
        material->maxSmoothingAngle = threshold;
        thresholds[p] = threshold;
        // Corners naming no vertex keep this.
        std::fill(out, out + polygon.vertexCount, unused);
    }

    // Corners of one vertex whose polygons have the same normal and threshold
    // get the same sum: each such group is summed once, over the vertex's
    // polygons in their order, as the rule reads.
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const uint32_t first = corners.start[v];
        const uint32_t last = corners.start[v + 1];
        if (first == last)
            continue;
        const zVertexPolygons& uses = vertexToPolygon[v];
        if (!groups->Collect(corners, first, last, polygonNormals, thresholds.get())) {
            groups->Approximate(corners, first, last, uses, polygonNormals, thresholds.get(), normals.get());
            continue;
        }
        for (uint32_t k = 0; k < groups->count; ++k) {
            NormalGroups::Group& group = groups->groups[k];
            const zVector& own = polygonNormals[group.polygon];
            const float threshold = thresholds[group.polygon];
            zVector sum = Zero;
            for (uint32_t u = 0; u < uses.count; ++u) {
                const zVector& other = polygonNormals[uses.polygons[u]];
                if (other.Dot(own) > threshold)
                    sum = sum + other;
            }
            group.result = sum.Normalized();
        }
        for (uint32_t i = first; i < last; ++i) {
            if (groups->slot[i - first] != NormalGroups::NoSlot)
                normals[corners.binding[i]] = groups->groups[groups->slot[i - first]].result;
        }
    }
    delete[] vertexNormals;
    vertexNormals = normals.release();
    return true;
}

bool zGeometry::ComputeVertexTangent(bool force)
{
    if (!force && vertexTangents != nullptr)
        return true;
    if (polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    if (!BindingCountHoldsPolygons())
        LogError("zGeometry::ComputeVertexTangent")
            << "ComputeVertexTangent() pol_binding_count member wasn't set! Check that the importer updates this flag.\n";
    if (!ComputePolygonTangent() || !BuildVertexToPolygon() || !BuildPolygonIndex())
        return false;
    std::unique_ptr<zVector[]> tangents(new (std::nothrow) zVector[2 * uint64_t(bindingCount > 0 ? bindingCount : 1)]);
    VertexCorners corners;
    std::unique_ptr<TangentGroups> groups(new (std::nothrow) TangentGroups);
    if (tangents == nullptr || groups == nullptr || !corners.Build(*this)
        || !groups->Reserve(corners.Widest(vertexCount))) {
        LogError("zGeometry::ComputeVertexTangent") << "zGeometry::ComputeVertexTangent() failed to allocate buffer!\n";
        return false;
    }
    const zVector unused = Zero.Normalized();
    for (uint32_t p = 0; p < polygonCount; ++p) {
        zVector* out = tangents.get() + 2 * uint64_t(polygonFirst[p]);
        std::fill(out, out + 2 * uint64_t(polygons[p].vertexCount), unused);
    }

    // As for the normals: corners of one vertex whose polygons have the same
    // tangent and bitangent share one pair of sums.
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const uint32_t first = corners.start[v];
        const uint32_t last = corners.start[v + 1];
        if (first == last)
            continue;
        const zVertexPolygons& uses = vertexToPolygon[v];
        if (!groups->Collect(corners, first, last, polygonTangents)) {
            groups->Approximate(corners, first, last, uses, polygonTangents, tangents.get());
            continue;
        }
        for (uint32_t k = 0; k < groups->count; ++k) {
            TangentGroups::Group& group = groups->groups[k];
            const zVector& ownT = polygonTangents[2 * group.polygon];
            const zVector& ownB = polygonTangents[2 * group.polygon + 1];
            zVector sumT = Zero;
            zVector sumB = Zero;
            for (uint32_t u = 0; u < uses.count; ++u) {
                const zVector& t = polygonTangents[2 * uses.polygons[u]];
                const zVector& b = polygonTangents[2 * uses.polygons[u] + 1];
                sumT = sumT + (t.Dot(ownT) < 0.0f ? -t : t);
                sumB = sumB + (b.Dot(ownB) < 0.0f ? -b : b);
            }
            group.tangent = sumT.Normalized();
            group.bitangent = sumB.Normalized();
        }
        for (uint32_t i = first; i < last; ++i) {
            const TangentGroups::Group& group = groups->groups[groups->slot[i - first]];
            tangents[2 * uint64_t(corners.binding[i])] = group.tangent;
            tangents[2 * uint64_t(corners.binding[i]) + 1] = group.bitangent;
        }
    }
    delete[] vertexTangents;
    vertexTangents = tangents.release();
    return true;
}

bool zGeometry::ComputeAverageVertexNormals(zVector* out)
{
    if (out == nullptr || polygonCount == 0 || vertexCount == 0 || polygons == nullptr || vertices == nullptr)
        return false;
    if (!ComputePolygonNormal() || !BuildVertexToPolygon())
        return false;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const zVertexPolygons& uses = vertexToPolygon[v];
        zVector sum = Zero;
        for (uint32_t u = 0; u < uses.count; ++u)
            sum = sum + polygonNormals[uses.polygons[u]];
        out[v] = uses.count > 0 ? sum * (1.0f / float(uses.count)) : Zero;
    }
    return true;
}
