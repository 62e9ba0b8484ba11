#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"

#include <mutex>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerCacheCheck.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerDelivery.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerEntityLock.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerRequest.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryStandardResults.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"

namespace {

using ContextLock = std::lock_guard<ZQEntityDataManagerLoaderContext>;
using RemoteContext = ZQEntityDataManagerRemoteLoaderContext;
using CacheContext = ZQEntityDataManagerCacheLoaderContext;
using QueryType = ZQRemoteEntityDataQueryType;
using CacheCheck = ZQRemoteEntityDataManagerCacheCheck;

std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteDataSourceOf(
    const ZQEntityDataQueryInfo& queryInfo) {
    if (const auto* remote = dynamic_cast<const ZQRemoteEntityDataQueryInfo*>(&queryInfo)) {
        return remote->remoteDataSource();
    }
    return std::dynamic_pointer_cast<const ZQRemoteEntityDataSourceDescriptor>(
        queryInfo.dataSource());
}

bool isCollectionQuery(const ZQEntityDataQueryInfo& queryInfo) {
    auto dataSource = queryInfo.dataSource();
    return dataSource && dataSource->entityDataSourceIsCollection();
}

bool hasSearchText(const ZQEntityDataQueryCollectionInfo& query) {
    return query.searchText() && !query.searchText()->empty();
}

// The verbose log's account of a cache check: what the record said and what happens next.
void logDecision(const std::string& key, const CacheCheck::Record& record,
                 CacheCheck::Decision decision, bool force, bool refresh, platform::Date now) {
    auto logger = ZQLog::loggerService();
    if (!logger || !logger->isLogEnabled()) return;
    std::string why;
    if (!record.timeStamp) {
        why = "not cached";
    } else {
        why = "cached " +
              std::to_string(static_cast<long long>(now.timeIntervalSinceDate(*record.timeStamp))) +
              " s ago";
        if (record.complete) why += ", complete";
    }
    if (force) why += ", forced";
    if (!refresh) why += ", next page";
    std::string what;
    switch (decision) {
        case CacheCheck::Decision::Server:
            what = "asking the server";
            break;
        case CacheCheck::Decision::Cache:
            what = "fresh within its caching window: answering from the cache";
            break;
        case CacheCheck::Decision::UpToDate:
            what = "every row is held: answering up to date without a request";
            break;
    }
    logger->logMessage("cache " + key + ": " + why + "; " + what, ZQLogTypeData, ZQLogLevelInfo,
                       false);
}

}  // namespace

// --- Construction ---------------------------------------------------------------------------

ZQRemoteEntityDataManager::ZQRemoteEntityDataManager()
    : serviceManager_(ZQEntityDataServiceManager::create()),
      cacheOperationQueue_(platform::OperationQueue::create("ZQRemoteEntityDataManager.cache")) {
    // The tokens are reset before the members go, so the blocks never see a destroyed manager.
    auto& center = platform::NotificationCenter::defaultCenter();
    willClearCacheObserver_ =
        center.addObserver(ZQModelWillClearCacheNotification, nullptr,
                           [this](const platform::Notification&) { onWillClearCache(); });
    didClearCacheObserver_ =
        center.addObserver(ZQModelDidClearCacheNotification, nullptr,
                           [this](const platform::Notification&) { onDidClearCache(); });
}

std::shared_ptr<ZQRemoteEntityDataManager> ZQRemoteEntityDataManager::create() {
    return std::make_shared<ZQRemoteEntityDataManager>();
}

ZQRemoteEntityDataManager::~ZQRemoteEntityDataManager() {
    willClearCacheObserver_.reset();
    didClearCacheObserver_.reset();
    cacheOperationQueue_->cancelAllOperations();
}

// --- Requests and keys ----------------------------------------------------------------------

std::optional<platform::URL> ZQRemoteEntityDataManager::baseURLForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo) {
    return ZQRemoteEntityDataManagerRequest::baseURLForQueryInfo(queryInfo);
}

std::optional<std::string> ZQRemoteEntityDataManager::queryParametersForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo) {
    return ZQRemoteEntityDataManagerRequest::queryParametersForQueryInfo(queryInfo);
}

std::string ZQRemoteEntityDataManager::keyForBaseURL(
    const platform::URL& baseURL, const std::optional<std::string>& queryParameters) {
    if (!queryParameters) return baseURL.absoluteString();
    return baseURL.absoluteString() + "?" + *queryParameters;
}

std::string ZQRemoteEntityDataManager::keyForServiceQueryInfo(
    const ZQEntityDataServiceQueryInfo& queryInfo) {
    return ZQEntityDataServiceManager::keyForQueryInfo(queryInfo);
}

std::string ZQRemoteEntityDataManager::keyOfContext(
    const ZQEntityDataManagerLoaderContext& context) {
    return keyForBaseURL(context.baseURL(), context.queryParameters());
}

std::shared_ptr<platform::PersistentStoreCoordinator> ZQRemoteEntityDataManager::psc() {
    // Never opens the cache: a caller on the main thread must not wait for a busy file. Before
    // the first open the operations take the coordinator themselves, on the cache queue.
    return ZQModel_ZQCoreDataCache::existingPersistentStoreCoordinator(ZQModel::currentModel());
}

// --- The host's interface -------------------------------------------------------------------

std::shared_ptr<ZQEntityDataManager> ZQRemoteEntityDataManager::manager() const {
    platform::MutexLock hold(managerMutex_);
    return manager_.lock();
}

void ZQRemoteEntityDataManager::setManager(std::weak_ptr<ZQEntityDataManager> manager) {
    platform::MutexLock hold(managerMutex_);
    manager_ = std::move(manager);
}

std::shared_ptr<ZQEntityDataQuerySingleItemResult>
ZQRemoteEntityDataManager::emptySingleItemEntityDataQueryResultWithDataItem(
    const std::shared_ptr<ZQEntityData>& dataItem) {
    return ZQRemoteEntityDataQueryStandardResults::emptySingleItemEntityDataQueryResultWithDataItem(
        dataItem);
}

std::shared_ptr<ZQEntityDataQueryCollectionResult>
ZQRemoteEntityDataManager::emptyCollectionEntityDataQueryResult() {
    return ZQRemoteEntityDataQueryStandardResults::emptyCollectionEntityDataQueryResult();
}

void ZQRemoteEntityDataManager::load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                                     const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    if (!queryInfo) return;
    const ZQEntityDataQueryType type = queryInfo->type();
    if (!QueryType::isValid(type)) {
        refuseQuery(queryInfo, delegate,
                    defaultZQErrorWithDeveloperDescription("Unknown query type " +
                                                           std::to_string(unsigned{type})));
        return;
    }
    auto dataSource = remoteDataSourceOf(*queryInfo);
    const bool cacheEnabled = dataSource && dataSource->entityDataSourceCacheEnabled();
    if (clearingCache_.load() || (type == QueryType::Local && !cacheEnabled)) {
        std::weak_ptr<ZQRemoteEntityDataManager> weakSelf = weak_from_this();
        std::weak_ptr<ZQEntityDataManagerDelegate> weakDelegate = delegate;
        platform::dispatchAsyncOnMain([weakSelf, queryInfo, weakDelegate] {
            auto self = weakSelf.lock();
            auto target = weakDelegate.lock();
            if (self && target) self->notifyResultWithNoData(queryInfo, target);
        });
        return;
    }
    std::optional<platform::URL> baseURL = baseURLForQueryInfo(*queryInfo);
    if (!baseURL) {
        refuseQuery(queryInfo, delegate,
                    defaultZQErrorWithDeveloperDescription("No server URL for the query"));
        return;
    }
    std::optional<std::string> parameters = queryParametersForQueryInfo(*queryInfo);
    loadIntoDictionary(queryInfo, delegate, type == QueryType::Local, *baseURL, parameters,
                       keyForBaseURL(*baseURL, parameters));
}

void ZQRemoteEntityDataManager::refuseQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate, platform::ErrorPtr error) {
    std::weak_ptr<ZQRemoteEntityDataManager> weakSelf = weak_from_this();
    std::weak_ptr<ZQEntityDataManagerDelegate> weakDelegate = delegate;
    const bool collection = isCollectionQuery(*queryInfo);
    platform::dispatchAsyncOnMain([weakSelf, queryInfo, weakDelegate, collection, error] {
        auto self = weakSelf.lock();
        auto target = weakDelegate.lock();
        if (!self || !target) return;
        target->entityDataManagerDidFinishLoadingQuery(
            self->manager(), queryInfo,
            ZQRemoteEntityDataManagerDelivery::errorResult(
                error, collection, ZQRemoteEntityDataQueryResultSource::Cache));
    });
}

void ZQRemoteEntityDataManager::loadIntoDictionary(
    const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate, bool local,
    const platform::URL& baseURL, const std::optional<std::string>& queryParameters,
    const std::string& key) {
    Dictionary& dictionary =
        local ? cacheLoadOperationContextByQueryId_ : remoteLoadContextByQueryId_;
    for (;;) {
        CacheContextPtr existing = dictionary.synchronizedObjectForKey(key);
        if (!existing) {
            // Made before the dictionary's lock, which must not wait for the cache's first open;
            // dropped unused when another caller stores a context first.
            auto operation =
                newCacheLoadOperationForQueryInfo(*queryInfo, baseURL, queryParameters);
            auto insertion = dictionary.insertIfAbsent(key, [&]() -> CacheContextPtr {
                if (local) {
                    return std::make_shared<CacheContext>(operation, queryInfo, delegate, baseURL,
                                                          queryParameters);
                }
                return std::make_shared<RemoteContext>(operation, queryInfo, delegate, baseURL,
                                                       queryParameters);
            });
            if (insertion.inserted) {
                cacheOperationQueue_->addOperation(operation);
                return;
            }
            continue;
        }
        ContextLock hold(*existing);
        if (!dictionary.isMapped(key, existing.get())) continue;
        if (!local) {
            auto remote = std::dynamic_pointer_cast<RemoteContext>(existing);
            if (remote && shouldSupersede(*remote, *queryInfo)) {
                supersede(remote, queryInfo, delegate, key);
                return;
            }
        }
        existing->addQueryInfo(queryInfo, delegate);
        return;
    }
}

bool ZQRemoteEntityDataManager::shouldSupersede(
    const ZQEntityDataManagerCacheLoaderContext& existing, const ZQEntityDataQueryInfo& queryInfo) {
    const auto* remote = dynamic_cast<const RemoteContext*>(&existing);
    const auto* query = dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(&queryInfo);
    if (!remote || !query || !isCollectionQuery(queryInfo)) return false;
    // Still in its cache stage: the check has not fixed the page yet, so the query just adds
    // its page size to the decision.
    if (!remote->serviceQueryInfo() && !remote->cacheSaveOperation()) return false;
    const ZQRange page = remote->pageRange();
    if (page.location != 0) {
        return !(queryInfo.type() == QueryType::NextPage && !query->allLoadedData());
    }
    return page.length != 0 && (query->pageSize() == 0 || query->pageSize() > page.length);
}

void ZQRemoteEntityDataManager::supersede(
    const RemoteContextPtr& existing, const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate, const std::string& key) {
    if (auto save = existing->cacheSaveOperation()) save->cancel();
    cancelServiceRequest(existing);
    const platform::URL baseURL = existing->baseURL();
    const std::optional<std::string> parameters = existing->queryParameters();
    auto operation = newCacheLoadOperationForQueryInfo(*queryInfo, baseURL, parameters);
    auto replacement =
        std::make_shared<RemoteContext>(operation, queryInfo, delegate, baseURL, parameters);
    for (const auto& [waiting, waitingDelegate] : existing->pairs()) {
        replacement->addQueryInfo(waiting, waitingDelegate);
    }
    // The old context is unreachable from now on; emptying it makes any late reader see that.
    existing->removeAllQueryInfos();
    existing->setLoader({});
    {
        ContextLock holdReplacement(*replacement);
        remoteLoadContextByQueryId_.setObject(key, replacement);
    }
    cacheOperationQueue_->addOperation(operation);
}

std::shared_ptr<ZQEntityDataCacheLoadOperation>
ZQRemoteEntityDataManager::newCacheLoadOperationForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo, const platform::URL& baseURL,
    const std::optional<std::string>& queryParameters) {
    return newCacheLoadOperationForQueryInfo(queryInfo, baseURL, queryParameters,
                                             queryInfo.type() == QueryType::Local
                                                 ? ZQEntityDataCacheLoadResultType::rows
                                                 : ZQEntityDataCacheLoadResultType::record);
}

std::shared_ptr<ZQEntityDataCacheLoadOperation>
ZQRemoteEntityDataManager::newCacheLoadOperationForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo, const platform::URL& baseURL,
    const std::optional<std::string>& queryParameters, ZQEntityDataCacheLoadResultType type) {
    uint64_t orderIndex = ZQNotFound;
    bool breakByEnabled = false;
    bool alphaIndexEnabled = false;
    const auto* query = dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(&queryInfo);
    if (query && isCollectionQuery(queryInfo)) {
        orderIndex = query->orderIndex();
        const bool searching = hasSearchText(*query);
        alphaIndexEnabled = !searching;
        breakByEnabled = !searching;
        if (searching) {
            auto collection =
                std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(
                    queryInfo.dataSource());
            auto search = collection ? collection->entityDataSourceFilterSearch() : nullptr;
            breakByEnabled = search && search->entityListFilterSearchBreakByBehavior() == 1;
        }
    }
    auto operation = ZQEntityDataCacheLoadOperation::create(
        baseURL, queryParameters, psc(), queryInfo.dataSource(), type, orderIndex, breakByEnabled,
        alphaIndexEnabled);
    operation->setDelegate(shared_from_this());
    return operation;
}

// --- The stages -------------------------------------------------------------------------------

ZQRemoteEntityDataManager::CacheLoadOwner ZQRemoteEntityDataManager::ownerOfCacheLoadOperation(
    const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation) {
    const bool rows = operation->resultType() == ZQEntityDataCacheLoadResultType::rows;
    Dictionary& dictionary =
        rows ? cacheLoadOperationContextByQueryId_ : remoteLoadContextByQueryId_;
    std::string key = keyForBaseURL(operation->queryBaseURL(), operation->queryParameters());
    CacheContextPtr context = dictionary.synchronizedObjectForKey(key);
    // A cancelled operation, or one whose context has moved on, speaks for nobody.
    if (operation->isCancelled() || !context || context->cacheLoadOperation() != operation)
        context = nullptr;
    return {std::move(context), &dictionary, std::move(key), rows};
}

void ZQRemoteEntityDataManager::entityDataCacheLoadOperationDidFinishLoading(
    const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation) {
    auto [context, dictionary, key, rows] = ownerOfCacheLoadOperation(operation);
    if (!context) return;
    if (rows) {
        notifyResultToDelegateFromCacheLoaderContext(context, *dictionary, key);
        return;
    }
    if (auto remote = std::dynamic_pointer_cast<RemoteContext>(context)) {
        decideAfterCacheCheck(remote, operation, key);
    }
}

void ZQRemoteEntityDataManager::entityDataCacheLoadOperationDidFailLoadingWithError(
    const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation,
    const platform::ErrorPtr& error) {
    auto [context, dictionary, key, rows] = ownerOfCacheLoadOperation(operation);
    if (!context) return;
    notifyResultWithError(error ? error : defaultZQError(), context, *dictionary, key);
}

void ZQRemoteEntityDataManager::decideAfterCacheCheck(
    const RemoteContextPtr& context,
    const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation, const std::string& key) {
    // Read before taking the context's lock, so that a caller joining the context never waits
    // for the store.
    const CacheCheck::Record record = CacheCheck::readRecord(*operation);
    ContextLock hold(*context);
    if (!remoteLoadContextByQueryId_.isMapped(key, context.get()) ||
        context->cacheLoadOperation() != operation) {
        return;
    }
    if (!record.readable) {
        notifyResultWithError(defaultZQError(), context, remoteLoadContextByQueryId_, key);
        return;
    }
    const bool refresh = context->isAnyRefreshOrFirst();
    auto last = context->anyQueryInfo();
    auto dataSource = last ? remoteDataSourceOf(*last) : nullptr;
    const bool force = context->isAnyForce();
    const platform::Date now = platform::Clock::current()->now();
    const CacheCheck::Decision decision =
        CacheCheck::decide(record, force, refresh, dataSource.get(), now);
    logDecision(key, record, decision, force, refresh, now);
    switch (decision) {
        case CacheCheck::Decision::Server:
            requestFromServer(context, *operation, record.lastModified, refresh);
            break;
        case CacheCheck::Decision::Cache:
            readFromCache(context);
            break;
        case CacheCheck::Decision::UpToDate:
            // The record read of a collection gives the up-to-date result.
            notifyResultToDelegateFromCacheLoaderContext(context, remoteLoadContextByQueryId_, key);
            break;
    }
}

void ZQRemoteEntityDataManager::requestFromServer(const RemoteContextPtr& context,
                                                  const ZQEntityDataCacheLoadOperation& operation,
                                                  std::optional<platform::Date> lastModified,
                                                  bool refresh) {
    const bool collection = context->isCollection();
    if (collection) {
        context->setPageRange(CacheCheck::pageRange(context->maxPageSize(), operation.count(),
                                                    context->isAnyAllLoadedData(), refresh));
    }
    auto last = context->anyQueryInfo();
    auto dataSource = last ? remoteDataSourceOf(*last) : nullptr;
    const bool cacheEnabled = dataSource && dataSource->entityDataSourceCacheEnabled();
    // Only a refresh of a cached query can be answered "not modified" from what is held.
    auto serviceQuery = ZQEntityDataServiceQueryInfo::create(
        context->remoteURL(), collection,
        refresh && cacheEnabled ? lastModified : std::optional<platform::Date>());
    context->setServiceQueryInfo(serviceQuery);
    remoteLoadContextByServiceQueryId_.setObject(keyForServiceQueryInfo(*serviceQuery), context);
    serviceManager_->load(serviceQuery, shared_from_this());
}

void ZQRemoteEntityDataManager::entityDataServiceManagerDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataServiceManager>& /*manager*/,
    const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataServiceResult>& result) {
    if (!query) return;
    const std::string serviceKey = keyForServiceQueryInfo(*query);
    auto context = std::dynamic_pointer_cast<RemoteContext>(
        remoteLoadContextByServiceQueryId_.synchronizedObjectForKey(serviceKey));
    if (!context) return;
    ContextLock hold(*context);
    if (context->serviceQueryInfo() != query) return;
    if (!remoteLoadContextByServiceQueryId_.removeObjectForKey(serviceKey, context.get())) return;
    processServiceResult(result, context);
}

void ZQRemoteEntityDataManager::processServiceResult(
    const std::shared_ptr<ZQEntityDataServiceResult>& result, const RemoteContextPtr& context) {
    if (!result || !result->isSuccessful()) {
        platform::ErrorPtr error = result ? result->error() : nullptr;
        notifyResultWithError(error ? error : defaultZQError(), context,
                              remoteLoadContextByQueryId_, keyOfContext(*context));
        return;
    }
    saveServiceResult(result, context);
}

void ZQRemoteEntityDataManager::saveServiceResult(
    const std::shared_ptr<ZQEntityDataServiceResult>& result, const RemoteContextPtr& context) {
    ContextLock hold(*context);
    if (!remoteLoadContextByQueryId_.isMapped(keyOfContext(*context), context.get())) return;
    auto last = context->anyQueryInfo();
    auto operation = ZQEntityDataCacheSaveOperation::create(
        context->baseURL(), context->queryParameters(), psc(), last ? last->dataSource() : nullptr,
        context->isAnyRefreshOrFirst(), result, context->pageRange());
    operation->setDelegate(weak_from_this());
    context->setCacheSaveOperation(operation);
    cacheOperationQueue_->addOperation(operation);
}

void ZQRemoteEntityDataManager::entityDataCacheSaveOperationDidFinishSaving(
    const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) {
    if (operation->isCancelled()) return;
    const std::string key = keyForBaseURL(operation->queryBaseURL(), operation->queryParameters());
    auto context = std::dynamic_pointer_cast<RemoteContext>(
        remoteLoadContextByQueryId_.synchronizedObjectForKey(key));
    if (!context) return;
    ContextLock hold(*context);
    if (context->cacheSaveOperation() != operation) return;
    readFromCache(context);
}

void ZQRemoteEntityDataManager::entityDataCacheSaveOperationDidFailSavingWithError(
    const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation,
    const platform::ErrorPtr& error) {
    if (operation->isCancelled()) return;
    const std::string key = keyForBaseURL(operation->queryBaseURL(), operation->queryParameters());
    auto context = std::dynamic_pointer_cast<RemoteContext>(
        remoteLoadContextByQueryId_.synchronizedObjectForKey(key));
    if (!context) return;
    ContextLock hold(*context);
    if (context->cacheSaveOperation() != operation) return;
    notifyResultWithError(error ? error : defaultZQError(), context, remoteLoadContextByQueryId_,
                          key);
}

void ZQRemoteEntityDataManager::readFromCache(const RemoteContextPtr& context) {
    ContextLock hold(*context);
    const std::string key = keyOfContext(*context);
    if (!remoteLoadContextByQueryId_.isMapped(key, context.get())) return;
    for (;;) {
        CacheContextPtr reading = cacheLoadOperationContextByQueryId_.synchronizedObjectForKey(key);
        if (reading) {
            // A context already reads this query back. A read that has not started sees this
            // context's save; one that has may have fetched before it, so it reads once more
            // before delivering (the delivery checks under the same lock).
            ContextLock holdReading(*reading);
            if (!cacheLoadOperationContextByQueryId_.isMapped(key, reading.get())) continue;
            for (const auto& [queryInfo, delegate] : context->pairs()) {
                reading->addQueryInfo(queryInfo, delegate);
            }
            auto readOperation = reading->cacheLoadOperation();
            if (!readOperation || readOperation->isExecuting() || readOperation->isFinished()) {
                reading->setNeedsReadAgain(true);
            }
            break;
        }
        auto last = context->anyQueryInfo();
        if (!last) break;
        auto operation =
            newCacheLoadOperationForQueryInfo(*last, context->baseURL(), context->queryParameters(),
                                              ZQEntityDataCacheLoadResultType::rows);
        context->setCacheLoadOperation(operation);
        auto insertion =
            cacheLoadOperationContextByQueryId_.insertIfAbsent(key, [&] { return context; });
        if (insertion.inserted) {
            cacheOperationQueue_->addOperation(operation);
            break;
        }
    }
    remoteLoadContextByQueryId_.removeObjectForKey(key, context.get());
}

// --- Cancelling ---------------------------------------------------------------------------

void ZQRemoteEntityDataManager::cancelLoad(
    const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    if (!queryInfo || !QueryType::isValid(queryInfo->type())) return;
    std::optional<platform::URL> baseURL = baseURLForQueryInfo(*queryInfo);
    if (!baseURL) return;
    const std::string key = keyForBaseURL(*baseURL, queryParametersForQueryInfo(*queryInfo));
    if (queryInfo->type() != QueryType::Local && cancelRemoteLoad(key, queryInfo.get(), delegate)) {
        return;
    }
    cancelCacheLoad(key, queryInfo.get(), delegate);
}

bool ZQRemoteEntityDataManager::cancelRemoteLoad(
    const std::string& key, const ZQEntityDataQueryInfo* queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    for (;;) {
        auto context = std::dynamic_pointer_cast<RemoteContext>(
            remoteLoadContextByQueryId_.synchronizedObjectForKey(key));
        if (!context) return false;
        ContextLock hold(*context);
        if (!remoteLoadContextByQueryId_.isMapped(key, context.get())) continue;
        const size_t before = context->count();
        const size_t left = queryInfo ? context->removeQueryInfo(*queryInfo, delegate)
                                      : before - context->removeAllQueryInfos();
        if (left == 0) {
            // A context in its cache stage keeps its operation: its completion finds no context.
            if (auto save = context->cacheSaveOperation()) {
                save->cancel();
            } else {
                cancelServiceRequest(context);
            }
            remoteLoadContextByQueryId_.removeObjectForKey(key, context.get());
        }
        // A query whose context has moved on to reading the cache back is not here: the caller
        // then looks for it among the cache readers.
        return left < before;
    }
}

void ZQRemoteEntityDataManager::cancelCacheLoad(
    const std::string& key, const ZQEntityDataQueryInfo* queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    for (;;) {
        CacheContextPtr context = cacheLoadOperationContextByQueryId_.synchronizedObjectForKey(key);
        if (!context) return;
        ContextLock hold(*context);
        if (!cacheLoadOperationContextByQueryId_.isMapped(key, context.get())) continue;
        const size_t left = queryInfo ? context->removeQueryInfo(*queryInfo, delegate)
                                      : context->count() - context->removeAllQueryInfos();
        if (left == 0) {
            if (auto operation = context->cacheLoadOperation()) operation->cancel();
            cacheLoadOperationContextByQueryId_.removeObjectForKey(key, context.get());
        }
        return;
    }
}

void ZQRemoteEntityDataManager::cancelServiceRequest(const RemoteContextPtr& context) {
    auto serviceQuery = context->serviceQueryInfo();
    if (!serviceQuery) return;
    serviceManager_->cancelLoad(serviceQuery, shared_from_this());
    remoteLoadContextByServiceQueryId_.removeObjectForKey(keyForServiceQueryInfo(*serviceQuery),
                                                          context.get());
}

void ZQRemoteEntityDataManager::cancelAllOperations() {
    // Keys are taken first and each is cancelled on its own: a context's lock comes before a
    // dictionary's, so a walk may not hold the dictionary's lock.
    for (const std::string& key : remoteLoadContextByQueryId_.allKeys()) {
        cancelRemoteLoad(key, nullptr, nullptr);
    }
    for (const std::string& key : cacheLoadOperationContextByQueryId_.allKeys()) {
        cancelCacheLoad(key, nullptr, nullptr);
    }
}

// --- Entity locks -------------------------------------------------------------------------

std::shared_ptr<ZQEntityDataCacheSaveLock>
ZQRemoteEntityDataManager::entityDataCacheSaveOperationObtainLockForEntityName(
    const std::string& entityName) {
    return std::make_shared<ZQRemoteEntityDataManagerEntityLock>(locks_.obtain(entityName));
}

void ZQRemoteEntityDataManager::entityDataCacheSaveOperationReleaseLock(
    const std::shared_ptr<ZQEntityDataCacheSaveLock>& lock) {
    if (auto* handle = dynamic_cast<ZQRemoteEntityDataManagerEntityLock*>(lock.get())) {
        locks_.release(handle->namedLock());
    }
}

// --- Results and delivery -----------------------------------------------------------------

std::shared_ptr<ZQRemoteEntityDataQueryResult> ZQRemoteEntityDataManager::resultFromContext(
    const ZQEntityDataManagerCacheLoaderContext& context) {
    return ZQRemoteEntityDataManagerDelivery::resultFromContext(context);
}

std::shared_ptr<ZQRemoteEntityDataQueryResult>
ZQRemoteEntityDataManager::remoteNoDataResultWithSource(ZQEntityDataQueryResultSourceType source,
                                                        bool collection) {
    return ZQRemoteEntityDataManagerDelivery::remoteNoDataResultWithSource(source, collection);
}

void ZQRemoteEntityDataManager::notifyResultWithNoData(
    const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    ZQRemoteEntityDataManagerDelivery::notifyResultWithNoData(manager(), queryInfo, delegate);
}

void ZQRemoteEntityDataManager::notifyResult(const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                             const ZQEntityDataManagerLoaderContext& context) {
    ZQRemoteEntityDataManagerDelivery::notifyResult(result, manager(), context.pairs());
}

void ZQRemoteEntityDataManager::notifyResultWithError(const platform::ErrorPtr& error,
                                                      const CacheContextPtr& context,
                                                      Dictionary& dictionary,
                                                      const std::string& key) {
    deliverFromDictionary(context, dictionary, key, error ? error : defaultZQError());
}

void ZQRemoteEntityDataManager::notifyResultToDelegateFromCacheLoaderContext(
    const CacheContextPtr& context, Dictionary& dictionary, const std::string& key) {
    deliverFromDictionary(context, dictionary, key, std::nullopt);
}

bool ZQRemoteEntityDataManager::readAgain(const CacheContextPtr& context, Dictionary& dictionary,
                                          const std::string& key) {
    if (!context->needsReadAgain() || !dictionary.isMapped(key, context.get())) return false;
    auto last = context->anyQueryInfo();
    if (!last) return false;
    context->setNeedsReadAgain(false);
    auto operation =
        newCacheLoadOperationForQueryInfo(*last, context->baseURL(), context->queryParameters(),
                                          ZQEntityDataCacheLoadResultType::rows);
    context->setCacheLoadOperation(operation);
    cacheOperationQueue_->addOperation(operation);
    return true;
}

void ZQRemoteEntityDataManager::deliverFromDictionary(
    const CacheContextPtr& context, Dictionary& dictionary, const std::string& key,
    const std::optional<platform::ErrorPtr>& error) {
    if (auto operation = context->cacheLoadOperation(); operation && operation->isCancelled()) {
        return;
    }
    if (!platform::isMainThread()) {
        std::weak_ptr<ZQRemoteEntityDataManager> weakSelf = weak_from_this();
        Dictionary* table = &dictionary;  // a member of the manager, alive while it is
        platform::dispatchAsyncOnMain([weakSelf, context, table, key, error] {
            if (auto self = weakSelf.lock())
                self->deliverFromDictionary(context, *table, key, error);
        });
        return;
    }
    ZQRemoteEntityDataManagerDelivery::Pairs pairs;
    bool collection = false;
    {
        ContextLock hold(*context);
        if (!error && readAgain(context, dictionary, key)) return;
        // Removing the key first is what answers each pair at most once: a later completion
        // for this context finds no mapping, and nobody can join it any more.
        if (!dictionary.removeObjectForKey(key, context.get())) return;
        pairs = context->pairs();
        collection = context->isCollection();
    }
    // Delegates are called without the context's lock, so one may load or cancel again.
    std::shared_ptr<ZQEntityDataQueryResult> result =
        error
            ? ZQRemoteEntityDataManagerDelivery::errorResult(
                  *error, collection, ZQRemoteEntityDataManagerDelivery::sourceForContext(*context))
            : resultFromContext(*context);
    ZQRemoteEntityDataManagerDelivery::notifyResult(result, manager(), pairs);
}
