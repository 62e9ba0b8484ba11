// A bundle: a folder of application resources with an information dictionary read from the JSON
// file "Info.json" in it. mainBundle() is the running application's bundle, which the host sets at
// start-up (an empty bundle until then). A bundle is immutable once made, so any thread reads it;
// the main-bundle slot has its own mutex.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQBundle {
  public:
    static constexpr const char* kInfoFileName = "Info.json";

    struct LoadResult {
        std::shared_ptr<ZQBundle> bundle;  // none on error
        platform::ErrorPtr error;
    };
    // A bundle for the folder. A folder without Info.json gives an empty information dictionary;
    // an Info.json that is not a JSON object gives an error naming the file and the place.
    [[nodiscard]] static LoadResult bundleWithPath(const std::filesystem::path& folder);

    static std::shared_ptr<ZQBundle> mainBundle();
    static void setMainBundle(std::shared_ptr<ZQBundle> bundle);

    ZQBundle(std::filesystem::path folder, platform::Dictionary infoDictionary)
        : path_(std::move(folder)), info_(std::move(infoDictionary)) {}

    // Empty for the bundle the host has not set.
    const std::filesystem::path& bundlePath() const { return path_; }
    const platform::Dictionary& infoDictionary() const { return info_; }
    platform::Value objectForInfoDictionaryKey(const std::string& key) const {
        return info_.get(key);
    }
    // The path of "<name>.<extension>" in the bundle folder when that file exists.
    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& extension) const;

  private:
    std::filesystem::path path_;
    platform::Dictionary info_;
};
