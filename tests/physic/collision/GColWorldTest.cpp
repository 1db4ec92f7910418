#include "physic/collision/GCollide.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void ExpectVector(const zVector& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

// Items owned by the test and linked into one world.
struct WorldFixture {
    GCollide world;
    std::vector<std::unique_ptr<GColItem>> items;

    GColItem* NewItem()
    {
        items.push_back(std::make_unique<GColItem>());
        return items.back().get();
    }
    // Leave the lists before the items die.
    ~WorldFixture()
    {
        for (auto& item : items)
            world.RemoveItem(item.get());
    }
};

TEST(GColWorldTest, AddingTwiceOrWhileInactiveChangesNothing)
{
    WorldFixture f;
    GColItem* a = f.NewItem();
    GColItem* b = f.NewItem();
    f.world.AddItem(a);
    f.world.AddItem(a);
    EXPECT_EQ(f.world.GetActiveItems().GetCount(), 1);
    EXPECT_EQ(f.world.GetSAPCount(), 1u);

    f.world.AddItem(b);
    ASSERT_TRUE(f.world.SetItemInactive(b, true));
    f.world.AddItem(b);
    EXPECT_EQ(f.world.GetActiveItems().GetCount(), 1);
    EXPECT_EQ(f.world.GetInactiveItems().GetCount(), 1);
    EXPECT_EQ(f.world.GetSAPCount(), 1u);
    EXPECT_FALSE(f.world.SetItemInactive(b, true));

    ASSERT_TRUE(f.world.SetItemInactive(b, false));
    EXPECT_TRUE(f.world.IsActive(b));
    EXPECT_EQ(f.world.GetSAPCount(), 2u);
    EXPECT_FALSE(f.world.SetItemInactive(b, false));
}

TEST(GColWorldTest, AnItemBelongsToOneWorldUntilItLeavesOrTheWorldIsCleared)
{
    WorldFixture f;
    GCollide other;
    GColItem* a = f.NewItem();
    GColItem* b = f.NewItem();
    f.world.AddItem(a);
    f.world.AddItem(b);
    ASSERT_TRUE(f.world.SetItemInactive(b, true));
    // Linked here, so refused there: one item cannot sit in two lists.
    other.AddItem(a);
    other.AddItem(b);
    EXPECT_EQ(other.GetActiveItems().GetCount(), 0);
    EXPECT_EQ(other.GetSAPCount(), 0u);
    EXPECT_FALSE(other.RemoveItem(a));
    EXPECT_FALSE(other.SetItemInactive(a, true));
    EXPECT_FALSE(other.SetItemInactive(b, false));
    EXPECT_TRUE(f.world.IsActive(a));
    EXPECT_TRUE(f.world.IsInactive(b));

    f.world.ClearItems();
    EXPECT_FALSE(f.world.IsActive(a));
    EXPECT_FALSE(f.world.IsInactive(b));
    EXPECT_EQ(f.world.GetSAPCount(), 0u);
    EXPECT_FALSE(f.world.RemoveItem(a));
    other.AddItem(a);
    EXPECT_TRUE(other.IsActive(a));
    EXPECT_EQ(other.GetSAPEntry(0), a);
    f.world.AddItem(b);
    EXPECT_TRUE(f.world.IsActive(b));
    EXPECT_TRUE(other.RemoveItem(a));
}

TEST(GColWorldTest, FullSAPArrayRefusesTheItemInBothModes)
{
    for (uint8_t useSAP : {1, 0}) {
        WorldFixture f;
        f.world.UseSAP = useSAP;
        ASSERT_TRUE(f.world.SAP_Allocate(2));
        f.world.AddItem(f.NewItem());
        f.world.AddItem(f.NewItem());
        GColItem* third = f.NewItem();
        LogCapture capture;
        f.world.AddItem(third);
        EXPECT_TRUE(capture.Contains("[!] GCollide::AddItem ("));
        EXPECT_TRUE(capture.Contains(
            "Cannot add item to the collision list, increase the Sweep and Prune limit or disable Sweep and Prune phase."));
        EXPECT_FALSE(f.world.IsActive(third));
        EXPECT_FALSE(f.world.IsInactive(third));
        EXPECT_EQ(f.world.GetSAPCount(), 2u);
    }
}

TEST(GColWorldTest, RemovingAnActiveItemMovesTheLastEntryIntoItsSlot)
{
    WorldFixture f;
    GColItem* items[4];
    for (GColItem*& item : items) {
        item = f.NewItem();
        f.world.AddItem(item);
    }
    EXPECT_TRUE(f.world.RemoveItem(items[1]));
    ASSERT_EQ(f.world.GetSAPCount(), 3u);
    EXPECT_EQ(f.world.GetSAPEntry(0), items[0]);
    EXPECT_EQ(f.world.GetSAPEntry(1), items[3]);
    EXPECT_EQ(f.world.GetSAPEntry(2), items[2]);
    EXPECT_FALSE(f.world.RemoveItem(items[1]));

    ASSERT_TRUE(f.world.SetItemInactive(items[2], true));
    EXPECT_TRUE(f.world.RemoveItem(items[2]));
    EXPECT_FALSE(f.world.IsInactive(items[2]));
    EXPECT_EQ(f.world.GetSAPCount(), 2u);
}

TEST(GColWorldTest, SAPAllocateKeepsEntriesAndRefusesShrinkingOrHugeSizes)
{
    WorldFixture f;
    EXPECT_EQ(f.world.GetSAPCapacity(), GCollide::DefaultSAPSize);
    GColItem* items[3];
    for (GColItem*& item : items) {
        item = f.NewItem();
        f.world.AddItem(item);
    }
    ASSERT_TRUE(f.world.SAP_Allocate(3));
    EXPECT_EQ(f.world.GetSAPCapacity(), 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(f.world.GetSAPEntry(i), items[i]);

    struct Case {
        uint32_t n;
        const char* message;
    };
    const Case refused[] = {
        {2, "Cannot shrink SAP structures below the 3 items held (n = 2)."},
        {0, "(n = 0)"},
        {GCollide::SAPSizeLimit, "Failed to allocate SAP structures (n = 1073741824)."},
        {0xFFFFFFFFu, "Failed to allocate SAP structures (n = 4294967295)."},
    };
    for (const Case& c : refused) {
        LogCapture capture;
        EXPECT_FALSE(f.world.SAP_Allocate(c.n)) << c.n;
        EXPECT_TRUE(capture.Contains(c.message)) << c.n;
        EXPECT_TRUE(capture.Contains("[!] GCollide::SAP_Allocate ("));
        EXPECT_EQ(f.world.GetSAPCapacity(), 3u);
        EXPECT_EQ(f.world.GetSAPCount(), 3u);
        for (uint32_t i = 0; i < 3; ++i)
            EXPECT_EQ(f.world.GetSAPEntry(i), items[i]);
    }
}

TEST(GColWorldTest, CollisionIdsFollowTheOrderOfFirstAddition)
{
    WorldFixture f;
    GColItem* a = f.NewItem();
    GColItem* b = f.NewItem();
    EXPECT_EQ(a->collisionId, 0u);
    f.world.AddItem(b);
    f.world.AddItem(a);
    EXPECT_EQ(b->collisionId, 1u);
    EXPECT_EQ(a->collisionId, 2u);
    // An item switched off and on keeps its id, so its pairs stay the same.
    f.world.SetItemInactive(b, true);
    f.world.SetItemInactive(b, false);
    EXPECT_EQ(b->collisionId, 1u);
}

TEST(GColItemTest, TinyMovesWithoutForceLeaveTheItemUntouched)
{
    GColItem item;
    item.AddSphereShape(1.0f);
    item.SetTransformation(zVector(1.0f, 2.0f, 3.0f));
    item.SetTransformation(zVector(2.0f, 2.0f, 3.0f));
    const GColShape* shape = item.GetFirstShape();
    const zMatrix4 world = shape->world;
    const zMinMax bounds = item.bounds;

    zMatrix3 rotation = item.rotation;
    rotation.m[4] += 5e-7f;
    item.SetTransformation(zVector(2.0f + 9e-7f, 2.0f - 9e-7f, 3.0f), &rotation);
    EXPECT_EQ(item.moved, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(shape->world.m[i], world.m[i]);
    ExpectVector(item.bounds.min, bounds.min.x, bounds.min.y, bounds.min.z, 0.0f);

    item.SetTransformation(zVector(2.0f, 2.0f, 3.0f + 1e-5f));
    EXPECT_EQ(item.moved, 1);
}

TEST(GColItemTest, FirstTransformationAfterResetIsAJump)
{
    GColItem item;
    GColShape* sphere = item.AddSphereShape(0.5f);
    item.SetTransformation(zVector(10.0f, 0.0f, 0.0f));
    ExpectVector(item.previousPosition, 10.0f, 0.0f, 0.0f);
    ExpectVector(sphere->GetPreviousCentre(), 10.0f, 0.0f, 0.0f);
    ExpectVector(item.bounds.min, 9.5f, -0.5f, -0.5f);
    ExpectVector(item.bounds.max, 10.5f, 0.5f, 0.5f);

    // The next move sweeps from the old placement.
    item.SetTransformation(zVector(12.0f, 0.0f, 0.0f));
    ExpectVector(sphere->GetPreviousCentre(), 10.0f, 0.0f, 0.0f);
    item.UpdateBounds(item.bounds);
    ExpectVector(item.bounds.min, 9.5f, -0.5f, -0.5f);
    ExpectVector(item.bounds.max, 12.5f, 0.5f, 0.5f);

    item.Reset();
    ExpectVector(item.position, 0.0f, 0.0f, 0.0f);
    item.SetTransformation(zVector(-4.0f, 0.0f, 0.0f));
    ExpectVector(sphere->GetPreviousCentre(), -4.0f, 0.0f, 0.0f);
    ExpectVector(item.bounds.min, -4.5f, -0.5f, -0.5f);
    ExpectVector(item.bounds.max, -3.5f, 0.5f, 0.5f);
}

TEST(GColItemTest, ScaleMovesShapesAndStretchesCuboidsButNotSpheres)
{
    GColItem item;
    const zVector offset(1.0f, 0.0f, 0.0f);
    GColShape* sphere = item.AddSphereShape(0.5f, &offset);
    const zVector size(1.0f, 2.0f, 4.0f);
    const zVector boxOffset(0.0f, -1.0f, 0.0f);
    GColShape* box = item.AddCuboidShape(&size, &boxOffset);
    const zVector scale(2.0f, 2.0f, 2.0f);
    // A quarter turn about z: x goes to y.
    const zMatrix3 turn = zMatrix3::RotationZ(static_cast<float>(M_PI / 2));
    item.SetTransformation(zVector(0.0f, 0.0f, 5.0f), &turn, &scale);

    EXPECT_FLOAT_EQ(sphere->GetRadius(), 0.5f);
    ExpectVector(sphere->GetCentre(), 0.0f, 2.0f, 5.0f);
    ExpectVector(sphere->bounds.min, -0.5f, 1.5f, 4.5f);
    ExpectVector(box->GetCentre(), 2.0f, 0.0f, 5.0f);
    // Edges 2, 4, 8 turned: 4 along x, 2 along y.
    ExpectVector(box->bounds.min, 0.0f, -1.0f, 1.0f);
    ExpectVector(box->bounds.max, 4.0f, 1.0f, 9.0f);
    ExpectVector(item.bounds.min, -0.5f, -1.0f, 1.0f);
    ExpectVector(item.bounds.max, 4.0f, 2.5f, 9.0f);
    // The world matrix of a shape maps its local axes; the inverse undoes it.
    const zVector local = zVector(1.0f, 0.0f, 0.0f).Transform(box->world).Transform(box->worldInverse);
    ExpectVector(local, 1.0f, 0.0f, 0.0f);
}

TEST(GColItemTest, ShapeOrientationComesBeforeTheItemRotation)
{
    GColItem item;
    const zVector size(2.0f, 4.0f, 6.0f);
    const zVector angles(static_cast<float>(M_PI / 2), 0.0f, 0.0f);
    GColShape* box = item.AddCuboidShape(&size, nullptr, &angles);
    const zMatrix3 turn = zMatrix3::RotationZ(static_cast<float>(M_PI / 2));
    item.SetTransformation(zVector(0.0f, 0.0f, 0.0f), &turn, nullptr, true);
    const zMatrix3 expected = turn * zMatrix3::FromEuler(angles.x, 0.0f, 0.0f, RotationOrderYXZ);
    const zMatrix3 actual = zMatrix3::FromMatrix4(box->world);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(actual.m[i], expected.m[i], 1e-6f);
}

TEST(GColItemTest, MassSetupAndRemoval)
{
    GColItem item;
    EXPECT_EQ(item.GetMass(), 0.0f);
    const float masses[] = {1.0f, 2.0f, 0.5f};
    for (float mass : masses)
        item.AddSphereShape(1.0f)->Mass = mass;
    EXPECT_FLOAT_EQ(item.GetMass(), 3.5f);

    GColShape* mesh = item.AddShape();
    mesh->type = GColShapeMesh;
    LogCapture capture;
    item.Setup();
    EXPECT_EQ(mesh->type, GColShapeNone);
    EXPECT_TRUE(capture.Contains("[!] GColItem::Setup ("));
    EXPECT_TRUE(capture.Contains("Collision shape declared as mesh but has no mesh tree registered."));

    EXPECT_TRUE(item.RemoveShape(mesh));
    EXPECT_EQ(item.GetShapeCount(), 3);
    GColItem other;
    EXPECT_FALSE(other.RemoveShape(item.GetFirstShape()));
    EXPECT_EQ(item.GetShapeCount(), 3);
}

TEST(GColItemTest, MeshShapeWithoutGeometryNeverCollides)
{
    GColItem item;
    LogCapture capture;
    GColShape* shape = item.AddMeshShape(nullptr);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->type, GColShapeNone);
    EXPECT_TRUE(capture.Contains("[!] GColShape::AsMesh ("));
    EXPECT_TRUE(capture.Contains("Cannot create mesh shape with no geometry."));
}

TEST(GColItemTest, InverseMatrixUndoesTheItemMatrix)
{
    GColItem item;
    const zMatrix3 turn = zMatrix3::FromEuler(0.3f, 1.1f, -0.4f, RotationOrderYXZ);
    item.SetTransformation(zVector(3.0f, -2.0f, 7.0f), &turn);
    const zVector p(0.5f, 1.5f, -2.5f);
    ExpectVector(p.Transform(item.GetMatrix()).Transform(item.GetInverseMatrix()), p.x, p.y, p.z);
    ExpectVector(zVector(0.0f, 0.0f, 0.0f).Transform(item.GetMatrix()), 3.0f, -2.0f, 7.0f);
}


// The shape matrices are exactly the composed item and shape transforms and
// their affine inverse, bit for bit, and the previous ones follow one move behind.
TEST(GColItemTest, ShapeMatricesAreExactlyTheComposedTransforms)
{
    struct Case {
        zVector itemAngles;
        zVector position;
        zVector scale;
        zVector shapeAngles;
        zVector shapeOffset;
    };
    const Case cases[] = {
        {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        {{0.3f, 1.1f, -0.4f}, {3.0f, -2.0f, 7.0f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        {{-2.0f, 0.7f, 2.9f}, {-0.125f, 1e3f, -5e-4f}, {2.0f, 0.5f, 3.0f}, {0.2f, -1.3f, 0.6f}, {1.0f, -2.0f, 0.25f}},
        {{1.5707964f, 0.0f, 0.0f}, {0.0f, -0.0f, 0.0f}, {1.0f, 0.0f, 1.0f}, {0.0f, 3.1415927f, 0.0f}, {-3.0f, 0.0f, 4.0f}},
    };
    for (const Case& c : cases) {
        GColItem item;
        const zVector size(1.0f, 2.0f, 3.0f);
        GColShape* box = item.AddCuboidShape(&size, &c.shapeOffset, &c.shapeAngles);
        const zMatrix3 turn = zMatrix3::FromEuler(c.itemAngles.x, c.itemAngles.y, c.itemAngles.z, RotationOrderYXZ);
        item.SetTransformation(zVector(0.5f, 0.5f, 0.5f), nullptr, nullptr, true);
        const zMatrix4 before = box->world;
        const zMatrix4 beforeInverse = box->worldInverse;
        item.SetTransformation(c.position, &turn, &c.scale, true);

        const zVector scaled(box->position.x * c.scale.x, box->position.y * c.scale.y, box->position.z * c.scale.z);
        zMatrix4 world = zMatrix4::FromMatrix3(turn * box->orientation);
        world.SetRow(3, scaled.Rotate(turn) + zVector(c.position.x, c.position.y, c.position.z), true);
        const zMatrix4 inverse = world.InverseAffine();
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(std::memcmp(&box->world.m[i], &world.m[i], sizeof(float)), 0) << i;
            EXPECT_EQ(std::memcmp(&box->worldInverse.m[i], &inverse.m[i], sizeof(float)), 0) << i;
            EXPECT_EQ(std::memcmp(&box->previousWorld.m[i], &before.m[i], sizeof(float)), 0) << i;
            EXPECT_EQ(std::memcmp(&box->previousWorldInverse.m[i], &beforeInverse.m[i], sizeof(float)), 0) << i;
        }
    }
}

}
