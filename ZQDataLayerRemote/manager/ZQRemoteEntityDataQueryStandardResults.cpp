#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryStandardResults.hpp"

#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"

std::shared_ptr<ZQRemoteEntityDataQueryResult>
ZQRemoteEntityDataQueryStandardResults::remoteNoDataResultWithSource(
    ZQEntityDataQueryResultSourceType source, bool collection) {
    if (collection) {
        return ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
            std::nullopt, std::nullopt, 0, false, std::nullopt, std::nullopt, std::nullopt,
            std::nullopt, source);
    }
    return ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithResultData(
        nullptr, std::nullopt, std::nullopt, std::nullopt, source);
}

std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
ZQRemoteEntityDataQueryStandardResults::emptySingleItemEntityDataQueryResultWithDataItem(
    std::shared_ptr<ZQEntityData> dataItem) {
    return ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithResultData(
        std::move(dataItem), std::nullopt, std::nullopt, std::nullopt,
        ZQRemoteEntityDataQueryResultSource::Remote);
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
ZQRemoteEntityDataQueryStandardResults::emptyCollectionEntityDataQueryResult() {
    return ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
        ZQEntityDataSections(), std::nullopt, 0, true, std::nullopt, std::nullopt, std::nullopt,
        std::nullopt, ZQRemoteEntityDataQueryResultSource::Remote);
}
