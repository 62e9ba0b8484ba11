// Look-ups of business components and their levels in the running application model. Stateless;
// any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"

class ZQBusinessComponentsHelper {
  public:
    // The level (by name or level name) of the business component of that name in
    // ZQApplicationModel::currentModel(); none when there is no model, component or level.
    static std::shared_ptr<const ZQBusinessComponentLevel> businessComponentLevelWithName(
        const std::string& levelName, const std::string& businessComponentName);
};
