// The stored type of a cache attribute, decided by the field's type information (data type,
// length, decimals). Used by the schema factory for every attribute it makes. Stateless; any
// thread (type information is immutable once the application model is loaded).
#pragma once

#include <cstdint>
#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/objectstore/AttributeDescription.hpp"

class ZQCoreDataAttributeTypeTable {
  public:
    // Structured types are stored as their JSON text; numbers by the smallest kind that holds
    // every value of their length; dates and booleans as such; everything else as text. Without
    // type information the attribute is text, which holds whatever the server sends.
    static platform::AttributeType attributeTypeForFieldInfo(
        const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo);

    // The numeric rows of the table alone.
    static platform::AttributeType numericAttributeType(uint32_t length, uint32_t decimals);
};
