#include "tools/zqdl/ZqdlInstanceBuilder.hpp"

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"

namespace zqdl {

namespace {

std::shared_ptr<const ZQBusinessComponentLevel> childNamed(const ZQBusinessComponentLevel& level,
                                                           const std::string& name) {
    for (const auto& child : level.childLevels())
        if (child->levelName() == name) return child;
    return nullptr;
}

}  // namespace

bool ZqdlInstanceBuilder::check(const ZQBusinessComponentLevel& level,
                                const platform::Dictionary& json, std::string* error) {
    for (const auto& [name, value] : json) {
        if (auto attribute = level.attributeNamed(name)) {
            if (!value.isNull() &&
                ZQEntityHelper::coreDataFieldValue(*attribute, value).isNothing()) {
                *error = name + ": " + value.description() + " is not a value of the field";
                return false;
            }
            continue;
        }
        auto child = childNamed(level, name);
        if (!child) {
            *error = level.name() + " has no field or level \"" + name + "\"";
            return false;
        }
        if (!value.isArray()) {
            *error = name + ": the lines of a level are a JSON array of objects";
            return false;
        }
        for (const auto& line : *value.array()) {
            if (!line.isDictionary()) {
                *error = name + ": each line is a JSON object";
                return false;
            }
            if (!check(*child, *line.dictionary(), error)) return false;
        }
    }
    return true;
}

std::shared_ptr<ZQBusinessComponentLevelEntityData> ZqdlInstanceBuilder::build(
    platform::ManagedObjectContext& context, const platform::ManagedObjectModel& schema,
    const std::shared_ptr<const ZQBusinessComponentLevel>& level, const platform::Dictionary& json,
    std::string* error) {
    if (!check(*level, json, error)) return nullptr;
    std::string entityName =
        ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(level);
    if (!schema.entityNamed(entityName)) {
        *error = "the cache has no entity for " + level->name();
        return nullptr;
    }
    auto object = context.insertNewObject(entityName);
    auto instance = std::dynamic_pointer_cast<ZQBusinessComponentLevelEntityData>(object);
    if (!instance) {
        *error = "the cache's class for " + level->name() + " holds no instance";
        return nullptr;
    }
    for (const auto& [name, value] : json) {
        std::string key = ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(name);
        if (auto attribute = level->attributeNamed(name)) {
            platform::Value converted = value.isNull()
                                            ? platform::Value::null()
                                            : ZQEntityHelper::coreDataFieldValue(*attribute, value);
            if (object->setValueForKey(converted, key)) {
                *error = name + ": the cache refused the value";
                return nullptr;
            }
            continue;
        }
        auto child = childNamed(*level, name);
        platform::Array lines;
        for (const auto& line : *value.array()) {
            auto made = build(context, schema, child, *line.dictionary(), error);
            if (!made) return nullptr;
            lines.push_back(
                platform::Value::object(std::dynamic_pointer_cast<platform::ManagedObject>(made)));
        }
        if (object->setValueForKey(
                lines.empty() ? platform::Value() : platform::Value(std::move(lines)),
                ZQLowercaseName(child->levelName()))) {
            *error = name + ": the cache refused the lines";
            return nullptr;
        }
    }
    return instance;
}

}  // namespace zqdl
