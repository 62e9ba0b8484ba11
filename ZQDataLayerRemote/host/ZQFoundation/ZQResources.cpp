#include "ZQDataLayerRemote/host/ZQFoundation/ZQResources.hpp"

#include <fstream>
#include <map>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace {

const std::map<std::string, std::string, std::less<>>& builtIn() {
    static const std::map<std::string, std::string, std::less<>> table{
        {"ZQM_ApplicationCacheHasBeenCleared", "The application cache has been cleared."},
        {"ZQM_UnexpectedError", "An unexpected error occurred."},
        {"ZQM_ServerNotAvailable", "The server is not available."},
        {"ZQM_AuthorizationRequired", "You need to sign in again."},
    };
    return table;
}

struct Table {
    platform::Mutex mutex;
    std::map<std::string, std::string, std::less<>> loaded GUARDED_BY(mutex);
};

Table& table() {
    static platform::Immortal<Table> instance;
    return instance.get();
}

}  // namespace

std::string ZQResources::translationFor(const std::string& key) {
    {
        Table& t = table();
        platform::MutexLock lock(t.mutex);
        auto it = t.loaded.find(key);
        if (it != t.loaded.end()) return it->second;
    }
    auto it = builtIn().find(key);
    return it != builtIn().end() ? it->second : key;
}

platform::ErrorPtr ZQResources::loadTranslationsFromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return platform::Error::create(platform::kErrorDomain, platform::errc::kFileReadUnknown,
                                       "Could not read " + file.string() + ".");
    }
    std::stringstream text;
    text << in.rdbuf();
    ZQJSONParseResult parsed = ZQJSON::parse(text.str(), file.string());
    if (parsed.error) return parsed.error;
    if (!parsed.value.isDictionary()) {
        return platform::Error::create(platform::kErrorDomain, platform::errc::kInvalidFile,
                                       file.string() + ": translations must be a JSON object.");
    }
    setTranslations(*parsed.value.dictionary());
    return nullptr;
}

void ZQResources::setTranslations(const platform::Dictionary& dictionary) {
    std::map<std::string, std::string, std::less<>> loaded;
    for (const auto& [key, value] : dictionary) {
        if (std::optional<std::string_view> text = value.string()) loaded.emplace(key, *text);
    }
    Table& t = table();
    platform::MutexLock lock(t.mutex);
    t.loaded.swap(loaded);
}

void ZQResources::resetTranslations() {
    setTranslations(platform::Dictionary());
}
