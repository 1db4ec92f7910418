// Scene functions through the engine's VM on items.zml (and physics.zml read
// into it by the scripts).
#include "SceneScriptFixture.h"

#include "core/item/zItem.h"
#include "core/zad/TavrinGlobals.h"
#include "manager/item/zMKinds.h"
#include "physic/dynamics/Tau.h"
#include "ui/zWindow.h"

#include <cmath>

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

// Counts a script hands to the physics world are held to the limits the
// "Tau" tag and the world apply to files; a refused count keeps the old one.
TEST_F(SceneFunctionsScriptTest, PhysicsCountsAreBoundedAsFromFiles)
{
    struct Case {
        const char* count;
        uint32_t stored;
    };
    const Case cases[] = {{"2147483647", 5}, {"4097", 5}, {"-1", 5}, {"(-2147483647 - 1)", 5}, {"4096", 4096}, {"0", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const std::string count = c.count;
        std::string error;
        ASSERT_TRUE(RunText("SceneSetPhysicContactSolverIteration(g_scene, 5);\n"
                            "SceneSetPhysicConstraintSolverIteration(g_scene, 5);\n"
                            "SceneSetPhysicContactSolverIteration(g_scene, " + count + ");\n"
                            "SceneSetPhysicConstraintSolverIteration(g_scene, " + count + ");\n",
                            &error))
            << error;
        EXPECT_EQ(c.stored, scene->physics.ContactIteration);
        EXPECT_EQ(c.stored, scene->physics.ConstraintIteration);
    }
    EXPECT_EQ(2u, LogCount("Invalid iteration count 2147483647 (0 to 4096), 5 kept."));

    ASSERT_TRUE(RunText("ScenePhysicAllocateCollisionNode(g_scene, 100000, 2147483647);\n"));
    EXPECT_EQ(Tau::MaxNodeCapacity, scene->physics.nodeCapacity);
    EXPECT_EQ(Tau::MaxPointCapacity, scene->physics.pointCapacity);
    ASSERT_TRUE(RunText("ScenePhysicAllocateCollisionNode(g_scene, -1, 16);\n"));
    EXPECT_EQ(Tau::MaxNodeCapacity, scene->physics.nodeCapacity);
    EXPECT_EQ(1u, LogCount("Invalid node or contact count (-1, 16), buffers kept."));
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

// "SceneFromFile" (and the threaded load) hand the file's first root tag to
// the scene reader, which takes only a "Scene" tag; reading into a group
// looks for the file's "Scene" tag and fails a file without one.
TEST_F(SceneFunctionsScriptTest, SceneFilesReadByScripts)
{
    struct Case {
        const char* call;
        const char* result;
        const char* message;
    };
    const char* const wrongRoot = "Could not parse scene. Root tag id is incorrect (Stage).";
    const Case cases[] = {
        {"SceneFromFile(g_scene, g_data + \"stage_first.zml\")", "false", wrongRoot},
        {"SceneFromZML(g_scene, g_data + \"no_scene.zml\")", "false", wrongRoot},
        {"ObjectIsValid(SceneFromZMLThreaded(g_scene, g_data + \"stage_first.zml\"))", "false", wrongRoot},
        {"ObjectIsValid(SceneFromFileStoreGroup(g_scene, g_data + \"no_scene.zml\", FlagLoadAll))", "false",
         "No <Scene> tag in '"},
        {"SceneFromFile(g_scene, g_data + \"physics.zml\")", "true", "[H] Parsing metascene '"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        const size_t before = log.lines.size();
        EXPECT_EQ(c.result, Eval(c.call));
        bool logged = false;
        for (size_t i = before; i < log.lines.size(); ++i)
            logged = logged || log.lines[i].find(c.message) != std::string::npos;
        EXPECT_TRUE(logged) << c.message;
        EXPECT_EQ(nullptr, scene->Find("staged")) << "nothing of a refused file is read";
    }
}

TEST_F(SceneFunctionsScriptTest, ScriptInstanceOfANullSceneSuspends)
{
    RunText("SceneGetScriptInstance(TestNullHandle(EngineTypeScene));\n");
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
}

// Scripts record the scene and replay it: samples are stamped with the engine
// clock, a replay interpolates the recorded placements and ending it puts the
// last sample back. Null records and null scenes give the neutral results.
class SceneRecordScriptTest : public SceneScriptTest {
public:
    void SetClock(float seconds) { GlobalClock = int32_t(std::lround(seconds * 10000.0f)); }

    // The x of the item's world placement, which records keep and replays restore.
    float WorldX(const char* name) const { return Item(name)->GetCoreItem()->worldMatrix.GetRow(3).x; }
    void SetWorldX(const char* name, float x)
    {
        zMatrix4& world = Item(name)->GetCoreItem()->worldMatrix;
        zVector row = world.GetRow(3);
        row.x = x;
        world.SetRow(3, row);
    }

    void TearDown() override
    {
        GlobalClock = 0;
        SceneScriptTest::TearDown();
    }
};

TEST_F(SceneRecordScriptTest, RecordThenReplayRoundTrip)
{
    ASSERT_TRUE(RunText("record <- SceneRecordNew();\n"));
    EXPECT_EQ("true", Eval("ObjectIsValid(record)"));
    EXPECT_EQ("0", Eval("SceneRecordGetDuration(record)"));
    const int empty = std::stoi(Eval("SceneRecordMemoryFootPrint(record)"));
    EXPECT_GT(empty, 0);

    SetWorldX("crate", 0.0f);
    SetClock(1.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"));
    EXPECT_GT(std::stoi(Eval("SceneRecordMemoryFootPrint(record)")), empty);
    SetWorldX("crate", 10.0f);
    SetClock(2.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"
                        "SceneRecordFinalize(g_scene, record);\n"));
    EXPECT_EQ("1", Eval("SceneRecordGetDuration(record)"));

    ASSERT_TRUE(RunText("SceneRecordStartReplay(g_scene, record);\n"
                        "SceneRecordReplay(g_scene, record, 1.25);\n"));
    EXPECT_NEAR(2.5f, WorldX("crate"), 1e-4f);
    ASSERT_TRUE(RunText("SceneRecordReplay(g_scene, record, 1.0);\n"
                        "SceneRecordEndReplay(g_scene, record);\n"));
    EXPECT_NEAR(10.0f, WorldX("crate"), 1e-4f) << "ending the replay puts the last sample back";

    // A third sample, then everything older than 7.5 s at 10 s goes.
    SetClock(3.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"));
    SetClock(10.0f);
    EXPECT_EQ("2", Eval("SceneRecordDropOlderSamples(record, 7.5)"));
    EXPECT_EQ("0", Eval("SceneRecordGetDuration(record)"));

    // A null material adds nothing; the obsolete delete keeps the record.
    const std::string before = Eval("SceneRecordMemoryFootPrint(record)");
    ASSERT_TRUE(RunText("SceneRecordMaterialSnapshot(g_scene, record, TestNullHandle(EngineTypeMaterial));\n"
                        "SceneRecordDelete(record);\n"));
    EXPECT_EQ(before, Eval("SceneRecordMemoryFootPrint(record)"));
    EXPECT_EQ("true", Eval("ObjectIsValid(record)"));
    EXPECT_TRUE(log.Contains("[*] SceneRecordDelete"));
    EXPECT_TRUE(log.Contains("SceneRecordDelete is obsolete, memory is now freed."));

    // The handle owns its record: dropping it frees the record.
    ASSERT_TRUE(RunText("record = null;\n"));
    sq_collectgarbage(v);
    EXPECT_TRUE(log.Contains("Garbage collected: Scene Record."));
}

// The windows of the scene's interface go into the same snapshots: a replay
// shows their recorded opacity and visibility and places them where they
// were; a window deleted in between is skipped, and ending the replay lets
// the windows place themselves again.
TEST_F(SceneRecordScriptTest, WindowsOfTheSceneInterfaceAreReplayed)
{
    std::string error;
    ASSERT_TRUE(RunText("ui <- SceneGetUI(g_scene);\n"
                        "panel <- UIAddWindow(ui, 1, 100.0, 50.0, 200.0, 100.0);\n"
                        "gone <- UIAddWindow(ui, 2, 0.0, 0.0, 10.0, 10.0);\n"
                        "record <- SceneRecordNew();\n",
                        &error))
        << error;
    SetClock(1.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"
                        "WindowSetPosition(panel, 300.0, 250.0);\n"
                        "WindowSetOpacity(panel, 0.25);\n"
                        "WindowShow(panel, false);\n"));
    SetClock(2.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"
                        "WindowSetPosition(panel, 10.0, 10.0);\n"
                        "WindowSetOpacity(panel, 1.0);\n"
                        "WindowShow(panel, true);\n"
                        "UIDeleteWindow(ui, gone);\n"
                        "SceneRecordStartReplay(g_scene, record);\n"
                        "SceneRecordReplay(g_scene, record, 1.5);\n"));
    EXPECT_EQ("0.25", Eval("WindowGetOpacity(panel)"));
    EXPECT_EQ("false", Eval("WindowIsShown(panel)"));
    EXPECT_EQ("false", Eval("ObjectIsValid(gone)"));
    const auto* panel = static_cast<const zWindow*>(scene->ui.windows.GetFirst());
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->id, 1);
    EXPECT_NEAR(panel->worldMatrix.m[2], 200.0f, 1e-3f);
    EXPECT_NEAR(panel->worldMatrix.m[5], 150.0f, 1e-3f);

    ASSERT_TRUE(RunText("SceneRecordEndReplay(g_scene, record);\n"));
    EXPECT_EQ(panel->matrixLocked, 0);
    EXPECT_NEAR(panel->worldMatrix.m[2], 10.0f, 1e-3f);
    EXPECT_EQ("0.25", Eval("WindowGetOpacity(panel)")) << "the last sample's opacity stays";
}

// An item whose recorded position jumps more than 200 units between the
// samples around the replay time is reported, every one of them and also at
// a sample's own time; from the first jump on nothing is interpolated. The
// lamp comes before the crate in the scene's item order.
TEST_F(SceneRecordScriptTest, EveryJumpIsReportedWhateverTheFactor)
{
    ASSERT_TRUE(RunText("record <- SceneRecordNew();\n"));
    SetWorldX("crate", 0.0f);
    SetWorldX("p1", 0.0f);
    SetWorldX("lamp", 0.0f);
    SetClock(1.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"));
    SetWorldX("crate", 250.0f);
    SetWorldX("p1", -300.0f);
    SetWorldX("lamp", 20.0f);
    SetClock(2.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(g_scene, record);\n"
                        "SceneRecordStartReplay(g_scene, record);\n"));
    struct Case {
        const char* time;
        size_t switches;
        float lamp;
    };
    const Case cases[] = {
        {"1.5", 2, 10.0f},
        {"1.0", 2, 0.0f},
        // The last sample is its own before and after: nothing jumps.
        {"2.0", 0, 20.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        const size_t before = LogCount("Position switch detected.");
        ASSERT_TRUE(RunText(std::string("SceneRecordReplay(g_scene, record, ") + c.time + ");\n"));
        EXPECT_EQ(c.switches, LogCount("Position switch detected.") - before);
        EXPECT_NEAR(c.lamp, WorldX("lamp"), 1e-4f);
    }
    ASSERT_TRUE(RunText("SceneRecordEndReplay(g_scene, record);\n"));
}

TEST_F(SceneRecordScriptTest, NullRecordsAndScenesGiveNeutralResults)
{
    const std::pair<const char*, const char*> cases[] = {
        {"SceneRecordGetDuration(TestNullHandle(EngineTypeSceneRecord))", "-1"},
        {"SceneRecordMemoryFootPrint(TestNullHandle(EngineTypeSceneRecord))", "0"},
        {"SceneRecordDropOlderSamples(TestNullHandle(EngineTypeSceneRecord), 1.0)", "0"},
    };
    for (const auto& [expression, expected] : cases)
        EXPECT_EQ(expected, Eval(expression)) << expression;

    // Snapshots of a null scene take nothing; calls on null records do nothing.
    SetClock(1.0f);
    ASSERT_TRUE(RunText("record <- SceneRecordNew();\n"
                        "SceneRecordSnapshot(TestNullHandle(EngineTypeScene), record);\n"
                        "SceneRecordFinalize(g_scene, TestNullHandle(EngineTypeSceneRecord));\n"
                        "SceneRecordStartReplay(g_scene, TestNullHandle(EngineTypeSceneRecord));\n"
                        "SceneRecordReplay(g_scene, TestNullHandle(EngineTypeSceneRecord), 1.0);\n"
                        "SceneRecordEndReplay(g_scene, TestNullHandle(EngineTypeSceneRecord));\n"));
    SetClock(2.0f);
    ASSERT_TRUE(RunText("SceneRecordSnapshot(TestNullHandle(EngineTypeScene), record);\n"));
    EXPECT_EQ("0", Eval("SceneRecordGetDuration(record)"));
}

// The audit and the item dump reach the log; the debug view and the overlay
// draw nothing without a usable renderer or font, and a null scene is ignored.
TEST_F(SceneFunctionsScriptTest, DiagnosticsReachTheLog)
{
    ASSERT_TRUE(RunText("SceneAudit(g_scene);\n"
                        "ScenePrintItemList(g_scene);\n"
                        "SceneAudit(TestNullHandle(EngineTypeScene));\n"
                        "ScenePrintItemList(TestNullHandle(EngineTypeScene));\n"
                        "SceneDebug(g_scene);\n"
                        "SceneDebug(TestNullHandle(EngineTypeScene));\n"
                        "SceneDebugPath(g_scene);\n"
                        "SceneDebugPath(TestNullHandle(EngineTypeScene));\n"
                        "SceneUpdateProfiler(g_scene);\n"
                        "SceneCreateProfiler(TestNullHandle(EngineTypeScene), \"font.png\", \"font\");\n"));
    EXPECT_TRUE(log.Contains("Running scene audit:"));
    EXPECT_TRUE(log.Contains("Dumping scene content"));
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
        {"SceneRecordSnapshot(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeScene))",
         "Expected 'Scene Record' (40), got 'Scene' (8)."},
        {"SceneRecordGetDuration(TestNullHandle(EngineTypeScene))", "Expected 'Scene Record' (40), got 'Scene' (8)."},
        {"SceneRecordMaterialSnapshot(TestNullHandle(EngineTypeScene), SceneRecordNew(), TestHandle(EngineTypeTexture))",
         "Expected 'Material' (33), got 'Texture' (31)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace

// The threaded loaders load at once and hand back a thread handle that holds
// nothing; the load itself lands in the scene and its interface.
TEST_F(SceneFunctionsScriptTest, ThreadedLoadersLoadAtOnce)
{
    const std::string data = TAVRIN_TEST_DATA;
    ASSERT_EQ(Item("spare"), nullptr);
    const int32_t pictures = scene->ui.pictures.GetCount();
    ASSERT_TRUE(RunText("local t = SceneFromZMLThreaded(g_scene, \"" + data + "/scenes/world.zml\");\n"
                        "print(\"scene thread valid: \" + ObjectIsValid(t));\n"
                        "local b = WindowSystemLoadBitmapThreaded(SceneGetUI(g_scene), \"" + data +
                        "/../../data/ui/ui_check_true.tga\");\n"
                        "print(\"bitmap thread valid: \" + ObjectIsValid(b));\n"
                        "SceneFromZMLThreaded(TestNullHandle(EngineTypeScene), \"none.zml\");\n"
                        "WindowSystemLoadBitmapThreaded(TestNullHandle(EngineTypeWindowSystem), \"none.tga\");\n"));
    EXPECT_NE(Item("spare"), nullptr);
    EXPECT_EQ(scene->ui.pictures.GetCount(), pictures + 1);
    EXPECT_TRUE(log.Contains("[S] scene thread valid: false"));
    EXPECT_TRUE(log.Contains("[S] bitmap thread valid: false"));
}
