#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseDetailEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemInfo.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/Clock.hpp"

ZQBaseDetailEntityDataProvider::ZQBaseDetailEntityDataProvider(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource)
    : ZQBaseEntityDataProvider(dataSource), detailDataSource_(std::move(dataSource)) {}

std::shared_ptr<ZQBaseDetailEntityDataProvider> ZQBaseDetailEntityDataProvider::create(
    std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource) {
    auto provider = std::make_shared<ZQBaseDetailEntityDataProvider>(std::move(dataSource));
    provider->attach();
    return provider;
}

bool ZQBaseDetailEntityDataProvider::contextIsMutable(const platform::Dictionary& context) {
    return ZQUtilities::boolFromValue(context.get(ZQEntityDataProviderMutableContextKey));
}

// --- Loading ------------------------------------------------------------------------------------

void ZQBaseDetailEntityDataProvider::loadEntityData() {
    setState(stateEntityData);
    if (!isInputParametersEntityDataValidForLoading()) {
        waitForDelegateToLoad();
        return;
    }
    loadQueryWithType(queryTypeForLoadingEntityData(), std::nullopt);
}

void ZQBaseDetailEntityDataProvider::loadMutableEntityData() {
    setState(stateMutableEntityData);
    if (!isInputParametersEntityDataValidForLoadingMutable()) {
        waitForDelegateToLoad();
        return;
    }
    reloadNeeded_ = false;
    platform::Dictionary context;
    context.set(ZQEntityDataProviderMutableContextKey, platform::Value(true));
    loadQueryWithType(currentRefreshQueryType(), mutableLoadOptions(), std::move(context));
}

ZQEntityDataQueryType ZQBaseDetailEntityDataProvider::queryTypeForLoadingEntityData() {
    return currentRefreshQueryType();
}

void ZQBaseDetailEntityDataProvider::refreshWithOptions(
    const std::optional<platform::Dictionary>& options) {
    reloadNeeded_ = false;
    if (state_ != stateMutableEntityData) {
        loadQueryWithType(currentRefreshQueryType(), options);
        return;
    }
    // The editable version is refreshed as it was loaded: with its options, marked mutable.
    // The editable version's options win over the caller's.
    platform::Dictionary merged = options.value_or(platform::Dictionary());
    if (auto mutableOptions = mutableLoadOptions()) {
        for (const auto& [key, value] : *mutableOptions) merged.set(key, value);
    }
    platform::Dictionary context;
    context.set(ZQEntityDataProviderMutableContextKey, platform::Value(true));
    loadQueryWithType(currentRefreshQueryType(), merged, std::move(context));
}

void ZQBaseDetailEntityDataProvider::reloadEntityData() {
    refreshWithOptions(std::nullopt);
}

std::shared_ptr<ZQEntityDataQueryInfo> ZQBaseDetailEntityDataProvider::newQueryInfoWithType(
    ZQEntityDataQueryType type, const std::optional<platform::Dictionary>&) {
    return ZQEntityDataQuerySingleItemInfo::create(detailDataSource_, type,
                                                   parametersForContextEntityData(), zqid());
}

// --- Reload -------------------------------------------------------------------------------------

void ZQBaseDetailEntityDataProvider::setReloadNeeded(bool needed) {
    reloadNeeded_ = needed;
    if (needed) updateRefreshFlagsForReloadRequired();
}

void ZQBaseDetailEntityDataProvider::updateRefreshFlagsForReloadRequired() {
    setRefreshFlags(refreshFlags() | ZQEntityDataProviderRefreshFlagRequired);
}

void ZQBaseDetailEntityDataProvider::updateLastRefreshWithProviderConnectivitySupport() {
    updateLastRefresh(platform::Clock::current()->now());
}

bool ZQBaseDetailEntityDataProvider::cleanLoadedEntityData() {
    const bool changed = loadedEntityData_ != nullptr;
    if (isLoading()) cancelCurrentOperation(true);
    loadedEntityData_.reset();
    reloadNeeded_ = false;
    clearLoadedParameters();
    resetFirstLoadCompleted();
    if (changed) notifyDataLoaded(ZQEntityDataProviderDataOrigin::none, false);
    return changed;
}

// --- Answers ------------------------------------------------------------------------------------

void ZQBaseDetailEntityDataProvider::loadResultsFromSuccessfulQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>&,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary&) {
    auto single = std::dynamic_pointer_cast<ZQEntityDataQuerySingleItemResult>(result);
    if (!single) return;
    // The cache not holding the item says nothing of the server's: keep what is shown, unless
    // it is the item of other input parameters.
    if (single->dataItem() || originOfResult(result) != ZQEntityDataProviderDataOrigin::cache ||
        !loadedDataBelongsToCurrentInputParameters()) {
        loadedEntityData_ = single->dataItem();
    }
}

void ZQBaseDetailEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    if (contextIsMutable(context)) {
        updateLastRefreshWithProviderConnectivitySupport();
        return;
    }
    ZQBaseEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(query, result,
                                                                                  context);
}

void ZQBaseDetailEntityDataProvider::performFollowUpLoad() {
    setRefreshFlags(0);
    reloadEntityData();
}
