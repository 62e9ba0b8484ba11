// The online entity data manager: answers each query from the cache, from the server (saving
// the answer into the cache and reading it back) or both, merges queries with equal keys into one
// loader context, and hands every waiting delegate one result on the main thread. Made by
// create() and owned by the host (through the registration) or a test. load and the cancels run
// on the caller's thread, the cache-operation callbacks on the operation queue's threads, the
// service manager's on its loaders' threads. Each context dictionary has its own lock, each
// loader context its own recursive lock, always taken before a dictionary's lock or a second
// context's lock; the counted set of entity locks has its own; managerMutex_ guards manager_.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperationDelegate.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQInternalEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQEntityDataManagerRemoteLoaderContext.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerContextDictionary.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManager.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "platform/Mutex.hpp"
#include "platform/NamedLock.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/OperationQueue.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

class ZQRemoteEntityDataManager : public platform::Object,
                                  public ZQInternalEntityDataManager,
                                  public ZQEntityDataCacheLoadOperationDelegate,
                                  public ZQEntityDataCacheSaveOperationDelegate,
                                  public ZQEntityDataServiceManagerDelegate,
                                  public std::enable_shared_from_this<ZQRemoteEntityDataManager> {
  public:
    using Dictionary = ZQRemoteEntityDataManagerContextDictionary;
    using RemoteContextPtr = std::shared_ptr<ZQEntityDataManagerRemoteLoaderContext>;
    using CacheContextPtr = std::shared_ptr<ZQEntityDataManagerCacheLoaderContext>;

    // Observes the host's will/did-clear-cache notifications (any sender) from now on. Public
    // for make_shared; use create().
    ZQRemoteEntityDataManager();
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataManager> create();
    // Cancels the operations of the cache queue and stops observing.
    ~ZQRemoteEntityDataManager() override;

    // --- The host's interface -------------------------------------------------------------
    // Starts or joins a load; never blocks on I/O. The delegate (held weakly) later gets exactly
    // one answer, on the main thread, unless the query is withdrawn first. A query whose type is
    // not a query type (above NextPage) is answered with an error result and changes nothing.
    void load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
              const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) override;
    // Withdraws the pair of this query info (compared with isEqual); the last pair of a context
    // takes its request or cache operation with it.
    void cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) override;
    // Withdraws every pair of every context, remote ones first.
    void cancelAllOperations() override;
    std::shared_ptr<ZQEntityDataQuerySingleItemResult>
    emptySingleItemEntityDataQueryResultWithDataItem(
        const std::shared_ptr<ZQEntityData>& dataItem) override;
    std::shared_ptr<ZQEntityDataQueryCollectionResult> emptyCollectionEntityDataQueryResult()
        override;
    // The host's manager, passed as the first argument of every delegate call; may be none.
    std::shared_ptr<ZQEntityDataManager> manager() const override EXCLUDES(managerMutex_);
    void setManager(std::weak_ptr<ZQEntityDataManager> manager) override EXCLUDES(managerMutex_);

    const std::shared_ptr<ZQEntityDataServiceManager>& serviceManager() const {
        return serviceManager_;
    }
    const std::shared_ptr<platform::OperationQueue>& cacheOperationQueue() const {
        return cacheOperationQueue_;
    }
    bool isClearingCache() const { return clearingCache_.load(); }

    // --- Requests and keys ------------------------------------------------------------------
    // "rest/" + the data provider's name with every "." replaced by "/", relative to the
    // application's server. None without a running model or server URL.
    static std::optional<platform::URL> baseURLForQueryInfo(const ZQEntityDataQueryInfo& queryInfo);
    // The provider parameters and, for collections, order, advanced filter and search, as the
    // host's parameter string sorted by name (equal queries give equal strings). None for a
    // single-item query without parameters; empty for a collection query without any.
    static std::optional<std::string> queryParametersForQueryInfo(
        const ZQEntityDataQueryInfo& queryInfo);
    // The query key: "<base URL>?<parameters>", or the base URL alone without a parameter string.
    // Paging and zqid are not part of it, so all pages and callers of one query share it.
    static std::string keyForBaseURL(const platform::URL& baseURL,
                                     const std::optional<std::string>& queryParameters);
    // The service key: the request URL directly followed by the standard description of its
    // If-Modified-Since date, when it has one.
    static std::string keyForServiceQueryInfo(const ZQEntityDataServiceQueryInfo& queryInfo);
    // The cache's coordinator of the running model; none without one.
    static std::shared_ptr<platform::PersistentStoreCoordinator> psc();

    // --- Stages (used inside the library) -----------------------------------------------------
    // A cache read of the query: rows for a Local query, the record for the others.
    [[nodiscard]] std::shared_ptr<ZQEntityDataCacheLoadOperation> newCacheLoadOperationForQueryInfo(
        const ZQEntityDataQueryInfo& queryInfo, const platform::URL& baseURL,
        const std::optional<std::string>& queryParameters);
    [[nodiscard]] std::shared_ptr<ZQEntityDataCacheLoadOperation> newCacheLoadOperationForQueryInfo(
        const ZQEntityDataQueryInfo& queryInfo, const platform::URL& baseURL,
        const std::optional<std::string>& queryParameters, ZQEntityDataCacheLoadResultType type);
    // Moves a remote context whose answer is in the cache to the read-back stage.
    void readFromCache(const RemoteContextPtr& context);
    void saveServiceResult(const std::shared_ptr<ZQEntityDataServiceResult>& result,
                           const RemoteContextPtr& context);
    void processServiceResult(const std::shared_ptr<ZQEntityDataServiceResult>& result,
                              const RemoteContextPtr& context);
    // Remove the pair of queryInfo (every pair when it is null) from the context under key.
    // Remote: whether a pair was withdrawn.
    bool cancelRemoteLoad(const std::string& key, const ZQEntityDataQueryInfo* queryInfo,
                          const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);
    void cancelCacheLoad(const std::string& key, const ZQEntityDataQueryInfo* queryInfo,
                         const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);

    // --- Results and delivery -------------------------------------------------------------
    // Main thread: the result the context's cache read gives.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult> resultFromContext(
        const ZQEntityDataManagerCacheLoaderContext& context);
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryResult>
    remoteNoDataResultWithSource(ZQEntityDataQueryResultSourceType source, bool collection);
    // Main thread.
    void notifyResultWithNoData(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                                const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);
    // Main thread: the one result to every pair of the context, in order.
    void notifyResult(const std::shared_ptr<ZQEntityDataQueryResult>& result,
                      const ZQEntityDataManagerLoaderContext& context);
    // Any thread (moves to the main thread without waiting): while the dictionary still maps key
    // to the context, removes the key and tells every pair the error, or the cache's answer.
    // Nothing when the context's cache load operation was cancelled.
    void notifyResultWithError(const platform::ErrorPtr& error, const CacheContextPtr& context,
                               Dictionary& dictionary, const std::string& key);
    void notifyResultToDelegateFromCacheLoaderContext(const CacheContextPtr& context,
                                                      Dictionary& dictionary,
                                                      const std::string& key);

    // The three tables: contexts reading the cache for their delegates, remote contexts by
    // query key, and remote contexts whose request is at the service manager by service key.
    Dictionary& cacheLoadOperationContextByQueryId() { return cacheLoadOperationContextByQueryId_; }
    Dictionary& remoteLoadContextByQueryId() { return remoteLoadContextByQueryId_; }
    Dictionary& remoteLoadContextByServiceQueryId() { return remoteLoadContextByServiceQueryId_; }
    // The entity locks handed out and not given back yet.
    const platform::CountedLockSet& locks() const { return locks_; }

    // --- Delegate callbacks -----------------------------------------------------------------
    void entityDataCacheLoadOperationDidFinishLoading(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation) override;
    void entityDataCacheLoadOperationDidFailLoadingWithError(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation,
        const platform::ErrorPtr& error) override;
    std::shared_ptr<ZQEntityDataCacheSaveLock> entityDataCacheSaveOperationObtainLockForEntityName(
        const std::string& entityName) override;
    void entityDataCacheSaveOperationReleaseLock(
        const std::shared_ptr<ZQEntityDataCacheSaveLock>& lock) override;
    void entityDataCacheSaveOperationDidFinishSaving(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation) override;
    void entityDataCacheSaveOperationDidFailSavingWithError(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>& operation,
        const platform::ErrorPtr& error) override;
    void entityDataServiceManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceManager>& manager,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) override;

  private:
    void onWillClearCache() { clearingCache_.store(true); }
    void onDidClearCache() { clearingCache_.store(false); }

    // Answers one query on the main thread with an error result, touching nothing else.
    void refuseQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                     const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate,
                     platform::ErrorPtr error);
    // The context a cache load operation reports for, with its table and key; no context when
    // the operation was cancelled or its context has a newer one.
    struct CacheLoadOwner {
        CacheContextPtr context;
        Dictionary* dictionary;
        std::string key;
        bool rows;
    };
    CacheLoadOwner ownerOfCacheLoadOperation(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation);
    // The join-or-create loop of load for one dictionary.
    void loadIntoDictionary(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                            const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate,
                            bool local, const platform::URL& baseURL,
                            const std::optional<std::string>& queryParameters,
                            const std::string& key);
    // Holding the existing context's lock: whether the new query must replace it.
    static bool shouldSupersede(const ZQEntityDataManagerCacheLoaderContext& existing,
                                const ZQEntityDataQueryInfo& queryInfo);
    void supersede(const RemoteContextPtr& existing,
                   const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                   const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate,
                   const std::string& key);
    // The cache check of a remote context finished: server, cache or the up-to-date answer.
    void decideAfterCacheCheck(const RemoteContextPtr& context,
                               const std::shared_ptr<ZQEntityDataCacheLoadOperation>& operation,
                               const std::string& key);
    void requestFromServer(const RemoteContextPtr& context,
                           const ZQEntityDataCacheLoadOperation& operation,
                           std::optional<platform::Date> lastModified, bool refresh);
    // Withdraws the service request of a context (holding its lock).
    void cancelServiceRequest(const RemoteContextPtr& context);
    // Holding the context's lock, before a cache answer is delivered: when pairs joined after its
    // read started, starts a new read in its place and answers true (deliver nothing now).
    bool readAgain(const CacheContextPtr& context, Dictionary& dictionary, const std::string& key);
    // On the main thread: the last step of both notify functions.
    // error: none for the cache's answer, else the error to tell.
    void deliverFromDictionary(const CacheContextPtr& context, Dictionary& dictionary,
                               const std::string& key,
                               const std::optional<platform::ErrorPtr>& error);
    static std::string keyOfContext(const ZQEntityDataManagerLoaderContext& context);

    const std::shared_ptr<ZQEntityDataServiceManager> serviceManager_;
    const std::shared_ptr<platform::OperationQueue> cacheOperationQueue_;
    Dictionary cacheLoadOperationContextByQueryId_;
    Dictionary remoteLoadContextByQueryId_;
    Dictionary remoteLoadContextByServiceQueryId_;
    platform::CountedLockSet locks_;
    std::atomic<bool> clearingCache_{false};

    mutable platform::Mutex managerMutex_;
    std::weak_ptr<ZQEntityDataManager> manager_ GUARDED_BY(managerMutex_);

    platform::ObserverToken willClearCacheObserver_;
    platform::ObserverToken didClearCacheObserver_;
};
