#include "ScriptTestSupport.h"

#include "bfgt/picture/zPicture.h"
#include "script/SqSafePtr.h"
#include "script/zScriptUnit.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// "NeedItem(handle)": fetches an Item; prints what it got.
SQInteger NeedItem(HSQUIRRELVM v)
{
    void* object = nullptr;
    if (!SqGetSafePtr(v, 2, &object, SqPtrItem))
        return sq_suspendvm(v);
    sq_pushbool(v, object != nullptr);
    return 1;
}

int sceneObject = 0;
int itemObject = 0;

// "MakeScene()", "MakeItem()", "MakeNull()": borrowed handles.
SQInteger MakeScene(HSQUIRRELVM v)
{
    SqPushSafePtr(v, &sceneObject, SqPtrScene);
    return 1;
}

SQInteger MakeItem(HSQUIRRELVM v)
{
    SqPushSafePtr(v, &itemObject, SqPtrItem);
    return 1;
}

SQInteger MakeNullItem(HSQUIRRELVM v)
{
    SqPushSafePtr(v, nullptr, SqPtrItem);
    return 1;
}

class SafePtr : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        Register("NeedItem", NeedItem);
        Register("MakeScene", MakeScene);
        Register("MakeItem", MakeItem);
        Register("MakeNullItem", MakeNullItem);
    }

    // Sets a root-table slot to a new handle.
    void SetGlobal(const char* name, const void* object, int32_t type, bool managed)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        SqPushSafePtr(v, object, type, managed);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    bool Run(const std::string& code)
    {
        static int n = 0;
        return Load("run" + std::to_string(n++) + ".nut", code);
    }
};

TEST_F(SafePtr, WrongKindPrintsHeaderAndSuspends)
{
    ASSERT_TRUE(Load("wrong.nut", "function Update() {\n"
                                  "  print(\"before\");\n"
                                  "  NeedItem(MakeScene());\n"
                                  "  print(\"after\");\n"
                                  "}\n"));
    GlobalLog.VerbosityMask = 0;
    EXPECT_FALSE(master.IsSuspended());
    EXPECT_TRUE(Call("Update"));
    EXPECT_TRUE(master.IsSuspended());
    EXPECT_EQ(Text(), "[|] \n"
                      "[|] Script call stack (Expected 'Item' (23), got 'Scene' (8).):\n"
                      "[|]     -> In function Update() ('wrong.nut', Line 3).\n"
                      "[|] \n");
    EXPECT_TRUE(master.IsOk());
}

TEST_F(SafePtr, CallsIntoASuspendedVmBehave)
{
    ASSERT_TRUE(Load("units.nut", "class U {\n"
                                  "  function OnUpdate(owner) { print(\"update \" + NeedItem(owner)); }\n"
                                  "  function Bad(owner) { NeedItem(MakeScene()); print(\"not reached\"); }\n"
                                  "}\n"));
    int owner = 0;
    zScriptUnit unit(&master);
    unit.Script = "units.nut";
    unit.Class = "U";
    unit.SetOwner(&owner, SqPtrItem);
    ASSERT_TRUE(unit.OpenScriptUnit());
    ASSERT_TRUE(unit.SetupFunctionCall("Bad"));
    EXPECT_TRUE(unit.DoFunctionCall(0));
    ASSERT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    const SQInteger top = sq_gettop(v);
    // Ordinary calls still run and leave the stack as they found it.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(unit.SetupFunctionCall("OnUpdate"));
        EXPECT_TRUE(unit.DoFunctionCall(0));
        EXPECT_EQ(sq_gettop(v), top);
    }
    EXPECT_EQ(Count("[S] update true"), 3u);
    // A second wrong kind cannot suspend again: it fails as a runtime error.
    ASSERT_TRUE(unit.SetupFunctionCall("Bad"));
    EXPECT_FALSE(unit.DoFunctionCall(0));
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Count("not reached"), 0u);
    EXPECT_EQ(Count("Error: cannot suspend an already suspended vm"), 1u);
    EXPECT_FALSE(master.IsOk());
    master.StopVM();
}

TEST_F(SafePtr, ValueThatIsNotAHandle)
{
    ASSERT_TRUE(Load("int.nut", "function Update() { NeedItem(5); }\n"));
    EXPECT_TRUE(Call("Update"));
    EXPECT_EQ(Count("[|] Script call stack (Expected typetag, none found.):"), 1u);
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
}

TEST_F(SafePtr, NullAndMatchingHandlesPass)
{
    ASSERT_TRUE(Run("print(NeedItem(MakeNullItem()) + \" \" + NeedItem(MakeItem()));\n"));
    EXPECT_EQ(Text(), "[S] false true\n");
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
}

TEST_F(SafePtr, KindIsReadWithoutChecks)
{
    SqPushSafePtr(v, &sceneObject, SqPtrScene);
    sq_pushinteger(v, 3);
    EXPECT_EQ(SqGetSafePtrType(v, -2), SqPtrScene);
    EXPECT_EQ(SqGetSafePtrType(v, -1), 0);
    void* object = nullptr;
    // Expected kind 0 accepts any handle.
    EXPECT_TRUE(SqGetSafePtr(v, -2, &object, 0));
    EXPECT_EQ(object, &sceneObject);
    sq_pop(v, 2);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(SafePtr, TypeTexts)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0, "Undefined"},        {3, "Resource Manager Set"}, {8, "Scene"},        {23, "Item"},
        {41, "Editor Plugin"},   {43, "Project Layer"},       {44, "Unknown"},     {-1, "Unknown"},
    };
    for (const auto& [type, text] : cases)
        EXPECT_STREQ(SqSafePtrTypeToString(type).c_str(), text) << type;
    EXPECT_EQ(Count("[!] SqSafePtrTypeToString::c_str No matching description string for type 44."), 1u);
    EXPECT_EQ(Count("No matching description string for type -1."), 1u);
}

int deletedScenes = 0;
void CountSceneDelete(void*) { ++deletedScenes; }

TEST_F(SafePtr, ManagedHandleReleasedOnceWhenLastReferenceDrops)
{
    deletedScenes = 0;
    SqSetManagedDeleter(SqPtrScene, CountSceneDelete);
    int scene = 0;
    SetGlobal("held", &scene, SqPtrScene, true);
    ASSERT_TRUE(Run("other <- held;\nheld = null;\nprint(\"dropped one\");\nother = null;\nprint(\"dropped both\");\n"));
    GlobalLog.VerbosityMask = 0;
    sq_collectgarbage(v);
    master.StopVM();
    SqSetManagedDeleter(SqPtrScene, nullptr);
    EXPECT_EQ(Text(), "[S] dropped one\n[|] Garbage collected: Scene.\n[S] dropped both\n");
    EXPECT_EQ(deletedScenes, 1);
}

TEST_F(SafePtr, ManagedPictureIsFreedAndBorrowedLogsNothing)
{
    auto* picture = new zPicture;
    SetGlobal("managed", picture, SqPtrPicture, true);
    zPicture kept;
    SetGlobal("borrowed", &kept, SqPtrPicture, false);
    ASSERT_TRUE(Run("managed = null;\nborrowed = null;\n"));
    // ASan reports the picture if the hook did not free it.
    EXPECT_EQ(Text(), "[|] Garbage collected: Picture.\n");
}

TEST_F(SafePtr, ManagedKindsThatMustNotBeManaged)
{
    int item = 0;
    SetGlobal("a", &item, SqPtrItem, true);
    SetGlobal("b", &item, SqPtrProjectScene, true);
    SetGlobal("c", nullptr, SqPtrPicture, true);
    ASSERT_TRUE(Run("a = null;\nb = null;\nc = null;\n"));
    EXPECT_EQ(Text(), "[|] Garbage collected: Item.\n"
                      "[!] ReleaseUserPointer Low-level error, type 'Item' should not be managed.\n"
                      "[|] Garbage collected: Project Scene.\n"
                      "[|] Garbage collected: Picture.\n");
}

TEST_F(SafePtr, ClosingTheVmReleasesManagedHandles)
{
    deletedScenes = 0;
    SqSetManagedDeleter(SqPtrScene, CountSceneDelete);
    int scene = 0;
    SetGlobal("kept", &scene, SqPtrScene, true);
    master.StopVM();
    SqSetManagedDeleter(SqPtrScene, nullptr);
    EXPECT_EQ(deletedScenes, 1);
    EXPECT_EQ(Count("[|] Garbage collected: Scene."), 1u);
}

TEST_F(SafePtr, InvalidatedObjectsReadAsNull)
{
    auto* first = new int(1);
    SetGlobal("old", first, SqPtrItem, false);
    SqSafePtrInvalidate(first);
    // A new handle for the same address is live; the old one stays stale.
    SetGlobal("fresh", first, SqPtrItem, false);
    ASSERT_TRUE(Run("print(NeedItem(old) + \" \" + NeedItem(fresh));\n"));
    EXPECT_EQ(Text(), "[S] false true\n");
    sq_pushroottable(v);
    sq_pushstring(v, "old", -1);
    sq_get(v, -2);
    EXPECT_FALSE(SqSafePtrIsLive(v, -1));
    void* object = &sceneObject;
    EXPECT_TRUE(SqGetSafePtr(v, -1, &object, SqPtrItem));
    EXPECT_EQ(object, nullptr);
    sq_pop(v, 2);
    delete first;
}

TEST_F(SafePtr, StaleManagedHandleDeletesNothing)
{
    deletedScenes = 0;
    SqSetManagedDeleter(SqPtrScene, CountSceneDelete);
    int scene = 0;
    SetGlobal("owned", &scene, SqPtrScene, true);
    // Deleted by the engine while the script still holds its handle.
    SqSafePtrInvalidate(&scene);
    ASSERT_TRUE(Run("owned = null;\n"));
    SqSetManagedDeleter(SqPtrScene, nullptr);
    EXPECT_EQ(deletedScenes, 0);
    EXPECT_EQ(Count("[|] Garbage collected: Scene."), 1u);
}

TEST_F(SafePtr, ManagedReleaseInvalidatesBorrowedHandles)
{
    SqSetManagedDeleter(SqPtrScene, CountSceneDelete);
    int scene = 0;
    SetGlobal("owned", &scene, SqPtrScene, true);
    SetGlobal("view", &scene, SqPtrScene, false);
    ASSERT_TRUE(Run("owned = null;\n"));
    sq_pushroottable(v);
    sq_pushstring(v, "view", -1);
    sq_get(v, -2);
    EXPECT_FALSE(SqSafePtrIsLive(v, -1));
    sq_pop(v, 2);
    SqSetManagedDeleter(SqPtrScene, nullptr);
}

// User data laid out as a live Item handle would be, of any size, with or
// without a type tag.
int tagObject = 0;
void PushLikeAHandle(HSQUIRRELVM v, SQInteger size, bool tagged)
{
    auto* data = static_cast<unsigned char*>(sq_newuserdata(v, size));
    std::memset(data, 0, size_t(size));
    const SqSafePtr item{SqPtrItem, 0, &itemObject};
    std::memcpy(data, &item, std::min(sizeof(item), size_t(size)));
    if (tagged)
        sq_settypetag(v, -1, &tagObject);
}

// Every kind of value against a fetch of an Item, read straight from the stack:
// handles pass or name both kinds; anything else, user data of a handle's size
// with a type tag or holding an Item's kind included, is not a handle.
TEST_F(SafePtr, FetchOfEveryKindOfValue)
{
    auto* deleted = new int(2);
    const std::string notAHandle = "Expected typetag, none found.";
    struct Case {
        const char* name;
        void (*push)(HSQUIRRELVM v, void* deleted); // pushes the value
        bool ok;
        const void* object;      // what the fetch yields when ok
        const char* message;     // the call stack's header otherwise
    };
    const Case cases[] = {
        {"item", [](HSQUIRRELVM v, void*) { SqPushSafePtr(v, &itemObject, SqPtrItem); }, true, &itemObject, ""},
        {"null item", [](HSQUIRRELVM v, void*) { SqPushSafePtr(v, nullptr, SqPtrItem); }, true, nullptr, ""},
        {"stale item", [](HSQUIRRELVM v, void* d) { SqPushSafePtr(v, d, SqPtrItem); SqSafePtrInvalidate(d); }, true,
         nullptr, ""},
        {"scene", [](HSQUIRRELVM v, void*) { SqPushSafePtr(v, &sceneObject, SqPtrScene); }, false, nullptr,
         "Expected 'Item' (23), got 'Scene' (8)."},
        {"stale scene", [](HSQUIRRELVM v, void* d) { SqPushSafePtr(v, d, SqPtrScene); SqSafePtrInvalidate(d); }, false,
         nullptr,
         "Expected 'Item' (23), got 'Scene' (8)."},
        {"tagged user data of a handle's size", [](HSQUIRRELVM v, void*) { PushLikeAHandle(v, sizeof(SqSafePtr), true); },
         false, nullptr, notAHandle.c_str()},
        {"user data one byte short", [](HSQUIRRELVM v, void*) { PushLikeAHandle(v, sizeof(SqSafePtr) - 1, false); },
         false, nullptr, notAHandle.c_str()},
        {"user data one byte long", [](HSQUIRRELVM v, void*) { PushLikeAHandle(v, sizeof(SqSafePtr) + 1, false); },
         false, nullptr, notAHandle.c_str()},
        {"integer", [](HSQUIRRELVM v, void*) { sq_pushinteger(v, SqPtrItem); }, false, nullptr, notAHandle.c_str()},
        {"float", [](HSQUIRRELVM v, void*) { sq_pushfloat(v, 23.0f); }, false, nullptr, notAHandle.c_str()},
        {"string", [](HSQUIRRELVM v, void*) { sq_pushstring(v, "0123456789abcdef", -1); }, false, nullptr,
         notAHandle.c_str()},
        {"null", [](HSQUIRRELVM v, void*) { sq_pushnull(v); }, false, nullptr, notAHandle.c_str()},
        {"bool", [](HSQUIRRELVM v, void*) { sq_pushbool(v, SQTrue); }, false, nullptr, notAHandle.c_str()},
        {"user pointer", [](HSQUIRRELVM v, void*) { sq_pushuserpointer(v, &itemObject); }, false, nullptr,
         notAHandle.c_str()},
        {"table", [](HSQUIRRELVM v, void*) { sq_newtable(v); }, false, nullptr, notAHandle.c_str()},
        {"array", [](HSQUIRRELVM v, void*) { sq_newarray(v, 16); }, false, nullptr, notAHandle.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t logged = Lines().size();
        c.push(v, deleted);
        const SQInteger top = sq_gettop(v);
        // At the top, from below and with no object wanted: the same answer.
        for (const SQInteger idx : {top, SQInteger(-1)}) {
            void* object = &sceneObject;
            EXPECT_EQ(SqGetSafePtr(v, idx, &object, SqPtrItem), c.ok);
            EXPECT_EQ(object, c.ok ? c.object : &sceneObject); // untouched on failure
        }
        EXPECT_EQ(SqGetSafePtr(v, -1, static_cast<void**>(nullptr), SqPtrItem), c.ok);
        const std::string expected =
            c.ok ? "" : std::string("[|] \n[|] Script call stack (") + c.message + "):\n[|] \n";
        EXPECT_EQ(Text(logged), expected + expected + expected);
        EXPECT_EQ(sq_gettop(v), top);
        sq_pop(v, 1);
    }
    delete deleted;
}

TEST_F(SafePtr, HandleLayout)
{
    EXPECT_EQ(sizeof(SqSafePtr), sizeof(int32_t) > sizeof(void*) ? 2 * sizeof(int32_t) : 2 * sizeof(void*));
    SqPushSafePtr(v, &itemObject, SqPtrItem);
    EXPECT_EQ(sq_getsize(v, -1), SQInteger(sizeof(SqSafePtr)));
    SQUserPointer tag = &itemObject;
    SQUserPointer data = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getuserdata(v, -1, &data, &tag)));
    EXPECT_EQ(tag, nullptr);
    EXPECT_EQ(static_cast<SqSafePtr*>(data)->type, SqPtrItem);
    sq_pop(v, 1);
}

} // namespace

namespace {

TEST_F(SafePtr, TwoManagedHandlesDeleteTheirObjectOnce)
{
    deletedScenes = 0;
    SqSetManagedDeleter(SqPtrScene, CountSceneDelete);
    int scene = 0;
    SetGlobal("first", &scene, SqPtrScene, true);
    SetGlobal("second", &scene, SqPtrScene, true);
    ASSERT_TRUE(Run("first = null;\nsecond = null;\n"));
    SqSetManagedDeleter(SqPtrScene, nullptr);
    EXPECT_EQ(deletedScenes, 1);
    EXPECT_EQ(Count("[|] Garbage collected: Scene."), 2u);
}

} // namespace
