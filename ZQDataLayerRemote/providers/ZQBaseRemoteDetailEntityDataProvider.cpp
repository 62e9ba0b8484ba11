#include "ZQDataLayerRemote/providers/ZQBaseRemoteDetailEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"

namespace {
using QueryType = ZQRemoteEntityDataQueryType;
using Source = ZQRemoteEntityDataQueryResultSource;
using LoadedState = ZQEntityDataDetailProviderLoadedState;

const ZQRemoteEntityDataQueryResult* remoteResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    return dynamic_cast<const ZQRemoteEntityDataQueryResult*>(result.get());
}

bool isFromCache(const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    const auto* remote = remoteResult(result);
    return remote && remote->source() == Source::Cache;
}

std::shared_ptr<ZQEntityData> dataItemOf(const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    auto single = std::dynamic_pointer_cast<ZQEntityDataQuerySingleItemResult>(result);
    return single ? single->dataItem() : nullptr;
}

platform::Dictionary forceOptions() {
    return platform::Dictionary{{ZQRemoteEntityProviderForceOptionKey, platform::Value(true)}};
}
}  // namespace

ZQBaseRemoteDetailEntityDataProvider::ZQBaseRemoteDetailEntityDataProvider(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource)
    : ZQBaseDetailEntityDataProvider(std::move(dataSource)), remoteHelper_(*this) {
    setLoadState(initialLoadState());
}

std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider> ZQBaseRemoteDetailEntityDataProvider::create(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource) {
    auto provider = std::make_shared<ZQBaseRemoteDetailEntityDataProvider>(std::move(dataSource));
    provider->attach();
    return provider;
}

LoadedState ZQBaseRemoteDetailEntityDataProvider::initialLoadState() const {
    return remoteHelper_.cacheEnabled() ? LoadedState::unknownLocal : LoadedState::unknownRemote;
}

uint8_t ZQBaseRemoteDetailEntityDataProvider::loadedMutableDataSource() const {
    return businessComponentLevel() ? uint8_t{ZQRemoteLoadedDataSourceServer}
                                    : remoteHelper_.loadedDataSource();
}

ZQEntityDataProviderDataOrigin ZQBaseRemoteDetailEntityDataProvider::originOfResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) const {
    return isFromCache(result) ? ZQEntityDataProviderDataOrigin::cache
                               : ZQEntityDataProviderDataOrigin::server;
}

bool ZQBaseRemoteDetailEntityDataProvider::isUpToDateResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result) const {
    const auto* remote = remoteResult(result);
    return remote && remote->isUpToDate();
}

// --- Queries and options ------------------------------------------------------------------------

std::shared_ptr<ZQEntityDataQueryInfo> ZQBaseRemoteDetailEntityDataProvider::newQueryInfoWithType(
    ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) {
    auto query = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        detailEntityDataSource(), type, parametersForContextEntityData(), zqid());
    query->setForce(options &&
                    ZQUtilities::boolFromValue(options->get(ZQRemoteEntityProviderForceOptionKey)));
    return query;
}

ZQEntityDataQueryType ZQBaseRemoteDetailEntityDataProvider::queryTypeForLoadingEntityData() {
    if (remoteHelper_.cacheEnabled()) return QueryType::Local;
    return ZQBaseDetailEntityDataProvider::queryTypeForLoadingEntityData();
}

std::optional<platform::Dictionary> ZQBaseRemoteDetailEntityDataProvider::mutableLoadOptions() {
    // The editable version is always the server's.
    return forceOptions();
}

void ZQBaseRemoteDetailEntityDataProvider::reloadEntityData() {
    refreshWithOptions(forceOptions());
}

void ZQBaseRemoteDetailEntityDataProvider::updateLastRefreshWithProviderConnectivitySupport() {
    remoteHelper_.updateLastRefreshFromServer(std::nullopt);
}

bool ZQBaseRemoteDetailEntityDataProvider::cleanLoadedEntityData() {
    const bool changed = ZQBaseDetailEntityDataProvider::cleanLoadedEntityData();
    remoteHelper_.cleanLoadedDataSourceState();
    const LoadedState before = loadState();
    setLoadState(initialLoadState());
    return changed || before != loadState();
}

// --- Application, delegate, input parameters ----------------------------------------------------

void ZQBaseRemoteDetailEntityDataProvider::notifyApplicationWillEnterForeground(
    const platform::Notification& notification) {
    if (loadState() == LoadedState::remote) setLoadState(LoadedState::unknownRemote);
    ZQBaseDetailEntityDataProvider::notifyApplicationWillEnterForeground(notification);
}

bool ZQBaseRemoteDetailEntityDataProvider::mustReadCacheFirst() const {
    return !remoteHelper_.hasLoadedCachedTypeOnInputParametersEntityDataChanged() &&
           !loadedDataBelongsToCurrentInputParameters();
}

void ZQBaseRemoteDetailEntityDataProvider::stopWaitingForDelegate(bool cancelled,
                                                                  const platform::ErrorPtr& error) {
    if (!cancelled && mustReadCacheFirst() && currentQuery() &&
        queryTypeForLoadingEntityData() == QueryType::Local &&
        loadWaitingForDelegateState() >= ZQLoadWaitingForDelegateOperation) {
        if (currentQuery()->type() == QueryType::Local) {
            retryWaitingForDelegateOperation();
        } else if (state() == stateEntityData && isInputParametersEntityDataValidForLoading()) {
            cancelCurrentOperation(false);
            loadEntityData();
        } else if (state() == stateMutableEntityData &&
                   isInputParametersEntityDataValidForLoadingMutable()) {
            cancelCurrentOperation(false);
            loadMutableEntityData();
        }
    }
    ZQBaseDetailEntityDataProvider::stopWaitingForDelegate(cancelled, error);
}

void ZQBaseRemoteDetailEntityDataProvider::onInputParametersEntityDataChanged(
    const std::shared_ptr<ZQEntityData>& entityData) {
    ZQBaseDetailEntityDataProvider::onInputParametersEntityDataChanged(entityData);
    remoteHelper_.updateOnInputParametersChangedFlagsOnInputParametersChanged();
    // What was known of the old parameters' item says nothing of the new one's: without this a
    // cache miss for the new values would never ask the server.
    if (!loadedDataBelongsToCurrentInputParameters()) setLoadState(initialLoadState());
}

void ZQBaseRemoteDetailEntityDataProvider::
    performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded() {
    if (!loadedDataBelongsToCurrentInputParameters() && !isLoading() &&
        remoteHelper_.cacheEnabled() && loadedEntityData()) {
        loadEntityData();
    }
    ZQBaseDetailEntityDataProvider::
        performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded();
}

// --- Answers ------------------------------------------------------------------------------------

void ZQBaseRemoteDetailEntityDataProvider::onDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, const platform::ErrorPtr& error,
    platform::Dictionary& context) {
    if (result) remoteHelper_.updateOnInputParametersChangedFlagsFromResult(*result, *query);
    if (remoteHelper_.cacheEnabled() && QueryType::isRefreshOrFirst(query->type()) &&
        isInputParametersEntityDataValidForLoading() && !contextIsMutable(context)) {
        const bool belongs = loadedDataBelongsToCurrentInputParameters();
        if ((!belongs && !remoteHelper_.hasLoadedCachedTypeOnInputParametersEntityDataChanged()) ||
            (belongs && loadState() == LoadedState::unknownLocal && !loadedEntityData())) {
            setState(stateEntityData);
            loadQueryWithType(QueryType::Local, std::nullopt);
        }
    }
    ZQBaseDetailEntityDataProvider::onDidFinishLoadingQuery(query, result, error, context);
}

void ZQBaseRemoteDetailEntityDataProvider::loadResultsFromSuccessfulQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    remoteHelper_.updateOnInputParametersChangedFlagsFromResult(*result, *query);
    ZQBaseDetailEntityDataProvider::loadResultsFromSuccessfulQuery(query, result, context);
}

void ZQBaseRemoteDetailEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    ZQBaseDetailEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
        query, result, context);
    const auto* remote = remoteResult(result);
    if (remote && dataItemOf(result) && !contextIsMutable(context)) {
        remoteHelper_.updateLoadedDataStateFromResult(*remote);
    }
    if (!remote) return;
    if (remote->source() == Source::Remote) {
        setLoadState(LoadedState::remote);
    } else if (remote->source() == Source::Cache && loadState() != LoadedState::remote) {
        // The cache was shown: the server's version is to come next.
        setLoadState(LoadedState::unknownRemote);
        setReloadNeeded(true);
    }
}

void ZQBaseRemoteDetailEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    if (isFromCache(result)) {
        ZQBaseDetailEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
            query, result, context);
        return;
    }
    remoteHelper_.updateLastRefreshFromServer(result->timeStamp());
}

void ZQBaseRemoteDetailEntityDataProvider::onAfterDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    if (!isFromCache(result) || dataItemOf(result)) {
        ZQBaseDetailEntityDataProvider::onAfterDidFinishLoadingQuerySuccesfully(query, result,
                                                                                context);
        return;
    }
    // The cache had nothing: ask the server at once.
    if (loadedDataBelongsToCurrentInputParameters() ||
        !remoteHelper_.hasLoadedRefreshOrFirstTypeOnInputParametersEntityDataChanged()) {
        refreshWithRefreshFlagsIfRequired();
    }
    if (!isLoading()) {
        ZQBaseDetailEntityDataProvider::onAfterDidFinishLoadingQuerySuccesfully(query, result,
                                                                                context);
    }
}
