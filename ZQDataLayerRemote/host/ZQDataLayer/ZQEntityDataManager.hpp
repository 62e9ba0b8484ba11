// The host's entity data manager: keeps the registered online manager class (a factory) and, per
// instance, the online manager it made, to which it hands queries. Registration and look-up are
// safe from any thread (a registration slot); an instance makes its online manager once, under
// mutex_.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQInternalEntityDataManager.hpp"
#include "platform/Mutex.hpp"

class ZQEntityDataManager : public std::enable_shared_from_this<ZQEntityDataManager> {
  public:
    // Registering a class: a factory that makes a new instance.
    using OnlineManagerFactory = std::function<std::shared_ptr<ZQInternalEntityDataManager>()>;

    static void registerOnlineEntityDataManager(OnlineManagerFactory factory);
    static OnlineManagerFactory onlineEntityDataManagerFactory();

    [[nodiscard]] static std::shared_ptr<ZQEntityDataManager> create();
    // The process-wide instance that providers use unless given another; never destroyed.
    static const std::shared_ptr<ZQEntityDataManager>& sharedManager();

    // Made from the registered factory on first use, with this manager as its manager; none when
    // nothing is registered.
    std::shared_ptr<ZQInternalEntityDataManager> onlineEntityDataManager() EXCLUDES(mutex_);

    // Forwarded to the online manager; without one, load answers nothing.
    void load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
              const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);
    void cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate);

  private:
    platform::Mutex mutex_;
    std::shared_ptr<ZQInternalEntityDataManager> online_ GUARDED_BY(mutex_);
};
