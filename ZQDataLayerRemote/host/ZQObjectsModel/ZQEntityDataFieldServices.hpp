// The look-up services of one field of a business component: the data service of its dynamic
// combo, and the three of a hide-code field (code for a description, description for the code,
// suggestions). Any of them may be missing. Built by the model loader; immutable afterwards; any
// thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQRemoteDynamicDataService.hpp"

struct ZQEntityDataFieldServices {
    std::string businessComponent;
    std::string field;
    std::shared_ptr<const ZQDynamicDataService> dynamicCombo;
    std::shared_ptr<const ZQDynamicDataService> hideCode;     // code for a typed description
    std::shared_ptr<const ZQDynamicDataService> hideCodeRev;  // description for the stored code
    std::shared_ptr<const ZQDynamicDataService> suggest;
};
