#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"

namespace {

std::string replaceDots(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 8);
    for (char c : name) {
        if (c == '.')
            out += "__";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level) {
    if (!level) return {};
    auto component = level->businessComponent();
    if (!component) return {};
    std::string name = replaceDots(component->name());
    if (level->parentLevel()) name += level->name();
    return ZQLowercaseName(name);
}

std::string ZQCoreDataEntityHelper::coreDataEntityNameForDataProviderName(
    std::string_view dataProviderName) {
    return replaceDots(dataProviderName);
}

// Walks up to the data source and names the sublevel with the same function as the schema
// factory, so the two agree even for provider names that themselves begin with "_Sublevel".
std::optional<std::string> ZQCoreDataEntityHelper::coreDataEntityNameForDataSourceLevel(
    const std::shared_ptr<const ZQEntityDataSourceLevelDescriptor>& level) {
    std::vector<std::string> levelNames;
    auto current = level;
    while (current) {
        if (const auto* source = dynamic_cast<const ZQEntityDataSourceDescriptor*>(current.get())) {
            const std::string& provider = source->entityDataSourceDataProviderName();
            if (provider.empty()) return std::nullopt;
            std::string entityName = coreDataEntityNameForDataProviderName(provider);
            if (levelNames.empty()) return entityName;
            std::reverse(levelNames.begin(), levelNames.end());
            return coreDataSublevelEntityName(entityName, levelNames);
        }
        const auto* sublevel =
            dynamic_cast<const ZQEntityDataSourceSublevelDescriptor*>(current.get());
        if (!sublevel) return std::nullopt;
        levelNames.push_back(sublevel->entityDataSourceLevelName());
        current = sublevel->entityDataSourceParentLevel();
    }
    return std::nullopt;
}

std::shared_ptr<platform::EntityDescription>
ZQCoreDataEntityHelper::coreDataEntityDescriptionForName(std::string_view name) {
    auto model = ZQModel::currentModel();
    if (!model) return nullptr;
    auto schema = ZQModel_ZQCoreDataCache::managedObjectModel(model);
    if (!schema) return nullptr;
    return schema->entityNamed(name);
}

std::string ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(std::string_view fieldName) {
    if (!fieldName.empty() && fieldName.front() == '&') fieldName.remove_prefix(1);
    // Made in place: it is asked for each field of each line written or read.
    std::string name;
    name.reserve(fieldName.size() + 2);
    name += "zq";
    ZQAppendLowercaseName(name, fieldName);
    return name;
}

std::string ZQCoreDataEntityHelper::coreDataQueryEntityNameForEntityName(
    std::string_view dataEntityName) {
    return "_Query" + std::string(dataEntityName);
}

std::string ZQCoreDataEntityHelper::coreDataQueryCollectionEntityNameForEntityName(
    std::string_view dataEntityName) {
    return "_QueryCollectionEntity" + std::string(dataEntityName);
}

std::string ZQCoreDataEntityHelper::coreDataSublevelEntityName(
    std::string_view dataEntityName, const std::vector<std::string>& levelNames) {
    std::string name = "_Sublevel" + std::string(dataEntityName);
    for (const auto& levelName : levelNames) {
        name += '_';
        name += levelName;
    }
    return name;
}
