// Runs at most one loader per distinct request: a load whose request key (URL and
// If-Modified-Since date) matches a running one joins it, and every requester gets the one
// result. A loader is cancelled only when its last requester withdraws. Owned by the entity data
// manager. Any thread: the dictionary of running loads is only touched inside blocks run
// synchronously on the manager's serial queue; queueMutex_ guards the lazily made queue.
// Delegates are held weakly and called outside the queue, on the loader's reporting thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoaderDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerLoaderContext.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "platform/Mutex.hpp"
#include "platform/SerialQueue.hpp"

class ZQEntityDataServiceManager : public platform::Object,
                                   public ZQEntityDataServiceLoaderDelegate,
                                   public std::enable_shared_from_this<ZQEntityDataServiceManager> {
  public:
    static constexpr const char* kLoadersByURLQueueLabel =
        "ZQEntityDataServiceManager._loadersByURL";

    ZQEntityDataServiceManager() = default;
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceManager> create();
    // Clears the delegate of every loader still running, so none reports to a destroyed manager.
    ~ZQEntityDataServiceManager() override;

    // The request key: the URL's absolute string, directly followed by the standard description
    // of the If-Modified-Since date when there is one. A conditional and an unconditional request
    // for one URL are two loads.
    static std::string keyForQueryInfo(const ZQEntityDataServiceQueryInfo& queryInfo);

    // Joins the running load of the same key, or starts a loader for it.
    void load(const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
              const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& delegate);
    // Withdraws this query info (this very object); the withdrawing delegate is never told. When
    // no requester is left the loader is cancelled.
    void cancelLoad(const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
                    const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& delegate);

    void entityDataServiceLoaderDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceLoader>& loader,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) override;

    // Loads running now (diagnostics and tests).
    size_t runningLoadCount();

  private:
    using Context = ZQEntityDataServiceManagerLoaderContext;

    std::shared_ptr<platform::SerialQueue> loadersByURLDispatchQueue() EXCLUDES(queueMutex_);

    platform::Mutex queueMutex_;
    std::shared_ptr<platform::SerialQueue> loadersByURLDispatchQueue_ GUARDED_BY(queueMutex_);
    // Only inside blocks of loadersByURLDispatchQueue_ (and in the destructor, when no one else
    // can reach the manager).
    std::unordered_map<std::string, std::shared_ptr<Context>> loadersByURL_;
};
