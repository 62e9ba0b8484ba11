// The value a query gives one advanced filter field: a single value, or the two bounds of a
// range (either may be absent). Built by a provider from the user's filter; immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQEntityListFilterAdvancedValue : public ZQEntityListFilterAdvancedFieldValue {
  public:
    // A single value.
    ZQEntityListFilterAdvancedValue(
        std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> field,
        platform::Value value)
        : field_(std::move(field)), value_(std::move(value)) {}
    // A range.
    ZQEntityListFilterAdvancedValue(
        std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> field,
        platform::Value fromValue, platform::Value toValue)
        : field_(std::move(field)),
          fromValue_(std::move(fromValue)),
          toValue_(std::move(toValue)) {}

    std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> entityListFilterAdvancedField()
        const override {
        return field_;
    }
    platform::Value entityListFilterAdvancedFieldValue() const override { return value_; }
    platform::Value entityListFilterAdvancedFieldFromValue() const override { return fromValue_; }
    platform::Value entityListFilterAdvancedFieldToValue() const override { return toValue_; }

  private:
    const std::shared_ptr<const ZQEntityListFilterAdvancedFieldDescriptor> field_;
    const platform::Value value_, fromValue_, toValue_;
};
