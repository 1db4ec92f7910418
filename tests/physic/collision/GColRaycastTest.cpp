#include "CollisionTestSupport.h"

#include "core/CoreTestSupport.h"
#include "core/geometry/zGeometryBIH.h"
#include "core/material/zMaterial.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A world of items owned by the test.
struct RayWorld {
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;
    std::unique_ptr<TestMesh> floor;

    ~RayWorld()
    {
        for (auto& item : items)
            world.RemoveItem(item.get());
    }
    // Shapes first, then the first placement, as the scene builds its items.
    GColItem* New()
    {
        items.push_back(std::make_unique<GColItem>());
        return items.back().get();
    }
    GColItem* Place(GColItem* item, const zVector& at, const zMatrix3* rotation = nullptr)
    {
        item->SetTransformation(at, rotation, nullptr, true);
        world.AddItem(item);
        return item;
    }
    GColItem* Sphere(float radius, const zVector& at)
    {
        GColItem* item = New();
        item->AddSphereShape(radius);
        return Place(item, at);
    }
    GColItem* Box(const zVector& size, const zVector& at, const zMatrix3* rotation = nullptr)
    {
        GColItem* item = New();
        item->AddCuboidShape(&size);
        return Place(item, at, rotation);
    }
    // A floor of half side 5 at (x, y, 0), with one material.
    GColItem* Floor(float y, float x = 0.0f)
    {
        if (!floor) {
            floor = MakeFloor(5.0f);
            floor->geometry.AllocateMaterials(1, true);
        }
        GColItem* item = New();
        EXPECT_NE(item->AddMeshShape(&floor->geometry), nullptr);
        return Place(item, zVector(x, y, 0));
    }
};

TEST(GColRayTest, ShapesReportPositionNormalAndDistanceInWorldSpace)
{
    RayWorld w;
    w.Sphere(1.0f, {5, 0, 0});
    const zMatrix3 quarter = zMatrix3::FromEuler(0.0f, float(M_PI / 2), 0.0f, RotationOrderYXZ);
    w.Box({2, 2, 6}, {0, 0, 5}, &quarter);
    w.Floor(-2.0f);

    struct Case {
        const char* name;
        zVector origin;
        zVector direction;
        uint32_t kinds;
        bool hit;
        zVector position;
        zVector normal;
        float distance;
    };
    const Case cases[] = {
        {"SphereFromOutside", {0, 0, 0}, {2, 0, 0}, GColRayAll, true, {4, 0, 0}, {-1, 0, 0}, 4.0f},
        {"SphereFromInside", {5, 0, 0}, {0, 1, 0}, GColRayAll, true, {5, 1, 0}, {0, 1, 0}, 1.0f},
        {"TurnedBox", {0, 0, 0}, {0, 0, 1}, GColRayAll, true, {0, 0, 4}, {0, 0, -1}, 4.0f},
        {"Mesh", {1, 5, 1}, {0, -1, 0}, GColRayAll, true, {1, -2, 1}, {0, 1, 0}, 7.0f},
        {"BoxSeenThrough", {0, 0, 0}, {0, 0, 1}, GColRaySphere | GColRayMesh, false, {}, {}, -1.0f},
        {"MeshSeenThrough", {1, 5, 1}, {0, -1, 0}, GColRaySphere, false, {}, {}, -1.0f},
        {"Miss", {0, 0, 0}, {0, 1, 0}, GColRayAll, false, {}, {}, -1.0f},
        {"BehindOnly", {8, 0, 0}, {1, 0, 0}, GColRayAll, false, {}, {}, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GColRayHit hit;
        ASSERT_EQ(w.world.Raytrace(c.origin, c.direction, hit, 1, c.kinds), c.hit);
        EXPECT_FLOAT_EQ(hit.distance, c.distance);
        if (!c.hit)
            continue;
        ExpectNear(hit.position, c.position);
        ExpectNear(hit.normal, c.normal);
        ASSERT_NE(hit.shape, nullptr);
    }

    GColRayHit meshHit;
    ASSERT_TRUE(w.world.Raytrace(zVector(1, 5, 1), zVector(0, -1, 0), meshHit, 1, GColRayAll));
    EXPECT_EQ(meshHit.material, w.floor->geometry.materials[0]);
    EXPECT_EQ(meshHit.shape->type, GColShapeMesh);
}

TEST(GColRayTest, MasksSelectTheItems)
{
    RayWorld w;
    GColItem* near = w.Sphere(1.0f, {3, 0, 0});
    w.Sphere(1.0f, {10, 0, 0});
    near->SelfMask = 2;
    GColRayHit hit;
    ASSERT_TRUE(w.world.Raytrace(zVector(0, 0, 0), zVector(1, 0, 0), hit, 1, GColRayAll));
    EXPECT_FLOAT_EQ(hit.distance, 9.0f);
    ASSERT_TRUE(w.world.Raytrace(zVector(0, 0, 0), zVector(1, 0, 0), hit, 3, GColRayAll));
    EXPECT_FLOAT_EQ(hit.distance, 2.0f);
    EXPECT_FALSE(w.world.Raytrace(zVector(0, 0, 0), zVector(1, 0, 0), hit, 0, GColRayAll));
    EXPECT_EQ(hit.distance, -1.0f);
    // Inactive items are not cast against.
    w.world.SetItemInactive(near, true);
    ASSERT_TRUE(w.world.Raytrace(zVector(0, 0, 0), zVector(1, 0, 0), hit, 3, GColRayAll));
    EXPECT_FLOAT_EQ(hit.distance, 9.0f);
}

TEST(GColRayTest, HitsBehindTheOriginNeverDisplaceHitsAhead)
{
    struct Case {
        float kept;
        float candidate;
        float result;
    };
    const Case cases[] = {
        {-1.0f, 3.0f, 3.0f}, {3.0f, -2.0f, 3.0f}, {5.0f, 3.0f, 3.0f}, {3.0f, 5.0f, 3.0f}, {-1.0f, -2.0f, -1.0f}, {0.0f, 2.0f, 0.0f},
    };
    for (const Case& c : cases) {
        GColRayHit kept;
        GColRayHit candidate;
        kept.distance = c.kept;
        candidate.distance = c.candidate;
        KeepNearerHit(kept, candidate);
        EXPECT_EQ(kept.distance, c.result) << c.kept << " " << c.candidate;
    }
}

TEST(GColMeshShapeTest, AsMeshBuildsTheTreeAndSetupDropsMeshesWithoutOne)
{
    auto floor = MakeFloor(5.0f);
    GColItem item;
    GColShape* mesh = item.AddMeshShape(&floor->geometry);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->type, GColShapeMesh);
    ASSERT_NE(mesh->meshTree, nullptr);
    EXPECT_EQ(mesh->meshTree, floor->geometry.tree);
    EXPECT_EQ(mesh->meshTree->GetGeometry(), &floor->geometry);

    // Bounds of a mesh are its vertices under the world matrix.
    item.SetTransformation(zVector(1, 2, 3), nullptr, nullptr, true);
    ExpectNear(item.bounds.min, {-4, 2, -2});
    ExpectNear(item.bounds.max, {6, 2, 8});

    zGeometry empty(nullptr, "Empty");
    GColShape* none = item.AddMeshShape(&empty);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->meshTree, nullptr);
    LogCapture capture;
    item.Setup();
    EXPECT_EQ(none->type, GColShapeNone);
    EXPECT_EQ(mesh->type, GColShapeMesh);
    EXPECT_TRUE(capture.Contains("Collision shape declared as mesh but has no mesh tree registered."));
}

TEST(GColMeshShapeTest, DetectionAgainstAMeshFloor)
{
    RayWorld w;
    GColItem* floorItem = w.Floor(0.0f);
    GColItem* box = w.Box({2, 2, 2}, {1, 3, 1});
    GColItem* ball = w.Sphere(0.5f, {-2, 3, -3});
    // A second floor overlapping the first one, away from the box and ball.
    GColItem* otherFloor = w.Floor(0.0f, 9.0f);
    box->SetTransformation(zVector(1, 0.95f, 1));
    ball->SetTransformation(zVector(-2, 0.4f, -3));

    std::vector<TauContactNode> nodes(64);
    std::vector<TauContactPoint> points(256);
    const uint32_t count = w.world.Detect(nodes.data(), 64, points.data(), 256);
    // Box on floor (one merged node), ball on floor; the floors never touch.
    ASSERT_EQ(count, 2u);
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(nodes[i].shapeB->owner, floorItem);
        if (nodes[i].shapeA->owner == box) {
            ExpectNear(nodes[i].normal, {0, -1, 0});
            EXPECT_NEAR(nodes[i].depth, -0.05f, 1e-4f);
            EXPECT_EQ(nodes[i].pointCount, 4u);
        } else {
            EXPECT_EQ(nodes[i].shapeA->owner, ball);
            ExpectNear(nodes[i].normal, {0, -1, 0});
            EXPECT_NEAR(nodes[i].depth, -0.1f, 1e-4f);
            ASSERT_EQ(nodes[i].pointCount, 1u);
            ExpectNear(points[nodes[i].firstPoint].position, {-2, 0, -3});
        }
    }
    EXPECT_EQ(w.world.GetPairTable().GetCount(), 2u);
    EXPECT_NE(w.world.GetPairTable().Find(box, floorItem), nullptr);
    EXPECT_EQ(w.world.GetPairTable().Find(floorItem, otherFloor), nullptr);
}

struct DrawCase {
    GCollide world;
    GColItem item;
    RecordingRenderer renderer{nullptr, false};
};

void ExpectColour(const RecordingRenderer::Line& line, float r, float g, float b)
{
    EXPECT_EQ(line.colour[0], r);
    EXPECT_EQ(line.colour[1], g);
    EXPECT_EQ(line.colour[2], b);
    EXPECT_EQ(line.colour[3], 1.0f);
}

TEST(GColDebugDrawTest, ShapesAreDrawnInTheItemColour)
{
    DrawCase d;
    const zVector size(2, 4, 6);
    d.item.AddCuboidShape(&size);
    const zVector scale(3, 3, 3);
    d.item.SetTransformation(zVector(10, 0, 0), nullptr, &scale, true);
    d.world.AddItem(&d.item);
    d.world.DrawDebug(&d.renderer);
    ASSERT_EQ(d.renderer.lines.size(), 12u);
    zVector lo(1e9f, 1e9f, 1e9f);
    zVector hi(-1e9f, -1e9f, -1e9f);
    for (const auto& line : d.renderer.lines) {
        ExpectColour(line, 0.5f, 0.0f, 0.0f);
        for (const zVector& p : {line.from, line.to}) {
            lo = zVector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
            hi = zVector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
        }
    }
    // The dimensions without the item scale.
    ExpectNear(lo, {9, -2, -3});
    ExpectNear(hi, {11, 2, 3});

    d.renderer.lines.clear();
    const GColItem* highlighted[1] = {&d.item};
    d.world.DrawItem(&d.item, &d.renderer, 1, highlighted);
    ASSERT_EQ(d.renderer.lines.size(), 12u);
    ExpectColour(d.renderer.lines[0], 1.0f, 0.0f, 0.75f);

    d.renderer.lines.clear();
    d.item.SetTransformation(zVector(10, 0, 0));
    d.world.SAP_Draw(&d.renderer);
    ASSERT_EQ(d.renderer.lines.size(), 12u);
    ExpectColour(d.renderer.lines[0], 0.75f, 0.0f, 0.2f);
    d.item.SetTransformation(zVector(11, 0, 0));
    d.renderer.lines.clear();
    d.world.SAP_Draw(&d.renderer);
    ExpectColour(d.renderer.lines[0], 0.25f, 0.0f, 1.0f);
    d.world.UseSAP = 0;
    d.renderer.lines.clear();
    d.world.SAP_Draw(&d.renderer);
    EXPECT_TRUE(d.renderer.lines.empty());
    d.world.RemoveItem(&d.item);
}

TEST(GColDebugDrawTest, MeshesAreDrawnAsClosedPolygonOutlines)
{
    DrawCase d;
    auto floor = MakeFloor(1.0f);
    d.item.AddMeshShape(&floor->geometry);
    d.item.SetTransformation(zVector(0, 5, 0), nullptr, nullptr, true);
    d.world.DrawItem(&d.item, &d.renderer, 0, nullptr);
    ASSERT_EQ(d.renderer.lines.size(), 6u);
    ExpectNear(d.renderer.lines[0].from, {-1, 5, -1});
    ExpectNear(d.renderer.lines[0].to, {-1, 5, 1});
    ExpectNear(d.renderer.lines[2].from, {1, 5, 1});
    ExpectNear(d.renderer.lines[2].to, {-1, 5, -1});

    d.renderer.lines.clear();
    d.item.AddSphereShape(0.5f);
    d.item.SetTransformation(zVector(0, 6, 0));
    d.world.DrawItem(&d.item, &d.renderer, 0, nullptr);
    EXPECT_GT(d.renderer.lines.size(), 6u);
}

}
