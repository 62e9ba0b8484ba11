#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"

std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
    std::optional<ZQEntityDataSections> resultData, std::optional<platform::Date> timeStamp,
    uint64_t count, bool complete, std::optional<std::vector<std::string>> alphaIndexTitles,
    std::optional<ZQAlphaIndexRangesByTitle> alphaIndexRangesByTitle,
    std::optional<platform::Date> dataTimeStamp, std::optional<platform::Date> lastModified,
    ZQEntityDataQueryResultSourceType source) {
    auto result = std::make_shared<ZQRemoteEntityDataQueryCollectionResult>(
        std::move(resultData), timeStamp, nullptr, count, complete, std::move(alphaIndexTitles),
        std::move(alphaIndexRangesByTitle));
    result->setDataTimeStamp(dataTimeStamp);
    result->setLastModified(lastModified);
    result->setSource(source);
    return result;
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultUpToDateWithTimeStamp(
    std::optional<platform::Date> timeStamp, std::optional<platform::Date> dataTimeStamp,
    std::optional<platform::Date> lastModified, ZQEntityDataQueryResultSourceType source) {
    auto result = std::make_shared<ZQRemoteEntityDataQueryCollectionResult>(
        std::nullopt, timeStamp, nullptr, 0, true, std::nullopt, std::nullopt);
    result->setDataTimeStamp(dataTimeStamp);
    result->setLastModified(lastModified);
    result->setSource(source);
    result->setUpToDate(true);
    return result;
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithError(
    platform::ErrorPtr error, ZQEntityDataQueryResultSourceType source) {
    auto result = std::make_shared<ZQRemoteEntityDataQueryCollectionResult>(
        std::nullopt, std::nullopt, std::move(error), 0, false, std::nullopt, std::nullopt);
    result->setSource(source);
    return result;
}
