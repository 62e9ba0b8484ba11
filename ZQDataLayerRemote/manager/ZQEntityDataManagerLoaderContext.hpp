// One query key's waiting (query info, delegate) pairs, its request (base URL, parameter string)
// and the loader of the stage it is in. Made and owned by the entity data manager's dictionaries;
// used from the caller's thread, the cache operation queue and the service manager's callbacks.
// mutex_ (recursive) guards everything; the manager holds it through lock()/unlock() around
// its multi-step decisions and the context's own operations re-enter it (so none of them is
// annotated EXCLUDES: calling them with the lock held is the normal case).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

class ZQEntityDataCacheLoadOperation;
class ZQEntityDataCacheSaveOperation;
class ZQEntityDataServiceQueryInfo;

// The loader of a stage: nothing, a cache load operation, a service query info (the request is at
// the data-service manager) or a cache save operation.
using ZQEntityDataManagerLoader =
    std::variant<std::monostate, std::shared_ptr<ZQEntityDataCacheLoadOperation>,
                 std::shared_ptr<ZQEntityDataServiceQueryInfo>,
                 std::shared_ptr<ZQEntityDataCacheSaveOperation>>;

class ZQEntityDataManagerLoaderContext : public platform::Object {
  public:
    using QueryInfoPtr = std::shared_ptr<ZQEntityDataQueryInfo>;
    using DelegatePtr = std::weak_ptr<ZQEntityDataManagerDelegate>;
    // Return true to stop the enumeration.
    using PairBlock = std::function<bool(const QueryInfoPtr&, const DelegatePtr&)>;

    ZQEntityDataManagerLoaderContext(ZQEntityDataManagerLoader loader, QueryInfoPtr queryInfo,
                                     DelegatePtr delgate, platform::URL baseURL,
                                     std::optional<std::string> queryParameters);
    ~ZQEntityDataManagerLoaderContext() override;

    // The context's recursive lock, for the manager's multi-step decisions (BasicLockable).
    void lock() NO_THREAD_SAFETY_ANALYSIS { mutex_.lock(); }
    void unlock() NO_THREAD_SAFETY_ANALYSIS { mutex_.unlock(); }

    ZQEntityDataManagerLoader loader() const;
    void setLoader(ZQEntityDataManagerLoader loader);
    platform::URL baseURL() const;
    void setBaseURL(platform::URL baseURL);
    std::optional<std::string> queryParameters() const;
    void setQueryParameters(std::optional<std::string> queryParameters);

    // The first pair's query info / delegate; none when no pair is left.
    QueryInfoPtr queryInfo() const;
    DelegatePtr delegate() const;
    // The last query info: the one that stands for all (data source, zqid).
    QueryInfoPtr anyQueryInfo() const;
    // Whether the last query's data source is a collection; false when none is left.
    bool isCollection() const;

    void addQueryInfo(QueryInfoPtr queryInfo, DelegatePtr delgate);
    // Removes the first pair whose query info is equal to queryInfo; the number of pairs left.
    size_t removeQueryInfo(const ZQEntityDataQueryInfo& queryInfo, const DelegatePtr& delegate);
    // Removes every pair; the number removed.
    size_t removeAllQueryInfos();
    size_t count() const;
    // Calls block for each pair in order, holding the lock, until it returns true.
    void enumerateQueryInfosAndDelegatesUsingBlock(const PairBlock& block) const;
    // The pairs, copied under the lock.
    std::vector<std::pair<QueryInfoPtr, DelegatePtr>> pairs() const;

    std::string description() const override;

  protected:
    mutable platform::RecursiveMutex mutex_;

  private:
    ZQEntityDataManagerLoader loader_ GUARDED_BY(mutex_);
    std::vector<QueryInfoPtr> queryInfosArray_ GUARDED_BY(mutex_);
    std::vector<DelegatePtr> delegatesArray_ GUARDED_BY(mutex_);
    platform::URL baseURL_ GUARDED_BY(mutex_);
    std::optional<std::string> queryParameters_ GUARDED_BY(mutex_);
};
