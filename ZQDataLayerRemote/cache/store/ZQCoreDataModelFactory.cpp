#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"

#include <algorithm>
#include <map>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataAttributeTypeTable.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClassNames.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataElementVariable.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"

using platform::AttributeDescription;
using platform::AttributeType;
using platform::DeleteRule;
using platform::EntityDescription;
using platform::FetchIndexDescription;
using platform::FetchIndexElementDescription;
using platform::ManagedObjectModel;
using platform::PropertyDescription;
using platform::RelationshipDescription;
using Names = ZQCoreDataEntityHelper;

platform::ErrorPtr errorFromGetEntitiesError(GetEntitiesError error) {
    return platform::Error::create(ZQGetEntitiesErrorDomain, static_cast<int64_t>(error),
                                   "The cache entities could not be made from the application "
                                   "model.");
}

// The entities of one business component or one data provider, each with the store it goes to.
// They enter the schema together or not at all.
struct ZQCoreDataModelFactory::Batch {
    std::vector<std::pair<std::shared_ptr<EntityDescription>, bool>> entities;  // (entity, sql)

    void place(std::shared_ptr<EntityDescription> entity,
               const std::shared_ptr<const ZQWorkWithCacheProperties>& cacheProperties) {
        entities.emplace_back(
            std::move(entity),
            ZQWorkWithCacheProperties::isCacheEnabledForProperties(cacheProperties));
    }
    void placeInSQL(std::shared_ptr<EntityDescription> entity) {
        entities.emplace_back(std::move(entity), true);
    }
};

namespace {

std::shared_ptr<RelationshipDescription> toOne(std::string name, std::string destination,
                                               std::string inverse) {
    auto r = RelationshipDescription::create(std::move(name), std::move(destination), false,
                                             DeleteRule::Nullify);
    r->setMinCount(1);
    r->setInverseName(std::move(inverse));
    return r;
}

std::shared_ptr<RelationshipDescription> toMany(std::string name, std::string destination,
                                                std::string inverse, DeleteRule rule) {
    auto r = RelationshipDescription::create(std::move(name), std::move(destination), true, rule);
    r->setInverseName(std::move(inverse));
    return r;
}

void appendQueryAttributes(std::vector<std::shared_ptr<PropertyDescription>>& properties) {
    properties.push_back(
        AttributeDescription::create("queryBaseUri", AttributeType::String, false));
    properties.push_back(
        AttributeDescription::create("queryParameters", AttributeType::String, true));
    properties.push_back(AttributeDescription::create("timeStamp", AttributeType::Date, false));
    properties.push_back(AttributeDescription::create("dataTimeStamp", AttributeType::Date, false));
    properties.push_back(AttributeDescription::create("lastModified", AttributeType::Date, true));
}

// Finding a cached query by base URI and parameters is the hot look-up of every cache read.
FetchIndexDescription queryIndex() {
    return FetchIndexDescription("queryBaseUri_queryParameters",
                                 {FetchIndexElementDescription{"queryBaseUri"},
                                  FetchIndexElementDescription{"queryParameters"}});
}

// A query's rows are read back ordered by their position, always those of one query.
FetchIndexDescription rowIndex() {
    FetchIndexDescription index("rowId", {FetchIndexElementDescription{"rowId"}});
    index.setSearchedWithinOwner(true);
    return index;
}

void logIfEnabled(const std::string& message) {
    auto logger = ZQLog::loggerService();
    if (logger->isLogEnabled()) logger->logMessage(message, ZQLogTypeData, ZQLogLevelWarning, true);
}

}  // namespace

std::shared_ptr<ManagedObjectModel> ZQCoreDataModelFactory::coreDataModelForApplicationModel(
    const std::shared_ptr<const ZQApplicationModel>& appModel, platform::ErrorPtr* error) {
    ZQCoreDataModelFactory factory(appModel);
    auto model = factory.coreDataModel();
    if (!model && error) *error = errorFromGetEntitiesError(GetEntitiesError::couldNotGetEntities);
    return model;
}

ZQCoreDataModelFactory::ZQCoreDataModelFactory(std::shared_ptr<const ZQApplicationModel> appModel)
    : appModel_(std::move(appModel)) {}

std::shared_ptr<ManagedObjectModel> ZQCoreDataModelFactory::coreDataModel() {
    if (!collectEntities()) return nullptr;
    auto model = ManagedObjectModel::create();
    EntityList all = *sqlEntities_;
    all.insert(all.end(), memoryEntities_->begin(), memoryEntities_->end());
    model->setEntities(std::move(all));
    // Without memory entities there is one store for everything, so no configurations.
    if (!memoryEntities_->empty()) {
        model->setEntitiesForConfiguration(*sqlEntities_, "sql");
        model->setEntitiesForConfiguration(*memoryEntities_, "memory");
    }
    return model;
}

bool ZQCoreDataModelFactory::collectEntities() {
    if (error_ || sqlEntities_ || memoryEntities_) return sqlEntities_ && memoryEntities_;
    if (!appModel_) {
        recordGenericError();
        return false;
    }
    sqlEntities_.emplace();
    memoryEntities_.emplace();
    for (const auto& component : appModel_->businessComponents())
        addBusinessComponentEntities(*component);
    for (const auto& workWith : appModel_->workWiths()) {
        for (const auto& level : workWith->levels()) {
            std::vector<const ZQWorkWithDataList*> lists;
            if (level->list()) lists.push_back(&level->list()->data());
            if (const auto& detail = level->detail()) {
                lists.push_back(&detail->data());
                if (detail->sections())
                    for (const auto& section : detail->sections()->sections())
                        lists.push_back(&section->data());
            }
            for (const auto* list : lists) {
                for (const auto& data : *list) {
                    if (addDataProviderEntities(data)) continue;
                    recordGenericError();
                    sqlEntities_.reset();
                    memoryEntities_.reset();
                    return false;
                }
            }
        }
    }
    return true;
}

// Business components never make the build fail: a level whose attribute or child is missing
// from the model still gets an entity, with what the model does say.
void ZQCoreDataModelFactory::addBusinessComponentEntities(
    const ZQBusinessComponentModel& component) {
    const auto& levels = component.allLevels();
    if (levels.empty()) return;
    Batch batch;
    std::map<std::string, std::shared_ptr<EntityDescription>> byLevelName;
    for (const auto& level : levels) {
        auto entity = makeLevelEntity(level);
        byLevelName.emplace(level->levelName(), entity);
        batch.placeInSQL(std::move(entity));
    }
    if (levels.size() > 1) {
        for (const auto& level : levels) {
            auto parent = byLevelName.find(level->levelName());
            size_t childPosition = 0;  // children go first, in the order of the child levels
            for (const auto& childLevel : level->childLevels()) {
                auto child = byLevelName.find(childLevel->levelName());
                if (child == byLevelName.end()) continue;
                std::string name = ZQLowercaseName(childLevel->levelName());
                child->second->addProperty(toOne("parentLevel", parent->second->name(), name));
                auto properties = parent->second->properties();
                // An instance is read and written whole: the lines a screen read stay with the
                // instance it holds, and its next load updates them in place.
                auto lines =
                    toMany(name, child->second->name(), "parentLevel", DeleteRule::Cascade);
                lines->setKeepsLoadedMembers(true);
                properties.insert(properties.begin() + static_cast<ptrdiff_t>(childPosition++),
                                  std::move(lines));
                parent->second->setProperties(std::move(properties));
            }
        }
    }
    commit(batch, "business component " + component.name());
}

std::shared_ptr<EntityDescription> ZQCoreDataModelFactory::makeLevelEntity(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level) const {
    bool isRoot = !level->parentLevel();
    auto entity =
        EntityDescription::create(Names::coreDataEntityNameForBusinessComponentLevel(level),
                                  isRoot ? ZQCoreDataCacheClassNames::kEntityDataBCRootLevel
                                         : ZQCoreDataCacheClassNames::kEntityDataBCLevel);
    std::vector<std::shared_ptr<PropertyDescription>> properties;
    properties.push_back(AttributeDescription::create("timeStamp", AttributeType::Date, false));
    if (isRoot)
        properties.push_back(
            AttributeDescription::create("zq_md5_hash", AttributeType::String, true));
    for (const auto& attribute : level->attributes()) {
        auto info = appModel_->attributeInfoNamed(attribute->name());
        properties.push_back(AttributeDescription::create(
            Names::coreDataAttributeNameForFieldName(info ? info->name() : attribute->name()),
            ZQCoreDataAttributeTypeTable::attributeTypeForFieldInfo(info), true));
    }
    entity->setProperties(std::move(properties));
    return entity;
}

bool ZQCoreDataModelFactory::addDataProviderEntities(
    const std::shared_ptr<const ZQWorkWithData>& data) {
    // The same provider may serve several screens; its first definition makes its entities, and
    // later ones are not built at all, so that a definition that is never used cannot fail the
    // build.
    if (!dataProviderNames_.insert(data->dataProviderName()).second) {
        logIfEnabled("Data provider " + data->dataProviderName() +
                     " is defined more than once; the cache uses its first definition");
        return true;
    }
    Batch batch;
    auto entity = makeDataEntity(*data, batch);
    if (!entity) return false;
    batch.place(std::move(entity), data->cacheProperties());
    commit(batch, "data provider " + data->dataProviderName());
    return true;
}

std::shared_ptr<EntityDescription> ZQCoreDataModelFactory::makeDataEntity(
    const ZQWorkWithDataLevel& level, Batch& batch) {
    std::vector<std::shared_ptr<PropertyDescription>> properties;
    for (const auto& element : level.elements()) {
        auto attribute = makeElementAttribute(*element);
        if (!attribute) return nullptr;
        properties.push_back(std::move(attribute));
    }

    const auto* data = dynamic_cast<const ZQWorkWithData*>(&level);
    const auto* sublevel = dynamic_cast<const ZQWorkWithDataSublevel*>(&level);
    std::string name;
    if (data) {
        name = Names::coreDataEntityNameForDataProviderName(data->dataProviderName());
    } else if (auto sublevelName = sublevel ? sublevelEntityName(*sublevel) : std::nullopt) {
        name = std::move(*sublevelName);
    } else {
        // A sublevel cut off from its data provider would give an entity without a name, which
        // no store can open.
        recordGenericError();
        return nullptr;
    }
    const char* className = !data                  ? ZQCoreDataCacheClassNames::kEntityData
                            : data->isCollection() ? ZQCoreDataCacheClassNames::kEntityCollection
                                                   : ZQCoreDataCacheClassNames::kEntitySingleItem;
    auto entity = EntityDescription::create(name, className);

    if (data) properties.push_back(makeQueryEntities(*data, *entity, batch));

    for (const auto& child : level.sublevels()) {
        auto root = child->rootLevel();
        if (!root) {
            recordGenericError();
            return nullptr;
        }
        auto childEntity = makeDataEntity(*child, batch);
        if (!childEntity) return nullptr;
        std::string relationshipName = Names::coreDataAttributeNameForFieldName(child->level());
        auto parentLevel = toMany("parentLevel", name, relationshipName, DeleteRule::Nullify);
        auto items =
            toMany(relationshipName, childEntity->name(), "parentLevel", DeleteRule::Nullify);
        items->setOrdered(true);
        items->setOptional(false);
        childEntity->addProperty(std::move(parentLevel));
        batch.place(std::move(childEntity), root->cacheProperties());
        properties.push_back(std::move(items));
    }
    entity->setProperties(std::move(properties));
    return entity;
}

std::shared_ptr<RelationshipDescription> ZQCoreDataModelFactory::makeQueryEntities(
    const ZQWorkWithData& data, const EntityDescription& dataEntity, Batch& batch) {
    const std::string& dataName = dataEntity.name();
    auto query = EntityDescription::create(Names::coreDataQueryEntityNameForEntityName(dataName),
                                           data.isCollection()
                                               ? ZQCoreDataCacheClassNames::kQueryCollection
                                               : ZQCoreDataCacheClassNames::kQuerySingleItem);
    batch.place(query, data.cacheProperties());
    std::vector<std::shared_ptr<PropertyDescription>> queryProperties;
    appendQueryAttributes(queryProperties);

    std::shared_ptr<RelationshipDescription> toQueries;
    if (!data.isCollection()) {
        queryProperties.push_back(toOne("entityData", dataName, "queries"));
        toQueries = toMany("queries", query->name(), "entityData", DeleteRule::Cascade);
    } else {
        auto row = EntityDescription::create(
            Names::coreDataQueryCollectionEntityNameForEntityName(dataName),
            ZQCoreDataCacheClassNames::kQueryCollectionEntity);
        batch.place(row, data.cacheProperties());
        queryProperties.push_back(AttributeDescription::create("complete", AttributeType::Boolean));
        queryProperties.push_back(
            toMany("queryEntities", row->name(), "query", DeleteRule::Cascade));
        toQueries = toMany("entityQueries", row->name(), "entityData", DeleteRule::Cascade);
        row->setProperties({AttributeDescription::create("rowId", AttributeType::Integer32, false),
                            toOne("query", query->name(), "queryEntities"),
                            toOne("entityData", dataName, "entityQueries")});
        row->setIndexes({rowIndex()});
    }
    query->setProperties(std::move(queryProperties));
    query->setIndexes({queryIndex()});
    return toQueries;
}

std::shared_ptr<AttributeDescription> ZQCoreDataModelFactory::makeElementAttribute(
    const ZQWorkWithDataElement& element) {
    std::shared_ptr<const ZQTypedObjectInfo> info;
    switch (element.type()) {
        case ZQWorkWithDataElementTypeAttribute:
            info = element.name().empty() ? nullptr : appModel_->attributeInfoNamed(element.name());
            if (!info) {
                // The one error that names its cause; it replaces a generic one.
                error_ = platform::Error::create(
                    ZQModelErrorDomain, 0,
                    "The attribute " + element.name() + " definition was not found");
                return nullptr;
            }
            break;
        case ZQWorkWithDataElementTypeVariable:
            if (const auto& own = element.fieldInfo()) info = variableTypeInfo(own);
            break;
    }
    if (!info) {
        recordGenericError();
        return nullptr;
    }
    return AttributeDescription::create(
        Names::coreDataAttributeNameForFieldName(element.name()),
        ZQCoreDataAttributeTypeTable::attributeTypeForFieldInfo(info), true);
}

// The definition a variable takes its type from; none when it names one the model lacks.
std::shared_ptr<const ZQTypedObjectInfo> ZQCoreDataModelFactory::variableTypeInfo(
    const std::shared_ptr<const ZQTypedObjectInfo>& info) const {
    switch (info->basedOnType()) {
        case ZQTypedObjectBasedOnNone:
            return info;
        case ZQTypedObjectBasedOnAttribute:
            return appModel_->attributeInfoNamed(info->basedOnName());
        case ZQTypedObjectBasedOnDomain:
            return appModel_->domainInfoNamed(info->basedOnName());
        case ZQTypedObjectBasedOnSDT:
        case ZQTypedObjectBasedOnSDTCollection:
            // A structured variable is stored as its JSON text whichever type it names.
            if (auto sdt = appModel_->sdtInfoNamed(info->basedOnName())) return sdt;
            return info;
    }
    return nullptr;
}

std::optional<std::string> ZQCoreDataModelFactory::sublevelEntityName(
    const ZQWorkWithDataSublevel& sublevel) const {
    std::vector<std::string> levelNames{sublevel.level()};
    auto parent = sublevel.parentLevel();
    while (parent) {
        if (const auto* data = dynamic_cast<const ZQWorkWithData*>(parent.get())) {
            std::reverse(levelNames.begin(), levelNames.end());
            return Names::coreDataSublevelEntityName(
                Names::coreDataEntityNameForDataProviderName(data->dataProviderName()), levelNames);
        }
        const auto* outer = dynamic_cast<const ZQWorkWithDataSublevel*>(parent.get());
        if (!outer) break;
        levelNames.push_back(outer->level());
        parent = outer->parentLevel();
    }
    return std::nullopt;
}

void ZQCoreDataModelFactory::commit(const Batch& batch, const std::string& owner) {
    std::set<std::string> names;
    for (const auto& [entity, sql] : batch.entities) {
        if (entityNames_.count(entity->name()) || !names.insert(entity->name()).second) {
            logIfEnabled("The cache entity " + entity->name() + " of " + owner +
                         " is already defined; this definition is left out of the cache schema");
            return;
        }
    }
    entityNames_.merge(names);
    for (const auto& [entity, sql] : batch.entities)
        (sql ? *sqlEntities_ : *memoryEntities_).push_back(entity);
}

void ZQCoreDataModelFactory::recordGenericError() {
    if (!error_) error_ = defaultZQError();
}
