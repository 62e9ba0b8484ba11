// The delegate protocol of ZQEntityDataServiceLoader: told once, with the loader's query info and
// its service result, when a load ends (never after cancel). Called on the thread of the host
// operation or authorisation completion that ended the load, with no lock of the loader held.
// Loaders hold their delegate weakly.
#pragma once

#include <memory>

class ZQEntityDataServiceLoader;
class ZQEntityDataServiceQueryInfo;
class ZQEntityDataServiceResult;

class ZQEntityDataServiceLoaderDelegate {
  public:
    virtual ~ZQEntityDataServiceLoaderDelegate() = default;
    virtual void entityDataServiceLoaderDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceLoader>& loader,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) = 0;
};
