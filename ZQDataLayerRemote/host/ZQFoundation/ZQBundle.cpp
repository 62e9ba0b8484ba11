#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"

#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace {

struct MainSlot {
    platform::Mutex mutex;
    std::shared_ptr<ZQBundle> bundle GUARDED_BY(mutex) =
        std::make_shared<ZQBundle>(std::filesystem::path(), platform::Dictionary());
};

MainSlot& mainSlot() {
    static platform::Immortal<MainSlot> slot;
    return slot.get();
}

}  // namespace

ZQBundle::LoadResult ZQBundle::bundleWithPath(const std::filesystem::path& folder) {
    LoadResult result;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        result.error =
            platform::Error::create(platform::kErrorDomain, platform::errc::kFileReadUnknown,
                                    "The bundle folder " + folder.string() + " does not exist.");
        return result;
    }
    std::filesystem::path infoPath = folder / kInfoFileName;
    platform::Dictionary info;
    if (std::filesystem::exists(infoPath, ec)) {
        std::ifstream in(infoPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            result.error =
                platform::Error::create(platform::kErrorDomain, platform::errc::kFileReadUnknown,
                                        "Could not read " + infoPath.string() + ".");
            return result;
        }
        ZQJSONParseResult parsed = ZQJSON::parse(text.str(), infoPath.string());
        if (parsed.error) {
            result.error = parsed.error;
            return result;
        }
        if (!parsed.value.isDictionary()) {
            result.error = platform::Error::create(
                platform::kErrorDomain, platform::errc::kInvalidFile,
                infoPath.string() + ": the information dictionary must be a JSON object.");
            return result;
        }
        info = *parsed.value.dictionary();
    }
    result.bundle = std::make_shared<ZQBundle>(folder, std::move(info));
    return result;
}

std::shared_ptr<ZQBundle> ZQBundle::mainBundle() {
    MainSlot& slot = mainSlot();
    platform::MutexLock lock(slot.mutex);
    return slot.bundle;
}

void ZQBundle::setMainBundle(std::shared_ptr<ZQBundle> bundle) {
    if (!bundle)
        bundle = std::make_shared<ZQBundle>(std::filesystem::path(), platform::Dictionary());
    MainSlot& slot = mainSlot();
    platform::MutexLock lock(slot.mutex);
    slot.bundle = std::move(bundle);
}

std::optional<std::filesystem::path> ZQBundle::pathForResource(const std::string& name,
                                                               const std::string& extension) const {
    if (path_.empty()) return std::nullopt;
    std::filesystem::path file = path_ / (extension.empty() ? name : name + "." + extension);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    return file;
}
