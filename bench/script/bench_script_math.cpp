// Vector-heavy script loops on the engine's VM: each reported "per_op" time is
// one loop iteration (one statement of the loop body), the loop's own cost
// included; "EmptyLoop" gives that cost alone.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "manager_binding/SqBinding.h"
#include "script/zScriptMaster.h"

namespace {

constexpr int Iterations = 1000000;

const char* const Source = R"(
function EmptyLoop(n) {
    local a = null
    for (local i = 0; i < n; i++) a = i
    return a
}
function Id(x) { return x }
function ScriptCall(n) {
    local a = null
    local b = 1.0
    for (local i = 0; i < n; i++) a = Id(b)
    return a
}
function VectorLen(n) {
    local a = null
    local b = Vector(1.0, 2.0, 3.0)
    for (local i = 0; i < n; i++) a = b.Len()
    return a
}
function VectorScale(n) {
    local a = null
    local b = Vector(1.0, 2.0, 3.0)
    for (local i = 0; i < n; i++) a = b * 2.0
    return a
}
function VectorExpression(n) {
    local a = null
    local b = Vector(1.0, 2.0, 3.0)
    local c = Vector(0.5, -1.0, 2.0)
    local d = Vector(3.0, 1.0, -2.0)
    for (local i = 0; i < n; i++) a = b * 2.0 + c.Cross(d)
    return a
}
function Matrix4Multiply(n) {
    local r = null
    local m = Matrix4(1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 1.0, 0.0,  0.0, -1.0, 0.0, 0.0,  2.0, 3.0, 4.0, 1.0)
    local k = Matrix4(0.0, 1.0, 0.0, 0.0,  -1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 2.0, 0.0,  5.0, 6.0, 7.0, 1.0)
    for (local i = 0; i < n; i++) r = m * k
    return r
}
function VectorTransform(n) {
    local a = null
    local p = Vector(1.0, 2.0, 3.0)
    local m = Matrix4(1.0, 0.0, 0.0, 0.0,  0.0, 0.0, 1.0, 0.0,  0.0, -1.0, 0.0, 0.0,  2.0, 3.0, 4.0, 1.0)
    for (local i = 0; i < n; i++) a = p * m
    return a
}
)";

class ScriptVM {
public:
    ScriptVM()
    {
        if (!master.StartVM())
            std::abort();
        v = master.GetVM();
        SqRegisterBindings(v);
        if (SQ_FAILED(sq_compilebuffer(v, Source, static_cast<SQInteger>(std::char_traits<char>::length(Source)), "bench",
                                       SQTrue)))
            std::abort();
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue)))
            std::abort();
        sq_pop(v, 1);
    }

    void Run(const char* function, int n)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, function, -1);
        sq_get(v, -2);
        sq_pushroottable(v);
        sq_pushinteger(v, n);
        if (SQ_FAILED(sq_call(v, 2, SQTrue, SQTrue)))
            std::abort();
        sq_settop(v, top);
    }

private:
    zScriptMaster master;
    HSQUIRRELVM v = nullptr;
};

void RunLoop(benchmark::State& state, const char* function)
{
    ScriptVM vm;
    for (auto _ : state)
        vm.Run(function, Iterations);
    state.counters["per_op"] =
        benchmark::Counter(Iterations, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void EmptyLoop(benchmark::State& state)
{
    RunLoop(state, "EmptyLoop");
}

// a = Id(b) with a script function of the same arity as a native operator.
void ScriptCall(benchmark::State& state)
{
    RunLoop(state, "ScriptCall");
}

// A native method returning a float: the call alone.
void VectorLen(benchmark::State& state)
{
    RunLoop(state, "VectorLen");
}

// One operator, one new Vector.
void VectorScale(benchmark::State& state)
{
    RunLoop(state, "VectorScale");
}

// a = b * 2.0 + c.Cross(d): three native calls, three new Vectors.
void VectorExpression(benchmark::State& state)
{
    RunLoop(state, "VectorExpression");
}

void Matrix4Multiply(benchmark::State& state)
{
    RunLoop(state, "Matrix4Multiply");
}

void VectorTransform(benchmark::State& state)
{
    RunLoop(state, "VectorTransform");
}

} // namespace

BENCHMARK(EmptyLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(ScriptCall)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorLen)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorScale)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorExpression)->Unit(benchmark::kMillisecond);
BENCHMARK(Matrix4Multiply)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorTransform)->Unit(benchmark::kMillisecond);
