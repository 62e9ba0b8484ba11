// A field descriptor made from the application model: a data element, a sublevel, an input
// parameter or a field named by an order, break-by, search or key. Immutable; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"

class ZQWorkWithDataField : public virtual ZQEntityDataFieldDescriptor {
  public:
    ZQWorkWithDataField(std::string name, uint8_t type,
                        std::shared_ptr<const ZQEntityDataFieldInfo> info)
        : name_(std::move(name)), type_(type), info_(std::move(info)) {}

    const std::string& entityDataFieldName() const override { return name_; }
    uint8_t entityDataFieldType() const override { return type_; }
    std::shared_ptr<const ZQEntityDataFieldInfo> entityDataFieldInfo() const override {
        return info_;
    }

  private:
    const std::string name_;
    const uint8_t type_;
    const std::shared_ptr<const ZQEntityDataFieldInfo> info_;
};
