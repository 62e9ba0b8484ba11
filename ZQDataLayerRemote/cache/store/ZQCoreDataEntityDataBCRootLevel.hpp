// A cached business-component root level: a level that also keeps the hash of the instance as the
// server last sent it ("zq_md5_hash"). Used on the thread of its context only.
#pragma once

#include <optional>
#include <string>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCLevel.hpp"
#include "platform/Error.hpp"

class ZQCoreDataEntityDataBCRootLevel : public ZQCoreDataEntityDataBCLevel {
  public:
    static constexpr const char* kMD5HashKey = "zq_md5_hash";

    // The stored hash; none when unset.
    std::optional<std::string> entityMD5Hash() const override;
    std::optional<std::string> zq_md5_hash() const { return entityMD5Hash(); }
    // Absent clears it.
    [[nodiscard]] platform::ErrorPtr setZq_md5_hash(const std::optional<std::string>& hash);
};
