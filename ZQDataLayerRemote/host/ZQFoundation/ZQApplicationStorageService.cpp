#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"

#include <cstdlib>

#include "platform/FileSystem.hpp"
#include "platform/WorkerPool.hpp"

std::shared_ptr<ZQApplicationStorageService> ZQApplicationStorageService::sharedInstance() {
    static platform::Immortal<std::shared_ptr<ZQApplicationStorageService>> instance(
        std::make_shared<ZQApplicationStorageService>());
    return instance.get();
}

ZQApplicationStorageService::ZQApplicationStorageService() {
    const char* env = std::getenv("ZQ_APPLICATION_ROOT");
    std::error_code ec;
    std::filesystem::path root = env && *env
                                     ? std::filesystem::path(env)
                                     : std::filesystem::temp_directory_path(ec) / "zq-applications";
    platform::MutexLock lock(mutex_);
    root_ = std::move(root);
}

std::filesystem::path ZQApplicationStorageService::applicationRoot() const {
    platform::MutexLock lock(mutex_);
    return root_;
}

void ZQApplicationStorageService::setApplicationRoot(std::filesystem::path root) {
    platform::MutexLock lock(mutex_);
    root_ = std::move(root);
}

std::optional<std::filesystem::path> ZQApplicationStorageService::directory(
    const std::string& appName, const char* subfolder, bool createIfNeeded) const {
    if (appName.empty() || appName.find_first_not_of('.') == std::string::npos) return std::nullopt;
    std::string folder = appName;
    for (char& c : folder) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    std::filesystem::path path = applicationRoot() / folder;
    if (subfolder) path /= subfolder;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return path;
    if (!createIfNeeded) return std::nullopt;
    // Through the process's file system, which a test may make fail (a read-only disk).
    if (platform::FileSystem::current()->createDirectories(path)) return std::nullopt;
    return path;
}

std::optional<std::filesystem::path>
ZQApplicationStorageService::applicationDirectoryForApplication(const std::string& appName,
                                                                bool createIfNeeded) const {
    return directory(appName, nullptr, createIfNeeded);
}

std::optional<std::filesystem::path>
ZQApplicationStorageService::applicationCachesDirectoryForApplication(const std::string& appName,
                                                                      bool createIfNeeded) const {
    return directory(appName, "Caches", createIfNeeded);
}

std::optional<std::filesystem::path> ZQApplicationStorageService::modelDirectoryForApplication(
    const std::string& appName, bool createIfNeeded) const {
    return directory(appName, "Model", createIfNeeded);
}
