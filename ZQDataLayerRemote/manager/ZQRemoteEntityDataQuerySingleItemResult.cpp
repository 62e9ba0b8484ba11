#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemResult.hpp"

std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithResultData(
    std::shared_ptr<ZQEntityData> resultData, std::optional<platform::Date> timeStamp,
    std::optional<platform::Date> dataTimeStamp, std::optional<platform::Date> lastModified,
    ZQEntityDataQueryResultSourceType source) {
    auto result = std::make_shared<ZQRemoteEntityDataQuerySingleItemResult>(std::move(resultData),
                                                                            timeStamp, nullptr);
    result->setDataTimeStamp(dataTimeStamp);
    result->setLastModified(lastModified);
    result->setSource(source);
    return result;
}

std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithError(
    platform::ErrorPtr error, ZQEntityDataQueryResultSourceType source) {
    auto result = std::make_shared<ZQRemoteEntityDataQuerySingleItemResult>(nullptr, std::nullopt,
                                                                            std::move(error));
    result->setSource(source);
    return result;
}
