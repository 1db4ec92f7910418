// Light, object, camera and group functions through the engine's VM on the
// items and groups of items.zml.
#include "SceneScriptFixture.h"

#include "core/geometry/zGeometry.h"
#include "core/render/zNullRenderer.h"
#include "core/render/zRendererProperty.h"
#include "core/zad/Tavrin.h"

#include <vector>

#include <cmath>

namespace {

zGeometry* testGeometry = nullptr;

zMItem* Named(HSQUIRRELVM v, SQInteger idx)
{
    const SQChar* name = nullptr;
    sq_getstring(v, idx, &name);
    return scenescript::currentScene->Find(name);
}

SQInteger TestGroup(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    SqPushSafePtr(v, scenescript::currentScene->FindGroup(name), SqPtrSceneGroup);
    return 1;
}

SQInteger TestGeometry(HSQUIRRELVM v)
{
    SqPushSafePtr(v, testGeometry, SqPtrGeometry);
    return 1;
}

SQInteger TestLightIntensity(HSQUIRRELVM v)
{
    sq_pushfloat(v, static_cast<zMLight*>(Named(v, 2))->light.diffuseIntensity);
    return 1;
}

SQInteger TestIsQueued(HSQUIRRELVM v)
{
    sq_pushbool(v, scenescript::currentScene->IsQueuedForDeletion(Named(v, 2)));
    return 1;
}

SQInteger TestClipping(HSQUIRRELVM v)
{
    const zCamera& camera = static_cast<zMCamera*>(Named(v, 2))->camera;
    sq_pushstring(v, (std::to_string(camera.zNear) + "," + std::to_string(camera.zFar)).c_str(), -1);
    return 1;
}

SQInteger TestEngine(HSQUIRRELVM v)
{
    SqPushSafePtr(v, scenescript::currentScene->core, SqPtrEngine);
    return 1;
}

SQInteger TestRefAxis(HSQUIRRELVM v)
{
    sq_pushinteger(v, static_cast<zMCamera*>(Named(v, 2))->camera.aspectReferenceX);
    return 1;
}

class SceneItemKindsScriptTest : public SceneScriptTest {
public:
    void SetUp() override
    {
        SceneScriptTest::SetUp();
        geometry = std::make_unique<zGeometry>(&core, "unit_box");
        geometry->bounds = zMinMax(zVector(-0.5f, -0.5f, -0.5f, 1.0f), zVector(0.5f, 0.5f, 0.5f, 1.0f));
        testGeometry = geometry.get();
        SqRegisterFunction(v, TestGroup, "TestGroup", "x|ts");
        SqRegisterFunction(v, TestGeometry, "TestGeometry", "x|t");
        SqRegisterFunction(v, TestLightIntensity, "TestLightIntensity", "x|ts");
        SqRegisterFunction(v, TestIsQueued, "TestIsQueued", "x|ts");
        SqRegisterFunction(v, TestClipping, "TestClipping", "x|ts");
        SqRegisterFunction(v, TestRefAxis, "TestRefAxis", "x|ts");
        SqRegisterFunction(v, TestEngine, "TestEngine", "x|t");
    }
    void TearDown() override
    {
        // Objects let go of the geometry before it goes.
        scenescript::currentScene = nullptr;
        scene.reset();
        testGeometry = nullptr;
        geometry.reset();
        SceneScriptTest::TearDown();
    }
    std::unique_ptr<zGeometry> geometry;
};

TEST_F(SceneItemKindsScriptTest, LightObjectCameraAndGroupFunctions)
{
    RunCases("lights_objects.nut", "script_scene");
    const zVector minusOne(-1.0f, -1.0f, -1.0f, 1.0f);
    CheckAll({
        {"light_item", true},
        {"light_diffuse_intensity", 0.25f},
        {"light_of_null", false},
        {"object_item", true},
        {"cast_light_to_object", false},
        {"cast_null_to_object", false},
        {"object_geometry_none", false},
        {"object_geometry_set", std::string("true,false")},
        {"object_geometry_of_null", false},
        {"item_geometry_of_object", true},
        {"skin_motion_missing_name", true},
        {"add_object", std::string("added,true")},
        {"add_object_to_null_scene", false},
        {"delete_object_is_queued", std::string("true,true")},
        {"global_aspect", 1.5f},
        {"add_camera", 1},
        {"add_camera_to_null_scene", false},
        {"current_camera", true},
        {"current_camera_of_null", false},
        {"set_current_camera", std::string("second,eye")},
        {"camera_item", true},
        {"fov_set", true},
        {"fov_of_null", -1.0f},
        {"clipping", std::string("0.500000,100.000000")},
        {"aspect", 1.25f},
        {"aspect_of_null", -1.0f},
        {"aspect_ref_axis", 0},
        {"null_camera_setters", true},
        {"cull_inside", 1},
        {"cull_behind", 0},
        {"cull_without_geometry", 0},
        {"cull_null_camera", 0},
        {"world_to_screen_ahead", true},
        {"world_to_screen_behind", minusOne},
        {"world_to_screen_null", minusOne},
        {"screen_to_world_null", minusOne},
        {"screen_to_world_centre", true},
        {"group_items", std::string("2:crate,lid")},
        {"group_items_of_null", 0},
        {"group_find", true},
        {"group_find_missing", false},
        {"group_find_of_null", false},
        {"group_member", std::string("true,false")},
        {"group_root", true},
        {"group_root_of_null", false},
        {"group_constraint_missing", false},
        {"group_activate", std::string("false,true")},
        {"group_offset_wrong_class", zScriptError{"invalid instance type"}},
        {"group_null_does_nothing", true},
        {"group_set_motion", std::string("bob")},
        {"group_motion_clock_scale", 0.5f},
    });
    EXPECT_EQ(1u, LogCount("Incorrect cast, item is not an object."));
    EXPECT_EQ(2u, LogCount("Incomplete argument list."));
    EXPECT_EQ(1u, LogCount("CameraSetFov"));
    EXPECT_EQ(1u, LogCount("CameraSetClipping"));
}

// The current renderer is told about a light whose intensity a script sets.
class LightRecordingRenderer : public zNullRenderer {
public:
    explicit LightRecordingRenderer(Tavrin* core) : zNullRenderer(core, false) {}
    void UpdateLight(zLight* light) override { updated.push_back(light); }
    std::vector<zLight*> updated;
};

TEST_F(SceneItemKindsScriptTest, LightIntensityReachesTheRenderer)
{
    LightRecordingRenderer renderer(&core);
    zRenderer* previous = core.renderer;
    core.renderer = &renderer;
    const bool ran = RunText("LightSetDiffuseIntensity(ItemCastToLight(TestItem(\"lamp\")), 0.5);\n"
                             "LightSetDiffuseIntensity(TestNullHandle(EngineTypeLight), 0.5);\n"
                             "__Assert(ObjectIsSame(ItemGetEngine(TestItem(\"lamp\")), TestEngine()), \"engine\");\n");
    core.renderer = previous;
    ASSERT_TRUE(ran);
    auto* lamp = static_cast<zMLight*>(Item("lamp"));
    ASSERT_EQ(1u, renderer.updated.size());
    EXPECT_EQ(&lamp->light, renderer.updated[0]);
    EXPECT_FLOAT_EQ(0.5f, lamp->light.diffuseIntensity);
    EXPECT_FALSE(log.Contains("Assertion failed"));
}

TEST_F(SceneItemKindsScriptTest, CastToCameraOfALightSuspends)
{
    RunText("ItemCastToCamera(TestItem(\"lamp\"));\n");
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    EXPECT_EQ(1u, LogCount("Item is not a camera."));
}

// Lights listed by priority, highest first: a script that changes a light's
// priority reorders the list at once, so the dump and the renderer's light
// queries see the new order without another set-up.
class LightPriorityScriptTest : public SceneScriptTest {
public:
    const char* SceneFile() const override { return "lights.zml"; }

    // The names of the last dump's light list.
    std::vector<std::string> DumpedLights() const
    {
        std::vector<std::string> names;
        bool inList = false;
        for (const std::string& line : log.lines) {
            if (line.find("Light list follows") != std::string::npos) {
                names.clear();
                inList = true;
            } else if (inList && line.rfind("  - ", 0) == 0) {
                std::string name = line.substr(4);
                while (!name.empty() && (name.back() == '\n' || name.back() == ' '))
                    name.pop_back();
                names.push_back(name);
            } else {
                inList = false;
            }
        }
        return names;
    }

    // The lights the renderer's nearest-lights query gets, in its order.
    std::vector<std::string> QueriedLights()
    {
        zRendererPropertyRequest request;
        request.context = scene.get();
        request.maximum = 8;
        EXPECT_TRUE(scene->PropertyCallback(1, request));
        std::vector<std::string> names;
        for (int32_t i = 0; i < request.count; ++i)
            names.push_back(zMItem::FromCoreItem(request.lights[i])->GetName().Get());
        return names;
    }
};

TEST_F(LightPriorityScriptTest, SettingAPriorityReordersTheLights)
{
    using Names = std::vector<std::string>;
    struct Step {
        const char* script;
        Names order;
    };
    const Step steps[] = {
        {"", {"high", "mid", "low"}},
        {"ItemSetPriority(TestItem(\"low\"), 1.0);", {"low", "high", "mid"}},
        {"ItemSetPriority(TestItem(\"low\"), 0.7);", {"high", "low", "mid"}},
        {"ItemSetPriority(TestItem(\"high\"), 0.0);", {"low", "mid", "high"}},
        // An object's priority leaves the lights where they are.
        {"ItemSetPriority(TestItem(\"crate\"), 2.0);", {"low", "mid", "high"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.script);
        std::string error;
        ASSERT_TRUE(RunText(std::string(step.script) + "ScenePrintItemList(g_scene);\n", &error)) << error;
        EXPECT_EQ(step.order, DumpedLights());
        EXPECT_EQ(step.order, QueriedLights());
    }
}

TEST(SceneItemKindsWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"LightGetItem(TestHandle(EngineTypeItem))", "Expected 'Light' (26), got 'Item' (23)."},
        {"LightSetDiffuseIntensity(TestHandle(EngineTypeObject), 1.0)", "Expected 'Light' (26), got 'Object' (25)."},
        {"ObjectGetItem(TestHandle(EngineTypeItem))", "Expected 'Object' (25), got 'Item' (23)."},
        {"ObjectSetGeometry(TestNullHandle(EngineTypeObject), TestHandle(EngineTypeTexture))",
         "Expected 'Geometry' (32), got 'Texture' (31)."},
        {"SceneAddObject(TestHandle(EngineTypeItem), \"x\")", "Expected 'Scene' (8), got 'Item' (23)."},
        {"SceneDeleteObject(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeItem))",
         "Expected 'Object' (25), got 'Item' (23)."},
        {"CameraGetFov(TestHandle(EngineTypeItem))", "Expected 'Camera' (24), got 'Item' (23)."},
        {"SceneSetCurrentCamera(TestNullHandle(EngineTypeScene), TestHandle(EngineTypeObject))",
         "Expected 'Camera' (24), got 'Object' (25)."},
        {"CameraCullObject(TestNullHandle(EngineTypeCamera), TestHandle(EngineTypeItem))",
         "Expected 'Object' (25), got 'Item' (23)."},
        {"ItemCastToCamera(TestNullHandle(EngineTypeItem))", "Item is NULL."},
        {"GroupGetItemList(TestHandle(EngineTypeScene))", "Expected 'Scene Group' (22), got 'Scene' (8)."},
        {"GroupItemIsMember(TestNullHandle(EngineTypeSceneGroup), TestHandle(EngineTypeCamera))",
         "Expected 'Item' (23), got 'Camera' (24)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
