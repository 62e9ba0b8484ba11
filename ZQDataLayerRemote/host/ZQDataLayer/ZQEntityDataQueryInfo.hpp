// Protocol of a query for entity data of a data source: the data source, the query type (a bare
// number whose meaning belongs to the entity data manager), the values of the data source's input
// parameters and the caller's identifier of the query. Query infos are built by one thread and
// then read from the threads of the manager that answers them; implementations keep their fields
// fixed after construction (or guard the few that change).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "platform/Value.hpp"

using ZQEntityDataQueryType = uint8_t;

class ZQEntityDataQueryInfo {
  public:
    virtual ~ZQEntityDataQueryInfo() = default;
    virtual std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource() const = 0;
    virtual ZQEntityDataQueryType type() const = 0;
    // In the order of the data source's parameter descriptors; none when not given.
    virtual const std::optional<platform::Array>& parameters() const = 0;
    virtual uint64_t zqid() const = 0;
    // Equality used when a waiting query is withdrawn: the same object.
    virtual bool isEqual(const ZQEntityDataQueryInfo& other) const { return this == &other; }
};
