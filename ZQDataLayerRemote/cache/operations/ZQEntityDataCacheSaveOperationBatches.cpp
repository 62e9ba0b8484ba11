// The cache save of a collection too large to hold at once: its rows are built, matched, written
// and saved a run at a time (ZQUndocumentedConfig::cacheSaveBatchRows), each run's objects let go
// of before the next, all inside one store write batch that commits only after the last run, so
// that readers (and a process killed meanwhile) see the old rows or the new ones, never a mix.
// The main context takes the changes once, after the commit, by identifier.
#include <algorithm>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "platform/objectstore/StoreWriteBatch.hpp"

using Level = ZQEntityDataCacheSaveOperationContextLevel;
using ResultType = platform::FetchRequest::ResultType;

struct ZQEntityDataCacheSaveOperation::Batches {
    platform::StoreWriteBatch store;
    platform::ManagedObjectIDPtr recordID;
    size_t rows = 0;  // rows of the result written by the runs so far
    // Row numbers of the entity objects that earlier runs gave a row of the query, sorted (new
    // objects' numbers mostly come in order, so each run's merge is short).
    std::vector<int64_t> placed;
    // What the steps changed, for the main context once committed.
    std::vector<platform::ManagedObjectIDPtr> updated;
    std::vector<platform::ManagedObjectIDPtr> deleted;
};

namespace {

size_t rowsPerRun() {
    return static_cast<size_t>(std::max<int64_t>(1, ZQUndocumentedConfig::cacheSaveBatchRows()));
}

}  // namespace

bool ZQEntityDataCacheSaveOperation::savesInBatches() const {
    return batched_;
}

bool ZQEntityDataCacheSaveOperation::decideBatches() const {
    if (!isCollection() || !serviceResult_ ||
        serviceResult_->statusCode() == ZQEntityDataServiceResult::kStatusNotModified) {
        return false;
    }
    if (serviceResult_->streamedRows()) return true;
    platform::Value data = serviceResult_->data();
    const platform::Array* rows = data.array();
    return rows && rows->size() > rowsPerRun();
}

void ZQEntityDataCacheSaveOperation::writeInBatches(ZQEntityDataCacheSaveOperationContext& context,
                                                    ZQEntityDataCacheLevelDataWalks& walks) {
    if (isCancelled()) return;
    Batches batches;
    platform::ErrorPtr error;
    batches.store = platform::StoreWriteBatch::open(*psc(), error);
    if (error) return setErrorUnlessCancelled(error);
    // The query's record first: the rows of every run link it.
    {
        auto step = newWorkingContext();
        auto record = queryRecord(context, *step);
        if (!record || !std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(record)) {
            return setErrorUnlessCancelled(defaultZQError());
        }
        if ((error = stampRecord(*record))) return setErrorUnlessCancelled(error);
        if (!saveStep(batches, step)) return;
        batches.recordID = record->objectID();
    }
    if (clearPrevious_ && context.existingQueryObjectID() && !deletePreviousRows(batches)) return;
    readRuns(
        [&](const platform::Value& items) { return writeRun(batches, items, context, walks); });
    walks.releaseMatches();
    if (!isRunning()) return;
    {
        auto step = newWorkingContext();
        auto query = std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(
            step->objectWithID(batches.recordID));
        if (!query) return setErrorUnlessCancelled(defaultZQError());
        if ((error = setComplete(*query, batches.rows))) return setErrorUnlessCancelled(error);
        if (!saveStep(batches, step)) return;
    }
    // Cancelled or failed before this point, the batch rolls back as it goes.
    if ((error = batches.store.commit())) return setErrorUnlessCancelled(error);
    // Saved, the text is no longer needed by anyone: the rows are read back from the cache.
    serviceResult_->setStreamedRows(nullptr);
    mergeChangedObjectIDs(batches.updated, batches.deleted);
}

void ZQEntityDataCacheSaveOperation::readRuns(
    const std::function<bool(const platform::Value& items)>& run) {
    const size_t perRun = rowsPerRun();
    if (auto rows = serviceResult_->streamedRows()) {
        if (auto error = rows->read(perRun, run)) setErrorUnlessCancelled(error);
        return;
    }
    platform::Value data = serviceResult_->data();
    const platform::Array* items = data.array();
    if (!items) {
        return setErrorUnlessCancelled(
            ZQEntityDataServiceResult::shapeErrorForParsedData(true, data));
    }
    for (size_t start = 0; start < items->size(); start += perRun) {
        const auto from = items->begin() + static_cast<long>(start);
        const auto to = items->begin() + static_cast<long>(std::min(items->size(), start + perRun));
        if (!run(platform::Value(platform::Array(from, to)))) return;
    }
}

bool ZQEntityDataCacheSaveOperation::writeRun(Batches& batches, const platform::Value& items,
                                              ZQEntityDataCacheSaveOperationContext& context,
                                              ZQEntityDataCacheLevelDataWalks& walks) {
    if (!isRunning()) return false;
    ZQEntityDataCacheSaveOperationContext run(Level::create(dataSource(), cacheEntityName()),
                                              context.moc());
    run.setExistingQueryObjectID(context.existingQueryObjectID());
    const auto& level = run.rootLevel();
    walks.build(level, items);
    // Reads made now see the earlier runs' rows: they are this thread's batch.
    if (isRunning()) walks.resolve(level, *context.moc());
    if (isRunning()) findExistingRows(run);
    if (!isRunning()) return false;
    auto step = newWorkingContext();
    walks.prefetch(level, *step);
    if (isRunning()) walks.write(level, *step);
    if (!isRunning()) return false;
    auto query = std::dynamic_pointer_cast<ZQQueryCollectionManagedObject>(
        step->objectWithID(batches.recordID));
    if (!query) {
        setErrorUnlessCancelled(defaultZQError());
        return false;
    }
    placeRows(run, *step, query, batches.rows, &batches.placed);
    std::vector<std::shared_ptr<platform::ManagedObject>> objects;
    objects.reserve(level->entityCount());
    for (const auto& entity : *level->entities()) {
        if (entity->managedObject()) objects.push_back(entity->managedObject());
    }
    batches.rows += level->entityCount();
    run.releaseTree();
    if (!saveStep(batches, step)) return false;
    // Saved, the objects have their lasting numbers.
    const auto runStart = static_cast<long>(batches.placed.size());
    for (const auto& object : objects) batches.placed.push_back(object->objectID()->number());
    std::sort(batches.placed.begin() + runStart, batches.placed.end());
    std::inplace_merge(batches.placed.begin(), batches.placed.begin() + runStart,
                       batches.placed.end());
    walks.rememberWritten();
    return true;
}

bool ZQEntityDataCacheSaveOperation::deletePreviousRows(Batches& batches) {
    // A run of rows at a time: the batch's reads no longer find the rows it deleted.
    const size_t perRun = rowsPerRun();
    for (;;) {
        if (!isRunning()) return false;
        auto step = newWorkingContext();
        auto request =
            queryRowsFetchRequest(batches.recordID, step, nullptr, ResultType::ManagedObjectID);
        request.setFetchLimit(perRun);
        auto fetched = step->executeFetchRequest(request);
        if (fetched.error) {
            setErrorUnlessCancelled(fetched.error);
            return false;
        }
        if (fetched.results.empty()) return true;
        for (const platform::Value& id : fetched.results) {
            if (auto row = step->objectWithID(platform::objectIDFromValue(id))) {
                step->deleteObject(row);
            }
        }
        const size_t deletedBefore = batches.deleted.size();
        if (!saveStep(batches, step)) return false;
        if (batches.deleted.size() == deletedBefore) {
            // Rows that do not go would be fetched again for ever.
            setErrorUnlessCancelled(defaultZQErrorWithDeveloperDescription(
                "The cached rows of the query could not be deleted"));
            return false;
        }
    }
}

bool ZQEntityDataCacheSaveOperation::saveStep(
    Batches& batches, const std::shared_ptr<platform::ManagedObjectContext>& step) {
    if (!isRunning()) return false;
    platform::ObserverToken token =
        step->addDidSaveObserver([&batches](const platform::ContextDidSaveNotification& changes) {
            for (const auto& snapshot : changes.updatedSnapshots()) {
                batches.updated.push_back(snapshot.objectID);
            }
            const auto& deleted = changes.deletedObjectIDs();
            batches.deleted.insert(batches.deleted.end(), deleted.begin(), deleted.end());
        });
    if (auto error = step->save()) {
        setErrorUnlessCancelled(error);
        return false;
    }
    return isRunning();
}
