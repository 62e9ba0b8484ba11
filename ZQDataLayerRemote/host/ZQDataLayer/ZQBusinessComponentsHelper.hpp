// Look-ups of business components and their levels in the running application model. Stateless;
// any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"

struct ZQBusinessComponentRootLevelAndKey {
    std::shared_ptr<const ZQBusinessComponentLevel> rootLevel;  // both none, or both set
    std::shared_ptr<const ZQEntityDataKey> rootKey;
};

class ZQBusinessComponentsHelper {
  public:
    // The root level and the root key of an instance of `level` with `key`: the level chain and
    // the key chain walked outwards together. Both none when either is missing or the chains have
    // different lengths (a key of a line without its parent's key names no instance).
    static ZQBusinessComponentRootLevelAndKey rootLevelAndKey(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQEntityDataKey>& key);

    // The level (by name or level name) of the business component of that name in
    // ZQApplicationModel::currentModel(); none when there is no model, component or level.
    static std::shared_ptr<const ZQBusinessComponentLevel> businessComponentLevelWithName(
        const std::string& levelName, const std::string& businessComponentName);
};
