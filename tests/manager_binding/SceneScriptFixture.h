// The engine's VM with every binding registered and a real scene read from
// tests/data/script_scene/<file>, for the case tables of the scene-side
// script families. Scripts see the scene as "g_scene" and get:
//   TestItem(name)        the scene's item of that name as an Item handle;
//   TestNullHandle(kind)  a handle of that kind without an object;
//   TestHandle(kind)      a handle of that kind to an object that is none of
//                         the engine's (only good for being refused);
//   g_data                the folder of the scene-side test data.
#pragma once

#include "MathScriptFixture.h"

#include "core/zad/Tavrin.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "support/LogCapture.h"

#include <memory>
#include <string>

namespace scenescript {

inline zScene* currentScene = nullptr;
inline int handleTarget = 0;

inline SQInteger TestItem(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    SqPushSafePtr(v, currentScene != nullptr ? currentScene->Find(name) : nullptr, SqPtrItem);
    return 1;
}

inline SQInteger TestNullHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, nullptr, int32_t(kind));
    return 1;
}

inline SQInteger TestHandle(HSQUIRRELVM v)
{
    SQInteger kind = 0;
    sq_getinteger(v, 2, &kind);
    SqPushSafePtr(v, &handleTarget, int32_t(kind));
    return 1;
}

inline void RegisterTestFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, TestItem, "TestItem", "x|ts");
    SqRegisterFunction(v, TestNullHandle, "TestNullHandle", "x|ti");
    SqRegisterFunction(v, TestHandle, "TestHandle", "x|ti");
    sq_pushroottable(v);
    sq_pushstring(v, "g_data", -1);
    sq_pushstring(v, TAVRIN_TEST_DATA "/script_scene/", -1);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

} // namespace scenescript

class SceneScriptTest : public MathScriptTest {
public:
    void SetUp() override
    {
        MathScriptTest::SetUp();
        scene = std::make_unique<zScene>(&core, &master);
        scenescript::currentScene = scene.get();
        ASSERT_TRUE(scene->RegisterScriptGlobals(v));
        scenescript::RegisterTestFunctions(v);
        const std::string path = std::string(TAVRIN_TEST_DATA) + "/script_scene/" + SceneFile();
        ASSERT_TRUE(scene->FromMetaFileStoreGroup(path.c_str(), nullptr, zScene::LoadAll, 0)) << path;
        scene->Setup(false, 1);
        scene->Reset();
    }

    void TearDown() override
    {
        scenescript::currentScene = nullptr;
        scene.reset();
        MathScriptTest::TearDown();
    }

    virtual const char* SceneFile() const { return "items.zml"; }

    zMItem* Item(const char* name) const { return scene->Find(name); }

    // The value the expression leaves, as text ("<error: ...>" when it raises).
    std::string Eval(const std::string& expression)
    {
        std::string error;
        if (!RunText("result <- (" + expression + ").tostring();\n", &error))
            return "<error: " + error + ">";
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "result", -1);
        const SQChar* text = "";
        if (SQ_SUCCEEDED(sq_get(v, -2)))
            sq_getstring(v, -1, &text);
        std::string out = text;
        sq_settop(v, top);
        return out;
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

// Runs each call in a fresh VM with the bindings: the call must print the
// call stack with the message and leave the VM suspended, so that nothing
// after it runs.
struct WrongKindCase {
    const char* call;
    const char* message;
};

inline void ExpectSuspends(const WrongKindCase& c)
{
    SCOPED_TRACE(c.call);
    LogCapture log;
    zScriptMaster master;
    ASSERT_TRUE(master.StartVM());
    HSQUIRRELVM v = master.GetVM();
    SqRegisterBindings(v);
    scenescript::RegisterTestFunctions(v);
    const std::string source = std::string("reached <- false;\n") + c.call + ";\nreached = true;\n";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, source.c_str(), SQInteger(source.size()), "case", SQTrue)));
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQFalse);
    EXPECT_EQ(SQ_VMSTATE_SUSPENDED, sq_getvmstate(v));
    // Handle kinds are reported with the call stack; other refusals by their own line.
    const std::string message(c.message);
    if (message.rfind("Expected ", 0) == 0)
        EXPECT_TRUE(log.Contains("Script call stack (" + message + "):")) << message;
    else
        EXPECT_TRUE(log.Contains(message)) << message;
    sq_pushroottable(v);
    sq_pushstring(v, "reached", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    SQBool reached = SQTrue;
    sq_getbool(v, -1, &reached);
    EXPECT_FALSE(reached);
    master.StopVM();
}
