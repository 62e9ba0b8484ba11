// One item of a result in the tree a cache save builds: its values converted for the cache (by
// cache attribute name), its sublevel levels, the cached object with the same storage key found
// by resolving, and the object it was written to. Owned by its level, which it refers back to
// weakly. Used by the one thread that runs the save (and by the cache-save queue's block while
// that thread waits), so nothing is locked.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObject.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

class ZQEntityDataCacheSaveOperationContextLevel;

class ZQEntityDataCacheSaveOperationContextLevelEntityData {
  public:
    using Levels = std::vector<std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>>;

    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData>
    create(const std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>& level);

    // None once the level is gone.
    std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> level() const {
        return level_.lock();
    }

    const platform::ManagedObjectIDPtr& existingObjectID() const { return existingObjectID_; }
    void setExistingObjectID(platform::ManagedObjectIDPtr id) { existingObjectID_ = std::move(id); }

    // An earlier item of the same result with the same storage key, when that key is not cached
    // yet: both stand for one cached object, which the earlier item's write creates.
    const std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData>&
    earlierEntityDataWithSameKey() const {
        return earlierWithSameKey_;
    }
    void setEarlierEntityDataWithSameKey(
        std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData> earlier) {
        earlierWithSameKey_ = std::move(earlier);
    }

    const std::shared_ptr<platform::ManagedObject>& managedObject() const { return managedObject_; }
    void setManagedObject(std::shared_ptr<platform::ManagedObject> object) {
        managedObject_ = std::move(object);
    }

    // By cache attribute name; none until a value was added.
    const std::optional<platform::Dictionary>& entityCoreDataValues() const { return values_; }
    void setEntityCoreDataValues(std::optional<platform::Dictionary> values) {
        values_ = std::move(values);
    }
    // Sets the value under the name (replacing an earlier one), creating the dictionary first.
    void addEntityCoreDataValue(platform::Value value, std::string fieldName);

    // None until a sublevel was added.
    const std::optional<Levels>& entitySublevels() const { return sublevels_; }
    // Appends, creating the list on first use.
    void addEntitySublevel(std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> sublevel);

    // Through create() only; public for make_shared.
    explicit ZQEntityDataCacheSaveOperationContextLevelEntityData(
        std::weak_ptr<ZQEntityDataCacheSaveOperationContextLevel> level)
        : level_(std::move(level)) {}

  private:
    std::weak_ptr<ZQEntityDataCacheSaveOperationContextLevel> level_;
    platform::ManagedObjectIDPtr existingObjectID_;
    std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData> earlierWithSameKey_;
    std::shared_ptr<platform::ManagedObject> managedObject_;
    std::optional<platform::Dictionary> values_;
    std::optional<Levels> sublevels_;
};
