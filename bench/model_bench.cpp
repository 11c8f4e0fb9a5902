// Loading and saving through the document model, beside the services' bare parse of the same bytes.
//
// The full load path is parse, the services' own XML text, the line reader and the entry tree; saving is the
// writer's XML text or the binary form written from the entry tree. "EntryBytes" measures what one scalar
// entry costs in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "BenchDocument.h"
#include "model/PlistDocument.h"
#include "platform/plist/PropertyList.h"

namespace {

struct Files {
    std::string xmlPath, binaryPath;
    std::string xml, binary;
};

// The large document written once to temporary files in both formats.
const Files& files(int records) {
    static std::map<int, Files> cache;
    auto it = cache.find(records);
    if (it != cache.end()) return it->second;
    plist::Value doc = bench::makeDocument(records);
    Files f;
    f.xml = *plist::serialize(doc, plist::Format::Xml);
    f.binary = *plist::serialize(doc, plist::Format::Binary);
    std::string base = "/tmp/vantrel-model-bench-" + std::to_string(getpid()) + "-" + std::to_string(records);
    f.xmlPath = base + ".xml";
    f.binaryPath = base + ".bplist";
    std::ofstream(f.xmlPath, std::ios::binary) << f.xml;
    std::ofstream(f.binaryPath, std::ios::binary) << f.binary;
    return cache.emplace(records, std::move(f)).first->second;
}

void load(benchmark::State& state, bool binary) {
    const Files& f = files(int(state.range(0)));
    for (auto _ : state) {
        model::PlistDocument doc(binary ? f.binaryPath : f.xmlPath);
        auto outcome = doc.openPlistFile();
        if (!outcome.ok) state.SkipWithError(outcome.reason.c_str());
        benchmark::DoNotOptimize(doc.root());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(binary ? f.binary.size() : f.xml.size()));
}

void bareParse(benchmark::State& state, bool binary) {
    const Files& f = files(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(plist::parse(binary ? f.binary : f.xml));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(binary ? f.binary.size() : f.xml.size()));
}

void save(benchmark::State& state, bool binary) {
    const Files& f = files(int(state.range(0)));
    model::PlistDocument doc(f.xmlPath);
    doc.openPlistFile();
    for (auto _ : state) {
        auto bytes = binary ? doc.binaryData() : doc.plistString();
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_ModelLoadXml(benchmark::State& s) {
    load(s, false);
}
void BM_ModelLoadBinary(benchmark::State& s) {
    load(s, true);
}
void BM_ServicesParseXml(benchmark::State& s) {
    bareParse(s, false);
}
void BM_ServicesParseBinary(benchmark::State& s) {
    bareParse(s, true);
}
void BM_ModelSaveXml(benchmark::State& s) {
    save(s, false);
}
void BM_ModelSaveBinary(benchmark::State& s) {
    save(s, true);
}

// Resident memory of the process, from the kernel's count of its pages (entries come from a pool of their
// own, which the allocator's statistics do not see).
size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t total = 0, resident = 0;
    statm >> total >> resident;
    return resident * size_t(sysconf(_SC_PAGESIZE));
}

void BM_EntryBytes(benchmark::State& state) {
    const int n = int(state.range(0));
    double perEntry = 0;
    for (auto _ : state) {
        model::Children kids;
        kids.reserve(size_t(n));
        size_t before = residentBytes();
        for (int i = 0; i < n; ++i)
            kids.push_back(model::Entry::make("", model::EntryType::Number,
                                              model::Number::fromInteger(plist::Integer::fromSigned(i)), i));
        // The parent's reference to each entry is counted too: its pages are touched as the list fills.
        perEntry = double(residentBytes() - before) / n;
        auto root = model::Entry::makeContainer("", model::EntryType::Array);
        root->setChildren(std::move(kids));
    }
    state.counters["bytes_per_scalar_entry"] = perEntry;
}

void sizes(benchmark::internal::Benchmark* b) {
    b->ArgName("records")->Arg(2000)->Arg(bench::kLargeRecordCount)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_ModelLoadXml)->Apply(sizes);
BENCHMARK(BM_ServicesParseXml)->Apply(sizes);
BENCHMARK(BM_ModelLoadBinary)->Apply(sizes);
BENCHMARK(BM_ServicesParseBinary)->Apply(sizes);
BENCHMARK(BM_ModelSaveXml)->Apply(sizes);
BENCHMARK(BM_ModelSaveBinary)->Apply(sizes);
BENCHMARK(BM_EntryBytes)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
