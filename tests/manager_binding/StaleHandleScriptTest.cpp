// Handles whose objects are gone, through the engine's VM on a real scene:
// tests/data/script_scene/stale_handles.nut makes handles of every family
// (items and their kinds, motions, windows and widgets, resources, sounds,
// script instances) and deletes their objects. A stale handle of the kind a
// function takes does nothing and gives the function's neutral result, the
// same as an empty handle where the function takes one, and the run goes on;
// a stale handle of another kind is refused as any wrong kind is.
#include "SceneScriptFixture.h"

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/sound/zSound.h"
#include "project/zProject.h"

#include <cctype>
#include <fstream>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

Tavrin* testCore = nullptr;

SQInteger TestEngine(HSQUIRRELVM v)
{
    SqPushSafePtr(v, testCore, SqPtrEngine);
    return 1;
}

// TestGeometry(name, material): a geometry in the core's set with one material.
SQInteger TestGeometry(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    const SQChar* material = nullptr;
    sq_getstring(v, 2, &name);
    sq_getstring(v, 3, &material);
    zGeometry* geometry = zGeometry::New(testCore, name);
    geometry->AllocateMaterials(1, true);
    geometry->materials[0]->name = material;
    SqPushSafePtr(v, geometry, SqPtrGeometry);
    return 1;
}

SQInteger TestSound(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    SqPushSafePtr(v, zSound::New(testCore, name), SqPtrSound);
    return 1;
}

// A handle to a scene, and one to a project, deleted since.
SQInteger TestGoneScene(HSQUIRRELVM v)
{
    zScene* scene = new zScene(testCore, nullptr);
    SqPushSafePtr(v, scene, SqPtrScene);
    delete scene;
    return 1;
}

SQInteger TestGoneProject(HSQUIRRELVM v)
{
    zProject* project = new zProject(testCore);
    SqPushSafePtr(v, project, SqPtrProject);
    delete project;
    return 1;
}

class StaleHandleFixture : public SceneScriptTest {
protected:
    void SetUp() override
    {
        SceneScriptTest::SetUp();
        testCore = &core;
        SqRegisterFunction(v, TestEngine, "TestEngine", "x|t");
        SqRegisterFunction(v, TestGeometry, "TestGeometry", "x|tss");
        SqRegisterFunction(v, TestSound, "TestSound", "x|ts");
        SqRegisterFunction(v, TestGoneScene, "TestGoneScene", "x|t");
        SqRegisterFunction(v, TestGoneProject, "TestGoneProject", "x|t");
        std::string error;
        ASSERT_TRUE(RunFile("stale_handles.nut", &error)) << error;
        setupLines = log.lines.size();
    }
    void TearDown() override
    {
        testCore = nullptr;
        SceneScriptTest::TearDown();
    }

    bool RunFile(const char* name, std::string* error)
    {
        std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/script_scene/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return RunText(text.str(), error);
    }

    // The error and warning lines logged since set-up.
    std::string Complaints() const
    {
        std::string out;
        for (size_t i = setupLines; i < log.lines.size(); ++i) {
            if (log.lines[i].rfind("[!] ", 0) == 0 || log.lines[i].rfind("[*] ", 0) == 0 ||
                log.lines[i].find("Script call stack") != std::string::npos)
                out += log.lines[i];
        }
        return out;
    }

    size_t setupLines = 0;
};

struct StaleCase {
    const char* name;
    // A script expression over a handle named H.
    const char* call;
    // The global holding the stale handle, and the kind of that handle.
    const char* handle;
    const char* kind;
    const char* result;
    // A line the function logs for an empty handle, and so for a stale one;
    // empty where it logs nothing.
    const char* log = "";
    // The function ends the run on an empty handle of its kind (it takes none);
    // only the stale handle is tried.
    bool refusesEmpty = false;
};

void PrintTo(const StaleCase& c, std::ostream* out)
{
    *out << c.name;
}

class StaleHandle : public StaleHandleFixture, public ::testing::WithParamInterface<StaleCase> {
protected:
    std::string Try(const std::string& handle)
    {
        const std::string call = std::regex_replace(GetParam().call, std::regex("\\bH\\b"), handle);
        const std::string result = Eval("S(" + call + ")");
        EXPECT_NE(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v)) << call << " ended the run";
        return result;
    }
};

TEST_P(StaleHandle, DoesNothingAndGivesTheNeutralResult)
{
    const StaleCase& c = GetParam();
    ASSERT_TRUE(Eval(std::string("ObjectIsValid(") + c.handle + ")") == "false") << c.handle << " is not stale";
    std::vector<std::string> handles = {c.handle};
    if (!c.refusesEmpty)
        handles.push_back(std::string("TestNullHandle(") + c.kind + ")");
    for (const std::string& handle : handles) {
        SCOPED_TRACE(handle);
        setupLines = log.lines.size();
        EXPECT_EQ(c.result, Try(handle));
        const std::string complaints = Complaints();
        if (*c.log == '\0')
            EXPECT_EQ("", complaints);
        else
            EXPECT_EQ(std::string("[!] ") + c.log + "\n", std::regex_replace(complaints, std::regex(R"( \([^ ()]+:[0-9]+\))"), ""));
    }
}

const StaleCase kStaleCases[] = {
    // Items and their kinds.
    {"ItemGetType", "ItemGetType(H)", "item", "EngineTypeItem", "0"},
    {"ItemGetName", "ItemGetName(H)", "item", "EngineTypeItem", "0x0: Item pointer is null."},
    {"ItemGetPosition", "ItemGetPosition(H)", "item", "EngineTypeItem", "-1,-1,-1"},
    {"ItemSetPosition", "ItemSetPosition(H, Vector(1.0, 2.0, 3.0))", "item", "EngineTypeItem", "-"},
    {"ItemCompare", "ItemCompare(H, live_item)", "item", "EngineTypeItem", "false"},
    {"ItemDerivedCastToItem", "ItemDerivedCastToItem(H)", "light", "EngineTypeLight", "handle empty"},
    {"ItemCastToLight", "ItemCastToLight(H)", "item", "EngineTypeItem", "handle empty", "", true},
    {"ItemCastToCamera", "ItemCastToCamera(H)", "item", "EngineTypeItem", "handle empty", "", true},
    {"ItemSetPhysicPosition", "ItemSetPhysicPosition(H, Vector(1.0, 2.0, 3.0))", "item", "EngineTypeItem", "-"},
    {"ItemApplyLinearForce", "ItemApplyLinearForce(H, Vector(1.0, 2.0, 3.0))", "item", "EngineTypeItem", "-"},
    {"ItemSetLink", "ItemSetLink(live_item, H)", "item", "EngineTypeItem", "-"},
    {"LightGetItem", "LightGetItem(H)", "light", "EngineTypeLight", "handle empty"},
    {"LightSetDiffuseIntensity", "LightSetDiffuseIntensity(H, 0.5)", "light", "EngineTypeLight", "-"},
    {"CameraGetFov", "CameraGetFov(H)", "camera", "EngineTypeCamera", "-1"},
    {"CameraSetFov", "CameraSetFov(H, 1.0)", "camera", "EngineTypeCamera", "-", "CameraSetFov Item is NULL."},
    {"ObjectGetGeometry", "ObjectGetGeometry(H)", "object", "EngineTypeObject", "handle empty"},
    {"ObjectStopAllSkinMotion", "ObjectStopAllSkinMotion(H)", "object", "EngineTypeObject", "-"},
    // Motions.
    {"MotionGetName", "MotionGetName(H)", "motion", "EngineTypeMotion", "Null Motion Object"},
    {"MotionGetLength", "MotionGetLength(H)", "motion", "EngineTypeMotion", "0"},
    {"ItemMotionSlotSet", "ItemMotionSlotSet(live_item, 0, H, 0.0, 1.0, 0.0, 1.0)", "motion", "EngineTypeMotion",
     "-"},
    // Windows and widgets: the window deleted with its tree.
    {"WindowShow", "WindowShow(H, true)", "window", "EngineTypeWindow", "-"},
    {"WindowGetRect", "WindowGetRect(H)", "window", "EngineTypeWindow", "-1,-1,-1,-1"},
    {"WindowGetTitle", "WindowGetTitle(H)", "window", "EngineTypeWindow", "NoTitle"},
    {"UIDeleteWindow", "UIDeleteWindow(ui, H)", "window", "EngineTypeWindow", "-"},
    {"WindowSetBaseWidget", "WindowSetBaseWidget(live_window, H)", "sizer", "EngineTypeBaseSizer", "-", "", true},
    {"WidgetSetHidden", "WidgetSetHidden(H, true)", "root", "EngineTypeWidget", "-", "", true},
    {"WidgetIsHidden", "WidgetIsHidden(H)", "root", "EngineTypeWidget", "false", "", true},
    {"WidgetGetRect", "WidgetGetRect(H)", "text", "EngineTypeTextWidget", "-1,-1,-1,-1", "", true},
    {"WidgetSetHAlign", "WidgetSetHAlign(H, 1)", "check", "EngineTypeCheckWidget", "-", "", true},
    {"WidgetSetVAlign", "WidgetSetVAlign(H, 1)", "check", "EngineTypeCheckWidget", "-", "", true},
    {"WidgetSetSensitive", "WidgetSetSensitive(H, false)", "sizer", "EngineTypeBaseSizer", "-", "", true},
    {"WidgetSetFormattingSize", "WidgetSetFormattingSize(H, 1.0, 2.0)", "container", "EngineTypeContainerWidget", "-",
     "", true},
    {"WidgetSetEventHandler", "WidgetSetEventHandler(H, EventMouseEnter, function(w) {})", "text",
     "EngineTypeTextWidget", "-", "", true},
    {"WidgetSetEventHandlerWithContext", "WidgetSetEventHandlerWithContext(H, EventMouseEnter, {}, function(w) {})",
     "text", "EngineTypeTextWidget", "-", "", true},
    {"CastToWidget", "CastToWidget(H)", "check", "EngineTypeCheckWidget", "handle empty", "", true},
    {"SizerAddWidget", "SizerAddWidget(live_sizer, H)", "text", "EngineTypeTextWidget", "handle empty", "", true},
    {"SizerAddWidget into a stale sizer", "SizerAddWidget(H, UIAddSpacerWidget(ui, 20))", "sizer",
     "EngineTypeBaseSizer", "handle empty"},
    {"ContainerAddWidget", "ContainerAddWidget(live_container, H, 0.0, 0.0, 10.0, 10.0)", "check",
     "EngineTypeCheckWidget", "handle empty", "", true},
    {"ContainerWidgetSetPosition", "ContainerWidgetSetPosition(live_container, H, 1.0, 1.0)", "text",
     "EngineTypeTextWidget", "-", "", true},
    {"ContainerAddWidget to a stale container",
     "ContainerAddWidget(H, UIAddSpacerWidget(ui, 21), 0.0, 0.0, 10.0, 10.0)", "container",
     "EngineTypeContainerWidget", "handle empty"},
    {"WidgetToText", "WidgetToText(H)", "root", "EngineTypeWidget", "handle empty"},
    {"TextSetText", "TextSetText(H, \"more\")", "text", "EngineTypeTextWidget", "-"},
    {"CheckWidgetGetState", "CheckWidgetGetState(H)", "check", "EngineTypeCheckWidget", "false"},
    {"CheckWidgetSetState", "CheckWidgetSetState(H, false)", "check", "EngineTypeCheckWidget", "-"},
    // Resources.
    {"TextureGetPicture", "TextureGetPicture(H)", "texture", "EngineTypeTexture", "handle empty"},
    {"TextureUpdate", "TextureUpdate(H)", "texture", "EngineTypeTexture", "-"},
    {"EngineDeleteTexture", "EngineDeleteTexture(engine, H)", "texture", "EngineTypeTexture", "-"},
    {"GeometryGetName", "GeometryGetName(H)", "geometry", "EngineTypeGeometry", "INVALID GEOMETRY POINTER"},
    {"GeometryGetMaterialFromIndex", "GeometryGetMaterialFromIndex(H, 0)", "geometry", "EngineTypeGeometry",
     "handle empty"},
    {"ObjectSetGeometry", "ObjectSetGeometry(ItemCastToObject(live_item), H)", "geometry", "EngineTypeGeometry", "-"},
    {"MaterialGetName", "MaterialGetName(H)", "material", "EngineTypeMaterial", "NULL_Material"},
    {"MaterialSetDiffuse", "MaterialSetDiffuse(H, Vector(1.0, 0.0, 0.0, 1.0))", "material", "EngineTypeMaterial",
     "-"},
    // Sounds.
    {"SoundGetDuration", "SoundGetDuration(H)", "sound", "EngineTypeSound", "0"},
    // Script instances and scripts.
    {"ItemGetScriptInstance", "ItemGetScriptInstance(H)", "item", "EngineTypeItem", "-", "", true},
    {"ItemSetScript", "ItemSetScript(H, \"other.nut\", \"Other\")", "item", "EngineTypeItem", "-"},
    {"SceneGetScriptInstance", "SceneGetScriptInstance(H)", "TestGoneScene()", "EngineTypeScene", "-", "", true},
    {"SceneSetScript", "SceneSetScript(H, \"other.nut\", \"Other\")", "TestGoneScene()", "EngineTypeScene", "-"},
    {"ProjectGetScriptInstance", "ProjectGetScriptInstance(H)", "TestGoneProject()", "EngineTypeProject", "-",
     "", true},
    {"ProjectEnd", "ProjectEnd(H)", "TestGoneProject()", "EngineTypeProject", "-"},
};

INSTANTIATE_TEST_SUITE_P(Families, StaleHandle, ::testing::ValuesIn(kStaleCases),
                         [](const ::testing::TestParamInfo<StaleCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != '\0'; ++p)
                                 name += std::isalnum(uint8_t(*p)) ? *p : '_';
                             return name;
                         });

// A stale handle of another kind than the function takes is refused like any
// handle of the wrong kind: the call stack names both kinds (or, where any
// widget is taken, the unknown sub-class), and nothing after the call runs.
struct WrongStaleCase {
    const char* name;
    const char* call;
    const char* message;
};

void PrintTo(const WrongStaleCase& c, std::ostream* out)
{
    *out << c.name;
}

class StaleHandleOfAnotherKind : public StaleHandleFixture,
                                 public ::testing::WithParamInterface<WrongStaleCase> {};

TEST_P(StaleHandleOfAnotherKind, EndsTheRunWithTheBindingError)
{
    const WrongStaleCase& c = GetParam();
    std::string error;
    RunText(std::string("reached <- false;\n") + c.call + ";\nreached = true;\n", &error);
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    const std::string message(c.message);
    if (message.rfind("Expected ", 0) == 0)
        EXPECT_TRUE(log.Contains("Script call stack (" + message + "):")) << Complaints();
    else
        EXPECT_TRUE(log.Contains(message)) << Complaints();
    sq_pushroottable(v);
    sq_pushstring(v, "reached", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    SQBool reached = SQTrue;
    sq_getbool(v, -1, &reached);
    sq_pop(v, 2);
    EXPECT_FALSE(reached);
}

const WrongStaleCase kWrongStaleCases[] = {
    {"item_for_light", "LightSetDiffuseIntensity(item, 0.5)", "Expected 'Light' (26), got 'Item' (23)."},
    {"light_for_item", "ItemGetName(light)", "Expected 'Item' (23), got 'Light' (26)."},
    {"motion_for_item", "ItemGetType(motion)", "Expected 'Item' (23), got 'Motion' (27)."},
    {"item_for_motion", "MotionGetName(item)", "Expected 'Motion' (27), got 'Item' (23)."},
    {"window_for_any_widget", "WidgetSetHidden(window, true)", "unknown widget sub-class."},
    {"window_for_base_widget", "WindowSetBaseWidget(live_window, window)", "unknown widget sub-class."},
    {"widget_for_window", "WindowShow(root, true)", "Expected 'Window' (12), got 'Widget' (13)."},
    {"check_for_text", "TextSetText(check, \"x\")", "Expected 'Text Widget' (18), got 'Check Widget' (20)."},
    {"texture_for_geometry", "GeometryGetName(texture)", "Expected 'Geometry' (32), got 'Texture' (31)."},
    {"material_for_texture", "TextureGetPicture(material)", "Expected 'Texture' (31), got 'Material' (33)."},
    {"sound_for_texture", "TextureUpdate(sound)", "Expected 'Texture' (31), got 'Sound' (30)."},
    {"texture_for_sound", "SoundGetDuration(texture)", "Expected 'Sound' (30), got 'Texture' (31)."},
    {"object_for_script_instance", "ItemGetScriptInstance(object)", "Expected 'Item' (23), got 'Object' (25)."},
    {"item_for_scene_script", "SceneGetScriptInstance(item)", "Expected 'Scene' (8), got 'Item' (23)."},
};

INSTANTIATE_TEST_SUITE_P(Families, StaleHandleOfAnotherKind, ::testing::ValuesIn(kWrongStaleCases),
                         [](const ::testing::TestParamInfo<WrongStaleCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
