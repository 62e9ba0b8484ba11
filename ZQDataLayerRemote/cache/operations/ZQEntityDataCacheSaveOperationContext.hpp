// The working data of one cache save run: the root level of the tree built from the result, the
// working context used for building and matching, the query's cached record and the rows of that
// record that already link entity data of the result. Owned by the save operation for one run and
// used by the thread that runs it (and by the cache-save queue's block while that thread waits);
// nothing is locked.
#pragma once

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevel.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

class ZQEntityDataCacheSaveOperationContext {
  public:
    // Entity data identifier to the identifier of the row that links it.
    using RowIDsByEntityID =
        std::unordered_map<platform::ManagedObjectIDPtr, platform::ManagedObjectIDPtr,
                           platform::ManagedObjectIDHash, platform::ManagedObjectIDEqual>;

    ZQEntityDataCacheSaveOperationContext(
        std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> rootLevel,
        std::shared_ptr<platform::ManagedObjectContext> moc)
        : rootLevel_(std::move(rootLevel)), moc_(std::move(moc)) {}

    const std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel>& rootLevel() const {
        return rootLevel_;
    }
    const std::shared_ptr<platform::ManagedObjectContext>& moc() const { return moc_; }

    const platform::ManagedObjectIDPtr& existingQueryObjectID() const {
        return existingQueryObjectID_;
    }
    void setExistingQueryObjectID(platform::ManagedObjectIDPtr id) {
        existingQueryObjectID_ = std::move(id);
    }

    const std::optional<RowIDsByEntityID>& existingQueryEntityRelationObjectIDsByEntityObjID()
        const {
        return existingRows_;
    }
    void setExistingQueryEntityRelationObjectIDsByEntityObjID(
        std::optional<RowIDsByEntityID> rows) {
        existingRows_ = std::move(rows);
    }

    // Rows of the query that link an entity data a second time (a result that repeated a key):
    // the save keeps the row with the lowest rowId and deletes these.
    const std::vector<platform::ManagedObjectIDPtr>& surplusRowObjectIDs() const {
        return surplusRows_;
    }
    void setSurplusRowObjectIDs(std::vector<platform::ManagedObjectIDPtr> rows) {
        surplusRows_ = std::move(rows);
    }

    // Once written: lets go of the root level's entity data (the level itself stays, empty) and
    // of the rows found for them.
    void releaseTree() {
        rootLevel_->setEntities(std::nullopt);
        existingRows_.reset();
        surplusRows_.clear();
    }

  private:
    std::shared_ptr<ZQEntityDataCacheSaveOperationContextLevel> rootLevel_;
    std::shared_ptr<platform::ManagedObjectContext> moc_;
    platform::ManagedObjectIDPtr existingQueryObjectID_;
    std::optional<RowIDsByEntityID> existingRows_;
    std::vector<platform::ManagedObjectIDPtr> surplusRows_;
};
