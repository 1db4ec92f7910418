#include "vm_fixture.h"

namespace {

using SquirrelCall = SquirrelTest;

TEST_F(SquirrelCall, CallKeepsCallableAndPushesResult)
{
    ASSERT_TRUE(Run("function add(a, b) { return a + b; }"));
    sq_pushroottable(v);
    sq_pushstring(v, "add", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    sq_pushinteger(v, 2);
    sq_pushinteger(v, 40);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
    EXPECT_EQ(sq_gettop(v), 3); // root, add, result
    SQInteger r = 0;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &r)));
    EXPECT_EQ(r, 42);
    EXPECT_EQ(sq_gettype(v, -2), OT_CLOSURE);
}

TEST_F(SquirrelCall, FailedCallPopsArgumentsAndSetsLastError)
{
    ASSERT_TRUE(Run("function boom() { throw \"bad\"; }"));
    sq_pushroottable(v);
    sq_pushstring(v, "boom", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(sq_gettop(v), 2); // root, boom
    EXPECT_EQ(LastError(), "bad");
}

TEST_F(SquirrelCall, CompileErrorReportsLineAndLeavesStackAlone)
{
    struct Seen {
        std::string desc;
        SQInteger line = 0;
    };
    static Seen seen;
    sq_setcompilererrorhandler(v, [](HSQUIRRELVM, const SQChar *desc, const SQChar *, SQInteger line, SQInteger) {
        seen.desc = desc;
        seen.line = line;
    });
    const char *src = "local a = 1;\nlocal b = (2;\n";
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "x.nut", SQTrue)));
    EXPECT_EQ(sq_gettop(v), 0);
    EXPECT_EQ(seen.desc, "expected ')'");
    EXPECT_EQ(seen.line, 2);
    EXPECT_EQ(LastError(), "expected ')'");
}

} // namespace
