// zqdl: the command-line program of the data layer. Reads the command line, then runs one
// command on the main thread: queries through the registered entity data manager, business
// components through the registered business-component manager, field look-ups through the
// registered field providers, the model's providers, the
// cache's records, the sample REST server, or the demo (README.md, "Usage").
#include <cstdio>
#include <string>
#include <vector>

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

namespace {

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
    if (zqdl::ZqdlScreenCommand::isScreenCommand(arguments)) {
        int status = zqdl::ZqdlScreenCommand::run(arguments);
        std::fflush(stdout);
        return status;
    }
    if (zqdl::ZqdlFieldCommand::isFieldCommand(arguments)) {
        int status = zqdl::ZqdlFieldCommand::run(arguments);
        std::fflush(stdout);
        return status;
    }
    zqdl::CommandLineResult parsed = zqdl::ZqdlCommandLine::parse(arguments);
    if (!parsed.commandLine) {
        std::fprintf(stderr, "zqdl: %s\n\n%s", parsed.error.c_str(),
                     zqdl::ZqdlCommandLine::usageText());
        return 2;
    }
    int status = dispatch(*parsed.commandLine);
    std::fflush(stdout);
    return status;
}
