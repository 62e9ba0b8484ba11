// The advanced filter of a Work With collection data source. Immutable; any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityListDescriptors.hpp"

class ZQWorkWithListFilterAdvanced : public ZQEntityListFilterAdvancedDescriptor {
  public:
    explicit ZQWorkWithListFilterAdvanced(ZQEntityListFilterAdvancedFieldDescriptors fields)
        : fields_(std::move(fields)) {}
    const ZQEntityListFilterAdvancedFieldDescriptors& entityListFilterAdvancedFields()
        const override {
        return fields_;
    }

  private:
    const ZQEntityListFilterAdvancedFieldDescriptors fields_;
};
