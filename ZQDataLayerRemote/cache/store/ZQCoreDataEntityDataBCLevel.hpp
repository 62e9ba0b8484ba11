// A cached business-component level (a child level; the root level derives from it): entity data
// with a time stamp, whose child levels are the to-many relationships named after them. Used on
// the thread of its context only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataTimeStamp.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

class ZQCoreDataEntityDataBCLevel : public ZQCoreDataEntityDataTimeStamp,
                                    public ZQBusinessComponentLevelEntityData {
  public:
    // Child levels keep no hash.
    std::optional<std::string> entityMD5Hash() const override;
    // The objects of the to-many relationship named by the level name lowercased, when its
    // destination's class is a business-component level class; none for an empty name, a missing
    // or to-one relationship, or another destination class.
    std::optional<std::vector<std::shared_ptr<ZQBusinessComponentLevelEntityData>>>
    entityChildLevelEntitiesForLevelName(const std::string& levelName) const override;
};
