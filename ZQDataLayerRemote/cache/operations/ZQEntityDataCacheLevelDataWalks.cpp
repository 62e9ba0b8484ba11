#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLevelDataWalks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

using Level = ZQEntityDataCacheSaveOperationContextLevel;
using EntityData = ZQEntityDataCacheSaveOperationContextLevelEntityData;

namespace {

constexpr std::string_view kSublevelPrefix = "_Sublevel";

// Identifiers per IN comparison when reading cached objects ahead: well below SQLite's limit of
// bound parameters per statement.
constexpr size_t kPrefetchChunk = 500;

// Below this many lines a parent's children are checked for repeats by a search in place.
constexpr size_t kSearchedInPlace = 16;

}  // namespace

platform::Value ZQEntityDataCacheLevelDataWalks::itemsFromObject(const platform::Value& value) {
    platform::Value items = ZQUtilities::arrayFromObject(value);
    if (!items.isAbsent() || value.isNothing()) return items;
    // The host only passes arrays through; a single item (a detail's object, a sublevel given as
    // one object) is one item.
    return platform::Value(platform::Array{value});
}

std::string ZQEntityDataCacheLevelDataWalks::sublevelEntityName(const std::string& parentEntityName,
                                                                const std::string& levelName) {
    std::string name = parentEntityName + "_" + levelName;
    if (name.compare(0, kSublevelPrefix.size(), kSublevelPrefix) != 0) {
        name.insert(0, kSublevelPrefix);
    }
    return name;
}

void ZQEntityDataCacheLevelDataWalks::fail(platform::ErrorPtr error) {
    if (!error_) error_ = std::move(error);
}

ZQEntityDataCacheLevelDataWalks::LevelPlan& ZQEntityDataCacheLevelDataWalks::planFor(
    const ZQEntityDataSourceLevelDescriptor& dataSource) {
    auto [it, inserted] = plans_.try_emplace(&dataSource);
    LevelPlan& plan = it->second;
    if (!inserted) return plan;
    auto descriptor = dataSource.entityDataSourceDataDescriptor();
    if (!descriptor) return plan;
    for (const auto& field : descriptor->entityDataFieldDescriptors()) {
        FieldPlan fieldPlan;
        fieldPlan.descriptor = field;
        fieldPlan.attributeName =
            ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(field->entityDataFieldName());
        if (field->entityDataFieldType() == ZQEntityDataFieldTypeSublevel) {
            fieldPlan.isSublevel = true;
            for (const auto& sublevel : dataSource.entityDataSourceSublevels()) {
                if (sublevel->entityDataSourceLevelName() == field->entityDataFieldName()) {
                    fieldPlan.sublevel = sublevel;
                    break;
                }
            }
        }
        if (!fieldPlan.isSublevel)
            plan.valuesTemplate.set(fieldPlan.attributeName, platform::Value::null());
        plan.fields.push_back(std::move(fieldPlan));
    }
    return plan;
}

// ---- building

void ZQEntityDataCacheLevelDataWalks::build(const LevelPtr& level, const platform::Value& items) {
    const platform::Array* array = items.array();
    if (!array || array->empty()) {
        level->setEntities(Level::EntityDataList{});
        return;
    }
    LevelPlan& plan = planFor(*level->dataSource());
    Level::EntityDataList entities;
    entities.reserve(array->size());
    level->setEntities(std::move(entities));
    for (const platform::Value& item : *array) {
        if (!isRunning()) return;
        buildItem(level, plan, item);
    }
}

void ZQEntityDataCacheLevelDataWalks::buildItem(const LevelPtr& level, LevelPlan& plan,
                                                const platform::Value& item) {
    const platform::Dictionary* fields = item.dictionary();
    if (!fields) {
        fail(defaultZQError());
        return;
    }
    auto entity = EntityData::create(level);
    // Two fields with one attribute name (&Amount and Amount): the later one wins, as it would
    // when set one by one.
    platform::Dictionary values = plan.valuesTemplate;
    for (FieldPlan& field : plan.fields) {
        const std::string& name = field.descriptor->entityDataFieldName();
        const platform::Value* value = fields->find(name);
        if (!value) {
            fail(defaultZQErrorWithDeveloperDescription(
                "Could not find value for field name '" + name + "' in level '" +
                level->entityDataEntityName() + "' while saving data to the cache."));
            return;
        }
        if (!field.isSublevel) {
            platform::Value stored = ZQEntityHelper::coreDataFieldValue(field.descriptor, *value);
            values.set(field.attributeName,
                       stored.isAbsent() ? platform::Value::null() : std::move(stored));
            continue;
        }
        if (!field.sublevel) {
            fail(defaultZQError());
            return;
        }
        if (!field.sublevelEntityName || field.parentEntityName != level->entityDataEntityName()) {
            field.parentEntityName = level->entityDataEntityName();
            field.sublevelEntityName = std::make_shared<const std::string>(
                sublevelEntityName(level->entityDataEntityName(), name));
        }
        auto sublevel = Level::create(field.sublevel, field.sublevelEntityName);
        build(sublevel, itemsFromObject(*value));
        if (!isRunning()) return;
        entity->addEntitySublevel(std::move(sublevel));
    }
    entity->setEntityCoreDataValues(std::move(values));
    level->addEntity(std::move(entity));
}

// ---- resolving

void ZQEntityDataCacheLevelDataWalks::planKey(LevelPlan& plan,
                                              const ZQEntityDataSourceLevelDescriptor& dataSource) {
    plan.keyPlanned = true;
    auto key = dataSource.entityDataSourceStorageKeyDescriptor();
    if (!key || key->entityDataKeyFieldsDescriptors().empty()) return;
    std::vector<platform::PredicatePtr> comparisons;
    for (const auto& field : key->entityDataKeyFieldsDescriptors()) {
        std::string name =
            ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(field->entityDataFieldName());
        comparisons.push_back(platform::Predicate::equalToVariable(name, name));
        plan.keyAttributeNames.push_back(std::move(name));
    }
    plan.keyTemplate = comparisons.size() == 1
                           ? comparisons.front()
                           : platform::Predicate::andPredicateWithSubpredicates(comparisons);
}

namespace {

// Numbers the store compares by value (1, 1.0 and true) give one text.
void appendKeyValue(std::string& text, const platform::Value& value) {
    char buffer[40];
    switch (value.kind()) {
        case platform::Value::Kind::Absent:
        case platform::Value::Kind::Null:
            text += 'N';
            return;
        case platform::Value::Kind::String:
            text += 's';
            text += *value.string();
            return;
        case platform::Value::Kind::Date:
            std::snprintf(buffer, sizeof buffer, "d%.17g", value.date()->timeIntervalSince1970());
            text += buffer;
            return;
        default:
            break;
    }
    if (auto integer = value.integer(); integer && value.kind() != platform::Value::Kind::Double) {
        text += 'n' + std::to_string(*integer);
    } else if (auto number = value.number(); number && !value.decimal()) {
        double whole = 0;
        if (std::modf(*number, &whole) == 0.0 && std::fabs(whole) < 9e15) {
            text += 'n' + std::to_string(static_cast<int64_t>(whole));
        } else {
            std::snprintf(buffer, sizeof buffer, "n%.17g", *number);
            text += buffer;
        }
    } else {
        text += 'v' + value.description();
    }
}

}  // namespace

std::string ZQEntityDataCacheLevelDataWalks::keyText(const LevelPlan& plan,
                                                     const platform::Dictionary& values,
                                                     bool missingIsNull) {
    std::string text;
    for (const std::string& name : plan.keyAttributeNames) {
        const platform::Value* value = values.find(name);
        if (!value && !missingIsNull) return {};
        appendKeyValue(text, value ? *value : platform::Value::null());
        text += '\x1f';
    }
    return text;
}

ZQEntityDataCacheLevelDataWalks::KeyIndex* ZQEntityDataCacheLevelDataWalks::keyIndexFor(
    const platform::EntityDescription& entity, const LevelPlan& plan,
    platform::ManagedObjectContext& moc) {
    auto [it, inserted] = keyIndexes_.try_emplace(entity.name());
    KeyIndex& index = it->second;
    if (!inserted) return &index;
    for (const auto& fetchIndex : entity.indexes()) {
        if (!fetchIndex.elements().empty() &&
            fetchIndex.elements().front().propertyName == plan.keyAttributeNames.front()) {
            index.perItem = true;
            return &index;
        }
    }
    if (const auto& coordinator = moc.persistentStoreCoordinator()) {
        index.store = coordinator->storeForEntity(entity);
    }
    index.entity = &entity;
    platform::FetchRequest request(entity.name());
    request.setResultType(platform::FetchRequest::ResultType::Dictionary);
    std::vector<platform::ExpressionDescription> properties{platform::ExpressionDescription(
        "objectID", platform::Expression::expressionForEvaluatedObject(),
        platform::AttributeType::ObjectID)};
    for (const auto& name : plan.keyAttributeNames) properties.emplace_back(name);
    request.setPropertiesToFetch(std::move(properties));
    // Row by row: no dictionary per cached object.
    const size_t keyCount = plan.keyAttributeNames.size();
    platform::ErrorPtr error =
        moc.enumerateFetchRequest(request, [&](const platform::FetchedRow& row) {
            std::string key;
            for (size_t i = 1; i <= keyCount; ++i) {
                // A key value the row does not have reads as null, as in keyText.
                appendKeyValue(key, row.value(i));
                key += '\x1f';
            }
            // Two cached objects with one key (written before repeated keys were merged): the last
            // one read stands for the key, as a look-up of the key would find.
            if (auto id = platform::objectIDFromValue(row.value(0))) {
                index.rows.set(std::move(key), id->number());
            }
            return true;
        });
    if (error) {
        if (!isCancelled_()) fail(error);
        keyIndexes_.erase(it);
        return nullptr;
    }
    return &index;
}

bool ZQEntityDataCacheLevelDataWalks::findCached(KeyIndex& index, const LevelPlan& plan,
                                                 platform::FetchRequest& request,
                                                 const platform::Dictionary& values,
                                                 const std::string& key,
                                                 platform::ManagedObjectContext& moc,
                                                 platform::ManagedObjectIDPtr& found) {
    if (!index.perItem) {
        const int64_t* row = index.rows.find(key);
        found = row && index.store ? index.store->objectIDFor(*index.entity, *row) : nullptr;
        return true;
    }
    request.setPredicate(plan.keyTemplate->predicateWithSubstitutionVariables(values));
    auto fetched = moc.executeFetchRequest(request);
    if (fetched.error) {
        if (!isCancelled_()) fail(fetched.error);
        return false;
    }
    found = fetched.results.empty() ? nullptr : platform::objectIDFromValue(fetched.results.back());
    return true;
}

void ZQEntityDataCacheLevelDataWalks::resolve(const LevelPtr& level,
                                              platform::ManagedObjectContext& moc) {
    if (level->entityCount() == 0) return;
    LevelPlan& plan = planFor(*level->dataSource());
    if (!plan.keyPlanned) planKey(plan, *level->dataSource());
    // Without a key every item is new, down to its sublevels.
    if (!plan.keyTemplate) return;
    const auto& coordinator = moc.persistentStoreCoordinator();
    auto entityDescription =
        coordinator && coordinator->managedObjectModel()
            ? coordinator->managedObjectModel()->entityNamed(level->entityDataEntityName())
            : nullptr;
    if (!entityDescription) return fail(defaultZQError());
    KeyIndex* index = keyIndexFor(*entityDescription, plan, moc);
    if (!index || !isRunning()) return;
    platform::FetchRequest request(level->entityDataEntityName());
    request.setFetchLimit(1);
    request.setResultType(platform::FetchRequest::ResultType::ManagedObjectID);
    auto& uncachedByKey = uncached_[level->entityDataEntityName()];
    if (uncachedByKey.size() == 0) uncachedByKey.reserve(level->entityCount());
    static const platform::Dictionary kNoValues;
    for (const EntityDataPtr& entity : *level->entities()) {
        const auto& values =
            entity->entityCoreDataValues() ? *entity->entityCoreDataValues() : kNoValues;
        // A key field that is not among the level's fields has no value to look for: the item
        // counts as new.
        if (std::string key = keyText(plan, values); !key.empty()) {
            platform::ManagedObjectIDPtr found;
            if (!findCached(*index, plan, request, values, key, moc, found)) return;
            if (isCancelled_()) return;
            entity->setExistingObjectID(found);
            if (!found) {
                // The store cannot see items of this result; an earlier one with this key stands
                // for the object that both must become.
                auto [earlier, first] = uncachedByKey.tryEmplace(std::move(key), entity);
                if (!first) entity->setEarlierEntityDataWithSameKey(*earlier);
            }
        }
        if (const auto& sublevels = entity->entitySublevels()) {
            for (const LevelPtr& sublevel : *sublevels) {
                if (!isRunning()) return;
                resolve(sublevel, moc);
            }
        }
        if (!isRunning()) return;
    }
}

void ZQEntityDataCacheLevelDataWalks::rememberWritten() {
    for (auto& [entityName, byKey] : uncached_) {
        auto index = keyIndexes_.find(entityName);
        // An indexed key is looked up in the store, whose reads on this thread see the run.
        if (index == keyIndexes_.end() || index->second.perItem) continue;
        byKey.forEach([&rows = index->second.rows](std::string& key, EntityDataPtr& entity) {
            if (const auto& object = entity->managedObject()) {
                rows.set(std::move(key), object->objectID()->number());
            }
        });
    }
    uncached_.clear();
}

// ---- writing

void ZQEntityDataCacheLevelDataWalks::collectExisting(
    const LevelPtr& level, std::unordered_map<std::string, platform::Array>& ids) {
    if (level->entityCount() == 0) return;
    platform::Array* entityIDs = nullptr;
    for (const EntityDataPtr& entity : *level->entities()) {
        if (const auto& id = entity->existingObjectID()) {
            if (!entityIDs) entityIDs = &ids[level->entityDataEntityName()];
            entityIDs->push_back(platform::Value::objectID(id));
        }
        if (const auto& sublevels = entity->entitySublevels()) {
            for (const LevelPtr& sublevel : *sublevels) collectExisting(sublevel, ids);
        }
    }
}

void ZQEntityDataCacheLevelDataWalks::prefetch(const LevelPtr& level,
                                               platform::ManagedObjectContext& context) {
    std::unordered_map<std::string, platform::Array> idsByEntity;
    collectExisting(level, idsByEntity);
    for (const auto& [entityName, ids] : idsByEntity) {
        for (size_t start = 0; start < ids.size(); start += kPrefetchChunk) {
            if (!isRunning()) return;
            size_t end = std::min(ids.size(), start + kPrefetchChunk);
            platform::FetchRequest request(entityName);
            request.setPredicate(platform::Predicate::comparison(
                platform::Expression::expressionForEvaluatedObject(),
                platform::Predicate::Operator::In,
                platform::Expression::expressionForConstantValue(
                    platform::Value(platform::Array(ids.begin() + static_cast<long>(start),
                                                    ids.begin() + static_cast<long>(end))))));
            // The objects stay registered in the context, which is all that is wanted here.
            auto fetched = context.executeFetchRequest(request);
            if (fetched.error) {
                if (!isCancelled_()) fail(fetched.error);
                return;
            }
        }
    }
}

void ZQEntityDataCacheLevelDataWalks::write(const LevelPtr& level,
                                            platform::ManagedObjectContext& context) {
    if (level->entityCount() == 0) return;
    const LevelPlan& plan = planFor(*level->dataSource());
    for (const EntityDataPtr& entity : *level->entities()) {
        if (!isRunning()) return;
        if (entity->existingObjectID()) {
            entity->setManagedObject(context.objectWithID(entity->existingObjectID()));
        } else if (const auto& earlier = entity->earlierEntityDataWithSameKey()) {
            entity->setManagedObject(earlier->managedObject());
        }
        if (!entity->managedObject()) {
            entity->setManagedObject(context.insertNewObject(level->entityDataEntityName()));
            if (!entity->managedObject()) {
                fail(defaultZQError());
                return;
            }
        }
        platform::ManagedObject& object = *entity->managedObject();
        if (const auto& values = entity->entityCoreDataValues()) {
            if (auto error = object.setValuesForKeysWithDictionary(*values)) {
                fail(std::move(error));
                return;
            }
            // Nothing reads them after this: freed now, while they are still in the cache, the
            // memory goes to the objects made next instead of piling up until the tree goes.
            entity->setEntityCoreDataValues(std::nullopt);
        }
        if (const auto& sublevels = entity->entitySublevels()) {
            for (const LevelPtr& sublevel : *sublevels) {
                write(sublevel, context);
                if (!isRunning()) return;
                if (auto error =
                        object.setValueForKey(platform::Value::object(childrenOf(*sublevel)),
                                              sublevelAttributeName(plan, *sublevel))) {
                    fail(std::move(error));
                    return;
                }
            }
        }
    }
}

std::shared_ptr<platform::ManagedObjectSet> ZQEntityDataCacheLevelDataWalks::childrenOf(
    const Level& sublevel) {
    std::vector<std::shared_ptr<platform::ManagedObject>> children;
    children.reserve(sublevel.entityCount());
    std::unordered_set<const platform::ManagedObject*> listed;
    if (sublevel.entities()) {
        for (const EntityDataPtr& child : *sublevel.entities()) {
            const auto& object = child->managedObject();
            if (!object) continue;
            // Lines of one parent that share a key are one object, listed once; a few lines
            // are searched in place, many through a set.
            if (sublevel.entityCount() < kSearchedInPlace) {
                if (std::find(children.begin(), children.end(), object) != children.end()) {
                    continue;
                }
            } else if (!listed.insert(object.get()).second) {
                continue;
            }
            children.push_back(object);
        }
    }
    return platform::ManagedObjectSet::create(std::move(children), true);
}

const std::string& ZQEntityDataCacheLevelDataWalks::sublevelAttributeName(const LevelPlan& plan,
                                                                          const Level& sublevel) {
    for (const FieldPlan& field : plan.fields) {
        if (field.isSublevel && field.sublevel == sublevel.dataSource()) {
            return field.attributeName;
        }
    }
    // A level not made from this plan's fields: named as its data-source level.
    auto [it, added] = sublevelAttributeNames_.try_emplace(sublevel.dataSource().get());
    if (added) {
        it->second = ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(
            sublevel.dataSource()->entityDataSourceLevelName());
    }
    return it->second;
}
