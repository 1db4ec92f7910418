#pragma once

#include "core/resource/zResource.h"
#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaObject.h"

#include <cstdint>

class zGeometry;
class zGeometryBIH;
class zGeometryOctree;
class zMaterial;
class zMatrix4;
class zMetaFile;
class zMetaTag;

// One polygon of a geometry: its corner count, material index and first entry
// in the geometry's binding indices.
struct zPolygon {
    uint16_t vertexCount = 0;
    uint16_t material = 0;
    int32_t* indices = nullptr;
};

// The skin of one vertex: four weights (summing to 1 once loaded, or all 0)
// and the four bones, indices into the geometry's bone ids, they follow.
struct zSkinWeight {
    float weights[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    uint16_t bones[4] = {0, 0, 0, 0};
};

// A texture coordinate of one binding.
struct zUV {
    float u = 0.0f;
    float v = 0.0f;
};

// The polygons that use one vertex, a slice of one shared block.
struct zVertexPolygons {
    uint32_t* polygons = nullptr;
    uint32_t count = 0;
};

// A corner next to a vertex: polygon and corner within it.
struct zVertexNeighbour {
    int32_t polygon = 0;
    int32_t corner = 0;
};

// The corners next to one vertex, a slice of one shared block.
struct zVertexNeighbours {
    uint32_t count = 0;
    zVertexNeighbour* neighbours = nullptr;
};

// Everything a geometry holds besides its name, owner and path. It is kept in
// one record so that the reader can build a complete new content aside and
// swap it in only once the whole file was accepted; a field added to the
// geometry belongs here.
//
// A binding is one corner of one polygon. Bindings are numbered polygon by
// polygon, and per-corner attributes (normals, tangents, colours, UVs) are
// stored per binding.
struct zGeometryData {
    // Parts that Free keeps (zGeometry::Keep*).
    uint8_t keepMask = 0;
    uint32_t materialCount = 0;
    // Owned unless flags has FlagSharedMaterials.
    zMaterial** materials = nullptr;
    // zGeometry::Render*.
    uint32_t renderWord = 0;
    // OR of the flag words of all materials, by ComputeRenderFlags.
    uint32_t materialFlagUnion = 0;
    // Ray and box query hierarchy over the polygons, built on demand
    // (CreateTree); owned, freed with the mesh.
    zGeometryBIH* tree = nullptr;
    // zGeometry::Flag*.
    uint32_t flags = 0;
    // Mean of the vertex positions, set by the set-up.
    zVector centre;
    uint32_t vertexCount = 0;
    // Positions, w 1.
    zVector* vertices = nullptr;
    // One per binding.
    zVector* vertexNormals = nullptr;
    // Tangent then bitangent per binding.
    zVector* vertexTangents = nullptr;
    // RGB per binding, w 1.
    zVector* vertexColours = nullptr;
    uint32_t uvSetCount = 0;
    // One coordinate per binding in each set below uvSetCount.
    zUV* uvSets[3] = {nullptr, nullptr, nullptr};
    // -1 for none.
    float zFar = -1.0f;
    // Lower-detail substitute and its distance; owned by the resource cache.
    zGeometry* lodProxy = nullptr;
    float lodDistance = 100.0f;
    // Geometry used for shadows; owned by the resource cache.
    zGeometry* shadowProxy = nullptr;
    // Per vertex, 1 when all corners of the vertex agree (FlagHomogeneousVertex).
    uint8_t* homogeneous = nullptr;
    // The vertex index of every binding, one block for all polygons.
    int32_t* bindingIndices = nullptr;
    uint32_t bindingCount = 0;
    // First binding of each polygon.
    int32_t* polygonFirst = nullptr;
    uint32_t polygonCount = 0;
    zPolygon* polygons = nullptr;
    int32_t boneCount = 0;
    // Bone names of the skin.
    zString* boneIds = nullptr;
    // One per vertex.
    zSkinWeight* skinWeights = nullptr;
    // 1: the renderer refuses to update the geometry in place.
    int32_t staticFlag = 1;
    // One per polygon.
    zVector* polygonNormals = nullptr;
    // Tangent then bitangent per polygon.
    zVector* polygonTangents = nullptr;
    // Per vertex, over vertexToPolygonBlock.
    zVertexPolygons* vertexToPolygon = nullptr;
    uint32_t* vertexToPolygonBlock = nullptr;
    // Per vertex, over vertexToVertexBlock.
    zVertexNeighbours* vertexToVertex = nullptr;
    zVertexNeighbour* vertexToVertexBlock = nullptr;
    // Box of the vertices, min and max (0, 0, 0, 1) until the set-up.
    zMinMax bounds;
    // Spatial split of a large mesh; owned.
    zGeometryOctree* octree = nullptr;
    // The renderer's record, set by its SetupGeometry.
    void* rendererData = nullptr;
};

// The engine's mesh resource: vertex positions, polygons of any corner count
// indexing them, per-corner attributes, an optional skin, an array of
// materials, level-of-detail and shadow proxies and bounds. Loaded through the
// core's geometry cache, read and written as the ZML tag "Geometry", handed
// to the renderer by Setup.
class zGeometry : public zResource, public zMetaObject, public zGeometryData {
public:
    // Bits of the keep mask: parts that Free leaves in place.
    enum : uint8_t {
        KeepMaterials = 0x01,
        KeepMesh = 0x02,
        KeepAdjacency = 0x04,
        KeepOctree = 0x08,
        KeepProxies = 0x10,
        KeepRendererCopy = 0x20,
        KeepAttributes = 0x40,
        KeepSkin = 0x80,
    };

    // Bits of the render word.
    enum : uint32_t {
        RenderLit = 0x01,
        RenderRGB = 0x02,
        RenderUseNormal = 0x08,
        RenderTangents = 0x10,
    };

    // Bits of the flag word.
    enum : uint32_t {
        // Set by the scene to keep the geometry from being drawn; not stored.
        FlagHidden = 0x01,
        FlagLodNull = 0x02,
        FlagShadowNull = 0x04,
        // The material array belongs to another geometry: never deleted here.
        FlagSharedMaterials = 0x08,
    };

    // What a material lookup by name gives when nothing matches.
    static constexpr uint16_t NoMaterial = 65535;
    static constexpr uint32_t MaxUVSets = 3;
    static constexpr float DefaultLodDistance = 100.0f;

    // A new geometry appended to the core's geometry cache; null when it
    // cannot be allocated.
    static zGeometry* New(Tavrin* core, const char* name);

    explicit zGeometry(Tavrin* owner, const char* name = nullptr);
    // Frees everything and leaves the core's geometry caches.
    ~zGeometry() override;
    zGeometry(const zGeometry&) = delete;
    zGeometry& operator=(const zGeometry&) = delete;

    // Frees every part whose keep bit is clear.
    void Free();
    // Free with an empty keep mask.
    void FreeAll();

    // Derives the render flags, sets the materials up and hands the geometry
    // (or its octree leaves) to the renderer; a geometry without vertices or
    // polygons only gets its flags.
    void Setup();
    // Checks every polygon corner against the vertices and repairs the
    // material references. False, with nothing changed, when a corner names a
    // vertex that does not exist.
    bool EnforceValid();
    // The render word from the materials and the vertex colours.
    void ComputeRenderFlags();
    // Box of the vertices, each transformed by the matrix first when given;
    // no vertices give min = max = (0, 0, 0, 1).
    void ComputeMinMax(zMinMax& out, const zMatrix4* matrix = nullptr) const;
    // The first-binding table, when missing. False when it cannot be made.
    bool BuildPolygonIndex();
    // bindingCount = the sum of the polygon corner counts.
    void CountBindings();
    // Gives every material the skinned flag when the geometry has a skin, then
    // sets each one up.
    void SetupMaterials();

    // Adjacency tables, built once and kept until freed.
    bool BuildVertexToPolygon();
    bool ComputeVertexToVertex();
    // Marks the vertices whose corners agree in material and, for the
    // material given (-1 any), in normal, colour and used UVs.
    bool FlagHomogeneousVertex(int32_t material);
    void FreeVertexToPolygon();
    void FreeVertexToVertex();
    void FreeHomogeneousTable();
    // Deletes the octree of this geometry and of its LOD and shadow proxies.
    void DeleteOctrees();

    // Builds the polygon hierarchy once; true when it exists or was built.
    bool CreateTree();
    // The polygon hierarchy, built on first use; null when it cannot be.
    zGeometryBIH* GetTree();

    // Normals and tangents (zGeometryNormals.cpp). Each array is made once
    // and kept; the vertex operations remake theirs when forced.
    // One unit normal per polygon from its first three corners. True when the
    // array exists afterwards.
    bool ComputePolygonNormal();
    // Tangent and bitangent per polygon with an active "Normal" stage; zero
    // for every other polygon.
    bool ComputePolygonTangent();
    // Per binding, the normalised sum of the normals of the polygons sharing
    // its vertex that pass the material's smoothing threshold.
    bool ComputeVertexNormal(bool force);
    // Per binding, the normalised sums of the tangents and bitangents of the
    // polygons sharing its vertex, each turned to agree with the polygon's own.
    bool ComputeVertexTangent(bool force);
    // Per vertex, the mean of the normals of the polygons that use it (not
    // renormalised; zero when none does) into out, vertexCount long.
    bool ComputeAverageVertexNormals(zVector* out);

    // Materials (zGeometryMaterials.cpp).
    // Index of the first material of that name, or NoMaterial with a warning.
    uint16_t GetMaterialIndex(const char* name) const;
    // The material, or null with a warning for an index not below the count.
    zMaterial* GetMaterialFromIndex(uint32_t index) const;
    zMaterial* GetMaterialByName(const char* name) const;
    // Replaces the material array by count slots, filled with new materials
    // when create is set (the caller fills them otherwise). A shared array is
    // dropped without deleting its materials.
    bool AllocateMaterials(uint32_t count, bool create);
    // Merges materials of equal content; returns how many were removed.
    int32_t MergeDuplicateMaterials();

    // ZML (zGeometryZML.cpp). A rejected tag leaves the geometry as it was.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag) override;
    // A new "Geometry" tag (the caller owns it), or null; the list goes on to
    // the materials' writers.
    zMetaTag* AsMetaTag(zLinkedListId* list) override;

    // One reader per child of "Geometry", each false on an error it logged.
    bool ParseMaterials(const zMetaFile* document, const zMetaTag* tag);
    bool ParseRenderWord(const zMetaFile* document, const zMetaTag* tag);
    bool ParseVertex(const zMetaFile* document, const zMetaTag* tag);
    bool ParseAsciiVertex(const zMetaFile* document, const zMetaTag* tag);
    bool ParsePolygon(const zMetaFile* document, const zMetaTag* tag);
    bool ParseAsciiPolygon(const zMetaFile* document, const zMetaTag* tag);
    bool ParsePolygonNormal(const zMetaFile* document, const zMetaTag* tag);
    bool ParseVertexNormal(const zMetaFile* document, const zMetaTag* tag);
    bool ParseSkin(const zMetaFile* document, const zMetaTag* tag);
    bool ParseRGB(const zMetaFile* document, const zMetaTag* tag);
    bool ParseUV(const zMetaFile* document, const zMetaTag* tag);
    bool ParseAsciiUV(const zMetaFile* document, const zMetaTag* tag);
    bool ParseLodAndZFar(const zMetaFile* document, const zMetaTag* tag);

private:
    void FreeMaterialArray();
    bool PurgeUnusedMaterials();
    bool ReadChildren(const zMetaFile* document, const zMetaTag* tag);
    void DeleteOctreesAt(int32_t depth);
};
