// Sections and alphabetic index of a cached list, against a plain loop that only reads each row's
// index string, in the same run (only ratios hold across runs):
//  - names as a server sorts them, about one in ten starting beyond ASCII (É, Ø, Ł, 東...);
//  - every name starting beyond ASCII, so that every row goes through ICU's break rules.
// Run with --benchmark_out=<file> --benchmark_out_format=json to keep the figures.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"
#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

namespace {

// Rows {"objectID", "zqname"} with the names in byte order; accentedEvery = 1 makes every name
// start beyond ASCII.
platform::Value makeRows(int count, int accentedEvery) {
    static const char* const kPlain[] = {"Adams",  "baker", "Carter", "Davis", "Evans",
                                         "Foster", "Green", "Hughes", "Irwin", "Jones",
                                         "King",   "lopez", "Moore",  "Nash",  "Owens",
                                         "Price",  "Quinn", "Reed",   "Smith", "Turner"};
    static const char* const kAccented[] = {"Élodie",      "Øystein", "Łukasz", "Ángel",
                                            "e\u0301mile", "東京",    "Ölfeld", "Šimon"};
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string name =
            i % accentedEvery == 0 ? kAccented[(i / accentedEvery) % 8] : kPlain[i % 20];
        names.push_back(name + " " + std::to_string(i));
    }
    std::sort(names.begin(), names.end());
    auto entity = platform::EntityDescription::create("Customer");
    platform::Array rows;
    rows.reserve(names.size());
    for (auto& name : names) {
        rows.emplace_back(platform::Dictionary{
            {"objectID", platform::Value::objectID(platform::ManagedObjectID::temporary(entity))},
            {"zqname", std::move(name)}});
    }
    return platform::Value(std::move(rows));
}

const platform::Value& rowsFor(int count, int accentedEvery) {
    static std::map<std::pair<int, int>, platform::Value> cache;
    auto& rows = cache[{count, accentedEvery}];
    if (rows.isAbsent()) rows = makeRows(count, accentedEvery);
    return rows;
}

void plainLoop(benchmark::State& state, int accentedEvery) {
    const auto& rows = rowsFor(static_cast<int>(state.range(0)), accentedEvery);
    for (auto _ : state) {
        size_t sum = 0;
        for (const auto& row : *rows.array()) {
            const platform::Value* name = row.dictionary()->find("zqname");
            if (name && name->string()) sum += static_cast<unsigned char>((*name->string())[0]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sections(benchmark::State& state, int accentedEvery) {
    const auto& rows = rowsFor(static_cast<int>(state.range(0)), accentedEvery);
    const auto index =
        platform::AttributeDescription::create("zqname", platform::AttributeType::String);
    for (auto _ : state) {
        auto result = ZQEntityDataCacheSectionsBuilder::sectionsFromRows(rows, {}, index);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Index_PlainLoop(benchmark::State& state) {
    plainLoop(state, 10);
}
void BM_Index_Sections(benchmark::State& state) {
    sections(state, 10);
}
void BM_IndexAccented_PlainLoop(benchmark::State& state) {
    plainLoop(state, 1);
}
void BM_IndexAccented_Sections(benchmark::State& state) {
    sections(state, 1);
}

BENCHMARK(BM_Index_PlainLoop)->Arg(1000)->Arg(100000);
BENCHMARK(BM_Index_Sections)->Arg(1000)->Arg(100000);
BENCHMARK(BM_IndexAccented_PlainLoop)->Arg(100000);
BENCHMARK(BM_IndexAccented_Sections)->Arg(100000);

// Prints each builder run's time as a multiple of the plain loop over the same rows.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        ratio("BM_Index_Sections/1000", "BM_Index_PlainLoop/1000");
        ratio("BM_Index_Sections/100000", "BM_Index_PlainLoop/100000");
        ratio("BM_IndexAccented_Sections/100000", "BM_IndexAccented_PlainLoop/100000");
    }

  private:
    void ratio(const std::string& measured, const std::string& plain) {
        auto m = times_.find(measured);
        auto p = times_.find(plain);
        if (m == times_.end() || p == times_.end() || p->second <= 0) return;
        std::printf("ratio %-36s %.1fx the plain loop\n", measured.c_str(), m->second / p->second);
    }
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    // The same allocator settings for both sides: no trimming or mmap thresholds moving mid-run.
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
