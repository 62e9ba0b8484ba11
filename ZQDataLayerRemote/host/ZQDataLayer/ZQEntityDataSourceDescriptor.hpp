// Protocols of data sources: a level (data fields, sublevels, storage key), a data provider
// (name, collection or single item, parameters), a sublevel (its parent), the single-item and
// collection kinds, and the remote kind with its caching settings. A data source conforms to
// several at once; the shared bases are virtual so that one object is each of them. Data sources
// are immutable once built; any thread reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQEntityDataSourceSublevelDescriptor;

using ZQEntityDataSourceSublevelDescriptors =
    std::vector<std::shared_ptr<const ZQEntityDataSourceSublevelDescriptor>>;

class ZQEntityDataSourceLevelDescriptor {
  public:
    virtual ~ZQEntityDataSourceLevelDescriptor() = default;
    // The data provider's name for a data source, the sublevel's name for a sublevel.
    virtual const std::string& entityDataSourceLevelName() const = 0;
    // The level's fields, sublevel fields (type 2) included; none when the level has none.
    virtual std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceDataDescriptor()
        const = 0;
    virtual const ZQEntityDataSourceSublevelDescriptors& entityDataSourceSublevels() const = 0;
    // None when the level has no storage key.
    virtual std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataSourceStorageKeyDescriptor()
        const = 0;
};

class ZQEntityDataSourceDescriptor : public virtual ZQEntityDataSourceLevelDescriptor {
  public:
    // Empty when the data source names no provider.
    virtual const std::string& entityDataSourceDataProviderName() const = 0;
    virtual bool entityDataSourceIsCollection() const = 0;
    // The input parameters, in the order of a query's parameter values; none without parameters.
    virtual std::shared_ptr<const ZQEntityDataFieldsDescriptor>
    entityDataSourceParametersDescriptor() const = 0;
};

class ZQEntityDataSourceSublevelDescriptor : public virtual ZQEntityDataSourceLevelDescriptor {
  public:
    // The data source or the sublevel that holds this one; none once that is gone.
    virtual std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> entityDataSourceParentLevel()
        const = 0;
};

class ZQSingleItemEntityDataSourceDescriptor : public virtual ZQEntityDataSourceDescriptor {};

using ZQEntityListOrderDescriptors =
    std::vector<std::shared_ptr<const ZQEntityListOrderDescriptor>>;

class ZQCollectionEntityDataSourceDescriptor : public virtual ZQEntityDataSourceDescriptor {
  public:
    virtual const ZQEntityListOrderDescriptors& entityDataSourceOrders() const = 0;
    // Each may be none.
    virtual std::shared_ptr<const ZQEntityListBreakByDescriptor> entityDataSourceBreakBy()
        const = 0;
    virtual std::shared_ptr<const ZQEntityListFilterSearchDescriptor> entityDataSourceFilterSearch()
        const = 0;
    virtual std::shared_ptr<const ZQEntityListFilterAdvancedDescriptor>
    entityDataSourceFilterAdvanced() const = 0;
};

// The data sources of remote providers: whether results are cached and how often the server is
// asked again.
class ZQRemoteEntityDataSourceDescriptor : public virtual ZQEntityDataSourceDescriptor {
  public:
    virtual bool entityDataSourceCacheEnabled() const = 0;
    // 1: refresh after the elapsed time; any other value: every First or Refresh asks the server.
    virtual uint8_t entityDataSourceCachingFrequencyType() const = 0;
    // Minutes; 0 means no window.
    virtual uint32_t entityDataSourceCachingFrequencyAfterElipsedTime() const = 0;
};
