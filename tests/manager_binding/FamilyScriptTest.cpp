// The picture, metafile, io and device, window-system, window and widget
// families driven by scripts: each script's cases run through the engine's
// VM and their results and log lines are checked against the tables below.
#include "FamilyCaseFixture.h"

#include "framework/filesystem/zIOBaseFS.h"
#include "framework/system/device/zInputDeviceInfo.h"
#include "framework/system/device/zMouseDevice.h"
#include "support/VirtualJoystick.h"
#include "ui/TrueTypeBuilder.h"
#include "ui/zScene2D.h"
#include "ui/zWindow.h"

#include <cstring>
#include <memory>

namespace {

// The 2D scene the interface scripts work on.
zScene2D* testScene = nullptr;
int handleTarget = 0;

// TestUI(): the scene as a Window System handle.
SQInteger TestUI(HSQUIRRELVM v)
{
    SqPushSafePtr(v, testScene, SqPtrWindowSystem);
    return 1;
}

// TestNullHandle(kind): a handle of that kind without an object.
SQInteger TestNullHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, nullptr, int32_t(kind));
    return 1;
}

// TestHandle(kind): a borrowed handle of that kind to an object no function
// may touch (for the wrong-kind cases).
SQInteger TestHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, &handleTarget, int32_t(kind));
    return 1;
}

// TestKind(handle): the handle's kind.
SQInteger TestKind(HSQUIRRELVM v)
{
    sq_pushinteger(v, SqGetSafePtrType(v, 2));
    return 1;
}

// TestFire(window, event): calls the window's handler for the event, as the
// scene does when the mouse makes one.
SQInteger TestFire(HSQUIRRELVM v)
{
    zWindow* window = nullptr;
    SqGetSafePtr(v, 2, &window, SqPtrWindow);
    SQInteger event = 0;
    sq_getinteger(v, 3, &event);
    zUIEventArgs args;
    args.window = window;
    args.isWindowEvent = true;
    sq_pushbool(v, window != nullptr && window->handlers.Call(int32_t(event), args) ? SQTrue : SQFalse);
    return 1;
}

// TestCachePixel(window, x, y): the window's cache pixel packed as
// 0xAARRGGBB (its picture is ARGB32), or -1 outside.
SQInteger TestCachePixel(HSQUIRRELVM v)
{
    zWindow* window = nullptr;
    SqGetSafePtr(v, 2, &window, SqPtrWindow);
    SQInteger x = 0, y = 0;
    sq_getinteger(v, 3, &x);
    sq_getinteger(v, 4, &y);
    const zPicture& picture = window->GetCachePicture();
    if (picture.pixels == nullptr || x < 0 || y < 0 || x >= picture.width || y >= picture.height) {
        sq_pushinteger(v, -1);
        return 1;
    }
    uint32_t value = 0;
    std::memcpy(&value, picture.pixels + (size_t(y) * size_t(picture.width) + size_t(x)) * 4, 4);
    sq_pushinteger(v, SQInteger(value));
    return 1;
}

// TestWindowOrder(): the ids of the scene's windows, back to front.
SQInteger TestWindowOrder(HSQUIRRELVM v)
{
    std::string ids;
    for (zLinkedListEntry* e = testScene->windows.GetFirst(); e != nullptr; e = e->next)
        ids += (ids.empty() ? "" : ",") + std::to_string(static_cast<zWindow*>(e)->id);
    sq_pushstring(v, ids.c_str(), -1);
    return 1;
}

// TestChildCount(widget): how many children a sizer or container holds.
SQInteger TestChildCount(HSQUIRRELVM v)
{
    void* object = nullptr;
    SqGetSafePtr(v, 2, &object, 0);
    sq_pushinteger(v, object != nullptr ? static_cast<zWidget*>(object)->GetChildCount() : -1);
    return 1;
}

// TestDirty(widget): whether the widget waits to be drawn again.
SQInteger TestDirty(HSQUIRRELVM v)
{
    void* object = nullptr;
    SqGetSafePtr(v, 2, &object, 0);
    sq_pushbool(v, object != nullptr && static_cast<zWidget*>(object)->dirty ? SQTrue : SQFalse);
    return 1;
}

class FamilyScript : public FamilyCaseFixture {
protected:
    void SetUp() override
    {
        FamilyCaseFixture::SetUp();
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        ASSERT_TRUE(zScene2D::OpenFontSystem());
        scene = std::make_unique<zScene2D>(nullptr, &master);
        testScene = scene.get();
        Register("TestUI", TestUI, "t");
        Register("TestNullHandle", TestNullHandle, "ti");
        Register("TestHandle", TestHandle, "ti");
        Register("TestKind", TestKind, "tu");
        Register("TestFire", TestFire, "tui");
        Register("TestCachePixel", TestCachePixel, "tuii");
        Register("TestWindowOrder", TestWindowOrder, "t");
        Register("TestChildCount", TestChildCount, "tu");
        Register("TestDirty", TestDirty, "tu");
    }
    void TearDown() override
    {
        scene.reset();
        testScene = nullptr;
        zScene2D::CloseFontSystem();
        FamilyCaseFixture::TearDown();
    }

    std::unique_ptr<zScene2D> scene;
};

TEST_F(FamilyScript, Pictures)
{
    // 16 units per em and an ascender of -32768: lines of -2,097,152 pixels
    // at 1024 pixels.
    TrueTypeFontSpec negative;
    negative.unitsPerEm = 16;
    negative.ascender = -32768;
    negative.descender = 0;
    TrueTypeGlyphSpec glyph;
    glyph.codePoint = 'A';
    glyph.advance = 8;
    glyph.contours = {TrueTypeSquare(8)};
    negative.glyphs.push_back(glyph);
    dir.Write("negative_ascender.ttf", BuildTrueType(negative));
    RunCases("picture.nut");
    CheckAll({
        {"new_is_empty", "0,0,0,0"},
        {"alloc_gives_rect", "true 0,0,8,4"},
        {"fill_then_sample", "1,0,0,1"},
        {"fill_rect_clips", "0,1,0,1 0,0,0,0 0,0,0,0"},
        {"set_pixel_clips", "1 0,0,1,1"},
        {"get_pixel_null", "0,0,0,1"},
        {"line_on_tiny_picture", "0"},
        {"line_draws", "true"},
        {"blit_whole", "1,0,0,1 0,0,0,0"},
        {"blit_rect", "0,0,0,0 1,0,0,1 0,0,0,0"},
        {"convolution_too_big", "false", "Convolution kernel too big (33x32), max 32x32."},
        {"convolution_negative", "false", "Invalid convolution kernel size (-3x-3)."},
        {"convolution_short_kernel", "true 1,0,0,1"},
        {"tga_round_trip", "true true 0,0,3,2 0,0,1,1 1,1,1,1"},
        {"tga_empty_refused", "false", "Cannot save a picture of 0x0 pixels as TGA."},
        {"colour_of_wrong_class", "error: invalid instance type"},
        {"text_render", "true"},
        {"text_heading_far_above", "66 66"},
        {"text_negative_line_height", "true 0", "Font 'negative_ascender.ttf' loaded as 'negative_ascender'."},
        {"resize", "0,0,8,2"},
        {"released_with_handle", "done", "Garbage collected: Picture."},
        {"blend_constants", "0 1 8"},
    });
}

TEST_F(FamilyScript, Metafiles)
{
    dir.Write("shortcut.zml", "<ZML=1.0>\n<L=@\"Target;\">\n<Target=<Leaf=7>>\n<N=<S=@\"Target;\">>\n");
    RunCases("metafile.nut");
    CheckAll({
        {"build_and_query", "5 2.5 text 1 1 null"},
        {"value_of_wrong_type", "null", "Cannot convert input Squirrel type to metatag value."},
        {"value_of_node", "-1", "Cannot get value from tag 'Root'. Unsupported type."},
        {"set_bool_on_string", "3 1"},
        {"null_tag", "-2 [Invalid Tag Pointer] 0"},
        {"set_null_tag", "done", "Cannot set NULL metatag value."},
        {"set_unsupported", "done", "Cannot convert input Squirrel type to metatag value."},
        {"save_and_load", "true true Root 5 null 3"},
        {"failed_load_keeps_tags", "false true 5", "Could not access file 'missing.zml'."},
        {"reload_makes_tags_stale", "true false [Invalid Tag Pointer]"},
        {"tag_outlives_document", "false [Invalid Tag Pointer] -2"},
        {"child_of_integer_refused", "false", "cannot add child to tag 'I' as it is neither a pure tag or a node."},
        {"children_in_order", "A,B,C"},
        {"roots_empty_for_null", "0"},
        {"type_constants", "0 4 7"},
        {"shortcuts", "Target,Target,N S:7 7"},
    });
}

class DeviceScript : public FamilyScript {
protected:
    void SetUp() override
    {
        FamilyScript::SetUp();
        ASSERT_TRUE(InitializeDirectInput(nullptr));
        pad = std::make_unique<VirtualJoystick>("Script Pad", 6, 16, 1);
        ASSERT_TRUE(pad->IsAttached());
        pad->SetButton(0, true);
        pad->SetAxis(0, 32767);
        dir.Write("empty.txt", "");
        dir.Write("full.txt", "x");
        dir.Write("inc.nut", "::included <- (\"included\" in getroottable()) ? ::included + 1 : 1;\n");
        dir.Write("broken.nut", "function (\n");
    }
    void TearDown() override
    {
        pad.reset();
        ShutdownDirectInput();
        FamilyScript::TearDown();
    }
    std::unique_ptr<VirtualJoystick> pad;
};

TEST_F(DeviceScript, FilesIncludesAndDevices)
{
    RunCases("io.nut");
    CheckAll({
        {"file_exists", "false true false"},
        {"include_runs_once", "1 1"},
        {"include_syntax_error", "done", "failed to include 'broken.nut' in VM."},
        {"mouse_and_keyboard_names", "null null None"},
        {"delete_mouse_ignored", "true true", "The program-wide mouse and keyboard devices are not deleted."},
        {"controller_calls_on_keyboard", "false 0"},
        {"device_list", "1 Script Pad 0", "Starting input device enumeration."},
        {"device_by_name", "Script Pad true null", "Starting input device enumeration."},
        {"device_by_index", "true false false", "Starting input device enumeration."},
        {"peek_and_pool", "128 128 128 0", "Starting input device enumeration."},
        {"seek", "true false", "Starting input device enumeration."},
        {"axis_value", "65535", "Starting input device enumeration."},
        {"delete_controller", "false false", "Starting input device enumeration."},
        {"key_constants", "0 38 44 54 20 21 28"},
    });
}

TEST_F(FamilyScript, WindowSystemAndWindows)
{
    RunCases("ui.nut");
    CheckAll({
        {"add_window", "Window 0,0,100,50 10,20,-1 true"},
        {"add_window_on_empty_ui", "false false"},
        {"title", "Settings NoTitle"},
        {"screen_rect_ignores_parent", "5,6,45,36"},
        {"empty_window_defaults", "0 -1,-1,-1,-1 -1,-1,-1 0 false false"},
        {"style_bits", "514 512 0"},
        {"opacity_clamped", "1 0"},
        {"centre", "350,275,-1"},
        {"parent_cycle_refused", "false true"},
        {"order_and_self_moves", "101,102,103 102,103,101 102,103,101 101,102,103 101,102,103 102,101,103"},
        {"event_out_of_range", "false false", "Event 15 is not an event number (0 to 14)."},
        {"handler_kept_and_released", "true true captured false"},
        {"handler_released_with_window", "true false false"},
        {"context_kept", "ctx:0"},
        {"command_list", "false true true"},
        {"delete_window", "true false"},
        {"script_instance", "null"},
        {"fonts", "true true"},
        {"font_same_path_twice", "true true false", "Font 'ui/../default.ttf' loaded as 'default'."},
        {"font_same_name_by_another_path", "true true", "Font 'default.ttf' loaded as 'default'."},
        {"font_path_that_is_a_font_name", "false"},
        {"too_few_arguments", "error: wrong number of parameters"},
        {"integer_where_float_expected", "error: parameter 3 has an invalid type 'integer' ; expected: 'float'"},
        {"constants", "0 0 14 512 5"},
    });
}

TEST_F(FamilyScript, Widgets)
{
    RunCases("widget.nut");
    CheckAll({
        {"tree_and_kinds", "18 13 18 1 true"},
        {"cast_checks_type", "false", "is not a Check Widget"},
        {"second_parent_moves", "0 1 false"},
        {"loop_refused", "false", "would hold its own sizer"},
        {"embedded_label_refused", "false 0", "is part of another widget"},
        {"root_moved_to_sizer", "false 1"},
        {"container_position", "17 4,4,20,10 34,44,50,50"},
        {"container_unknown_widget", "done", "Widget not found in container."},
        {"canvas_into_cache", "true 0xffff0000 0x0"},
        {"hidden_and_align", "true false"},
        {"text_rect", "true"},
        {"text_rect_saturates", "2147483648 2147483648 0"},
        {"text_parameters", "done", "unknown text attribute 'bogus'."},
        {"empty_parameters_keep_clean", "true false true"},
        {"sizer_border", "30,14,34,18 35,14,39,18"},
        {"text_parameters_bad_align", "done", "unknown text alignment command 'middle'."},
        {"check_state", "true false 18"},
        {"canvas_reallocated_by_script", "30,14,34,18 0xffff0000"},
        {"widget_event_out_of_range", "done", "Event 99 is not an event number (0 to 14)."},
        {"screen_position_null", "0,0,0"},
    });
}

// A handle of the wrong kind: the call stack names the kinds, the VM is
// suspended and the rest of the script does not run.
struct zWrongKindCase {
    const char* name;
    const char* code;
    const char* message;
};

void PrintTo(const zWrongKindCase& c, std::ostream* out)
{
    *out << c.name;
}

class WrongKind : public FamilyScript, public ::testing::WithParamInterface<zWrongKindCase> {};

TEST_P(WrongKind, SuspendsTheVM)
{
    const zWrongKindCase& c = GetParam();
    const std::string source = std::string("class Rect { sx = 0; sy = 0; ex = 0; ey = 0; }\n") +
                               "local ui = TestUI();\n" + c.code + ";\nprint(\"after\");\n";
    Load(std::string(c.name) + ".nut", source);
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    EXPECT_EQ(0u, Count("[S] after"));
    EXPECT_EQ(1u, Count(c.message)) << Text();
}

const zWrongKindCase kWrongKinds[] = {
    {"picture", "PictureFill(TestHandle(EngineTypeWindow), Vector(1, 1, 1, 1))", "Expected 'Picture' (21), got 'Window' (12)."},
    {"picture_blit_destination", "PictureBlit(PictureNew(), TestHandle(EngineTypeTexture), 0)", "Expected 'Picture' (21), got 'Texture' (31)."},
    {"metatag", "MetatagGetName(MetafileNew())", "Expected 'Metatag' (37), got 'Metafile' (36)."},
    {"metafile", "MetafileSave(TestHandle(EngineTypeMetatag), \"x.zml\")", "Expected 'Metafile' (36), got 'Metatag' (37)."},
    {"device", "DeviceUpdate(PictureNew())", "Expected 'HID' (39), got 'Picture' (21)."},
    {"window_system", "UIAddWindow(TestHandle(EngineTypeWindow), 1, 0.0, 0.0, 10.0, 10.0)", "Expected 'Window System' (11), got 'Window' (12)."},
    {"window", "WindowShow(ui, true)", "Expected 'Window' (12), got 'Window System' (11)."},
    {"any_widget", "WidgetSetHidden(UIAddWindow(ui, 1, 0.0, 0.0, 10.0, 10.0), true)", "GetWidget unknown widget sub-class."},
    {"sizer", "SizerAddWidget(UIAddSpacerWidget(ui, 1), UIAddSpacerWidget(ui, 2))", "Expected 'Base Sizer' (14), got 'Spacer Widget' (16)."},
    {"text", "TextSetText(UIAddSpacerWidget(ui, 1), \"x\")", "Expected 'Text Widget' (18), got 'Spacer Widget' (16)."},
    {"cast_source", "WidgetToText(UIAddSpacerWidget(ui, 1))", "Expected 'Widget' (13), got 'Spacer Widget' (16)."},
};

INSTANTIATE_TEST_SUITE_P(Families, WrongKind, ::testing::ValuesIn(kWrongKinds),
                         [](const ::testing::TestParamInfo<zWrongKindCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(FamilyScript, RegistrationPutsTheMouseInAbsoluteMode)
{
    GlobalMouseDevice.SetAbsoluteMode(false);
    SqRegisterBindings(v);
    EXPECT_TRUE(GlobalMouseDevice.IsAbsoluteMode());
}

TEST_F(FamilyScript, EmptyWidgetHandleSuspendsWithoutUnknownKindLine)
{
    Load("empty_widget.nut", "WidgetSetHidden(TestNullHandle(EngineTypeWidget), true);\nprint(\"after\");\n");
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    EXPECT_EQ(0u, Count("[S] after"));
    EXPECT_EQ(0u, Count("unknown widget sub-class.")) << Text();
}

} // namespace
