#include "SceneTestSupport.h"

#include "core/geometry/zGeometry.h"
#include "core/light/zLight.h"
#include "framework/math/zFrustum.h"
#include "script/SqSafePtr.h"

#include <fstream>
#include <limits>
#include <sstream>

namespace {

std::string DataFile(const std::string& name)
{
    std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/scenes/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneLifecycle : public SceneFixture {
protected:
    zMLight* Light(const char* name, float x, float priority, float intensity = 1.0f)
    {
        zMLight* light = scene->AddLight(name, zLight::TypePoint, priority);
        light->light.position = zVector(x, 0, 0);
        light->light.diffuseIntensity = intensity;
        light->light.UpdateWorldMatrix();
        return light;
    }
    static std::vector<std::string> Names(const zRendererPropertyRequest& request)
    {
        std::vector<std::string> out;
        for (int32_t i = 0; i < request.count; ++i)
            out.push_back(zMItem::FromCoreItem(request.lights[i])->GetName().Get());
        return out;
    }
};

TEST_F(SceneLifecycle, EmptySceneLogsOnlyItsHeadings)
{
    const size_t mark = Lines().size();
    scene->Setup(true, 1024);
    scene->Reset();
    scene->DeleteContent(false);
    EXPECT_EQ(Text(mark), "[H] Scene setup\n\n[H] Scene reset\n");
}

TEST_F(SceneLifecycle, ResetClearsTheQuitRequestAndSetupRunsOnce)
{
    dir.Write("s.nut", "class S { function OnSetup(s) { print(\"setup\"); } }\n"
                       "class I { function OnSetup(i) { print(\"item\"); } function OnLogicUpdate(i, p) {} "
                       "function OnTrigger(i, t) {} }\n");
    scene->script.Script.Assign("s.nut");
    scene->script.Class.Assign("S");
    zMObject* object = scene->AddObject("o", nullptr);
    object->script.Script.Assign("s.nut");
    object->script.Class.Assign("I");
    scene->Setup(false, 0);
    scene->Setup(false, 0);
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"item", "setup"}));
    EXPECT_EQ(scene->logicUpdateList.size(), 1u);
    EXPECT_EQ(scene->triggerWatchList.size(), 1u);
    scene->RequestQuit();
    EXPECT_TRUE(scene->IsQuitRequested());
    scene->Reset();
    EXPECT_FALSE(scene->IsQuitRequested());
}

TEST_F(SceneLifecycle, ScriptGlobalsNameTheScene)
{
    ASSERT_TRUE(scene->RegisterScriptGlobals());
    ASSERT_TRUE(Load("g.nut", "g_fq <- g_clock_fq;\n"));
    sq_pushroottable(v);
    sq_pushstring(v, "g_scene", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    void* pointer = nullptr;
    EXPECT_TRUE(SqGetSafePtr(v, -1, &pointer, SqPtrScene));
    EXPECT_EQ(pointer, scene.get());
    sq_pop(v, 1);
    sq_pushstring(v, "g_fq", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger fq = 0;
    sq_getinteger(v, -1, &fq);
    EXPECT_EQ(fq, 10000);
    sq_pop(v, 2);
}

TEST_F(SceneLifecycle, LightsSortByPriorityStably)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<float> priorities;
        std::string order;
    };
    // Lights are named a, b, c... in creation order. No comparison with a
    // NaN holds, so a light of NaN priority stays where it is and the lights
    // on either side sort on their own.
    const Case cases[] = {
        {"Ties keep their order", {0.5f, 0.9f, 0.5f, 0.7f}, "bdac"},
        {"Ascending reverses", {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, "edcba"},
        {"NaN stays in place", {0.5f, 0.9f, nan, 0.2f, 0.7f, 0.7f}, "bacefd"},
        {"NaN first and last", {nan, 0.1f, 0.3f, nan}, "acbd"},
    };
    for (const Case& c : cases) {
        scene->DeleteContent(false);
        for (size_t i = 0; i < c.priorities.size(); ++i)
            Light(std::string(1, char('a' + i)).c_str(), 0, c.priorities[i]);
        scene->SortLightsByPriority();
        std::string order;
        for (zLinkedListEntry* e = scene->lights.GetFirst(); e != nullptr; e = e->next)
            order += static_cast<zMLight*>(static_cast<zLinkedListIdEntry*>(e))->GetName().Get();
        EXPECT_EQ(order, c.order) << c.name;
        // The kind list is whole: every light can still be found and unlinked.
        EXPECT_EQ(scene->lights.GetCount(), int32_t(c.priorities.size())) << c.name;
        EXPECT_EQ(scene->lights.GetLast()->next, nullptr) << c.name;
    }
}

TEST_F(SceneLifecycle, ProximityQuerySortsOnlyWhenItMustChoose)
{
    Light("far", 10, 0.5f);
    Light("near", 1, 0.5f);
    Light("dark", 0, 0.5f, 0.0f);
    Light("keen", 20, 0.99f);
    scene->RegisterAsPropertyCallback(renderer.get());
    ASSERT_EQ(renderer->propertyContext, scene.get());
    zRendererPropertyRequest request;
    request.context = renderer->propertyContext;
    request.position = zVector(0, 0, 0);
    request.maximum = 4;
    ASSERT_TRUE(renderer->propertyCallback(PropertyLightProximity, request));
    EXPECT_EQ(request.handled, 1);
    // Enough room: every active light, in list order.
    EXPECT_EQ(Names(request), (std::vector<std::string>{"far", "near", "keen"}));
    request.maximum = 2;
    ASSERT_TRUE(renderer->propertyCallback(PropertyLightProximity, request));
    // Keys: 100 * 0.5, 1 * 0.5, 400 * 0.01.
    EXPECT_EQ(Names(request), (std::vector<std::string>{"near", "keen"}));
}

TEST_F(SceneLifecycle, VisibleLightsComeEightAtATime)
{
    for (int i = 0; i < 19; ++i)
        Light(("l" + std::to_string(i)).c_str(), float(i), 0.5f);
    zMLight* ranged = Light("ranged", 100, 0.5f);
    ranged->light.range = 10;
    ranged->light.clipDistance = 5;
    zRendererPropertyRequest request;
    request.context = scene.get();
    std::vector<int32_t> batches;
    do {
        ASSERT_TRUE(zScene::PropertyCallbackEntry(PropertyVisibleLights, request));
        batches.push_back(request.count);
    } while (request.resume != nullptr);
    EXPECT_EQ(batches, (std::vector<int32_t>{8, 8, 3}));
    request.position = zVector(90, 0, 0);
    request.resume = nullptr;
    int32_t total = 0;
    do {
        ASSERT_TRUE(zScene::PropertyCallbackEntry(PropertyVisibleLights, request));
        total += request.count;
    } while (request.resume != nullptr);
    EXPECT_EQ(total, 20);
}

TEST_F(SceneLifecycle, AmbientAndUnknownRequests)
{
    scene->ambientColor = zColor(0.5f, 0.25f, 1.0f, 1.0f);
    scene->ambientIntensity = 2.0f;
    zRendererPropertyRequest request;
    request.context = scene.get();
    ASSERT_TRUE(zScene::PropertyCallbackEntry(PropertyAmbient, request));
    EXPECT_FLOAT_EQ(request.ambient[0], 1.0f);
    EXPECT_FLOAT_EQ(request.ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(request.ambient[2], 2.0f);
    request.handled = 0;
    EXPECT_FALSE(zScene::PropertyCallbackEntry(9, request));
    EXPECT_EQ(request.handled, 0);
    EXPECT_EQ(Count("** Scene could not process one of the property request (9)."), 1u);
}

TEST_F(SceneLifecycle, DestroyedSceneUnbindsItsRenderer)
{
    scene->RegisterAsPropertyCallback(renderer.get());
    scene.reset();
    EXPECT_EQ(renderer->propertyCallback, nullptr);
    EXPECT_EQ(renderer->propertyContext, nullptr);
}

TEST_F(SceneLifecycle, LargeGeometriesUsedOnceGetAnOctree)
{
    zGeometry* exact = zGeometry::New(&core, "exact");
    zGeometry* large = zGeometry::New(&core, "large");
    zGeometry* shared = zGeometry::New(&core, "shared");
    ASSERT_NE(exact, nullptr);
    exact->polygonCount = 8192;
    large->polygonCount = 8193;
    shared->polygonCount = 9000;
    scene->AddObject("a", exact);
    scene->AddObject("b", large);
    scene->AddObject("c", shared);
    scene->AddObject("d", shared);
    scene->Setup(true, 1024);
    EXPECT_EQ(Count("Generating octree for geometry 'exact'"), 0u);
    EXPECT_EQ(Count("Generating octree for geometry 'large'"), 1u);
    EXPECT_EQ(Count("Geometry 'shared' should be optimized but will not be as it is used by more than one item."), 1u);
}

// Set-up visits every item once: no step searches the whole scene per item.
// The items are built in code, a few of them inactive, scripted or lights.
TEST_F(SceneLifecycle, AFlatSceneOfManyItemsSetsUpOnce)
{
    constexpr int32_t count = 100000;
    dir.Write("w.nut", "class W { function OnLogicUpdate(i, p) {} function OnTrigger(i, t) {} }\n");
    ASSERT_TRUE(scene->collision.SAP_Allocate(count + 16));
    std::vector<zMItem*> items;
    for (int32_t i = 0; i < count; ++i) {
        zMItem* item = i % 1000 == 1 ? static_cast<zMItem*>(scene->AddLight("l", zLight::TypePoint, float(i)))
                                     : static_cast<zMItem*>(scene->AddObject("o", nullptr));
        if (i % 1000 == 7)
            item->active = 0;
        if (i % 10000 == 3) {
            item->script.Script.Assign("w.nut");
            item->script.Class.Assign("W");
        }
        items.push_back(item);
    }
    for (int32_t pass = 0; pass < 2; ++pass) {
        scene->Setup(false, 0);
        EXPECT_EQ(scene->allItems.size(), size_t(count));
        EXPECT_EQ(scene->activeItems.size(), size_t(count - count / 1000));
        EXPECT_EQ(scene->collision.GetActiveItems().GetCount(), count - count / 1000);
        EXPECT_EQ(scene->collision.GetSAPCount(), uint32_t(count - count / 1000));
        EXPECT_EQ(scene->collision.GetInactiveItems().GetCount(), 0);
        EXPECT_EQ(scene->logicUpdateList.size(), size_t(count / 10000));
        EXPECT_EQ(scene->triggerWatchList.size(), size_t(count / 10000));
    }
    EXPECT_TRUE(scene->collision.IsActive(&items[0]->collisionItem));
    EXPECT_FALSE(scene->collision.IsActive(&items[7]->collisionItem));
    // Lights come by descending priority.
    const auto* first = static_cast<zMLight*>(static_cast<zLinkedListIdEntry*>(scene->lights.GetFirst()));
    const auto* last = static_cast<zMLight*>(static_cast<zLinkedListIdEntry*>(scene->lights.GetLast()));
    EXPECT_EQ(first->priority, float(count - 999));
    EXPECT_EQ(last->priority, 1.0f);

    // Items leave the lists they were put on, and only those.
    ASSERT_TRUE(scene->DestroyItem(items[3]));
    ASSERT_TRUE(scene->DestroyItem(items[7]));
    EXPECT_EQ(scene->allItems.size(), size_t(count - 2));
    EXPECT_EQ(scene->logicUpdateList.size(), size_t(count / 10000 - 1));
    EXPECT_EQ(scene->collision.GetActiveItems().GetCount(), count - count / 1000 - 1);
    scene->DeleteContent(false);
    EXPECT_EQ(scene->collision.GetActiveItems().GetCount(), 0);
    EXPECT_EQ(scene->collision.GetSAPCount(), 0u);
}

TEST_F(SceneLifecycle, DeleteContentEmptiesEverything)
{
    dir.Write("cube.zml", DataFile("cube.zml"));
    dir.Write("world.zml", DataFile("world.zml"));
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    Start();
    scene->DeleteContent(false);
    EXPECT_TRUE(scene->allItems.empty());
    EXPECT_TRUE(scene->activeItems.empty());
    EXPECT_EQ(scene->cameras.GetCount() + scene->objects.GetCount() + scene->lights.GetCount() +
                  scene->triggers.GetCount() + scene->groups.GetCount(),
              0);
    EXPECT_EQ(scene->physics.constraints.GetCount(), 0);
    EXPECT_EQ(scene->physics.activeItems.GetCount(), 0);
    EXPECT_EQ(scene->collision.GetActiveItems().GetCount(), 0);
    EXPECT_EQ(scene->nextUid, 0);
    EXPECT_EQ(scene->currentCamera, nullptr);
    EXPECT_EQ(scene->aiWorld.GetPathCount(), 0);
    // The scene takes a new file as if fresh.
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("world.zml", nullptr, zScene::LoadAll, 0));
    EXPECT_EQ(scene->nextUid, 7);
    Start();
    scene->Update(zScene::UpdateAll);
}

} // namespace
