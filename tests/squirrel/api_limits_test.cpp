// Creation requests no memory can serve are refused with an error instead of hanging,
// aborting or touching gigabytes; the VM stays usable afterwards.
#include <pthread.h>

#include <functional>

#include "vm_fixture.h"
#include "../../source/squirrel/vm/fiber.h"

namespace {

using SquirrelLimits = SquirrelTest;

struct HugeRequest {
    const char *name;
    std::function<void(HSQUIRRELVM)> push;
};

TEST_F(SquirrelLimits, HugeCreationRequestsPushNullAndReportOutOfMemory)
{
    const HugeRequest cases[] = {
        {"sq_newtableex(INT_MAX)", [](HSQUIRRELVM vm) { sq_newtableex(vm, 2147483647); }},
        {"sq_newtableex(2^30 + 1)", [](HSQUIRRELVM vm) { sq_newtableex(vm, (1 << 30) + 1); }},
        {"sq_newarray(INT_MAX)", [](HSQUIRRELVM vm) { sq_newarray(vm, 2147483647); }},
        {"sq_newarray(2^30)", [](HSQUIRRELVM vm) { sq_newarray(vm, 1 << 30); }},
        {"sq_newuserdata(4 GB)", [](HSQUIRRELVM vm) { EXPECT_EQ(sq_newuserdata(vm, 0xFFFFFFFFu), nullptr); }},
    };
    for (const HugeRequest &c : cases) {
        SCOPED_TRACE(c.name);
        SQInteger top = sq_gettop(v);
        c.push(v);
        ASSERT_EQ(sq_gettop(v), top + 1);
        EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
        sq_pop(v, 1);
        EXPECT_EQ(LastError(), "out of memory");
    }
    // Sizes that fit still work, and a table presized generously takes more than its hint.
    sq_newtableex(v, 1000);
    for (SQInteger i = 0; i < 3000; i++) {
        sq_pushinteger(v, i);
        sq_pushinteger(v, i * 2);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    }
    EXPECT_EQ(sq_getsize(v, -1), 3000);
    sq_pop(v, 1);
    sq_newtableex(v, -5);
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_newarray(v, 10);
    EXPECT_EQ(sq_getsize(v, -1), 10);
    sq_pop(v, 2);
}

TEST_F(SquirrelLimits, HugeArrayResizeFailsAndKeepsTheArray)
{
    sq_newarray(v, 3);
    EXPECT_TRUE(SQ_FAILED(sq_arrayresize(v, -1, 0x7FFFFFFF)));
    EXPECT_EQ(LastError(), "out of memory");
    EXPECT_EQ(sq_getsize(v, -1), 3);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_arrayresize(v, -1, 5)));
    EXPECT_EQ(sq_getsize(v, -1), 5);
    sq_pop(v, 1);
}

TEST_F(SquirrelLimits, ScriptsRunAfterRefusedRequests)
{
    sq_newtableex(v, 2147483647);
    sq_pop(v, 1);
    EXPECT_TRUE(Run("local t = {}; for (local i = 0; i < 100; i++) t[i] <- i; print(t.len());"));
    EXPECT_EQ(printed, "100");
}

// The step budget the script fuzzer runs under: every loop and recursion ends, even one
// that catches the error and tries again.
TEST_F(SquirrelLimits, StepBudgetEndsLoopsRecursionAndRetries)
{
    const char *scripts[] = {
        "while (true) {}",
        "local i = 0; do { i++; } while (true)",
        "for (;;) { try { while (true) {} } catch (e) {} }",
        "function r(n) { return r(n + 1); } r(0);",
        "function r(n) { try { r(n + 1); } catch (e) {} r(n + 1); } r(0);",
        "foreach (x in array(1000000)) {}",
        "local g = (function() { while (true) yield 1; })(); while (true) resume g;",
    };
    for (const char *src : scripts) {
        SCOPED_TRACE(src);
        v->rt->stepsLeft = 5000;
        EXPECT_FALSE(Run(src));
        EXPECT_EQ(LastError(), "step limit reached");
    }
    v->rt->stepsLeft = -1;
    EXPECT_TRUE(Run("local n = 0; for (local i = 0; i < 100000; i++) n++; print(n);"));
    EXPECT_EQ(printed, "100000");
}

// Scripts may run on a loader thread with a small stack: nesting and recursion end in
// errors the script catches there too, and ordinary scripts still run.
TEST_F(SquirrelLimits, DeepInputsEndInErrorsOnASmallStack)
{
    struct Case {
        const char *src;
        const char *expect;
    };
    const Case cases[] = {
        {"return compilestring(\"return \" + repeat(\"(\", 60000) + \"1\" + repeat(\")\", 60000))();",
         "expression or statement nested too deeply"},
        {"return compilestring(\"local x = 0;\" + repeat(\"{ x++;\", 60000) + repeat(\"}\", 60000))();",
         "expression or statement nested too deeply"},
        {"function f() { return f.call(this); } return f();", "Native stack overflow"},
        {"function f() { return newthread(f).call(); } return f();", "Native stack overflow"},
        {"function f() { [2, 1].sort(@(a, b) f()); } return f();", "Native stack overflow"},
        {"class M { function _get(k) { return this[k + \"x\"]; } } return M().k;", "Native stack overflow"},
        {"local t = {}, c = t; for (local i = 0; i < 100000; i++) { local d = {}; c.setdelegate(d); c = d; } "
         "return t.x;",
         "Native stack overflow"},
        {"return compilestring(\"return \" + repeat(\"(\", 50) + \"1\" + repeat(\")\", 50))();", "1"},
        {"function nest(n) { return n == 0 ? \"ok\" : nest.call(this, n - 1); } return nest(5);", "ok"},
    };
    ASSERT_TRUE(Run("function repeat(s, n) { local out = \"\"; for (; n > 0; n = n >> 1, s += s) if (n & 1) out += s; "
                    "return out; }"));
    struct Job {
        SquirrelLimits *test;
        std::string src;
        bool ran = false;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.src);
        printed.clear();
        Job job{this, std::string("try { print((function() { ") + c.src + " })()); } catch (e) { print(e); }"};
        auto body = [](void *arg) -> void * {
            Job *j = static_cast<Job *>(arg);
            j->ran = j->test->Run(j->src);
            return nullptr;
        };
        pthread_attr_t attr;
        ASSERT_EQ(pthread_attr_init(&attr), 0);
        ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
        pthread_t thread;
        ASSERT_EQ(pthread_create(&thread, &attr, body, &job), 0);
        pthread_join(thread, nullptr);
        pthread_attr_destroy(&attr);
        EXPECT_TRUE(job.ran) << LastError();
        EXPECT_EQ(printed, c.expect);
    }
}

} // namespace
