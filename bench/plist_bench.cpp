// Reading and writing both formats on generated documents, from a few thousand values to about 1.5 million.
// Bytes processed count the XML or binary text read or written.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "BenchDocument.h"
#include "platform/plist/PropertyList.h"

namespace {

struct Fixture {
    plist::Value value;
    std::string xml;
    std::string binary;
    size_t values = 0;
};

// Documents are made once per size and shared by all benchmarks of that size.
const Fixture* fixture(int records) {
    static std::map<int, std::unique_ptr<Fixture>> made;
    auto& f = made[records];
    if (!f) {
        f = std::make_unique<Fixture>();
        f->value = bench::makeDocument(records);
        f->values = bench::countValues(f->value);
        auto xml = plist::serialize(f->value, plist::Format::Xml);
        auto binary = plist::serialize(f->value, plist::Format::Binary);
        if (!xml || !binary) return nullptr;
        f->xml = std::move(*xml);
        f->binary = std::move(*binary);
    }
    return f.get();
}

void report(benchmark::State& state, const Fixture& f, size_t bytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["values"] = double(f.values);
    state.counters["bytes"] = double(bytes);
}

void parse(benchmark::State& state, std::string Fixture::*text) {
    const Fixture* f = fixture(int(state.range(0)));
    if (!f) return state.SkipWithError("the document could not be written");
    const std::string& bytes = f->*text;
    for (auto _ : state) {
        auto parsed = plist::parse(bytes);
        if (!parsed) return state.SkipWithError(parsed.error().message.c_str());
        benchmark::DoNotOptimize(parsed);
    }
    report(state, *f, bytes.size());
}

void serialize(benchmark::State& state, plist::Format format) {
    const Fixture* f = fixture(int(state.range(0)));
    if (!f) return state.SkipWithError("the document could not be written");
    size_t bytes = 0;
    for (auto _ : state) {
        auto out = plist::serialize(f->value, format);
        if (!out) return state.SkipWithError(out.error().message.c_str());
        bytes = out->size();
        benchmark::DoNotOptimize(out);
    }
    report(state, *f, bytes);
}

void BM_ParseXml(benchmark::State& state) {
    parse(state, &Fixture::xml);
}
void BM_ParseBinary(benchmark::State& state) {
    parse(state, &Fixture::binary);
}
void BM_SerializeXml(benchmark::State& state) {
    serialize(state, plist::Format::Xml);
}
void BM_SerializeBinary(benchmark::State& state) {
    serialize(state, plist::Format::Binary);
}

// Records per document: about 1.6 thousand, 16 thousand, 165 thousand and 1.5 million values.
void sizes(benchmark::internal::Benchmark* b) {
    b->ArgName("records")->Arg(60)->Arg(600)->Arg(6000)->Arg(bench::kLargeRecordCount);
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ParseXml)->Apply(sizes);
BENCHMARK(BM_ParseBinary)->Apply(sizes);
BENCHMARK(BM_SerializeXml)->Apply(sizes);
BENCHMARK(BM_SerializeBinary)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
