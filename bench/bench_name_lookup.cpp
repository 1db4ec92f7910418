#include "framework/data_structure/zLinkedList.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// zLinkedListId::Find over 1,000 named entries, looking up every name in turn.
static void BM_LinkedListIdFind(benchmark::State& state)
{
    const int count = int(state.range(0));
    zLinkedListId list;
    std::vector<zString> keys;
    for (int i = 0; i < count; ++i) {
        const std::string name = "Item_" + std::to_string(i * 7919);
        list.Append(new zLinkedListIdEntry(name.c_str()));
        keys.emplace_back(name.c_str());
    }
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.Find(keys[next]));
        next = (next + 1) % keys.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LinkedListIdFind)->Arg(1000);
