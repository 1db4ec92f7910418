#include "core/geometry/zGeometry.h"
#include "core/item/zItem.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GCollide.h"
#include "support/LogCapture.h"
#include "support/ZmlText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<zMetaFile> ThroughText(zMetaTag* tag)
{
    zMetaFile document;
    document.AddRootTag(tag);
    std::string text;
    EXPECT_TRUE(zMetaParser::SaveText(&document, text));
    return ParseZml(text);
}

TEST(GCollideZML, SweepAndPruneSettingsRoundTrip)
{
    GCollide world;
    ASSERT_TRUE(world.SAP_Allocate(100));
    auto document = ThroughText(world.AsMetaTag());
    EXPECT_EQ(ChildNames(document->GetFirstRootTag()), (std::vector<std::string>{"UseSAP", "SAPSize"}));
    GCollide read;
    ASSERT_TRUE(read.FromMetaTag(document.get(), document->GetFirstRootTag(), true));
    EXPECT_EQ(read.UseSAP, 1);
    EXPECT_EQ(read.sapCapacity, 100u);
}

TEST(GCollideZML, WrittenWithoutSweepAndPruneItReadsBackWithIt)
{
    GCollide world;
    world.UseSAP = 0;
    auto document = ThroughText(world.AsMetaTag());
    EXPECT_EQ(document->GetFirstRootTag()->GetChildCount(), 0);
    GCollide read;
    read.UseSAP = 0;
    ASSERT_TRUE(read.FromMetaTag(document.get(), document->GetFirstRootTag(), true));
    EXPECT_EQ(read.UseSAP, 1);
}

TEST(GCollideZML, UseSapAndSizeAreChecked)
{
    struct Case {
        const char* children;
        uint8_t useSap;
        uint32_t capacity;
        bool warns;
    } cases[] = {
        {"<UseSAP=0> <SAPSize=64>", 0, GCollide::DefaultSAPSize, false},
        {"<UseSAP=1.0> <SAPSize=64>", 0, GCollide::DefaultSAPSize, false},
        {"<UseSAP=7> <SAPSize=64>", 1, 64, false},
        {"<SAPSize=-5>", 1, GCollide::DefaultSAPSize, true},
        {"<SAPSize=0>", 1, GCollide::DefaultSAPSize, true},
        {"<SAPSize=64.0>", 1, GCollide::DefaultSAPSize, false},
    };
    for (const Case& c : cases) {
        GCollide world;
        auto document = ParseZml(std::string("<ZML=1.0>\n<GCollide=") + c.children + ">\n");
        LogCapture capture;
        ASSERT_TRUE(world.FromMetaTag(document.get(), document->GetFirstRootTag(), true));
        EXPECT_EQ(world.UseSAP, c.useSap) << c.children;
        EXPECT_EQ(world.sapCapacity, c.capacity) << c.children;
        EXPECT_EQ(capture.Contains("Invalid SAPSize"), c.warns) << c.children;
    }
}

TEST(GCollideZML, WithoutApplyOnlyTheNameIsChecked)
{
    GCollide world;
    auto document = ParseZml("<ZML=1.0>\n<GCollide=<UseSAP=0>>\n<GCollider=<UseSAP=0>>\n");
    EXPECT_TRUE(world.FromMetaTag(document.get(), document->GetFirstRootTag(), false));
    EXPECT_EQ(world.UseSAP, 1);
    LogCapture capture;
    const zMetaTag* wrong = document->GetFirstRootTag()->GetNextSibling();
    EXPECT_FALSE(world.FromMetaTag(document.get(), wrong, true));
    EXPECT_EQ(world.UseSAP, 1);
    EXPECT_TRUE(capture.Contains("could not parse collision system. Root tag id is incorrect (GCollider).\n"));
}

TEST(GColItemZML, ItemAndShapesRoundTrip)
{
    GColItem item;
    item.SelfMask = 6;
    item.Mask = 3;
    item.moved = 1;
    const zVector at(1.0f, 2.0f, 3.0f);
    const zVector turn(0.0f, 0.5f, 0.0f);
    GColShape* ball = item.AddSphereShape(0.75f, &at, &turn);
    ball->Mass = 2.0f;
    ball->Restitution = 0.4f;
    const zVector size(1.0f, 2.0f, 3.0f);
    GColShape* box = item.AddCuboidShape(&size);
    box->Active = 0;
    box->StaticFriction = 0.9f;
    box->DynamicFriction = 0.6f;

    auto document = ThroughText(item.AsMetaTag());
    const zMetaTag* root = document->GetFirstRootTag();
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"Active", "SelfMask", "Mask", "Shapes"}));
    GColItem read;
    LogCapture capture;
    ASSERT_TRUE(read.FromMetaTag(document.get(), root));
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(read.SelfMask, 6);
    EXPECT_EQ(read.Mask, 3);
    EXPECT_EQ(read.moved, 1);
    ASSERT_EQ(read.GetShapeCount(), 2);
    const GColShape* s0 = read.GetShape(0);
    EXPECT_EQ(s0->type, GColShapeSphere);
    EXPECT_EQ(s0->Active, 1);
    EXPECT_EQ(s0->dimensions.x, 0.75f);
    EXPECT_EQ(s0->position.z, 3.0f);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(s0->orientation.m[i], ball->orientation.m[i], 1e-6f) << i;
    EXPECT_EQ(s0->Mass, 2.0f);
    EXPECT_EQ(s0->Restitution, 0.4f);
    EXPECT_EQ(s0->owner, &read);
    const GColShape* s1 = read.GetShape(1);
    EXPECT_EQ(s1->type, GColShapeCuboid);
    EXPECT_EQ(s1->Active, 0);
    EXPECT_EQ(s1->dimensions.y, 2.0f);
    EXPECT_EQ(s1->Mass, 1.0f);
    EXPECT_EQ(s1->StaticFriction, 0.9f);
    EXPECT_EQ(s1->DynamicFriction, 0.6f);
}

TEST(GColItemZML, AMisnamedShapeIsDroppedAndTheOthersKept)
{
    auto document = ParseZml("<ZML=1.0>\n<GColItem=<Shapes=<GColShape=<Type=\"Sphere\">> <GColShap=<Type=\"Cuboid\">> "
                          "<GColShape=<Type=\"Cuboid\">>> <Colour=1> <Mask=2.5>>\n");
    GColItem item;
    item.AddSphereShape(1.0f);
    LogCapture capture;
    ASSERT_TRUE(item.FromMetaTag(document.get(), document->GetFirstRootTag()));
    ASSERT_EQ(item.GetShapeCount(), 2);
    EXPECT_EQ(item.GetShape(0)->type, GColShapeSphere);
    EXPECT_EQ(item.GetShape(1)->type, GColShapeCuboid);
    EXPECT_EQ(item.Mask, zMetaTag::NoInteger);
    EXPECT_EQ(item.moved, 0);
    EXPECT_TRUE(capture.Contains("Could not parse collision shape. Root tag id is incorrect (GColShap).\n"));
    EXPECT_TRUE(capture.Contains("Unknown tag 'Colour' in <GColItem>.\n"));
}

TEST(GColShapeZML, TypesAndKeys)
{
    auto document = ParseZml("<ZML=1.0>\n"
                          "<GColShape=<Type=\"Polymesh\"> <Damping=1> <VStaticFriction=2>>\n"
                          "<GColShape=<Type=\"Cone\"> <Scale=<X=1><Y=2><Z=3>> <Radius=2>>\n"
                          "<GColShape=<Type=\"Sphere\"> <Mesh=\"missing.zml\"> <Active>>\n");
    GColItem item;
    LogCapture capture;
    GColShape* mesh = item.AddShape();
    ASSERT_TRUE(mesh->FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_EQ(mesh->type, GColShapeMesh);
    EXPECT_EQ(mesh->Active, 0);
    EXPECT_TRUE(capture.Contains("Unknown tag 'Damping' in <GColShape>.\n"));
    EXPECT_FALSE(capture.Contains("VStaticFriction"));
    std::unique_ptr<zMetaTag> written(mesh->AsMetaTag());
    ASSERT_NE(written->FindChild("Type"), nullptr);
    EXPECT_STREQ(written->FindChild("Type")->GetString(), "Mesh");

    GColShape* cone = item.AddShape();
    ASSERT_TRUE(cone->FromMetaTag(document.get(), document->GetFirstRootTag()->GetNextSibling()));
    EXPECT_EQ(cone->type, GColShapeNone);
    // The later key wins: the radius fills all three dimensions.
    EXPECT_EQ(cone->dimensions.x, 2.0f);
    EXPECT_EQ(cone->dimensions.z, 2.0f);
    std::unique_ptr<zMetaTag> none(cone->AsMetaTag());
    EXPECT_EQ(none->FindChild("Type"), nullptr);

    // A geometry that cannot be had leaves a shape that never collides.
    GColShape* lost = item.AddShape();
    ASSERT_TRUE(lost->FromMetaTag(document.get(), document->GetFirstRootTag()->GetNextSibling()->GetNextSibling()));
    EXPECT_EQ(lost->type, GColShapeNone);
    EXPECT_EQ(lost->meshTree, nullptr);
    EXPECT_EQ(lost->Active, 1);
}

} // namespace

namespace {

// A square of two triangles, in the core's geometry cache under a name.
zGeometry* AddSquare(Tavrin& core, const char* name)
{
    zGeometry* g = zGeometry::New(&core, name);
    const zVector corners[4] = {{-1.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {1.0f, 0.0f, -1.0f}};
    const int32_t indices[6] = {0, 1, 2, 0, 2, 3};
    g->vertexCount = 4;
    g->vertices = new zVector[4];
    std::copy(corners, corners + 4, g->vertices);
    g->bindingCount = 6;
    g->bindingIndices = new int32_t[6];
    std::copy(indices, indices + 6, g->bindingIndices);
    g->polygonCount = 2;
    g->polygons = new zPolygon[2];
    for (int p = 0; p < 2; ++p) {
        g->polygons[p].vertexCount = 3;
        g->polygons[p].indices = g->bindingIndices + 3 * p;
    }
    return g;
}

TEST(GColShapeZML, AMeshIsFetchedThroughTheCoreOfTheOwnerItem)
{
    Tavrin core;
    AddSquare(core, "square.zml");
    zItem owner(&core);
    GColItem item;
    item.owner = &owner;
    auto document = ParseZml("<ZML=1.0>\n<GColShape=<Type=\"Mesh\"> <Position=<X=0><Y=2><Z=0>> <Polymesh=\"square.zml\">>\n");
    GColShape* shape = item.AddShape();
    ASSERT_TRUE(shape->FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_EQ(shape->type, GColShapeMesh);
    EXPECT_NE(shape->meshTree, nullptr);
    EXPECT_EQ(shape->position.y, 2.0f);
    std::unique_ptr<zMetaTag> written(shape->AsMetaTag());
    ASSERT_NE(written->FindChild("Mesh"), nullptr);
    EXPECT_STREQ(written->FindChild("Mesh")->GetString(), "square.zml");
}

} // namespace
