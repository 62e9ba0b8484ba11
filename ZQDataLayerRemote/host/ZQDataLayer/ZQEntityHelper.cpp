#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/DateFormat.hpp"

using platform::Value;

namespace {

std::string shortestDouble(double number) {
    if (!std::isfinite(number)) return "";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

std::string jsonText(const Value& value) {
    auto written = ZQJSON::write(value);
    return written.error ? std::string() : written.text;
}

// Plain text of a scalar (not escaped); structured values as JSON text.
std::string plainText(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Absent:
        case Value::Kind::Null:
            return "";
        case Value::Kind::Bool:
            return *value.boolean() ? "true" : "false";
        case Value::Kind::Integer:
            return std::to_string(*value.integer());
        case Value::Kind::Double:
            return shortestDouble(*value.number());
        case Value::Kind::Decimal:
            return value.decimal()->text();
        case Value::Kind::String:
            return std::string(*value.string());
        case Value::Kind::Date:
            return platform::iso8601String(*value.date());
        default:
            return jsonText(value);
    }
}

Value numericValue(const Value& value, const ZQEntityDataFieldInfo& info) {
    uint32_t length = info.entityDataFieldInfoLength();
    uint32_t decimals = info.entityDataFieldInfoDecimals();
    bool whole = decimals == 0 && length <= 18;
    bool binaryFloat = decimals > 0 && length >= 1 && length - 1 <= 15;
    Value number = value;
    if (value.isString()) {
        auto decimal = platform::Decimal::fromString(*value.string());
        if (!decimal) return Value();
        number = Value(*decimal);
    } else if (value.kind() == Value::Kind::Bool) {
        number = Value(*value.boolean() ? 1 : 0);
    }
    if (!number.isNumber()) return Value();
    if (whole) {
        if (auto integer = number.integer()) return Value(static_cast<long long>(*integer));
        double d = *number.number();  // a fraction in a whole-number field is cut off
        if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) return Value();
        return Value(static_cast<long long>(std::trunc(d)));
    }
    if (binaryFloat) return Value(*number.number());
    if (const auto* decimal = number.decimal()) return Value(*decimal);
    if (auto integer = number.integer()) {
        auto decimal = platform::Decimal::fromString(std::to_string(*integer));
        return decimal ? Value(*decimal) : Value();
    }
    return Value(platform::Decimal::fromDouble(*number.number()));
}

Value dateValue(const Value& value) {
    if (value.kind() == Value::Kind::Date) return value;
    if (value.isString()) {
        auto date = platform::parseISO8601(*value.string());
        return date ? Value(*date) : Value();
    }
    if (value.isNumber()) return Value(platform::Date(*value.number()));
    return Value();
}

Value booleanValue(const Value& value) {
    if (value.kind() == Value::Kind::Bool) return value;
    if (value.isNumber()) return Value(*value.number() != 0);
    if (value.isString()) {
        std::string_view text = *value.string();
        if (text == "true" || text == "1") return Value(true);
        if (text == "false" || text == "0") return Value(false);
    }
    return Value();
}

Value textValue(const Value& value) {
    if (value.isString()) return value;
    return Value(plainText(value));
}

}  // namespace

bool ZQEntityHelper::fieldInfoIsSDTData(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo) {
    return fieldInfo && fieldInfo->entityDataFieldInfoDataType() == ZQDataTypeSDT;
}

bool ZQEntityHelper::isImageFieldInfo(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo) {
    return fieldInfo && fieldInfo->entityDataFieldInfoDataType() == ZQDataTypeImage;
}

bool ZQEntityHelper::isBinaryFieldInfo(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo) {
    if (!fieldInfo) return false;
    switch (fieldInfo->entityDataFieldInfoDataType()) {
        case ZQDataTypeBlob:
        case ZQDataTypeImage:
        case ZQDataTypeAudio:
        case ZQDataTypeVideo:
            return true;
        default:
            return false;
    }
}

namespace {

Value coreDataFieldValueForInfo(const std::shared_ptr<const ZQEntityDataFieldInfo>& info,
                                const Value& fromValue) {
    if (fromValue.isNothing()) return Value();
    if (!info || ZQEntityHelper::fieldInfoIsSDTData(info)) {
        if (fromValue.isArray() || fromValue.isDictionary()) return Value(jsonText(fromValue));
        return fromValue;
    }
    switch (info->entityDataFieldInfoDataType()) {
        case ZQDataTypeNumeric:
            return numericValue(fromValue, *info);
        case ZQDataTypeDate:
        case ZQDataTypeDateTime:
            return dateValue(fromValue);
        case ZQDataTypeBoolean:
            return booleanValue(fromValue);
        default:
            return textValue(fromValue);
    }
}

}  // namespace

Value ZQEntityHelper::coreDataFieldValue(
    const std::shared_ptr<const ZQEntityDataFieldDescriptor>& descriptor, const Value& fromValue) {
    return coreDataFieldValueForInfo(descriptor ? descriptor->entityDataFieldInfo() : nullptr,
                                     fromValue);
}

Value ZQEntityHelper::coreDataFieldValueForFieldInfo(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo, const Value& fromValue) {
    return coreDataFieldValueForInfo(fieldInfo, fromValue);
}

Value ZQEntityHelper::coreDataFieldValue(const ZQBusinessComponentAttribute& attribute,
                                         const Value& fromValue) {
    return coreDataFieldValueForInfo(attribute.fieldInfo(), fromValue);
}

std::optional<std::vector<std::string>> ZQEntityHelper::urlParametersArrayFromEntityDataKey(
    const ZQEntityDataKey& key) {
    auto descriptor = key.entityDataKeyDescriptor();
    if (!descriptor || descriptor->entityDataKeyFieldsDescriptors().empty()) return std::nullopt;
    std::vector<std::string> texts;
    for (const auto& field : descriptor->entityDataKeyFieldsDescriptors()) {
        if (!field) return std::nullopt;
        Value value = key.valueForEntityDataKeyFieldName(field->entityDataFieldName());
        if (value.isNothing()) return std::nullopt;
        auto info = field->entityDataFieldInfo();
        texts.push_back(urlParameterText(value, info.get()));
    }
    return texts;
}

std::string ZQEntityHelper::urlParameterText(const Value& value,
                                             const ZQEntityDataFieldInfo* fieldInfo) {
    ZQDataType type = fieldInfo ? fieldInfo->entityDataFieldInfoDataType() : ZQDataTypeCharacter;
    std::string text;
    if (value.kind() == Value::Kind::Date) {
        std::string iso = platform::iso8601String(*value.date());
        text = type == ZQDataTypeDate ? iso.substr(0, 10) : iso;
    } else if (type == ZQDataTypeBoolean && value.isNumber()) {
        text = *value.number() != 0 ? "true" : "false";
    } else {
        text = plainText(value);
    }
    return urlSimpleEscapeString(text);
}

platform::Dictionary ZQEntityHelper::urlParametersFromFieldsDescriptors(
    const ZQEntityDataFieldDescriptors& descriptors, const platform::Array& fieldsValues) {
    platform::Dictionary parameters;
    for (size_t i = 0; i < descriptors.size() && i < fieldsValues.size(); ++i) {
        const auto& descriptor = descriptors[i];
        if (!descriptor) continue;
        std::string name = descriptor->entityDataFieldName();
        if (!name.empty() && name[0] == '&') name.erase(0, 1);
        auto info = descriptor->entityDataFieldInfo();
        parameters.set(std::move(name), Value(urlParameterText(fieldsValues[i], info.get())));
    }
    return parameters;
}

std::vector<std::string> ZQEntityHelper::urlParametersArrayFromFieldsDescriptors(
    const ZQEntityDataFieldDescriptors& descriptors, const platform::Array& fieldsValues) {
    std::vector<std::string> texts;
    texts.reserve(fieldsValues.size());
    for (size_t i = 0; i < fieldsValues.size(); ++i) {
        auto info = i < descriptors.size() && descriptors[i] ? descriptors[i]->entityDataFieldInfo()
                                                             : nullptr;
        texts.push_back(urlParameterText(fieldsValues[i], info.get()));
    }
    return texts;
}

std::string ZQEntityHelper::plainTextFromValue(const Value& value) {
    return plainText(value);
}

std::string ZQEntityHelper::urlSimpleEscapeString(std::string_view text) {
    return platform::percentEscape(text);
}

std::optional<platform::URL> ZQEntityHelper::urlRelativeToServerBaseURL(
    std::string_view relativePath) {
    auto model = ZQApplicationModel::currentModel();
    if (!model) return std::nullopt;
    auto base = model->appServerBaseUrl();
    if (!base) return std::nullopt;
    if (base->path().empty() || base->path().back() != '/') {
        std::string text = base->scheme() + "://" + base->host().value_or("");
        if (auto port = base->port()) text += ":" + std::to_string(*port);
        text += base->path() + "/";
        base = platform::URL::fromString(text);
        if (!base) return std::nullopt;
    }
    while (!relativePath.empty() && relativePath.front() == '/') relativePath.remove_prefix(1);
    return platform::URL::resolve(relativePath, *base);
}

namespace {

// The reference of a binary attribute's value to upload; none for other attributes and values.
std::shared_ptr<ZQBinaryDataFieldReference> binaryReference(
    const ZQBusinessComponentAttribute& attribute, const Value& value) {
    const auto& info = attribute.fieldInfo();
    if (!ZQEntityHelper::isBinaryFieldInfo(info)) return nullptr;
    ZQSingleBinaryDataFieldReference::UserInfo userInfo;
    if (info) userInfo[ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey] = info;
    if (value.kind() == Value::Kind::Bytes)
        return ZQSingleBinaryDataFieldReference::createWithData(value, userInfo, attribute.name());
    if (auto text = value.string(); text && text->rfind("file:", 0) == 0) {
        if (auto url = platform::URL::fromString(*text))
            return ZQSingleBinaryDataFieldReference::createWithURL(*url, userInfo);
        // A file URL written without escaping ("file:///a b.png"): its path as it stands.
        std::string_view path(*text);
        path.remove_prefix(path.rfind("file://", 0) == 0 ? 7 : 5);
        return ZQSingleBinaryDataFieldReference::createWithFile(std::string(path), userInfo);
    }
    return nullptr;
}

// What the JSON of a level's items needs of the level, worked out once for all its lines.
struct LevelShape {
    explicit LevelShape(const ZQBusinessComponentLevel& level);

    const ZQBusinessComponentLevel& level;
    std::vector<std::string> attributeNames;
    std::vector<bool> binary;          // per attribute: its value may be a reference to upload
    std::vector<bool> dateOnly;        // per attribute: a date written without its time
    std::vector<LevelShape> children;  // per child level
    // The members in key order, each given by sources: an attribute's index, or the number of
    // attributes plus a child level's index. Of a name given twice, the last present one wins.
    struct Member {
        std::string key;
        std::vector<size_t> sources;
    };
    std::vector<Member> members;
};

LevelShape::LevelShape(const ZQBusinessComponentLevel& of) : level(of) {
    std::vector<std::pair<std::string, size_t>> named;
    for (const auto& attribute : of.attributes()) {
        const auto& info = attribute->fieldInfo();
        named.emplace_back(attribute->name(), attributeNames.size());
        attributeNames.push_back(attribute->name());
        binary.push_back(ZQEntityHelper::isBinaryFieldInfo(info));
        dateOnly.push_back(info && info->entityDataFieldInfoDataType() == ZQDataTypeDate);
    }
    children.reserve(of.childLevels().size());
    for (const auto& child : of.childLevels()) {
        named.emplace_back(child->levelName(), attributeNames.size() + children.size());
        children.emplace_back(*child);
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, source] : named) {
        if (members.empty() || members.back().key != key) members.push_back({std::move(key), {}});
        members.back().sources.push_back(source);
    }
}

std::optional<platform::Dictionary> levelJSON(
    const LevelShape& shape, const ZQBusinessComponentLevelEntityData* entityData,
    std::optional<size_t> lineIndex, std::vector<ZQBinaryDataFieldReferenceMember>* references) {
    if (!entityData) return std::nullopt;
    const size_t attributeCount = shape.attributeNames.size();
    std::vector<Value> sources;
    entityData->valuesForEntityDataFieldNames(shape.attributeNames, sources);
    sources.resize(attributeCount + shape.children.size());
    for (size_t a = 0; a < attributeCount; ++a) {
        Value& value = sources[a];
        if (value.isAbsent()) continue;
        if (references && shape.binary[a]) {
            if (auto reference = binaryReference(*shape.level.attributes()[a], value)) {
                references->push_back({shape.attributeNames[a], lineIndex, std::move(reference)});
                value = Value::null();
                continue;
            }
        }
        if (value.kind() == Value::Kind::Date) {
            std::string iso = platform::iso8601String(*value.date());
            value = Value(shape.dateOnly[a] ? iso.substr(0, 10) : iso);
        }
    }
    for (size_t c = 0; c < shape.children.size(); ++c) {
        const LevelShape& child = shape.children[c];
        auto lines = entityData->entityChildLevelEntitiesForLevelName(child.level.levelName());
        if (!lines) continue;
        platform::Array items;
        items.reserve(lines->size());
        // Only the root's own lines are looked into for binary values.
        std::vector<ZQBinaryDataFieldReferenceMember> lineReferences;
        auto* into = references && !lineIndex ? &lineReferences : nullptr;
        for (size_t i = 0; i < lines->size(); ++i) {
            if (auto item = levelJSON(child, (*lines)[i].get(), i, into))
                items.push_back(Value(std::move(*item)));
        }
        sources[attributeCount + c] = Value(std::move(items));
        if (!lineReferences.empty())
            references->push_back({child.level.levelName(), std::nullopt,
                                   ZQCompositeBinaryDataFieldReference::create(
                                       child.level.levelName(), std::move(lineReferences))});
    }
    std::vector<platform::Dictionary::Entry> json;
    json.reserve(shape.members.size());
    for (const auto& member : shape.members) {
        for (auto source = member.sources.rbegin(); source != member.sources.rend(); ++source) {
            if (sources[*source].isAbsent()) continue;
            json.emplace_back(member.key, std::move(sources[*source]));
            break;
        }
    }
    return platform::Dictionary::fromSortedEntries(std::move(json));
}

}  // namespace

std::optional<platform::Dictionary> ZQEntityHelper::jsonBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData) {
    if (!level) return std::nullopt;
    return levelJSON(LevelShape(*level), entityData.get(), std::nullopt, nullptr);
}

std::optional<platform::Dictionary> ZQEntityHelper::jsonBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData,
    std::shared_ptr<ZQBinaryDataFieldReference>* binaryDataFieldReference) {
    std::vector<ZQBinaryDataFieldReferenceMember> references;
    std::optional<platform::Dictionary> json;
    if (level) json = levelJSON(LevelShape(*level), entityData.get(), std::nullopt, &references);
    if (binaryDataFieldReference)
        *binaryDataFieldReference =
            references.empty()
                ? nullptr
                : ZQCompositeBinaryDataFieldReference::create({}, std::move(references));
    return json;
}
