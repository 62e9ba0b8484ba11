#include "tools/zqdl/ZqdlEnvironment.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequest.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"
#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "platform/MainLoop.hpp"
#include "tools/zqdl/ZqdlEmbeddedServer.hpp"
#include "tools/zqdl/ZqdlLogRelay.hpp"

#ifndef ZQDL_SAMPLE_APP_DIR
#error "ZQDL_SAMPLE_APP_DIR names the sample application folder of the source tree"
#endif

namespace zqdl {

namespace {

// The model as the file gives it, with its server URL replaced: the URL is part of every request
// and of every cache key, so the model must name the server the command talks to.
std::shared_ptr<const ZQApplicationModel> loadWithServerURL(const std::filesystem::path& path,
                                                            const std::string& serverURL,
                                                            ZqdlFailure* failure) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ZQJSONParseResult parsed = ZQJSON::parse(text.str(), path.filename().string());
    if (parsed.error || !parsed.value.isDictionary()) {
        *failure = {1, "cannot read the model " + path.string()};
        return nullptr;
    }
    platform::Dictionary members = *parsed.value.dictionary();
    members.set("appServerBaseUrl", platform::Value(serverURL));
    ZQJSON::WriteResult written = ZQJSON::write(platform::Value(std::move(members)));
    ZQApplicationModelLoadResult loaded =
        ZQApplicationModelLoader::loadFromString(written.text, path.filename().string(), path);
    if (loaded.error) {
        *failure = {1, "cannot load the model: " + loaded.error->localizedDescription()};
        return nullptr;
    }
    return loaded.model;
}

}  // namespace

std::filesystem::path ZqdlEnvironment::modelPath(const GlobalOptions& global) {
    if (global.modelFile) return *global.modelFile;
    // An installed zqdl finds the sample application installed beside it; one run from the build
    // tree finds it in the source tree.
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto installed = self.parent_path().parent_path() / "share" / "zqdatalayerremote" /
                         "sample-app" / "model.json";
        if (std::filesystem::exists(installed, ec)) return installed;
    }
    return std::filesystem::path(ZQDL_SAMPLE_APP_DIR) / "model.json";
}

std::filesystem::path ZqdlEnvironment::appDir(const GlobalOptions& global) {
    return global.appDir ? *global.appDir : ZqdlCommandLine::defaultAppDir();
}

std::shared_ptr<const ZQApplicationModel> ZqdlEnvironment::loadAppModel(
    const std::filesystem::path& path, ZqdlFailure* failure) {
    ZQApplicationModelLoadResult loaded = ZQApplicationModelLoader::loadFromFile(path);
    if (loaded.error) {
        *failure = {1, "cannot load the model: " + loaded.error->localizedDescription()};
        return nullptr;
    }
    return loaded.model;
}

std::unique_ptr<ZqdlEnvironment> ZqdlEnvironment::start(const Settings& settings,
                                                        ZqdlFailure* failure) {
    auto environment = std::make_unique<ZqdlEnvironment>();
    environment->modelPath_ = modelPath(settings.global);
    environment->appDir_ = appDir(settings.global);
    environment->appModel_ = loadAppModel(environment->modelPath_, failure);
    if (!environment->appModel_) return nullptr;
    if (!environment->startServer(settings, failure)) return nullptr;
    if (!environment->serverURL_.empty()) {
        environment->appModel_ =
            loadWithServerURL(environment->modelPath_, environment->serverURL_, failure);
        if (!environment->appModel_) return nullptr;
    }
    environment->catalog_ = std::make_unique<ZqdlProviderCatalog>(*environment->appModel_);
    if (!environment->startHost(settings, failure)) return nullptr;
    return environment;
}

bool ZqdlEnvironment::startServer(const Settings& settings, ZqdlFailure* failure) {
    if (settings.global.serverURL) {
        serverURL_ = *settings.global.serverURL;
        return true;
    }
    if (!settings.startServer) return true;
    ZqdlEmbeddedServer::Settings server;
    server.model = appModel_;
    server.modelFile = modelPath_;
    server.port =
        settings.freshServerPort ? 0 : ZqdlEmbeddedServer::rememberedPort(appDir_).value_or(0);
    server.logRequests = settings.global.verbose;
    std::string error;
    server_ = ZqdlEmbeddedServer::start(server, &error);
    if (!server_) {
        *failure = {1, error};
        return false;
    }
    if (!settings.freshServerPort) ZqdlEmbeddedServer::rememberPort(appDir_, server_->port());
    serverURL_ = server_->baseURL();
    return true;
}

bool ZqdlEnvironment::startHost(const Settings& settings, ZqdlFailure* failure) {
    std::error_code ec;
    std::filesystem::create_directories(appDir_, ec);
    if (ec) {
        *failure = {1,
                    "cannot make the application root " + appDir_.string() + ": " + ec.message()};
        return false;
    }
    ZQDataLayerRemoteLoader::load();
    if (settings.global.requestTimeoutSeconds)
        ZQURLRequest::setDefaultTimeoutInterval(*settings.global.requestTimeoutSeconds);
    ZQHostConfiguration configuration;
    configuration.applicationRoot = appDir_;
    if (settings.global.verbose) {
        configuration.logEnabled = true;
        ZqdlLogRelay::enable();
        verbose_ = true;
    }
    if (platform::ErrorPtr error = ZQHost::start(configuration)) {
        *failure = {1, "the host cannot start: " + error->localizedDescription()};
        return false;
    }
    ZQModelLoadResult loaded = ZQModelManager::sharedManager()->loadModelForApplication(appModel_);
    if (!loaded.model) {
        *failure = {
            1, "cannot load the model: " +
                   (loaded.error ? loaded.error->localizedDescription() : std::string("no model"))};
        return false;
    }
    model_ = loaded.model;
    ZQModel::setCurrentModel(model_);
    manager_ = ZQEntityDataManager::create();
    if (!manager_->onlineEntityDataManager()) {
        *failure = {1, "the data layer registered no entity data manager"};
        return false;
    }
    return true;
}

bool ZqdlEnvironment::waitUntilIdle(double timeoutSeconds) const {
    auto online = manager_ ? std::dynamic_pointer_cast<ZQRemoteEntityDataManager>(
                                 manager_->onlineEntityDataManager())
                           : nullptr;
    if (!online) return true;
    return platform::runUntil(
        [&online] {
            return online->cacheOperationQueue()->operationCount() == 0 &&
                   online->serviceManager()->runningLoadCount() == 0;
        },
        timeoutSeconds);
}

ZqdlEnvironment::~ZqdlEnvironment() {
    if (manager_) {
        if (auto online = manager_->onlineEntityDataManager()) online->cancelAllOperations();
        // Saves and merges that were under way finish, so the cache file is left whole.
        waitUntilIdle(10);
    }
    if (server_) server_->stop();
    if (verbose_) ZqdlLogRelay::disable();
}

}  // namespace zqdl
