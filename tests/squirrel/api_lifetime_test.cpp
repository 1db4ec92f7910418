// Release hooks, host references and type tags: what the engine's ownership rules rely on.
#include "vm_fixture.h"

namespace {

int g_freed = 0;
SQInteger CountFree(SQUserPointer, SQInteger)
{
    g_freed++;
    return 0;
}

class SquirrelLifetime : public SquirrelTest
{
protected:
    void SetUp() override
    {
        SquirrelTest::SetUp();
        g_freed = 0;
    }
    // makeud() returns a fresh userdata whose release hook counts frees.
    static SQInteger MakeUserData(HSQUIRRELVM vm)
    {
        sq_newuserdata(vm, 16);
        sq_setreleasehook(vm, -1, CountFree);
        return 1;
    }
};

TEST_F(SquirrelLifetime, UserDataHookFiresWhenLastScriptReferenceDrops)
{
    Register("makeud", MakeUserData);
    ASSERT_TRUE(Run("::keep <- makeud(); local a = makeud(); local b = a; a = null; ::hits <- 0;"));
    EXPECT_EQ(g_freed, 1); // `a`/`b` went away with the frame, `keep` is still held
    ASSERT_TRUE(Run("::keep = null;"));
    EXPECT_EQ(g_freed, 2);
}

TEST_F(SquirrelLifetime, InstanceHookFiresOnLastReferenceAndHostReferencesDelayIt)
{
    ASSERT_TRUE(Run("class Thing {} ::t <- Thing();"));
    sq_pushroottable(v);
    sq_pushstring(v, "t", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_setreleasehook(v, -1, CountFree);
    HSQOBJECT handle;
    sq_resetobject(&handle);
    sq_getstackobj(v, -1, &handle);
    sq_addref(v, &handle);
    sq_addref(v, &handle);
    EXPECT_EQ(sq_getrefcount(v, &handle), 2u);
    sq_pop(v, 2);
    ASSERT_TRUE(Run("::t = null;"));
    EXPECT_EQ(g_freed, 0);
    EXPECT_FALSE(sq_release(v, &handle));
    EXPECT_EQ(g_freed, 0);
    EXPECT_TRUE(sq_release(v, &handle));
    EXPECT_EQ(g_freed, 1);
}

TEST_F(SquirrelLifetime, CycleCollectorRunsHooksOfUnreachableCycles)
{
    Register("makeud", MakeUserData);
    ASSERT_TRUE(Run("local a = { u = makeud() }; local b = { a = a }; a.b <- b;"));
    EXPECT_EQ(g_freed, 0);
    EXPECT_GT(sq_collectgarbage(v), 0);
    EXPECT_EQ(g_freed, 1);
}

TEST_F(SquirrelLifetime, CloseRunsRemainingHooks)
{
    Register("makeud", MakeUserData);
    ASSERT_TRUE(Run("::a <- makeud(); ::b <- [makeud(), makeud()]; local c = {}; c.self <- c; c.u <- makeud();"));
    sq_close(v);
    v = nullptr;
    EXPECT_EQ(g_freed, 4);
}

TEST_F(SquirrelLifetime, ClassHookGetsTheTypeTag)
{
    static SQUserPointer seen = nullptr;
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, reinterpret_cast<SQUserPointer>(0x1234));
    sq_setreleasehook(v, -1, [](SQUserPointer p, SQInteger) -> SQInteger {
        seen = p;
        return 0;
    });
    sq_pop(v, 1);
    EXPECT_EQ(seen, reinterpret_cast<SQUserPointer>(0x1234));
}

// A native class as the engine defines them: type tag, constructor storing a pointer.
const int kVecTag = 0;
SQInteger VecConstructor(HSQUIRRELVM vm)
{
    SQFloat x = 0;
    sq_getfloat(vm, 2, &x);
    sq_setinstanceup(vm, 1, new float(x));
    sq_setreleasehook(vm, 1, [](SQUserPointer p, SQInteger) -> SQInteger {
        delete static_cast<float *>(p);
        g_freed++;
        return 0;
    });
    return 0;
}

SQInteger VecGetX(HSQUIRRELVM vm)
{
    SQUserPointer up = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, 1, &up, const_cast<int *>(&kVecTag)))) return SQ_ERROR;
    sq_pushfloat(vm, *static_cast<float *>(up));
    return 1;
}

// A bool result from _cmp, as the engine's Vector returns.
SQInteger VecCmp(HSQUIRRELVM vm)
{
    SQUserPointer a = nullptr, b = nullptr;
    sq_getinstanceup(vm, 1, &a, nullptr);
    sq_getinstanceup(vm, 2, &b, nullptr);
    sq_pushbool(vm, *static_cast<float *>(a) > *static_cast<float *>(b));
    return 1;
}

void BindVec(HSQUIRRELVM vm)
{
    sq_pushroottable(vm);
    sq_pushstring(vm, "Vec", -1);
    sq_newclass(vm, SQFalse);
    sq_settypetag(vm, -1, const_cast<int *>(&kVecTag));
    const SQRegFunction methods[] = {{"constructor", VecConstructor, 2, ".n"},
                                     {"getx", VecGetX, 1, "x"},
                                     {"_cmp", VecCmp, 2, "xx"}};
    for (const SQRegFunction &m : methods) {
        sq_pushstring(vm, m.name, -1);
        sq_newclosure(vm, m.f, 0);
        sq_setparamscheck(vm, m.nparamscheck, m.typemask);
        sq_setnativeclosurename(vm, -1, m.name);
        sq_newslot(vm, -3, SQFalse);
    }
    sq_newslot(vm, -3, SQFalse);
    sq_pop(vm, 1);
}

TEST_F(SquirrelLifetime, ScriptSubclassOfNativeClassKeepsTypeTagAndHooks)
{
    BindVec(v);
    ASSERT_TRUE(Run("class Vec2 extends Vec { y = 0; constructor(a, b) { base.constructor(a); y = b; } }"
                    "local v = Vec2(1.5, 2); print(v.getx() + \" \" + v.y + \"\\n\");"));
    EXPECT_EQ(printed, "1.5 2\n");
    EXPECT_EQ(g_freed, 1);
    // A plain table carrying the method is rejected by the tag check.
    EXPECT_FALSE(Run("local bad = class { getx = Vec.getx; }(); bad.getx();"));
    EXPECT_EQ(LastError(), "invalid type tag");
}

TEST_F(SquirrelLifetime, BoolFromCmpCountsAsZeroOrOne)
{
    BindVec(v);
    ASSERT_TRUE(Run("local a = Vec(2), b = Vec(1);"
                    "print((a > b) + \" \" + (b > a) + \" \" + (a <=> b) + \" \" + (b <=> a) + \"\\n\");"));
    EXPECT_EQ(printed, "true false 1 0\n");
}

TEST_F(SquirrelLifetime, GetInstanceUpWithoutMatchingTagFails)
{
    BindVec(v);
    ASSERT_TRUE(Run("class Other {} ::o <- Other();"));
    sq_pushroottable(v);
    sq_pushstring(v, "o", -1);
    sq_get(v, -2);
    SQUserPointer up = nullptr;
    EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &up, const_cast<int *>(&kVecTag))));
    EXPECT_EQ(LastError(), "invalid type tag");
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &up, nullptr)));
    SQUserPointer tag = nullptr;
    sq_pushroottable(v);
    sq_pushstring(v, "Vec", -1);
    sq_get(v, -2);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -1, &tag)));
    EXPECT_EQ(tag, &kVecTag);
    sq_pushinteger(v, 3);
    EXPECT_TRUE(SQ_FAILED(sq_gettypetag(v, -1, &tag)));
    EXPECT_EQ(LastError(), "invalid object type");
}

} // namespace
