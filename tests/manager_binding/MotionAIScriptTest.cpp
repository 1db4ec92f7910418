// The motion and AI script functions through the engine's VM: the case tables
// of tests/data/script_motion/*.nut run against the paths and motions of
// paths.zml, loaded into a scene's AI world by the scripts themselves.
#include "MathScriptFixture.h"

#include "ai/zAIPath.h"
#include "ai/zAIWorld.h"
#include "core/zad/Tavrin.h"
#include "manager/motion/zMotion.h"
#include "manager/scene/zScene.h"
#include "support/LogCapture.h"

#include <memory>
#include <string>

namespace {

zScene* currentScene = nullptr;
int handleTarget = 0;

// TestNullHandle(kind): a handle of that kind without an object.
SQInteger TestNullHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, nullptr, int32_t(kind));
    return 1;
}

// TestHandle(kind): a handle of that kind to an object that is none of the
// engine's; only good for being refused.
SQInteger TestHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, &handleTarget, int32_t(kind));
    return 1;
}

// TestClearScene(): the scene deletes its content, paths and their motions
// among it.
SQInteger TestClearScene(HSQUIRRELVM)
{
    currentScene->DeleteContent(true);
    return 0;
}

void RegisterTestFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, TestNullHandle, "TestNullHandle", "x|ti");
    SqRegisterFunction(v, TestHandle, "TestHandle", "x|ti");
    SqRegisterFunction(v, TestClearScene, "TestClearScene", "x|t");
    sq_pushroottable(v);
    sq_pushstring(v, "g_data", -1);
    sq_pushstring(v, TAVRIN_TEST_DATA "/script_motion/", -1);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

class MotionAIScriptTest : public MathScriptTest {
public:
    void SetUp() override
    {
        MathScriptTest::SetUp();
        scene = std::make_unique<zScene>(&core, &master);
        currentScene = scene.get();
        ASSERT_TRUE(scene->RegisterScriptGlobals(v));
        RegisterTestFunctions(v);
    }

    void TearDown() override
    {
        currentScene = nullptr;
        scene.reset();
        MathScriptTest::TearDown();
    }

    size_t LogCount(const std::string& text) const
    {
        size_t n = 0;
        for (const std::string& line : log.lines)
            n += line.find(text) != std::string::npos;
        return n;
    }

    LogCapture log;
    Tavrin core;
    std::unique_ptr<zScene> scene;
};

zScriptError ParameterError(const char* text)
{
    return zScriptError{text};
}

TEST_F(MotionAIScriptTest, MotionFunctions)
{
    RunCases("motion.nut", "script_motion");
    const zVector origin(0.0f, 0.0f, 0.0f, 1.0f);
    CheckAll({
        {"name", std::string("patrol")},
        {"name_of_null", std::string("Null Motion Object")},
        {"name_of_empty", std::string("empty")},
        {"length", 2.0f},
        {"length_counts_every_channel", 5.0f},
        {"length_without_channels", 0.0f},
        {"length_of_null", 0.0f},
        {"length_of_one_key", 0.0f},
        {"position_at_start", origin},
        {"position_first_half", zVector(5.0f, 0.0f, 0.0f, 1.0f)},
        {"position_at_key", zVector(10.0f, 0.0f, 0.0f, 1.0f)},
        {"position_second_half", zVector(10.0f, 5.0f, 0.0f, 1.0f)},
        {"position_at_end", zVector(10.0f, 10.0f, 0.0f, 1.0f)},
        {"position_past_end_repeats", zVector(5.0f, 0.0f, 0.0f, 1.0f)},
        {"position_far_past_end_repeats", zVector(10.0f, 5.0f, 0.0f, 1.0f)},
        {"position_before_start_repeats", zVector(10.0f, 5.0f, 0.0f, 1.0f)},
        {"position_of_one_key", zVector(3.0f, 4.0f, 5.0f, 1.0f)},
        {"position_without_z", origin},
        {"position_without_position", origin},
        {"position_of_null", origin},
        {"position_is_a_new_vector", zVector(5.0f, 0.0f, 0.0f, 1.0f)},
        {"time_must_be_float", ParameterError("parameter 2 has an invalid type 'integer' ; expected: 'float'")},
        {"name_needs_handle", ParameterError("parameter 1 has an invalid type 'string' ; expected: 'userdata'")},
        {"length_needs_argument", ParameterError("wrong number of parameters")},
    });
}

TEST_F(MotionAIScriptTest, RepeatingPositionLeavesTheStoredBehaviours)
{
    ASSERT_TRUE(RunText("SceneLoadAIPath(g_scene, g_data + \"paths.zml\");\n"
                        "MotionEvaluatePosition(AIPathGetMotion(SceneFindAIPath(g_scene, \"patrol\")), 2.5);\n"));
    zAIPath* path = scene->aiWorld.GetPath("patrol");
    ASSERT_NE(nullptr, path);
    // Past its end the channel still holds its last value, as it stores.
    float x = 0.0f;
    ASSERT_TRUE(path->motion.FindChannel(ChannelPositionX)->RawEvaluate(2.5f, x));
    EXPECT_FLOAT_EQ(10.0f, x);
}

TEST_F(MotionAIScriptTest, PathFunctions)
{
    RunCases("ai_paths.nut", "script_motion");
    const zVector origin(0.0f, 0.0f, 0.0f, 1.0f);
    CheckAll({
        {"found", true},
        {"found_by_other_name", true},
        {"found_is_named_path", std::string("patrol")},
        {"missing_is_null", false},
        {"missing_is_a_path", std::string("Null Motion Object")},
        {"null_scene_finds_nothing", false},
        {"null_scene_gives_a_path", std::string("Null Motion Object")},
        {"null_path_constant", false},
        {"null_path_motion", false},
        {"motion_of_path", true},
        {"point_on_first", zVector(5.0f, 0.0f, 0.0f, 1.0f)},
        {"time_on_first", 0.5f},
        {"point_on_second", zVector(10.0f, 7.0f, 0.0f, 1.0f)},
        {"time_on_second", 1.7f},
        {"point_before_start", origin},
        {"time_before_start", 0.0f},
        {"point_after_end", zVector(10.0f, 10.0f, 0.0f, 1.0f)},
        {"time_after_end", 2.0f},
        {"point_at_corner", zVector(10.0f, 0.0f, 0.0f, 1.0f)},
        {"time_at_corner", 1.0f},
        {"point_w_is_one", 1.0f},
        {"point_from_derived_vector", zVector(10.0f, 7.0f, 0.0f, 1.0f)},
        {"point_from_script_class", zVector(10.0f, 7.0f, 0.0f, 1.0f)},
        {"time_from_script_class", 1.7f},
        {"point_single_node", origin},
        {"time_single_node", -1.0f},
        {"point_unbuilt", origin},
        {"time_unbuilt", -1.0f},
        {"point_null", origin},
        {"time_null", 0.0f},
        {"point_must_be_instance", ParameterError("parameter 2 has an invalid type 'table' ; expected: 'instance'")},
        {"name_must_be_string", ParameterError("parameter 2 has an invalid type 'integer' ; expected: 'string'")},
    });
}

// What the failing queries and lookups put on the log, case by case.
TEST_F(MotionAIScriptTest, LogLines)
{
    ASSERT_TRUE(RunText("SceneLoadAIPath(g_scene, g_data + \"paths.zml\");"));
    struct Case {
        const char* script;
        const char* line; // expected once; null: nothing logged
    };
    const Case cases[] = {
        {"AIPathGetClosestTime(SceneFindAIPath(g_scene, \"single\"), Vector(0.0, 0.0, 0.0))",
         "Failed to query closest point to path."},
        {"AIPathGetClosestPoint(SceneFindAIPath(g_scene, \"flat\"), Vector(0.0, 0.0, 0.0))",
         "Failed to query closest point to path."},
        {"SceneFindAIPath(g_scene, \"missing\")", "Could not find AI path 'missing'."},
        {"SceneAIPathFind(g_scene, \"Patrol\")", "Could not find AI path 'Patrol'."},
        {"SceneFindAIPath(g_scene, \"patrol\")", nullptr},
        {"SceneFindAIPath(TestNullHandle(EngineTypeScene), \"missing\")", nullptr},
        {"AIPathGetClosestTime(NullPath, Vector(0.0, 0.0, 0.0))", nullptr},
        {"AIPathGetClosestTime(SceneFindAIPath(g_scene, \"patrol\"), Vector(0.0, 0.0, 0.0))", nullptr},
        {"SceneLoadAIPath(TestNullHandle(EngineTypeScene), g_data + \"paths.zml\")", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        log.lines.clear();
        std::string error;
        ASSERT_TRUE(RunText(c.script, &error)) << error;
        if (c.line == nullptr) {
            EXPECT_TRUE(log.lines.empty()) << log.lines.front();
        } else {
            EXPECT_EQ(1u, LogCount(c.line));
        }
    }
}

TEST_F(MotionAIScriptTest, LoadingAppendsPaths)
{
    ASSERT_TRUE(RunText("SceneLoadAIPath(g_scene, g_data + \"paths.zml\");"));
    EXPECT_EQ(5, scene->aiWorld.GetPathCount());
    ASSERT_TRUE(RunText("SceneLoadAIPath(g_scene, g_data + \"paths.zml\");"));
    EXPECT_EQ(10, scene->aiWorld.GetPathCount());
    // A file that is not there loads nothing and the script goes on.
    ASSERT_TRUE(RunText("SceneLoadAIPath(g_scene, g_data + \"no_such_file.zml\");"));
    EXPECT_EQ(10, scene->aiWorld.GetPathCount());
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    EXPECT_TRUE(master.IsOk());
}

// Handles the script still holds after the scene deleted its paths find
// nothing instead of reaching freed memory.
TEST_F(MotionAIScriptTest, HandlesOfDeletedPathsGoStale)
{
    std::string error;
    // The script reports what it saw as its error text.
    ASSERT_FALSE(RunText("SceneLoadAIPath(g_scene, g_data + \"paths.zml\");\n"
                        "path <- SceneFindAIPath(g_scene, \"patrol\");\n"
                        "motion <- AIPathGetMotion(path);\n"
                        "TestClearScene();\n"
                        "local result = [ObjectIsValid(path), ObjectIsValid(motion), MotionGetName(motion),\n"
                        "                MotionGetLength(motion), MotionEvaluatePosition(motion, 0.5).x,\n"
                        "                AIPathGetClosestTime(path, Vector(5.0, 3.0, 7.0)),\n"
                        "                AIPathGetClosestPoint(path, Vector(5.0, 3.0, 7.0)).x,\n"
                        "                ObjectIsValid(AIPathGetMotion(path))];\n"
                        "local text = \"\";\n"
                        "foreach (value in result) text += value + \" \";\n"
                        "throw text;\n",
                        &error));
    EXPECT_EQ("false false Null Motion Object 0 0 0 0 false ", error);
    EXPECT_EQ(0, scene->aiWorld.GetPathCount());
}

// Paths the scene read from its file are found by name.
TEST_F(MotionAIScriptTest, PathsOfTheSceneFile)
{
    ASSERT_TRUE(scene->FromMetaFileStoreGroup(TAVRIN_TEST_DATA "/script_motion/paths.zml", nullptr,
                                              zScene::LoadPath, 0));
    std::string error;
    ASSERT_FALSE(RunText("local path = SceneFindAIPath(g_scene, \"patrol\");\n"
                         "throw MotionGetName(AIPathGetMotion(path)) + \" \" + AIPathGetClosestTime(path, Vector(5.0, 3.0, 7.0));",
                         &error));
    EXPECT_EQ("patrol 0.5", error);
}

// The channel constants against the ids the motions use.
TEST_F(MotionAIScriptTest, ChannelConstants)
{
    const std::pair<const char*, int> constants[] = {
        {"ChannelNone", ChannelNone},
        {"ChannelOrientation", ChannelOrientation},
        {"ChannelXPos", ChannelPositionX},
        {"ChannelYPos", ChannelPositionY},
        {"ChannelZPos", ChannelPositionZ},
        {"ChannelXRot", ChannelRotationX},
        {"ChannelYRot", ChannelRotationY},
        {"ChannelZRot", ChannelRotationZ},
        {"ChannelXScl", ChannelScaleX},
        {"ChannelYScl", ChannelScaleY},
        {"ChannelZScl", ChannelScaleZ},
        {"ChannelQuat", ChannelQuaternion},
        {"ChannelXPiv", ChannelPivotX},
        {"ChannelYPiv", ChannelPivotY},
        {"ChannelZPiv", ChannelPivotZ},
        {"ChannelRDif", ChannelDiffuseR},
        {"ChannelGDif", ChannelDiffuseG},
        {"ChannelBDif", ChannelDiffuseB},
        {"ChannelRSpc", ChannelSpecularR},
        {"ChannelGSpc", ChannelSpecularG},
        {"ChannelBSpc", ChannelSpecularB},
        {"ChannelDiffuseIntensity", ChannelDiffuseI},
        {"ChannelSpecularIntensity", ChannelSpecularI},
        {"ChannelConeAngle", ChannelConeAngle},
        {"ChannelEdgeAngle", ChannelEdgeAngle},
        {"ChannelAlpha", ChannelAlpha},
        {"ChannelZoomFactor", ChannelZoom},
        {"ChannelRange", ChannelRange},
        {"ChannelFogStart", ChannelFogStart},
        {"ChannelFogEnd", ChannelFogEnd},
        {"ChannelRFog", ChannelFogR},
        {"ChannelGFog", ChannelFogG},
        {"ChannelBFog", ChannelFogB},
    };
    int expected = 0;
    for (const auto& [name, id] : constants) {
        SCOPED_TRACE(name);
        // The list runs through the ids in order, so every id has a name.
        EXPECT_EQ(expected++, id);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
        SQInteger value = -1;
        EXPECT_EQ(OT_INTEGER, sq_gettype(v, -1));
        sq_getinteger(v, -1, &value);
        EXPECT_EQ(id, value);
        sq_pop(v, 2);
    }
    EXPECT_EQ(int(ChannelIdCount), expected);
}

// Every function fetches its handles with their own kind: any other kind
// prints the call stack and leaves the VM suspended, and nothing after the
// call runs.
TEST(MotionAIWrongKind, SuspendsTheVM)
{
    struct Case {
        const char* call;
        const char* message;
    };
    const Case cases[] = {
        {"MotionGetName(TestHandle(EngineTypePath))", "Expected 'Motion' (27), got 'Path' (29)."},
        {"MotionGetLength(TestHandle(EngineTypeScene))", "Expected 'Motion' (27), got 'Scene' (8)."},
        {"MotionEvaluatePosition(TestHandle(EngineTypeItem), 1.0)", "Expected 'Motion' (27), got 'Item' (23)."},
        {"SceneLoadAIPath(TestHandle(EngineTypePath), \"x.zml\")", "Expected 'Scene' (8), got 'Path' (29)."},
        {"SceneFindAIPath(TestHandle(EngineTypeMotion), \"patrol\")", "Expected 'Scene' (8), got 'Motion' (27)."},
        {"SceneAIPathFind(TestNullHandle(EngineTypeProject), \"patrol\")",
         "Expected 'Scene' (8), got 'Project' (4)."},
        {"AIPathGetMotion(TestHandle(EngineTypeScene))", "Expected 'Path' (29), got 'Scene' (8)."},
        {"AIPathGetClosestPoint(TestHandle(EngineTypeMotion), Vector())", "Expected 'Path' (29), got 'Motion' (27)."},
        {"AIPathGetClosestTime(TestNullHandle(EngineTypeMotion), Vector())",
         "Expected 'Path' (29), got 'Motion' (27)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        LogCapture log;
        zScriptMaster master;
        ASSERT_TRUE(master.StartVM());
        HSQUIRRELVM v = master.GetVM();
        SqRegisterBindings(v);
        RegisterTestFunctions(v);
        const std::string source = std::string("reached <- false;\n") + c.call + ";\nreached = true;\n";
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, source.c_str(), SQInteger(source.size()), "case", SQTrue)));
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQFalse);
        EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
        EXPECT_TRUE(log.Contains(std::string("Script call stack (") + c.message + "):")) << c.message;
        sq_pushroottable(v);
        sq_pushstring(v, "reached", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
        SQBool reached = SQTrue;
        sq_getbool(v, -1, &reached);
        EXPECT_FALSE(reached);
        master.StopVM();
    }
}

} // namespace
