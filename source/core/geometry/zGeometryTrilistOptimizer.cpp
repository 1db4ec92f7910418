#include "core/geometry/zGeometryTrilist.h"

#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

// The order is the greedy one: each step takes the triangle with the highest
// sum of vertex scores, the first of equals. Only vertices in the simulated
// cache change score (one pushed out is rescored once and then keeps its
// score until it comes back), so the triangles split in two:
// - those with a cached corner, found each step through the cached vertices'
//   triangle lists and summed afresh;
// - the others, whose sums cannot change while no corner is cached. Those no
//   step has touched yet sum to 0 (no corner scored) and come out in index
//   order, so a cursor over them finds the first; the rest, the few around
//   the vertices pushed out of the cache, are kept in a heap ordered by
//   (sum, -index). A heap of every triangle would work as well but touches
//   memory all over a large list at each step, which made the time per
//   triangle grow with the list.
// A triangle moves between the two only when one of its vertices enters or
// leaves the cache, so a step costs about the cached vertices' valence plus a
// few heap operations instead of a pass over every triangle. Sums are formed
// exactly as a full scan forms them, so the order is the same to the bit.
//
// A vertex used by many triangles (the centre of a large polygon's fan) would
// make every step cost its valence. For such a hub the step skips its list
// when a bound on the sums there falls below the best found elsewhere; the
// bound covers the hub's triangles with no other cached corner of small
// valence (those are summed through that corner anyway).

namespace {

template <class T> std::unique_ptr<T[]> NewArray(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count > 0 ? count : 1]);
}

// Working memory of the optimiser, sized once for the largest list.
class CacheOptimizer {
public:
    bool Allocate(uint32_t maxVertices, uint32_t maxTriangles)
    {
        records = NewArray<zTrilistVertexRecord>(maxVertices);
        counted = NewArray<uint8_t>(maxVertices);
        hub = NewArray<uint8_t>(maxVertices);
        hubBound = NewArray<double>(maxVertices);
        adjacencyStart = NewArray<uint32_t>(size_t(maxVertices) + 1);
        adjacencyEnd = NewArray<uint32_t>(maxVertices);
        adjacency = NewArray<uint32_t>(3 * size_t(maxTriangles));
        emitted = NewArray<uint8_t>(maxTriangles);
        cachedCorners = NewArray<uint8_t>(maxTriangles);
        heapScore = NewArray<float>(maxTriangles);
        heap = NewArray<uint32_t>(maxTriangles);
        heapPosition = NewArray<uint32_t>(maxTriangles);
        untouched = NewArray<uint8_t>(maxTriangles);
        corners = NewArray<int32_t>(3 * size_t(maxTriangles));
        original = NewArray<uint32_t>(maxTriangles);
        internal = NewArray<uint32_t>(maxTriangles);
        return records && counted && hub && hubBound && adjacencyStart && adjacencyEnd && adjacency && emitted && cachedCorners
            && heapScore && heap && heapPosition && untouched && corners && original && internal;
    }

    enum class Result { Ordered, OutsideVertices, TooCostly };

    // Writes the new order of a list's triangles to out; with out unwritten
    // (or part written) when an index lies outside the vertices or when the
    // greedy walk would cost more than WorkPerTriangle list entries a
    // triangle, as lists of many triangles over the same few vertices (one
    // triangle repeated) make it cost their square.
    Result Order(const int32_t* list, uint32_t triangleCount, uint32_t vertexCount, int32_t* out)
    {
        const uint32_t indexCount = 3 * triangleCount;
        for (uint32_t i = 0; i < indexCount; ++i) {
            if (list[i] < 0 || uint32_t(list[i]) >= vertexCount)
                return Result::OutsideVertices;
        }
        work = 0;
        const uint64_t budget = WorkPerTriangle * uint64_t(triangleCount) + WorkAllowance;
        for (uint32_t v = 0; v < vertexCount; ++v) {
            records[v] = zTrilistVertexRecord{};
            counted[v] = 0;
        }
        Renumber(list, triangleCount, vertexCount);
        std::fill(cache, cache + zGeometryTrilist::CacheSize, -1);

        // A vertex used twice by one triangle counts, and is listed, twice.
        for (uint32_t i = 0; i < indexCount; ++i)
            ++records[indices[i]].remaining;
        // Each vertex's entries are filled from its end back, leaving
        // adjacencyStart[v] at its first.
        uint32_t total = 0;
        for (uint32_t v = 0; v <= vertexCount; ++v) {
            total += v < vertexCount ? uint32_t(records[v].remaining) : 0;
            adjacencyStart[v] = total;
            if (v < vertexCount) {
                adjacencyEnd[v] = total;
                hub[v] = records[v].remaining > HubValence ? 1 : 0;
            }
        }
        for (uint32_t i = indexCount; i-- > 0;)
            adjacency[--adjacencyStart[indices[i]]] = i / 3;

        // Every triangle starts untouched, with a sum of 0.
        for (uint32_t t = 0; t < triangleCount; ++t) {
            emitted[t] = 0;
            cachedCorners[t] = 0;
            untouched[t] = 1;
        }
        heapSize = 0;
        this->triangleCount = triangleCount;
        firstUntouched = 0;
        uint32_t firstLeft = 0;

        for (uint32_t step = 0; step < triangleCount; ++step) {
            uint32_t chosen = Choose();
            if (chosen == NoTriangle) {
                while (emitted[internal[firstLeft]] != 0)
                    ++firstLeft;
                chosen = internal[firstLeft];
            }
            if (cachedCorners[chosen] == 0)
                Remove(chosen);
            emitted[chosen] = 1;
            int32_t evicted[3];
            int32_t evictedCount = 0;
            for (uint32_t k = 0; k < 3; ++k) {
                const int32_t v = indices[3 * chosen + k];
                out[3 * step + k] = v;
                const int32_t pushedOut = zGeometryTrilist::TouchCacheVertex(v, records.get(), cache);
                if (pushedOut >= 0)
                    evicted[evictedCount++] = pushedOut;
                --records[v].remaining;
            }
            for (int32_t slot : cache) {
                if (slot >= 0)
                    zGeometryTrilist::ScoreVertex(records[slot]);
            }
            // Entries first, so that a triangle losing one cached corner and
            // gaining another never passes through the heap.
            for (uint32_t k = 0; k < 3; ++k)
                Enter(indices[3 * chosen + k]);
            for (int32_t i = 0; i < evictedCount; ++i)
                Leave(evicted[i]);
            if (work > budget)
                return Result::TooCostly;
        }
        return Result::Ordered;
    }

private:
    static constexpr uint64_t WorkPerTriangle = 2048;
    static constexpr uint64_t WorkAllowance = 1u << 20;
    static constexpr uint32_t NoTriangle = ~0u;
    // Vertices used by more triangles than this are hubs.
    static constexpr int32_t HubValence = 24;
    // No vertex scores more: cache term 1 at position 3 plus 2 for one triangle left.
    static constexpr double MaxScore = 3.0;
    // Above the rounding of two float additions of scores up to MaxScore.
    static constexpr double BoundSlack = 1e-5;
    static constexpr double NoBound = -std::numeric_limits<double>::infinity();

    float Sum(uint32_t t) const
    {
        const int32_t* corner = indices + 3 * t;
        return records[corner[0]].score + records[corner[1]].score + records[corner[2]].score;
    }

    // The triangle a full scan would take: the highest sum above -1, the
    // lowest index among equals; NoTriangle when none is above -1.
    uint32_t Choose()
    {
        Best best;
        if (heapSize > 0 && heapScore[heap[0]] > best.score) {
            best.triangle = heap[0];
            best.score = heapScore[best.triangle];
        }
        while (firstUntouched < triangleCount && untouched[firstUntouched] == 0)
            ++firstUntouched;
        if (firstUntouched < triangleCount
            && (0.0f > best.score || (0.0f == best.score && Earlier(internal[firstUntouched], best.triangle)))) {
            best.triangle = internal[firstUntouched];
            best.score = 0.0f;
        }
        for (int32_t v : cache) {
            if (v < 0)
                break;
            if (hub[v] == 0)
                Scan(v, best);
        }
        for (int32_t v : cache) {
            if (v < 0)
                break;
            if (hub[v] == 0)
                continue;
            if (best.triangle != NoTriangle && double(records[v].score) + hubBound[v] + BoundSlack < double(best.score))
                continue;
            hubBound[v] = Scan(v, best);
        }
        return best.triangle;
    }

    struct Best {
        uint32_t triangle = NoTriangle;
        float score = -1.0f;
    };

    // Sums the triangles left around v into best, dropping emitted ones from
    // the list on the way; returns the bound of v's triangles as a hub.
    double Scan(int32_t v, Best& best)
    {
        double bound = NoBound;
        uint32_t a = adjacencyStart[v];
        uint32_t end = adjacencyEnd[v];
        work += end - a;
        while (a < end) {
            const uint32_t t = adjacency[a];
            if (emitted[t] != 0) {
                adjacency[a] = adjacency[--end];
                continue;
            }
            const float score = Sum(t);
            if (score > best.score || (score == best.score && Earlier(t, best.triangle))) {
                best.triangle = t;
                best.score = score;
            }
            if (hub[v] != 0)
                bound = std::max(bound, OthersBound(t, v));
            ++a;
        }
        adjacencyEnd[v] = end;
        return bound;
    }

    // A bound on the sum of t's corners other than one use of the cached hub
    // h: cached hubs count the highest score there is, uncached vertices their
    // fixed score. NoBound when another corner is cached and of small valence.
    double OthersBound(uint32_t t, int32_t h) const
    {
        double sum = 0.0;
        bool skipped = false;
        for (uint32_t k = 0; k < 3; ++k) {
            const int32_t v = indices[3 * t + k];
            if (v == h && !skipped) {
                skipped = true;
            } else if (records[v].cachePosition < 0) {
                sum += records[v].score;
            } else if (hub[v] != 0) {
                sum += MaxScore;
            } else {
                return NoBound;
            }
        }
        return sum;
    }

    // v has just left the cache with a fixed score: the cached hubs around its
    // triangles take those triangles into their bounds.
    void RaiseHubBounds(int32_t v)
    {
        work += adjacencyEnd[v] - adjacencyStart[v];
        for (uint32_t a = adjacencyStart[v]; a < adjacencyEnd[v]; ++a) {
            const uint32_t t = adjacency[a];
            if (emitted[t] != 0)
                continue;
            for (uint32_t k = 0; k < 3; ++k) {
                const int32_t h = indices[3 * t + k];
                if (h != v && hub[h] != 0 && records[h].cachePosition >= 0)
                    hubBound[h] = std::max(hubBound[h], OthersBound(t, h));
            }
        }
    }

    // A vertex now in the cache: its triangles leave the heap or the untouched.
    void Enter(int32_t v)
    {
        if (counted[v] != 0 || records[v].cachePosition < 0)
            return;
        counted[v] = 1;
        work += adjacencyEnd[v] - adjacencyStart[v];
        for (uint32_t a = adjacencyStart[v]; a < adjacencyEnd[v]; ++a) {
            const uint32_t t = adjacency[a];
            if (emitted[t] == 0 && cachedCorners[t]++ == 0)
                Remove(t);
        }
        // Unknown until its list is next summed; that sum also covers the
        // triangles other cached hubs share with it.
        if (hub[v] != 0)
            hubBound[v] = std::numeric_limits<double>::infinity();
    }

    // A vertex pushed out of the cache: triangles left with no cached corner
    // go back to the heap with their sum, fixed from now on.
    void Leave(int32_t v)
    {
        if (counted[v] == 0 || records[v].cachePosition >= 0)
            return;
        counted[v] = 0;
        work += adjacencyEnd[v] - adjacencyStart[v];
        for (uint32_t a = adjacencyStart[v]; a < adjacencyEnd[v]; ++a) {
            const uint32_t t = adjacency[a];
            if (emitted[t] == 0 && --cachedCorners[t] == 0) {
                heapScore[t] = Sum(t);
                Insert(t);
            }
        }
        RaiseHubBounds(v);
    }

    // True when triangle a is before b in the list (any triangle is before
    // NoTriangle).
    bool Earlier(uint32_t a, uint32_t b) const { return b == NoTriangle || original[a] < original[b]; }

    // Numbers the triangles in the order of their lowest corner, a counting
    // sort that keeps list order among equals: triangles close in the mesh
    // get close numbers whatever order the list gives them, so that a step
    // touches memory in a few places rather than all over a large list.
    // corners holds the triangles in that order; original and internal map
    // the numbers both ways, and every tie goes by the list order.
    void Renumber(const int32_t* indices, uint32_t triangleCount, uint32_t vertexCount)
    {
        // adjacencyStart serves as the buckets; it is filled afresh after.
        std::fill(adjacencyStart.get(), adjacencyStart.get() + vertexCount + 1, 0u);
        const auto lowest = [indices](uint32_t t) {
            return uint32_t(std::min({indices[3 * t], indices[3 * t + 1], indices[3 * t + 2]}));
        };
        for (uint32_t t = 0; t < triangleCount; ++t)
            ++adjacencyStart[lowest(t) + 1];
        for (uint32_t v = 0; v < vertexCount; ++v)
            adjacencyStart[v + 1] += adjacencyStart[v];
        for (uint32_t t = 0; t < triangleCount; ++t) {
            const uint32_t i = adjacencyStart[lowest(t)]++;
            original[i] = t;
            internal[t] = i;
            std::copy(indices + 3 * t, indices + 3 * t + 3, corners.get() + 3 * size_t(i));
        }
        this->indices = corners.get();
    }

    // True when triangle a comes out before triangle b.
    bool Before(uint32_t a, uint32_t b) const
    {
        return heapScore[a] > heapScore[b] || (heapScore[a] == heapScore[b] && original[a] < original[b]);
    }

    void Place(uint32_t at, uint32_t t)
    {
        heap[at] = t;
        heapPosition[t] = at;
    }

    void SiftUp(uint32_t at)
    {
        const uint32_t t = heap[at];
        while (at > 0) {
            const uint32_t parent = (at - 1) / 2;
            if (!Before(t, heap[parent]))
                break;
            Place(at, heap[parent]);
            at = parent;
        }
        Place(at, t);
    }

    void SiftDown(uint32_t at)
    {
        const uint32_t t = heap[at];
        for (;;) {
            uint32_t child = 2 * at + 1;
            if (child >= heapSize)
                break;
            if (child + 1 < heapSize && Before(heap[child + 1], heap[child]))
                ++child;
            if (!Before(heap[child], t))
                break;
            Place(at, heap[child]);
            at = child;
        }
        Place(at, t);
    }

    void Insert(uint32_t t)
    {
        Place(heapSize++, t);
        SiftUp(heapSize - 1);
    }

    // Takes t out of the untouched or out of the heap.
    void Remove(uint32_t t)
    {
        if (untouched[original[t]] != 0) {
            untouched[original[t]] = 0;
            return;
        }
        const uint32_t at = heapPosition[t];
        const uint32_t last = heap[--heapSize];
        if (at == heapSize)
            return;
        Place(at, last);
        SiftUp(at);
        SiftDown(heapPosition[last]);
    }

    std::unique_ptr<zTrilistVertexRecord[]> records;
    // 1 while a vertex's corners are counted in cachedCorners.
    std::unique_ptr<uint8_t[]> counted;
    std::unique_ptr<uint8_t[]> hub;
    // For a cached hub, a bound on OthersBound over its triangles left.
    std::unique_ptr<double[]> hubBound;
    // Triangles of each vertex: adjacency[adjacencyStart[v] .. adjacencyEnd[v]),
    // emitted ones dropped as they are met.
    std::unique_ptr<uint32_t[]> adjacencyStart;
    std::unique_ptr<uint32_t[]> adjacencyEnd;
    std::unique_ptr<uint32_t[]> adjacency;
    std::unique_ptr<uint8_t[]> emitted;
    // Corners of each triangle whose vertex is cached; the heap holds the
    // triangles left with none.
    std::unique_ptr<uint8_t[]> cachedCorners;
    std::unique_ptr<float[]> heapScore;
    std::unique_ptr<uint32_t[]> heap;
    std::unique_ptr<uint32_t[]> heapPosition;
    uint32_t heapSize = 0;
    // 1 while a triangle has never had a cached corner; no untouched triangle
    // lies before firstUntouched.
    std::unique_ptr<uint8_t[]> untouched;
    uint32_t firstUntouched = 0;
    std::unique_ptr<int32_t[]> corners;
    std::unique_ptr<uint32_t[]> original;
    std::unique_ptr<uint32_t[]> internal;
    uint32_t triangleCount = 0;
    const int32_t* indices = nullptr;
    int32_t cache[zGeometryTrilist::CacheSize];
    // List entries visited by the walk so far.
    uint64_t work = 0;
};

} // namespace

namespace {

// The two terms of a vertex score, worked out once for the cache positions
// and the usual triangle counts; the powers are the same calls either way.
struct ScoreTerms {
    static constexpr int32_t TabledCounts = 256;

    ScoreTerms()
    {
        for (int32_t p = 0; p < zGeometryTrilist::CacheSize; ++p)
            cache[p] = p < 3 ? 0.75f : std::pow(1.0f - float(p - 3) / 29.0f, 1.5f);
        for (int32_t n = 1; n < TabledCounts; ++n)
            valence[n] = Valence(n);
    }
    static float Valence(int32_t remaining) { return 2.0f * std::pow(float(remaining), -0.5f); }

    float cache[zGeometryTrilist::CacheSize];
    float valence[TabledCounts] = {};
};

} // namespace

void zGeometryTrilist::ScoreVertex(zTrilistVertexRecord& vertex)
{
    static const ScoreTerms terms;
    if (vertex.remaining <= 0) {
        vertex.score = -1.0f;
        return;
    }
    const float cacheTerm = vertex.cachePosition >= 0 && vertex.cachePosition < CacheSize
        ? terms.cache[vertex.cachePosition]
        : 0.0f;
    const float valenceTerm = vertex.remaining < ScoreTerms::TabledCounts ? terms.valence[vertex.remaining]
                                                                          : ScoreTerms::Valence(vertex.remaining);
    vertex.score = cacheTerm + valenceTerm;
}

int32_t zGeometryTrilist::TouchCacheVertex(int32_t vertex, zTrilistVertexRecord* records, int32_t* cache)
{
    int32_t slot = 0;
    while (slot < CacheSize && cache[slot] != vertex)
        ++slot;
    int32_t evicted = -1;
    if (slot == CacheSize) {
        slot = CacheSize - 1;
        evicted = cache[slot];
        if (evicted >= 0) {
            records[evicted].cachePosition = -1;
            ScoreVertex(records[evicted]);
        }
    }
    for (int32_t i = slot; i > 0; --i) {
        cache[i] = cache[i - 1];
        if (cache[i] >= 0)
            ++records[cache[i]].cachePosition;
    }
    cache[0] = vertex;
    records[vertex].cachePosition = 0;
    return evicted;
}

void zGeometryTrilist::Optimize(zLinkedList* container)
{
    if (container == nullptr)
        return;
    *GlobalLogStream << "Optimizing triangle list...\n";
    uint32_t maxVertices = 0;
    uint32_t maxTriangles = 0;
    zLinkedListCursor cursor;
    while (zGeometryTrilist* list = container->NextAs<zGeometryTrilist>(cursor)) {
        maxVertices = std::max(maxVertices, list->vertexCount);
        maxTriangles = std::max(maxTriangles, list->triangleCount);
    }
    std::unique_ptr<CacheOptimizer> work(new (std::nothrow) CacheOptimizer);
    if (work == nullptr || !work->Allocate(maxVertices, maxTriangles)) {
        LogError("zGeometryTrilist::Optimize") << "Failed to allocate working memory, nothing reordered.\n";
        return;
    }
    cursor = {};
    bool costlyWarned = false;
    while (zGeometryTrilist* list = container->NextAs<zGeometryTrilist>(cursor)) {
        int32_t* ordered = new (std::nothrow) int32_t[list->triangleCount > 0 ? 3 * size_t(list->triangleCount) : 1];
        if (ordered == nullptr) {
            LogError("zGeometryTrilist::Optimize") << "Failed to allocate triangle list ordered index list, skipping.\n";
            continue;
        }
        const CacheOptimizer::Result result = list->triangleCount == 0 ? CacheOptimizer::Result::Ordered
            : list->indices == nullptr ? CacheOptimizer::Result::OutsideVertices
                                       : work->Order(list->indices, list->triangleCount, list->vertexCount, ordered);
        if (result == CacheOptimizer::Result::OutsideVertices) {
            LogWarning("zGeometryTrilist::Optimize") << "Triangle list refers to vertices it does not hold, skipping.\n";
            delete[] ordered;
            continue;
        }
        if (result == CacheOptimizer::Result::TooCostly) {
            if (!costlyWarned)
                LogWarning("zGeometryTrilist::Optimize")
                    << "Triangle list of few vertices shared by too many triangles, kept in its order.\n";
            costlyWarned = true;
            delete[] ordered;
            continue;
        }
        delete[] list->indices;
        list->indices = ordered;
    }
}

bool zGeometryTrilist::OptimizeIndices(int32_t* indices, uint32_t triangleCount, uint32_t vertexCount)
{
    if (triangleCount == 0)
        return true;
    std::unique_ptr<CacheOptimizer> work(new (std::nothrow) CacheOptimizer);
    std::unique_ptr<int32_t[]> ordered(new (std::nothrow) int32_t[3 * size_t(triangleCount)]);
    if (indices == nullptr || work == nullptr || ordered == nullptr || !work->Allocate(vertexCount, triangleCount)
        || work->Order(indices, triangleCount, vertexCount, ordered.get()) != CacheOptimizer::Result::Ordered)
        return false;
    std::copy(ordered.get(), ordered.get() + 3 * size_t(triangleCount), indices);
    return true;
}
