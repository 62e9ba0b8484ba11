#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"

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

std::optional<platform::Dictionary> levelJSON(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData,
    std::optional<size_t> lineIndex, std::vector<ZQBinaryDataFieldReferenceMember>* references) {
    if (!level || !entityData) return std::nullopt;
    // Gathered, then sorted once: set one by one, a line's members would shift the ones before.
    std::vector<platform::Dictionary::Entry> json;
    json.reserve(level->attributes().size() + level->childLevels().size());
    for (const auto& attribute : level->attributes()) {
        Value value = entityData->valueForEntityDataFieldName(attribute->name());
        if (value.isAbsent()) continue;
        if (references) {
            if (auto reference = binaryReference(*attribute, value)) {
                references->push_back({attribute->name(), lineIndex, std::move(reference)});
                json.emplace_back(attribute->name(), Value::null());
                continue;
            }
        }
        if (value.kind() == Value::Kind::Date) {
            const auto& info = attribute->fieldInfo();
            std::string iso = platform::iso8601String(*value.date());
            bool dateOnly = info && info->entityDataFieldInfoDataType() == ZQDataTypeDate;
            value = Value(dateOnly ? iso.substr(0, 10) : iso);
        }
        json.emplace_back(attribute->name(), std::move(value));
    }
    for (const auto& child : level->childLevels()) {
        auto lines = entityData->entityChildLevelEntitiesForLevelName(child->levelName());
        if (!lines) continue;
        platform::Array items;
        items.reserve(lines->size());
        std::vector<ZQBinaryDataFieldReferenceMember> lineReferences;
        for (size_t i = 0; i < lines->size(); ++i) {
            // Only the root's own lines are looked into for binary values.
            auto* into = references && !lineIndex ? &lineReferences : nullptr;
            if (auto item = levelJSON(child, (*lines)[i], i, into))
                items.push_back(Value(std::move(*item)));
        }
        json.emplace_back(child->levelName(), Value(std::move(items)));
        if (references && !lineReferences.empty())
            references->push_back({child->levelName(), std::nullopt,
                                   ZQCompositeBinaryDataFieldReference::create(
                                       child->levelName(), std::move(lineReferences))});
    }
    return platform::Dictionary::fromEntries(std::move(json));
}

}  // namespace

std::optional<platform::Dictionary> ZQEntityHelper::jsonBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData) {
    return levelJSON(level, entityData, std::nullopt, nullptr);
}

std::optional<platform::Dictionary> ZQEntityHelper::jsonBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData,
    std::shared_ptr<ZQBinaryDataFieldReference>* binaryDataFieldReference) {
    std::vector<ZQBinaryDataFieldReferenceMember> references;
    auto json = levelJSON(level, entityData, std::nullopt, &references);
    if (binaryDataFieldReference)
        *binaryDataFieldReference =
            references.empty()
                ? nullptr
                : ZQCompositeBinaryDataFieldReference::create({}, std::move(references));
    return json;
}
