#include "CoreTestSupport.h"
#include "ResourceTestSupport.h"
#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/geometry/zGeometry.h"
#include "core/object/zObject.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "support/ZmlText.h"

#include <gtest/gtest.h>

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

void ExpectMatrix(const zMatrix4& actual, const float (&expected)[16])
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual.m[i], expected[i], 1e-5f) << "element " << i;
}

struct SkinSlot {
    float weight;
    uint16_t bone;
};

// Vertices with up to four skin slots each; arrays allocated as the geometry frees them.
void FillSkin(zGeometry& g, int32_t boneCount, const std::vector<zVector>& positions,
              const std::vector<std::vector<SkinSlot>>& slots)
{
    g.boneCount = boneCount;
    g.vertexCount = uint32_t(positions.size());
    g.vertices = new zVector[positions.size()];
    for (size_t i = 0; i < positions.size(); ++i)
        g.vertices[i] = positions[i];
    if (slots.empty())
        return;
    g.skinWeights = new zSkinWeight[positions.size()];
    for (size_t v = 0; v < slots.size(); ++v) {
        for (size_t s = 0; s < slots[v].size(); ++s) {
            g.skinWeights[v].weights[s] = slots[v][s].weight;
            g.skinWeights[v].bones[s] = slots[v][s].bone;
        }
    }
}

TEST(ObjectInterfaceTest, ItemSlotsThenTheSkinOperations)
{
    EXPECT_EQ(SlotOf(&zObject::GetMinMax), SlotOf(&zItem::GetMinMax));
    EXPECT_EQ(SlotOf(&zObject::UpdateWorldMatrix), SlotOf(&zItem::UpdateWorldMatrix));
    EXPECT_EQ(SlotOf(&zObject::BindSkin), 11);
    EXPECT_EQ(SlotOf(&zObject::FreeSkin), 12);
    EXPECT_EQ(SlotOf(&zObject::SetBone), 13);
}

TEST(ObjectTest, WithoutGeometryTheBoundsAreTheWorldPosition)
{
    zObject object(nullptr);
    EXPECT_EQ(object.cacheGeometry, 1);
    object.position = zVector(4, -2, 7);
    object.UpdateWorldMatrix();
    EXPECT_TRUE(object.BindSkin()) << "nothing to bind";
    EXPECT_EQ(object.boneCount, 0u);
    zMinMax box;
    object.GetMinMax(box);
    ExpectPoint(box.min, 4, -2, 7);
    ExpectPoint(box.max, 4, -2, 7);
    EXPECT_FALSE(object.SetBone(0, &object, nullptr));
}

TEST(ObjectTest, AGeometryWithoutBonesBindsToNothingAndGivesItsBounds)
{
    zGeometry geometry(nullptr, "plain");
    FillSkin(geometry, 0, {{0, 0, 0}, {1, 1, 1}}, {});
    geometry.bounds = zMinMax(zVector(-1, -2, -3), zVector(4, 5, 6));
    zObject object(nullptr);
    object.position = zVector(100, 0, 0);
    object.UpdateWorldMatrix();
    object.SetGeometry(&geometry, true);
    EXPECT_EQ(object.geometry, &geometry);
    EXPECT_EQ(object.boneCount, 0u);
    EXPECT_EQ(object.bones, nullptr);
    EXPECT_EQ(object.skinMatrices, nullptr);
    EXPECT_EQ(object.bindMatrices, nullptr);
    EXPECT_EQ(object.boneBoxes, nullptr);
    zMinMax box;
    object.GetMinMax(box);
    ExpectPoint(box.min, -1, -2, -3);
    ExpectPoint(box.max, 4, 5, 6);
    zOBB obb;
    EXPECT_FALSE(object.GetBoneOBB(0, obb));
}

// A strip along x: bone 0 moves the first half, bone 1 the second.
class SkinnedStripTest : public ::testing::Test {
protected:
    SkinnedStripTest() : geometry(nullptr, "strip"), object(nullptr), bone0(nullptr), bone1(nullptr)
    {
        FillSkin(geometry, 2, {{0, 0, 0}, {1, 0.5f, 0}, {2, -0.5f, 0}, {3, 0, 0.25f}, {9, 9, 9}},
                 {
                     {{1.0f, 0}},
                     {{0.5f, 0}, {0.5f, 1}},
                     {{1.0f, 1}},
                     // Zero and negative weights move nothing.
                     {{1.0f, 1}, {0.0f, 0}, {-0.5f, 0}},
                     // A bone index past the bones names none.
                     {{0.7f, 7}, {0.3f, 2}},
                 });
        object.UpdateWorldMatrix();
        bone1.position = zVector(2, 0, 0);
    }

    zGeometry geometry;
    zObject object;
    zItem bone0;
    zItem bone1;
};

TEST_F(SkinnedStripTest, BindingAllocatesNullBonesIdentityMatricesAndBindPoseBoxes)
{
    object.SetGeometry(&geometry, true);
    ASSERT_EQ(object.boneCount, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(object.bones[i], nullptr);
        ExpectMatrix(object.bindMatrices[i], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        ExpectMatrix(object.skinMatrices[i], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }
    ExpectPoint(object.boneBoxes[0].min, 0, 0, 0);
    ExpectPoint(object.boneBoxes[0].max, 1, 0.5f, 0);
    ExpectPoint(object.boneBoxes[1].min, 1, -0.5f, 0);
    ExpectPoint(object.boneBoxes[1].max, 3, 0.5f, 0.25f);

    // Null bones give identity skins: the bounds are the bind-pose boxes.
    object.ComputeSkinMatrices();
    zMinMax box;
    object.GetMinMax(box);
    ExpectPoint(box.min, 0, -0.5f, 0);
    ExpectPoint(box.max, 3, 0.5f, 0.25f);
}

TEST_F(SkinnedStripTest, SkinMatricesAndBoundsFollowTheBones)
{
    object.SetGeometry(&geometry, true);
    ASSERT_TRUE(object.SetBone(0, &bone0, nullptr));
    ASSERT_TRUE(object.SetBone(1, &bone1, nullptr));
    // Bound at (2, 0, 0): the bind matrix takes points into the bone's space.
    ExpectPoint(zVector(3, 0, 0).Transform(object.bindMatrices[1]), 1, 0, 0);

    // Bone 1 turns a quarter about z; the object moves 5 along x.
    bone1.rotation = zVector(0, 0, HalfPi);
    bone1.UpdateWorldMatrix();
    object.position = zVector(5, 0, 0);
    object.UpdateWorldMatrix();
    object.ComputeSkinMatrices();

    ExpectMatrix(object.skinMatrices[0], {1, 0, 0, -5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    // p -> turn(p - (2, 0, 0)) + (2, 0, 0) - (5, 0, 0).
    ExpectMatrix(object.skinMatrices[1], {0, -1, 0, -3, 1, 0, 0, -2, 0, 0, 1, 0, 0, 0, 0, 1});
    ExpectPoint(zVector(3, 0, 0).Transform(object.skinMatrices[1]), -3, 1, 0);

    zOBB obb;
    ASSERT_TRUE(object.GetBoneOBB(1, obb));
    ExpectPoint(obb.centre, -3, 0, 0.125f);
    ExpectPoint(obb.size, 2, 1, 0.25f);
    const zMinMax turned = obb.GetMinMax();
    ExpectPoint(turned.min, -3.5f, -1, 0);
    ExpectPoint(turned.max, -2.5f, 1, 0.25f);
    EXPECT_FALSE(object.GetBoneOBB(2, obb));

    zMinMax box;
    object.GetMinMax(box);
    ExpectPoint(box.min, -5, -1, 0);
    ExpectPoint(box.max, -2.5f, 1, 0.25f);
}

TEST_F(SkinnedStripTest, SetBoneTakesTheGivenBindOrTheItemsInverseOrIdentity)
{
    object.SetGeometry(&geometry, true);
    bone0.position = zVector(0, 3, 0); // not yet applied to its matrices
    ASSERT_TRUE(object.SetBone(0, &bone0, nullptr));
    ExpectPoint(zVector(0, 3, 0).Transform(object.bindMatrices[0]), 0, 0, 0);

    const zMatrix4 given = zMatrix4::TranslationMatrix(zVector(7, 8, 9));
    ASSERT_TRUE(object.SetBone(1, &bone1, &given));
    EXPECT_EQ(object.bones[1], &bone1);
    ExpectMatrix(object.bindMatrices[1], {1, 0, 0, 7, 0, 1, 0, 8, 0, 0, 1, 9, 0, 0, 0, 1});

    ASSERT_TRUE(object.SetBone(0, nullptr, nullptr));
    EXPECT_EQ(object.bones[0], nullptr);
    ExpectMatrix(object.bindMatrices[0], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});

    // Out of range: refused, nothing changes.
    EXPECT_FALSE(object.SetBone(2, &bone0, &given));
    EXPECT_FALSE(object.SetBone(UINT32_MAX, &bone0, nullptr));
    EXPECT_EQ(object.bones[0], nullptr);
    EXPECT_EQ(object.bones[1], &bone1);
}

TEST_F(SkinnedStripTest, TheSameGeometryKeepsTheSkinAnotherUnbindsIt)
{
    object.SetGeometry(&geometry, true);
    ASSERT_TRUE(object.SetBone(1, &bone1, nullptr));
    object.SetGeometry(&geometry, true);
    EXPECT_EQ(object.bones[1], &bone1) << "setting the same geometry again does not unbind";

    zGeometry other(nullptr, "other");
    FillSkin(other, 3, {{0, 0, 0}}, {});
    object.SetGeometry(&other, false);
    EXPECT_EQ(object.boneCount, 0u);
    EXPECT_EQ(object.bones, nullptr);
    object.SetGeometry(&geometry, true);
    ASSERT_EQ(object.boneCount, 2u);
    EXPECT_EQ(object.bones[1], nullptr) << "binding again starts with null bones";

    // Bones but no skin weights: every box stays empty at the origin.
    object.SetGeometry(&other, true);
    ASSERT_EQ(object.boneCount, 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        ExpectPoint(object.boneBoxes[i].min, 0, 0, 0);
        ExpectPoint(object.boneBoxes[i].max, 0, 0, 0);
    }
    object.FreeSkin();
    EXPECT_EQ(object.boneCount, 0u);
    EXPECT_EQ(object.geometry, &other) << "unbinding keeps the geometry";
    object.ComputeSkinMatrices();
}

TEST(ObjectTest, PushedToTheRendererOnlyWithAGeometry)
{
    Tavrin core;
    RecordingRenderer renderer(&core, true);
    ASSERT_TRUE(renderer.AllocateItemStack(4));
    zGeometry geometry(nullptr, "shown");
    int record = 0;
    geometry.rendererData = &record;
    zObject object(&core);
    object.UpdateWorldMatrix();
    object.PushToRenderer();
    EXPECT_EQ(renderer.statistics[zRenderer::StatObjectsSent], 0u);
    EXPECT_EQ(renderer.itemStackCount, 0);
    object.SetGeometry(&geometry, true);
    object.PushToRenderer();
    ASSERT_EQ(renderer.itemStackCount, 1);
    EXPECT_EQ(renderer.itemArray[0].item, &object);
}

// ZML reading and writing.

TEST(ObjectTagTest, WriterLeavesOutDefaultsAndNamesTheGeometries)
{
    zObject object(nullptr);
    std::unique_ptr<zMetaTag> plain(object.AsMetaTag());
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain->GetName().Get(), "Object");
    EXPECT_EQ(ChildNames(plain.get()), std::vector<std::string>{"Item"});

    zGeometry shown(nullptr, "meshes/body.zgeo");
    zGeometry hidden(nullptr, "meshes/body_occ.zgeo");
    object.geometry = &shown;
    object.occluder = &hidden;
    object.cacheGeometry = 0;
    object.position = zVector(1, 2, 3);
    std::unique_ptr<zMetaTag> tag(object.AsMetaTag());
    EXPECT_EQ(ChildNames(tag.get()), (std::vector<std::string>{"Item", "CacheGeometry", "Geometry", "Occluder"}));
    EXPECT_EQ(tag->FindChild("CacheGeometry")->GetType(), zMetaTag::TypeInteger);
    EXPECT_EQ(tag->FindChild("CacheGeometry")->GetInteger(), 0);
    EXPECT_STREQ(tag->FindChild("Geometry")->GetString(), "meshes/body.zgeo");
    EXPECT_STREQ(tag->FindChild("Occluder")->GetString(), "meshes/body_occ.zgeo");
    object.geometry = nullptr;
    object.occluder = nullptr;

    // The item part and the cache switch read back.
    zObject read(nullptr);
    tag->GetChildren().Remove(tag->FindChild("Geometry"), true);
    tag->GetChildren().Remove(tag->FindChild("Occluder"), true);
    ASSERT_TRUE(read.FromMetaTag(nullptr, tag.get()));
    ExpectPoint(read.position, 1, 2, 3);
    EXPECT_EQ(read.cacheGeometry, 0);
}

TEST(ObjectTagTest, CacheGeometryIsOnUnlessANonZeroIntegerIsMissing)
{
    struct Case {
        const char* body;
        uint8_t expected;
    };
    const Case cases[] = {
        {"<Object=<Item>>", 1},
        {"<Object=<CacheGeometry=0>>", 0},
        {"<Object=<CacheGeometry=2>>", 1},
        {"<Object=<CacheGeometry=1.0>>", 0},
        {"<Object=<CacheGeometry=\"yes\">>", 0},
        {"<Object=<CacheGeometry>>", 0},
    };
    for (const Case& c : cases) {
        zObject object(nullptr);
        object.cacheGeometry = c.expected != 0 ? 0 : 1;
        auto document = ParseZml(std::string("<ZML=1.0>\n") + c.body + "\n");
        LogCapture capture;
        ASSERT_TRUE(object.FromMetaTag(document.get(), document->GetFirstRootTag())) << c.body;
        EXPECT_EQ(object.cacheGeometry, c.expected) << c.body;
        EXPECT_TRUE(capture.lines.empty()) << c.body;
    }
}

// The strip of the skinning tests as a geometry file: one quad, two bones.
const char* const StripFile =
    "<ZML=1.0>\n<Geometry=<Materials=<Material>>"
    "<AVertex=<Count=4><Data=<V=<X=0><Y=0><Z=0>><V=<X=1><Y=0.5><Z=0>><V=<X=2><Y=-0.5><Z=0>>"
    "<V=<X=3><Y=0><Z=0.25>>>>"
    "<APolygon=<Count=1><BindingCount=4><Data=<P=<Count=4><Material=0><Index=0><Index=1><Index=2><Index=3>>>>"
    "<Skin=<Bones=<Id=\"Root\"><Id=\"Tip\">><Weights=<W=\"0,1,0,0:255,0,0,0\"><W=\"0,1,0,0:255,255,0,0\">"
    "<W=\"1,0,0,0:255,0,0,0\"><W=\"1,0,0,0:255,0,0,0\">>>>\n";

TEST(ObjectTagTest, GeometryAndOccluderComeThroughTheGeometryCacheAndTheSkinIsBound)
{
    ResourceFiles files;
    files.Write("strip.zml", StripFile);
    Tavrin core;
    zObject object(&core);
    auto document = ParseZml("<ZML=1.0>\n<Object=<Geometry=\"strip.zml\"> <Occluder=\"strip.zml\">>\n");
    LogCapture capture;
    ASSERT_TRUE(object.FromMetaTag(document.get(), document->GetFirstRootTag()));
    ASSERT_NE(object.geometry, nullptr);
    EXPECT_FALSE(capture.Contains("[*] ") || capture.Contains("[!] ")) << "loaded without complaint";
    EXPECT_EQ(object.geometry->vertexCount, 4u);
    EXPECT_EQ(object.occluder, object.geometry) << "the second load is the cached geometry";
    ASSERT_EQ(object.boneCount, 2u);
    ExpectPoint(object.boneBoxes[0].min, 0, 0, 0);
    ExpectPoint(object.boneBoxes[0].max, 1, 0.5f, 0);
    ExpectPoint(object.boneBoxes[1].min, 1, -0.5f, 0);
    ExpectPoint(object.boneBoxes[1].max, 3, 0.5f, 0.25f);

    std::unique_ptr<zMetaTag> tag(object.AsMetaTag());
    EXPECT_EQ(ChildNames(tag.get()), (std::vector<std::string>{"Item", "Geometry", "Occluder"}));
    EXPECT_STREQ(tag->FindChild("Geometry")->GetString(), "strip.zml");

    // Without the cache the geometry is a copy of its own; the occluder always
    // comes from the cache.
    zObject copy(&core);
    auto bypass = ParseZml("<ZML=1.0>\n<Object=<Geometry=\"strip.zml\"> <CacheGeometry=0> <Occluder=\"strip.zml\">>\n");
    ASSERT_TRUE(copy.FromMetaTag(bypass.get(), bypass->GetFirstRootTag()));
    ASSERT_NE(copy.geometry, nullptr);
    EXPECT_NE(copy.geometry, object.geometry);
    EXPECT_EQ(copy.occluder, object.geometry);
    EXPECT_EQ(copy.boneCount, 2u);
    EXPECT_EQ(copy.cacheGeometry, 0);

    // A geometry value that names nothing leaves the object without geometry.
    auto nameless = ParseZml("<ZML=1.0>\n<Object=<Geometry=4>>\n");
    ASSERT_TRUE(object.FromMetaTag(nameless.get(), nameless->GetFirstRootTag()));
    EXPECT_EQ(object.geometry, nullptr);
    EXPECT_EQ(object.boneCount, 0u);
    EXPECT_TRUE(capture.Contains("No geometry path given."));
}

TEST(ObjectTagTest, WrongRootIsRefusedAndUnknownChildrenAreReported)
{
    zObject object(nullptr);
    object.position = zVector(3, 3, 3);
    auto wrong = ParseZml("<ZML=1.0>\n<Light=<Item=<Position=<X=1><Y=1><Z=1>>>>\n");
    LogCapture capture;
    EXPECT_FALSE(object.FromMetaTag(wrong.get(), wrong->GetFirstRootTag()));
    EXPECT_FALSE(object.FromMetaTag(wrong.get(), nullptr));
    EXPECT_TRUE(capture.Contains("[!] zObject::FromMetaTag"));
    EXPECT_TRUE(capture.Contains("Could not parse object. Root tag id is incorrect (Light)."));
    ExpectPoint(object.position, 3, 3, 3);

    auto odd = ParseZml("<ZML=1.0>\n<Object=<Mesh=\"a\"> <Item=<Position=<X=1><Y=1><Z=1>>>>\n");
    LogCapture more;
    ASSERT_TRUE(object.FromMetaTag(odd.get(), odd->GetFirstRootTag()));
    EXPECT_TRUE(more.Contains("[*] zObject::FromMetaTag"));
    EXPECT_TRUE(more.Contains("Unknown tag 'Mesh' in <Object>."));
    EXPECT_EQ(more.lines.size(), 1u);
    ExpectPoint(object.position, 1, 1, 1);
}

} // namespace
