#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"

#include <algorithm>
#include <unordered_set>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveQueue.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionEntityCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "platform/Clock.hpp"

using Level = ZQEntityDataCacheSaveOperationContextLevel;
using ResultType = platform::FetchRequest::ResultType;

namespace {

// Identifiers per IN comparison when looking for existing rows: well below SQLite's limit of
// bound parameters per statement.
constexpr size_t kRowLookupChunk = 500;

}  // namespace

std::shared_ptr<ZQEntityDataCacheSaveOperation> ZQEntityDataCacheSaveOperation::create(
    platform::URL queryBaseURL, std::optional<std::string> queryParameters,
    std::shared_ptr<platform::PersistentStoreCoordinator> psc,
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource, bool clearPrevious,
    std::shared_ptr<ZQEntityDataServiceResult> serviceResult, ZQRange serviceQueryPage) {
    return std::make_shared<ZQEntityDataCacheSaveOperation>(
        std::move(queryBaseURL), std::move(queryParameters), std::move(psc), std::move(dataSource),
        clearPrevious, std::move(serviceResult), serviceQueryPage);
}

ZQEntityDataCacheSaveOperation::ZQEntityDataCacheSaveOperation(
    platform::URL queryBaseURL, std::optional<std::string> queryParameters,
    std::shared_ptr<platform::PersistentStoreCoordinator> psc,
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource, bool clearPrevious,
    std::shared_ptr<ZQEntityDataServiceResult> serviceResult, ZQRange serviceQueryPage)
    : ZQEntityDataCacheBaseOperation(std::move(queryBaseURL), std::move(queryParameters),
                                     std::move(psc), std::move(dataSource)),
      clearPrevious_(clearPrevious),
      serviceResult_(std::move(serviceResult)),
      serviceQueryPage_(serviceQueryPage) {}

std::shared_ptr<ZQEntityDataCacheSaveOperationDelegate> ZQEntityDataCacheSaveOperation::delegate()
    const {
    platform::MutexLock lock(mutex_);
    return delegate_.lock();
}

void ZQEntityDataCacheSaveOperation::setDelegate(
    std::weak_ptr<ZQEntityDataCacheSaveOperationDelegate> delegate) {
    platform::MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

bool ZQEntityDataCacheSaveOperation::isCollection() const {
    return dataSource() && dataSource()->entityDataSourceIsCollection();
}

void ZQEntityDataCacheSaveOperation::setErrorUnlessCancelled(platform::ErrorPtr error) {
    if (!isCancelled() && !error_) error_ = std::move(error);
}

void ZQEntityDataCacheSaveOperation::onFinishWithError(platform::ErrorPtr error) {
    if (!isCancelled()) {
        if (auto delegate = this->delegate()) {
            auto self =
                std::static_pointer_cast<ZQEntityDataCacheSaveOperation>(shared_from_this());
            if (error) {
                delegate->entityDataCacheSaveOperationDidFailSavingWithError(self, error);
            } else {
                delegate->entityDataCacheSaveOperationDidFinishSaving(self);
            }
        }
    }
    ZQEntityDataCacheBaseOperation::onFinishWithError(std::move(error));
}

void ZQEntityDataCacheSaveOperation::main() {
    if (isCancelled()) return;
    if (platform::ErrorPtr storeError = prepareStore()) {
        onFinishWithError(std::move(storeError));
        return;
    }
    batched_ = decideBatches();
    {
        ZQEntityDataCacheSaveOperationContext context(
            Level::create(dataSource(), cacheEntityName()), newWorkingContext());
        ZQEntityDataCacheLevelDataWalks walks([this] { return isCancelled(); }, error_);
        // A batched save builds its tree a run at a time, under the lock.
        if (!savesInBatches()) buildTree(context, walks);
        if (isRunning()) matchAndWriteUnderLock(context, walks);
    }
    if (!isCancelled()) {
        if (error_) {
            onFinishWithError(error_);
        } else {
            onFinishWithSuccess();
        }
    }
    // Cancelled between obtaining the lock and locking it.
    if (lock_) releaseLock();
}

void ZQEntityDataCacheSaveOperation::buildTree(ZQEntityDataCacheSaveOperationContext& context,
                                               ZQEntityDataCacheLevelDataWalks& walks) {
    if (serviceResult_ &&
        serviceResult_->statusCode() == ZQEntityDataServiceResult::kStatusNotModified) {
        return;
    }
    platform::Value data = serviceResult_ ? serviceResult_->data() : platform::Value();
    // A collection's answer that is not an array of rows (its result holds none then) must not
    // be saved as an empty page: a first page would delete every cached row.
    if (isCollection() && !data.isArray()) {
        error_ = ZQEntityDataServiceResult::shapeErrorForParsedData(true, data);
        return;
    }
    walks.build(context.rootLevel(), ZQEntityDataCacheLevelDataWalks::itemsFromObject(data));
    if (isRunning() && context.rootLevel()->entityCount() == 0 && !isCollection()) {
        error_ = defaultZQError();
    }
}

void ZQEntityDataCacheSaveOperation::matchAndWriteUnderLock(
    ZQEntityDataCacheSaveOperationContext& context, ZQEntityDataCacheLevelDataWalks& walks) {
    auto delegate = this->delegate();
    lock_ = delegate
                ? delegate->entityDataCacheSaveOperationObtainLockForEntityName(cacheEntityName())
                : nullptr;
    if (isCancelled()) return;
    if (!lock_) {
        // Without the entity's lock another save of it could match and write at the same time:
        // writing nothing is the only safe outcome.
        error_ = defaultZQErrorWithDeveloperDescription(
            "No lock for the cache entity '" + cacheEntityName() +
            "': the cache save operation's delegate is gone; nothing was written.");
        return;
    }
    lock_->lock();
    if (!isCancelled()) matchAndWrite(context, walks);
    lock_->unlock();
    releaseLock();
}

void ZQEntityDataCacheSaveOperation::matchAndWrite(ZQEntityDataCacheSaveOperationContext& context,
                                                   ZQEntityDataCacheLevelDataWalks& walks) {
    findExistingRecord(context);
    if (!isRunning()) return;
    auto& queue = ZQEntityDataCacheSaveQueue::shared();
    if (!serviceResult_ ||
        serviceResult_->statusCode() != ZQEntityDataServiceResult::kStatusNotModified) {
        if (savesInBatches()) {
            queue.sync([&] { writeInBatches(context, walks); });
            return;
        }
        walks.resolve(context.rootLevel(), *context.moc());
        if (isRunning()) findExistingRows(context);
        if (isRunning()) queue.sync([&] { write(context, walks); });
    } else if (context.existingQueryObjectID() && !isCancelled()) {
        queue.sync([&] { refreshTimeStamp(context); });
    }
}

void ZQEntityDataCacheSaveOperation::releaseLock() {
    auto lock = std::move(lock_);
    lock_ = nullptr;
    if (auto delegate = this->delegate()) delegate->entityDataCacheSaveOperationReleaseLock(lock);
}

// ---- matching

void ZQEntityDataCacheSaveOperation::findExistingRecord(
    ZQEntityDataCacheSaveOperationContext& context) {
    auto fetched = context.moc()->executeFetchRequest(
        queryFetchRequest(context.moc(), ResultType::ManagedObjectID));
    if (fetched.error) {
        setErrorUnlessCancelled(fetched.error);
        context.setExistingQueryObjectID(nullptr);
        return;
    }
    context.setExistingQueryObjectID(
        fetched.results.empty() ? nullptr : platform::objectIDFromValue(fetched.results.back()));
}

void ZQEntityDataCacheSaveOperation::findExistingRows(
    ZQEntityDataCacheSaveOperationContext& context) {
    context.setExistingQueryEntityRelationObjectIDsByEntityObjID(std::nullopt);
    if (!context.existingQueryObjectID() || clearPrevious_ || !isCollection()) return;
    platform::Array entityIDs;
    if (const auto& entities = context.rootLevel()->entities()) {
        for (const auto& entity : *entities) {
            if (entity->existingObjectID()) {
                entityIDs.push_back(platform::Value::objectID(entity->existingObjectID()));
            }
        }
    }
    if (entityIDs.empty()) return;
    struct Row {
        platform::ManagedObjectIDPtr row;
        int64_t rowId;
    };
    std::unordered_map<platform::ManagedObjectIDPtr, Row, platform::ManagedObjectIDHash,
                       platform::ManagedObjectIDEqual>
        lowest;
    std::vector<platform::ManagedObjectIDPtr> surplus;
    for (size_t start = 0; start < entityIDs.size() && isRunning(); start += kRowLookupChunk) {
        size_t end = std::min(entityIDs.size(), start + kRowLookupChunk);
        auto request = queryRowsFetchRequest(
            context.existingQueryObjectID(), context.moc(),
            platform::Predicate::in("entityData",
                                    platform::Array(entityIDs.begin() + static_cast<long>(start),
                                                    entityIDs.begin() + static_cast<long>(end))),
            ResultType::Dictionary);
        request.setPropertiesToFetch(
            {platform::ExpressionDescription("qeRelObjID",
                                             platform::Expression::expressionForEvaluatedObject(),
                                             platform::AttributeType::ObjectID),
             platform::ExpressionDescription(
                 "eObjID", platform::Expression::expressionForKeyPath("entityData"),
                 platform::AttributeType::ObjectID),
             platform::ExpressionDescription("rowId")});
        auto fetched = context.moc()->executeFetchRequest(request);
        if (fetched.error) {
            setErrorUnlessCancelled(fetched.error);
            return;
        }
        for (const platform::Value& result : fetched.results) {
            auto entityID = platform::objectIDFromValue(result["eObjID"]);
            Row row{platform::objectIDFromValue(result["qeRelObjID"]),
                    result["rowId"].integer().value_or(0)};
            if (!entityID || !row.row) continue;
            auto [it, first] = lowest.try_emplace(entityID, row);
            if (first) continue;
            // A result that repeated a key left two rows linking one entity data: the row with
            // the lowest rowId stays, the other goes.
            if (row.rowId < it->second.rowId) std::swap(row, it->second);
            surplus.push_back(row.row);
        }
    }
    if (!isRunning()) return;
    ZQEntityDataCacheSaveOperationContext::RowIDsByEntityID rows;
    rows.reserve(lowest.size());
    for (auto& [entityID, row] : lowest) rows.emplace(entityID, std::move(row.row));
    context.setExistingQueryEntityRelationObjectIDsByEntityObjID(std::move(rows));
    context.setSurplusRowObjectIDs(std::move(surplus));
}

// ---- writing (on the cache-save queue)

void ZQEntityDataCacheSaveOperation::write(ZQEntityDataCacheSaveOperationContext& context,
                                           ZQEntityDataCacheLevelDataWalks& walks) {
    if (isCancelled()) return;
    auto writeContext = newWorkingContext();
    walks.prefetch(context.rootLevel(), *writeContext);
    if (isRunning()) walks.write(context.rootLevel(), *writeContext);
    if (!isRunning()) return;
    auto record = queryRecord(context, *writeContext);
    if (!record) {
        setErrorUnlessCancelled(defaultZQError());
        return;
    }
    if (auto error = stampRecord(*record)) return setErrorUnlessCancelled(error);
    if (isCollection()) {
        writeRows(context, *writeContext, record);
    } else {
        writeSingleItem(context, *record);
    }
    // Every item's object is the write context's now: the tree and the matches go before the
    // save, whose change set is the largest allocation of the run.
    context.releaseTree();
    walks.releaseMatches();
    if (isRunning()) saveContext(writeContext);
}

platform::ErrorPtr ZQEntityDataCacheSaveOperation::stampRecord(ZQQueryManagedObject& record) const {
    platform::Date now = platform::Clock::current()->now();
    if (clearPrevious_ || record.isInserted()) {
        if (auto error = record.setTimeStamp(now)) return error;
        if (auto error = record.setDataTimeStamp(now)) return error;
    }
    // Only a first page (or a refresh) speaks for the whole query's Last-Modified.
    if (auto lastModified = serviceResult_ ? serviceResult_->lastModified() : std::nullopt;
        lastModified && clearPrevious_) {
        return record.setLastModified(lastModified);
    }
    return nullptr;
}

std::shared_ptr<ZQQueryManagedObject> ZQEntityDataCacheSaveOperation::queryRecord(
    const ZQEntityDataCacheSaveOperationContext& context,
    platform::ManagedObjectContext& writeContext) {
    if (context.existingQueryObjectID()) {
        if (auto existing = std::dynamic_pointer_cast<ZQQueryManagedObject>(
                writeContext.objectWithID(context.existingQueryObjectID()))) {
            return existing;
        }
    }
    auto record = std::dynamic_pointer_cast<ZQQueryManagedObject>(
        writeContext.insertNewObject(queryEntityName()));
    if (!record) return nullptr;
    platform::ErrorPtr error = record->setQueryBaseUri(queryBaseURL().absoluteString());
    if (!error) error = record->setQueryParameters(queryParameters());
    if (error) {
        setErrorUnlessCancelled(error);
        return nullptr;
    }
    return record;
}

void ZQEntityDataCacheSaveOperation::writeSingleItem(
    const ZQEntityDataCacheSaveOperationContext& context, ZQQueryManagedObject& record) {
    auto* single = dynamic_cast<ZQQuerySingleItemManagedObject*>(&record);
    if (!single) return setErrorUnlessCancelled(defaultZQError());
    std::shared_ptr<ZQEntitySingleItemManagedObject> item;
    if (const auto& entities = context.rootLevel()->entities(); entities && !entities->empty()) {
        item = std::dynamic_pointer_cast<ZQEntitySingleItemManagedObject>(
            entities->back()->managedObject());
    }
    if (auto error = single->setEntityData(item)) setErrorUnlessCancelled(error);
}

void ZQEntityDataCacheSaveOperation::writeRows(
    const ZQEntityDataCacheSaveOperationContext& context,
    platform::ManagedObjectContext& writeContext,
    const std::shared_ptr<ZQQueryManagedObject>& record) {
    auto query = std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(record);
    if (!query) return setErrorUnlessCancelled(defaultZQError());
    if (clearPrevious_) {
        for (const auto& row : query->queryEntities()) writeContext.deleteObject(row);
    }
    if (auto error = setComplete(*query, context.rootLevel()->entityCount())) {
        return setErrorUnlessCancelled(error);
    }
    placeRows(context, writeContext, query, 0, nullptr);
}

platform::ErrorPtr ZQEntityDataCacheSaveOperation::setComplete(
    ZQQueryCollectionManagedObject& query, size_t rows) const {
    const auto [location, length] = serviceQueryPage_;
    if (location + length == 0) return query.setComplete(true);
    if (clearPrevious_) return query.setComplete(rows < length);
    return rows < length ? query.setComplete(true) : nullptr;
}

void ZQEntityDataCacheSaveOperation::placeRows(
    const ZQEntityDataCacheSaveOperationContext& context,
    platform::ManagedObjectContext& writeContext,
    const std::shared_ptr<ZQQueryCollectionManagedObject>& query, size_t first,
    const std::vector<int64_t>* placedBefore) {
    const uint64_t location = serviceQueryPage_.location;
    const size_t n = context.rootLevel()->entityCount();
    for (const auto& surplus : context.surplusRowObjectIDs()) {
        if (auto row = writeContext.objectWithID(surplus)) writeContext.deleteObject(row);
    }
    const auto& existingRows = context.existingQueryEntityRelationObjectIDsByEntityObjID();
    // Items of this page that share one object (a repeated key) get one row: the first one's.
    std::unordered_set<const platform::ManagedObject*> placed;
    placed.reserve(n);
    const std::string rowEntityName = queryCollectionEntityName();
    platform::ErrorPtr error;
    for (size_t i = 0; i < n && isRunning(); ++i) {
        const auto& entity = (*context.rootLevel()->entities())[i];
        const auto& object = entity->managedObject();
        if (object && !placed.insert(object.get()).second) continue;
        if (object && placedBefore && entity->existingObjectID() &&
            std::binary_search(placedBefore->begin(), placedBefore->end(),
                               object->objectID()->number())) {
            continue;
        }
        std::shared_ptr<ZQQueryCollectionEntityCollectionManagedObject> row;
        if (!clearPrevious_ && existingRows && entity->existingObjectID() && object) {
            if (auto it = existingRows->find(object->objectID()); it != existingRows->end()) {
                row = std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(
                    writeContext.objectWithID(it->second));
            }
        }
        if (!row) {
            row = std::dynamic_pointer_cast<ZQQueryCollectionEntityCollectionManagedObject>(
                writeContext.insertNewObject(rowEntityName));
            if (!row) return setErrorUnlessCancelled(defaultZQError());
            error = row->setEntityData(
                std::dynamic_pointer_cast<ZQEntityCollectionManagedObject>(object));
            if (!error) error = row->setQuery(query);
        }
        if (!error) error = row->setRowId(static_cast<int32_t>(location + first + i + 1));
        if (error) return setErrorUnlessCancelled(error);
    }
}

void ZQEntityDataCacheSaveOperation::refreshTimeStamp(
    const ZQEntityDataCacheSaveOperationContext& context) {
    if (isCancelled()) return;
    auto writeContext = newWorkingContext();
    auto record = std::dynamic_pointer_cast<ZQQueryManagedObject>(
        writeContext->objectWithID(context.existingQueryObjectID()));
    if (!record) return;
    if (auto error = record->setTimeStamp(platform::Clock::current()->now())) {
        return setErrorUnlessCancelled(error);
    }
    saveContext(writeContext);
}

void ZQEntityDataCacheSaveOperation::saveContext(
    const std::shared_ptr<platform::ManagedObjectContext>& writeContext) {
    if (!isRunning()) return;
    if (auto error = saveWorkingContext(writeContext)) setErrorUnlessCancelled(error);
}
