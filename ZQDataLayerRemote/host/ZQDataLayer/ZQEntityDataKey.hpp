// Protocol of the key of one business-component instance: the key fields (through its key
// descriptor), their values, and the key of the parent instance for a child level. Immutable
// once built; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "platform/Value.hpp"

class ZQEntityDataKey {
  public:
    virtual ~ZQEntityDataKey() = default;
    virtual std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataKeyDescriptor() const = 0;
    // Absent when the key has no value for the field.
    virtual platform::Value valueForEntityDataKeyFieldName(const std::string& fieldName) const = 0;
    // None for a root level's key.
    virtual std::shared_ptr<const ZQEntityDataKey> parentEntityDataKey() const = 0;
};
