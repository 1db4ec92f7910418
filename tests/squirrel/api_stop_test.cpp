// A host's stop request (sq_requeststop) ends the script that runs when it is made, however
// that script loops; a request made while nothing runs leaves the next call alone.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "vm_fixture.h"
#include "../../source/squirrel/vm/fiber.h"

namespace {

using SquirrelStop = SquirrelTest;

const char *const kStopped = "script stopped: the run is ending";

SQInteger RequestStop(HSQUIRRELVM vm)
{
    sq_requeststop(vm);
    return 0;
}

// Scripts that would never end once RequestStop() has run.
struct Endless {
    const char *name;
    const char *src;
};

TEST_F(SquirrelStop, RequestEndsTheRunningScriptHoweverItLoops)
{
    Register("RequestStop", RequestStop);
    const Endless cases[] = {
        {"while", "RequestStop(); while (true) {}"},
        {"calls", "function f() {} RequestStop(); for (;;) f();"},
        {"catching", "RequestStop(); while (true) { try { while (true) {} } catch (e) {} }"},
        {"catch block", "RequestStop(); try { while (true) {} } catch (e) { while (true) {} }"},
        {"generator", "local g = (function() { while (true) yield 1; })(); RequestStop(); while (true) resume g;"},
        {"native between",
         "RequestStop(); while (true) { try { [1].map(function(x) { while (true) {} }); } catch (e) {} }"},
        {"inside a native", "[1].map(function(x) { RequestStop(); while (true) {} });"},
        {"other thread", "newthread(function() { RequestStop(); while (true) {} }).call();"},
    };
    for (const Endless &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(Run(c.src));
        EXPECT_EQ(LastError(), kStopped);
        // The next call runs as usual.
        printed.clear();
        EXPECT_TRUE(Run("local n = 0; for (local i = 0; i < 100000; i++) n++; print(n);"));
        EXPECT_EQ(printed, "100000");
    }
}

// A budget in force is kept: the request does not touch it, and it still ends scripts
// after the request has gone.
TEST_F(SquirrelStop, RequestWithABudget)
{
    Register("RequestStop", RequestStop);
    v->rt->stepsLeft = 1000000;
    EXPECT_FALSE(Run("RequestStop(); while (true) {}"));
    EXPECT_EQ(LastError(), kStopped);
    EXPECT_GT(v->rt->stepsLeft, 999000);
    EXPECT_FALSE(Run("while (true) {}"));
    EXPECT_EQ(LastError(), "step limit reached");
    v->rt->stepsLeft = -1;
}

// Requests while no script runs are dropped, with a budget or without, whatever the next
// call starts with (a script frame, a generator the host resumes).
TEST_F(SquirrelStop, RequestWhileIdleIsDropped)
{
    for (int64_t budget : {int64_t(-1), int64_t(50000)}) {
        SCOPED_TRACE(budget);
        v->rt->stepsLeft = budget;
        sq_requeststop(v);
        sq_requeststop(v);
        printed.clear();
        EXPECT_TRUE(Run("local n = 0; for (local i = 0; i < 10000; i++) n++; print(n);")) << LastError();
        EXPECT_EQ(printed, "10000");
        ASSERT_TRUE(Run("gen <- (function() { local n = 0; while (true) { n++; if (n % 1000 == 0) yield n; } })();"));
        sq_requeststop(v);
        sq_pushroottable(v);
        sq_pushstring(v, "gen", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        EXPECT_TRUE(SQ_SUCCEEDED(sq_resume(v, SQTrue, SQTrue))) << LastError();
        SQInteger n = 0;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &n)));
        EXPECT_EQ(n, 1000);
        sq_settop(v, 0);
    }
    v->rt->stepsLeft = -1;
}

// The request comes from another thread while the script spins, as a watchdog's would.
struct Handshake {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
};
Handshake *handshake = nullptr;

SQInteger Started(HSQUIRRELVM)
{
    std::lock_guard<std::mutex> lock(handshake->mutex);
    handshake->started = true;
    handshake->changed.notify_all();
    return 0;
}

TEST_F(SquirrelStop, RequestFromAnotherThread)
{
    Handshake shake;
    handshake = &shake;
    Register("Started", Started);
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(shake.mutex);
        shake.changed.wait(lock, [&] { return shake.started; });
        sq_requeststop(v);
    });
    EXPECT_FALSE(Run("Started(); local n = 0; while (true) n++;"));
    watchdog.join();
    EXPECT_EQ(LastError(), kStopped);
    printed.clear();
    EXPECT_TRUE(Run("print(\"after\");"));
    EXPECT_EQ(printed, "after");
    handshake = nullptr;
}

} // namespace
