#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQTryBlock.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "platform/objectstore/Expression.hpp"
#include "platform/objectstore/ExpressionDescription.hpp"

namespace {

using AttributePtr = std::shared_ptr<const platform::AttributeDescription>;
using ResultType = platform::FetchRequest::ResultType;

// What one run of the body found. A stopped run was cancelled and tells nobody.
struct LoadOutcome {
    enum class Kind { Success, Failure, Stopped };
    Kind kind = Kind::Success;
    platform::ErrorPtr error;
    platform::ManagedObjectIDPtr queryObjectId;
    platform::Value loadedEntities;
    std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows> rows;
    uint64_t count = 0;
    platform::Value titles;
    platform::Value ranges;

    static LoadOutcome stopped() {
        LoadOutcome outcome;
        outcome.kind = Kind::Stopped;
        return outcome;
    }
    static LoadOutcome failure(platform::ErrorPtr error) {
        LoadOutcome outcome;
        outcome.kind = Kind::Failure;
        outcome.error = std::move(error);
        return outcome;
    }
};

struct AttributeChoice {
    std::vector<AttributePtr> grouping;
    AttributePtr index;
    platform::ErrorPtr error;
};

platform::ManagedObjectIDPtr identifierFromValue(const platform::Value& value) {
    return std::dynamic_pointer_cast<const platform::ManagedObjectID>(value.objectID());
}

bool isCollectionSource(const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source) {
    return source && source->entityDataSourceIsCollection();
}

std::string replacingPlaceholder(const char* message, const std::string& fieldName) {
    std::string text(message);
    if (auto at = text.find("%@"); at != std::string::npos) text.replace(at, 2, fieldName);
    return text;
}

// The data entity's attribute of a field: found by its cache attribute name; none for an empty
// field name or an entity that lacks it.
AttributePtr attributeOfField(const std::shared_ptr<const platform::EntityDescription>& entity,
                              const std::string& fieldName) {
    if (!entity || fieldName.empty()) return nullptr;
    return entity->attributeNamed(
        ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(fieldName));
}

// Appends the attributes of the first `count` fields, in order; the first field without one
// gives the host's error with the message naming that field.
platform::ErrorPtr appendAttributesOfFields(
    const std::shared_ptr<const platform::EntityDescription>& entity,
    const ZQEntityDataFieldDescriptors& fields, size_t count, const char* message,
    std::vector<AttributePtr>& attributes) {
    for (size_t i = 0; i < count && i < fields.size(); ++i) {
        const std::string& name = fields[i]->entityDataFieldName();
        auto attribute = attributeOfField(entity, name);
        if (!attribute) {
            return defaultZQErrorWithDeveloperDescription(replacingPlaceholder(message, name));
        }
        attributes.push_back(std::move(attribute));
    }
    return nullptr;
}

// Which cached attributes cut the rows into sections and which one feeds the alphabetic index.
// The order's group-by wins over the data source's break-by; the index needs a string attribute
// (a numeric one silently gives no index, since the order may legitimately be on a number).
AttributeChoice chooseGroupingAndIndexAttributes(
    const std::shared_ptr<const ZQEntityListOrderDescriptor>& order,
    const std::shared_ptr<const ZQEntityListBreakByDescriptor>& breakBy, bool breakByEnabled,
    bool alphaIndexEnabled, const std::shared_ptr<const platform::EntityDescription>& entity) {
    AttributeChoice choice;
    const bool group = order && breakByEnabled && order->entityListOrderGroupBy();
    const bool index = order && alphaIndexEnabled && order->entityListOrderAlphaIndexerEnabled();
    if ((group || index) && !order->entityListOrderFields().empty()) {
        const auto& fields = order->entityListOrderFields();
        const uint64_t upTo = order->entityListOrderGroupByUpToFieldIndex();
        if (group && upTo != ZQNotFound && upTo < fields.size()) {
            choice.error = appendAttributesOfFields(
                entity, fields, upTo + 1, "Order Field To Break By Not Found: %@", choice.grouping);
            if (choice.error) return choice;
        }
        if (index) {
            std::vector<AttributePtr> first;
            choice.error = appendAttributesOfFields(entity, fields, 1,
                                                    "Order Field To Index By Not Found: %@", first);
            if (choice.error) return choice;
            if (first.front()->attributeType() == platform::AttributeType::String) {
                choice.index = std::move(first.front());
            }
        }
    }
    if (choice.grouping.empty() && breakBy) {
        const auto& fields = breakBy->entityListBreakByFields();
        choice.error = appendAttributesOfFields(entity, fields, fields.size(),
                                                "Break By Field Not Found: %@", choice.grouping);
    }
    return choice;
}

// Per row: the entity data's identifier as "objectID", then each grouping attribute and the index
// attribute (once), read through the row's entity data under the attribute's own name and type.
std::vector<platform::ExpressionDescription> rowPropertiesToFetch(const AttributeChoice& choice) {
    std::vector<platform::ExpressionDescription> properties;
    properties.emplace_back("objectID", platform::Expression::expressionForKeyPath("entityData"),
                            platform::AttributeType::ObjectID);
    auto fetchAttribute = [&properties](const AttributePtr& attribute) {
        properties.emplace_back(
            attribute->name(),
            platform::Expression::expressionForKeyPath("entityData." + attribute->name()),
            attribute->attributeType());
    };
    for (const auto& attribute : choice.grouping) fetchAttribute(attribute);
    const bool indexIsGrouping =
        std::any_of(choice.grouping.begin(), choice.grouping.end(),
                    [&choice](const AttributePtr& attribute) { return attribute == choice.index; });
    if (choice.index && !indexIsGrouping) fetchAttribute(choice.index);
    return properties;
}

// The last value of one grouping output while rows stream by. A string (the usual grouping) is
// compared where SQLite holds it and copied only when it changes, so that a run of equal rows
// allocates nothing; other types compare as values, as the grouping comparator compares them.
class GroupingColumn {
  public:
    explicit GroupingColumn(bool isString) : isString_(isString) {}
    // Takes the row's value of `output`; true when it differs from the row before's.
    bool take(const platform::FetchedRow& row, size_t output) {
        if (!isString_) {
            platform::Value value = row.value(output);
            if (value == value_) return false;
            value_ = std::move(value);
            return true;
        }
        // text() is none exactly where value() is absent (NULL), else the same characters.
        std::optional<std::string_view> text = row.text(output);
        if (text.has_value() == text_.has_value() && (!text || *text == *text_)) return false;
        if (text) {
            text_.emplace(*text);
        } else {
            text_.reset();
        }
        return true;
    }

  private:
    bool isString_;
    platform::Value value_;
    std::optional<std::string> text_;
};

// One run of the body, on the operation's thread with its own working context.
class LoadRun {
  public:
    explicit LoadRun(const ZQEntityDataCacheLoadOperation& operation)
        : op_(operation),
          collection_(isCollectionSource(operation.dataSource())),
          context_(operation.newWorkingContext()) {}

    LoadOutcome run() {
        const bool recordOfCollection =
            op_.resultType() == ZQEntityDataCacheLoadResultType::record && collection_;
        auto fetched = context_->executeFetchRequest(op_.queryFetchRequest(
            context_, recordOfCollection ? ResultType::Dictionary : ResultType::ManagedObjectID));
        if (op_.isCancelled()) return LoadOutcome::stopped();
        if (fetched.error) return LoadOutcome::failure(fetched.error);
        if (fetched.results.empty()) return LoadOutcome{};
        const platform::Value& record = fetched.results.back();
        if (recordOfCollection) return collectionRecord(record);
        if (!collection_) return singleItem(identifierFromValue(record));
        return collectionRows(identifierFromValue(record));
    }

  private:
    LoadOutcome collectionRecord(const platform::Value& record) {
        LoadOutcome outcome;
        outcome.queryObjectId = identifierFromValue(record["objectID"]);
        platform::Value count = record["count"];
        if (!count.isAbsent()) {
            outcome.count =
                static_cast<uint64_t>(std::max<int64_t>(0, count.integer().value_or(0)));
            return outcome;
        }
        if (!outcome.queryObjectId) return outcome;
        // A store that cannot count through the relationship in the record fetch: count the
        // rows of the record directly.
        platform::FetchRequest rows =
            op_.queryRowsFetchRequest(outcome.queryObjectId, context_, nullptr, ResultType::Count);
        auto counted = context_->countForFetchRequest(rows);
        if (op_.isCancelled()) return LoadOutcome::stopped();
        if (counted.error) return LoadOutcome::failure(counted.error);
        outcome.count = static_cast<uint64_t>(std::max<int64_t>(0, counted.count));
        return outcome;
    }

    // A single item is cached as its record linked to the entity data. A record that lost its
    // entity data (or never had one) holds no data: it reads like a query never cached, so that
    // the manager asks the server again instead of serving nothing as fresh.
    LoadOutcome singleItem(const platform::ManagedObjectIDPtr& recordID) {
        platform::ManagedObjectIDPtr entityID;
        if (auto record = recordID ? context_->objectWithID(recordID) : nullptr) {
            if (auto entity = std::dynamic_pointer_cast<platform::ManagedObject>(
                    record->valueForKey("entityData").object())) {
                entityID = entity->objectID();
            }
        }
        if (op_.isCancelled()) return LoadOutcome::stopped();
        LoadOutcome outcome;
        if (!entityID) return outcome;
        outcome.queryObjectId = recordID;
        outcome.count = 1;
        if (op_.resultType() == ZQEntityDataCacheLoadResultType::rows) {
            outcome.loadedEntities =
                platform::Value(platform::Array{platform::Value::objectID(entityID)});
        }
        return outcome;
    }

    LoadOutcome collectionRows(const platform::ManagedObjectIDPtr& recordID) {
        std::shared_ptr<const platform::EntityDescription> entity;
        if (op_.order() || op_.breakBy()) {
            if (op_.psc() && op_.psc()->managedObjectModel()) {
                entity = op_.psc()->managedObjectModel()->entityNamed(op_.cacheEntityName());
            }
        }
        AttributeChoice choice = chooseGroupingAndIndexAttributes(
            op_.order(), op_.breakBy(), op_.breakByEnabled(), op_.alphaIndexEnabled(), entity);
        if (choice.error) return LoadOutcome::failure(choice.error);

        platform::FetchRequest request =
            op_.queryRowsFetchRequest(recordID, context_, nullptr, ResultType::Dictionary);
        request.setSortDescriptors({platform::SortDescriptor{"rowId", true}});
        request.setPropertiesToFetch(rowPropertiesToFetch(choice));
        if (auto streamed = streamedRows(recordID, request, choice)) return std::move(*streamed);
        auto fetched = context_->executeFetchRequest(request);
        if (op_.isCancelled()) return LoadOutcome::stopped();
        if (fetched.error) return LoadOutcome::failure(fetched.error);

        LoadOutcome outcome;
        outcome.queryObjectId = recordID;
        outcome.count = fetched.results.size();
        platform::Value rows(std::move(fetched.results));
        ZQEntityDataCacheSections sections =
            ZQEntityDataCacheSectionsBuilder::sectionsFromRows(rows, choice.grouping, choice.index);
        if (op_.isCancelled()) return LoadOutcome::stopped();
        outcome.loadedEntities = std::move(sections.sections);
        outcome.titles = std::move(sections.titles);
        outcome.ranges = std::move(sections.ranges);
        return outcome;
    }

    // Each row is looked at once, as it is read: its entity data's row number (output 0), its
    // grouping values (outputs 1...) compared with the row before's as the grouping comparator
    // compares them, and the index attribute's text go straight into the sections. None when the
    // rows come from more than one store, which row numbers cannot tell apart.
    std::optional<LoadOutcome> streamedRows(const platform::ManagedObjectIDPtr& recordID,
                                            const platform::FetchRequest& request,
                                            const AttributeChoice& choice) {
        const size_t grouping = choice.grouping.size();
        const bool indexed = choice.index != nullptr;
        // The index's output: its grouping output when it is one, else the one after them.
        size_t indexOutput = 1 + grouping;
        for (size_t i = 0; i < grouping; ++i) {
            if (choice.grouping[i] == choice.index) {
                indexOutput = 1 + i;
                break;
            }
        }
        std::vector<GroupingColumn> columns;
        columns.reserve(grouping);
        for (const auto& attribute : choice.grouping) {
            columns.emplace_back(attribute->attributeType() == platform::AttributeType::String);
        }
        ZQEntityDataCacheSectionsBuilder builder(grouping > 0, indexed);
        auto rows = std::make_shared<ZQEntityDataCacheLoadOperation::LoadedRows>();
        uint64_t count = 0;
        bool oneStore = true;
        auto error = context_->enumerateFetchRequest(request, [&](const platform::FetchedRow& row) {
            if (count == 0) {
                rows->store = row.store();
                rows->entity = row.identifierEntity(0);
            } else if (row.store() != rows->store) {
                oneStore = false;
                return false;
            }
            bool changed = false;
            // Every column takes its value, also after one has differed.
            for (size_t i = 0; i < grouping; ++i) {
                if (columns[i].take(row, 1 + i)) changed = true;
            }
            const bool startsSection = count > 0 && changed;
            builder.addRow(row.rowNumber(0), indexed ? row.text(indexOutput) : std::nullopt,
                           startsSection);
            ++count;
            return true;
        });
        if (op_.isCancelled()) return LoadOutcome::stopped();
        if (error) return LoadOutcome::failure(error);
        if (!oneStore) return std::nullopt;
        ZQEntityDataCacheSections sections = builder.finish();
        rows->sections = std::move(sections.rowSections);
        LoadOutcome outcome;
        outcome.queryObjectId = recordID;
        outcome.count = count;
        outcome.rows = std::move(rows);
        outcome.titles = std::move(sections.titles);
        outcome.ranges = std::move(sections.ranges);
        return outcome;
    }

    const ZQEntityDataCacheLoadOperation& op_;
    const bool collection_;
    const std::shared_ptr<platform::ManagedObjectContext> context_;
};

}  // namespace

std::shared_ptr<ZQEntityDataCacheLoadOperation> ZQEntityDataCacheLoadOperation::create(
    platform::URL queryBaseURL, std::optional<std::string> queryParameters,
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator,
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource,
    ZQEntityDataCacheLoadResultType resutlType, uint64_t orderIndex, bool breakByEnabled,
    bool alphaIndexEnabled) {
    return std::make_shared<ZQEntityDataCacheLoadOperation>(
        std::move(queryBaseURL), std::move(queryParameters), std::move(persistentStoreCoordinator),
        std::move(dataSource), resutlType, orderIndex, breakByEnabled, alphaIndexEnabled);
}

ZQEntityDataCacheLoadOperation::ZQEntityDataCacheLoadOperation(
    platform::URL queryBaseURL, std::optional<std::string> queryParameters,
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator,
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource,
    ZQEntityDataCacheLoadResultType resutlType, uint64_t orderIndex, bool breakByEnabled,
    bool alphaIndexEnabled)
    : ZQEntityDataCacheBaseOperation(std::move(queryBaseURL), std::move(queryParameters),
                                     std::move(persistentStoreCoordinator), std::move(dataSource)),
      resultType_(resutlType),
      breakByEnabled_(breakByEnabled),
      alphaIndexEnabled_(alphaIndexEnabled) {
    if (!isCollectionSource(this->dataSource())) return;
    auto collection =
        std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(this->dataSource());
    if (!collection) return;
    const auto& orders = collection->entityDataSourceOrders();
    // The manager passes the query's order index; one past the orders is treated as "no order"
    // rather than read out of bounds.
    if (orderIndex != ZQNotFound && orderIndex < orders.size()) order_ = orders[orderIndex];
    if (breakByEnabled_) breakBy_ = collection->entityDataSourceBreakBy();
}

platform::ManagedObjectIDPtr ZQEntityDataCacheLoadOperation::queryObjectId() const {
    platform::MutexLock lock(mutex_);
    return queryObjectId_;
}

platform::Value ZQEntityDataCacheLoadOperation::loadedEntities() const {
    platform::MutexLock lock(mutex_);
    if (loadedEntities_.isAbsent() && loadedRows_) {
        const LoadedRows& rows = *loadedRows_;
        platform::Array sections;
        sections.reserve(rows.sections.size());
        for (size_t i = 0; i < rows.sections.size(); ++i) {
            const std::span<const int64_t> rowNumbers = rows.sections[i];
            platform::Array section;
            section.reserve(rowNumbers.size());
            for (int64_t row : rowNumbers) {
                section.push_back(
                    row == 0 ? platform::Value()
                             : platform::Value::objectID(platform::ManagedObjectID::permanent(
                                   rows.entity, rows.store, row)));
            }
            sections.emplace_back(std::move(section));
        }
        loadedEntities_ = platform::Value(std::move(sections));
    }
    return loadedEntities_;
}

std::shared_ptr<const ZQEntityDataCacheLoadOperation::LoadedRows>
ZQEntityDataCacheLoadOperation::loadedRows() const {
    platform::MutexLock lock(mutex_);
    return loadedRows_;
}

uint64_t ZQEntityDataCacheLoadOperation::count() const {
    platform::MutexLock lock(mutex_);
    return count_;
}

platform::Value ZQEntityDataCacheLoadOperation::loadedAlphaIndexTitles() const {
    platform::MutexLock lock(mutex_);
    return loadedAlphaIndexTitles_;
}

platform::Value ZQEntityDataCacheLoadOperation::loadedSectionsRangeByAlphaIndexTitles() const {
    platform::MutexLock lock(mutex_);
    return loadedSectionsRangeByAlphaIndexTitles_;
}

std::shared_ptr<ZQEntityDataCacheLoadOperationDelegate> ZQEntityDataCacheLoadOperation::delegate()
    const {
    platform::MutexLock lock(mutex_);
    return delegate_.lock();
}

void ZQEntityDataCacheLoadOperation::setDelegate(
    const std::shared_ptr<ZQEntityDataCacheLoadOperationDelegate>& delegate) {
    platform::MutexLock lock(mutex_);
    delegate_ = delegate;
}

platform::FetchRequest ZQEntityDataCacheLoadOperation::queryFetchRequest(
    const std::shared_ptr<platform::ManagedObjectContext>& context,
    platform::FetchRequest::ResultType resultType) const {
    platform::FetchRequest request =
        ZQEntityDataCacheBaseOperation::queryFetchRequest(context, resultType);
    if (resultType == ResultType::Dictionary &&
        resultType_ == ZQEntityDataCacheLoadResultType::record &&
        isCollectionSource(dataSource())) {
        request.setPropertiesToFetch(
            {platform::ExpressionDescription("objectID",
                                             platform::Expression::expressionForEvaluatedObject(),
                                             platform::AttributeType::ObjectID),
             platform::ExpressionDescription(
                 "count",
                 platform::Expression::expressionForFunction(
                     "count:", {platform::Expression::expressionForKeyPath("queryEntities")}),
                 platform::AttributeType::Integer64)});
    }
    return request;
}

void ZQEntityDataCacheLoadOperation::main() {
    if (isCancelled()) return;
    if (platform::ErrorPtr storeError = prepareStore()) {
        if (!isCancelled()) onFinishWithError(std::move(storeError));
        return;
    }
    LoadOutcome outcome;
    bool caught = false;
    zqTryBlock([this, &outcome] { outcome = LoadRun(*this).run(); },
               [&caught](const ZQException& exception) {
                   caught = true;
                   ZQUtilities::tryRecoverFatalError(
                       "Unexpected exception at ZQEntityDataCacheLoadOperation:\n" +
                       exception.description());
               });
    if (caught) {
        onFinishWithDefaultError();
        return;
    }
    switch (outcome.kind) {
        case LoadOutcome::Kind::Stopped:
            return;
        case LoadOutcome::Kind::Failure:
            if (!isCancelled()) onFinishWithDefaultErrorIfNil(outcome.error);
            return;
        case LoadOutcome::Kind::Success:
            break;
    }
    {
        platform::MutexLock lock(mutex_);
        queryObjectId_ = std::move(outcome.queryObjectId);
        loadedEntities_ = std::move(outcome.loadedEntities);
        loadedRows_ = std::move(outcome.rows);
        count_ = outcome.count;
        loadedAlphaIndexTitles_ = std::move(outcome.titles);
        loadedSectionsRangeByAlphaIndexTitles_ = std::move(outcome.ranges);
    }
    onFinishWithSuccess();
}

void ZQEntityDataCacheLoadOperation::onFinishWithError(platform::ErrorPtr error) {
    if (error) {
        // A failed read leaves nothing half-set for the manager to pick up.
        platform::MutexLock lock(mutex_);
        queryObjectId_ = nullptr;
        loadedEntities_ = platform::Value();
        loadedRows_ = nullptr;
        count_ = 0;
        loadedAlphaIndexTitles_ = platform::Value();
        loadedSectionsRangeByAlphaIndexTitles_ = platform::Value();
    }
    if (!isCancelled()) {
        if (auto target = delegate()) {
            auto self =
                std::static_pointer_cast<ZQEntityDataCacheLoadOperation>(shared_from_this());
            if (error) {
                target->entityDataCacheLoadOperationDidFailLoadingWithError(self, error);
            } else {
                target->entityDataCacheLoadOperationDidFinishLoading(self);
            }
        }
    }
    ZQEntityDataManagerInternalBaseOperation::onFinishWithError(std::move(error));
}
