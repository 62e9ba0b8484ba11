// The delegate protocol of ZQEntityDataServiceManager: each requester of a load is told once,
// with its own query info and the one result object shared by every requester of that load.
// Called on the thread on which the loader reported (a host worker), with no lock of the service
// manager held, so the callback may load or cancel again. The manager holds delegates weakly.
#pragma once

#include <memory>

class ZQEntityDataServiceManager;
class ZQEntityDataServiceQueryInfo;
class ZQEntityDataServiceResult;

class ZQEntityDataServiceManagerDelegate {
  public:
    virtual ~ZQEntityDataServiceManagerDelegate() = default;
    virtual void entityDataServiceManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceManager>& manager,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) = 0;
};
