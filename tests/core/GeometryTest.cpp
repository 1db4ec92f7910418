#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zMatrix4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

class GeometryTest : public ::testing::Test {
protected:
    GeometryTest() : renderer(&core) {}
    ~GeometryTest() override { GlobalSetupProgressHook = nullptr; }

    int CountLines(const LogCapture& log, const std::string& text)
    {
        int n = 0;
        for (const std::string& line : log.lines)
            n += line.find(text) != std::string::npos;
        return n;
    }

    Tavrin core;
    ResourceRenderer renderer;
};

TEST_F(GeometryTest, ConstructionGivesTheDefaults)
{
    zGeometry g(&core, "g");
    EXPECT_EQ(g.lodDistance, 100.0f);
    EXPECT_EQ(g.zFar, -1.0f);
    EXPECT_EQ(g.staticFlag, 1);
    EXPECT_EQ(g.keepMask, 0);
    EXPECT_EQ(g.bounds.min.w, 1.0f);
    EXPECT_EQ(g.bounds.max.x, 0.0f);
    EXPECT_EQ(g.materials, nullptr);
    EXPECT_EQ(g.vertices, nullptr);
}

TEST_F(GeometryTest, NewJoinsTheCacheAndDeletingLeavesIt)
{
    zGeometry* a = zGeometry::New(&core, "a.zml");
    zGeometry* b = zGeometry::New(&core, "b.zml");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->id == "a.zml");
    EXPECT_EQ(core.GetGeometries().GetCount(), 2);
    EXPECT_EQ(core.GetGeometries().FindByName("b.zml"), b);
    delete a;
    EXPECT_EQ(core.GetGeometries().GetCount(), 1);
    EXPECT_EQ(core.GetGeometries().GetFirst(), b);
    core.DeleteAllResources();
    EXPECT_EQ(core.GetGeometries().GetCount(), 0);
}

// Every part of a geometry, so that Free's keep bits can be checked one by one.
struct FullGeometry {
    explicit FullGeometry(Tavrin* core) : g(core, "full"), lod(core, "lod"), shadow(core, "shadow")
    {
        FillTwoTriangles(g, 2, 1);
        g.vertexNormals = new zVector[6];
        g.vertexTangents = new zVector[12];
        g.polygonNormals = new zVector[2];
        g.polygonTangents = new zVector[4];
        g.vertexColours = new zVector[6];
        g.uvSetCount = 2;
        g.uvSets[0] = new zUV[6];
        g.uvSets[1] = new zUV[6];
        g.boneCount = 1;
        g.boneIds = new zString[1];
        g.skinWeights = new zSkinWeight[4];
        g.BuildPolygonIndex();
        g.BuildVertexToPolygon();
        g.ComputeVertexToVertex();
        g.FlagHomogeneousVertex(-1);
        g.octree = new zGeometryOctree(core);
        g.lodProxy = &lod;
        g.shadowProxy = &shadow;
        g.lodDistance = 5.0f;
        g.zFar = 20.0f;
        g.flags |= zGeometry::FlagLodNull | zGeometry::FlagShadowNull;
        g.rendererData = &g;
    }

    zGeometry g;
    zGeometry lod;
    zGeometry shadow;
};

TEST_F(GeometryTest, FreeKeepsExactlyThePartsOfTheKeepMask)
{
    for (uint8_t keep : {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF}) {
        FullGeometry full(&core);
        zGeometry& g = full.g;
        renderer.calls.clear();
        g.keepMask = keep;
        g.Free();
        const bool materials = (keep & zGeometry::KeepMaterials) != 0;
        EXPECT_EQ(g.materialCount, materials ? 2u : 0u) << int(keep);
        EXPECT_EQ(g.materials != nullptr, materials) << int(keep);
        EXPECT_EQ(g.zFar, materials ? 20.0f : -1.0f) << int(keep);
        const bool mesh = (keep & zGeometry::KeepMesh) != 0;
        EXPECT_EQ(g.vertices != nullptr, mesh) << int(keep);
        EXPECT_EQ(g.polygons != nullptr, mesh) << int(keep);
        EXPECT_EQ(g.bindingIndices != nullptr, mesh) << int(keep);
        EXPECT_EQ(g.vertexNormals != nullptr, mesh) << int(keep);
        EXPECT_EQ(g.polygonTangents != nullptr, mesh) << int(keep);
        EXPECT_EQ(g.vertexCount, mesh ? 4u : 0u) << int(keep);
        EXPECT_EQ(g.bindingCount, mesh ? 6u : 0u) << int(keep);
        const bool adjacency = (keep & zGeometry::KeepAdjacency) != 0;
        EXPECT_EQ(g.vertexToPolygon != nullptr, adjacency) << int(keep);
        EXPECT_EQ(g.vertexToVertex != nullptr, adjacency) << int(keep);
        EXPECT_EQ(g.homogeneous != nullptr, adjacency) << int(keep);
        EXPECT_EQ(g.polygonFirst != nullptr, mesh && adjacency) << int(keep);
        EXPECT_EQ(g.octree != nullptr, (keep & zGeometry::KeepOctree) != 0) << int(keep);
        const bool proxies = (keep & zGeometry::KeepProxies) != 0;
        EXPECT_EQ(g.lodProxy != nullptr, proxies) << int(keep);
        EXPECT_EQ(g.shadowProxy != nullptr, proxies) << int(keep);
        EXPECT_EQ(g.lodDistance, proxies ? 5.0f : 100.0f) << int(keep);
        EXPECT_EQ((g.flags & (zGeometry::FlagLodNull | zGeometry::FlagShadowNull)) != 0, proxies) << int(keep);
        EXPECT_EQ(renderer.Count("FreeGeometry"), (keep & zGeometry::KeepRendererCopy) != 0 ? 0 : 1) << int(keep);
        const bool attributes = (keep & zGeometry::KeepAttributes) != 0;
        EXPECT_EQ(g.uvSets[1] != nullptr, attributes) << int(keep);
        EXPECT_EQ(g.vertexColours != nullptr, attributes) << int(keep);
        EXPECT_EQ(g.uvSetCount, attributes ? 2u : 0u) << int(keep);
        const bool skin = (keep & zGeometry::KeepSkin) != 0;
        EXPECT_EQ(g.skinWeights != nullptr, skin) << int(keep);
        EXPECT_EQ(g.boneCount, skin ? 1 : 0) << int(keep);
    }
}

TEST_F(GeometryTest, SetupWithoutVerticesOrPolygonsOnlyReportsAndDerivesFlags)
{
    static std::vector<std::string> steps;
    steps.clear();
    GlobalSetupProgressHook = [](const char* step) { steps.emplace_back(step); };
    zGeometry empty(&core, "empty");
    empty.AllocateMaterials(1, true);
    empty.materials[0]->flags = zMaterial::FlagLit;
    empty.Setup();
    EXPECT_EQ(steps, std::vector<std::string>{"Geometry Setup"});
    EXPECT_EQ(empty.renderWord, zGeometry::RenderLit);
    EXPECT_EQ(renderer.Count("SetupGeometry"), 0);
    EXPECT_EQ(renderer.Count("SetupMaterial"), 0);
    EXPECT_EQ(empty.keepMask, 0);
}

TEST_F(GeometryTest, SetupComputesCentreAndBoundsAndHandsTheGeometryOver)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {4, 0, 0}, {4, 2, -6}}, {{{0, 1, 2}, 0}}, 2);
    g.skinWeights = new zSkinWeight[3];
    GlobalModuleTag = 9;
    g.Setup();
    EXPECT_EQ(GlobalModuleTag, 9);
    GlobalModuleTag = 0;
    EXPECT_FLOAT_EQ(g.centre.x, 8.0f / 3.0f);
    EXPECT_FLOAT_EQ(g.centre.y, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(g.centre.z, -2.0f);
    EXPECT_EQ(g.centre.w, 1.0f);
    EXPECT_EQ(g.bounds.min.z, -6.0f);
    EXPECT_EQ(g.bounds.max.x, 4.0f);
    EXPECT_EQ(g.keepMask, 0x31);
    EXPECT_EQ(renderer.Count("SetupGeometry"), 1);
    EXPECT_EQ(renderer.Count("SetupMaterial"), 2);
    for (int32_t tag : renderer.moduleTags)
        EXPECT_EQ(tag, 1);
    for (uint32_t i = 0; i < g.materialCount; ++i)
        EXPECT_NE(g.materials[i]->flags & zMaterial::FlagSkinned, 0u);

    // A later Free releases the mesh but keeps the materials and the renderer's copy.
    renderer.calls.clear();
    g.Free();
    EXPECT_EQ(g.vertices, nullptr);
    EXPECT_EQ(g.materialCount, 2u);
    EXPECT_EQ(renderer.Count("FreeGeometry"), 0);
}

TEST_F(GeometryTest, SetupOfASplitGeometrySetsUpItsLeavesInstead)
{
    zGeometry g(&core, "split");
    FillTwoTriangles(g);
    auto* leaf = zGeometry::New(&core, nullptr);
    FillTwoTriangles(*leaf);
    g.octree = new zGeometryOctree(&core);
    g.octree->left = new zGeometryOctree(&core);
    g.octree->left->leaf = leaf;
    g.Setup();
    EXPECT_EQ(renderer.Count("SetupGeometry"), 1) << "the leaf only";
    EXPECT_EQ(leaf->keepMask, 0x31);
}

TEST_F(GeometryTest, RenderFlagsFollowTheMaterials)
{
    struct Case {
        uint32_t materialFlags;
        bool colours;
        uint32_t renderWord;
        int32_t staticFlag;
    };
    const Case cases[] = {
        {0, false, 0, 1},
        {zMaterial::FlagLit, false, zGeometry::RenderLit, 1},
        {zMaterial::FlagSmoothing, false, zGeometry::RenderLit, 1},
        {zMaterial::FlagForceVertexNormal, false, zGeometry::RenderLit, 1},
        {zMaterial::FlagNormalMapTangent, false, zGeometry::RenderTangents, 1},
        {zMaterial::FlagSoftBody, false, 0, 0},
        {0, true, zGeometry::RenderRGB, 1},
    };
    for (const Case& c : cases) {
        zGeometry g(&core, "g");
        g.AllocateMaterials(2, true);
        g.materials[1]->flags = c.materialFlags;
        if (c.colours)
            g.vertexColours = new zVector[1];
        g.renderWord = 0xFF;
        g.ComputeRenderFlags();
        EXPECT_EQ(g.renderWord, c.renderWord) << c.materialFlags;
        EXPECT_EQ(g.staticFlag, c.staticFlag) << c.materialFlags;
        EXPECT_EQ(g.materialFlagUnion, c.materialFlags) << c.materialFlags;
        EXPECT_EQ((g.materials[0]->flags & zMaterial::FlagVertexColor) != 0, c.colours) << c.materialFlags;
    }
}

TEST_F(GeometryTest, ComputeMinMaxTransformsEachVertexWhenGivenAMatrix)
{
    zGeometry g(&core, "g");
    zMinMax box;
    g.ComputeMinMax(box);
    EXPECT_EQ(box.min.x, 0.0f);
    EXPECT_EQ(box.max.z, 0.0f);
    EXPECT_EQ(box.max.w, 1.0f);

    FillGeometry(g, {{1, 2, 3}, {-1, 5, 0}}, {{{0, 1}, 0}});
    g.ComputeMinMax(box);
    EXPECT_EQ(box.min.x, -1.0f);
    EXPECT_EQ(box.min.y, 2.0f);
    EXPECT_EQ(box.max.y, 5.0f);
    EXPECT_EQ(box.max.z, 3.0f);
    const zMatrix4 shift = zMatrix4::TranslationMatrix(zVector(10, 0, -1));
    g.ComputeMinMax(box, &shift);
    EXPECT_EQ(box.min.x, 9.0f);
    EXPECT_EQ(box.max.x, 11.0f);
    EXPECT_EQ(box.min.z, -1.0f);
}

TEST_F(GeometryTest, PolygonIndexAndBindingCountAreRunningSums)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}, {{0, 1, 2, 3}, 0}, {{}, 0}, {{3, 2}, 0}});
    g.bindingCount = 0;
    g.CountBindings();
    EXPECT_EQ(g.bindingCount, 9u);
    ASSERT_TRUE(g.BuildPolygonIndex());
    EXPECT_EQ(std::vector<int32_t>(g.polygonFirst, g.polygonFirst + 4), (std::vector<int32_t>{0, 3, 7, 7}));
}

TEST_F(GeometryTest, PolygonsNamingAMissingMaterialTakeTheLastWithOneWarning)
{
    LogCapture log;
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 7}, {{0, 1, 2}, 9}, {{0, 1, 2}, 2}, {{0, 1, 2}, 0},
                                                       {{0, 1, 2}, 1}}, 3);
    ASSERT_TRUE(g.EnforceValid());
    for (uint32_t p = 0; p < 3; ++p)
        EXPECT_EQ(g.polygons[p].material, 2) << p;
    EXPECT_EQ(CountLines(log, "[*] zGeometry::EnforceValid ("), 1);
    EXPECT_EQ(CountLines(log, "A polygon is referring to a non-existent material. Source file was probably incomplete."),
              1);
    EXPECT_EQ(g.materialCount, 3u);
}

// With no material the polygons keep their indices instead of all becoming
// 65535.
TEST_F(GeometryTest, WithoutMaterialsThePolygonMaterialsStayAsTheyAre)
{
    LogCapture log;
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 4}}, 0);
    ASSERT_TRUE(g.EnforceValid());
    EXPECT_EQ(g.polygons[0].material, 4);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(GeometryTest, UnusedMaterialsAreRemovedAndIndicesRenumbered)
{
    LogCapture log;
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 3}, {{0, 1, 2}, 1}, {{0, 1, 2}, 3}}, 4);
    zMaterial* one = g.materials[1];
    zMaterial* three = g.materials[3];
    renderer.calls.clear();
    ASSERT_TRUE(g.EnforceValid());
    ASSERT_EQ(g.materialCount, 2u);
    EXPECT_EQ(g.materials[0], one);
    EXPECT_EQ(g.materials[1], three);
    EXPECT_EQ(g.polygons[0].material, 1);
    EXPECT_EQ(g.polygons[1].material, 0);
    EXPECT_EQ(g.polygons[2].material, 1);
    EXPECT_TRUE(log.Contains("Removed 2 material(s) from geometry.\n"));
    EXPECT_EQ(renderer.Count("UpdateMaterial"), 2) << "each kept material is updated";
    EXPECT_EQ(renderer.Count("FreeMaterial"), 2) << "the removed ones are deleted";
}

TEST_F(GeometryTest, SharedMaterialsAreDroppedButNotDeleted)
{
    zGeometry owner(&core, "owner");
    owner.AllocateMaterials(3, true);
    zGeometry leaf(&core, "leaf");
    FillGeometry(leaf, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 2}}, 0);
    leaf.materials = new zMaterial*[3];
    for (int i = 0; i < 3; ++i)
        leaf.materials[i] = owner.materials[i];
    leaf.materialCount = 3;
    leaf.flags |= zGeometry::FlagSharedMaterials;
    LogCapture log;
    ASSERT_TRUE(leaf.EnforceValid());
    ASSERT_EQ(leaf.materialCount, 1u);
    EXPECT_EQ(leaf.materials[0], owner.materials[2]);
    // The owner's materials are still alive (the sanitizer build checks it).
    owner.materials[0]->name = "still here";
    owner.materials[1]->Update();
}

TEST_F(GeometryTest, StagesNamingAMissingUVSetLoseTheirUVIndex)
{
    LogCapture log;
    zGeometry g(&core, "g");
    FillTwoTriangles(g, 2, 1);
    g.uvSetCount = 1;
    g.materials[0]->stages[0].uvIndex = 0;
    g.materials[0]->stages[1].uvIndex = 1;
    g.materials[1]->stages[2].uvIndex = 2;
    g.materials[1]->stages[3].uvIndex = -5;
    ASSERT_TRUE(g.EnforceValid());
    EXPECT_EQ(g.materials[0]->stages[0].uvIndex, 0);
    EXPECT_EQ(g.materials[0]->stages[1].uvIndex, -1);
    EXPECT_EQ(g.materials[1]->stages[2].uvIndex, -1);
    EXPECT_EQ(g.materials[1]->stages[3].uvIndex, -1);
    EXPECT_EQ(CountLines(log, "Some materials in 'g' are referring to one or more non-existent UV map."), 1);
}

TEST_F(GeometryTest, CornersOutsideTheVerticesAreRefusedWithNothingChanged)
{
    for (int32_t index : {3, 4, -1, 1000000}) {
        LogCapture log;
        zGeometry g(&core, "g");
        FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 5}, {{0, index, 2}, 1}}, 2);
        EXPECT_FALSE(g.EnforceValid()) << index;
        EXPECT_TRUE(log.Contains("Polygon 1 of 'g' refers to vertex " + std::to_string(index) + ", beyond the 3 vertice."))
            << index;
        EXPECT_EQ(g.polygons[0].material, 5) << "nothing repaired";
        EXPECT_EQ(g.materialCount, 2u);
    }

    // A polygon whose corners lie outside the binding block.
    LogCapture log;
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 0}});
    g.polygons[0].vertexCount = 4;
    EXPECT_FALSE(g.EnforceValid());
    EXPECT_TRUE(log.Contains("Polygon 0 of 'g' has no corners in the binding block."));
}

TEST_F(GeometryTest, VertexToPolygonCountsAVertexListedTwiceTwice)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {9, 9, 9}}, {{{0, 1, 2}, 0}, {{0, 1, 0, 2}, 0}, {{2, 1}, 0}});
    ASSERT_TRUE(g.BuildVertexToPolygon());
    const auto list = [&](uint32_t v) {
        const zVertexPolygons& e = g.vertexToPolygon[v];
        return std::vector<uint32_t>(e.polygons, e.polygons + e.count);
    };
    EXPECT_EQ(list(0), (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(list(1), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(list(2), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(list(3), std::vector<uint32_t>{});
    uint32_t* block = g.vertexToPolygonBlock;
    EXPECT_TRUE(g.BuildVertexToPolygon());
    EXPECT_EQ(g.vertexToPolygonBlock, block) << "built once";
}

TEST_F(GeometryTest, VertexToVertexListsEachNeighbourCornerOnce)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{{0, 1, 2, 3}, 0}, {{0, 1, 0, 2}, 0}});
    ASSERT_TRUE(g.ComputeVertexToVertex());
    const auto list = [&](uint32_t v) {
        std::vector<std::pair<int32_t, int32_t>> out;
        const zVertexNeighbours& e = g.vertexToVertex[v];
        for (uint32_t i = 0; i < e.count; ++i)
            out.emplace_back(e.neighbours[i].polygon, e.neighbours[i].corner);
        return out;
    };
    using Pairs = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(list(0), (Pairs{{0, 3}, {0, 1}, {1, 3}, {1, 1}}));
    EXPECT_EQ(list(2), (Pairs{{0, 1}, {0, 3}, {1, 2}, {1, 0}}));
    EXPECT_EQ(list(3), (Pairs{{0, 2}, {0, 0}}));
}

// A vertex shared by thousands of polygons keeps every neighbour: the list is
// sized by counting, not by a fixed buffer.
TEST_F(GeometryTest, VertexToVertexHasNoFixedLimit)
{
    LogCapture log;
    constexpr int32_t fan = 3000;
    std::vector<zVector> vertices(fan + 2);
    std::vector<PolygonSpec> polygons;
    for (int32_t i = 0; i < fan; ++i)
        polygons.push_back({{0, i + 1, i + 2}, 0});
    zGeometry g(&core, "fan");
    FillGeometry(g, vertices, polygons);
    ASSERT_TRUE(g.ComputeVertexToVertex());
    EXPECT_EQ(g.vertexToVertex[0].count, uint32_t(2 * fan));
    std::set<std::pair<int32_t, int32_t>> distinct;
    for (uint32_t i = 0; i < g.vertexToVertex[0].count; ++i)
        distinct.emplace(g.vertexToVertex[0].neighbours[i].polygon, g.vertexToVertex[0].neighbours[i].corner);
    EXPECT_EQ(distinct.size(), size_t(2 * fan));
    EXPECT_EQ(g.vertexToVertex[1].count, 2u);
    EXPECT_FALSE(log.Contains("V2V lut is corrupt"));
}

// A polygon of 60,000 corners: each corner's neighbours are the two beside
// it, found without scanning the polygon once for each of its vertices.
TEST_F(GeometryTest, VertexToVertexOfOneVeryLargePolygon)
{
    constexpr int32_t corners = 60000;
    std::vector<zVector> vertices(corners);
    PolygonSpec polygon;
    for (int32_t i = 0; i < corners; ++i)
        polygon.corners.push_back(i);
    zGeometry g(&core, "ring");
    FillGeometry(g, vertices, {polygon});
    ASSERT_TRUE(g.ComputeVertexToVertex());
    for (int32_t v : {0, 1, 30000, corners - 1}) {
        ASSERT_EQ(g.vertexToVertex[v].count, 2u) << v;
        EXPECT_EQ(g.vertexToVertex[v].neighbours[0].corner, (v + corners - 1) % corners) << v;
        EXPECT_EQ(g.vertexToVertex[v].neighbours[1].corner, (v + 1) % corners) << v;
    }
    ASSERT_TRUE(g.FlagHomogeneousVertex(-1));
    EXPECT_EQ(g.homogeneous[30000], 1);
}

namespace {

// The normals that the polygons of a fan give at its hub.
struct SpreadCase {
    const char* name;
    std::vector<zVector> normals;
    uint8_t shared;
};

void PrintTo(const SpreadCase& c, std::ostream* out)
{
    *out << c.name;
}

std::vector<zVector> Circle(int count, float radius)
{
    std::vector<zVector> out;
    for (int i = 0; i < count; ++i) {
        const float a = 6.2831853f * float(i) / float(count);
        out.push_back({radius * std::cos(a), radius * std::sin(a), 1});
    }
    return out;
}

// 0.0031 is just under the tolerance's square root, 0.0032 just over.
const SpreadCase spreadCases[] = {
    {"AllEqual", std::vector<zVector>(5000, zVector(0, 0, 1)), 1},
    {"TwoEndsApart", {{0, 0, 1}, {0.002f, 0, 1}, {0.0032f, 0, 1}, {0.001f, 0, 1}}, 0},
    {"WithinToleranceAlongOneSide", {{0, 0, 1}, {0.0031f, 0, 1}, {0.0015f, 0, 1}}, 1},
    // Each side of the box is within the tolerance, its diagonal is not.
    {"AcrossTheBoxDiagonal", {{0, 0, 1}, {0.0031f, 0, 1}, {0, 0.0031f, 1}}, 0},
    {"EquilateralWithinTolerance", {{0, 0, 1}, {0.003f, 0, 1}, {0.0015f, 0.0026f, 1}}, 1},
    {"NotANumberDiffersFromNothing", {{0, 0, 1}, {std::nanf(""), 5, 1}, {0, 0, 1}}, 1},
    {"InfinityDiffers", {{0, 0, 1}, {INFINITY, 0, 1}}, 0},
    // Every two within the tolerance, but too many different values to
    // compare pair by pair: taken as differing, the vertex is not shared.
    {"ManyDifferentValuesInASmallCircle", Circle(100, 0.0015f), 0},
    {"FewDifferentValuesInASmallCircle", Circle(20, 0.0015f), 1},
};

class HomogeneousSpreadTest : public GeometryTest, public ::testing::WithParamInterface<SpreadCase> {};

} // namespace

TEST_P(HomogeneousSpreadTest, TheHubIsSharedWhenNoTwoCornersDiffer)
{
    const std::vector<zVector>& normals = GetParam().normals;
    std::vector<zVector> vertices(normals.size() + 2);
    std::vector<PolygonSpec> polygons;
    for (size_t i = 0; i < normals.size(); ++i)
        polygons.push_back({{0, int32_t(i + 1), int32_t(i + 2)}, 0});
    zGeometry g(&core, "fan");
    FillGeometry(g, vertices, polygons);
    g.vertexNormals = new zVector[g.bindingCount];
    for (size_t i = 0; i < normals.size(); ++i) {
        g.vertexNormals[3 * i] = normals[i];
        g.vertexNormals[3 * i + 1] = g.vertexNormals[3 * i + 2] = zVector(0, 0, 1);
    }
    ASSERT_TRUE(g.FlagHomogeneousVertex(-1));
    EXPECT_EQ(g.homogeneous[0], GetParam().shared);
}

INSTANTIATE_TEST_SUITE_P(Spreads, HomogeneousSpreadTest, ::testing::ValuesIn(spreadCases),
                         [](const ::testing::TestParamInfo<SpreadCase>& info) { return std::string(info.param.name); });

TEST_F(GeometryTest, HomogeneousVerticesAgreeInMaterialAndCornerAttributes)
{
    struct Case {
        uint16_t secondMaterial;
        float normalTilt;
        int32_t argument;
        uint8_t shared;
    };
    const Case cases[] = {
        {0, 0.0f, -1, 1},
        {0, 0.001f, -1, 1},  // within the tolerance
        {0, 0.5f, -1, 0},
        {0, 0.5f, 1, 1},     // another material asked for: attributes not compared
        {0, 0.5f, 0, 0},
        {1, 0.0f, -1, 0},    // different materials never share
    };
    for (const Case& c : cases) {
        zGeometry g(&core, "g");
        FillTwoTriangles(g, 2, c.secondMaterial);
        g.vertexNormals = new zVector[6];
        for (int b = 0; b < 6; ++b)
            g.vertexNormals[b] = zVector(0, 0, 1);
        // Binding 3 is vertex 0 in the second triangle.
        g.vertexNormals[3] = zVector(c.normalTilt, 0, 1);
        ASSERT_TRUE(g.FlagHomogeneousVertex(c.argument));
        EXPECT_EQ(g.homogeneous[0], c.shared) << c.secondMaterial << " " << c.normalTilt << " " << c.argument;
        EXPECT_EQ(g.homogeneous[2], c.secondMaterial == 0 ? 1 : 0) << c.secondMaterial;
        EXPECT_EQ(g.homogeneous[1], 1);
        EXPECT_EQ(g.homogeneous[3], 1);
    }
}

TEST_F(GeometryTest, HomogeneousVerticesCompareOnlyTheUVSetsTheMaterialUses)
{
    for (int used : {0, 1}) {
        zGeometry g(&core, "g");
        FillTwoTriangles(g);
        g.uvSetCount = 2;
        g.uvSets[0] = new zUV[6]();
        g.uvSets[1] = new zUV[6]();
        g.uvSets[1][3].u = 0.5f;
        g.materials[0]->uvMapsUsed[1] = uint8_t(used);
        ASSERT_TRUE(g.FlagHomogeneousVertex(-1));
        EXPECT_EQ(g.homogeneous[0], used ? 0 : 1);
    }
}

TEST_F(GeometryTest, DeleteOctreesWalksTheProxiesAndEndsOnLoops)
{
    zGeometry a(&core, "a");
    zGeometry b(&core, "b");
    zGeometry c(&core, "c");
    for (zGeometry* g : {&a, &b, &c})
        g->octree = new zGeometryOctree(&core);
    a.lodProxy = &b;
    b.lodProxy = &a;
    a.shadowProxy = &c;
    c.shadowProxy = &c;
    a.DeleteOctrees();
    EXPECT_EQ(a.octree, nullptr);
    EXPECT_EQ(b.octree, nullptr);
    EXPECT_EQ(c.octree, nullptr);
}

class GeometryMaterialsTest : public GeometryTest {
};

TEST_F(GeometryMaterialsTest, LookupByNameFindsTheFirstMatch)
{
    zGeometry g(&core, "g");
    g.AllocateMaterials(3, true);
    g.materials[0]->name = "wood";
    g.materials[1]->name = "stone";
    g.materials[2]->name = "stone";
    EXPECT_EQ(g.GetMaterialIndex("stone"), 1);
    EXPECT_EQ(g.GetMaterialByName("wood"), g.materials[0]);

    LogCapture log;
    EXPECT_EQ(g.GetMaterialIndex("glass"), zGeometry::NoMaterial);
    EXPECT_TRUE(log.Contains("[*] zGeometry::GetMaterialIndex ("));
    EXPECT_TRUE(log.Contains("Could not find material 'glass' in geometry 'g'."));
    log.lines.clear();
    EXPECT_EQ(g.GetMaterialByName("glass"), nullptr);
    EXPECT_EQ(log.lines.size(), 2u);
    EXPECT_TRUE(log.Contains("'g' GetMaterial(), out of bound index (65535)."));
    EXPECT_EQ(g.GetMaterialFromIndex(3), nullptr);
    EXPECT_EQ(g.GetMaterialFromIndex(2), g.materials[2]);
}

TEST_F(GeometryMaterialsTest, AllocateMaterialsReplacesTheArray)
{
    zGeometry g(&core, "g");
    LogCapture log;
    EXPECT_TRUE(g.AllocateMaterials(0, true));
    EXPECT_EQ(g.materials, nullptr);
    EXPECT_EQ(g.materialCount, 0u);
    EXPECT_TRUE(log.Contains("No materials allocated for geometry 'g'."));

    ASSERT_TRUE(g.AllocateMaterials(2, false));
    EXPECT_EQ(g.materialCount, 2u);
    EXPECT_EQ(g.materials[0], nullptr);
    EXPECT_EQ(g.materials[1], nullptr);

    ASSERT_TRUE(g.AllocateMaterials(3, true));
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_NE(g.materials[i], nullptr);
        EXPECT_EQ(g.materials[i]->core, &core);
    }
    renderer.calls.clear();
    ASSERT_TRUE(g.AllocateMaterials(1, true));
    EXPECT_EQ(renderer.Count("FreeMaterial"), 3) << "owned materials are deleted";
}

// Octree leaves share their parent's materials: replacing a leaf's array must
// not delete them under the parent.
TEST_F(GeometryMaterialsTest, AllocateMaterialsLeavesSharedMaterialsToTheirOwner)
{
    zGeometry owner(&core, "owner");
    owner.AllocateMaterials(2, true);
    zGeometry leaf(&core, "leaf");
    leaf.AllocateMaterials(2, false);
    leaf.materials[0] = owner.materials[0];
    leaf.materials[1] = owner.materials[1];
    leaf.flags |= zGeometry::FlagSharedMaterials;
    renderer.calls.clear();
    ASSERT_TRUE(leaf.AllocateMaterials(1, true));
    EXPECT_EQ(renderer.Count("FreeMaterial"), 0);
    EXPECT_EQ(leaf.flags & zGeometry::FlagSharedMaterials, 0u) << "the new materials are the leaf's own";
    owner.materials[1]->name = "alive";
    EXPECT_TRUE(owner.materials[1]->name == "alive");
}

TEST_F(GeometryMaterialsTest, MergeKeepsOneOfEachContentAndRemapsThePolygons)
{
    zGeometry g(&core, "g");
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 0}, {{0, 1, 2}, 1}, {{0, 1, 2}, 2}, {{0, 1, 2}, 2}},
                 3);
    g.materials[0]->diffuse.r = 0.5f;
    g.materials[2]->diffuse.r = 0.5f;
    g.materials[1]->flags = zMaterial::FlagWireframe;
    zMaterial* red = g.materials[0];
    zMaterial* wire = g.materials[1];

    LogCapture log;
    EXPECT_EQ(g.MergeDuplicateMaterials(), 1);
    ASSERT_EQ(g.materialCount, 2u);
    EXPECT_TRUE(log.Contains("-- Merging materials in geometry 'g'...\n"));
    EXPECT_TRUE(log.Contains("-- Done, merged 1 material(s).\n"));
    for (uint32_t p = 0; p < 4; ++p) {
        const zMaterial* m = g.materials[g.polygons[p].material];
        EXPECT_EQ(m, p == 1 ? wire : red) << p;
    }
    EXPECT_EQ(g.polygons[0].material, g.polygons[3].material);

    log.lines.clear();
    EXPECT_EQ(g.MergeDuplicateMaterials(), 0);
    EXPECT_EQ(g.materialCount, 2u);

    zGeometry single(&core, "single");
    single.AllocateMaterials(1, true);
    log.lines.clear();
    EXPECT_EQ(single.MergeDuplicateMaterials(), 0);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(GeometryMaterialsTest, MergeOfSharedMaterialsDeletesNone)
{
    zGeometry owner(&core, "owner");
    owner.AllocateMaterials(3, true);
    zGeometry leaf(&core, "leaf");
    FillGeometry(leaf, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 0}, {{0, 1, 2}, 2}}, 0);
    leaf.AllocateMaterials(3, false);
    for (int i = 0; i < 3; ++i)
        leaf.materials[i] = owner.materials[i];
    leaf.flags |= zGeometry::FlagSharedMaterials;
    LogCapture log;
    renderer.calls.clear();
    EXPECT_EQ(leaf.MergeDuplicateMaterials(), 2);
    EXPECT_EQ(leaf.materialCount, 1u);
    EXPECT_EQ(renderer.Count("FreeMaterial"), 0);
    EXPECT_EQ(leaf.polygons[1].material, 0);
}

} // namespace
