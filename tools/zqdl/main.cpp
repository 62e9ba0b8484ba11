// zqdl: the command-line program of the data layer. Reads the command line, then runs one
// command on the main thread: queries through the registered entity data manager, business
// components through the registered business-component manager, field look-ups through the
// registered field providers, the model's providers, the
// cache's records, the sample REST server, or the demo (README.md, "Usage").
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/WorkerPool.hpp"
#include "tools/zqdl/ZqdlBusinessComponentCommand.hpp"
#include "tools/zqdl/ZqdlCacheCommand.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlDemo.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlFieldCommand.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"
#include "tools/zqdl/ZqdlQueryCommand.hpp"
#include "tools/zqdl/ZqdlScreenCommand.hpp"
#include "tools/zqdl/ZqdlServeCommand.hpp"
#include "tools/zqdl/ZqdlSoakCommand.hpp"

namespace {

// The open file descriptors, by what they point at ("socket:[123]" is written "socket").
std::string openFiles(size_t* count) {
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string target = std::filesystem::read_symlink(it->path(), ec).string();
        if (target.rfind("socket:", 0) == 0) target = "socket";
        if (target.rfind("/proc/", 0) == 0 && target.find("/fd") != std::string::npos) continue;
        names.push_back(target.empty() ? "?" : target);
    }
    std::sort(names.begin(), names.end());
    *count = names.size();
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
    return text;
}

// With ZQDL_RESOURCE_REPORT set, what the command left behind once it ended (one line on
// standard error): busy workers and transfers still in flight (both 0 once the library is idle;
// given a second to get there), threads and open files.
int reportResources(int status) {
    std::fflush(stdout);
    const char* report = std::getenv("ZQDL_RESOURCE_REPORT");
    if (!report || !*report) return status;
    auto settled = [] {
        return platform::WorkerPool::busyThreadCount() == 0 &&
               ZQURLTransport::shared().activeTransferCount() == 0;
    };
    for (int i = 0; i < 100 && !settled(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    size_t threads = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
         it.increment(ec))
        ++threads;
    size_t files = 0;
    std::string names = openFiles(&files);
    std::fprintf(
        stderr, "zqdl: left behind: busy workers %zu, transfers %zu, threads %zu, files %zu (%s)\n",
        platform::WorkerPool::busyThreadCount(), ZQURLTransport::shared().activeTransferCount(),
        threads, files, names.c_str());
    return status;
}
// The model alone is read: no host, no server.
int listProviders(const zqdl::CommandLine& line) {
    zqdl::ZqdlFailure failure;
    auto model = zqdl::ZqdlEnvironment::loadAppModel(zqdl::ZqdlEnvironment::modelPath(line.global),
                                                     &failure);
    if (!model) {
        std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
        return failure.exitStatus;
    }
    zqdl::ZqdlProviderCatalog catalog(*model);
    for (const zqdl::ZqdlProvider& provider : catalog.providers()) {
        std::printf("%s\n", zqdl::ZqdlProviderCatalog::describe(provider).c_str());
    }
    return 0;
}

int dispatch(const zqdl::CommandLine& line) {
    switch (line.command) {
        case zqdl::Command::Help:
            std::fputs(zqdl::ZqdlCommandLine::usageText(), stdout);
            return 0;
        case zqdl::Command::Query:
            return zqdl::ZqdlQueryCommand::run(line);
        case zqdl::Command::Providers:
            return listProviders(line);
        case zqdl::Command::CacheList:
            return zqdl::ZqdlCacheCommand::list(line);
        case zqdl::Command::CacheClear:
            return zqdl::ZqdlCacheCommand::clear(line);
        case zqdl::Command::Serve:
            return zqdl::ZqdlServeCommand::run(line);
        case zqdl::Command::Demo:
            return zqdl::ZqdlDemo::run(line);
        case zqdl::Command::BusinessComponentLoad:
        case zqdl::Command::BusinessComponentDefaults:
        case zqdl::Command::BusinessComponentDelete:
        case zqdl::Command::BusinessComponentInsert:
        case zqdl::Command::BusinessComponentUpdate:
        case zqdl::Command::BusinessComponentUpsert:
            return zqdl::ZqdlBusinessComponentCommand::run(line);
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (zqdl::ZqdlScreenCommand::isScreenCommand(arguments))
        return reportResources(zqdl::ZqdlScreenCommand::run(arguments));
    if (zqdl::ZqdlSoakCommand::isSoakCommand(arguments))
        return reportResources(zqdl::ZqdlSoakCommand::run(arguments));
    if (zqdl::ZqdlFieldCommand::isFieldCommand(arguments))
        return reportResources(zqdl::ZqdlFieldCommand::run(arguments));
    zqdl::CommandLineResult parsed = zqdl::ZqdlCommandLine::parse(arguments);
    if (!parsed.commandLine) {
        std::fprintf(stderr, "zqdl: %s\n\n%s", parsed.error.c_str(),
                     zqdl::ZqdlCommandLine::usageText());
        return 2;
    }
    return reportResources(dispatch(*parsed.commandLine));
}
