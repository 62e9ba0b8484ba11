#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"

namespace {

// A parameter named "&Id" in one screen is "Id" in another: look both spellings up.
platform::Value valueOfParameter(const ZQEntityData& data, const std::string& name) {
    platform::Value value = data.valueForEntityDataFieldName(name);
    if (!value.isAbsent()) return value;
    if (!name.empty() && name.front() == '&')
        return data.valueForEntityDataFieldName(name.substr(1));
    return data.valueForEntityDataFieldName("&" + name);
}

}  // namespace

ZQBaseEntityDataProvider::ZQBaseEntityDataProvider(
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource)
    : dataSource_(std::move(dataSource)) {}

// The manager holds this provider weakly: an answer for a provider that is gone is skipped.
ZQBaseEntityDataProvider::~ZQBaseEntityDataProvider() = default;

void ZQBaseEntityDataProvider::attach() {
    std::weak_ptr<ZQBaseEntityDataProvider> weak = weak_from_this();
    foregroundObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        ZQApplicationWillEnterForegroundNotification, nullptr,
        [weak](const platform::Notification& notification) {
            auto deliver = [weak, notification] {
                if (auto self = weak.lock())
                    self->notifyApplicationWillEnterForeground(notification);
            };
            if (platform::isMainThread()) {
                deliver();
            } else {
                platform::dispatchAsyncOnMain(deliver);
            }
        });
}

// --- Loading ------------------------------------------------------------------------------------

void ZQBaseEntityDataProvider::refreshWithOptions(
    const std::optional<platform::Dictionary>& options) {
    loadQueryWithType(currentRefreshQueryType(), options);
}

void ZQBaseEntityDataProvider::loadQueryWithType(
    ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) {
    loadQueryWithType(type, options, platform::Dictionary());
}

void ZQBaseEntityDataProvider::loadQueryWithType(ZQEntityDataQueryType type,
                                                 const std::optional<platform::Dictionary>& options,
                                                 platform::Dictionary context) {
    loadRequested_ = true;
    if (currentQuery_) cancelCurrentOperation(false);
    std::shared_ptr<ZQEntityDataQueryInfo> query = newQueryInfoWithType(type, options);
    if (!query) return;
    currentQuery_ = query;
    currentContext_ = std::move(context);
    if (held_) {
        waitingState_ = ZQLoadWaitingForDelegateOperation;
        notifyLoadingState();
        return;
    }
    send(query);
}

void ZQBaseEntityDataProvider::send(const std::shared_ptr<ZQEntityDataQueryInfo>& query) {
    waitingState_ = ZQLoadWaitingForDelegateNone;
    auto manager = this->manager();
    if (!manager) {
        currentQuery_.reset();
        currentContext_ = platform::Dictionary();
        notifyError(defaultZQErrorWithDeveloperDescription("No entity data manager is registered"));
        notifyLoadingState();
        return;
    }
    notifyLoadingState();
    // The answer may come before load returns (on the main thread); currentQuery_ is set first.
    manager->load(query, shared_from_this());
}

std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> ZQBaseEntityDataProvider::manager() {
    if (!manager_) manager_ = ZQEntityDataManager::sharedManager()->onlineEntityDataManager();
    return manager_;
}

ZQEntityDataQueryType ZQBaseEntityDataProvider::currentRefreshQueryType() const {
    return firstLoadCompleted_ ? ZQEntityDataQueryTypeRefresh : ZQEntityDataQueryTypeFirst;
}

ZQBaseEntityDataProvider::LoadingState ZQBaseEntityDataProvider::loadingState() const {
    if (waitingState_ != ZQLoadWaitingForDelegateNone) return LoadingState::waitingForDelegate;
    return currentQuery_ ? LoadingState::loading : LoadingState::idle;
}

void ZQBaseEntityDataProvider::cancelCurrentOperation(bool notify) {
    std::shared_ptr<ZQEntityDataQueryInfo> query = std::move(currentQuery_);
    currentQuery_.reset();
    currentContext_ = platform::Dictionary();
    const bool wasHeld = waitingState_ == ZQLoadWaitingForDelegateOperation;
    waitingState_ = ZQLoadWaitingForDelegateNone;
    if (query && !wasHeld) {
        if (auto manager = this->manager()) manager->cancelLoad(query, shared_from_this());
    }
    if (notify) notifyLoadingState();
}

// --- Waiting for the delegate ------------------------------------------------------------------

void ZQBaseEntityDataProvider::setLoadsHeldByDelegate(bool held) {
    held_ = held;
    if (!held) stopWaitingForDelegate(false, nullptr);
}

void ZQBaseEntityDataProvider::retryWaitingForDelegateOperation() {
    if (waitingState_ != ZQLoadWaitingForDelegateOperation || !currentQuery_) return;
    send(currentQuery_);
}

void ZQBaseEntityDataProvider::stopWaitingForDelegate(bool cancelled,
                                                      const platform::ErrorPtr& error) {
    if (cancelled) {
        if (waitingState_ == ZQLoadWaitingForDelegateOperation) {
            cancelCurrentOperation(true);
        } else if (waitingState_ != ZQLoadWaitingForDelegateNone) {
            waitingState_ = ZQLoadWaitingForDelegateNone;
            notifyLoadingState();
        }
        if (error) notifyError(error);
        return;
    }
    if (held_) return;
    switch (waitingState_) {
        case ZQLoadWaitingForDelegateOperation:
            retryWaitingForDelegateOperation();
            break;
        case ZQLoadWaitingForDelegateLoad:
            waitingState_ = ZQLoadWaitingForDelegateNone;
            notifyLoadingState();
            load();
            break;
        default:
            refreshWithRefreshFlagsIfRequired();
            break;
    }
}

void ZQBaseEntityDataProvider::waitForDelegateToLoad() {
    // Asked for, even if it cannot run yet: valid input parameters will start it.
    loadRequested_ = true;
    if (!held_ || waitingState_ != ZQLoadWaitingForDelegateNone) return;
    waitingState_ = ZQLoadWaitingForDelegateLoad;
    notifyLoadingState();
}

// --- Refresh ------------------------------------------------------------------------------------

void ZQBaseEntityDataProvider::refreshWithRefreshFlagsIfRequired() {
    if ((refreshFlags_ & ZQEntityDataProviderRefreshFlagRequired) == 0 || isLoading()) return;
    platform::Dictionary options;
    options.set(ZQRemoteEntityProviderForceOptionKey,
                platform::Value((refreshFlags_ & ZQEntityDataProviderRefreshFlagForce) != 0));
    if ((refreshFlags_ & ZQEntityDataProviderRefreshFlagAllLoadedData) != 0) {
        options.set(ZQEntityDataListProviderAllLoadedDataOptionKey, platform::Value(true));
    }
    refreshFlags_ = 0;
    refreshWithOptions(options);
}

void ZQBaseEntityDataProvider::performAutoRefresh() {
    refreshWithOptions(std::nullopt);
}

void ZQBaseEntityDataProvider::updateRefreshFlagsForAutoRefreshRequired() {
    refreshFlags_ |= ZQEntityDataProviderRefreshFlagRequired;
}

// --- Input parameters ---------------------------------------------------------------------------

void ZQBaseEntityDataProvider::setInputParametersEntityData(std::shared_ptr<ZQEntityData> data) {
    onInputParametersEntityDataChanged(data);
}

void ZQBaseEntityDataProvider::setInputParameterValues(const platform::Array& values) {
    platform::Dictionary named;
    if (const ZQEntityDataFieldDescriptors* descriptors = parameterDescriptors()) {
        for (size_t i = 0; i < descriptors->size() && i < values.size(); ++i) {
            named.set((*descriptors)[i]->entityDataFieldName(), values[i]);
        }
    }
    setInputParametersEntityData(std::make_shared<ZQDictionaryEntityData>(std::move(named)));
}

const ZQEntityDataFieldDescriptors* ZQBaseEntityDataProvider::parameterDescriptors() const {
    auto parameters = dataSource_ ? dataSource_->entityDataSourceParametersDescriptor() : nullptr;
    if (!parameters || parameters->entityDataFieldDescriptors().empty()) return nullptr;
    return &parameters->entityDataFieldDescriptors();
}

std::optional<platform::Array> ZQBaseEntityDataProvider::parametersForContextEntityData() const {
    const ZQEntityDataFieldDescriptors* descriptors = parameterDescriptors();
    if (!descriptors) return std::nullopt;
    std::shared_ptr<ZQEntityData> source = input_;
    if (!source) {
        auto parent = std::dynamic_pointer_cast<ZQBaseEntityDataProvider>(parent_.lock());
        if (parent) source = parent->inputParametersEntityData();
    }
    platform::Array values;
    values.reserve(descriptors->size());
    for (const auto& descriptor : *descriptors) {
        platform::Value value = source
                                    ? valueOfParameter(*source, descriptor->entityDataFieldName())
                                    : platform::Value();
        values.push_back(value.isAbsent() ? platform::Value::null() : value);
    }
    return values;
}

bool ZQBaseEntityDataProvider::isInputParametersEntityDataValidForLoading() const {
    std::optional<platform::Array> values = parametersForContextEntityData();
    if (!values) return true;
    for (const platform::Value& value : *values) {
        if (value.isNothing()) return false;
    }
    return true;
}

bool ZQBaseEntityDataProvider::loadedDataBelongsToCurrentInputParameters() const {
    return hasLoadedParameters_ && loadedParameters_ == parametersForContextEntityData();
}

void ZQBaseEntityDataProvider::setLoadedParameters(std::optional<platform::Array> parameters) {
    hasLoadedParameters_ = true;
    loadedParameters_ = std::move(parameters);
}

void ZQBaseEntityDataProvider::clearLoadedParameters() {
    hasLoadedParameters_ = false;
    loadedParameters_.reset();
}

void ZQBaseEntityDataProvider::onInputParametersEntityDataChanged(
    const std::shared_ptr<ZQEntityData>& entityData) {
    input_ = entityData;
    // A query for other values must not answer for these.
    if (currentQuery_ && currentQuery_->parameters() != parametersForContextEntityData()) {
        cancelCurrentOperation(true);
    }
    performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded();
}

void ZQBaseEntityDataProvider::performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded() {
    if (!loadRequested_ || isLoading() || loadedDataBelongsToCurrentInputParameters()) return;
    if (isInputParametersEntityDataValidForLoading()) load();
}

// --- Application notifications -----------------------------------------------------------------

void ZQBaseEntityDataProvider::notifyApplicationWillEnterForeground(const platform::Notification&) {
    if (!hasLoadedParameters_ || isLoading()) return;
    if (held_) {
        updateRefreshFlagsForAutoRefreshRequired();
    } else {
        performAutoRefresh();
    }
}

// --- The manager's answer -----------------------------------------------------------------------

void ZQBaseEntityDataProvider::entityDataManagerDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataManager>&,
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    // Only the answer to the query in flight counts: a withdrawn or replaced one is stale.
    if (!query || query != currentQuery_ || waitingState_ != ZQLoadWaitingForDelegateNone) return;
    platform::Dictionary context = std::move(currentContext_);
    currentContext_ = platform::Dictionary();
    currentQuery_.reset();
    platform::ErrorPtr error = result ? result->error() : defaultZQError();
    onDidFinishLoadingQuery(query, result, error, context);
    notifyLoadingState();
}

void ZQBaseEntityDataProvider::onDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, const platform::ErrorPtr& error,
    platform::Dictionary& context) {
    if (error || !result) {
        loadResultsFromFailedQuery(query, error ? error : defaultZQError(), context);
        return;
    }
    loadResultsFromSuccessfulQuery(query, result, context);
    updateLoadedStateOnDidFinishLoadingQuerySuccesfully(query, result, context);
    updateLastRefreshOnDidFinishLoadingQuerySuccesfully(query, result, context);
    if (shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(query, result, context)) {
        firstLoadCompleted_ = true;
    }
    if (shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(query, result, context)) {
        refreshKeep_ = platform::Clock::current()->now();
    }
    onAfterDidFinishLoadingQuerySuccesfully(query, result, context);
}

void ZQBaseEntityDataProvider::loadResultsFromFailedQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>&, const platform::ErrorPtr& error,
    platform::Dictionary&) {
    notifyError(error);
}

bool ZQBaseEntityDataProvider::shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>&, const std::shared_ptr<ZQEntityDataQueryResult>&,
    const platform::Dictionary&) {
    return true;
}

bool ZQBaseEntityDataProvider::shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>&, const platform::Dictionary&) {
    return query->type() != ZQEntityDataQueryTypeNextPage;
}

void ZQBaseEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>&, platform::Dictionary&) {
    setLoadedParameters(query->parameters());
}

void ZQBaseEntityDataProvider::updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>&,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary&) {
    std::optional<platform::Date> stamp = result->timeStamp();
    updateLastRefresh(stamp ? stamp : std::optional(platform::Clock::current()->now()));
}

void ZQBaseEntityDataProvider::onAfterDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>&,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    notifyDataLoaded(originOfResult(result), isUpToDateResult(result));
    didNotifyDataLoaded();
    if (isLoading()) return;
    platform::Value refreshWithFlags = context.get(ZQEntityDataProviderRefreshWithFlagsContextKey);
    if (needsFollowUpLoad()) {
        performFollowUpLoad();
    } else if (refreshWithFlags.isAbsent() || ZQUtilities::boolFromValue(refreshWithFlags)) {
        refreshWithRefreshFlagsIfRequired();
    }
}

ZQEntityDataProviderDataOrigin ZQBaseEntityDataProvider::originOfResult(
    const std::shared_ptr<ZQEntityDataQueryResult>&) const {
    return ZQEntityDataProviderDataOrigin::server;
}

// --- Delegate calls -----------------------------------------------------------------------------

void ZQBaseEntityDataProvider::notifyDataLoaded(ZQEntityDataProviderDataOrigin origin,
                                                bool upToDate) {
    if (auto delegate = delegate_.lock())
        delegate->entityDataProviderDidLoadData(*this, origin, upToDate);
}

void ZQBaseEntityDataProvider::notifyLoadingState() {
    const LoadingState state = loadingState();
    if (loadingStateTold_ == state) return;
    loadingStateTold_ = state;
    if (auto delegate = delegate_.lock()) delegate->entityDataProviderDidChangeLoadingState(*this);
}

void ZQBaseEntityDataProvider::notifyError(const platform::ErrorPtr& error) {
    if (auto delegate = delegate_.lock()) delegate->entityDataProviderDidFailLoading(*this, error);
}

void ZQBaseEntityDataProvider::notifyMorePages(bool morePages) {
    if (morePagesTold_ == morePages) return;
    morePagesTold_ = morePages;
    if (auto delegate = delegate_.lock())
        delegate->entityDataProviderDidChangeMorePages(*this, morePages);
}
