#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

using platform::Value;

bool ZQCoreDataEntityData::isReadable() const {
    auto context = managedObjectContext();
    if (!context) return false;
    // A saved object whose store was removed (the cache was cleared) stays registered in the
    // main context with the values it had loaded; those belong to a cache that is gone.
    const auto& id = objectID();
    if (!id || id->isTemporaryID()) return true;
    const auto& coordinator = context->persistentStoreCoordinator();
    return coordinator && coordinator->storeForObjectID(*id) != nullptr;
}

Value ZQCoreDataEntityData::valueForEntityDataFieldName(const std::string& fieldName) const {
    return valueForEntityDataFieldName(fieldName, std::nullopt, nullptr);
}

Value ZQCoreDataEntityData::valueForEntityDataFieldName(
    const std::string& fieldName, const std::optional<std::string>& fieldSpecifier,
    const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor) const {
    if (fieldName.empty() || !isReadable()) return Value();
    std::string key = ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(fieldName);
    if (!entity()) return Value();
    // Absent for a name the entity lacks.
    Value stored = storedValueForKey(key);

    auto fieldInfo = fieldDescriptor ? fieldDescriptor->entityDataFieldInfo() : nullptr;
    if (!fieldDescriptor || !ZQSDTData::fieldInfoIsSDTData(fieldInfo)) return stored;

    std::shared_ptr<ZQSDTData> structured;
    if (!sdtCache_) sdtCache_ = std::make_unique<SDTCache>();
    if (auto cached = sdtCache_->find(key); cached != sdtCache_->end()) {
        structured = cached->second;
    } else {
        structured = ZQSDTData::sdtDataFromFieldInfo(fieldInfo, stored);
        if (structured) sdtCache_->emplace(key, structured);
    }
    if (!fieldSpecifier) return structured ? Value::object(structured) : Value();
    return structured ? structured->valueForFieldSpecifier(*fieldSpecifier) : Value();
}

void ZQCoreDataEntityData::valuesForEntityDataFieldNames(std::span<const std::string> fieldNames,
                                                         std::vector<Value>& values) const {
    // The last entity and names asked on this thread, with their property indices: the lines of
    // one level ask the same, one after the other. The entity is remembered weakly and compared
    // by owner: the weak reference keeps its control block, so no other entity can share it.
    struct Resolved {
        std::weak_ptr<const platform::EntityDescription> entity;
        std::vector<std::string> names;
        std::vector<int> indices;
    };
    thread_local Resolved last;
    if (!isReadable() || !entity()) {
        values.assign(fieldNames.size(), Value());
        return;
    }
    const auto& current = entity();
    if (last.entity.owner_before(current) || current.owner_before(last.entity) ||
        !std::equal(fieldNames.begin(), fieldNames.end(), last.names.begin(), last.names.end())) {
        last.entity = current;
        last.names.assign(fieldNames.begin(), fieldNames.end());
        last.indices.clear();
        for (const auto& name : fieldNames)
            last.indices.push_back(
                name.empty()
                    ? -1
                    : current->propertyIndex(
                          ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(name)));
    }
    const_cast<ZQCoreDataEntityData*>(this)->valuesAtIndices(last.indices, values);
}

bool ZQCoreDataEntityData::hasValueForEntityDataFieldName(const std::string& fieldName) const {
    if (fieldName.empty() || !entity() || !isReadable()) return false;
    return entity()->propertyNamed(
               ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(fieldName)) != nullptr;
}

std::optional<platform::Dictionary> ZQCoreDataEntityData::relatedValuesByFieldNameForFieldName(
    const std::string& /*fieldName*/, const Value& /*value*/) const {
    return std::nullopt;
}

bool ZQCoreDataEntityData::entityDataNew() const {
    return isInserted();
}

bool ZQCoreDataEntityData::entityDataUpdated() const {
    return hasChanges();
}

void ZQCoreDataEntityData::didChangeValueForKey(const std::string& key) {
    if (sdtCache_) sdtCache_->erase(key);
}

void ZQCoreDataEntityData::didTurnIntoFault() {
    sdtCache_.reset();
}
