// Starts the sample REST server inside zqdl on 127.0.0.1 for `serve`, the demo and every command
// run without --server. The query key of the cache includes the server's URL, so for one
// application root the server comes back on the port it had last time (remembered in the root),
// and cached queries keep their keys from one run to the next. Static functions; the caller owns
// the server; start and stop on the caller's thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"

namespace zqdl {

class ZqdlEmbeddedServer {
  public:
    struct Settings {
        std::shared_ptr<const ZQApplicationModel> model;
        std::filesystem::path modelFile;
        int port = 0;                    // 0: a free port
        bool fallBackToFreePort = true;  // when port is taken
        bool logRequests = false;        // "server: GET <url> -> <status>" on stderr
    };

    // None, with *error set, when the data files cannot be read or no port can be bound.
    [[nodiscard]] static std::unique_ptr<ZQSampleServer> start(const Settings& settings,
                                                               std::string* error);
    // The port remembered for the application root; none when nothing valid is remembered.
    static std::optional<int> rememberedPort(const std::filesystem::path& appDir);
    static void rememberPort(const std::filesystem::path& appDir, int port);
    // The data files beside a model: "<model folder>/data" when it exists, else none (the
    // server's own default, the sample application's data).
    static std::filesystem::path dataDirectoryForModel(const std::filesystem::path& modelFile);
};

}  // namespace zqdl
