// Makes the instance a zqdl save command sends from the JSON a user gives (fields by name, child
// levels as arrays of line objects under the level's name): objects of the cache's entities in a
// context of their own that is never saved, as a screen's edited instance would be. Stateless
// functions; main thread (the context is the main-queue scratch context of the manager).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // The lines made for each child level of the root, in the JSON's order.
    using LinesByLevel =
        std::map<std::string, std::vector<std::shared_ptr<platform::ManagedObject>>>;
    static std::shared_ptr<ZQBusinessComponentLevelEntityData> build(
        platform::ManagedObjectContext& context, const platform::ManagedObjectModel& schema,
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const platform::Dictionary& json, std::string* error, LinesByLevel* lines = nullptr);
    // A first check of the JSON against the level, before anything starts: the same errors.
    static bool check(const ZQBusinessComponentLevel& level, const platform::Dictionary& json,
                      std::string* error);

    // Where an --attach target points: a field of the root (no level) or of one line.
    struct AttachTarget {
        std::shared_ptr<const ZQBusinessComponentLevel> level;  // the level holding the field
        std::string levelName;                                  // empty for the root
        size_t index = 0;                                       // the line, for a child level
        std::string field;
    };
    // "FIELD" or "LEVEL[INDEX].FIELD" checked against the root level and the JSON's lines; none,
    // with *error set, for an unknown level or field, a line the JSON does not have, or a path
    // that is no regular file.
    static std::optional<AttachTarget> attachTarget(
        const std::shared_ptr<const ZQBusinessComponentLevel>& root,
        const platform::Dictionary& json, const std::string& target, const std::string& path,
        std::string* error);
    // Gives the target's field the file as a "file:" URL text, which the save uploads first.
    static bool attach(ZQBusinessComponentLevelEntityData& instance, const LinesByLevel& lines,
                       const AttachTarget& target, const std::string& path, std::string* error);

  private:
    // build() without the check, for JSON already checked.
    static std::shared_ptr<ZQBusinessComponentLevelEntityData> make(
        platform::ManagedObjectContext& context, const platform::ManagedObjectModel& schema,
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const platform::Dictionary& json, std::string* error, LinesByLevel* lines);
};

}  // namespace zqdl
