// One field of an advanced filter: a field descriptor with a single (0) or range (1) type.
// Immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"

class ZQWorkWithListFilterAdvancedField : public ZQWorkWithDataField,
                                          public ZQEntityListFilterAdvancedFieldDescriptor {
  public:
    ZQWorkWithListFilterAdvancedField(std::string name, uint8_t fieldType,
                                      std::shared_ptr<const ZQEntityDataFieldInfo> info,
                                      uint8_t advancedFieldType)
        : ZQWorkWithDataField(std::move(name), fieldType, std::move(info)),
          advancedFieldType_(advancedFieldType) {}

    uint8_t entityListFilterAdvancedFieldType() const override { return advancedFieldType_; }

  private:
    const uint8_t advancedFieldType_;
};
