#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"

namespace {
using QueryType = ZQRemoteEntityDataQueryType;
using Source = ZQRemoteEntityDataQueryResultSource;

bool optionIsSet(const std::optional<platform::Dictionary>& options, const char* key) {
    return options && ZQUtilities::boolFromValue(options->get(key));
}

const ZQRemoteEntityDataQueryResult* remoteResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    return dynamic_cast<const ZQRemoteEntityDataQueryResult*>(result.get());
}

bool isFromCache(const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    const auto* remote = remoteResult(result);
    return remote && remote->source() == Source::Cache;
}
}  // namespace

ZQBaseRemoteListEntityDataProvider::ZQBaseRemoteListEntityDataProvider(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource)
    : ZQBaseListEntityDataProvider(std::move(dataSource)), remoteHelper_(*this) {
    setTotalCount(initialTotalCount());
    setFilteredTotalCount(initialTotalCount());
}

std::shared_ptr<ZQBaseRemoteListEntityDataProvider> ZQBaseRemoteListEntityDataProvider::create(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource) {
    auto provider = std::make_shared<ZQBaseRemoteListEntityDataProvider>(std::move(dataSource));
    provider->attach();
    return provider;
}

int64_t ZQBaseRemoteListEntityDataProvider::initialTotalCount() const {
    // Until the cache is read, a caching source does not know what it holds.
    return remoteHelper_.cacheEnabled() ? ZQTotalCountUnknownLocal : ZQTotalCountUnknownRemote;
}

ZQEntityDataProviderDataOrigin ZQBaseRemoteListEntityDataProvider::originOfResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) const {
    return isFromCache(result) ? ZQEntityDataProviderDataOrigin::cache
                               : ZQEntityDataProviderDataOrigin::server;
}

bool ZQBaseRemoteListEntityDataProvider::isUpToDateResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) const {
    const auto* remote = remoteResult(result);
    return remote && remote->isUpToDate();
}

int64_t ZQBaseRemoteListEntityDataProvider::totalCountForQuery(
    const ZQEntityDataQueryInfo& query) const {
    return queryHasSearchText(query) ? filteredTotalCount() : totalCount();
}

// --- Building and choosing queries ---------------------------------------------------------------

std::shared_ptr<ZQEntityDataQueryInfo> ZQBaseRemoteListEntityDataProvider::newQueryInfoWithType(
    ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) {
    const bool allLoaded = optionIsSet(options, ZQEntityDataListProviderAllLoadedDataOptionKey);
    const bool force = optionIsSet(options, ZQRemoteEntityProviderForceOptionKey);
    uint64_t size = pageSize();
    if (size != 0 && allLoaded) {
        size =
            std::max(size, hasSearchText() ? filteredLoadedEntitiesCount() : loadedEntitiesCount());
    }
    auto query = ZQRemoteEntityDataQueryCollectionInfo::create(
        listEntityDataSource(), type, parametersForContextEntityData(), zqid(), allLoaded, size,
        orderIndex(), searchText(), searchFieldIndex(), advancedFilterValues());
    query->setForce(force);
    return query;
}

ZQEntityDataQueryType ZQBaseRemoteListEntityDataProvider::queryTypeForCurrentState() {
    if (loadedDataBelongsToCurrentInputParameters()) {
        const int64_t count = currentTotalCount();
        if (count == ZQTotalCountUnknownLocal) return QueryType::Local;
        if (count == ZQTotalCountUnknownPendingRemote) return QueryType::NextPage;
    } else if (remoteHelper_.cacheEnabled()) {
        return QueryType::Local;
    }
    return currentRefreshQueryType();
}

// --- Application and delegate ------------------------------------------------------------------

void ZQBaseRemoteListEntityDataProvider::notifyApplicationWillEnterForeground(
    const platform::Notification& notification) {
    if (totalCount() != ZQTotalCountUnknownLocal) setTotalCount(ZQTotalCountUnknownRemote);
    ZQBaseListEntityDataProvider::notifyApplicationWillEnterForeground(notification);
}

bool ZQBaseRemoteListEntityDataProvider::mustReadCacheFirst() const {
    return !remoteHelper_.hasLoadedCachedTypeOnInputParametersEntityDataChanged() &&
           !loadedDataBelongsToCurrentInputParameters();
}

void ZQBaseRemoteListEntityDataProvider::stopWaitingForDelegate(bool cancelled,
                                                                const platform::ErrorPtr& error) {
    if (!cancelled && mustReadCacheFirst() && currentQuery() &&
        queryTypeForCurrentState() == QueryType::Local &&
        loadWaitingForDelegateState() >= ZQLoadWaitingForDelegateOperation) {
        // The held query was built for the server; the new parameters' cache comes first.
        if (currentQuery()->type() == QueryType::Local) {
            retryWaitingForDelegateOperation();
        } else if (isInputParametersEntityDataValidForLoading()) {
            cancelCurrentOperation(false);
            loadQueryWithType(QueryType::Local, std::nullopt);
        }
    }
    ZQBaseListEntityDataProvider::stopWaitingForDelegate(cancelled, error);
}

void ZQBaseRemoteListEntityDataProvider::onInputParametersEntityDataChanged(
    const std::shared_ptr<ZQEntityData>& entityData) {
    ZQBaseListEntityDataProvider::onInputParametersEntityDataChanged(entityData);
    remoteHelper_.updateOnInputParametersChangedFlagsOnInputParametersChanged();
}

void ZQBaseRemoteListEntityDataProvider::
    performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded() {
    // Without the server, the cache can still answer for the new parameters.
    if (!loadedDataBelongsToCurrentInputParameters() && !isLoading() &&
        remoteHelper_.cacheEnabled() && !ZQUtilities::serverConnectionAvailable()) {
        load();
    }
    ZQBaseListEntityDataProvider::
        performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded();
}

void ZQBaseRemoteListEntityDataProvider::cleanProvider() {
    remoteHelper_.cleanLoadedDataSourceState();
    ZQBaseListEntityDataProvider::cleanProvider();
}

void ZQBaseRemoteListEntityDataProvider::cleanFilteredLoadedState() {
    remoteHelper_.cleanFilteredLoadedDataSourceState();
    ZQBaseListEntityDataProvider::cleanFilteredLoadedState();
}

// --- Answers ------------------------------------------------------------------------------------

void ZQBaseRemoteListEntityDataProvider::onDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, const platform::ErrorPtr& error,
    platform::Dictionary& context) {
    if (result) remoteHelper_.updateOnInputParametersChangedFlagsFromResult(*result, *query);
    if (remoteHelper_.cacheEnabled() && QueryType::isRefreshOrFirst(query->type()) &&
        isInputParametersEntityDataValidForLoading() &&
        queryHasSearchText(*query) == hasSearchText()) {
        const bool belongs = loadedDataBelongsToCurrentInputParameters();
        if ((!belongs && !remoteHelper_.hasLoadedCachedTypeOnInputParametersEntityDataChanged()) ||
            (belongs && totalCountForQuery(*query) == ZQTotalCountUnknownLocal)) {
            loadQueryWithType(QueryType::Local, std::nullopt);
        }
    }
    ZQBaseListEntityDataProvider::onDidFinishLoadingQuery(query, result, error, context);
}

void ZQBaseRemoteListEntityDataProvider::loadResultsFromSuccessfulQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    remoteHelper_.updateOnInputParametersChangedFlagsFromResult(*result, *query);
    if (!loadedDataBelongsToCurrentInputParameters() &&
        remoteHelper_.hasLoadedRefreshOrFirstTypeOnInputParametersEntityDataChanged()) {
        context.set(ZQEntityDataProviderRefreshWithFlagsContextKey, platform::Value(false));
    }
    if (!isUpToDateResult(result)) {
        ZQBaseListEntityDataProvider::loadResultsFromSuccessfulQuery(query, result, context);
        return;
    }
    // Up to date: the rows shown stay; only new parameters still need their cache read.
    if (!loadedDataBelongsToCurrentInputParameters() &&
        !remoteHelper_.hasLoadedCachedTypeOnInputParametersEntityDataChanged() &&
        remoteHelper_.cacheEnabled()) {
        loadQueryWithType(QueryType::Local, std::nullopt);
    }
}

bool ZQBaseRemoteListEntityDataProvider::
    shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context) {
    if (isFromCache(result)) return false;
    return ZQBaseListEntityDataProvider::
        shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(query, result, context);
}

bool ZQBaseRemoteListEntityDataProvider::
    shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context) {
    return ZQBaseListEntityDataProvider::
               shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(query, result,
                                                                                context) &&
           !isFromCache(result) &&
           (query->type() == QueryType::Refresh || !isUpToDateResult(result));
}

void ZQBaseRemoteListEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    ZQBaseListEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(query, result,
                                                                                      context);
    const bool searched = queryHasSearchText(*query);
    if (const auto* remote = remoteResult(result)) {
        if (searched) {
            remoteHelper_.updateFilteredLoadedDataStateFromResult(*remote);
        } else {
            remoteHelper_.updateLoadedDataStateFromResult(*remote);
        }
    }
    // The cache was shown: the server is to be asked next.
    if (isFromCache(result)) {
        if (searched) {
            setFilteredTotalCount(ZQTotalCountUnknownRemote);
        } else {
            setTotalCount(ZQTotalCountUnknownRemote);
        }
    }
}

void ZQBaseRemoteListEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    if (isFromCache(result)) {
        ZQBaseListEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
            query, result, context);
    } else if (QueryType::isRefreshOrFirst(query->type())) {
        remoteHelper_.updateLastRefreshFromServer(result->timeStamp());
    }
}
