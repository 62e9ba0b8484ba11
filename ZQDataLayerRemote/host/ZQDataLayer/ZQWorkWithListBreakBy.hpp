// The break-by of a Work With collection data source. Immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQWorkWithListBreakBy : public ZQEntityListBreakByDescriptor {
  public:
    explicit ZQWorkWithListBreakBy(ZQEntityDataFieldDescriptors fields)
        : fields_(std::move(fields)) {}
    const ZQEntityDataFieldDescriptors& entityListBreakByFields() const override { return fields_; }

  private:
    const ZQEntityDataFieldDescriptors fields_;
};
