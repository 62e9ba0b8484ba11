// The search filter of a Work With collection data source. Immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQWorkWithListFilterSearch : public ZQEntityListFilterSearchDescriptor {
  public:
    ZQWorkWithListFilterSearch(ZQEntityDataFieldDescriptors fields, uint8_t breakByBehavior)
        : fields_(std::move(fields)), breakByBehavior_(breakByBehavior) {}
    const ZQEntityDataFieldDescriptors& entityListFilterSearchFields() const override {
        return fields_;
    }
    uint8_t entityListFilterSearchBreakByBehavior() const override { return breakByBehavior_; }

  private:
    const ZQEntityDataFieldDescriptors fields_;
    const uint8_t breakByBehavior_;
};
