#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "physic/collision/GColContact.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GColPair.h"
#include "physic/collision/GColShape.h"

#include <cstdint>

class zBIH;
class zGeometry;
class zMetaFile;
class zMetaTag;
class zOBB;
class zRenderer;

// The collision world of one scene: its collision items, the sweep-and-prune
// broad phase, the shape-pair tests and the pair table the scene reads.
class GCollide {
public:
    static constexpr uint32_t DefaultSAPSize = 4096;
    // Requests at or above this many SAP entries count as failed allocations.
    static constexpr uint32_t SAPSizeLimit = 1u << 30;
    // Triangle indices gathered from a mesh tree per batch.
    static constexpr uint32_t GatherBatchSize = 1024;
    // Box-polygon clipping room; larger polygons are tested as their fan triangles.
    static constexpr uint32_t MaxPolygonVertices = 64;
    static constexpr uint32_t ConvexPointCapacity = 8;
    static constexpr uint32_t MeshPointCapacity = 32;
    // Pairs the detection passes store in the table between two clears; the
    // first one refused logs one warning.
    static constexpr uint32_t MaxPairs = 8192;

    // Whether anything reads the manifolds of an item; a pair of two items
    // whose manifolds nobody reads is not stored. Asked once per pass for
    // every active item (GColItem::pairsRead). Null (the default): every
    // pair is read.
    using PairReader = bool (*)(void* context, const GColItem* item);

    GCollide();
    ~GCollide();
    GCollide(const GCollide&) = delete;
    GCollide& operator=(const GCollide&) = delete;

    // Item management. The lists only link items; their owners delete them.
    void AddItem(GColItem* item);
    bool RemoveItem(GColItem* item);
    bool SetItemInactive(GColItem* item, bool inactive);
    void ResetItems();
    // Empties both lists without deleting the items (their owners do) and
    // the sweep-and-prune array.
    void ClearItems();
    // The "GCollide" tag; with apply false only its name is checked.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag, bool apply);
    zMetaTag* AsMetaTag(const zMetaFile* document = nullptr) const;
    bool IsActive(const GColItem* item) const { return item != nullptr && item->worldList == &activeItems; }
    bool IsInactive(const GColItem* item) const { return item != nullptr && item->worldList == &inactiveItems; }

    // Replaces the SAP array by one of n slots, keeping the entries. A size
    // below the current count, or at the limit, is refused with an error line.
    bool SAP_Allocate(uint32_t n);
    void SAP_Free();
    // Bidirectional bubble sort on minimum x, stable.
    void SAP_Sort();

    // The detection pass: writes contact nodes and points for the solver
    // (bounded by the capacities) and, with sweep and prune, fills the pair
    // table. Returns the number of nodes written.
    uint32_t Detect(TauContactNode* nodes, uint32_t nodeCapacity, TauContactPoint* points, uint32_t pointCapacity,
                    bool skipHook = false);
    bool CollideItems(GColItem* a, GColItem* b, GColContactBuffer& buffer);
    // True when some shape pair of the two items touches; writes nothing.
    bool ItemsOverlap(GColItem* a, GColItem* b);
    // Null when the table refuses it.
    GColPair* CreatePair(GColItem* p, GColItem* q);

    // Narrow phase.
    bool CollideShapes(GColShape* a, GColShape* b, GColContactBuffer* buffer);
    bool CollideConvexShapes(GColShape* a, GColShape* b, GColContactBuffer* buffer);
    bool CollideMeshShape(GColShape* shape, GColShape* mesh, GColContactBuffer* buffer);
    // The same with the mesh's geometry and hierarchy given.
    bool CollideMeshGeometry(GColShape* shape, GColShape* mesh, const zGeometry& geometry, const zBIH& tree, GColContactBuffer* buffer);

    // Single shape-pair tests. Each returns 0 for no contact, else the number
    // of points written (1 when the output wants no points).
    static uint32_t SphereSphere(const zVector& previousA, const zVector& centreA, float radiusA, const zVector& previousB,
                                 const zVector& centreB, float radiusB, GColContactOutput* output);
    static uint32_t SphereCuboid(const zVector& previousCentre, const zVector& centre, float radius, const zOBB& previousBox,
                                 const zOBB& box, GColContactOutput* output);
    static uint32_t CuboidCuboid(const zOBB& a, const zOBB& b, GColContactOutput* output);
    // Box against one convex polygon given by its world-space vertices (at
    // most MaxPolygonVertices).
    // Polygons are given by their corners pool[indices[i]].
    static uint32_t OBBOverlapPolygon(const zOBB& box, const zMatrix4& meshWorld, const zVector* pool, const int32_t* indices,
                                      uint32_t count, GColContactOutput* output);
    // Sphere against one polygon, all in the polygon's frame; the plane is
    // n . x + offset = 0.
    static uint32_t SpherePolygon(const zVector& previousCentre, const zVector& centre, float radius, const zVector* pool,
                                  const int32_t* indices, uint32_t count, const zVector& planeNormal, float planeOffset,
                                  GColContactOutput* output);

    // Ray casts: the nearest hit ahead of the origin among the active items
    // whose SelfMask shares a bit with mask.
    bool Raytrace(const zVector& origin, const zVector& direction, GColRayHit& hit, int32_t mask, uint32_t kindFlags) const;

    // Debug drawing.
    void DrawDebug(zRenderer* renderer) const;
    void DrawItem(const GColItem* item, zRenderer* renderer, uint32_t highlightedCount, const GColItem* const* highlighted) const;
    void SAP_Draw(zRenderer* renderer) const;

    // Read only: items join and leave through AddItem, RemoveItem,
    // SetItemInactive and ClearItems, which keep each item's worldList.
    zLinkedListId& GetActiveItems() { return activeItems; }
    zLinkedListId& GetInactiveItems() { return inactiveItems; }
    GColPairTable& GetPairTable() { return pairTable; }
    uint32_t GetSAPCapacity() const { return sapCapacity; }
    uint32_t GetSAPCount() const { return sapCount; }
    GColItem* GetSAPEntry(uint32_t index) const { return index < sapCount ? sapArray[index] : nullptr; }

    zLinkedListId activeItems;
    zLinkedListId inactiveItems;
    GColPairTable pairTable;
    uint32_t sapCapacity = 0;
    uint32_t sapCount = 0;
    uint8_t UseSAP = 1;
    GColItem** sapArray = nullptr;
    // The sweep's copy of each entry's bounds and moved flag, in sapArray's
    // order, one array per field so that the sweep tests four candidates at a
    // time; each array has SweepPadding entries to spare past the capacity.
    static constexpr uint32_t SweepPadding = 4;
    struct SweepColumns {
        float* minX = nullptr;
        float* maxX = nullptr;
        float* minY = nullptr;
        float* maxY = nullptr;
        float* minZ = nullptr;
        float* maxZ = nullptr;
        // 1 for a moved item, else 0.
        float* moved = nullptr;
    };
    SweepColumns sweep;
    // Holds the arrays of sweep.
    float* sweepStorage = nullptr;
    // The next collision id handed to an item added for the first time.
    uint32_t nextCollisionId = 1;
    PairReader pairReader = nullptr;
    void* pairReaderContext = nullptr;

private:
    bool ItemPairTest(GColItem* a, GColItem* b, GColContactBuffer* buffer, bool stopAtFirst);
    void AddManifold(GColItem* first, GColItem* second, const GColContactBuffer& buffer, uint32_t firstNode);
    // A new pair for two items that touch, unless nothing reads it or the
    // table is full; null then.
    GColPair* StorePair(GColItem* first, GColItem* second);
    // False, logged once until the table is cleared, when it holds MaxPairs.
    bool RoomForPair();
    // One candidate pair of the sweep: its contacts and its manifold.
    void Sweep(GColItem* s, GColItem* other, GColContactBuffer& buffer);
};

// Ray against the box of that centre and size: the point where it enters and
// the face normal; a ray starting inside gives its origin and a zero normal.
bool IntersectRayWithCentredBox(const zVector& centre, const zVector& size, const zVector& origin, const zVector& direction,
                                zVector& position, zVector* normal);
