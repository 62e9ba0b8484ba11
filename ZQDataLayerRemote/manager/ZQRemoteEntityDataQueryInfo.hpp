// Protocols of the library's remote queries: every remote query can view its data source as a
// remote data source and carries a force flag (bypass the caching window and ask the server). The
// single-item protocol adds the single-item view; the collection protocol is the class
// ZQRemoteEntityDataQueryCollectionInfo itself. force may be set from one thread and read from
// another, so implementations keep it atomic.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"

class ZQRemoteEntityDataQueryInfo : public virtual ZQEntityDataQueryInfo {
  public:
    // The data source as a remote data source (a precondition of every remote query).
    virtual std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteDataSource() const = 0;
    virtual bool force() const = 0;
    virtual void setForce(bool force) = 0;
};

class ZQRemoteEntityDataQuerySingleItemInfo : public virtual ZQRemoteEntityDataQueryInfo {
  public:
    // The data source as a single-item data source that is also remote; none otherwise.
    virtual std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor>
    remoteSingleItemDataSource() const = 0;
};
