#include "tools/zqdl/ZqdlServeCommand.hpp"

#include <pthread.h>
#include <signal.h>

#include <cstdio>

#include "tools/zqdl/ZqdlEmbeddedServer.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"

namespace zqdl {

int ZqdlServeCommand::run(const CommandLine& line) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ZqdlFailure failure;
    std::filesystem::path modelFile = ZqdlEnvironment::modelPath(line.global);
    auto model = ZqdlEnvironment::loadAppModel(modelFile, &failure);
    if (!model) {
        std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
        return failure.exitStatus;
    }
    ZqdlEmbeddedServer::Settings settings;
    settings.model = model;
    settings.modelFile = modelFile;
    settings.port = line.serve.port;
    settings.fallBackToFreePort = false;  // the user asked for this port
    settings.logRequests = line.global.verbose;
    std::string error;
    auto server = ZqdlEmbeddedServer::start(settings, &error);
    if (!server) {
        std::fprintf(stderr, "zqdl: %s\n", error.c_str());
        return 1;
    }
    std::printf("serving %s (Ctrl-C to stop)\n", server->baseURL().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
    server->stop();
    std::printf("stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}

}  // namespace zqdl
