#include "ZQDataLayerRemote/services/ZQEntityDataServiceCollectionResult.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

ZQEntityDataServiceCollectionResult::ZQEntityDataServiceCollectionResult(
    platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
    platform::ErrorPtr error)
    // shapedData is not virtual yet inside the base constructor: shape here.
    : ZQEntityDataServiceResult(ZQUtilities::arrayFromObject(data), statusCode, lastModified,
                                std::move(error)) {}

std::shared_ptr<ZQEntityDataServiceCollectionResult> ZQEntityDataServiceCollectionResult::create(
    platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
    platform::ErrorPtr error) {
    return std::make_shared<ZQEntityDataServiceCollectionResult>(std::move(data), statusCode,
                                                                 lastModified, std::move(error));
}

platform::Value ZQEntityDataServiceCollectionResult::shapedData(platform::Value data) const {
    return ZQUtilities::arrayFromObject(data);
}
