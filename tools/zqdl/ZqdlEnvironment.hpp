// What a zqdl command runs in: the application model, the embedded sample server (unless
// --server names one), the host started with the application root, the library registered by its
// explicit start-up call, the loaded model made current, and the host's entity data manager.
// Owned by main for the length of one command; built and used on the main thread (the library
// calls its delegates there).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"

namespace zqdl {

// Why a command could not run: the exit status (1 runtime, 2 usage) and a one-line message.
struct ZqdlFailure {
    int exitStatus = 1;
    std::string message;
};

class ZqdlEnvironment {
  public:
    struct Settings {
        GlobalOptions global;
        // The demo runs in a fresh root on a free port; other commands in the user's root, on
        // the port remembered there.
        bool freshServerPort = false;
        bool startServer = true;  // cache commands need no server
    };

    // None, with *failure set, when the model, the server or the host cannot be had.
    [[nodiscard]] static std::unique_ptr<ZqdlEnvironment> start(const Settings& settings,
                                                                ZqdlFailure* failure);
    // Withdraws what is still in flight, waits (briefly) for the library to go idle, stops the
    // server.
    ~ZqdlEnvironment();
    ZqdlEnvironment(const ZqdlEnvironment&) = delete;
    ZqdlEnvironment& operator=(const ZqdlEnvironment&) = delete;

    // The model file a command reads: --model, else the sample application's model.
    static std::filesystem::path modelPath(const GlobalOptions& global);
    static std::filesystem::path appDir(const GlobalOptions& global);
    // The application model as the file gives it; none, with *failure set, when unreadable.
    static std::shared_ptr<const ZQApplicationModel> loadAppModel(const std::filesystem::path& path,
                                                                  ZqdlFailure* failure);

    const std::shared_ptr<const ZQApplicationModel>& appModel() const { return appModel_; }
    const std::shared_ptr<ZQModel>& model() const { return model_; }
    const ZqdlProviderCatalog& catalog() const { return *catalog_; }
    // The embedded server; none with --server.
    ZQSampleServer* server() const { return server_.get(); }
    const std::string& serverURL() const { return serverURL_; }
    const std::shared_ptr<ZQEntityDataManager>& entityDataManager() const { return manager_; }
    // Runs the main loop until nothing is in flight in the library (or the timeout passed).
    bool waitUntilIdle(double timeoutSeconds) const;

    // Empty; start() fills it. Public for make_unique.
    ZqdlEnvironment() = default;

  private:
    bool startServer(const Settings& settings, ZqdlFailure* failure);
    bool startHost(const Settings& settings, ZqdlFailure* failure);

    std::filesystem::path modelPath_;
    std::filesystem::path appDir_;
    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::unique_ptr<ZqdlProviderCatalog> catalog_;
    std::unique_ptr<ZQSampleServer> server_;
    std::string serverURL_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<ZQEntityDataManager> manager_;
    bool verbose_ = false;
};

}  // namespace zqdl
