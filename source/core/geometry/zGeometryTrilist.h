#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/math/zVector.h"

#include <cstdint>

class zGeometry;
class zMaterial;
struct zUV;

// The skin of one output vertex: four weights and, for each, the position of
// its bone in the list's palette.
struct zTrilistWeight {
    float weights[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    uint8_t palette[4] = {0, 0, 0, 0};
};

// The optimiser's view of one vertex.
struct zTrilistVertexRecord {
    int32_t remaining = 0;
    float score = 0.0f;
    // 0 for the most recently used, -1 when not in the simulated cache.
    int32_t cachePosition = -1;
};

// One indexed triangle list the renderer draws in a single call: one material,
// a bounded bone palette, and vertex arrays of its own. Every array is owned.
class zGeometryTrilist : public zLinkedListEntry {
public:
    // Bones collected before a list is closed, and the most a palette holds.
    static constexpr uint32_t BoneCloseCount = 28;
    static constexpr uint32_t MaxPaletteBones = 32;
    // Entries of the optimiser's simulated vertex cache.
    static constexpr int32_t CacheSize = 32;

    zGeometryTrilist() = default;
    ~zGeometryTrilist() override;
    zGeometryTrilist(const zGeometryTrilist&) = delete;
    zGeometryTrilist& operator=(const zGeometryTrilist&) = delete;

    // Converts a geometry into a new container owning its lists: materials in
    // index order, each material's lists in polygon order. Lists hold fewer
    // than maxTriangles triangles; a polygon too large for one list is split
    // into fans that fit. The lists are reordered for the vertex cache unless
    // the tool mode is on or cacheSize is 0. Null on failure.
    static zLinkedList* GeometryToTriangleList(zGeometry* geometry, int32_t maxTriangles, int32_t cacheSize);

    // Reorders the triangles of every list in the container for a simulated
    // least-recently-used cache of CacheSize vertices; vertex arrays stay. A
    // list whose order would cost far more than its triangles (see
    // OptimizeIndices) keeps the order it has, with one warning.
    static void Optimize(zLinkedList* container);
    // Reorders one index array in place; false when the working memory cannot
    // be had, an index lies outside the vertices or the order would cost far
    // more than the triangles (many of them over the same few vertices),
    // with the array untouched.
    static bool OptimizeIndices(int32_t* indices, uint32_t triangleCount, uint32_t vertexCount);

    // The score of one vertex from its remaining triangles and cache position.
    static void ScoreVertex(zTrilistVertexRecord& vertex);
    // Moves a vertex to the front of the cache (CacheSize slots, -1 for empty),
    // updating the positions of the vertices it passes. Returns the vertex
    // pushed out of the last slot, rescored, or -1.
    static int32_t TouchCacheVertex(int32_t vertex, zTrilistVertexRecord* records, int32_t* cache);

    // Allocates the arrays for the counts and the optional parts; false on
    // failure, with whatever was allocated freed by the destructor.
    bool Allocate(uint32_t vertices, uint32_t triangles, uint32_t bones, bool skinned, bool withNormals,
                  bool withTangents, bool withColours, const bool withUVSets[3]);

    uint32_t vertexCount = 0;
    zVector* vertices = nullptr;
    uint32_t triangleCount = 0;
    // Three per triangle, into this list's vertices.
    int32_t* indices = nullptr;
    uint32_t boneCount = 0;
    // One per vertex, for a skinned geometry.
    zTrilistWeight* weights = nullptr;
    // Geometry bone indices this list uses.
    uint16_t* bonePalette = nullptr;
    zVector* normals = nullptr;
    // Tangent then bitangent per vertex.
    zVector* tangents = nullptr;
    zVector* colours = nullptr;
    zUV* uvSets[3] = {nullptr, nullptr, nullptr};
    zMaterial* material = nullptr;
};
