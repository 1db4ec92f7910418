#include "BindingTestSupport.h"

#include "framework/math/zMinMax.h"
#include "framework/math/zVector.h"
#include "manager_binding/SqBaseFunctions.h"

namespace {

using BindingFrame = BindingFixture;

SQInteger Twice(HSQUIRRELVM v)
{
    SQInteger n = 0;
    sq_getinteger(v, 2, &n);
    sq_pushinteger(v, 2 * n);
    return 1;
}

SQInteger Name(HSQUIRRELVM v)
{
    sq_pushstring(v, "base", -1);
    return 1;
}

const SqFunctionDesc kBaseMethods[] = {
    {"Name", Name, 1, "x"},
    {"Twice", Twice, 2, "xi"},
    {nullptr, nullptr, 0, nullptr},
};
const SqClassDesc kBase = {"NativeBase", nullptr, kBaseMethods};
const SqFunctionDesc kDerivedMethods[] = {
    {"Triple", Twice, -2, "xi"},
    {nullptr, nullptr, 0, nullptr},
};
const SqClassDesc kDerived = {"NativeDerived", "NativeBase", kDerivedMethods};
const SqClassDesc kOrphan = {"Orphan", "NoSuchBase", kDerivedMethods};

TEST_F(BindingFrame, ClassesWithMethodsTagsAndBases)
{
    const SQInteger top = sq_gettop(v);
    EXPECT_FALSE(SqRegisterClass(v, &kOrphan));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_TRUE(SqRegisterClass(v, &kBase));
    EXPECT_TRUE(SqRegisterClass(v, &kDerived));
    EXPECT_EQ(sq_gettop(v), top);
    ASSERT_TRUE(Load("classes.nut", "local d = NativeDerived();\n"
                                    "print(d.Name() + \" \" + d.Twice(4) + \" \" + d.Triple(5) + \" \" + "
                                    "(d instanceof NativeBase) + \" \" + (\"Orphan\" in getroottable()));\n"
                                    "try { d.Twice(1.5); } catch (e) { print(e); }\n"
                                    "try { d.Twice(); } catch (e) { print(e); }\n"));
    EXPECT_EQ(Text(), "[S] base 8 10 true false\n"
                      "[S] parameter 1 has an invalid type 'float' ; expected: 'integer'\n"
                      "[S] wrong number of parameters\n");
    // The descriptor is the tag.
    sq_pushroottable(v);
    sq_pushstring(v, "NativeBase", -1);
    sq_get(v, -2);
    SQUserPointer tag = nullptr;
    sq_gettypetag(v, -1, &tag);
    EXPECT_EQ(tag, &kBase);
    sq_settop(v, top);
}

TEST_F(BindingFrame, ExplicitTypeTag)
{
    const SqClassDesc tagged = {"Tagged", nullptr, kBaseMethods, kSqMatrix3TypeTag};
    ASSERT_TRUE(SqRegisterClass(v, &tagged));
    sq_pushroottable(v);
    sq_pushstring(v, "Tagged", -1);
    sq_get(v, -2);
    SQUserPointer tag = nullptr;
    sq_gettypetag(v, -1, &tag);
    EXPECT_EQ(tag, kSqMatrix3TypeTag);
    EXPECT_NE(kSqVectorTypeTag, kSqMatrix3TypeTag);
    EXPECT_NE(kSqMatrix3TypeTag, kSqMatrix4TypeTag);
    sq_pop(v, 2);
}

TEST_F(BindingFrame, TablesWithFunctionsConstantsAndDelegate)
{
    const SqFunctionDesc functions[] = {{"Twice", Twice, 2, ".i"}, {nullptr, nullptr, 0, nullptr}};
    const SqConstantDesc constants[] = {
        {"Count", OT_INTEGER, 3, 0.0f, nullptr},
        {"Ratio", OT_FLOAT, 0, 0.5f, nullptr},
        {"Label", OT_STRING, 0, 0.0f, "tag"},
        {nullptr, OT_NULL, 0, 0.0f, nullptr},
    };
    const SqFunctionDesc delegated[] = {{"Name", Name, 1, "."}, {nullptr, nullptr, 0, nullptr}};
    const SqTableDesc table = {"Tools", functions, constants, delegated};
    const SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SqRegisterTable(v, &table));
    EXPECT_EQ(sq_gettop(v), top);
    ASSERT_TRUE(Load("tables.nut", "print(Tools.Twice(21) + \" \" + Tools.Count + \" \" + Tools.Ratio + \" \" + "
                                   "Tools.Label + \" \" + Tools.Name() + \" \" + Tools.rawin(\"Name\"));\n"));
    EXPECT_EQ(Text(), "[S] 42 3 0.5 tag base false\n");
}

int releasedPointer = 0;
SQInteger CountRelease(SQUserPointer pointer, SQInteger)
{
    releasedPointer += *static_cast<int*>(pointer);
    return 1;
}

TEST_F(BindingFrame, InstancesWithoutConstructor)
{
    ASSERT_TRUE(Load("made.nut", "class Made { constructor() { print(\"constructed\"); } }\n"));
    const SQInteger top = sq_gettop(v);
    int payload = 5;
    releasedPointer = 0;
    EXPECT_FALSE(SqCreateInstanceByName(v, "Missing", &payload, CountRelease));
    EXPECT_EQ(sq_gettop(v), top);
    ASSERT_TRUE(SqCreateInstanceByName(v, "Made", &payload, CountRelease));
    EXPECT_EQ(sq_gettop(v), top + 1);
    EXPECT_EQ(sq_gettype(v, -1), OT_INSTANCE);
    SQUserPointer up = nullptr;
    sq_getinstanceup(v, -1, &up, nullptr);
    EXPECT_EQ(up, &payload);
    sq_pop(v, 1);
    EXPECT_EQ(releasedPointer, 5);
    EXPECT_EQ(Count("constructed"), 0u);
}

TEST_F(BindingFrame, NewClassInstanceAndBindingErrors)
{
    ASSERT_TRUE(Load("classes.nut", "class Good { v = 1; constructor() { v = 2; } }\n"
                                    "class Bad { constructor() { throw \"no\"; } }\n"));
    const SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SqNewClassInstance(v, "Good", true));
    ASSERT_EQ(sq_gettop(v), top + 1);
    sq_pushstring(v, "v", -1);
    sq_get(v, -2);
    SQInteger value = 0;
    sq_getinteger(v, -1, &value);
    EXPECT_EQ(value, 2);
    sq_settop(v, top);
    ASSERT_TRUE(SqNewClassInstance(v, "Good", false));
    sq_pushstring(v, "v", -1);
    sq_get(v, -2);
    sq_getinteger(v, -1, &value);
    EXPECT_EQ(value, 1);
    sq_settop(v, top);
    EXPECT_TRUE(master.IsOk());

    GlobalLog.VerbosityMask = 0;
    EXPECT_FALSE(SqNewClassInstance(v, "Nope", true));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_FALSE(master.IsOk());
    EXPECT_EQ(Count("[|] Script call stack (Binding error: Class 'Nope' is not declared.):"), 1u);
    EXPECT_FALSE(SqNewClassInstance(v, "Bad", true));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Count("[|] Script call stack (Binding error: Failed to instantiate class 'Bad'.):"), 1u);
}

TEST_F(BindingFrame, ArgumentTypesAndTheirNames)
{
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SqCheckArgType(v, -1, OT_INTEGER));
    EXPECT_TRUE(master.IsOk());
    EXPECT_FALSE(SqCheckArgType(v, -1, OT_STRING));
    EXPECT_FALSE(master.IsOk());
    EXPECT_EQ(Count("[|] Script call stack (Binding error: Incorrect argument type.):"), 1u);
    sq_pop(v, 1);
    const std::pair<SQObjectType, const char*> names[] = {
        {OT_USERPOINTER, "UserPointer"}, {OT_NULL, "Null"},       {OT_BOOL, "Boolean"},
        {OT_INTEGER, "Integer"},         {OT_FLOAT, "Float"},     {OT_STRING, "String"},
        {OT_ARRAY, "Array"},             {OT_CLOSURE, "Closure"}, {OT_NATIVECLOSURE, "NativeClosure"},
        {OT_GENERATOR, "Generator"},     {OT_THREAD, "Thread"},   {OT_FUNCPROTO, "FuncProto"},
        {OT_CLASS, "Class"},             {OT_WEAKREF, "WeakRef"}, {OT_TABLE, "Table"},
        {OT_USERDATA, "UserData"},       {OT_INSTANCE, "Instance"}, {OT_OUTER, "Unknown"},
    };
    for (const auto& [type, name] : names)
        EXPECT_STREQ(SqTypeName(type), name);
}

const char* const kValueClasses = "class Vector { x = 0.0; y = 0.0; z = 0.0; w = 1.0; }\n"
                                  "class MinMax { min = null; max = null; constructor() { min = Vector(); max = "
                                  "Vector(); } }\n"
                                  "class Rect { sx = 0; sy = 0; ex = 0; ey = 0; }\n";

TEST_F(BindingFrame, VectorsBoxesAndRectsCrossBothWays)
{
    ASSERT_TRUE(Load("values.nut", kValueClasses));
    const SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SqPushVector(v, zVector(1.0f, 2.0f, 3.0f, 4.0f)));
    zVector back;
    ASSERT_TRUE(SqGetVector(v, -1, back, true));
    EXPECT_EQ(back.x, 1.0f);
    EXPECT_EQ(back.z, 3.0f);
    // Without w the member keeps its default and reads as 1.
    EXPECT_EQ(back.w, 1.0f);
    sq_pop(v, 1);

    ASSERT_TRUE(SqPushVector(v, zVector(1.0f, 2.0f, 3.0f, 4.0f), true));
    ASSERT_TRUE(SqGetVector(v, -1, back, true));
    EXPECT_EQ(back.w, 4.0f);
    sq_pop(v, 1);

    const float four[4] = {5.0f, 6.0f, 7.0f, 8.0f};
    ASSERT_TRUE(SqPushVector4(v, four));
    ASSERT_TRUE(SqGetVector(v, -1, back, false));
    EXPECT_EQ(back.x, 5.0f);
    EXPECT_EQ(back.w, 1.0f);
    sq_pop(v, 1);

    ASSERT_TRUE(SqPushMinMax(v, zMinMax(zVector(-1.0f, -2.0f, -3.0f), zVector(1.0f, 2.0f, 3.0f))));
    zMinMax box;
    ASSERT_TRUE(SqGetMinMax(v, -1, box));
    EXPECT_EQ(box.min.y, -2.0f);
    EXPECT_EQ(box.max.z, 3.0f);
    sq_pop(v, 1);

    const int32_t rect[4] = {1, 2, 30, 40};
    ASSERT_TRUE(SqPushRect(v, rect));
    float ex = 0.0f;
    sq_pushstring(v, "ex", -1);
    sq_get(v, -2);
    sq_getfloat(v, -1, &ex);
    EXPECT_EQ(ex, 30.0f);
    EXPECT_EQ(sq_gettype(v, -1), OT_FLOAT);
    sq_settop(v, top);

    // Values that are not vectors read as zeros.
    sq_pushinteger(v, 3);
    EXPECT_FALSE(SqGetVector(v, -1, back));
    EXPECT_EQ(back.x, 0.0f);
    sq_pop(v, 1);
    EXPECT_TRUE(master.IsOk());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(BindingFrame, RectWithoutItsClassReportsTwoBindingErrors)
{
    const SQInteger top = sq_gettop(v);
    const int32_t rect[4] = {0, 0, 1, 1};
    GlobalLog.VerbosityMask = 0;
    EXPECT_FALSE(SqPushRect(v, rect));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_EQ(Text(), "[|] \n[|] Script call stack (Binding error: Class 'Rect' is not declared.):\n[|] \n"
                      "[|] \n[|] Script call stack (Binding error: Failed to create Rect instance.):\n[|] \n");
    EXPECT_FALSE(master.IsOk());
    EXPECT_FALSE(SqPushVector(v, zVector()));
    EXPECT_EQ(Count("Binding error: Failed to create Vector instance."), 1u);
}

// A native vector class keeping its components in the instance's storage,
// as the math classes do.
SQInteger NativeVectorConstructor(HSQUIRRELVM v)
{
    sq_setinstanceup(v, 1, new zVector(9.0f, 8.0f, 7.0f, 6.0f));
    sq_setreleasehook(v, 1, [](SQUserPointer p, SQInteger) -> SQInteger {
        delete static_cast<zVector*>(p);
        return 1;
    });
    return 0;
}

TEST_F(BindingFrame, NativeVectorStorageIsReadDirectly)
{
    const SqFunctionDesc methods[] = {{"constructor", NativeVectorConstructor, 1, "x"},
                                      {nullptr, nullptr, 0, nullptr}};
    const SqClassDesc vector = {"Vector", nullptr, methods, kSqVectorTypeTag};
    ASSERT_TRUE(SqRegisterClass(v, &vector));
    ASSERT_TRUE(SqNewClassInstance(v, "Vector", true));
    zVector read;
    ASSERT_TRUE(SqGetVector(v, -1, read, true));
    EXPECT_EQ(read.x, 9.0f);
    EXPECT_EQ(read.w, 6.0f);
    ASSERT_TRUE(SqGetVector(v, -1, read, false));
    EXPECT_EQ(read.w, 1.0f);
    sq_pop(v, 1);
}

TEST_F(BindingFrame, RegisteredFunctionsTakeTheirCountFromTheMask)
{
    SqRegisterFunction(v, Twice, "Twice", "x|ti");
    ASSERT_TRUE(Load("count.nut", "print(Twice(4));\n"
                                  "try { Twice(); } catch (e) { print(e); }\n"
                                  "try { Twice(1, 2); } catch (e) { print(e); }\n"));
    EXPECT_EQ(Text(), "[S] 8\n[S] wrong number of parameters\n[S] wrong number of parameters\n");
}

TEST_F(BindingFrame, TooFewArgumentsIsAVmRuntimeError)
{
    ASSERT_TRUE(Load("few.nut", "function Go() { return Mod(1); }\n"));
    EXPECT_FALSE(Call("Go"));
    EXPECT_EQ(Count("[|]     Error: wrong number of parameters"), 1u);
    EXPECT_EQ(Count("[|]     -> In function Go() ('few.nut', Line 1)."), 1u);
}

TEST_F(BindingFrame, ShellExecuteReturnsTheExitStatus)
{
    const std::pair<const char*, int> cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}};
    for (const auto& [script, status] : cases)
        EXPECT_EQ(SqShellExecute("sh -c", (std::string("'") + script + "'").c_str()), status) << script;
    // The shell itself ended by a signal.
    EXPECT_EQ(SqShellExecute("kill", "-9 $$"), 128 + 9);
    EXPECT_EQ(SqShellExecute(nullptr, "x"), -1);
    EXPECT_EQ(SqShellExecute("echo", nullptr), 0);
    EXPECT_EQ(Count("Execute command 'echo'"), 1u);
}

TEST_F(BindingFrame, LongCommandLinesAreNotCut)
{
    const std::string word(3000, 'a');
    EXPECT_EQ(SqShellExecute("printf", ("%s " + word).c_str()), 0);
    EXPECT_EQ(Count(word), 2u);
}

} // namespace
