// A key given by its descriptor and a dictionary of values by field name, with an optional parent
// key. Immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"

class ZQEntityDataSimpleKey : public ZQEntityDataKey {
  public:
    ZQEntityDataSimpleKey(std::shared_ptr<const ZQEntityDataKeyDescriptor> descriptor,
                          platform::Dictionary values,
                          std::shared_ptr<const ZQEntityDataKey> parent = nullptr)
        : descriptor_(std::move(descriptor)),
          values_(std::move(values)),
          parent_(std::move(parent)) {}

    std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataKeyDescriptor() const override {
        return descriptor_;
    }
    platform::Value valueForEntityDataKeyFieldName(const std::string& fieldName) const override {
        return values_.get(fieldName);
    }
    std::shared_ptr<const ZQEntityDataKey> parentEntityDataKey() const override { return parent_; }

  private:
    const std::shared_ptr<const ZQEntityDataKeyDescriptor> descriptor_;
    const platform::Dictionary values_;
    const std::shared_ptr<const ZQEntityDataKey> parent_;
};
