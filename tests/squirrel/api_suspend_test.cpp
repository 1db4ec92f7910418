// Suspension: honoured only for a native called straight from script code, and a
// suspended VM stays usable until the host wakes it up.
#include "vm_fixture.h"

namespace {

class SquirrelSuspend : public SquirrelTest
{
protected:
    void SetUp() override
    {
        SquirrelTest::SetUp();
        Register("wait", [](HSQUIRRELVM vm) -> SQInteger { return sq_suspendvm(vm); });
        Register("record", [](HSQUIRRELVM vm) -> SQInteger {
            const SQChar *s = "?";
            sq_tostring(vm, 2);
            sq_getstring(vm, -1, &s);
            Self(vm)->printed += std::string(s) + ";";
            return 0;
        });
    }

    // Starts `src` (a script with a top-level `run` function) and calls run().
    SQRESULT StartRun(const std::string &src)
    {
        EXPECT_TRUE(Run(src));
        sq_pushroottable(v);
        sq_pushstring(v, "run", -1);
        sq_get(v, -2);
        sq_pushroottable(v);
        return sq_call(v, 1, SQTrue, SQTrue);
    }
};

TEST_F(SquirrelSuspend, DirectNativeCallSuspendsAndWakesUp)
{
    ASSERT_TRUE(SQ_SUCCEEDED(StartRun("function run() { record(\"a\"); local r = wait(); record(r); return \"end\"; }")));
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    EXPECT_EQ(printed, "a;");
    sq_pop(v, 1); // the value pushed by retval
    sq_pushstring(v, "woken", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQTrue, SQTrue, SQTrue, SQFalse)));
    EXPECT_EQ(printed, "a;woken;");
    const SQChar *s = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &s)));
    EXPECT_STREQ(s, "end");
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    EXPECT_TRUE(SQ_FAILED(sq_wakeupvm(v, SQFalse, SQFalse, SQTrue, SQFalse)));
    EXPECT_EQ(LastError(), "cannot resume a vm that is not running any code");
}

TEST_F(SquirrelSuspend, SuspendIsRefusedInsideMetamethodsAndNestedNativeCalls)
{
    Register("callback", [](HSQUIRRELVM vm) -> SQInteger {
        sq_push(vm, 2);
        sq_pushroottable(vm);
        return SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue)) ? 1 : SQ_ERROR;
    });
    const char *cases[] = {
        "function run() { local t = {}.setdelegate({ _get = function(k) { return ::wait(); } }); return t.x; }",
        "function run() { return callback(function() { return wait(); }); }",
        "function run() { return [1].map(@(x) wait()); }",
    };
    for (const char *src : cases) {
        SCOPED_TRACE(src);
        EXPECT_TRUE(SQ_FAILED(StartRun(src)));
        EXPECT_EQ(LastError(), "cannot suspend through native calls/metamethods");
        EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
        sq_settop(v, 0);
    }
}

// Whether a native may suspend depends on how it was called, not on the route the
// call takes inside the VM: a native with a free variable is called straight from
// script code as well, through the general path.
TEST_F(SquirrelSuspend, OnlyNativesCalledStraightFromScriptSuspend)
{
    sq_pushroottable(v);
    sq_pushstring(v, "waitFree", -1);
    sq_pushinteger(v, 7);
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger { return sq_suspendvm(vm); }, 1);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    struct Case {
        const char *call;
        bool suspends;
    };
    const Case cases[] = {
        {"wait()", true},
        {"waitFree()", true},
        {"wait.call(this)", false},
        {"wait.acall([this])", false},
        {"waitFree.call(this)", false},
        {"(function() { return wait(); })()", true},
        {"[1].map(@(x) waitFree())", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        const SQRESULT started = StartRun(std::string("function run() { local r = ") + c.call + "; return \"got \" + r; }");
        if (!c.suspends) {
            EXPECT_TRUE(SQ_FAILED(started));
            EXPECT_EQ(LastError(), "cannot suspend through native calls/metamethods");
            EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
            sq_settop(v, 0);
            continue;
        }
        ASSERT_TRUE(SQ_SUCCEEDED(started)) << LastError();
        ASSERT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
        sq_settop(v, 0);
        sq_pushstring(v, "woken", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQTrue, SQTrue, SQTrue, SQFalse))) << LastError();
        const SQChar *r = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &r)));
        EXPECT_STREQ(r, "got woken");
        EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
        sq_settop(v, 0);
    }
    // A thread started from script code suspends itself, not its caller, and so does a
    // thread started by a native.
    sq_settop(v, 0);
    Register("callThread", [](HSQUIRRELVM vm) -> SQInteger {
        sq_push(vm, 2);
        sq_pushstring(vm, "call", -1);
        if (SQ_FAILED(sq_get(vm, -2))) return SQ_ERROR;
        sq_push(vm, 2);
        if (SQ_FAILED(sq_call(vm, 1, SQFalse, SQTrue))) return SQ_ERROR;
        return 0;
    });
    for (const char *start : {"t.call()", "callThread(t)"}) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(SQ_SUCCEEDED(StartRun(std::string("function run() { local t = newthread(@() wait()); ") + start +
                                          "; return t.getstatus(); }")))
            << LastError();
        EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
        const SQChar *r = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -1, &r)));
        EXPECT_STREQ(r, "suspended");
        sq_settop(v, 0);
    }
    // The host calling the native itself: no script code around it.
    sq_pushroottable(v);
    sq_pushstring(v, "wait", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(LastError(), "cannot suspend through native calls/metamethods");
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
}

TEST_F(SquirrelSuspend, ErrorHandlerAskingToSuspendLeavesTheVmRunningNormally)
{
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger { return sq_suspendvm(vm); }, 0);
    sq_seterrorhandler(v);
    EXPECT_TRUE(SQ_FAILED(StartRun("function run() { throw \"oops\"; }")));
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    EXPECT_EQ(LastError(), "oops");
}

TEST_F(SquirrelSuspend, SuspendedVmKeepsServingCallsUntilWokenUp)
{
    ASSERT_TRUE(SQ_SUCCEEDED(StartRun("function run() { local r = wait(); return r * 2; }"
                                      "function other(x) { return x + 1; }"
                                      "function again() { return wait(); }")));
    ASSERT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    SQInteger top = sq_gettop(v);
    // Calls while suspended run normally; a second suspension is refused.
    sq_pushroottable(v);
    sq_pushstring(v, "other", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    sq_pushinteger(v, 41);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQTrue)));
    SQInteger r = 0;
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 42);
    sq_pop(v, 3);
    sq_pushroottable(v);
    sq_pushstring(v, "again", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQTrue, SQTrue)));
    EXPECT_EQ(LastError(), "cannot suspend an already suspended vm");
    sq_settop(v, top);
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    sq_pushinteger(v, 21);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQTrue, SQTrue, SQTrue, SQFalse)));
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 42);
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
}

TEST_F(SquirrelSuspend, WakeupCanThrowIntoTheScript)
{
    ASSERT_TRUE(SQ_SUCCEEDED(StartRun("function run() { try { wait(); } catch (e) { record(\"caught \" + e); } return 1; }")));
    sq_pushstring(v, "abort", -1);
    sq_throwobject(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQFalse, SQFalse, SQTrue, SQTrue)));
    EXPECT_EQ(printed, "caught abort;");
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
}

TEST_F(SquirrelSuspend, ClosingASuspendedVmIsSafe)
{
    ASSERT_TRUE(SQ_SUCCEEDED(StartRun("function run() { local big = array(100, {}); wait(); }")));
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    sq_close(v);
    v = nullptr;
}

TEST_F(SquirrelSuspend, ThreadsSuspendTheirOwnVm)
{
    HSQUIRRELVM t = sq_newthread(v, 64);
    EXPECT_EQ(sq_gettype(v, -1), OT_THREAD);
    ASSERT_TRUE(Run("function body(x) { local y = wait(); return x + y; }"));
    sq_pushroottable(t);
    sq_pushstring(t, "body", -1);
    sq_get(t, -2);
    sq_pushroottable(t);
    sq_pushinteger(t, 40);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(t, 2, SQFalse, SQTrue)));
    EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_SUSPENDED);
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    sq_pushinteger(t, 2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(t, SQTrue, SQTrue, SQTrue, SQFalse)));
    SQInteger r = 0;
    sq_getinteger(t, -1, &r);
    EXPECT_EQ(r, 42);
}

} // namespace
