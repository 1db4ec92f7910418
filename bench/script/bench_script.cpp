// Costs of the script host's two hot paths:
// - a call from C++ into a script unit's cached member (the per-frame
//   callbacks: instance, owner handle and one float);
// - a script loop of 1,000,000 calls to a registered native taking a handle
//   and two floats, against the same loop calling a script function of the
//   same arity: with an empty body (the cheapest script call there is) and
//   with the native's work (two sums stored in a table).
// Two more loops show the parts of the native call: a native of the same mask
// that returns at once (the VM's share), and the native with a non-empty
// stale-handle registry. The run ends with the native/script ratios.
#include "framework/system/zLogStream.h"
#include "manager_binding/SqBinding.h"
#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"
#include "script/zScriptUnit.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Body {
    float x = 0.0f;
    float y = 0.0f;
};

// Move(handle, x, y): what the item families do with a handle and two floats.
SQInteger Move(HSQUIRRELVM v)
{
    Body* body = nullptr;
    if (!SqGetSafePtr(v, 2, &body, SqPtrItem))
        return sq_suspendvm(v);
    SQFloat x = 0.0f;
    SQFloat y = 0.0f;
    sq_getfloat(v, 3, &x);
    sq_getfloat(v, 4, &y);
    if (body != nullptr) {
        body->x += x;
        body->y += y;
    }
    return 0;
}

SQInteger Nop(HSQUIRRELVM) { return 0; }

class NullSink : public zLogSink {
public:
    void Write(const char*) override {}
};

const char* const kScript = "function Native(h, n) { for (local i = 0; i < n; ++i) Move(h, 0.5, 0.25); }\n"
                            "function Nops(h, n) { for (local i = 0; i < n; ++i) Nop(h, 0.5, 0.25); }\n"
                            "function MoveScript(h, x, y) {}\n"
                            "function Script(h, n) { for (local i = 0; i < n; ++i) MoveScript(h, 0.5, 0.25); }\n"
                            "body <- {x = 0.0, y = 0.0};\n"
                            "function MoveWork(h, x, y) { body.x += x; body.y += y; }\n"
                            "function ScriptWork(h, n) { for (local i = 0; i < n; ++i) MoveWork(h, 0.5, 0.25); }\n"
                            "function Empty(h, n) { for (local i = 0; i < n; ++i) {} }\n"
                            "class Unit { count = 0; function OnUpdate(owner, dt) { count++; } }\n";

// A master with the bindings, Move and the script above.
struct Host {
    Host()
    {
        previous = GlobalLog.SetSink(&sink);
        master.StartVM();
        v = master.GetVM();
        SqRegisterBindings(v);
        SqRegisterFunction(v, Move, "Move", "x|tuff");
        SqRegisterFunction(v, Nop, "Nop", "x|tuff");
        sq_compilebuffer(v, kScript, SQInteger(std::char_traits<char>::length(kScript)), "bench", SQTrue);
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
        sq_pop(v, 1);
    }
    ~Host()
    {
        master.StopVM();
        GlobalLog.SetSink(previous);
    }

    // Calls a loop function of the script with a handle to the body.
    void Loop(const char* name, int count)
    {
        master.SetupFunctionCall(name);
        SqPushSafePtr(v, &body, SqPtrItem);
        sq_pushinteger(v, count);
        master.DoFunctionCall(2);
    }

    NullSink sink;
    zLogSink* previous = nullptr;
    zScriptMaster master;
    HSQUIRRELVM v = nullptr;
    Body body;
};

constexpr int kCalls = 1000000;

void RunLoop(benchmark::State& state, const char* name)
{
    Host host;
    for (auto _ : state)
        host.Loop(name, kCalls);
    state.SetItemsProcessed(state.iterations() * kCalls);
}

void BM_NativeCallLoop(benchmark::State& state) { RunLoop(state, "Native"); }
void BM_ScriptCallLoop(benchmark::State& state) { RunLoop(state, "Script"); }
void BM_EmptyLoop(benchmark::State& state) { RunLoop(state, "Empty"); }
void BM_ScriptWorkCallLoop(benchmark::State& state) { RunLoop(state, "ScriptWork"); }
void BM_NopNativeCallLoop(benchmark::State& state) { RunLoop(state, "Nops"); }

// The same native loop once the stale-handle registry holds entries, so every
// handle fetch does a lookup.
void BM_NativeCallLoopWithRegistry(benchmark::State& state)
{
    std::vector<Body> deleted(1000);
    for (const Body& b : deleted)
        SqSafePtrInvalidate(&b);
    RunLoop(state, "Native");
}

void BM_UnitCachedCall(benchmark::State& state)
{
    Host host;
    // A unit opens its class from a script file.
    const char path[] = "/tmp/tavrin_bench_unit.nut";
    if (FILE* file = std::fopen(path, "w")) {
        std::fputs("class BenchUnit { count = 0; function OnUpdate(owner, dt) { count++; } }\n", file);
        std::fclose(file);
    }
    zScriptUnit unit(&host.master);
    unit.Script = path;
    unit.Class = "BenchUnit";
    Body owner;
    unit.SetOwner(&owner, SqPtrItem);
    const bool opened = unit.OpenScriptUnit();
    std::remove(path);
    HSQOBJECT onUpdate;
    if (!opened || !unit.GetInstanceMember("OnUpdate", onUpdate)) {
        state.SkipWithError("the unit did not open");
        return;
    }
    for (auto _ : state) {
        unit.SetupFunctionCall(nullptr, &onUpdate);
        sq_pushfloat(host.v, 0.016f);
        unit.DoFunctionCall(1);
    }
    unit.ReleaseMember(onUpdate);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_UnitCachedCall);
BENCHMARK(BM_EmptyLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptWorkCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NopNativeCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NativeCallLoopWithRegistry)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's real time per iteration (seconds) for the closing
// ratios: the median when the run is repeated, else the single run's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                seconds[name] = run.GetAdjustedRealTime() * TimeUnitSeconds(run.time_unit);
            else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && run.repetitions <= 1)
                seconds[name] = run.real_accumulated_time / double(run.iterations);
        }
    }

    static double TimeUnitSeconds(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-9;
        case benchmark::kMicrosecond: return 1e-6;
        case benchmark::kMillisecond: return 1e-3;
        default: return 1.0;
        }
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& s = reporter.seconds;
    const auto perCall = [&](const char* name) { return s[name] / kCalls * 1e9; };
    const double native = perCall("BM_NativeCallLoop");
    const double script = perCall("BM_ScriptCallLoop");
    const double work = perCall("BM_ScriptWorkCallLoop");
    const double loop = perCall("BM_EmptyLoop");
    if (native > 0.0 && script > loop && work > loop) {
        std::printf("\nper call (loop included): native %.1f ns, script function %.1f ns (empty body), %.1f ns "
                    "(same work); loop alone %.1f ns; native returning at once %.1f ns; native with a non-empty "
                    "stale-handle registry %.1f ns\n",
                    native, script, work, loop, perCall("BM_NopNativeCallLoop"),
                    perCall("BM_NativeCallLoopWithRegistry"));
        std::printf("native/script call ratio: %.2f against the empty body, %.2f against the same work "
                    "(loop excluded: %.2f, %.2f)\n",
                    native / script, native / work, (native - loop) / (script - loop), (native - loop) / (work - loop));
    }
    benchmark::Shutdown();
    return 0;
}
