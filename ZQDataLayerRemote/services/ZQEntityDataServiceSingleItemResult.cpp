#include "ZQDataLayerRemote/services/ZQEntityDataServiceSingleItemResult.hpp"

ZQEntityDataServiceSingleItemResult::ZQEntityDataServiceSingleItemResult(
    platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
    platform::ErrorPtr error)
    : ZQEntityDataServiceResult(std::move(data), statusCode, lastModified, std::move(error)) {}

std::shared_ptr<ZQEntityDataServiceSingleItemResult> ZQEntityDataServiceSingleItemResult::create(
    platform::Value data, int64_t statusCode, std::optional<platform::Date> lastModified,
    platform::ErrorPtr error) {
    return std::make_shared<ZQEntityDataServiceSingleItemResult>(std::move(data), statusCode,
                                                                 lastModified, std::move(error));
}
