#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zAsciiEncoder.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A scene-like document: items with names, ids, vectors and materials, some of
// them carrying geometry in yEnc and UU binary blocks.
void BuildItem(zMetaTag* scene, int32_t index, uint32_t& seed)
{
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    zMetaTag* item = scene->CreateChild("MObject");
    item->CreateString("Name", ("Object_" + std::to_string(index) + " of the benchmark scene").c_str());
    item->CreateInteger("UID", int32_t(next()));
    item->CreateInteger("Flags", int32_t(next() & 0xFFFF));
    for (const char* vector : {"Position", "Scale"}) {
        zMetaTag* v = item->CreateChild(vector);
        v->CreateFloat("X", float(int32_t(next() % 200000) - 100000) / 64.0f);
        v->CreateFloat("Y", float(int32_t(next() % 200000) - 100000) / 64.0f);
        v->CreateFloat("Z", float(int32_t(next() % 200000) - 100000) / 64.0f);
    }
    zMetaTag* matrix = item->CreateChild("Mtx4");
    for (const char* row : {"R0", "R1", "R2", "R3"}) {
        zMetaTag* r = matrix->CreateChild(row);
        for (const char* c : {"X", "Y", "Z", "W"})
            r->CreateFloat(c, float(next() % 1000) / 1000.0f);
    }
    zMetaTag* material = item->CreateChild("Material");
    material->CreateString("Id", "Material_Default");
    material->CreateInteger("Lit", 1);
    material->CreateFloat("Opacity", 1.0f);
    material->CreateFloat("Glossiness", 0.25f);
    zMetaTag* stage = material->CreateChild("TextureStage");
    stage->CreateString("Texture", "textures/diffuse_map_01.tga");
    stage->CreateInteger("UV", 0);
    stage->CreateShortcut("Shared", "Library:Material;");
    if (index % 8 == 0) {
        zMetaTag* geometry = item->CreateChild("Geometry");
        std::vector<uint8_t> bytes(2048 + next() % 4096);
        for (uint8_t& b : bytes)
            b = uint8_t(next());
        zMetaTag* vertex = geometry->CreateChild("Vertex");
        vertex->CreateInteger("Count", int32_t(bytes.size() / 12));
        vertex->CreateBinary("Data", bytes.data(), int32_t(bytes.size()), zAsciiEncoder::EncodingYEnc);
        zMetaTag* uv = geometry->CreateChild("UV");
        uv->CreateBinary("Data", bytes.data(), int32_t(bytes.size() / 2), zAsciiEncoder::EncodingUU);
    }
}

struct Corpus {
    Corpus()
    {
        zMetaTag* library = document.AddRootTag(new zMetaTag("Library"));
        library->CreateString("Material", "shared");
        zMetaTag* scene = document.AddRootTag(new zMetaTag("Scene"));
        uint32_t seed = 12345;
        for (int32_t i = 0; text.size() < 50u * 1024u * 1024u; ++i) {
            BuildItem(scene, i, seed);
            if (i % 1024 == 1023) {
                text.clear();
                zMetaParser::SaveText(&document, text);
            }
        }
    }

    zMetaFile document;
    std::string text;
};

const Corpus& GetCorpus()
{
    static const Corpus corpus;
    return corpus;
}

void SetThroughput(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["MB/s"] = benchmark::Counter(double(bytes) / (1024.0 * 1024.0),
                                                benchmark::Counter::kIsIterationInvariantRate);
    state.counters["MB"] = double(bytes) / (1024.0 * 1024.0);
}

void BM_ZmlReader(benchmark::State& state)
{
    const Corpus& corpus = GetCorpus();
    for (auto _ : state) {
        zMetaFile document;
        const bool ok = zMetaParser::LoadText(corpus.text.data(), corpus.text.size(), &document, "bench.zml");
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("the generated document did not load");
        // The tree is destroyed outside the measured time.
        state.PauseTiming();
        document.Clear();
        state.ResumeTiming();
    }
    SetThroughput(state, corpus.text.size());
}

void BM_ZmlWriter(benchmark::State& state)
{
    const Corpus& corpus = GetCorpus();
    std::string text;
    text.reserve(corpus.text.size());
    for (auto _ : state) {
        text.clear();
        const bool ok = zMetaParser::SaveText(&corpus.document, text);
        benchmark::DoNotOptimize(text.data());
        if (!ok || text.size() != corpus.text.size())
            state.SkipWithError("the writer did not reproduce the document");
    }
    SetThroughput(state, corpus.text.size());
}

} // namespace

BENCHMARK(BM_ZmlReader)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZmlWriter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
