// Protocols that describe the fields of a data source: one field (name, kind, type information),
// a list of fields (a level's data, a data provider's parameters) and a storage key (the fields
// that identify an item). Implementations are immutable once built; any thread reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"

// Kinds of field (entityDataFieldType).
enum ZQEntityDataFieldType : uint8_t {
    ZQEntityDataFieldTypeAttribute = 0,
    ZQEntityDataFieldTypeVariable = 1,
    ZQEntityDataFieldTypeSublevel = 2,  // the field holds the items of a sublevel
};

class ZQEntityDataFieldDescriptor {
  public:
    virtual ~ZQEntityDataFieldDescriptor() = default;
    virtual const std::string& entityDataFieldName() const = 0;
    virtual uint8_t entityDataFieldType() const = 0;
    // None when the field's type is unknown (a sublevel field, an undefined attribute).
    virtual std::shared_ptr<const ZQEntityDataFieldInfo> entityDataFieldInfo() const = 0;
};

using ZQEntityDataFieldDescriptors =
    std::vector<std::shared_ptr<const ZQEntityDataFieldDescriptor>>;

class ZQEntityDataFieldsDescriptor {
  public:
    virtual ~ZQEntityDataFieldsDescriptor() = default;
    virtual const ZQEntityDataFieldDescriptors& entityDataFieldDescriptors() const = 0;
};

class ZQEntityDataKeyDescriptor {
  public:
    virtual ~ZQEntityDataKeyDescriptor() = default;
    // The key fields in key order.
    virtual const ZQEntityDataFieldDescriptors& entityDataKeyFieldsDescriptors() const = 0;
};
