// Protocol of an object that answers queries: load starts or joins a load whose answer reaches the
// delegate once (unless withdrawn); cancelLoad withdraws one waiting query. Called on the caller's
// thread (normally the main thread); implementations never block on I/O there.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"

class ZQEntityDataManagerQueryInfoLoader {
  public:
    virtual ~ZQEntityDataManagerQueryInfoLoader() = default;
    virtual void load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                      const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) = 0;
    virtual void cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                            const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) = 0;
};
