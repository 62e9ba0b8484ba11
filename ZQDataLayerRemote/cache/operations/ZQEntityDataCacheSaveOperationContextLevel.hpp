// One level occurrence of the tree a cache save builds from a result: the data-source level it
// mirrors (the data source itself or one of its sublevels), the cache entity of that level and
// the entity data of this occurrence in item order. Owned by the save context (the root level) or
// by the entity data whose sublevel it is. Used by the one thread that runs the save (and, while
// that thread waits, by the cache-save queue's block), so nothing is locked.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"

class ZQEntityDataCacheSaveOperationContextLevelEntityData;

class ZQEntityDataCacheSaveOperationContextLevel
    : public std::enable_shared_from_this<ZQEntityDataCacheSaveOperationContextLevel> {
  public:
    using EntityDataList =
        std::vector<std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData>>;

    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> create(
        std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource,
        std::string entityName);
    // For the many levels of one sublevel in a tree: they share the name.
    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> create(
        std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource,
        std::shared_ptr<const std::string> entityName);
    // The entity name comes from the cache's naming rules; none when they give no name.
    [[nodiscard]] static std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>
    createWithDataSourceLevel(std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource);

    const std::shared_ptr<const ZQEntityDataSourceLevelDescriptor>& dataSource() const {
        return dataSource_;
    }
    const std::string& entityDataEntityName() const { return *entityDataEntityName_; }
    // None until the level was built; empty when the result had no items for it.
    const std::optional<EntityDataList>& entities() const { return entities_; }
    void setEntities(std::optional<EntityDataList> entities) { entities_ = std::move(entities); }
    // Appends, creating the list on first use.
    void addEntity(std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevelEntityData> entity);
    size_t entityCount() const { return entities_ ? entities_->size() : 0; }

    // Through create() only; public for make_shared.
    ZQEntityDataCacheSaveOperationContextLevel(
        std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource,
        std::shared_ptr<const std::string> entityName)
        : dataSource_(std::move(dataSource)), entityDataEntityName_(std::move(entityName)) {}

  private:
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> dataSource_;
    std::shared_ptr<const std::string> entityDataEntityName_;  // never null
    std::optional<EntityDataList> entities_;
};
