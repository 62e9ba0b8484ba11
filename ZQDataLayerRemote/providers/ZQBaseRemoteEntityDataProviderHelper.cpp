#include "ZQDataLayerRemote/providers/ZQBaseRemoteEntityDataProviderHelper.hpp"

#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "platform/Clock.hpp"

std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>
ZQBaseRemoteEntityDataProviderHelper::remoteEntityDataSource() const {
    return std::dynamic_pointer_cast<const ZQRemoteEntityDataSourceDescriptor>(
        provider_->entityDataSource());
}

bool ZQBaseRemoteEntityDataProviderHelper::cacheEnabled() const {
    auto source = remoteEntityDataSource();
    return source && source->entityDataSourceCacheEnabled();
}

void ZQBaseRemoteEntityDataProviderHelper::refresh(bool force) {
    provider_->refreshWithOptions(
        platform::Dictionary{{ZQRemoteEntityProviderForceOptionKey, platform::Value(force)}});
}

uint8_t ZQBaseRemoteEntityDataProviderHelper::loadedDataSourceForResult(
    const ZQRemoteEntityDataQueryResult& result) {
    switch (result.source()) {
        case ZQRemoteEntityDataQueryResultSource::Cache:
            return ZQRemoteLoadedDataSourceCache;
        case ZQRemoteEntityDataQueryResultSource::Remote:
            return ZQRemoteLoadedDataSourceServer;
        default:
            return ZQRemoteLoadedDataSourceNone;
    }
}

void ZQBaseRemoteEntityDataProviderHelper::updateLoadedDataStateFromResult(
    const ZQRemoteEntityDataQueryResult& result) {
    if (result.error()) return;
    loadedDataSource_ = loadedDataSourceForResult(result);
    loadedDataLastUpdateTimeStamp_ = result.dataTimeStamp();
    loadedDataLastModified_ = result.lastModified();
}

void ZQBaseRemoteEntityDataProviderHelper::cleanLoadedDataSourceState() {
    loadedDataSource_ = ZQRemoteLoadedDataSourceNone;
    loadedDataLastUpdateTimeStamp_.reset();
    loadedDataLastModified_.reset();
}

void ZQBaseRemoteEntityDataProviderHelper::updateLastRefreshFromServer(
    std::optional<platform::Date> date) {
    const platform::Date when = date.value_or(platform::Clock::current()->now());
    provider_->updateLastRefresh(when);
    if (lastRefreshFromServer_ != when) lastRefreshFromServer_ = when;
}

void ZQBaseRemoteEntityDataProviderHelper::performAutoRefresh() {
    refresh(true);
}

void ZQBaseRemoteEntityDataProviderHelper::updateRefreshFlagsForAutoRefreshRequired() {
    provider_->setRefreshFlags(provider_->refreshFlags() | ZQEntityDataProviderRefreshFlagRequired |
                               ZQEntityDataProviderRefreshFlagForce);
}

void ZQBaseRemoteEntityDataProviderHelper::
    updateOnInputParametersChangedFlagsOnInputParametersChanged() {
    if (provider_->loadedDataBelongsToCurrentInputParameters()) return;
    hasLoadedCached_ = false;
    hasLoadedRefreshOrFirst_ = false;
}

void ZQBaseRemoteEntityDataProviderHelper::updateOnInputParametersChangedFlagsFromResult(
    const ZQEntityDataQueryResult&, const ZQEntityDataQueryInfo& query) {
    if (query.type() == ZQRemoteEntityDataQueryType::Local) {
        hasLoadedCached_ = true;
    } else if (ZQRemoteEntityDataQueryType::isRefreshOrFirst(query.type())) {
        hasLoadedRefreshOrFirst_ = true;
    }
}
