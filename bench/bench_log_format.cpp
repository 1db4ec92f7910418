#include "framework/system/zLogStream.h"

#include <benchmark/benchmark.h>

namespace {

class DiscardSink : public zLogSink {
public:
    void Write(const char* line) override { benchmark::DoNotOptimize(line); }
};

} // namespace

// One error line in the system's form: prefix, method, place, message with numbers.
static void BM_LogErrorLine(benchmark::State& state)
{
    DiscardSink sink;
    zLogSink* previous = GlobalLog.SetSink(&sink);
    for (auto _ : state)
        LogError("zGeometry::Validate") << "Polygon " << 1234 << " has " << 3.5f << " corners, expected " << true << ".\n";
    GlobalLog.SetSink(previous);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogErrorLine);

// A line dropped by the verbosity mask still costs its formatting.
static void BM_LogFilteredLine(benchmark::State& state)
{
    DiscardSink sink;
    zLogSink* previous = GlobalLog.SetSink(&sink);
    const uint8_t mask = GlobalLog.VerbosityMask;
    GlobalLog.VerbosityMask = 0;
    for (auto _ : state)
        LogWarning("zLinkedListId::Find") << "LListID failed to find '" << "Name" << "'.\n";
    GlobalLog.VerbosityMask = mask;
    GlobalLog.SetSink(previous);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogFilteredLine);
