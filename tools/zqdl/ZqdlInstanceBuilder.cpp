#include "tools/zqdl/ZqdlInstanceBuilder.hpp"

#include <filesystem>

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
    std::string* error, LinesByLevel* linesByLevel) {
    // One check of the whole instance, lines included; make() then trusts the shapes.
    if (!check(*level, json, error)) return nullptr;
    return make(context, schema, level, json, error, linesByLevel);
}

std::shared_ptr<ZQBusinessComponentLevelEntityData> ZqdlInstanceBuilder::make(
    platform::ManagedObjectContext& context, const platform::ManagedObjectModel& schema,
    const std::shared_ptr<const ZQBusinessComponentLevel>& level, const platform::Dictionary& json,
    std::string* error, LinesByLevel* linesByLevel) {
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
            auto made = make(context, schema, child, *line.dictionary(), error, nullptr);
            if (!made) return nullptr;
            auto madeObject = std::dynamic_pointer_cast<platform::ManagedObject>(made);
            if (linesByLevel) (*linesByLevel)[child->levelName()].push_back(madeObject);
            lines.push_back(platform::Value::object(madeObject));
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

std::optional<ZqdlInstanceBuilder::AttachTarget> ZqdlInstanceBuilder::attachTarget(
    const std::shared_ptr<const ZQBusinessComponentLevel>& root, const platform::Dictionary& json,
    const std::string& target, const std::string& path, std::string* error) {
    AttachTarget result{root, {}, 0, target};
    size_t dot = target.find('.');
    if (dot != std::string::npos) {
        size_t open = target.find('[');
        size_t close = target.find(']');
        if (open == std::string::npos || close == std::string::npos || open > close ||
            close + 1 != dot || open + 1 == close) {
            *error = "--attach " + target + ": a line's field is LEVEL[INDEX].FIELD";
            return std::nullopt;
        }
        result.levelName = target.substr(0, open);
        std::string digits = target.substr(open + 1, close - open - 1);
        if (digits.find_first_not_of("0123456789") != std::string::npos) {
            *error = "--attach " + target + ": the line index is a number";
            return std::nullopt;
        }
        result.index = std::stoul(digits);
        result.field = target.substr(dot + 1);
        result.level = childNamed(*root, result.levelName);
        if (!result.level) {
            *error =
                "--attach " + target + ": " + root->name() + " has no level " + result.levelName;
            return std::nullopt;
        }
        platform::Value lines = json.get(result.levelName);
        if (!lines.isArray() || result.index >= lines.array()->size()) {
            *error = "--attach " + target + ": the JSON has no such line";
            return std::nullopt;
        }
    }
    if (!result.level->attributeNamed(result.field)) {
        *error =
            "--attach " + target + ": " + result.level->name() + " has no field " + result.field;
        return std::nullopt;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        *error = "--attach " + target + ": " + path + " is not a file";
        return std::nullopt;
    }
    return result;
}

bool ZqdlInstanceBuilder::attach(ZQBusinessComponentLevelEntityData& instance,
                                 const LinesByLevel& lines, const AttachTarget& target,
                                 const std::string& path, std::string* error) {
    platform::ManagedObject* object = dynamic_cast<platform::ManagedObject*>(&instance);
    if (!target.levelName.empty()) {
        auto found = lines.find(target.levelName);
        if (found == lines.end() || target.index >= found->second.size()) {
            *error =
                "--attach: no line " + std::to_string(target.index) + " of " + target.levelName;
            return false;
        }
        object = found->second[target.index].get();
    }
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).string();
    if (!object || object->setValueForKey(
                       platform::Value("file://" + absolute),
                       ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(target.field))) {
        *error = "--attach " + target.field + ": the cache refused the file";
        return false;
    }
    return true;
}

}  // namespace zqdl
