#include "tools/zqdl/ZqdlSoakCommand.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

// Under a sanitizer the allocator is the sanitizer's, and it tells its own figures.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZQDL_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZQDL_SANITIZER_ALLOCATOR 1
#endif
#endif
#ifdef ZQDL_SANITIZER_ALLOCATOR
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/MainLoop.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"
#include "tools/zqdl/ZqdlScratchFolder.hpp"
#include "tools/zqdl/ZqdlSoakLoad.hpp"

namespace zqdl {

namespace {

using Clock = std::chrono::steady_clock;

struct SoakOptions {
    double seconds = 60;
    size_t inFlight = 16;
    uint32_t seed = 1;
    double reportEvery = 10;
    double watchdog = 30;
};

// The memory check waits out the first minute: caches, pools and the allocator's arenas fill.
constexpr double kWarmUpSeconds = 60;
constexpr double kMaximumGrowth = 0.25;

std::optional<double> positiveNumber(const std::string& text) {
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(number > 0) || number > 1e7) return std::nullopt;
    return number;
}

std::string parseSoak(const std::vector<std::string>& words, SoakOptions* options) {
    // Every option takes a value.
    for (size_t i = 0; i < words.size(); i += 2) {
        const std::string& word = words[i];
        if (i + 1 >= words.size()) return "unknown option " + word + " for soak";
        std::optional<double> number = positiveNumber(words[i + 1]);
        if (!number) return word + " needs a positive number";
        if (word == "--seconds") {
            options->seconds = *number;
        } else if (word == "--in-flight") {
            options->inFlight = static_cast<size_t>(std::max(1.0, *number));
        } else if (word == "--seed") {
            options->seed = static_cast<uint32_t>(*number);
        } else if (word == "--report-every") {
            options->reportEvery = *number;
        } else if (word == "--watchdog") {
            options->watchdog = *number;
        } else {
            return "unknown option " + word + " for soak";
        }
    }
    return {};
}

// The process's resident memory in MB (VmRSS); 0 where /proc does not tell.
double residentMB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

// The bytes the process's allocator has handed out and not taken back, in MB: the figure that
// stays flat when nothing leaks (resident memory also holds what the allocator keeps for reuse,
// and under a sanitizer its shadow memory).
double heapMB() {
#ifdef ZQDL_SANITIZER_ALLOCATOR
    return static_cast<double>(__sanitizer_get_current_allocated_bytes()) / (1024.0 * 1024.0);
#else
    const struct mallinfo2 info = mallinfo2();  // every arena, and the chunks mapped on their own
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
#endif
}

// The customers of the sample data, as the saves with a photo send them back: the component's
// fields but the photo, which the upload gives.
std::vector<platform::Dictionary> sampleCustomers(const GlobalOptions& global,
                                                  const ZQApplicationModel& model) {
    auto component = model.businessComponentNamed("Customer");
    std::ifstream in(ZqdlEnvironment::modelPath(global).parent_path() / "data" /
                     "WorkWithCustomer.Customer.List.json");
    std::stringstream text;
    text << in.rdbuf();
    platform::Value rows = ZQJSON::parse(text.str()).value;
    std::vector<platform::Dictionary> customers;
    if (!component || !rows.isArray()) return customers;
    for (const platform::Value& row : *rows.array()) {
        if (!row.isDictionary()) continue;
        platform::Dictionary fields;
        for (const auto& attribute : component->rootLevel()->attributes()) {
            platform::Value value = row[attribute->name()];
            if (attribute->name() != "CustomerPhoto" && !value.isNothing())
                fields.set(attribute->name(), value);
        }
        customers.push_back(std::move(fields));
    }
    return customers;
}

// A 1x1 PNG, the photo every upload sends.
constexpr unsigned char kPhoto[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
    0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82,
};

// One memory figure over the run, sampled at every report.
struct MemoryFigures {
    double afterWarmUp = 0;  // the first sample after the first minute; 0 before
    double peakAfter = 0;
    double last = 0;
    void take(double sample, double elapsed) {
        last = sample;
        if (elapsed < kWarmUpSeconds) return;
        if (afterWarmUp == 0) afterWarmUp = sample;
        peakAfter = std::max(peakAfter, sample);
    }
    double growth() const { return afterWarmUp > 0 ? (peakAfter - afterWarmUp) / afterWarmUp : 0; }
    void write(ZqdlJsonWriter& out, const char* name) const {
        out.key(name);
        out.beginObject();
        out.key("afterFirstMinute");
        out.value(platform::Value(afterWarmUp));
        out.key("peakAfterFirstMinute");
        out.value(platform::Value(peakAfter));
        out.key("last");
        out.value(platform::Value(last));
        out.endObject();
    }
};

void writeSummary(const ZqdlSoakLoad& load, double seconds, const MemoryFigures& heap,
                  const MemoryFigures& resident, bool ok) {
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("ok");
    out.boolean(ok);
    out.key("seconds");
    out.integer(static_cast<int64_t>(seconds));
    out.key("operations");
    out.beginObject();
    for (size_t k = 0; k < ZqdlSoakLoad::kKindCount; ++k) {
        const ZqdlSoakLoad::Tally& tally = load.tallies()[k];
        out.key(ZqdlSoakLoad::name(static_cast<ZqdlSoakLoad::Kind>(k)));
        out.beginObject();
        out.key("started");
        out.integer(static_cast<int64_t>(tally.started));
        out.key("answered");
        out.integer(static_cast<int64_t>(tally.answered));
        out.key("failed");
        out.integer(static_cast<int64_t>(tally.failed));
        out.endObject();
    }
    out.endObject();
    heap.write(out, "heapMB");
    out.key("heapGrowthPercent");
    out.value(platform::Value(heap.growth() * 100));
    resident.write(out, "residentMB");
    out.key("problems");
    out.beginArray();
    for (const std::string& problem : load.problems()) out.string(problem);
    out.endArray();
    out.endObject();
    std::printf("%s\n", out.text().c_str());
}

// requests: what the embedded server answered so far; none with --server.
void writeReport(const ZqdlSoakLoad& load, double elapsed, double heap, double resident,
                 std::optional<uint64_t> requests) {
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("second");
    out.integer(static_cast<int64_t>(elapsed));
    out.key("heapMB");
    out.value(platform::Value(heap));
    out.key("residentMB");
    out.value(platform::Value(resident));
    out.key("answered");
    out.integer(static_cast<int64_t>(load.answeredCount()));
    out.key("waiting");
    out.integer(static_cast<int64_t>(load.waiting()));
    out.key("problems");
    out.integer(static_cast<int64_t>(load.problemCount()));
    out.key("requests");
    if (requests)
        out.integer(static_cast<int64_t>(*requests));
    else
        out.null();
    out.endObject();
    std::printf("%s\n", out.text().c_str());
    std::fflush(stdout);
}

}  // namespace

bool ZqdlSoakCommand::isSoakCommand(const std::vector<std::string>& arguments) {
    auto at = ZqdlCommandLine::commandWordIndex(arguments);
    return at && arguments[*at] == "soak";
}

int ZqdlSoakCommand::run(const std::vector<std::string>& arguments) {
    const size_t at = *ZqdlCommandLine::commandWordIndex(arguments);
    std::vector<std::string> globals(arguments.begin(), arguments.begin() + at);
    globals.push_back("help");
    CommandLineResult parsed = ZqdlCommandLine::parse(globals);
    SoakOptions options;
    std::string error = parsed.error;
    if (parsed.commandLine)
        error = parseSoak({arguments.begin() + at + 1, arguments.end()}, &options);
    if (!error.empty()) {
        std::fprintf(stderr, "zqdl: %s\n\n%s", error.c_str(), ZqdlCommandLine::usageText());
        return 2;
    }
    GlobalOptions global = parsed.commandLine->global;
    // A soak starts from an empty cache unless --app-dir names one.
    ZqdlScratchFolder scratch("zqdl-soak");
    if (!global.appDir) global.appDir = scratch.path().string();
    ZqdlFailure failure;
    auto environment = ZqdlEnvironment::start({global, true}, &failure);
    if (!environment) {
        std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
        return failure.exitStatus;
    }
    ZqdlSoakLoad::Settings settings;
    settings.inFlight = options.inFlight;
    settings.watchdogSeconds = options.watchdog;
    settings.seed = options.seed;
    settings.photo = scratch.path() / "photo.png";
    std::ofstream(settings.photo, std::ios::binary)
        .write(reinterpret_cast<const char*>(kPhoto), sizeof kPhoto);
    settings.customers = sampleCustomers(global, *environment->appModel());
    auto load = std::make_shared<ZqdlSoakLoad>(*environment, std::move(settings));

    const Clock::time_point start = Clock::now();
    double nextReport = options.reportEvery;
    MemoryFigures heap, resident;
    std::optional<uint64_t> served;
    auto elapsed = [&start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    while (elapsed() < options.seconds && load->problemCount() == 0) {
        load->step();
        platform::runUntil([] { return false; }, 0.005);
        if (elapsed() < nextReport) continue;
        nextReport += options.reportEvery;
        // The embedded server keeps a log of every request for the other commands; a soak
        // would see it grow. Clearing it also clears its count.
        if (ZQSampleServer* server = environment->server()) {
            served = served.value_or(0) + server->totalRequestCount();
            server->clearRequestLog();
        }
        heap.take(heapMB(), elapsed());
        resident.take(residentMB(), elapsed());
        writeReport(*load, elapsed(), heap.last, resident.last, served);
    }
    const double ran = elapsed();
    load->stop();
    // What was withdrawn ends before the summary, so that a late answer is still seen.
    (void)environment->waitUntilIdle(options.watchdog);
    platform::runUntil([] { return false; }, 0.2);
    bool ok = load->problemCount() == 0;
    if (ran >= 2 * kWarmUpSeconds && heap.growth() > kMaximumGrowth) ok = false;
    writeSummary(*load, ran, heap, resident, ok);
    return ok ? 0 : 1;
}

}  // namespace zqdl
