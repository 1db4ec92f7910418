#include "SceneTestSupport.h"

#include "script/ScriptTestSupport.h"
#include "script/SqSafePtr.h"
#include "ui/zSizer.h"
#include "ui/zUIScriptHandler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A 2D scene whose script unit and handlers run in a real VM.
class ScriptEvents : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        GlobalSearchPathList.Add(zString(TAVRIN_BUILD_DATA));
        ASSERT_TRUE(zScene2D::OpenFontSystem());
        GlobalFrameDelta = 0;
        renderer = std::make_unique<RecordingRenderer>(&core, 1280.0f, 960.0f);
        scene = std::make_unique<zScene2D>(&core, &master, &input);
    }
    void TearDown() override
    {
        scene.reset();
        renderer.reset();
        zScene2D::CloseFontSystem();
        GlobalSearchPathList.Clear();
    }

    // A root-table value as text ("" when absent).
    std::string Global(const char* name)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        std::string out;
        if (SQ_SUCCEEDED(sq_get(v, -2))) {
            sq_tostring(v, -1);
            const SQChar* text = nullptr;
            sq_getstring(v, -1, &text);
            out = text != nullptr ? text : "";
        }
        sq_settop(v, top);
        return out;
    }

    // A closure compiled from source, held with a strong reference.
    HSQOBJECT Closure(const char* source)
    {
        HSQOBJECT object;
        sq_resetobject(&object);
        const std::string body = std::string("return ") + source;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, body.c_str(), SQInteger(body.size()), "handler", SQTrue)));
        sq_pushroottable(v);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
        sq_getstackobj(v, -1, &object);
        sq_addref(v, &object);
        sq_pop(v, 2);
        return object;
    }

    void Frame(int32_t x, int32_t y, bool left = false)
    {
        input.x = x;
        input.y = y;
        input.down.clear();
        if (left)
            input.down.insert(VK_LBUTTON);
        scene->Render();
    }

    Tavrin core;
    FakeInputSource input;
    std::unique_ptr<RecordingRenderer> renderer;
    std::unique_ptr<zScene2D> scene;
};

TEST_F(ScriptEvents, SceneUnitGetsSetupResetAndUpdateWithItsHandle)
{
    dir.Write("hud.nut", "class Hud {\n"
                         "  function OnSetup(ui) { ::setup <- typeof ui; }\n"
                         "  function OnReset(ui) { ::reset <- 1; }\n"
                         "  function OnUpdate(ui) { ::updates <- (\"updates\" in getroottable() ? ::updates : 0) + 1; }\n"
                         "}\n");
    scene->Script = "hud.nut";
    scene->Class = "Hud";
    ASSERT_TRUE(scene->Setup());
    EXPECT_EQ(Global("setup"), "userdata");
    scene->Reset();
    EXPECT_EQ(Global("reset"), "1");
    scene->Render();
    scene->Render();
    EXPECT_EQ(Global("updates"), "2");
}

TEST_F(ScriptEvents, MissingCallbacksAreSkipped)
{
    dir.Write("bare.nut", "class Bare {}\n");
    scene->Script = "bare.nut";
    scene->Class = "Bare";
    ASSERT_TRUE(scene->Setup());
    scene->Reset();
    scene->Render();
    EXPECT_EQ(Count("Function call failed"), 0u);
}

TEST_F(ScriptEvents, ClickHandlerReceivesTheEventAndItsTable)
{
    const float position[2] = {100, 100};
    const float size[2] = {200, 100};
    auto* window = new zWindow(scene.get(), nullptr, 1, "Panel", position, size);
    auto* row = new zHorizontalSizer(scene.get(), 10);
    auto* button = new zSpacerWidget(scene.get(), 42);
    row->AddWidget(button);
    window->SetBaseWidget(row);
    scene->SetCursor("ui/ui_check_true.tga");

    HSQOBJECT handler = Closure("function(event, info) { ::seen <- event + \" \" + info.id + \" \" + "
                                "typeof info.widget + \" \" + info.cursor_id + \" \" + info.left_down + \" \" + "
                                "(info.x > 140 && info.x < 160) + \" \" + context_value; }");
    HSQOBJECT context = Closure("{ context_value = \"ctx\" }");
    button->handlers.SetHandler(UIEventLeftMouseClick, std::make_shared<zUIScriptHandler>(&master, handler, context));
    HSQOBJECT windowHandler = Closure("function(event, info) { ::moved <- event + \" \" + typeof info.x; }");
    HSQOBJECT none;
    sq_resetobject(&none);
    window->handlers.SetHandler(UIEventMouseEnter, std::make_shared<zUIScriptHandler>(&master, windowHandler, none));
    sq_release(v, &handler);
    sq_release(v, &context);
    sq_release(v, &windowHandler);

    Frame(700, 700);
    Frame(700, 700);
    Frame(150, 150);
    EXPECT_EQ(Global("moved"), "9 float");
    Frame(150, 150, true);
    Frame(150, 150, false);
    EXPECT_EQ(Global("seen"), "0 42 userdata 0 false true ctx");
}

TEST_F(ScriptEvents, NoHandlerRunsAfterARuntimeError)
{
    const float size[2] = {200, 100};
    auto* window = new zWindow(scene.get(), nullptr, 1, "Panel", nullptr, size);
    window->SetPosition(100, 100);
    HSQOBJECT handler = Closure("function(event, info) { ::calls <- (\"calls\" in getroottable() ? ::calls : 0) + 1; }");
    HSQOBJECT none;
    sq_resetobject(&none);
    window->handlers.SetHandler(UIEventMouseEnter, std::make_shared<zUIScriptHandler>(&master, handler, none));
    window->handlers.SetHandler(UIEventMouseLeave, std::make_shared<zUIScriptHandler>(&master, handler, none));
    sq_release(v, &handler);
    scene->SetCursor("ui/ui_check_true.tga");
    Frame(700, 700);
    Frame(700, 700);
    Frame(150, 150);
    EXPECT_EQ(Global("calls"), "1");
    master.SetOk(false);
    Frame(700, 700);
    master.SetOk(true);
    EXPECT_EQ(Global("calls"), "1");
}

} // namespace
