#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/item/zItem.h"
#include "framework/math/zFrustum.h"
#include "framework/math/zMinMax.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "support/ZmlText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float HalfPi = 1.5707964f;

void ExpectPoint(const zVector& actual, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

void ExpectMatrixNear(const zMatrix4& a, const zMatrix4& b, float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
}

TEST(ItemInterfaceTest, NineOperationsInTheirSlotOrderThenTheDestructor)
{
    const ptrdiff_t slots[] = {
        SlotOf(&zItem::GetMinMax), SlotOf(&zItem::UpdateWorldMatrix), SlotOf(&zItem::GetProjectionMatrix),
        SlotOf(&zItem::ComputeFrustum), SlotOf(&zItem::GetFrustum), SlotOf(&zItem::GetZNear),
        SlotOf(&zItem::GetZFar), SlotOf(&zItem::SetZNear), SlotOf(&zItem::SetZFar),
    };
    for (ptrdiff_t i = 0; i < ptrdiff_t(std::size(slots)); ++i)
        EXPECT_EQ(slots[i], i);
    struct Probe : zItem {
        using zItem::zItem;
        virtual void Extra() {}
    };
    EXPECT_EQ(SlotOf(&Probe::Extra), 11);
}

// A kind that owns memory of its own: deleting it through the base must free it.
class OwningItem : public zItem {
public:
    using zItem::zItem;
    std::vector<float> weights = std::vector<float>(64, 1.0f);
    std::string name = "a name long enough to live on the heap";
};

TEST(ItemTest, KindsAreDeletedThroughTheBase)
{
    zItem* item = new OwningItem(nullptr);
    delete item;
}

TEST(ItemTest, PlainItemAnswersOfItsVirtualOperations)
{
    zItem item(nullptr);
    item.position = zVector(1, 2, 3);
    item.UpdateWorldMatrix();
    zMinMax box;
    item.GetMinMax(box);
    ExpectPoint(box.min, 1, 2, 3);
    ExpectPoint(box.max, 1, 2, 3);
    EXPECT_EQ(box.max.w, 1.0f);
    zMatrix4 projection;
    projection.m[5] = 9.0f;
    item.GetProjectionMatrix(projection);
    ExpectMatrixNear(projection, IdentityMatrix4);
    EXPECT_EQ(item.GetFrustum(), nullptr);
    EXPECT_FLOAT_EQ(item.GetZNear(), 0.2f);
    EXPECT_FLOAT_EQ(item.GetZFar(), 500.0f);
    item.SetZNear(3.0f);
    EXPECT_FLOAT_EQ(item.GetZNear(), 0.2f);
}

TEST(ItemTest, ConstructorValues)
{
    zItem item(nullptr);
    EXPECT_EQ(item.link, nullptr);
    EXPECT_EQ(item.orientationMethod, 0);
    EXPECT_EQ(item.flags, 0u);
    ExpectPoint(item.target, 0, 0, 1);
    EXPECT_EQ(item.alpha, 1.0f);
    ExpectPoint(item.scale, 1, 1, 1);
    EXPECT_EQ(item.rotationOrder, 4);
    EXPECT_EQ(item.quaternion.w, 1.0f);
    EXPECT_EQ(item.owner, nullptr);
    EXPECT_EQ(item.frozen, 0);
}

TEST(ItemLinkTest, SelfLinkIsRefusedAndKeepsTheOldLink)
{
    zItem parent(nullptr);
    zItem item(nullptr);
    item.SetLink(&parent);
    LogCapture capture;
    item.SetLink(&item);
    EXPECT_EQ(item.link, &parent);
    EXPECT_TRUE(capture.Contains("[!] zItem::SetLink"));
    EXPECT_TRUE(capture.Contains("Cannot link item to itself."));
}

TEST(ItemLinkTest, ALinkClosingACycleFirstMovesTheOtherItemToTheFormerParent)
{
    zItem root(nullptr);
    zItem a(nullptr);
    zItem b(nullptr);
    zItem c(nullptr);
    a.SetLink(&root);
    b.SetLink(&a);
    c.SetLink(&b);

    LogCapture capture;
    a.SetLink(&c);
    EXPECT_TRUE(capture.Contains("[*] zItem::SetLink"));
    EXPECT_TRUE(capture.Contains("Deadlock detected, link chain has been corrected."));
    EXPECT_EQ(a.link, &c);
    EXPECT_EQ(c.link, &b);
    EXPECT_EQ(b.link, &root) << "b hung under a: it takes a's former parent";
    EXPECT_FALSE(root.IsLinkedTo(&a));
    EXPECT_TRUE(a.IsLinkedTo(&root));

    // Without a former parent the moved item becomes a root.
    zItem x(nullptr);
    zItem y(nullptr);
    y.SetLink(&x);
    x.SetLink(&y);
    EXPECT_EQ(x.link, &y);
    EXPECT_EQ(y.link, nullptr);
}

TEST(ItemLinkTest, IsLinkedToWalksUpTheChain)
{
    zItem a(nullptr);
    zItem b(nullptr);
    zItem c(nullptr);
    b.SetLink(&a);
    c.SetLink(&b);
    EXPECT_TRUE(c.IsLinkedTo(&c));
    EXPECT_TRUE(c.IsLinkedTo(&a));
    EXPECT_FALSE(a.IsLinkedTo(&c));
    EXPECT_FALSE(c.IsLinkedTo(nullptr));
    c.SetLink(nullptr);
    EXPECT_FALSE(c.IsLinkedTo(&a));
}

TEST(ItemMatrixTest, LocalMatrixAppliesPivotScaleRotationThenTranslation)
{
    zItem item(nullptr);
    item.offsetMatrix.Set(zMatrix4::TranslationMatrix(zVector(1, 0, 0)));
    item.scale = zVector(2, 2, 2);
    // A quarter turn about z: x goes to y.
    item.orientationMethod = zItem::OrientationMatrix;
    item.orientation = zMatrix3::RotationZ(HalfPi);
    item.position = zVector(0, 0, 5);
    item.UpdateWorldMatrix();
    // (0,0,0) -> pivot (1,0,0) -> scale (2,0,0) -> turn (0,2,0) -> move (0,2,5).
    ExpectPoint(zVector(0, 0, 0).Transform(item.localMatrix), 0, 2, 5);
    ExpectMatrixNear(item.inverseWorldMatrix * item.worldMatrix, IdentityMatrix4);
}

TEST(ItemMatrixTest, ChildrenFollowTheirParentsFromTheRootDown)
{
    zItem root(nullptr);
    zItem middle(nullptr);
    zItem leaf(nullptr);
    middle.SetLink(&root);
    leaf.SetLink(&middle);
    root.position = zVector(10, 0, 0);
    root.orientationMethod = zItem::OrientationMatrix;
    root.orientation = zMatrix3::RotationZ(HalfPi);
    middle.position = zVector(1, 0, 0);
    leaf.position = zVector(0, 0, 3);
    leaf.UpdateWorldMatrix();
    // middle's (1,0,0) turns to (0,1,0) under the root, then moves by 10 in x.
    ExpectPoint(middle.worldMatrix.GetRow(3), 10, 1, 0);
    ExpectPoint(leaf.worldMatrix.GetRow(3), 10, 1, 3);

    // A suspended link ignores the parent.
    leaf.linkSuspended = 1;
    leaf.UpdateWorldMatrix();
    ExpectPoint(leaf.worldMatrix.GetRow(3), 0, 0, 3);
}

TEST(ItemMatrixTest, LinkOnlyPositionFollowsTheParentsPositionOnly)
{
    zItem parent(nullptr);
    parent.position = zVector(5, 6, 7);
    parent.scale = zVector(3, 3, 3);
    parent.orientationMethod = zItem::OrientationMatrix;
    parent.orientation = zMatrix3::RotationZ(HalfPi);
    zItem child(nullptr);
    child.SetLink(&parent);
    child.flags = zItem::LinkOnlyPosition;
    child.position = zVector(1, 0, 0);
    child.scale = zVector(2, 2, 2);
    child.UpdateWorldMatrix();
    // Its own place goes through the parent, turned and scaled: (1,0,0) -> (0,3,0).
    ExpectPoint(child.worldMatrix.GetRow(3), 5, 9, 7);
    zMatrix4 expected;
    expected.SetRow(3, zVector(5, 9, 7));
    // Its own orientation and unit scale.
    ExpectMatrixNear(child.worldMatrix, expected);
}

TEST(ItemMatrixTest, ExternalAndFrozenItems)
{
    zItem item(nullptr);
    item.orientationMethod = zItem::OrientationExternal;
    item.position = zVector(1, 2, 3);
    item.worldMatrix = zMatrix4::TranslationMatrix(zVector(4, 5, 6));
    item.UpdateWorldMatrix();
    ExpectPoint(item.worldMatrix.GetRow(3), 4, 5, 6);
    ExpectPoint(zVector(4, 5, 6).Transform(item.inverseWorldMatrix), 0, 0, 0);

    item.orientationMethod = zItem::OrientationEuler;
    item.frozen = 1;
    item.UpdateWorldMatrix();
    ExpectPoint(item.worldMatrix.GetRow(3), 4, 5, 6);
    item.frozen = 0;
    item.UpdateWorldMatrix();
    ExpectPoint(item.worldMatrix.GetRow(3), 1, 2, 3);
}

TEST(ItemMatrixTest, LookAtTurnsTheZAxisTowardTheTarget)
{
    zItem item(nullptr);
    item.position = zVector(1, 1, 1);
    item.rotation = zVector(0.3f, 1.1f, -0.4f);
    item.scale = zVector(2, 2, 2);
    const zVector target(1, 1, 11);
    item.SetTarget(&target);
    EXPECT_EQ(item.flags & zItem::HasTarget, zItem::HasTarget);
    item.UpdateWorldMatrix();
    const zVector origin = item.worldMatrix.GetRow(3);
    ExpectPoint(origin, 1, 1, 1);
    // The local +z axis, scaled by 2, points at the target.
    const zVector ahead = zVector(0, 0, 1).Transform(item.worldMatrix);
    ExpectPoint(ahead, 1, 1, 3, 1e-4f);

    // Clearing the flag keeps the point and goes back to the Euler angles.
    item.SetTarget(nullptr);
    EXPECT_EQ(item.flags & zItem::HasTarget, 0u);
    ExpectPoint(item.target, 1, 1, 11);
}

TEST(ItemMatrixTest, SetMatrixDecomposesLocalAndWorldMatrices)
{
    zItem parent(nullptr);
    parent.position = zVector(0, 10, 0);
    parent.UpdateWorldMatrix();
    zItem item(nullptr);
    item.SetLink(&parent);

    zItem reference(nullptr);
    reference.position = zVector(3, 4, 5);
    reference.rotation = zVector(0.2f, -0.7f, 0.4f);
    reference.scale = zVector(2, 3, 4);
    reference.UpdateWorldMatrix();

    item.SetMatrix(reference.worldMatrix, true);
    ExpectPoint(item.position, 3, 4, 5);
    ExpectPoint(item.scale, 2, 3, 4, 1e-4f);
    ExpectPoint(item.rotation, 0.2f, -0.7f, 0.4f, 1e-4f);
    ExpectMatrixNear(item.localMatrix, reference.worldMatrix);
    ExpectPoint(item.worldMatrix.GetRow(3), 3, 14, 5);

    // As a world matrix it is brought into the parent's space.
    item.SetMatrix(reference.worldMatrix, false);
    ExpectPoint(item.position, 3, -6, 5, 1e-4f);
    ExpectMatrixNear(item.worldMatrix, reference.worldMatrix);
    item.UpdateWorldMatrix();
    ExpectMatrixNear(item.worldMatrix, reference.worldMatrix, 1e-4f);
}

TEST(ItemMatrixTest, SwitchingTheOrientationMethodKeepsTheRotation)
{
    zItem item(nullptr);
    item.orientationMethod = zItem::OrientationMatrix;
    item.orientation = zMatrix3::FromEuler(0.1f, 0.5f, -0.3f, 4);
    item.SetOrientationMethod(zItem::OrientationEuler);
    ExpectPoint(item.rotation, 0.1f, 0.5f, -0.3f, 1e-5f);

    item.SetOrientationMethod(zItem::OrientationQuaternion);
    const zMatrix3 back = item.quaternion.ToMatrix3();
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(back.m[i], item.orientation.m[i], 1e-5f);
    EXPECT_EQ(item.orientationMethod, zItem::OrientationQuaternion);
}

// ZML reading and writing.

TEST(ItemTagTest, ADefaultItemWritesOnlyItsOrientationAndTargetAndReadsBackTheSame)
{
    zItem item(nullptr);
    std::unique_ptr<zMetaTag> tag(item.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag->GetName().Get(), "Item");
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"OrientationQuaternion", "OrientationMatrix", "Target"}));

    zItem read(nullptr);
    read.rotationOrder = 2;
    read.position = zVector(9, 9, 9);
    EXPECT_TRUE(read.FromMetaTag(nullptr, tag.get()));
    ExpectPoint(read.position, 0, 0, 0);
    ExpectPoint(read.target, 0, 0, 1);
    EXPECT_EQ(read.rotationOrder, 2) << "no RotationOrder tag keeps the order";
}

TEST(ItemTagTest, AFullItemRoundTrips)
{
    zItem item(nullptr);
    item.position = zVector(1, -2, 3.5f);
    item.rotation = zVector(0.1f, 0.2f, 0.3f);
    item.scale = zVector(2, 1, 1);
    item.offsetMatrix.Set(zMatrix4::TranslationMatrix(zVector(0, 0, -1)));
    item.quaternion = zQuaternion(0, 0.6f, 0, 0.8f);
    item.orientation = zMatrix3::RotationZ(0.5f);
    item.flags = zItem::HasTarget | zItem::LinkOnlyPosition;
    item.target = zVector(4, 5, 6);
    item.targetOffsetRotation = zVector(0, 0.25f, 0);
    item.orientationMethod = zItem::OrientationQuaternion;
    item.rotationOrder = 0;

    std::unique_ptr<zMetaTag> tag(item.AsMetaTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(ChildNames(tag.get()),
              (std::vector<std::string>{"OffsetMatrix", "Position", "Rotation", "Scale", "OrientationQuaternion",
                                        "OrientationMatrix", "ItemFlag", "Target", "TargetOffsetRotation",
                                        "OrientationMethod", "RotationOrder"}));
    EXPECT_EQ(ChildNames(tag->FindChild("ItemFlag")), (std::vector<std::string>{"HasTarget", "LinkOnlyPosition"}));
    EXPECT_STREQ(tag->FindChild("RotationOrder")->GetString(), "XYZ");

    // Through the text form and back.
    zMetaFile document;
    document.AddRootTag(tag.release());
    std::string text;
    ASSERT_TRUE(zMetaParser::SaveText(&document, text));
    auto parsed = ParseZml(text);

    zItem read(nullptr);
    ASSERT_TRUE(read.FromMetaTag(parsed.get(), parsed->GetFirstRootTag()));
    ExpectPoint(read.position, 1, -2, 3.5f);
    ExpectPoint(read.rotation, 0.1f, 0.2f, 0.3f);
    ExpectPoint(read.scale, 2, 1, 1);
    ExpectMatrixNear(read.offsetMatrix.GetMatrix(), item.offsetMatrix.GetMatrix());
    ExpectMatrixNear(read.offsetMatrix.GetInverse(), item.offsetMatrix.GetInverse());
    EXPECT_NEAR(read.quaternion.y, 0.6f, 1e-6f);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(read.orientation.m[i], item.orientation.m[i], 1e-6f);
    EXPECT_EQ(read.flags, item.flags);
    ExpectPoint(read.target, 4, 5, 6);
    ExpectPoint(read.targetOffsetRotation, 0, 0.25f, 0);
    EXPECT_EQ(read.orientationMethod, zItem::OrientationQuaternion);
    EXPECT_EQ(read.rotationOrder, 0);
}

TEST(ItemTagTest, RotationOrderNamesListTheAxesInTheOrderTheyApply)
{
    const char* names[] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX", "YX"};
    for (int order = 0; order < 7; ++order) {
        zItem item(nullptr);
        item.rotationOrder = order;
        std::unique_ptr<zMetaTag> tag(item.AsMetaTag());
        const zMetaTag* written = tag->FindChild("RotationOrder");
        if (order == 4) {
            EXPECT_EQ(written, nullptr) << "the default order is never written";
        } else {
            ASSERT_NE(written, nullptr);
            EXPECT_STREQ(written->GetString(), names[order]);
        }
        item.rotationOrder = 4;
        auto document = ParseZml(std::string("<ZML=1.0>\n<Item=<RotationOrder=\"") + names[order] + "\">>\n");
        ASSERT_TRUE(item.FromMetaTag(document.get(), document->GetFirstRootTag()));
        EXPECT_EQ(item.rotationOrder, order) << names[order];
    }
    // "XYZ" turns about x first, then about z.
    zItem xyz(nullptr);
    xyz.rotationOrder = 0;
    xyz.rotation = zVector(HalfPi, 0, HalfPi);
    xyz.UpdateWorldMatrix();
    // (0,1,0) about x by 90 degrees -> (0,0,1); about z it stays.
    ExpectPoint(zVector(0, 1, 0).Transform(xyz.worldMatrix), 0, 0, 1);
}

TEST(ItemTagTest, BadRootsAndUnknownValuesAreReportedAndSkipped)
{
    zItem item(nullptr);
    item.position = zVector(7, 7, 7);
    {
        auto document = ParseZml("<ZML=1.0>\n<Object=<Position=<X=1.0><Y=2.0><Z=3.0>>>\n");
        LogCapture capture;
        EXPECT_FALSE(item.FromMetaTag(document.get(), document->GetFirstRootTag()));
        EXPECT_TRUE(capture.Contains("[!] zItem::FromMetaTag"));
        EXPECT_TRUE(capture.Contains("Could not parse item. Root tag id is incorrect (Object)."));
        ExpectPoint(item.position, 7, 7, 7);
        EXPECT_FALSE(item.FromMetaTag(nullptr, nullptr));
    }
    item.rotationOrder = 1;
    auto document = ParseZml("<ZML=1.0>\n<Item=<Position=<X=1><Y=2><Z=3>> <OrientationMethod=\"Sideways\"> "
                          "<RotationOrder=\"QQQ\"> <RotationOrder=5> <Colour=3> "
                          "<Target=<X=0><Y=0><Z=9>> <ItemFlag=<Invisible><Glowing>> "
                          "<OffsetPosition=<X=0><Y=4><Z=0>>>\n");
    LogCapture capture;
    ASSERT_TRUE(item.FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(capture.Contains("Unknown orientation method 'Sideways'."));
    EXPECT_TRUE(capture.Contains("Unknown rotation order 'QQQ'."));
    EXPECT_TRUE(capture.Contains("Unknown rotation order ''."));
    EXPECT_TRUE(capture.Contains("Unknown tag 'Colour' in <Item>."));
    EXPECT_EQ(capture.lines.size(), 4u);
    ExpectPoint(item.position, 1, 2, 3);
    EXPECT_EQ(item.rotationOrder, 1);
    EXPECT_EQ(item.orientationMethod, 0);
    EXPECT_EQ(item.flags, zItem::Invisible) << "a Target alone does not set HasTarget";
    ExpectPoint(item.target, 0, 0, 9);
    ExpectPoint(item.offsetMatrix.GetMatrix().GetRow(3), 0, 4, 0);
    ExpectPoint(zVector(0, 4, 0).Transform(item.offsetMatrix.GetInverse()), 0, 0, 0);
}

} // namespace
