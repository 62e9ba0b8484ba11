// Makes the instance a zqdl save command sends from the JSON a user gives (fields by name, child
// levels as arrays of line objects under the level's name): objects of the cache's entities in a
// context of their own that is never saved, as a screen's edited instance would be. Stateless
// functions; main thread (the context is the main-queue scratch context of the manager).
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

namespace zqdl {

class ZqdlInstanceBuilder {
  public:
    // The root instance of `level` with its lines; none, with *error set, for a member that is no
    // field or child level of its level, a value that does not convert for its field, or a child
    // level that is not an array of objects.
    static std::shared_ptr<ZQBusinessComponentLevelEntityData> build(
        platform::ManagedObjectContext& context, const platform::ManagedObjectModel& schema,
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const platform::Dictionary& json, std::string* error);
    // A first check of the JSON against the level, before anything starts: the same errors.
    static bool check(const ZQBusinessComponentLevel& level, const platform::Dictionary& json,
                      std::string* error);
};

}  // namespace zqdl
