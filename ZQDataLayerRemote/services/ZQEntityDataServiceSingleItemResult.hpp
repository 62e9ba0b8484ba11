// The outcome of a single-item load: the JSON value exactly as the host's parser returned it,
// whatever its kind (the cache save interprets it). Shared by the requesters of one load; the
// base class's mutex guards the fields.
#pragma once

#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"

class ZQEntityDataServiceSingleItemResult : public ZQEntityDataServiceResult {
  public:
    ZQEntityDataServiceSingleItemResult(platform::Value data, int64_t statusCode,
                                        std::optional<platform::Date> lastModified,
                                        platform::ErrorPtr error);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceSingleItemResult> create(
        platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
        platform::ErrorPtr error);

    bool isCollection() const override { return false; }
};
