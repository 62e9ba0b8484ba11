// An order of a Work With collection data source, with its fields as descriptors. Immutable; any
// thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQWorkWithListOrder : public ZQEntityListOrderDescriptor {
  public:
    ZQWorkWithListOrder(ZQEntityDataFieldDescriptors fields, bool groupBy,
                        uint64_t groupByUpToFieldIndex, bool alphaIndexerEnabled)
        : fields_(std::move(fields)),
          groupBy_(groupBy),
          groupByUpToFieldIndex_(groupByUpToFieldIndex),
          alphaIndexerEnabled_(alphaIndexerEnabled) {}

    const ZQEntityDataFieldDescriptors& entityListOrderFields() const override { return fields_; }
    bool entityListOrderGroupBy() const override { return groupBy_; }
    uint64_t entityListOrderGroupByUpToFieldIndex() const override {
        return groupByUpToFieldIndex_;
    }
    bool entityListOrderAlphaIndexerEnabled() const override { return alphaIndexerEnabled_; }

  private:
    const ZQEntityDataFieldDescriptors fields_;
    const bool groupBy_;
    const uint64_t groupByUpToFieldIndex_;
    const bool alphaIndexerEnabled_;
};
