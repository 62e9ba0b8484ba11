// What the benchmarks that set our code against plain code share: a scratch folder per run, CPU
// clocks, resident memory and the peak of one piece of work (ResidentPeak), the allocator
// settings both sides run with, and the table of each pair's best iteration (wall and CPU time)
// printed at exit, and comparisons run in alternating blocks (comparePaired). Header-only: each
// benchmark is its own program. Used from the benchmark thread only (ResidentPeak's sampling
// thread is its own).
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zqbench {

// A folder under the temporary directory for this run (prefix + process id), made on first use and
// kept for the whole run; removeRunFolder() deletes it at exit.
inline std::filesystem::path runFolder(const std::string& prefix) {
    static const std::filesystem::path folder = [&prefix] {
        auto p = std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return folder;
}
inline void removeRunFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
// Work that runs entirely on the benchmark thread is measured by this thread's CPU time: on a
// loaded machine it is the steadier figure.
inline double threadCPU() {
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}
// Work spread over workers, the main loop and an in-process server is measured by the process's.
inline double processCPU() {
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

inline double residentMB() {
    long pages = 0, resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}
inline double peakResidentMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A "Vm...:" line of /proc/self/status, in MB; 0 when absent.
inline double statusMB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, length, key) == 0) return std::atof(line.c_str() + length) / 1024.0;
    }
    return 0;
}

// The peak resident memory of one piece of work above the resident memory when it began, from
// construction to increaseMB(). Free heap is given back to the system first (malloc_trim), so
// that a piece of work does not run in pages another one left resident and both sides are
// measured alike. The kernel's high-water mark is reset through /proc/self/clear_refs and read
// as VmHWM; where the reset is refused, a thread samples VmRSS every millisecond instead (which
// can miss a peak shorter than that).
class ResidentPeak {
  public:
    ResidentPeak() {
        malloc_trim(0);
        baseline_ = statusMB("VmRSS:");
        int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
        exact_ = fd >= 0 && ::write(fd, "5", 1) == 1;
        if (fd >= 0) ::close(fd);
        if (!exact_) {
            sampled_ = baseline_;
            sampler_ = std::thread([this] {
                while (!stop_.load()) {
                    sampled_ = std::max(sampled_, statusMB("VmRSS:"));
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        }
    }
    ~ResidentPeak() { stopSampling(); }
    ResidentPeak(const ResidentPeak&) = delete;
    ResidentPeak& operator=(const ResidentPeak&) = delete;

    double increaseMB() {
        stopSampling();
        const double peak = exact_ ? statusMB("VmHWM:") : std::max(sampled_, statusMB("VmRSS:"));
        return std::max(0.0, peak - baseline_);
    }
    // True when the kernel's high-water mark was used, false for sampling.
    bool exact() const { return exact_; }

  private:
    void stopSampling() {
        stop_.store(true);
        if (sampler_.joinable()) sampler_.join();
    }

    double baseline_ = 0;
    bool exact_ = false;
    double sampled_ = 0;  // written by the sampler until it is joined
    std::atomic<bool> stop_{false};
    std::thread sampler_;
};

// Iterations of each timed piece of work at 1,000 / 10,000 / 100,000 rows: `fallback`, or
// ZQ_BENCH_ITERATIONS when set (more iterations make each side's best iteration steadier on a
// loaded machine). Only the best iteration of each side is compared.
inline void rowSizes(benchmark::internal::Benchmark* b, int fallback) {
    const char* iterations = std::getenv("ZQ_BENCH_ITERATIONS");
    const int count = iterations ? std::atoi(iterations) : 0;
    b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(count > 0 ? count : fallback);
    b->Arg(1000)->Arg(10000)->Arg(100000);
}

// The same allocator settings for both sides: no trimming or mmap thresholds moving mid-run.
inline void steadyAllocator() {
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
}

// The best iteration of our side ("store") and of the plain side for one piece of work at one size.
struct Best {
    double store = 0, plain = 0;        // wall seconds
    double storeCPU = 0, plainCPU = 0;  // CPU seconds, by the clock the benchmark measures with
    bool complete() const { return store > 0 && plain > 0; }
};
using BestTable = std::map<std::pair<std::string, int>, Best>;  // by (work, rows)

inline BestTable& bestTimes() {
    static BestTable table;
    return table;
}

inline void recordBest(const std::string& work, int rows, bool plain, double wall, double cpu) {
    Best& best = bestTimes()[{work, rows}];
    double& slot = plain ? best.plain : best.store;
    if (slot == 0 || wall < slot) slot = wall;
    double& cpuSlot = plain ? best.plainCPU : best.storeCPU;
    if (cpuSlot == 0 || cpu < cpuSlot) cpuSlot = cpu;
}

// Runs `body` as one manual-time iteration of `state` (whose first argument is the row count) and
// records it as the side's time for `work`; `cpuClock` is threadCPU or processCPU.
template <typename Work>
void timed(benchmark::State& state, const std::string& work, bool plain, double (*cpuClock)(),
           Work&& body) {
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuClock();
    body();
    double cpu = cpuClock() - cpuStart;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(wall);
    recordBest(work, static_cast<int>(state.range(0)), plain, wall, cpu);
}

// Prints one line per piece of work and size that both sides ran: both times and the ratios of
// ours to plain. `storeLabel` names our side's columns ("store", "save"); `goalOf`, when given,
// adds the goal of each piece of work; `skip` leaves pieces of work out of this table.
template <typename GoalOf, typename Skip>
void printRatios(const char* storeLabel, GoalOf&& goalOf, Skip&& skip) {
    std::string wall = std::string(storeLabel) + " ms", cpu = std::string(storeLabel) + " cpu ms";
    std::printf("\n%-18s %8s %10s %10s %7s %7s %12s %12s %7s\n", "work", "rows", "plain ms",
                wall.c_str(), "ratio", "goal", "plain cpu ms", cpu.c_str(), "ratio");
    for (const auto& [key, best] : bestTimes()) {
        if (!best.complete() || skip(key.first)) continue;
        std::printf("%-18s %8d %10.2f %10.2f %7.2f %7s %12.2f %12.2f %7.2f\n", key.first.c_str(),
                    key.second, best.plain * 1e3, best.store * 1e3, best.store / best.plain,
                    goalOf(key.first), best.plainCPU * 1e3, best.storeCPU * 1e3,
                    best.storeCPU / best.plainCPU);
    }
}
inline void printRatios(const char* storeLabel, const char* goal) {
    printRatios(
        storeLabel, [goal](const std::string&) { return goal; },
        [](const std::string&) { return false; });
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Two ways of doing the same work, timed in alternating blocks so that both sides meet the
// machine in the same state: on a shared machine, speed drifts by tens of percent over seconds,
// and a ratio of two runs taken seconds apart measures the drift as much as the code.
struct PairedFigures {
    double plainSeconds = 0;     // per call: the median over the plain side's blocks
    double measuredSeconds = 0;  // per call: the median over the measured side's blocks
    double ratio = 0;            // the median over the pairs of adjacent blocks of measured / plain
};

// The wall seconds `work` takes.
template <typename Work>
double secondsOf(Work&& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `pairs` pairs of calls of `plain` and `measured`, each returning the seconds it took; which side
// goes first alternates from pair to pair.
template <typename Plain, typename Measured>
PairedFigures alternatePairs(Plain&& plain, Measured&& measured, int pairs) {
    std::vector<double> plainTimes, measuredTimes, ratios;
    for (int i = 0; i < pairs; ++i) {
        double a = 0, b = 0;
        if (i % 2 == 0) {
            a = plain();
            b = measured();
        } else {
            b = measured();
            a = plain();
        }
        plainTimes.push_back(a);
        measuredTimes.push_back(b);
        ratios.push_back(b / a);
    }
    return {median(plainTimes), median(measuredTimes), median(ratios)};
}

// `pairs` pairs of blocks of about `block` each; which side goes first alternates from pair to
// pair. Each side's calls per block come from a first estimate after a warm-up call.
template <typename Plain, typename Measured>
PairedFigures comparePaired(Plain&& plain, Measured&& measured, int pairs,
                            std::chrono::duration<double> block) {
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    auto callsPerBlock = [&](auto& work) {
        work();
        int calls = 0;
        auto start = Clock::now();
        do {
            work();
            ++calls;
        } while (secondsSince(start) < block.count() / 4);
        return std::max(1, static_cast<int>(block.count() / (secondsSince(start) / calls)));
    };
    auto timeBlock = [&](auto& work, int calls) {
        return secondsOf([&] {
                   for (int i = 0; i < calls; ++i) work();
               }) /
               calls;
    };
    const int plainCalls = callsPerBlock(plain);
    const int measuredCalls = callsPerBlock(measured);
    return alternatePairs([&] { return timeBlock(plain, plainCalls); },
                          [&] { return timeBlock(measured, measuredCalls); }, pairs);
}

// As comparePaired, for work that needs fresh state each call (an empty cache): each side times
// its own call and returns the seconds, so that its set-up stays out; one call per side and pair.
template <typename Plain, typename Measured>
PairedFigures comparePairedCalls(Plain&& plain, Measured&& measured, int pairs) {
    plain();
    measured();
    return alternatePairs(plain, measured, pairs);
}

}  // namespace zqbench
