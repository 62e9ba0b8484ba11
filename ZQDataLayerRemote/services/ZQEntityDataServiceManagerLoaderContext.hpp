// The requesters of one running load: the loader (owned) and the (query info, delegate) pairs
// waiting for its result, in arrival order. Owned by the service manager's dictionary; used on
// its serial queue and, for delivery, on the loader's reporting thread. mutex_ guards the pairs;
// delegates are held weakly.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoader.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "platform/Mutex.hpp"

class ZQEntityDataServiceManagerLoaderContext : public platform::Object {
  public:
    using Pair = std::pair<std::shared_ptr<ZQEntityDataServiceQueryInfo>,
                           std::weak_ptr<ZQEntityDataServiceManagerDelegate>>;

    ZQEntityDataServiceManagerLoaderContext(
        std::shared_ptr<ZQEntityDataServiceLoader> loader,
        std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
        std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceManagerLoaderContext> create(
        std::shared_ptr<ZQEntityDataServiceLoader> loader,
        std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
        std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate);

    const std::shared_ptr<ZQEntityDataServiceLoader>& loader() const { return loader_; }

    void addQueryInfo(std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo,
                      std::weak_ptr<ZQEntityDataServiceManagerDelegate> delegate) EXCLUDES(mutex_);
    // Removes the first pair whose query info is this very object (the delegate is not
    // compared); returns the number of pairs left.
    size_t removeQueryInfo(const std::shared_ptr<ZQEntityDataServiceQueryInfo>& queryInfo,
                           const std::shared_ptr<ZQEntityDataServiceManagerDelegate>& delegate)
        EXCLUDES(mutex_);
    // Calls the block with each pair in order, on a copy taken under the lock, so that the block
    // may change the context.
    void enumerateQueryInfosAndDelegates(
        const std::function<void(const std::shared_ptr<ZQEntityDataServiceQueryInfo>&,
                                 const std::weak_ptr<ZQEntityDataServiceManagerDelegate>&)>& block)
        const EXCLUDES(mutex_);
    size_t count() const EXCLUDES(mutex_);

  private:
    const std::shared_ptr<ZQEntityDataServiceLoader> loader_;
    mutable platform::Mutex mutex_;
    std::vector<Pair> pairs_ GUARDED_BY(mutex_);
};
