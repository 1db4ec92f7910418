#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryTrilist.h"
#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using Indices = std::vector<int32_t>;

std::vector<zGeometryTrilist*> Lists(const zLinkedList* container)
{
    std::vector<zGeometryTrilist*> lists;
    zLinkedListCursor cursor;
    while (zGeometryTrilist* list = container->NextAs<zGeometryTrilist>(cursor))
        lists.push_back(list);
    return lists;
}

Indices ListIndices(const zGeometryTrilist& list)
{
    return Indices(list.indices, list.indices + 3 * list.triangleCount);
}

// What one triangle corner carries: material, position, and each per-corner
// attribute the list has.
std::vector<float> CornerValues(const zMaterial* material, const zVector& position, const zVector* normal,
                                const zVector* colour, const zUV* uv)
{
    std::vector<float> values = {float(reinterpret_cast<uintptr_t>(material) % 65521), position.x, position.y,
                                 position.z};
    if (normal != nullptr)
        values.insert(values.end(), {normal->x, normal->y, normal->z});
    if (colour != nullptr)
        values.insert(values.end(), {colour->x, colour->y, colour->z});
    if (uv != nullptr)
        values.insert(values.end(), {uv->u, uv->v});
    return values;
}

// The corners of every fan triangle of the geometry, materials in index order
// and polygons in order within each: what the lists must hold, in order, when
// they are not reordered.
std::vector<std::vector<float>> ExpectedCorners(const zGeometry& g)
{
    std::vector<std::vector<float>> corners;
    for (uint32_t m = 0; m < g.materialCount; ++m) {
        uint32_t first = 0;
        for (uint32_t p = 0; p < g.polygonCount; ++p) {
            const zPolygon& polygon = g.polygons[p];
            if (polygon.material == m && polygon.vertexCount > 2) {
                for (uint32_t k = 1; k + 1 < polygon.vertexCount; ++k) {
                    for (uint32_t c : {0u, k, k + 1}) {
                        const uint32_t b = first + c;
                        const zMaterial* material = g.materials[m];
                        const bool uv0 = material->uvMapsUsed[0] != 0 && g.uvSets[0] != nullptr;
                        corners.push_back(CornerValues(material, g.vertices[polygon.indices[c]],
                                                       g.vertexNormals != nullptr ? &g.vertexNormals[b] : nullptr,
                                                       g.vertexColours != nullptr ? &g.vertexColours[b] : nullptr,
                                                       uv0 ? &g.uvSets[0][b] : nullptr));
                    }
                }
            }
            first += polygon.vertexCount;
        }
    }
    return corners;
}

std::vector<std::vector<float>> ListCorners(const zLinkedList* container)
{
    std::vector<std::vector<float>> corners;
    for (const zGeometryTrilist* list : Lists(container)) {
        for (uint32_t i = 0; i < 3 * list->triangleCount; ++i) {
            const int32_t v = list->indices[i];
            EXPECT_GE(v, 0);
            EXPECT_LT(uint32_t(v), list->vertexCount);
            if (v < 0 || uint32_t(v) >= list->vertexCount)
                return {};
            corners.push_back(CornerValues(list->material, list->vertices[v],
                                           list->normals != nullptr ? &list->normals[v] : nullptr,
                                           list->colours != nullptr ? &list->colours[v] : nullptr,
                                           list->uvSets[0] != nullptr ? &list->uvSets[0][v] : nullptr));
        }
    }
    return corners;
}

class GeometryTrilistTest : public ::testing::Test {
protected:
    std::unique_ptr<zLinkedList> Convert(int32_t maxTriangles = 16384, int32_t cacheSize = 0)
    {
        return std::unique_ptr<zLinkedList>(zGeometryTrilist::GeometryToTriangleList(&g, maxTriangles, cacheSize));
    }

    // Polygons of the given corner counts and materials, each over vertices of
    // its own.
    void FillPolygons(const std::vector<std::pair<int32_t, uint16_t>>& shapes, uint32_t materialCount = 1)
    {
        std::vector<zVector> vertices;
        std::vector<PolygonSpec> polygons;
        for (const auto& [corners, material] : shapes) {
            PolygonSpec polygon;
            polygon.material = material;
            for (int32_t c = 0; c < corners; ++c) {
                polygon.corners.push_back(int32_t(vertices.size()));
                vertices.emplace_back(float(vertices.size()), float(c), float(polygons.size()));
            }
            polygons.push_back(polygon);
        }
        FillGeometry(g, vertices, polygons, materialCount);
    }

    Tavrin core;
    zGeometry g{&core, "mesh"};
};

TEST_F(GeometryTrilistTest, PolygonsBecomeFansOverSharedVertices)
{
    struct Case {
        std::vector<int32_t> corners;
        Indices expected;
    };
    const Case cases[] = {
        {{0, 1, 2}, {0, 1, 2}},
        {{0, 1, 2, 3}, {0, 1, 2, 0, 2, 3}},
        {{3, 1, 4, 0, 2}, {0, 1, 2, 0, 2, 3, 0, 3, 4}},
    };
    for (const Case& c : cases) {
        zGeometry geometry(&core, "fan");
        FillGeometry(geometry, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}}, {{c.corners, 0}});
        std::unique_ptr<zLinkedList> container(zGeometryTrilist::GeometryToTriangleList(&geometry, 16384, 16));
        ASSERT_NE(container, nullptr);
        const auto lists = Lists(container.get());
        ASSERT_EQ(lists.size(), 1u);
        EXPECT_EQ(lists[0]->vertexCount, uint32_t(c.corners.size()));
        EXPECT_EQ(ListIndices(*lists[0]), c.expected);
        EXPECT_EQ(lists[0]->material, geometry.materials[0]);
        EXPECT_EQ(lists[0]->boneCount, 0u);
        EXPECT_EQ(lists[0]->weights, nullptr);
        EXPECT_EQ(lists[0]->normals, nullptr);
        for (size_t i = 0; i < c.corners.size(); ++i)
            EXPECT_EQ(lists[0]->vertices[i].x, geometry.vertices[c.corners[i]].x);
    }
}

TEST_F(GeometryTrilistTest, CubeSharesVerticesOnlyWhereCornersAgree)
{
    for (bool faceNormals : {true, false}) {
        zGeometry cube(&core, "cube");
        FillGeometry(cube, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                     {{{0, 3, 2, 1}, 0},
                      {{4, 5, 6, 7}, 0},
                      {{0, 1, 5, 4}, 0},
                      {{2, 3, 7, 6}, 0},
                      {{1, 2, 6, 5}, 0},
                      {{3, 0, 4, 7}, 0}});
        const zVector normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
        cube.vertexNormals = new zVector[24];
        for (uint32_t b = 0; b < 24; ++b)
            cube.vertexNormals[b] = faceNormals ? normals[b / 4] : zVector(0, 0, 1);
        std::unique_ptr<zLinkedList> container(zGeometryTrilist::GeometryToTriangleList(&cube, 16384, 0));
        ASSERT_NE(container, nullptr);
        const auto lists = Lists(container.get());
        ASSERT_EQ(lists.size(), 1u);
        EXPECT_EQ(lists[0]->vertexCount, faceNormals ? 24u : 8u);
        EXPECT_EQ(lists[0]->triangleCount, 12u);
        EXPECT_EQ(ListCorners(container.get()), ExpectedCorners(cube)) << faceNormals;
        // The table is only needed while converting.
        EXPECT_EQ(cube.homogeneous, nullptr);
    }
}

TEST_F(GeometryTrilistTest, ListsCloseBeforeReachingTheTriangleLimit)
{
    // A strip of 10000 quads: 8191 quads make 16382 triangles, and one more
    // would reach 16384.
    std::vector<zVector> vertices;
    std::vector<PolygonSpec> quads;
    for (int32_t i = 0; i <= 10000; ++i) {
        vertices.emplace_back(float(i), 0.0f, 0.0f);
        vertices.emplace_back(float(i), 1.0f, 0.0f);
    }
    for (int32_t q = 0; q < 10000; ++q)
        quads.push_back({{2 * q, 2 * q + 2, 2 * q + 3, 2 * q + 1}, 0});
    FillGeometry(g, vertices, quads);
    LogCapture log;
    const auto container = Convert();
    ASSERT_NE(container, nullptr);
    const auto lists = Lists(container.get());
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->triangleCount, 2u * 8191u);
    EXPECT_EQ(lists[1]->triangleCount, 2u * 1809u);
    // Vertices are shared within a list, and the seam vertices repeat.
    EXPECT_EQ(lists[0]->vertexCount, 2u * 8192u);
    EXPECT_EQ(lists[1]->vertexCount, 2u * 1810u);
    EXPECT_EQ(ListCorners(container.get()), ExpectedCorners(g));
    EXPECT_TRUE(log.Contains("Average: 10000.000 tri/list, 0.000 bone/list."));
}

// A polygon whose fan does not fit a list is split over several, and nothing
// after it is lost; every list stays below the limit.
TEST_F(GeometryTrilistTest, PolygonsLargerThanTheLimitAreSplit)
{
    struct Case {
        int32_t limit;
        size_t lists;
    };
    const Case cases[] = {{16, 4}, {40, 3}, {2, 42}, {0, 42}, {-5, 42}};
    for (const Case& c : cases) {
        FillPolygons({{3, 0}, {3, 0}, {40, 0}, {4, 0}});
        LogCapture log;
        const auto container = Convert(c.limit);
        ASSERT_NE(container, nullptr);
        const auto lists = Lists(container.get());
        EXPECT_EQ(lists.size(), c.lists) << c.limit;
        for (const zGeometryTrilist* list : lists)
            EXPECT_LT(list->triangleCount, uint32_t(std::max(c.limit, 2))) << c.limit;
        EXPECT_EQ(ListCorners(container.get()), ExpectedCorners(g)) << c.limit;
        EXPECT_EQ(log.Contains("[*] zGeometryTrilist::GeometryToTriangleList"), c.limit <= 38) << c.limit;
        g.FreeAll();
    }
}

// The fan of a polygon is complete however many corners it has.
TEST_F(GeometryTrilistTest, PolygonsOfManyCornersKeepEveryTriangle)
{
    FillPolygons({{300, 0}, {3, 0}, {1000, 0}});
    LogCapture log;
    const auto container = Convert();
    ASSERT_NE(container, nullptr);
    const auto lists = Lists(container.get());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0]->triangleCount, 298u + 1u + 998u);
    EXPECT_EQ(ListCorners(container.get()), ExpectedCorners(g));
    EXPECT_FALSE(log.Contains("[*] "));
}

TEST_F(GeometryTrilistTest, MaterialsComeInIndexOrder)
{
    FillMultiMaterial(g);
    const auto container = Convert();
    ASSERT_NE(container, nullptr);
    const auto lists = Lists(container.get());
    ASSERT_EQ(lists.size(), 3u);
    for (uint32_t m = 0; m < 3; ++m)
        EXPECT_EQ(lists[m]->material, g.materials[m]);
    EXPECT_EQ(lists[1]->triangleCount, 2u);
    ASSERT_NE(lists[0]->colours, nullptr);
    EXPECT_EQ(ListCorners(container.get()), ExpectedCorners(g));
}

TEST_F(GeometryTrilistTest, PolygonsOfTwoCornersOrFewerGiveNothing)
{
    FillPolygons({{2, 0}, {1, 0}, {0, 0}});
    LogCapture log;
    const auto container = Convert();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->GetCount(), 0);
    EXPECT_TRUE(log.Contains("Converting geometry mesh to triangle list..."));
    // No list: the averages are 0, not a division by zero.
    EXPECT_TRUE(log.Contains("Average: 0.000 tri/list, 0.000 bone/list."));
}

TEST_F(GeometryTrilistTest, InvalidGeometriesGiveNull)
{
    LogCapture log;
    EXPECT_EQ(zGeometryTrilist::GeometryToTriangleList(nullptr, 16384, 16), nullptr);
    EXPECT_TRUE(log.Contains("[!] zGeometryTrilist::GeometryToTriangleList"));
    EXPECT_TRUE(log.Contains("Invalid geometry ()."));

    EXPECT_EQ(Convert(), nullptr);
    EXPECT_TRUE(log.Contains("Invalid geometry (mesh)."));

    // A corner naming a vertex that does not exist.
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{{0, 1, 2}, 0}, {{0, 2, 7}, 0}});
    log.lines.clear();
    EXPECT_EQ(Convert(), nullptr);
    EXPECT_TRUE(log.Contains("Invalid geometry (mesh)."));
}

// A skin over 40 bones, each quad binding the two next bones: a list closes
// once its palette holds 28, and every weight names its bone through the
// palette.
TEST_F(GeometryTrilistTest, BonePalettesCloseListsAndMapEveryWeight)
{
    std::vector<std::pair<int32_t, uint16_t>> quads(39, {4, 0});
    FillPolygons(quads);
    g.boneCount = 40;
    g.boneIds = new zString[40];
    g.skinWeights = new zSkinWeight[g.vertexCount];
    for (uint32_t v = 0; v < g.vertexCount; ++v) {
        const uint16_t q = uint16_t(v / 4);
        g.skinWeights[v] = {{0.25f, 0.75f, 0.0f, 0.0f}, {q, uint16_t(q + 1), q, uint16_t(q + 1)}};
    }
    const auto container = Convert(16384, 16);
    ASSERT_NE(container, nullptr);
    const auto lists = Lists(container.get());
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->triangleCount, 2u * 27u);
    EXPECT_EQ(lists[0]->boneCount, 28u);
    EXPECT_EQ(lists[1]->boneCount, 13u);
    EXPECT_EQ(lists[1]->bonePalette[0], 27u);
    for (const zGeometryTrilist* list : lists) {
        ASSERT_NE(list->weights, nullptr);
        for (uint32_t v = 0; v < list->vertexCount; ++v) {
            // Positions are made with x the geometry vertex index.
            const zSkinWeight& skin = g.skinWeights[uint32_t(list->vertices[v].x)];
            const zTrilistWeight& weight = list->weights[v];
            for (int i = 0; i < 4; ++i) {
                ASSERT_LT(weight.palette[i], list->boneCount);
                EXPECT_EQ(list->bonePalette[weight.palette[i]], skin.bones[i]);
                EXPECT_EQ(weight.weights[i], skin.weights[i]);
            }
        }
    }
}

// One polygon can carry a palette past 28, up to 32; further bones are
// dropped with an error and their weights cleared.
TEST_F(GeometryTrilistTest, PaletteStopsAtItsSafeguard)
{
    struct Case {
        int32_t corners;
        uint32_t palette;
        int dropped;
    };
    const Case cases[] = {{7, 28, 0}, {8, 32, 0}, {10, 32, 8}};
    for (const Case& c : cases) {
        FillPolygons({{c.corners, 0}, {3, 0}});
        g.boneCount = 48;
        g.boneIds = new zString[48];
        g.skinWeights = new zSkinWeight[g.vertexCount];
        for (uint32_t v = 0; v < g.vertexCount; ++v) {
            const uint16_t b = uint16_t(4 * (v % uint32_t(c.corners)));
            g.skinWeights[v] = {{0.25f, 0.25f, 0.25f, 0.25f}, {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 3)}};
        }
        LogCapture log;
        const auto container = Convert();
        ASSERT_NE(container, nullptr);
        const auto lists = Lists(container.get());
        ASSERT_EQ(lists.size(), 2u) << c.corners;
        EXPECT_EQ(lists[0]->boneCount, c.palette);
        int errors = 0;
        for (const std::string& line : log.lines)
            errors += line.find("Bone array safeguard exceeded!") != std::string::npos;
        EXPECT_EQ(errors, c.dropped);
        const zGeometryTrilist& list = *lists[0];
        for (uint32_t v = 0; v < list.vertexCount; ++v) {
            const bool kept = v < 8;
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(list.weights[v].weights[i], kept ? 0.25f : 0.0f) << c.corners << " " << v;
                EXPECT_EQ(list.weights[v].palette[i], kept ? 4 * v + i : 0u);
            }
        }
        g.FreeAll();
    }
}

// Optional arrays follow the geometry and the material: UV sets the
// material's stages read, tangents only for normal-mapped materials.
TEST_F(GeometryTrilistTest, OptionalArraysFollowTheGeometryAndMaterial)
{
    zTexture texture{&core, "wall.tga"};
    for (bool tangentMaterial : {false, true}) {
        FillTwoTriangles(g);
        g.uvSetCount = 2;
        g.uvSets[0] = new zUV[6];
        g.uvSets[1] = new zUV[6];
        g.vertexTangents = new zVector[12];
        for (uint32_t b = 0; b < 6; ++b) {
            g.uvSets[1][b] = {float(b), 0.5f};
            g.vertexTangents[2 * b] = zVector(float(b), 1, 0);
            g.vertexTangents[2 * b + 1] = zVector(0, float(b), 1);
        }
        zTextureStage& stage = g.materials[0]->stages[0];
        stage.active = 1;
        stage.texture = &texture;
        stage.uvIndex = 1;
        if (tangentMaterial)
            g.materials[0]->flags |= zMaterial::FlagNormalMapTangent;
        const auto container = Convert();
        ASSERT_NE(container, nullptr);
        const zGeometryTrilist& list = *Lists(container.get()).at(0);
        EXPECT_EQ(list.uvSets[0], nullptr);
        EXPECT_EQ(list.uvSets[2], nullptr);
        ASSERT_NE(list.uvSets[1], nullptr);
        EXPECT_EQ(list.colours, nullptr);
        EXPECT_EQ(list.tangents != nullptr, tangentMaterial);
        // Corners of (0 1 2)(0 2 3): bindings 0 1 2 then 3 4 5, vertex 0 and
        // 2 differ in UVs between the triangles.
        ASSERT_EQ(list.vertexCount, 6u);
        for (uint32_t b = 0; b < 6; ++b) {
            const int32_t v = list.indices[b];
            EXPECT_EQ(list.uvSets[1][v].u, float(b));
            if (tangentMaterial) {
                EXPECT_EQ(list.tangents[2 * v].x, float(b));
                EXPECT_EQ(list.tangents[2 * v + 1].y, float(b));
            }
        }
        stage.texture = nullptr;
        g.FreeAll();
    }
}

TEST_F(GeometryTrilistTest, CacheArgumentTurnsTheOptimiserOn)
{
    for (int32_t cacheSize : {0, 16}) {
        FillTwoTriangles(g);
        LogCapture log;
        const auto container = Convert(16384, cacheSize);
        ASSERT_NE(container, nullptr);
        EXPECT_EQ(log.Contains("Optimizing triangle list..."), cacheSize > 0);
        g.FreeAll();
    }
}

} // namespace
