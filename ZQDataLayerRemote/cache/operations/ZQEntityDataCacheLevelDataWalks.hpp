// The three walks of a cache save over its level tree: building the tree from the result's items,
// resolving each entity data to the cached object with the same storage key, and writing the tree
// into a context. Made by the save operation for one run; every walk stops as soon as the
// operation is cancelled or the run's error is set, and sets that error itself on failure (the
// first one wins). Used by the thread that runs the save (the write on the cache-save queue while
// that thread waits); no locks: the walks are never used from two threads at once.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveKeyMap.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevel.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevelEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "platform/Error.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "platform/objectstore/PersistentStore.hpp"

class ZQEntityDataCacheLevelDataWalks {
  public:
    using LevelPtr = std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>;
    using EntityDataPtr = std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData>;

    // error is the run's error slot, read and written by the walks; it must outlive them.
    ZQEntityDataCacheLevelDataWalks(std::function<bool()> isCancelled, platform::ErrorPtr& error)
        : isCancelled_(std::move(isCancelled)), error_(error) {}

    // Not cancelled and no error yet.
    bool isRunning() const { return !error_ && !isCancelled_(); }

    // The items of a JSON value: an array as it is, a lone value as a one-element array, nothing
    // (absent or null) as nothing.
    static platform::Value itemsFromObject(const platform::Value& value);
    // The entity of a sublevel named levelName inside the entity parentEntityName.
    static std::string sublevelEntityName(const std::string& parentEntityName,
                                          const std::string& levelName);

    // Fills the level's entity data from the items (an array, or nothing for no items).
    void build(const LevelPtr& level, const platform::Value& items);
    // Finds, in moc, the cached object of every entity data of the level (and of its sublevels) by
    // the level's storage key. Items of this result with a key that is not cached yet, and equal
    // to the key of an earlier item of the same entity, are tied to that earlier item so that
    // both are written to one object.
    void resolve(const LevelPtr& level, platform::ManagedObjectContext& moc);
    // Reads into context, a few statements per entity, the cached objects that resolving found
    // for the level and its sublevels, so that writing them reads no row on its own.
    void prefetch(const LevelPtr& level, platform::ManagedObjectContext& context);
    // Writes the level into context: each entity data gets its object (the cached one, the one of
    // an earlier item with the same key, or a new one) with its values and sublevels.
    void write(const LevelPtr& level, platform::ManagedObjectContext& context);
    // Once written: lets go of what resolving kept (the first new item of each key, the cached
    // keys of entities without a key index).
    void releaseMatches() {
        uncached_.clear();
        keyIndexes_.clear();
    }
    // Once a run of a batched save is saved (its objects have their lasting identifiers): the
    // keys the run wrote first are remembered for the runs after it, which find those objects as
    // cached ones, and the run's items are let go of.
    void rememberWritten();

  private:
    // What one data-source level's fields mean for building, worked out once per walk.
    struct FieldPlan {
        std::shared_ptr<const ZQEntityDataFieldDescriptor> descriptor;
        std::string attributeName;
        // Sublevel fields only.
        bool isSublevel = false;
        std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> sublevel;
        // The sublevel's entity name under the parent entity named parentEntityName, shared by
        // the sublevel's levels of every item.
        std::string parentEntityName;
        std::shared_ptr<const std::string> sublevelEntityName;
    };
    struct LevelPlan {
        std::vector<FieldPlan> fields;
        // Every value field's attribute name, each with the null value: an item's values start
        // as a copy and are set in place (no sorting per item).
        platform::Dictionary valuesTemplate;
        // Cache attribute names of the storage key fields, in key order; empty without a key.
        std::vector<std::string> keyAttributeNames;
        platform::PredicatePtr keyTemplate;
        bool keyPlanned = false;
    };

    // The cached objects of one entity by key text, when its key has no index: one read of the
    // entity's keys instead of a full scan per item. Row numbers, not identifiers: a large list's
    // keys would otherwise keep an identifier object per row alive.
    struct KeyIndex {
        bool perItem = false;  // the key is indexed: look each item up on its own
        ZQEntityDataCacheSaveKeyMap<int64_t> rows;
        std::shared_ptr<platform::PersistentStore> store;  // of the entity's rows
        const platform::EntityDescription* entity = nullptr;
    };

    LevelPlan& planFor(const ZQEntityDataSourceLevelDescriptor& dataSource);
    // None (with the error set) when the entity's keys cannot be read.
    KeyIndex* keyIndexFor(const platform::EntityDescription& entity, const LevelPlan& plan,
                          platform::ManagedObjectContext& moc);
    // The cached object with the item's key, or none; false (with the error set) on a failure.
    bool findCached(KeyIndex& index, const LevelPlan& plan, platform::FetchRequest& request,
                    const platform::Dictionary& values, const std::string& key,
                    platform::ManagedObjectContext& moc, platform::ManagedObjectIDPtr& found);
    void planKey(LevelPlan& plan, const ZQEntityDataSourceLevelDescriptor& dataSource);
    void buildItem(const LevelPtr& level, LevelPlan& plan, const platform::Value& item);
    // The key's values as one text, equal for values the store compares as equal; empty when a
    // key value is missing and missingIsNull is false.
    static std::string keyText(const LevelPlan& plan, const platform::Dictionary& values,
                               bool missingIsNull = false);
    void fail(platform::ErrorPtr error);
    // The objects written for the sublevel's entity data, in order, each once.
    static std::shared_ptr<platform::ManagedObjectSet> childrenOf(
        const ZQEntityDataCacheSaveOperationContextLevel& sublevel);
    // The relationship of a parent of the plan's level that holds the sublevel's objects.
    const std::string& sublevelAttributeName(
        const LevelPlan& plan, const ZQEntityDataCacheSaveOperationContextLevel& sublevel);
    // The identifiers of the cached objects found for the level's tree, by entity name.
    static void collectExisting(const LevelPtr& level,
                                std::unordered_map<std::string, platform::Array>& ids);

    std::function<bool()> isCancelled_;
    platform::ErrorPtr& error_;
    std::unordered_map<const ZQEntityDataSourceLevelDescriptor*, LevelPlan> plans_;
    // Per entity name: key text to the first item of this result with that key not yet cached.
    std::unordered_map<std::string, ZQEntityDataCacheSaveKeyMap<EntityDataPtr>> uncached_;
    std::unordered_map<std::string, KeyIndex> keyIndexes_;
    std::unordered_map<const ZQEntityDataSourceLevelDescriptor*, std::string>
        sublevelAttributeNames_;
};
