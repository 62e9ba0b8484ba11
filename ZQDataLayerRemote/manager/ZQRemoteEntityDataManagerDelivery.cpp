#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerDelivery.hpp"

#include <algorithm>
#include <string>
#include <typeinfo>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"
#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/manager/ZQEntityDataManagerRemoteLoaderContext.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryStandardResults.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

namespace {

using platform::Value;

struct RecordDates {
    std::optional<platform::Date> timeStamp;
    std::optional<platform::Date> dataTimeStamp;
    std::optional<platform::Date> lastModified;
};

RecordDates datesOfRecord(ZQQueryManagedObject& record) {
    return {record.timeStamp(), record.dataTimeStamp(), record.lastModified()};
}

// Sections of identifiers to sections of the main context's objects; identifiers that give no
// entity data (a row deleted since the read) are dropped rather than handed out as holes.
ZQEntityDataSections sectionsOfObjects(const Value& identifierSections,
                                       platform::ManagedObjectContext& context) {
    std::vector<ZQEntityDataItems> sections;
    const platform::Array* outer = identifierSections.array();
    if (!outer) return ZQEntityDataSections();
    sections.reserve(outer->size());
    for (const Value& section : *outer) {
        ZQEntityDataItems items;
        if (const platform::Array* identifiers = section.array()) {
            items.reserve(identifiers->size());
            for (const Value& identifier : *identifiers) {
                auto id = std::dynamic_pointer_cast<const platform::ManagedObjectID>(
                    identifier.objectID());
                if (!id) continue;
                if (auto item = std::dynamic_pointer_cast<ZQEntityData>(context.objectWithID(id))) {
                    items.push_back(std::move(item));
                }
            }
        }
        sections.push_back(std::move(items));
    }
    return ZQEntityDataSections(std::move(sections));
}

// The rows of a list are objects of one class: the class is checked once, not each object cast
// through the virtual base (a cross cast that costs more than finding the object).
class EntityDataCast {
  public:
    std::shared_ptr<ZQEntityData> operator()(std::shared_ptr<platform::ManagedObject> object) {
        if (!object) return nullptr;
        const platform::ManagedObject& instance = *object;
        const std::type_info& type = typeid(instance);
        if (!type_ || *type_ != type) {
            type_ = &type;
            isCacheEntityData_ = dynamic_cast<ZQCoreDataEntityData*>(object.get()) != nullptr;
        }
        if (isCacheEntityData_) return std::static_pointer_cast<ZQCoreDataEntityData>(object);
        return std::dynamic_pointer_cast<ZQEntityData>(object);
    }

  private:
    const std::type_info* type_ = nullptr;
    bool isCacheEntityData_ = false;
};

// The rows a load kept as row numbers, made into objects of the main context only when someone
// reads them: a result of 100,000 rows holds no object for the rows a screen never shows, and a
// registered object is found by row, with no identifier made for it. Read on the main thread, as
// the main context is; holds the context, so that a held result still reads after the model's
// cache let go of it (its rows then read as items without fields).
class CachedRows : public ZQEntityDataSections::Source {
  public:
    CachedRows(std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows> rows,
               std::shared_ptr<platform::ManagedObjectContext> context)
        : rows_(withoutEmptyRows(std::move(rows))), context_(std::move(context)) {}

    size_t sectionCount() const override { return rows_->sections.size(); }
    size_t sectionSize(size_t section) const override { return rows_->sections[section].size(); }
    std::shared_ptr<ZQEntityData> item(size_t section, size_t index) const override {
        auto object =
            context_->objectWithRowID(rows_->entity, rows_->store, rows_->sections[section][index]);
        if (auto item = asEntityData_(std::move(object))) return item;
        // The row's store is gone (the cache was cleared): an item without fields, never a hole
        // for the screen to trip on.
        return std::make_shared<ZQDictionaryEntityData>(platform::Dictionary());
    }

  private:
    // Rows without entity data (row number 0) are dropped rather than handed out as holes.
    static std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows> withoutEmptyRows(
        std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows> rows) {
        const auto& cut = rows->sections;
        if (std::find(cut.rows.begin(), cut.rows.end(), 0) == cut.rows.end()) return rows;
        auto kept = std::make_shared<ZQEntityDataCacheLoadOperation::LoadedRows>();
        kept->entity = rows->entity;
        kept->store = rows->store;
        for (size_t i = 0; i < cut.size(); ++i) {
            for (int64_t row : cut[i])
                if (row != 0) kept->sections.rows.push_back(row);
            kept->sections.ends.push_back(kept->sections.rows.size());
        }
        return kept;
    }

    const std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows> rows_;
    const std::shared_ptr<platform::ManagedObjectContext> context_;
    mutable EntityDataCast asEntityData_;
};

std::optional<std::vector<std::string>> titlesFromValue(const Value& value) {
    const platform::Array* titles = value.array();
    if (!titles) return std::nullopt;
    std::vector<std::string> out;
    out.reserve(titles->size());
    for (const Value& title : *titles) {
        if (std::optional<std::string_view> text = title.string()) out.emplace_back(*text);
    }
    return out;
}

std::optional<ZQAlphaIndexRangesByTitle> rangesFromValue(const Value& value) {
    const platform::Dictionary* ranges = value.dictionary();
    if (!ranges) return std::nullopt;
    ZQAlphaIndexRangesByTitle out;
    for (const auto& [title, range] : *ranges) {
        auto location = range[ZQEntityDataCacheSectionsBuilder::kRangeLocationKey].integer();
        auto length = range[ZQEntityDataCacheSectionsBuilder::kRangeLengthKey].integer();
        out[title] = ZQRange{static_cast<uint64_t>(location.value_or(0)),
                             static_cast<uint64_t>(length.value_or(0))};
    }
    return out;
}

std::shared_ptr<ZQRemoteEntityDataQueryResult> rowsResult(
    const ZQEntityDataCacheLoadOperation& operation, ZQQueryManagedObject& record,
    const std::shared_ptr<platform::ManagedObjectContext>& context,
    ZQEntityDataQueryResultSourceType source) {
    RecordDates dates = datesOfRecord(record);
    bool complete = false;
    if (auto* collectionRecord = dynamic_cast<ZQQueryCollectionManagedObject*>(&record)) {
        complete = collectionRecord->complete().value_or(false);
    }
    const auto loadedRows = operation.loadedRows();
    return ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
        loadedRows ? ZQEntityDataSections(std::make_shared<CachedRows>(loadedRows, context))
                   : sectionsOfObjects(operation.loadedEntities(), *context),
        dates.timeStamp, operation.count(), complete,
        titlesFromValue(operation.loadedAlphaIndexTitles()),
        rangesFromValue(operation.loadedSectionsRangeByAlphaIndexTitles()), dates.dataTimeStamp,
        dates.lastModified, source);
}

std::shared_ptr<ZQRemoteEntityDataQueryResult> singleItemResult(
    ZQQueryManagedObject& record, ZQEntityDataQueryResultSourceType source) {
    RecordDates dates = datesOfRecord(record);
    std::shared_ptr<ZQEntityData> item;
    if (auto* singleRecord = dynamic_cast<ZQQuerySingleItemManagedObject*>(&record)) {
        item = std::dynamic_pointer_cast<ZQEntityData>(singleRecord->entityData());
    }
    return ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithResultData(
        std::move(item), dates.timeStamp, dates.dataTimeStamp, dates.lastModified, source);
}

}  // namespace

ZQEntityDataQueryResultSourceType ZQRemoteEntityDataManagerDelivery::sourceForContext(
    const ZQEntityDataManagerLoaderContext& context) {
    return dynamic_cast<const ZQEntityDataManagerRemoteLoaderContext*>(&context) != nullptr
               ? ZQRemoteEntityDataQueryResultSource::Remote
               : ZQRemoteEntityDataQueryResultSource::Cache;
}

std::shared_ptr<ZQRemoteEntityDataQueryResult> ZQRemoteEntityDataManagerDelivery::resultFromContext(
    const ZQEntityDataManagerCacheLoaderContext& context) {
    const ZQEntityDataQueryResultSourceType source = sourceForContext(context);
    const bool collection = context.isCollection();
    std::shared_ptr<ZQEntityDataCacheLoadOperation> operation = context.cacheLoadOperation();
    if (!operation) return errorResult(defaultZQError(), collection, source);
    const bool rows = operation->resultType() == ZQEntityDataCacheLoadResultType::rows;
    platform::ManagedObjectIDPtr recordID = operation->queryObjectId();
    if (!recordID) {
        if (rows) return remoteNoDataResultWithSource(source, collection);
        return errorResult(defaultZQError(), collection, source);
    }
    std::shared_ptr<platform::ManagedObjectContext> mainContext =
        ZQModel_ZQCoreDataCache::managedObjectContext(ZQModel::currentModel());
    if (!mainContext) return errorResult(defaultZQError(), collection, source);
    auto fetched = mainContext->existingObjectWithID(recordID);
    auto record = std::dynamic_pointer_cast<ZQQueryManagedObject>(fetched.object);
    if (fetched.error || !record) return errorResult(defaultZQError(), collection, source);
    if (!collection) return singleItemResult(*record, source);
    if (rows) return rowsResult(*operation, *record, mainContext, source);
    RecordDates dates = datesOfRecord(*record);
    return ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultUpToDateWithTimeStamp(
        dates.timeStamp, dates.dataTimeStamp, dates.lastModified, source);
}

std::shared_ptr<ZQRemoteEntityDataQueryResult>
ZQRemoteEntityDataManagerDelivery::remoteNoDataResultWithSource(
    ZQEntityDataQueryResultSourceType source, bool collection) {
    return ZQRemoteEntityDataQueryStandardResults::remoteNoDataResultWithSource(source, collection);
}

std::shared_ptr<ZQRemoteEntityDataQueryResult> ZQRemoteEntityDataManagerDelivery::errorResult(
    platform::ErrorPtr error, bool collection, ZQEntityDataQueryResultSourceType source) {
    if (collection) {
        return ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithError(
            std::move(error), source);
    }
    return ZQRemoteEntityDataQuerySingleItemResult::entityDataQueryResultWithError(std::move(error),
                                                                                   source);
}

void ZQRemoteEntityDataManagerDelivery::notifyResultWithNoData(
    const std::shared_ptr<ZQEntityDataManager>& manager,
    const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    if (!queryInfo || !delegate) return;
    const ZQEntityDataQueryResultSourceType source =
        queryInfo->type() == ZQRemoteEntityDataQueryType::Local
            ? ZQRemoteEntityDataQueryResultSource::Cache
            : ZQRemoteEntityDataQueryResultSource::Remote;
    auto dataSource = queryInfo->dataSource();
    const bool collection = dataSource && dataSource->entityDataSourceIsCollection();
    delegate->entityDataManagerDidFinishLoadingQuery(
        manager, queryInfo, remoteNoDataResultWithSource(source, collection));
}

void ZQRemoteEntityDataManagerDelivery::notifyResult(
    const std::shared_ptr<ZQEntityDataQueryResult>& result,
    const std::shared_ptr<ZQEntityDataManager>& manager, const Pairs& pairs) {
    for (const auto& [queryInfo, weakDelegate] : pairs) {
        if (auto delegate = weakDelegate.lock()) {
            delegate->entityDataManagerDidFinishLoadingQuery(manager, queryInfo, result);
        }
    }
}
