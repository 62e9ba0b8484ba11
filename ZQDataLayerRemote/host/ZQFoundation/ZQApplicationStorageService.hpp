// Where an application keeps its files: under a configurable application root, each application
// has a folder named after it with "Caches" (the data cache) and "Model" (saved model objects).
// One shared instance. Any thread; the mutex guards the root.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/Mutex.hpp"

class ZQApplicationStorageService {
  public:
    // The root is $ZQ_APPLICATION_ROOT when set, else "zq-applications" in the temporary folder,
    // until setApplicationRoot changes it.
    static std::shared_ptr<ZQApplicationStorageService> sharedInstance();

    ZQApplicationStorageService();

    std::filesystem::path applicationRoot() const EXCLUDES(mutex_);
    void setApplicationRoot(std::filesystem::path root) EXCLUDES(mutex_);

    // <root>/<name>: made (with its parents) when createIfNeeded; none when it does not exist
    // and is not made, when it cannot be made, or for an empty name. "/" and "\" in the name
    // become "_", and a name of dots only is refused, so that it stays one folder under the root.
    std::optional<std::filesystem::path> applicationDirectoryForApplication(
        const std::string& appName, bool createIfNeeded) const EXCLUDES(mutex_);
    // <root>/<name>/Caches, on the same terms.
    std::optional<std::filesystem::path> applicationCachesDirectoryForApplication(
        const std::string& appName, bool createIfNeeded) const EXCLUDES(mutex_);
    // <root>/<name>/Model, on the same terms.
    std::optional<std::filesystem::path> modelDirectoryForApplication(const std::string& appName,
                                                                      bool createIfNeeded) const
        EXCLUDES(mutex_);

  private:
    std::optional<std::filesystem::path> directory(const std::string& appName,
                                                   const char* subfolder, bool createIfNeeded) const
        EXCLUDES(mutex_);

    mutable platform::Mutex mutex_;
    std::filesystem::path root_ GUARDED_BY(mutex_);
};
