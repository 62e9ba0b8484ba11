// The outcome of a collection load: the JSON answer kept only when it is an array (each element
// is one row for the cache save), else absent. Shared by the requesters of one load; the base
// class's mutex guards the fields.
#pragma once

#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"

class ZQEntityDataServiceCollectionResult : public ZQEntityDataServiceResult {
  public:
    ZQEntityDataServiceCollectionResult(platform::Value data, int64_t statusCode,
                                        std::optional<platform::Date> lastModified,
                                        platform::ErrorPtr error);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceCollectionResult> create(
        platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
        platform::ErrorPtr error);

    bool isCollection() const override { return true; }

  protected:
    platform::Value shapedData(platform::Value data) const override;
};
