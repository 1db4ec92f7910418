#include "ScriptTestSupport.h"

#include "framework/data_structure/zProperty.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using ScriptMaster = ScriptFixture;

TEST_F(ScriptMaster, ScriptIsLoadedOncePerPath)
{
    ASSERT_TRUE(Load("once.nut", "loads <- (\"loads\" in getroottable()) ? loads + 1 : 1;\n"));
    std::filesystem::remove(dir.Path("once.nut"));
    EXPECT_TRUE(master.AddScript("once.nut"));
    EXPECT_TRUE(Load("other.nut", "print(\"loads=\" + loads);\n"));
    EXPECT_EQ(Count("[S] loads=1"), 1u);
}

TEST_F(ScriptMaster, MissingScriptFailsEveryTimeAndIsLoggedOnce)
{
    EXPECT_FALSE(master.AddScript("absent.nut"));
    EXPECT_FALSE(master.AddScript("absent.nut"));
    EXPECT_EQ(Count("[!] zScriptMaster::AddScript Failed to locate script 'absent.nut'."), 1u);
    // Created afterwards, the file is still not tried again.
    dir.Write("absent.nut", "print(\"ran\");\n");
    EXPECT_FALSE(master.AddScript("absent.nut"));
    EXPECT_EQ(Count("ran"), 0u);
}

TEST_F(ScriptMaster, SyntaxErrorReportsTwoLinesAndRunsNothing)
{
    EXPECT_FALSE(Load("broken.nut", "print(\"top\");\nlocal x = ;\n"));
    EXPECT_EQ(Text(), "[!] SqCompilerError Compilation error, broken.nut(2): expression expected\n"
                      "[!] SqCompile Failed to compile buffer in script 'broken.nut'.\n");
    EXPECT_FALSE(master.AddScript("broken.nut"));
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_TRUE(master.IsOk());
}

TEST_F(ScriptMaster, EmptyScriptFailsCompilation)
{
    EXPECT_FALSE(Load("empty.nut", ""));
    EXPECT_EQ(Text(), "[!] zScriptMaster::AddScript Script 'empty.nut' failed compilation.\n");
}

TEST_F(ScriptMaster, NoVmAndDegradedMasterLoadNothing)
{
    zScriptMaster stopped;
    EXPECT_FALSE(stopped.AddScript("x.nut"));
    EXPECT_EQ(Count("[!] zScriptMaster::AddScript Cannot compile script, VM not initialized."), 1u);
    master.SetOk(false);
    EXPECT_FALSE(Load("fine.nut", "print(\"ran\");\n"));
    EXPECT_EQ(Count("ran"), 0u);
    EXPECT_FALSE(master.AddScript(nullptr));
}

TEST_F(ScriptMaster, RuntimeErrorBlockPrintsWhateverTheVerbosity)
{
    ASSERT_TRUE(Load("rt.nut", "function inner() {\n"
                               "  throw \"boom\";\n"
                               "}\n"
                               "function outer() {\n"
                               "  inner();\n"
                               "}\n"));
    GlobalLog.VerbosityMask = 0;
    EXPECT_FALSE(Call("outer"));
    EXPECT_EQ(Text(), "[|] \n"
                      "[|] VM runtime error, execution stopped.\n"
                      "[|]     Error: boom\n"
                      "[|] \n"
                      "[|] Script call stack (Requested):\n"
                      "[|]     -> In function inner() ('rt.nut', Line 2).\n"
                      "[|]     -> Called from outer() ('rt.nut', Line 5).\n"
                      "[|] \n");
    EXPECT_FALSE(master.IsOk());
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    // Degraded: nothing more is loaded, but the call protocol still works.
    EXPECT_FALSE(Load("more.nut", "x <- 1;\n"));
    EXPECT_FALSE(Call("outer"));
    EXPECT_EQ(Count("VM runtime error, execution stopped."), 2u);
}

TEST_F(ScriptMaster, CallStackWithoutScriptFrame)
{
    SqPrintCallStack(v, nullptr);
    SqPrintCallStack(v, "Custom");
    EXPECT_EQ(Text(), "[|] \n[|] Script call stack (Requested):\n[|] \n"
                      "[|] \n[|] Script call stack (Custom):\n[|] \n");
}

// The handler runs even when the stack is full, every time: its reserve above
// the limit is given back after each report.
TEST_F(ScriptMaster, StackOverflowIsReportedEveryTime)
{
    ASSERT_TRUE(Load("deep.nut", "function Deep(n) { local r = Deep(n + 1); return r; }\n"
                                 "function Outer() { local r = Deep(0); return r; }\n"));
    for (size_t round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_FALSE(Call("Outer"));
        EXPECT_EQ(sq_gettop(v), 1);
        EXPECT_EQ(Count("[|] VM runtime error, execution stopped."), round);
        EXPECT_EQ(Count("[|]     Error: stack overflow"), round);
        EXPECT_EQ(Count("[|]     -> In function Deep() ('deep.nut', Line 1)."), round);
        EXPECT_EQ(Count("[|]     -> Called from Outer() ('deep.nut', Line 2)."), round);
        EXPECT_FALSE(master.IsOk());
    }
}

// Native "Started()": tells the test's other thread that the script runs.
struct Handshake {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
};
Handshake* handshake = nullptr;

SQInteger Started(HSQUIRRELVM)
{
    std::lock_guard<std::mutex> lock(handshake->mutex);
    handshake->started = true;
    handshake->changed.notify_all();
    return 0;
}

// A stop request from another thread ends a spinning script with a runtime
// error, reported as any other; without a VM it does nothing.
TEST_F(ScriptMaster, RequestStopEndsASpinningScript)
{
    Handshake shake;
    handshake = &shake;
    Register("Started", Started);
    ASSERT_TRUE(Load("spin.nut", "function Spin() {\n"
                                 "  Started();\n"
                                 "  while (true) {}\n"
                                 "}\n"));
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(shake.mutex);
        shake.changed.wait(lock, [&] { return shake.started; });
        master.RequestStop();
    });
    EXPECT_FALSE(Call("Spin"));
    watchdog.join();
    handshake = nullptr;
    EXPECT_EQ(Count("[|]     Error: script stopped: the run is ending"), 1u) << Text();
    EXPECT_EQ(Count("[|]     -> In function Spin() ('spin.nut', Line 3)."), 1u) << Text();
    EXPECT_FALSE(master.IsOk());
    master.StopVM();
    master.RequestStop();
}

// Native "Stack()": the call stack as the handle checks print it.
SQInteger PrintStack(HSQUIRRELVM v)
{
    SqPrintCallStack(v, "Test");
    return 0;
}

// A deep stack shows its innermost 24 and outermost 8 levels and counts the rest.
TEST_F(ScriptMaster, CallStackIsBounded)
{
    Register("Stack", PrintStack);
    ASSERT_TRUE(Load("down.nut", "function Down(n) {\n"
                                 "  if (n <= 1) { Stack(); return 0; }\n"
                                 "  local r = Down(n - 1); return r;\n"
                                 "}\n"
                                 "function Top(n) { local r = Down(n - 1); return r; }\n"));
    const struct {
        int depth;
        const char* hidden;
    } cases[] = {{32, nullptr}, {33, "(1 levels not shown)"}, {5000, "(4968 levels not shown)"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.depth);
        const size_t from = Lines().size();
        ASSERT_TRUE(master.SetupFunctionCall("Top"));
        sq_pushinteger(v, test.depth);
        ASSERT_TRUE(master.DoFunctionCall(1));
        const std::vector<std::string> all = Lines();
        const std::vector<std::string> lines(all.begin() + long(from), all.end());
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[1], "[|] Script call stack (Test):");
        EXPECT_EQ(lines[2], "[|]     -> In function Down() ('down.nut', Line 2).");
        EXPECT_EQ(lines[lines.size() - 2], "[|]     -> Called from Top() ('down.nut', Line 5).");
        const size_t shown = test.hidden ? 32 : size_t(test.depth);
        ASSERT_EQ(lines.size(), 3 + shown + (test.hidden ? 1 : 0)) << Text(from);
        if (test.hidden) {
            EXPECT_EQ(lines[2 + 24], std::string("[|]     ... ") + test.hidden);
            EXPECT_EQ(lines[2 + 23], "[|]     -> Called from Down() ('down.nut', Line 3).");
        }
    }
}

TEST_F(ScriptMaster, PrintGoesToScriptLinesAndIsBounded)
{
    ASSERT_TRUE(Load("print.nut", "print(\"one\\ntwo\\n\");\n"
                                  "local s = \"\"; for (local i = 0; i < 5000; ++i) s += \"x\";\n"
                                  "print(s);\n"));
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[S] one");
    EXPECT_EQ(lines[1], "[S] two");
    EXPECT_EQ(lines[2], "[S] " + std::string(1023, 'x'));
    // The script category follows the verbosity mask.
    GlobalLog.VerbosityMask = 0xFF & ~zLogStream::Script;
    ASSERT_TRUE(Load("quiet.nut", "print(\"hidden\");\n"));
    EXPECT_EQ(Count("hidden"), 0u);
}

TEST_F(ScriptMaster, DefinesBecomeRootTableVariables)
{
    zProperty speed("speed", 2.5f);
    zProperty level("level", 7);
    zProperty mode("mode", "fast");
    zProperty untyped("untyped", 1);
    untyped.ResetType();
    const std::pair<const zProperty*, bool> cases[] = {
        {&speed, true}, {&level, true}, {&mode, true}, {&untyped, false}};
    for (const auto& [property, accepted] : cases) {
        SCOPED_TRACE(property->GetName().Get());
        EXPECT_EQ(master.SetGlobalFromProperty(*property), accepted);
        EXPECT_EQ(sq_gettop(v), 1);
    }
    ASSERT_TRUE(Load("defines.nut", "foreach (n in [\"speed\", \"level\", \"mode\", \"untyped\"])\n"
                                    "  if (n in getroottable()) print(n + \" \" + typeof getroottable()[n] + \" \" + "
                                    "getroottable()[n]);\n"));
    EXPECT_EQ(Text(), "[S] speed float 2.5\n[S] level integer 7\n[S] mode string fast\n");
    // A define replaces an existing variable.
    EXPECT_TRUE(master.SetGlobalFromProperty(zProperty("level", "high")));
    ASSERT_TRUE(Load("again.nut", "print(typeof level);\n"));
    EXPECT_EQ(Count("[S] string"), 1u);
}

TEST_F(ScriptMaster, CallProtocolFindsFunctionsAndKeepsResults)
{
    ASSERT_TRUE(Load("calls.nut", "function add(a, b) { return a + b; }\n"
                                  "class Box { v = 3; function get() { return v; } }\n"
                                  "box <- Box();\n"));
    const SQInteger top = sq_gettop(v);
    EXPECT_FALSE(master.SetupFunctionCall("missing"));
    EXPECT_EQ(sq_gettop(v), top);
    EXPECT_TRUE(Lines().empty());

    ASSERT_TRUE(master.SetupFunctionCall("add"));
    sq_pushinteger(v, 40);
    sq_pushinteger(v, 2);
    ASSERT_TRUE(master.DoFunctionCall(2, true));
    SQInteger sum = 0;
    sq_getinteger(v, -1, &sum);
    EXPECT_EQ(sum, 42);
    sq_pop(v, 1);
    EXPECT_EQ(sq_gettop(v), top);

    // A function object and a this object given directly.
    HSQOBJECT box;
    HSQOBJECT get;
    sq_pushroottable(v);
    sq_pushstring(v, "box", -1);
    sq_get(v, -2);
    sq_getstackobj(v, -1, &box);
    sq_pushstring(v, "get", -1);
    sq_get(v, -2);
    sq_getstackobj(v, -1, &get);
    ASSERT_TRUE(master.SetupFunctionCall(nullptr, &get, &box));
    ASSERT_TRUE(master.DoFunctionCall(0, true));
    SQInteger value = 0;
    sq_getinteger(v, -1, &value);
    EXPECT_EQ(value, 3);
    sq_settop(v, top);

    // Without keep the stack is back where it was.
    ASSERT_TRUE(master.SetupFunctionCall("add"));
    sq_pushinteger(v, 1);
    sq_pushinteger(v, 1);
    ASSERT_TRUE(master.DoFunctionCall(2));
    EXPECT_EQ(sq_gettop(v), top);
}

TEST_F(ScriptMaster, StopAndRestart)
{
    ASSERT_TRUE(Load("a.nut", "x <- 1;\n"));
    EXPECT_FALSE(master.StartVM());
    master.StopVM();
    EXPECT_EQ(master.GetVM(), nullptr);
    EXPECT_FALSE(master.IsOk());
    master.StopVM();
    EXPECT_FALSE(master.SetupFunctionCall("x"));
    EXPECT_EQ(Count("Could not setup function call, script master is not initialized."), 1u);
    ASSERT_TRUE(master.StartVM());
    v = master.GetVM();
    // The loaded list went with the old VM.
    EXPECT_TRUE(master.AddScript("a.nut"));
    EXPECT_TRUE(Load("b.nut", "print(x);\n"));
    EXPECT_EQ(Count("[S] 1"), 1u);
}

TEST_F(ScriptMaster, StandardLibrariesAreInTheRootTable)
{
    ASSERT_TRUE(Load("libs.nut", "foreach (n in [\"blob\", \"file\", \"clock\", \"sqrt\", \"format\"])\n"
                                 "  print(n + \" \" + (n in getroottable()));\n"));
    EXPECT_EQ(Text(), "[S] blob true\n[S] file true\n[S] clock true\n[S] sqrt true\n[S] format true\n");
}

} // namespace

namespace {

TEST_F(ScriptMaster, SqCompileReportsEveryFailure)
{
    dir.Write("good.nut", "ran <- true;\n");
    dir.Write("bad.nut", "}\n");
    dir.Write("throws.nut", "throw \"top\";\n");
    const std::pair<const char*, bool> cases[] = {
        {"good.nut", true}, {"bad.nut", false}, {"missing.nut", false}, {"throws.nut", true}};
    for (const auto& [path, result] : cases) {
        EXPECT_EQ(SqCompile(v, path), result) << path;
        EXPECT_EQ(sq_gettop(v), 1) << path;
    }
    // A top level that throws ran, and its error went through the handler.
    EXPECT_EQ(Count("[|]     Error: top"), 1u);
    EXPECT_EQ(Count("Failed to compile buffer in script 'bad.nut'."), 1u);
}

TEST_F(ScriptMaster, AdoptsAnExistingVm)
{
    HSQUIRRELVM own = sq_open(64);
    zScriptMaster adopter;
    ASSERT_TRUE(adopter.StartVM(own));
    EXPECT_EQ(adopter.GetVM(), own);
    EXPECT_TRUE(adopter.IsOk());
    // Adopted unchanged: no handlers, no libraries, no foreign pointer.
    EXPECT_EQ(SqGetScriptMaster(own), nullptr);
    EXPECT_EQ(sq_getprintfunc(own), nullptr);
    dir.Write("x.nut", "x <- 1;\n");
    EXPECT_TRUE(adopter.AddScript("x.nut"));
    adopter.StopVM();
    EXPECT_EQ(adopter.GetVM(), nullptr);
}

} // namespace
