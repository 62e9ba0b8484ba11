#include "tools/zqdl/ZqdlEmbeddedServer.hpp"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace zqdl {

namespace {

constexpr const char* kPortFileName = "zqdl-server-port";

std::unique_ptr<ZQSampleServer> startOnPort(const ZqdlEmbeddedServer::Settings& settings, int port,
                                            std::string* error) {
    ZQSampleServerOptions options;
    options.model = settings.model;
    options.modelFile = settings.modelFile;
    options.dataDirectory = ZqdlEmbeddedServer::dataDirectoryForModel(settings.modelFile);
    options.host = "127.0.0.1";
    options.port = port;
    if (settings.logRequests) {
        options.onRequest = [](const ZQSampleRequestRecord& record) {
            std::fprintf(stderr, "server: %s %s -> %d\n", record.method.c_str(), record.url.c_str(),
                         record.status);
        };
    }
    ZQSampleServerCreateResult created = ZQSampleServer::create(std::move(options));
    if (created.error) {
        *error = "the sample server cannot start: " + created.error->localizedDescription();
        return nullptr;
    }
    if (platform::ErrorPtr failed = created.server->start()) {
        *error = "the sample server cannot listen on port " + std::to_string(port) + ": " +
                 failed->localizedDescription();
        return nullptr;
    }
    return std::move(created.server);
}

}  // namespace

std::unique_ptr<ZQSampleServer> ZqdlEmbeddedServer::start(const Settings& settings,
                                                          std::string* error) {
    std::unique_ptr<ZQSampleServer> server = startOnPort(settings, settings.port, error);
    if (!server && settings.port != 0 && settings.fallBackToFreePort) {
        server = startOnPort(settings, 0, error);
    }
    return server;
}

std::optional<int> ZqdlEmbeddedServer::rememberedPort(const std::filesystem::path& appDir) {
    std::ifstream in(appDir / kPortFileName);
    int port = 0;
    if (!(in >> port) || port <= 0 || port > 65535) return std::nullopt;
    return port;
}

void ZqdlEmbeddedServer::rememberPort(const std::filesystem::path& appDir, int port) {
    std::error_code ec;
    std::filesystem::create_directories(appDir, ec);
    std::ofstream out(appDir / kPortFileName, std::ios::trunc);
    out << port << "\n";
}

std::filesystem::path ZqdlEmbeddedServer::dataDirectoryForModel(
    const std::filesystem::path& modelFile) {
    std::error_code ec;
    std::filesystem::path data = modelFile.parent_path() / "data";
    return std::filesystem::is_directory(data, ec) ? data : std::filesystem::path();
}

}  // namespace zqdl
