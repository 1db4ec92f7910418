// Scene functions through the engine's VM on items.zml (and physics.zml read
// into it by the scripts).
#include "SceneScriptFixture.h"

#include "physic/dynamics/Tau.h"

namespace {

class SceneFunctionsScriptTest : public SceneScriptTest {};

TEST_F(SceneFunctionsScriptTest, SceneFunctions)
{
    RunCases("scene.nut", "script_scene");
    CheckAll({
        {"ambient_intensity", 0.5f},
        {"ambient_intensity_of_null", -1.0f},
        {"ambient_colour", zVector(0.25f, 0.5f, 0.75f, 0.5f)},
        {"ambient_colour_of_null", zVector(0.0f, 0.0f, 0.0f, 1.0f)},
        {"fog_off_keeps_colour", std::string("0.3,0,0")},
        {"fog_of_null", std::string("-1,-1,1")},
        {"item_list", std::string("24:eye,gate")},
        {"item_list_of_null", 0},
        {"find_item", true},
        {"find_item_missing", false},
        {"find_item_child", true},
        {"find_item_child_elsewhere", false},
        {"duplicate_item", std::string("true,false")},
        {"duplicate_null", false},
        {"find_group", 2},
        {"find_group_missing", false},
        {"find_group_of_null", false},
        {"add_light", std::string("3,added_lamp")},
        {"add_light_to_null_scene", false},
        {"delete_missing_light", true},
        {"physic_frequency", 120.0f},
        {"physic_frequency_refused", 90.0f},
        {"physic_frequency_of_null", -1.0f},
        {"find_constraint_missing", false},
        {"trigger_ray_hit", true},
        {"trigger_ray_short", false},
        {"trigger_ray_long_enough", true},
        {"trigger_ray_miss", false},
        {"trigger_ray_behind", false},
        {"collision_ray_of_null", 1},
        {"load_missing_file", false},
        {"from_file_of_null", false},
        {"constants", std::string("2047,-1,1")},
        {"null_item_constant", false},
        {"setters_on_null", true},
    });
    EXPECT_EQ(1u, LogCount("group 'nothing' not found in scene."));
}

// Lights are deleted through the deletion queue, one by name or all: the
// light stays until the queue is flushed, and its handles go stale then.
TEST_F(SceneFunctionsScriptTest, DeletingLightsIsDeferred)
{
    ASSERT_TRUE(RunText("lamp <- SceneAddLight(g_scene, \"second_lamp\");\n"
                        "SceneDeleteLight(g_scene, \"lamp\");\n"));
    zMItem* lamp = Item("lamp");
    ASSERT_NE(nullptr, lamp);
    EXPECT_TRUE(scene->IsQueuedForDeletion(lamp));
    EXPECT_FALSE(scene->IsQueuedForDeletion(Item("second_lamp")));
    ASSERT_TRUE(RunText("SceneDeleteAllLights(g_scene);\n"));
    EXPECT_TRUE(scene->IsQueuedForDeletion(Item("second_lamp")));
    ASSERT_TRUE(RunText("SceneFlushDeletionQueue(g_scene);\n"
                        "__Assert(!ObjectIsValid(lamp), \"stale\");\n"
                        "__Assert(!ObjectIsValid(SceneFindItem(g_scene, \"lamp\")), \"gone\");\n"));
    EXPECT_EQ(nullptr, scene->FindLight("lamp"));
    EXPECT_EQ(nullptr, scene->FindLight("second_lamp"));
    EXPECT_FALSE(log.Contains("Assertion failed"));
}

// A light's own update deletes every light: the lights stay whole until the
// walk is over, then go with the deletion queue.
TEST_F(SceneFunctionsScriptTest, LightsDeletedDuringTheUpdateWalk)
{
    ASSERT_TRUE(RunText("SceneAddLight(g_scene, \"second_lamp\");\n"
                        "local lamp = SceneFindItem(g_scene, \"lamp\");\n"
                        "ItemSetScript(lamp, g_data + \"delete_lights.nut\", \"LightDeleter\");\n"
                        "ItemSetupScript(lamp);\n"));
    ASSERT_TRUE(Item("lamp")->script.IsOpened());
    scene->Update(zScene::UpdateAll);
    EXPECT_EQ(nullptr, scene->FindLight("lamp"));
    EXPECT_EQ(nullptr, scene->FindLight("second_lamp"));
    EXPECT_EQ(nullptr, scene->lights.GetFirst());
    std::string error;
    ASSERT_TRUE(RunText("__Assert(deleter_name == \"lamp\" && deleter_calls == 1, \"callback\");\n", &error)) << error;
    EXPECT_FALSE(log.Contains("Assertion failed"));
    scene->Update(zScene::UpdateAll);
}

TEST_F(SceneFunctionsScriptTest, StateReachesTheScene)
{
    ASSERT_TRUE(RunText("SceneSetGravity(g_scene, Vector(0.0, -1.0, 0.0, 0.0));\n"
                        "ScenePhysicEnableDeactivation(g_scene, false);\n"
                        "SceneSetPhysicContactSolverIteration(g_scene, 4);\n"
                        "SceneSetPhysicConstraintSolverIteration(g_scene, 5);\n"
                        "SceneEnableItemDeletionQueue(g_scene, true);\n"
                        "SceneSetRenderless(g_scene, true);\n"
                        "SceneSetScript(g_scene, \"scene.nut\", \"Main\");\n"
                        "SceneSetItemDeletionDelay(g_scene, 2.0);\n"
                        "SceneDeleteItem(g_scene, TestItem(\"gate\"));\n"
                        "SceneEnd(g_scene);\n"));
    EXPECT_FLOAT_EQ(-1.0f, scene->physics.gravity.y);
    EXPECT_FLOAT_EQ(0.0f, scene->physics.gravity.w);
    EXPECT_EQ(0, scene->physics.sleepingEnabled);
    EXPECT_EQ(4u, scene->physics.ContactIteration);
    EXPECT_EQ(5u, scene->physics.ConstraintIteration);
    EXPECT_EQ(1, scene->keepDeletionQueue);
    EXPECT_TRUE(scene->IsRenderless());
    EXPECT_STREQ("scene.nut", scene->script.Script.Get());
    EXPECT_STREQ("Main", scene->script.Class.Get());
    EXPECT_TRUE(scene->IsQueuedForDeletion(Item("gate")));
    EXPECT_TRUE(scene->IsQueuedForDeletion(Item("gate")));
    EXPECT_TRUE(scene->IsQuitRequested());
    EXPECT_TRUE(log.Contains("[|] SceneSetItemDeletionDelay() is deprecated, please use SceneEnableItemDeletionQueue() instead."));
}

// A file read into a group: its items join the group, its constraint the
// world, and ray casts see its collision shapes.
TEST_F(SceneFunctionsScriptTest, FileReadIntoAGroup)
{
    std::string error;
    ASSERT_TRUE(RunText("g <- SceneFromFileStoreGroup(g_scene, g_data + \"physics.zml\", FlagLoadAll);\n"
                        "SceneSetup(g_scene); SceneUpdate(g_scene);\n"
                        "count <- GroupGetItemList(g).len();\n"
                        "hold <- ObjectIsValid(SceneFindConstraint(g_scene, \"hold\"));\n"
                        "ray <- SceneCollisionRaytrace(g_scene, Vector(3.0, 10.0, 0.0), Vector(3.0, -10.0, 0.0), -1, -1);\n"
                        "short_ray <- SceneCollisionRaytrace(g_scene, Vector(3.0, 10.0, 0.0), Vector(3.0, 5.0, 0.0), -1, -1);\n"
                        "__Assert(count == 4, \"count\");\n"
                        "__Assert(hold, \"hold\");\n"
                        "__Assert(ray.hit, \"hit\");\n"
                        "__Assert(ItemGetName(ray.item) == \"ball\", \"item\");\n"
                        "__Assert(fabs(ray.p.y - 1.5) < 1e-4 && fabs(ray.d - 8.5) < 1e-4, \"point\");\n"
                        "__Assert(fabs(ray.n.y - 1.0) < 1e-4, \"normal\");\n"
                        "__Assert(ShapeGetMass(ray.shape) == 1.0, \"shape\");\n"
                        "__Assert(!short_ray.hit && short_ray.len() == 1, \"short\");\n",
                        &error))
        << error;
    EXPECT_FALSE(log.Contains("Assertion failed")) << (log.lines.empty() ? "" : log.lines.back());
}

TEST_F(SceneFunctionsScriptTest, ScriptInstanceOfANullSceneSuspends)
{
    RunText("SceneGetScriptInstance(TestNullHandle(EngineTypeScene));\n");
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
}

TEST(SceneFunctionsWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"SceneGetAmbientIntensity(TestHandle(EngineTypeItem))", "Expected 'Scene' (8), got 'Item' (23)."},
        {"SceneFindItem(TestHandle(EngineTypeProjectScene), \"x\")",
         "Expected 'Scene' (8), got 'Project Scene' (42)."},
        {"SceneDeleteItem(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeLight))",
         "Expected 'Item' (23), got 'Light' (26)."},
        {"SceneDeleteGroup(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeItem))",
         "Expected 'Scene Group' (22), got 'Item' (23)."},
        {"SceneRegisterAsPropertyCallback(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeScene))",
         "Expected 'Renderer' (5), got 'Scene' (8)."},
        {"SceneFindItemChild(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeGeometry), \"x\")",
         "Expected 'Item' (23), got 'Geometry' (32)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
