#include "ItemTestSupport.h"
#include "core/CoreTestSupport.h"
#include "support/LogCapture.h"
#include "support/ZmlText.h"

#include "core/zad/Tavrin.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "manager/motion/zHierarchyMotion.h"
#include "manager/motion/zMotion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float HalfPi = 1.5707964f;

std::unique_ptr<zMetaFile> LoadItems()
{
    auto document = std::make_unique<zMetaFile>();
    EXPECT_TRUE(zMetaParser::Load(TAVRIN_TEST_DATA "/manager/items.zml", document.get()));
    return document;
}

const zMetaTag* Root(const zMetaFile& document, const char* name)
{
    return document.GetTag((std::string(name) + ";").c_str());
}

TEST(MItemTest, ConstructionLinksPartsAndJoinsTheScene)
{
    FakeScene scene;
    zMObject object(&scene);
    zMLight light(&scene);
    zMCamera camera(&scene);
    zTrigger trigger(&scene);
    const zMItem* items[] = {&camera, &object, &light, &trigger};
    const int32_t kinds[] = {1, 2, 3, 4};
    for (int i = 0; i < 4; ++i) {
        const zMItem* item = items[i];
        EXPECT_EQ(item->GetKind(), kinds[i]);
        EXPECT_EQ(zMItem::FromCoreItem(item->GetCoreItem()), item);
        EXPECT_EQ(item->body.owner, item->GetCoreItem());
        EXPECT_EQ(item->body.collisionItem, &item->collisionItem);
        EXPECT_EQ(item->collisionItem.body, &item->body);
        EXPECT_EQ(item->collisionItem.owner, item->GetCoreItem());
        EXPECT_EQ(item->body.world, &scene.physics);
        EXPECT_EQ(item->uid, -1);
        EXPECT_FLOAT_EQ(item->priority, 0.5f);
        EXPECT_FLOAT_EQ(item->logicFrequency, 15.0f);
        EXPECT_EQ(item->proxyFlag, 4);
        EXPECT_TRUE(item->IsActive() || item == &light);
    }
    EXPECT_EQ(scene.all.size(), 4u);
    EXPECT_EQ(scene.activeList.size(), 4u);
    // Bodies wait for Setup before joining the worlds.
    EXPECT_TRUE(scene.OutOfWorlds(&object));
}

TEST(MItemTest, LightIsActiveOnlyWhileItGivesLight)
{
    FakeScene scene;
    zMLight light(&scene);
    const struct {
        float diffuse;
        float specular;
        bool active;
    } cases[] = {{1.0f, 0.0f, true}, {0.001f, 0.0f, false}, {0.0f, 0.0011f, true}, {0.0f, 0.001f, false}};
    for (const auto& c : cases) {
        light.light.diffuseIntensity = c.diffuse;
        light.light.specularIntensity = c.specular;
        EXPECT_EQ(light.IsActive(), c.active) << c.diffuse << " " << c.specular;
    }
    light.light.diffuseIntensity = 1.0f;
    light.active = 0;
    EXPECT_FALSE(light.IsActive());
}

TEST(MItemTest, ChannelTargetsPerKind)
{
    FakeScene scene;
    zMObject object(&scene);
    zMLight light(&scene);
    zMCamera camera(&scene);
    zTrigger trigger(&scene);
    zMItem* items[] = {&object, &light, &camera, &trigger};
    for (zMItem* item : items) {
        zItem* core = item->GetCoreItem();
        const struct {
            int32_t id;
            float* field;
        } common[] = {
            {ChannelPositionX, &core->position.x}, {ChannelPositionZ, &core->position.z},
            {ChannelRotationY, &core->rotation.y}, {ChannelScaleX, &core->scale.x},
            {ChannelScaleZ, &core->scale.z},
        };
        for (const auto& c : common) {
            zChannelTarget target;
            ASSERT_TRUE(item->GetChannelTarget(c.id, target)) << c.id;
            EXPECT_EQ(target.value, c.field) << c.id;
            EXPECT_EQ(target.quaternion, nullptr);
        }
        zChannelTarget orientation;
        ASSERT_TRUE(item->GetChannelTarget(ChannelOrientation, orientation));
        EXPECT_EQ(orientation.quaternion, &core->quaternion);
        EXPECT_EQ(orientation.value, nullptr);
        for (int32_t id : {0, 11, 12, 18, 21, 25, 28, 32, 33}) {
            zChannelTarget target;
            EXPECT_FALSE(item->GetChannelTarget(id, target)) << id;
        }
        zChannelTarget zoom;
        EXPECT_EQ(item->GetChannelTarget(ChannelZoom, zoom), item == &camera);
        for (int32_t id : {15, 16, 17, 27}) {
            zChannelTarget target;
            EXPECT_EQ(item->GetChannelTarget(id, target), item == &light) << id;
        }
    }
    zChannelTarget target;
    ASSERT_TRUE(camera.GetChannelTarget(ChannelZoom, target));
    EXPECT_EQ(target.value, &camera.camera.zoomFactor);
    ASSERT_TRUE(light.GetChannelTarget(ChannelDiffuseG, target));
    EXPECT_EQ(target.value, &light.light.diffuse.g);
    ASSERT_TRUE(light.GetChannelTarget(ChannelRange, target));
    EXPECT_EQ(target.value, &light.light.range);
}

TEST(MItemTest, MotionsDriveTheCoreItemAndIgnoreChannelsTheKindLacks)
{
    FakeScene scene;
    zMLight light(&scene);
    auto* motion = new zMotion("glow");
    for (int32_t id : {ChannelRange, ChannelAlpha, ChannelQuaternion, ChannelZoom, ChannelScaleY}) {
        zChannel* c = motion->AddChannel(id);
        c->Allocate(2);
        c->GetKey(0)->value = 4.0f;
        c->GetKey(1)->time = 1.0f;
        c->GetKey(1)->value = 4.0f;
    }
    light.motions.Add(motion);
    light.slots[0].Set(motion, 0.0f, 1.0f, 0.0f);
    light.light.alpha = 0.5f;
    light.UpdateMotion(0.5f);
    EXPECT_FLOAT_EQ(light.light.range, 4.0f);
    EXPECT_FLOAT_EQ(light.light.scale.y, 4.0f);
    EXPECT_FLOAT_EQ(light.light.alpha, 0.5f);
}

TEST(MItemTest, ActivateKeepsListsAndWorldsInStepAndReachesLinkedItems)
{
    FakeScene scene;
    zMObject root(&scene);
    zMObject child(&scene);
    zMObject grandchild(&scene);
    zMObject other(&scene);
    child.object.SetLink(&root.object);
    grandchild.object.SetLink(&child.object);
    for (zMItem* item : scene.all)
        item->Setup();
    EXPECT_TRUE(scene.InWorlds(&grandchild));

    const int before = scene.activeCalls;
    root.Activate(true, true);
    EXPECT_EQ(scene.activeCalls, before);

    root.logicTime = 3.0f;
    root.Activate(false, true);
    for (zMItem* item : {static_cast<zMItem*>(&root), static_cast<zMItem*>(&child), static_cast<zMItem*>(&grandchild)}) {
        EXPECT_FALSE(item->IsActive());
        EXPECT_FALSE(FakeScene::Contains(scene.activeList, item));
        EXPECT_TRUE(scene.OutOfWorlds(item));
    }
    EXPECT_TRUE(other.IsActive());
    EXPECT_TRUE(scene.InWorlds(&other));
    EXPECT_EQ(scene.activeCalls, before + 3);

    // Not recursive: only the item itself.
    child.Activate(true, false);
    EXPECT_TRUE(child.IsActive());
    EXPECT_FALSE(grandchild.IsActive());
    root.Activate(true, false);
    EXPECT_FLOAT_EQ(root.logicTime, 0.0f);
    EXPECT_TRUE(scene.InWorlds(&root));
    EXPECT_EQ(scene.activeList.size(), 3u);
}

TEST(MItemTest, SetupLeavesAnInactiveItemOutOfTheWorlds)
{
    FakeScene scene;
    zTrigger on(&scene);
    zTrigger off(&scene);
    off.active = 0;
    on.Setup();
    off.Setup();
    EXPECT_TRUE(scene.InWorlds(&on));
    EXPECT_TRUE(scene.OutOfWorlds(&off));
    EXPECT_FALSE(FakeScene::Contains(scene.activeList, static_cast<zMItem*>(&off)));
    // A second set-up adds nothing twice.
    on.Setup();
    EXPECT_EQ(scene.collision.GetSAPCount(), 1u);
}

TEST(MItemTagTest, KindsReadFromAScene)
{
    FakeScene scene;
    auto document = LoadItems();
    LogCapture log;

    zMObject object(&scene);
    ASSERT_TRUE(object.FromMetaTag(document.get(), Root(*document, "MObject")));
    EXPECT_STREQ(object.GetName().Get(), "crate");
    EXPECT_EQ(object.uid, 4);
    EXPECT_TRUE(object.IsActive());
    EXPECT_EQ(object.billboardFlags, 1u);
    EXPECT_EQ(object.proxyFlag, 9);
    EXPECT_FLOAT_EQ(object.priority, 0.25f);
    EXPECT_FLOAT_EQ(object.logicFrequency, 30.0f);
    EXPECT_EQ(object.flags, zMotionPlayer::PropagatePosition);
    EXPECT_NE(object.motions.FindByName("bob"), nullptr);
    EXPECT_EQ(object.hasRecordedLocation, 1);
    EXPECT_FLOAT_EQ(object.recordedLocation.m[3], 5.0f);
    EXPECT_FLOAT_EQ(object.object.position.z, 3.0f);
    ASSERT_EQ(object.skinMotions.GetCount(), 1);
    const zHierarchyMotion* wave = object.skinMotions.GetAs<zHierarchyMotion>(0);
    EXPECT_STREQ(wave->id.Get(), "wave");
    ASSERT_NE(wave->GetMotion(1), nullptr);
    EXPECT_TRUE(log.Contains("Unexpected tag 'Dance' in <SkinMotion>."));
    EXPECT_TRUE(log.Contains("Unknown tag 'Shadow' in <MObject>."));

    zMLight light(&scene);
    ASSERT_TRUE(light.FromMetaTag(document.get(), Root(*document, "MLight")));
    EXPECT_EQ(light.uid, 7);
    EXPECT_EQ(light.active, 0);
    EXPECT_FLOAT_EQ(light.priority, 3.0f);
    EXPECT_EQ(light.proxy, 1);
    EXPECT_STREQ(light.proxyScene.Get(), "lamps.zml");
    EXPECT_STREQ(light.proxyGroup.Get(), "street");
    EXPECT_STREQ(light.proxyRootParameterTarget.Get(), "glow");
    EXPECT_FLOAT_EQ(light.light.range, 12.0f);
    EXPECT_FLOAT_EQ(light.light.diffuse.b, 0.75f);

    zMCamera camera(&scene);
    ASSERT_TRUE(camera.FromMetaTag(document.get(), Root(*document, "MCamera")));
    EXPECT_EQ(camera.uid, 0);
    EXPECT_EQ(camera.toolSpecific, 1);
    EXPECT_FLOAT_EQ(camera.camera.zoomFactor, 2.5f);

    zTrigger trigger(&scene);
    ASSERT_TRUE(trigger.FromMetaTag(document.get(), Root(*document, "Trigger")));
    EXPECT_EQ(trigger.uid, 2);
    EXPECT_FLOAT_EQ(trigger.logicFrequency, 5.0f);
    EXPECT_FLOAT_EQ(trigger.item.scale.y, 4.0f);

    // Each kind refuses the others' tags.
    EXPECT_FALSE(trigger.FromMetaTag(document.get(), Root(*document, "MCamera")));
    EXPECT_TRUE(log.Contains("Could not parse trigger. Root tag id is incorrect (MCamera)."));
    EXPECT_FALSE(camera.FromMetaTag(document.get(), Root(*document, "MLight")));
    EXPECT_TRUE(log.Contains("could not parse managed camera. Root tag id is incorrect (MLight)."));
    EXPECT_FALSE(light.FromMetaTag(document.get(), Root(*document, "Trigger")));
    EXPECT_TRUE(log.Contains("Could not parse managed light. Root tag id is incorrect (Trigger)."));
    EXPECT_FALSE(object.FromMetaTag(document.get(), Root(*document, "MLight")));
    EXPECT_TRUE(log.Contains("Could not parse managed object. Root tag id is incorrect (MLight)."));
}

TEST(MItemTagTest, ItemReadAsInactiveLeavesTheActiveListAndTheWorlds)
{
    FakeScene scene;
    zMLight light(&scene);
    light.Setup();
    ASSERT_TRUE(scene.InWorlds(&light));
    ASSERT_TRUE(FakeScene::Contains(scene.activeList, static_cast<zMItem*>(&light)));
    auto document = LoadItems();
    ASSERT_TRUE(light.FromMetaTag(document.get(), Root(*document, "MLight")));
    EXPECT_EQ(light.active, 0);
    EXPECT_FALSE(FakeScene::Contains(scene.activeList, static_cast<zMItem*>(&light)));
    EXPECT_TRUE(scene.OutOfWorlds(&light));

    // Read back as active once set up: in again.
    auto active = ParseZml("<ZML=1.0>\n<MItem=<UId=1><Active>>\n");
    ASSERT_TRUE(light.zMItem::FromMetaTag(active.get(), active->GetFirstRootTag()));
    EXPECT_TRUE(FakeScene::Contains(scene.activeList, static_cast<zMItem*>(&light)));
    EXPECT_TRUE(scene.InWorlds(&light));

    // Not yet set up: the list follows, the worlds wait for Setup.
    zTrigger fresh(&scene);
    ASSERT_TRUE(fresh.zMItem::FromMetaTag(active.get(), active->GetFirstRootTag()));
    EXPECT_TRUE(FakeScene::Contains(scene.activeList, static_cast<zMItem*>(&fresh)));
    EXPECT_TRUE(scene.OutOfWorlds(&fresh));
}

struct MItemCase {
    const char* name;
    const char* children;
    bool ok;
    int32_t uid;
    float priority;
    const char* message;
};

class MItemReadTest : public ::testing::TestWithParam<MItemCase> {};

TEST_P(MItemReadTest, UidAndNumbers)
{
    const MItemCase& c = GetParam();
    FakeScene scene;
    zTrigger trigger(&scene);
    auto document = ParseZml(std::string("<ZML=1.0>\n<MItem=<Id=\"t\">") + c.children + ">\n");
    LogCapture log;
    EXPECT_EQ(trigger.zMItem::FromMetaTag(document.get(), document->GetFirstRootTag()), c.ok);
    EXPECT_EQ(trigger.uid, c.uid);
    EXPECT_FLOAT_EQ(trigger.priority, c.priority);
    EXPECT_EQ(trigger.active, 0);
    if (c.message != nullptr) {
        EXPECT_TRUE(log.Contains(c.message)) << c.message;
    }
}

const MItemCase MItemCases[] = {
    {"Plain", "<UId=3>", true, 3, 0.5f, nullptr},
    {"MissingUid", "<Priority=2>", false, -1, 2.0f, "Managed item 't' UID is invalid."},
    {"NegativeUid", "<UId=-5>", false, -5, 0.5f, "Managed item 't' UID is invalid."},
    {"FloatUid", "<UId=3.0>", false, -999, 0.5f, "Managed item 't' UID is invalid."},
    {"IntegerPriority", "<UId=0><Priority=2>", true, 0, 2.0f, nullptr},
    {"StringPriority", "<UId=0><Priority=\"high\">", true, 0, -999.0f, nullptr},
    {"UnknownChild", "<UId=1><Colour=2>", true, 1, 0.5f, "Unknown tag 'Colour' in <MItem>."},
};

INSTANTIATE_TEST_SUITE_P(Cases, MItemReadTest, ::testing::ValuesIn(MItemCases),
                         [](const ::testing::TestParamInfo<MItemCase>& info) { return std::string(info.param.name); });

TEST(MItemTagTest, WrongRootAndStringTypesAreHandled)
{
    FakeScene scene;
    zTrigger trigger(&scene);
    LogCapture log;
    zMetaTag wrong("Item");
    EXPECT_FALSE(trigger.zMItem::FromMetaTag(nullptr, &wrong));
    EXPECT_TRUE(log.Contains("Could not parse managed item. Root tag id is incorrect (Item)."));
    auto document = ParseZml("<ZML=1.0>\n<MItem=<Id=4><UId=1><ProxyScene=2><ProxyFlag=\"x\">>\n");
    EXPECT_TRUE(trigger.zMItem::FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_STREQ(trigger.GetName().Get(), "");
    EXPECT_STREQ(trigger.proxyScene.Get(), "");
    EXPECT_EQ(trigger.proxyFlag, -999);
}

TEST(MItemTagTest, WriterOrderAndOmissions)
{
    FakeScene scene;
    zTrigger trigger(&scene);
    trigger.id.Assign("gate");
    trigger.uid = 12;
    std::unique_ptr<zMetaTag> plain(trigger.zMItem::AsMetaTag());
    EXPECT_EQ(ChildNames(plain.get()),
              (std::vector<std::string>{"Id", "UId", "ProxyFlag", "Active", "Priority", "ScriptLogicFq", "GColItem", "TauItem"}));

    trigger.active = 0;
    trigger.proxy = 1;
    trigger.proxyScene.Assign("a.zml");
    trigger.proxyGroup.Assign("g");
    trigger.proxyRootParameterTarget.Assign("p");
    trigger.toolSpecific = 1;
    trigger.billboardFlags = 1;
    trigger.RecordLocation();
    trigger.SetPropagation(zMotionPlayer::PropagatePosition, true);
    std::unique_ptr<zMetaTag> full(trigger.zMItem::AsMetaTag());
    EXPECT_EQ(ChildNames(full.get()),
              (std::vector<std::string>{"Id", "UId", "Proxy", "ProxyScene", "ProxyGroup", "ProxyFlag", "ProxyRootParamTo",
                                        "ToolSpecific", "Billboard", "InitialMatrix", "Priority", "ScriptLogicFq",
                                        "MotionPlayer", "GColItem", "TauItem"}));
}

// Reads the kind tag, writes it, reads that into a fresh item and writes
// again: both writes must be the same text.
template <class Kind> void ExpectStableRoundTrip(const zMetaFile& document, const char* name)
{
    FakeScene scene;
    Kind first(&scene);
    LogCapture quiet;
    ASSERT_TRUE(first.FromMetaTag(&document, Root(document, name)));
    zMetaFile written;
    written.AddRootTag(first.AsMetaTag());
    Kind second(&scene);
    ASSERT_TRUE(second.FromMetaTag(nullptr, written.GetFirstRootTag())) << name;
    zMetaFile rewritten;
    rewritten.AddRootTag(second.AsMetaTag());
    std::string a;
    std::string b;
    ASSERT_TRUE(zMetaParser::SaveText(&written, a));
    ASSERT_TRUE(zMetaParser::SaveText(&rewritten, b));
    EXPECT_EQ(a, b) << name;
    EXPECT_EQ(first.uid, second.uid);
    EXPECT_EQ(first.active, second.active);
    EXPECT_FLOAT_EQ(first.priority, second.priority);
    EXPECT_EQ(std::string(first.GetName().Get()), std::string(second.GetName().Get()));
    EXPECT_EQ(first.motions.GetCount(), second.motions.GetCount());
}

TEST(MItemTagTest, EveryKindRoundTrips)
{
    auto document = LoadItems();
    ExpectStableRoundTrip<zMObject>(*document, "MObject");
    ExpectStableRoundTrip<zMLight>(*document, "MLight");
    ExpectStableRoundTrip<zMCamera>(*document, "MCamera");
    ExpectStableRoundTrip<zTrigger>(*document, "Trigger");

    FakeScene scene;
    zMObject object(&scene);
    LogCapture quiet;
    ASSERT_TRUE(object.FromMetaTag(document.get(), Root(*document, "MObject")));
    std::unique_ptr<zMetaTag> written(object.AsMetaTag());
    EXPECT_EQ(ChildNames(written.get()), (std::vector<std::string>{"MItem", "Object", "SkinMotion"}));
    zMObject plain(&scene);
    std::unique_ptr<zMetaTag> bare(plain.AsMetaTag());
    EXPECT_EQ(ChildNames(bare.get()), (std::vector<std::string>{"MItem", "Object"}));
    zMObject again(&scene);
    ASSERT_TRUE(again.FromMetaTag(nullptr, written.get()));
    ASSERT_EQ(again.skinMotions.GetCount(), 1);
    EXPECT_FLOAT_EQ(again.skinMotions.GetAs<zHierarchyMotion>(0)->GetLength(), 2.0f);
}

TEST(TriggerTest, InsideIsStrictlyWithinTheTransformedUnitCube)
{
    FakeScene scene;
    zTrigger trigger(&scene);
    trigger.item.position = zVector(10.0f, 0.0f, 0.0f);
    trigger.item.scale = zVector(2.0f, 4.0f, 1.0f);
    trigger.item.rotation = zVector(0.0f, 0.0f, HalfPi);
    trigger.UpdateTransform();
    // A quarter turn about z puts the local x extent (2) along y and the
    // local y extent (4) along x.
    const struct {
        zVector point;
        bool inside;
    } cases[] = {
        {{10.0f, 0.0f, 0.0f}, true},   {{11.9f, 0.0f, 0.0f}, true},  {{12.1f, 0.0f, 0.0f}, false},
        {{10.0f, 0.9f, 0.0f}, true},   {{10.0f, 1.1f, 0.0f}, false}, {{10.0f, 0.0f, 0.49f}, true},
        {{10.0f, 0.0f, 0.5f}, false},  {{10.0f, 0.0f, -0.5f}, false}, {{0.0f, 0.0f, 0.0f}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trigger.IsInside(c.point), c.inside) << c.point.x << ", " << c.point.y << ", " << c.point.z;

    zTrigger unit(&scene);
    unit.UpdateTransform();
    EXPECT_TRUE(unit.IsInside(zVector(0.0f, 0.0f, 0.0f)));
    EXPECT_FALSE(unit.IsInside(zVector(0.5f, 0.0f, 0.0f)));
    EXPECT_FALSE(unit.IsInside(zVector(0.0f, -0.5f, 0.0f)));
    EXPECT_TRUE(unit.IsInside(zVector(0.4999f, 0.4999f, -0.4999f)));
}

TEST(MItemLifecycleTest, ItemsLeaveTheSceneWhileTheirKindStillStands)
{
    FakeScene scene;
    auto* object = new zMObject(&scene);
    auto* light = new zMLight(&scene);
    auto* camera = new zMCamera(&scene);
    auto* trigger = new zTrigger(&scene);
    zMObject child(&scene);
    child.object.SetLink(&object->object);
    for (zMItem* item : scene.all)
        item->Setup();
    delete object;
    EXPECT_EQ(child.object.link, nullptr);
    delete light;
    delete camera;
    delete trigger;
    EXPECT_EQ(scene.leftAs, (std::vector<std::string>{"object", "light", "camera", "trigger"}));
    EXPECT_EQ(scene.all, (std::vector<zMItem*>{&child}));
    EXPECT_EQ(scene.collision.GetSAPCount(), 1u);
}

TEST(MItemLifecycleTest, DestroyedCurrentCameraIsNeverChosenAgain)
{
    Tavrin core;
    RecordingRenderer renderer(&core, true);
    FakeScene scene(&core);
    zMCamera* first = scene.AddCamera();
    zMCamera* second = scene.AddCamera();
    zMCamera* third = scene.AddCamera();
    EXPECT_EQ(scene.current, &first->camera);
    renderer.camera = &first->camera;

    delete first;
    EXPECT_EQ(scene.current, &second->camera);
    EXPECT_EQ(renderer.camera, nullptr);

    // Not the current camera: nothing changes.
    renderer.camera = &second->camera;
    delete third;
    EXPECT_EQ(scene.current, &second->camera);
    EXPECT_EQ(renderer.camera, &second->camera);

    delete second;
    EXPECT_EQ(scene.current, nullptr);
    EXPECT_EQ(renderer.camera, nullptr);
}

TEST(SkinMotionTest, BonesOfTheSkinPlayTheirMotions)
{
    FakeScene scene;
    zMObject skin(&scene);
    zMObject bone0(&scene);
    zMObject bone1(&scene);
    zItem plain(nullptr);
    zItem* bones[] = {&bone0.object, &plain, &bone1.object, nullptr};
    skin.object.bones = bones;
    skin.object.boneCount = 4;

    zHierarchyMotion hierarchy;
    ASSERT_TRUE(hierarchy.Allocate(3));
    auto* m0 = new zMotion("m0");
    auto* m2 = new zMotion("m2");
    hierarchy.SetMotion(0, m0);
    hierarchy.SetMotion(2, m2);

    zMObject::SkinSetHierarchyMotion(skin.object, nullptr, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(bone0.slots[0].motion, nullptr);
    zMObject::SkinSetHierarchyMotion(skin.object, &hierarchy, 0.5f, 2.0f, 0.25f);
    EXPECT_EQ(bone0.slots[0].motion, m0);
    EXPECT_FLOAT_EQ(bone0.slots[0].fade, 0.5f);
    EXPECT_FLOAT_EQ(bone0.slots[0].weight, 2.0f);
    EXPECT_FLOAT_EQ(bone0.slots[0].time, 0.25f);
    EXPECT_EQ(bone1.slots[0].motion, m2);

    zMObject::SkinSetMotionClockScale(skin.object, 3.0f);
    EXPECT_FLOAT_EQ(bone0.slots[0].clockScale, 3.0f);
    EXPECT_FLOAT_EQ(bone1.slots[0].clockScale, 3.0f);
    zMObject::SkinStopAllMotion(skin.object);
    EXPECT_EQ(bone0.slots[0].motion, nullptr);
    EXPECT_EQ(bone1.slots[0].motion, nullptr);
    skin.object.bones = nullptr;
    skin.object.boneCount = 0;
}

} // namespace
