#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/math/zColor.h"
#include "framework/math/zFrustum.h"
#include "framework/math/zMatrix4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A polygon as the test wrote it: corner positions and attributes.
struct Corner {
    zVector position;
    zVector normal;
    zVector tangent;
    zVector bitangent;
    zVector colour;
    zUV uv0;
    zUV uv1;
};

struct SourcePolygon {
    std::vector<Corner> corners;
    uint16_t material = 0;
    zVector normal;
};

// Polygons of 3 or 4 corners scattered in a cube, some sharing vertices with
// the polygon before them, with every per-corner attribute set.
std::vector<SourcePolygon> RandomPolygons(std::mt19937& random, int count, float extent, float size,
                                          const zVector& offset = zVector(0, 0, 0))
{
    std::uniform_real_distribution<float> place(-extent, extent);
    std::uniform_real_distribution<float> step(-size, size);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<SourcePolygon> polygons(static_cast<size_t>(count));
    for (size_t i = 0; i < polygons.size(); ++i) {
        SourcePolygon& p = polygons[i];
        const zVector centre = zVector(place(random), place(random), place(random)) + offset;
        const int corners = 3 + int(random() % 2);
        // Every third polygon shares an edge with the one before it.
        const bool joined = i > 0 && random() % 3 == 0;
        for (int c = 0; c < corners; ++c) {
            Corner corner;
            corner.position = centre + zVector(step(random), step(random), step(random));
            if (joined && c < 2)
                corner.position = polygons[i - 1].corners[1 - c].position;
            corner.normal = zVector(unit(random), unit(random), unit(random));
            corner.tangent = zVector(unit(random), 0, 0);
            corner.bitangent = zVector(0, unit(random), 0);
            corner.colour = zVector(unit(random), unit(random), unit(random));
            corner.uv0 = {unit(random), unit(random)};
            corner.uv1 = {unit(random), unit(random)};
            p.corners.push_back(corner);
        }
        // Quads are parallelograms: flat, as a mesh's polygons are.
        if (corners == 4)
            p.corners[3].position = p.corners[0].position + p.corners[2].position - p.corners[1].position;
        p.material = uint16_t(random() % 3);
        p.normal = zVector(unit(random), unit(random), unit(random));
    }
    return polygons;
}

// Fills the geometry with the polygons; a polygon shares the vertices at equal
// positions with the one before it.
void Fill(zGeometry& g, const std::vector<SourcePolygon>& polygons)
{
    std::vector<zVector> vertices;
    std::vector<PolygonSpec> specs;
    const SourcePolygon* previous = nullptr;
    std::vector<int32_t> previousIndices;
    for (const SourcePolygon& p : polygons) {
        PolygonSpec spec;
        spec.material = p.material;
        for (const Corner& c : p.corners) {
            int32_t index = -1;
            for (size_t k = 0; previous != nullptr && k < previous->corners.size(); ++k) {
                const zVector& q = previous->corners[k].position;
                if (q.x == c.position.x && q.y == c.position.y && q.z == c.position.z)
                    index = previousIndices[k];
            }
            if (index < 0) {
                index = int32_t(vertices.size());
                vertices.push_back(c.position);
            }
            spec.corners.push_back(index);
        }
        specs.push_back(spec);
        previous = &p;
        previousIndices = spec.corners;
    }
    FillGeometry(g, vertices, specs, 3);
    g.vertexNormals = new zVector[g.bindingCount];
    g.vertexTangents = new zVector[2 * g.bindingCount];
    g.vertexColours = new zVector[g.bindingCount];
    g.uvSetCount = 2;
    g.uvSets[0] = new zUV[g.bindingCount];
    g.uvSets[1] = new zUV[g.bindingCount];
    g.polygonNormals = new zVector[g.polygonCount];
    uint32_t b = 0;
    for (size_t p = 0; p < polygons.size(); ++p) {
        g.polygonNormals[p] = polygons[p].normal;
        for (const Corner& c : polygons[p].corners) {
            g.vertexNormals[b] = c.normal;
            g.vertexTangents[2 * b] = c.tangent;
            g.vertexTangents[2 * b + 1] = c.bitangent;
            g.vertexColours[b] = c.colour;
            g.uvSets[0][b] = c.uv0;
            g.uvSets[1][b] = c.uv1;
            ++b;
        }
    }
}

// The polygon of the leaf, read back in the test's terms.
SourcePolygon ReadPolygon(const zGeometry& g, uint32_t p, uint32_t first)
{
    SourcePolygon out;
    out.material = g.polygons[p].material;
    out.normal = g.polygonNormals != nullptr ? g.polygonNormals[p] : zVector();
    for (uint32_t c = 0; c < g.polygons[p].vertexCount; ++c) {
        const uint32_t b = first + c;
        Corner corner;
        corner.position = g.vertices[g.polygons[p].indices[c]];
        corner.normal = g.vertexNormals[b];
        corner.tangent = g.vertexTangents[2 * b];
        corner.bitangent = g.vertexTangents[2 * b + 1];
        corner.colour = g.vertexColours[b];
        corner.uv0 = g.uvSets[0][b];
        corner.uv1 = g.uvSets[1][b];
        out.corners.push_back(corner);
    }
    return out;
}

// Everything of a polygon as text, so that polygons compare exactly.
std::string Key(const SourcePolygon& p)
{
    std::string key = std::to_string(p.material) + "|" + std::to_string(p.normal.x);
    auto add = [&key](float v) {
        char text[32];
        std::snprintf(text, sizeof text, " %a", double(v));
        key += text;
    };
    for (const Corner& c : p.corners) {
        for (const zVector* v : {&c.position, &c.normal, &c.tangent, &c.bitangent, &c.colour}) {
            add(v->x);
            add(v->y);
            add(v->z);
        }
        add(c.uv0.u);
        add(c.uv0.v);
        add(c.uv1.u);
        add(c.uv1.v);
    }
    return key;
}

std::string PositionKey(const std::vector<zVector>& corners)
{
    std::string key;
    for (const zVector& v : corners) {
        char text[96];
        std::snprintf(text, sizeof text, "%a %a %a;", double(v.x), double(v.y), double(v.z));
        key += text;
    }
    return key;
}

zMinMax BoxOf(const std::vector<Corner>& corners)
{
    zMinMax box(corners[0].position, corners[0].position);
    for (const Corner& c : corners) {
        box.min = zVector(std::min(box.min.x, c.position.x), std::min(box.min.y, c.position.y),
                          std::min(box.min.z, c.position.z));
        box.max = zVector(std::max(box.max.x, c.position.x), std::max(box.max.y, c.position.y),
                          std::max(box.max.z, c.position.z));
    }
    return box;
}

void CollectNodes(zGeometryOctree* node, std::vector<zGeometryOctree*>& out)
{
    if (node == nullptr)
        return;
    out.push_back(node);
    CollectNodes(node->left, out);
    CollectNodes(node->right, out);
}

std::vector<zGeometryOctree*> Leaves(zGeometryOctree* root)
{
    std::vector<zGeometryOctree*> nodes;
    CollectNodes(root, nodes);
    std::vector<zGeometryOctree*> leaves;
    for (zGeometryOctree* n : nodes) {
        if (n->leaf != nullptr)
            leaves.push_back(n);
    }
    return leaves;
}

float Axis(const zVector& v, int32_t axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// A renderer that hands out one buffer per geometry set-up and takes it back
// on free, counting the set-ups of each geometry.
class BufferRenderer : public RecordingRenderer {
public:
    explicit BufferRenderer(Tavrin* owner) : RecordingRenderer(owner, true) {}
    ~BufferRenderer() override
    {
        for (int* buffer : live)
            delete buffer;
    }

    bool SetupGeometry(zGeometry* geometry) override
    {
        ++setups[geometry];
        // A set-up over an earlier one loses the earlier buffer.
        int* buffer = new int(0);
        live.insert(buffer);
        geometry->rendererData = buffer;
        return true;
    }
    void FreeGeometry(zGeometry* geometry) override
    {
        auto* buffer = static_cast<int*>(geometry->rendererData);
        if (live.erase(buffer) > 0)
            delete buffer;
        geometry->rendererData = nullptr;
    }
    bool SetupMaterial(zMaterial* material) override
    {
        ++materialSetups[material];
        return true;
    }

    std::map<zGeometry*, int> setups;
    std::map<zMaterial*, int> materialSetups;
    std::set<int*> live;
};

class OctreeTest : public ::testing::Test {
protected:
    OctreeTest() : random(20261210) {}
    ~OctreeTest() override
    {
        GlobalToolMode = 0;
        GlobalSetupProgressHook = nullptr;
    }

    // Splits a geometry of the polygons and checks the tree's invariants.
    void Split(zGeometry& g, const std::vector<SourcePolygon>& polygons, int32_t leafSize)
    {
        Fill(g, polygons);
        ASSERT_TRUE(g.CreateOctree(leafSize));
        ASSERT_NE(g.octree, nullptr);
    }

    std::mt19937 random;
    Tavrin core;
};

TEST_F(OctreeTest, EveryPolygonLandsInExactlyOneLeafWithItsCornerAttributes)
{
    const auto polygons = RandomPolygons(random, 6000, 50.0f, 2.0f);
    zGeometry g(&core, "big");
    LogCapture log;
    Split(g, polygons, 0);

    std::multiset<std::string> expected;
    for (const SourcePolygon& p : polygons)
        expected.insert(Key(p));
    std::multiset<std::string> found;
    const auto leaves = Leaves(g.octree);
    ASSERT_GT(leaves.size(), 4u);
    uint32_t total = 0;
    for (zGeometryOctree* node : leaves) {
        const zGeometry& leaf = *node->leaf;
        EXPECT_LE(leaf.polygonCount, 1024u);
        total += leaf.polygonCount;
        // Vertices are numbered by first use and every one is used.
        std::vector<int32_t> firstUse;
        std::set<int32_t> seen;
        uint32_t first = 0;
        for (uint32_t p = 0; p < leaf.polygonCount; ++p) {
            found.insert(Key(ReadPolygon(leaf, p, first)));
            EXPECT_EQ(leaf.polygons[p].indices, leaf.bindingIndices + first);
            for (uint32_t c = 0; c < leaf.polygons[p].vertexCount; ++c) {
                if (seen.insert(leaf.polygons[p].indices[c]).second)
                    firstUse.push_back(leaf.polygons[p].indices[c]);
            }
            first += leaf.polygons[p].vertexCount;
        }
        EXPECT_EQ(leaf.bindingCount, first);
        ASSERT_EQ(firstUse.size(), leaf.vertexCount);
        for (size_t i = 0; i < firstUse.size(); ++i)
            ASSERT_EQ(firstUse[i], int32_t(i));
        // The parent's materials, shared.
        ASSERT_EQ(leaf.materialCount, 3u);
        EXPECT_TRUE(std::equal(leaf.materials, leaf.materials + 3, g.materials));
        EXPECT_NE(leaf.flags & zGeometry::FlagSharedMaterials, 0u);
        EXPECT_EQ(leaf.uvSetCount, 2u);
        zMinMax box;
        leaf.ComputeMinMax(box);
        EXPECT_FALSE(box.min.DiffersFrom(leaf.bounds.min));
        EXPECT_FALSE(box.max.DiffersFrom(leaf.bounds.max));
    }
    EXPECT_EQ(total, 6000u);
    EXPECT_TRUE(found == expected) << "each polygon once, with its attributes";
    EXPECT_EQ(zGeometryOctree::GetLeafCount(), int32_t(leaves.size()));
    EXPECT_EQ(zGeometryOctree::GetLeafPolygonCount(), 6000);
    EXPECT_TRUE(log.Contains("Octree summary: " + std::to_string(leaves.size()) +
                             " leaves referencing 6000 polygon(s)."));

    // Splits: a polygon with a vertex below the split value went left; every
    // node's box holds its subtree's polygons.
    std::vector<zGeometryOctree*> nodes;
    CollectNodes(g.octree, nodes);
    for (zGeometryOctree* node : nodes) {
        for (zGeometryOctree* side : {node->left, node->right}) {
            if (side == nullptr)
                continue;
            EXPECT_EQ(side->parent, node);
            for (zGeometryOctree* below : Leaves(side)) {
                const zGeometry& leaf = *below->leaf;
                for (uint32_t v = 0; v < leaf.vertexCount; ++v) {
                    const zVector& p = leaf.vertices[v];
                    EXPECT_TRUE(p.x >= node->bounds.min.x && p.x <= node->bounds.max.x &&
                                p.y >= node->bounds.min.y && p.y <= node->bounds.max.y &&
                                p.z >= node->bounds.min.z && p.z <= node->bounds.max.z);
                }
                for (uint32_t p = 0; p < leaf.polygonCount; ++p) {
                    float lowest = INFINITY;
                    for (uint32_t c = 0; c < leaf.polygons[p].vertexCount; ++c)
                        lowest = std::min(lowest, Axis(leaf.vertices[leaf.polygons[p].indices[c]], node->splitAxis));
                    EXPECT_EQ(lowest < node->splitValue, side == node->left);
                }
            }
        }
    }
}

TEST_F(OctreeTest, SplitThresholdsFollowTheLeafSize)
{
    struct Case {
        int polygons;
        int32_t leafSize;
        uint32_t largestLeaf;
        bool single;
    };
    const Case cases[] = {
        {1000, 0, 1024, true},     // never fewer than 1024 per leaf
        {1024, 0, 1024, true},
        {1025, 0, 1024, false},
        {1025, 512, 1024, false},
        {2000, 1000, 2000, true},  // twice the leaf size
        {2001, 1000, 2000, false},
        {3000, -5, 1024, false},
        {1100, INT32_MAX, 1100, true}, // no overflow of the threshold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.polygons) + " polygons, leaf size " + std::to_string(c.leafSize));
        zGeometry g(&core, "g");
        LogCapture log;
        Split(g, RandomPolygons(random, c.polygons, 30.0f, 1.0f), c.leafSize);
        const auto leaves = Leaves(g.octree);
        EXPECT_EQ(leaves.size() == 1, c.single);
        EXPECT_EQ(leaves.size() == 1, g.octree->leaf != nullptr) << "a single leaf is the root";
        for (zGeometryOctree* leaf : leaves)
            EXPECT_LE(leaf->leaf->polygonCount, c.largestLeaf);
        if (c.single) {
            EXPECT_TRUE(log.Contains("Octree node depth 0, containing " + std::to_string(c.polygons) +
                                     " polygon(s)."));
            EXPECT_TRUE(log.Contains("Octree summary: 1 leaves referencing " + std::to_string(c.polygons) +
                                     " polygon(s)."));
        }
    }
}

TEST_F(OctreeTest, TheSplitIsTheBisectedMedianOfTheLowestCorners)
{
    struct Case {
        std::vector<float> lowest;
        float lo;
        float hi;
        float split;
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 0, 4, 2.0f},          // the first trial halves the set
        {{3, 1, 2, 0}, 0, 4, 2.0f},          // order does not matter
        {{0, 0, 0, 10}, 0, 10, 5.0f},        // no trial does better than the first
        {{8, 8.5f, 9, 9.5f}, 0, 10, 8.75f},  // the third trial halves the set
        {{0, 9, 9, 9, 9}, 0, 10, 5.0f},      // 1 or 5 below: the first trial stays best
        {{7, 7}, 7, 7, 7.0f},                // no extent: the middle
    };
    for (const Case& c : cases) {
        zGeometry g(&core, "line");
        std::vector<zVector> vertices;
        std::vector<PolygonSpec> specs;
        std::vector<int32_t> list;
        for (float x : c.lowest) {
            const int32_t first = int32_t(vertices.size());
            // The other corners lie above the lowest one.
            vertices.insert(vertices.end(), {{x + 0.5f, 0, 0}, {x, 1, 0}, {x + 0.25f, 0, 1}});
            specs.push_back({{first, first + 1, first + 2}, 0});
            list.push_back(int32_t(list.size()));
        }
        FillGeometry(g, vertices, specs, 1);
        const zMinMax box(zVector(c.lo, 0, 0), zVector(c.hi, 1, 1));
        EXPECT_FLOAT_EQ(zGeometryOctree::ChooseSplit(0, &g, list.data(), int32_t(list.size()), box), c.split)
            << c.lowest.size() << " polygons from " << c.lo;
    }
}

TEST_F(OctreeTest, PolygonsThatCannotBeSeparatedEndInOneLeafAtTheDepthLimit)
{
    // Every polygon is the same triangle: each split keeps them together.
    std::vector<SourcePolygon> same(1500, RandomPolygons(random, 1, 1.0f, 1.0f)[0]);
    same[0].corners.resize(3);
    for (SourcePolygon& p : same)
        p = same[0];
    zGeometry g(&core, "same");
    LogCapture log;
    Split(g, same, 0);
    const auto leaves = Leaves(g.octree);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0]->leaf->polygonCount, 1500u);
    EXPECT_EQ(leaves[0]->leaf->vertexCount, 3u);
    int depth = 0;
    for (zGeometryOctree* n = leaves[0]; n->parent != nullptr; n = n->parent)
        ++depth;
    EXPECT_EQ(depth, zGeometryOctree::MaxDepth);
    EXPECT_TRUE(log.Contains("Octree node depth 48, containing 1500 polygon(s)."));
}

TEST_F(OctreeTest, SplitsFarFromTheOriginEnd)
{
    // Neighbouring floats near a million lie 0.06 apart, more than the
    // bisection's tolerance.
    zGeometry g(&core, "far");
    Split(g, RandomPolygons(random, 3000, 200.0f, 1.0f, zVector(1.0e6f, -2.0e6f, 4.0e6f)), 0);
    uint32_t total = 0;
    for (zGeometryOctree* leaf : Leaves(g.octree))
        total += leaf->leaf->polygonCount;
    EXPECT_EQ(total, 3000u);
}

TEST_F(OctreeTest, PolygonsWithoutCornersGoRightAndDoNotWidenTheBoxes)
{
    auto polygons = RandomPolygons(random, 2500, 5.0f, 1.0f, zVector(100, 100, 100));
    zGeometry g(&core, "holes");
    Fill(g, polygons);
    // Cornerless polygons, the first one among them.
    for (uint32_t p : {0u, 1u, 700u, 2499u})
        g.polygons[p].vertexCount = 0;
    ASSERT_TRUE(g.CreateOctree(0));
    EXPECT_GE(g.octree->bounds.min.x, 90.0f) << "no corner read from an empty polygon";
    EXPECT_GE(g.octree->bounds.min.y, 90.0f);
    uint32_t total = 0;
    uint32_t empty = 0;
    for (zGeometryOctree* node : Leaves(g.octree)) {
        total += node->leaf->polygonCount;
        for (uint32_t p = 0; p < node->leaf->polygonCount; ++p)
            empty += node->leaf->polygons[p].vertexCount == 0 ? 1 : 0;
        EXPECT_GE(node->bounds.min.x, 90.0f);
    }
    EXPECT_EQ(total, 2500u);
    EXPECT_EQ(empty, 4u);

    // Nothing but cornerless polygons: one leaf of empty polygons.
    zGeometry none(&core, "none");
    Fill(none, RandomPolygons(random, 1100, 5.0f, 1.0f));
    for (uint32_t p = 0; p < none.polygonCount; ++p)
        none.polygons[p].vertexCount = 0;
    ASSERT_TRUE(none.CreateOctree(0));
    const auto leaves = Leaves(none.octree);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0]->leaf->polygonCount, 1100u);
    EXPECT_EQ(leaves[0]->leaf->vertexCount, 0u);
    EXPECT_FALSE(leaves[0]->bounds.min.DiffersFrom(zVector(0, 0, 0)));
}

TEST_F(OctreeTest, BadMeshesAreRefusedAndLeftAsTheyWere)
{
    struct Case {
        const char* name;
        void (*spoil)(zGeometry&);
        const char* message;
    };
    const Case cases[] = {
        {"no polygons", [](zGeometry& g) { g.polygonCount = 0; }, "has no polygons to split"},
        {"no vertices", [](zGeometry& g) { g.vertexCount = 0; }, "has no polygons to split"},
        {"corner past the vertices", [](zGeometry& g) { g.polygons[5].indices[1] = int32_t(g.vertexCount); },
         "corner beyond its vertices"},
        {"negative corner", [](zGeometry& g) { g.polygons[9].indices[0] = -1; }, "corner beyond its vertices"},
        {"missing corner block", [](zGeometry& g) { g.polygons[3].indices = nullptr; }, "without corner indices"},
        {"short attributes", [](zGeometry& g) { g.bindingCount -= 1; }, "fewer corner attributes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zGeometry g(&core, "bad");
        Fill(g, RandomPolygons(random, 1200, 5.0f, 1.0f));
        const uint32_t polygonCount = g.polygonCount;
        const uint32_t vertexCount = g.vertexCount;
        zPolygon* polygons = g.polygons;
        c.spoil(g);
        const uint32_t spoiledPolygons = g.polygonCount;
        const uint32_t spoiledVertices = g.vertexCount;
        LogCapture log;
        EXPECT_FALSE(g.CreateOctree(0));
        EXPECT_TRUE(log.Contains(c.message));
        EXPECT_EQ(g.octree, nullptr);
        EXPECT_EQ(g.polygons, polygons);
        EXPECT_EQ(g.polygonCount, spoiledPolygons);
        EXPECT_EQ(g.vertexCount, spoiledVertices);
        EXPECT_NE(g.vertexNormals, nullptr);
        EXPECT_NE(g.uvSets[1], nullptr);
        g.polygonCount = polygonCount;
        g.vertexCount = vertexCount;
    }
    // A geometry that was never filled.
    zGeometry empty(&core, "empty");
    EXPECT_FALSE(empty.CreateOctree(0));
    EXPECT_EQ(empty.octree, nullptr);
}

TEST_F(OctreeTest, TheParentKeepsWhatRayAndCollisionQueriesNeed)
{
    for (int32_t toolMode : {0, 1}) {
        SCOPED_TRACE(toolMode);
        GlobalToolMode = toolMode;
        zGeometry g(&core, "split");
        Split(g, RandomPolygons(random, 3000, 30.0f, 1.0f), 0);
        // Positions, polygons and their normals stay for the ray queries and
        // collision meshes built after the split.
        EXPECT_EQ(g.vertexCount > 0 && g.vertices != nullptr, true);
        EXPECT_EQ(g.polygonCount, 3000u);
        EXPECT_NE(g.polygons, nullptr);
        EXPECT_NE(g.bindingIndices, nullptr);
        EXPECT_NE(g.polygonNormals, nullptr);
        EXPECT_NE(g.keepMask & zGeometry::KeepMesh, 0);
        EXPECT_EQ(g.materialCount, 3u);
        // What only drawing needs is the leaves' now, unless in tool mode.
        EXPECT_EQ(g.vertexNormals != nullptr, toolMode != 0);
        EXPECT_EQ(g.vertexTangents != nullptr, toolMode != 0);
        EXPECT_EQ(g.vertexColours != nullptr, toolMode != 0);
        EXPECT_EQ(g.uvSets[0] != nullptr, toolMode != 0);
        // A later Free keeps them too.
        g.Free();
        EXPECT_NE(g.vertices, nullptr);
        EXPECT_NE(g.octree, nullptr);
    }
}

TEST_F(OctreeTest, RayQueriesOfTheParentWorkWhicheverIsBuiltFirst)
{
    std::uniform_real_distribution<float> place(-40.0f, 40.0f);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (bool treeFirst : {true, false}) {
        SCOPED_TRACE(treeFirst ? "tree first" : "octree first");
        zGeometry g(&core, "both");
        Fill(g, RandomPolygons(random, 3000, 30.0f, 3.0f));
        // Both sides count, as in the octree's walk.
        for (uint32_t m = 0; m < g.materialCount; ++m)
            g.materials[m]->flags |= zMaterial::FlagDoubleSided;
        if (treeFirst) {
            ASSERT_TRUE(g.CreateTree());
        }
        ASSERT_TRUE(g.CreateOctree(0));
        if (!treeFirst) {
            ASSERT_TRUE(g.CreateTree());
        }
        ASSERT_NE(g.tree, nullptr);
        ASSERT_EQ(g.tree->GetPolygonCount(), 3000u);
        int hits = 0;
        for (int trial = 0; trial < 300; ++trial) {
            const zVector origin(place(random), place(random), place(random));
            const zVector direction(unit(random), unit(random), unit(random));
            zBIHQuery query;
            query.nearestHit = 1;
            g.tree->TraceRay(query, origin, direction, 0.0f);
            zOctreeRayHit hit;
            const bool found = g.octree->IntersectRay(origin, direction, 0.0f, hit);
            ASSERT_EQ(query.hitFound != 0, found) << trial;
            if (found) {
                ++hits;
                EXPECT_NEAR(query.hitT, hit.t, 1e-3f * (1.0f + hit.t)) << trial;
            }
        }
        EXPECT_GT(hits, 60);
    }
}

TEST_F(OctreeTest, EachGeometryIsSetUpOnceAndItsBuffersFreed)
{
    BufferRenderer renderer(&core);
    std::vector<std::string> progress;
    static std::vector<std::string>* seen = nullptr;
    seen = &progress;
    GlobalSetupProgressHook = [](const char* step) { seen->push_back(step); };

    zGeometry* g = zGeometry::New(&core, "big");
    Fill(*g, RandomPolygons(random, 4000, 30.0f, 1.0f));
    core.SetupResources();
    EXPECT_EQ(renderer.live.size(), 1u) << "the whole mesh";

    ASSERT_TRUE(g->CreateOctree(0));
    EXPECT_TRUE(renderer.live.empty()) << "the parent's copy goes";
    EXPECT_EQ(core.GetGeometries().GetCount(), 1) << "the leaves are the parent's, not the cache's";

    renderer.setups.clear();
    renderer.materialSetups.clear();
    progress.clear();
    core.SetupResources();
    const auto leaves = Leaves(g->octree);
    std::vector<zGeometryOctree*> nodes;
    CollectNodes(g->octree, nodes);
    EXPECT_EQ(renderer.setups.count(g), 0u);
    for (zGeometryOctree* node : leaves)
        EXPECT_EQ(renderer.setups[node->leaf], 1);
    EXPECT_EQ(renderer.setups.size(), leaves.size());
    EXPECT_EQ(renderer.live.size(), leaves.size());
    ASSERT_EQ(renderer.materialSetups.size(), 3u);
    for (const auto& [material, count] : renderer.materialSetups)
        EXPECT_EQ(count, 1) << "shared materials are set up by their owner only";
    EXPECT_EQ(std::count(progress.begin(), progress.end(), "Octree Leaf Setup"), std::ptrdiff_t(nodes.size()));

    // Deleting the parent takes the leaves' buffers back.
    delete g;
    EXPECT_TRUE(renderer.live.empty());
    EXPECT_EQ(core.GetGeometries().GetCount(), 0);
}

TEST_F(OctreeTest, AParentWithoutItsMeshStillSetsUpItsLeaves)
{
    BufferRenderer renderer(&core);
    zGeometry g(&core, "bare");
    Split(g, RandomPolygons(random, 2500, 30.0f, 1.0f), 0);
    g.keepMask = zGeometry::KeepMaterials | zGeometry::KeepOctree;
    g.Free();
    ASSERT_EQ(g.vertices, nullptr);
    g.Setup();
    EXPECT_EQ(renderer.setups.size(), Leaves(g.octree).size());
    EXPECT_EQ(renderer.setups.count(&g), 0u);
}

// The frustum of a random camera near the mesh, looking somewhere.
zFrustum RandomFrustum(std::mt19937& random)
{
    std::uniform_real_distribution<float> place(-80.0f, 80.0f);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    std::uniform_real_distribution<float> fov(0.3f, 2.0f);
    std::uniform_real_distribution<float> depth(5.0f, 150.0f);
    const zMatrix4 camera = zMatrix4::FromTransformation(zVector(place(random), place(random), place(random)),
                                                         zVector(angle(random), angle(random), angle(random)),
                                                         zVector(1, 1, 1), zVector(0, 0, 0));
    zFrustum frustum;
    frustum.SetPerspective(fov(random), 1.0f, depth(random), &camera, 1.0f, 1.0f);
    return frustum;
}

TEST_F(OctreeTest, CullingKeepsEveryPolygonInViewAgreeingWithBruteForce)
{
    const auto polygons = RandomPolygons(random, 5000, 60.0f, 3.0f);
    zGeometry g(&core, "culled");
    Split(g, polygons, 0);
    const auto leafNodes = Leaves(g.octree);
    // Which leaf holds each polygon, by its corner positions.
    std::map<std::string, zGeometry*> holder;
    for (zGeometryOctree* node : leafNodes) {
        const zGeometry& leaf = *node->leaf;
        for (uint32_t p = 0; p < leaf.polygonCount; ++p) {
            std::vector<zVector> corners;
            for (uint32_t c = 0; c < leaf.polygons[p].vertexCount; ++c)
                corners.push_back(leaf.vertices[leaf.polygons[p].indices[c]]);
            holder[PositionKey(corners)] = node->leaf;
        }
    }
    std::uniform_real_distribution<float> shift(-20.0f, 20.0f);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    int partial = 0;
    for (int trial = 0; trial < 80; ++trial) {
        SCOPED_TRACE(trial);
        const zFrustum frustum = RandomFrustum(random);
        const zMatrix4 world = zMatrix4::FromTransformation(zVector(shift(random), shift(random), shift(random)),
                                                            zVector(angle(random), angle(random), angle(random)),
                                                            zVector(1, 1, 1), zVector(0, 0, 0));
        const zMatrix4* matrix = trial % 3 == 0 ? nullptr : &world;
        g.octree->MarkVisible(frustum, matrix);
        std::set<zGeometry*> drawn;
        zGeometryOctree* cursor = nullptr;
        while (zGeometry* leaf = g.octree->NextVisibleLeaf(cursor)) {
            ASSERT_NE(cursor, nullptr);
            EXPECT_EQ(cursor->leaf, leaf);
            EXPECT_TRUE(drawn.insert(leaf).second) << "each leaf once";
            ASSERT_LE(drawn.size(), leafNodes.size());
        }
        EXPECT_EQ(cursor, nullptr);
        // Every polygon the view may see is in a drawn leaf.
        std::set<zGeometry*> needed;
        for (const SourcePolygon& p : polygons) {
            if (frustum.ClassifyMinMax(BoxOf(p.corners), matrix) == FrustumOutside)
                continue;
            std::vector<zVector> corners;
            for (const Corner& c : p.corners)
                corners.push_back(c.position);
            zGeometry* leaf = holder[PositionKey(corners)];
            EXPECT_EQ(drawn.count(leaf), 1u);
            needed.insert(leaf);
        }
        // Drawn leaves are exactly those with every box on the way in view.
        for (zGeometryOctree* node : leafNodes) {
            bool inView = true;
            for (zGeometryOctree* n = node; n != nullptr; n = n->parent)
                inView = inView && frustum.ClassifyMinMax(n->bounds, matrix) != FrustumOutside;
            EXPECT_EQ(drawn.count(node->leaf), inView ? 1u : 0u);
        }
        partial += !drawn.empty() && drawn.size() < leafNodes.size() ? 1 : 0;
    }
    EXPECT_GT(partial, 15) << "the views cut through the mesh";
}

TEST_F(OctreeTest, VisibleLeavesComeDepthFirstLeftBeforeRight)
{
    zGeometry g(&core, "walk");
    Split(g, RandomPolygons(random, 6000, 50.0f, 1.0f), 0);
    std::vector<zGeometryOctree*> nodes;
    CollectNodes(g.octree, nodes);
    for (zGeometryOctree* n : nodes)
        n->visible = FrustumClipped;
    std::vector<zGeometry*> walked;
    zGeometryOctree* cursor = nullptr;
    while (zGeometry* leaf = g.octree->NextVisibleLeaf(cursor))
        walked.push_back(leaf);
    std::vector<zGeometry*> order;
    for (zGeometryOctree* n : Leaves(g.octree))
        order.push_back(n->leaf);
    EXPECT_EQ(walked, order);

    // A hidden subtree is skipped whatever its nodes say; a hidden root shows nothing.
    zGeometryOctree* hidden = g.octree->left;
    ASSERT_NE(hidden, nullptr);
    hidden->visible = FrustumOutside;
    const auto hiddenLeaves = Leaves(hidden);
    walked.clear();
    while (zGeometry* leaf = g.octree->NextVisibleLeaf(cursor))
        walked.push_back(leaf);
    EXPECT_EQ(walked.size(), order.size() - hiddenLeaves.size());
    for (zGeometryOctree* n : hiddenLeaves)
        EXPECT_EQ(std::count(walked.begin(), walked.end(), n->leaf), 0);
    g.octree->visible = FrustumOutside;
    EXPECT_EQ(g.octree->NextVisibleLeaf(cursor), nullptr);
}

// Ray against the polygon, either side, in double precision: the plane first,
// then the point's side of each fan triangle's edges.
bool BruteForceHit(const SourcePolygon& p, const zVector& origin, const zVector& direction, double& t)
{
    auto d3 = [](const zVector& v) { return std::array<double, 3>{v.x, v.y, v.z}; };
    auto sub = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return std::array<double, 3>{a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    };
    auto cross = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    auto dot = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    const auto o = d3(origin);
    const auto d = d3(direction);
    bool hit = false;
    for (size_t k = 1; k + 1 < p.corners.size(); ++k) {
        const auto a = d3(p.corners[0].position);
        const auto b = d3(p.corners[k].position);
        const auto c = d3(p.corners[k + 1].position);
        const auto n = cross(sub(b, a), sub(c, a));
        const double f = dot(n, d);
        if (std::fabs(f) < 1e-12)
            continue;
        const double s = dot(n, sub(a, o)) / f;
        if (s < 0.0)
            continue;
        const std::array<double, 3> q{o[0] + s * d[0], o[1] + s * d[1], o[2] + s * d[2]};
        const double e0 = dot(cross(sub(b, a), sub(q, a)), n);
        const double e1 = dot(cross(sub(c, b), sub(q, b)), n);
        const double e2 = dot(cross(sub(a, c), sub(q, c)), n);
        if (e0 >= 0 && e1 >= 0 && e2 >= 0 && (!hit || s < t)) {
            t = s;
            hit = true;
        }
    }
    return hit;
}

TEST_F(OctreeTest, RayWalksFindTheNearestPolygonAsBruteForceDoes)
{
    const auto polygons = RandomPolygons(random, 4000, 40.0f, 4.0f);
    zGeometry g(&core, "traced");
    Split(g, polygons, 0);
    std::uniform_real_distribution<float> place(-60.0f, 60.0f);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> reach(10.0f, 120.0f);
    int hits = 0;
    int limited = 0;
    for (int trial = 0; trial < 600; ++trial) {
        SCOPED_TRACE(trial);
        const zVector origin(place(random), place(random), place(random));
        zVector direction(unit(random), unit(random), unit(random));
        if (trial % 10 == 0)
            direction = zVector(0, 0, 1);
        const float maxDistance = trial % 2 == 0 ? 0.0f : reach(random);
        bool expected = false;
        double nearest = 0.0;
        for (const SourcePolygon& p : polygons) {
            double t = 0.0;
            if (BruteForceHit(p, origin, direction, t) && (maxDistance <= 0.0f || t <= maxDistance) &&
                (!expected || t < nearest)) {
                nearest = t;
                expected = true;
            }
        }
        zOctreeRayHit hit;
        const bool found = g.octree->IntersectRay(origin, direction, maxDistance, hit);
        ASSERT_EQ(found, expected);
        if (!found) {
            EXPECT_EQ(hit.leaf, nullptr);
            continue;
        }
        ++hits;
        limited += maxDistance > 0.0f ? 1 : 0;
        EXPECT_NEAR(hit.t, nearest, 1e-3 * (1.0 + nearest));
        ASSERT_NE(hit.leaf, nullptr);
        ASSERT_LT(uint32_t(hit.polygon), hit.leaf->polygonCount);
        // The hit point lies in the plane of the reported fan triangle.
        const zPolygon& polygon = hit.leaf->polygons[hit.polygon];
        ASSERT_LT(uint32_t(hit.triangle + 2), uint32_t(polygon.vertexCount));
        const zVector a = hit.leaf->vertices[polygon.indices[0]];
        const zVector b = hit.leaf->vertices[polygon.indices[hit.triangle + 1]];
        const zVector c = hit.leaf->vertices[polygon.indices[hit.triangle + 2]];
        const zVector n = (b - a).Cross(c - a).Normalized();
        const zVector point = origin + direction * hit.t;
        EXPECT_NEAR(n.Dot(point - a), 0.0f, 1e-2f);
        EXPECT_EQ(hit.backSide, n.Dot(direction) > 0.0f ? 1 : 0);
    }
    EXPECT_GT(hits, 120);
    // A ray of NaNs meets nothing.
    zOctreeRayHit hit;
    EXPECT_FALSE(g.octree->IntersectRay(zVector(NAN, 0, 0), zVector(0, 0, 1), 0.0f, hit));
    EXPECT_FALSE(g.octree->IntersectRay(zVector(0, 0, 0), zVector(NAN, NAN, NAN), 0.0f, hit));
    EXPECT_EQ(hit.leaf, nullptr);
    EXPECT_GT(limited, 40);
}

TEST_F(OctreeTest, FindNodeFollowsTheSplitValues)
{
    zGeometry g(&core, "find");
    Split(g, RandomPolygons(random, 6000, 50.0f, 1.0f), 0);
    std::uniform_real_distribution<float> place(-60.0f, 60.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const zVector point(place(random), place(random), place(random));
        zGeometryOctree* node = g.octree->FindNode(point);
        // Each step went to the side of the split the point lies on.
        for (zGeometryOctree* n = node; n->parent != nullptr; n = n->parent) {
            const bool below = Axis(point, n->parent->splitAxis) < n->parent->splitValue;
            EXPECT_EQ(n == n->parent->left, below);
        }
        // And it could go no further.
        zGeometryOctree* next = Axis(point, node->splitAxis) < node->splitValue ? node->left : node->right;
        EXPECT_EQ(next, nullptr);
    }
}

TEST_F(OctreeTest, DebugDrawingOutlinesEveryLeafInTurningColours)
{
    RecordingRenderer renderer(&core, true);
    zGeometry g(&core, "drawn");
    Split(g, RandomPolygons(random, 5000, 50.0f, 1.0f), 0);
    const auto leaves = Leaves(g.octree);
    const zVector move(100, 200, 300);
    const zMatrix4 matrix = zMatrix4::TranslationMatrix(move);
    g.octree->DrawDebug(&renderer, &matrix);
    ASSERT_EQ(renderer.lines.size(), 12 * leaves.size());
    const uint32_t colours[4] = {0xffb40000u, 0xd420a500u, 0x3d62d300u, 0x47c8ff00u};
    for (size_t i = 0; i < leaves.size(); ++i) {
        zColor colour;
        colour.FromRGBA32(colours[i % 4]);
        const zMinMax& box = leaves[i]->bounds;
        for (size_t e = 0; e < 12; ++e) {
            const RecordingRenderer::Line& line = renderer.lines[12 * i + e];
            EXPECT_FLOAT_EQ(line.colour[0], colour.r);
            EXPECT_FLOAT_EQ(line.colour[1], colour.g);
            EXPECT_FLOAT_EQ(line.colour[2], colour.b);
            EXPECT_FLOAT_EQ(line.colour[3], colour.a);
            for (const zVector& end : {line.from, line.to}) {
                const zVector local = end - move;
                EXPECT_NEAR(std::min(std::fabs(local.x - box.min.x), std::fabs(local.x - box.max.x)), 0.0f, 1e-3f);
                EXPECT_NEAR(std::min(std::fabs(local.y - box.min.y), std::fabs(local.y - box.max.y)), 0.0f, 1e-3f);
                EXPECT_NEAR(std::min(std::fabs(local.z - box.min.z), std::fabs(local.z - box.max.z)), 0.0f, 1e-3f);
            }
        }
    }
    const zOBB obb = MinMaxToOBB(zMinMax(zVector(-1, 2, 3), zVector(3, 4, 9)));
    EXPECT_FALSE(obb.centre.DiffersFrom(zVector(1, 3, 6)));
    EXPECT_FALSE(obb.size.DiffersFrom(zVector(4, 2, 6)));
    EXPECT_FLOAT_EQ(obb.centre.w, 1.0f);
    EXPECT_FLOAT_EQ(obb.size.w, 1.0f);
}

} // namespace
