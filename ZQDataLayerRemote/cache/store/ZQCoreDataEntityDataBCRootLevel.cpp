#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCRootLevel.hpp"

std::optional<std::string> ZQCoreDataEntityDataBCRootLevel::entityMD5Hash() const {
    platform::Value hash = storedValueForKey(kMD5HashKey);
    if (std::optional<std::string_view> text = hash.string()) return std::string(*text);
    return std::nullopt;
}

platform::ErrorPtr ZQCoreDataEntityDataBCRootLevel::setZq_md5_hash(
    const std::optional<std::string>& hash) {
    return setValueForKey(hash ? platform::Value(*hash) : platform::Value(), kMD5HashKey);
}
