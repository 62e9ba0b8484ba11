#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelFileReader.hpp"

#include <algorithm>
#include <utility>

using platform::Value;

std::string ZQModelFileReader::member(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string ZQModelFileReader::element(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void ZQModelFileReader::fail(std::string path, std::string message) {
    throw Failure{std::move(path), std::move(message)};
}

std::string ZQModelFileReader::describeKind(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Absent:
            return "nothing";
        case Value::Kind::Null:
            return "null";
        case Value::Kind::Bool:
            return "a boolean";
        case Value::Kind::Integer:
        case Value::Kind::Double:
        case Value::Kind::Decimal:
            return "a number";
        case Value::Kind::String:
            return "a string";
        case Value::Kind::Array:
            return "an array";
        case Value::Kind::Dictionary:
            return "an object";
        default:
            return std::string("a ") + platform::kindName(value.kind());
    }
}

const platform::Dictionary& ZQModelFileReader::object(const Value& value, const std::string& path) {
    const auto* dictionary = value.dictionary();
    if (!dictionary) fail(path, "expected an object, found " + describeKind(value));
    return *dictionary;
}

void ZQModelFileReader::allowMembers(const platform::Dictionary& object, const std::string& path,
                                     std::initializer_list<std::string_view> allowed) {
    for (const auto& [key, value] : object) {
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
            fail(member(path, key), "unknown member");
    }
}

std::string ZQModelFileReader::requiredString(const platform::Dictionary& object,
                                              const std::string& path, std::string_view key) {
    auto text = optionalString(object, path, key);
    if (!text) fail(member(path, key), "missing required member");
    return *text;
}

std::optional<std::string> ZQModelFileReader::optionalString(const platform::Dictionary& object,
                                                             const std::string& path,
                                                             std::string_view key) {
    const Value* value = object.find(key);
    if (!value) return std::nullopt;
    std::optional<std::string_view> text = value->string();
    if (!text) fail(member(path, key), "expected a string, found " + describeKind(*value));
    if (text->empty()) fail(member(path, key), "expected a non-empty string");
    return std::string(*text);
}

bool ZQModelFileReader::optionalBool(const platform::Dictionary& object, const std::string& path,
                                     std::string_view key, bool defaultValue) {
    const Value* value = object.find(key);
    if (!value) return defaultValue;
    if (value->kind() != Value::Kind::Bool)
        fail(member(path, key), "expected a boolean, found " + describeKind(*value));
    return *value->boolean();
}

std::optional<uint64_t> ZQModelFileReader::optionalUnsigned(const platform::Dictionary& object,
                                                            const std::string& path,
                                                            std::string_view key, uint64_t max) {
    const Value* value = object.find(key);
    if (!value) return std::nullopt;
    if (!value->isNumber())
        fail(member(path, key), "expected a number, found " + describeKind(*value));
    auto whole = value->integer();
    if (!whole || *whole < 0 || static_cast<uint64_t>(*whole) > max)
        fail(member(path, key), "expected a whole number from 0 to " + std::to_string(max));
    return static_cast<uint64_t>(*whole);
}

const platform::Array& ZQModelFileReader::optionalArray(const platform::Dictionary& object,
                                                        const std::string& path,
                                                        std::string_view key) {
    static const platform::Array kEmpty;
    const Value* value = object.find(key);
    if (!value) return kEmpty;
    const auto* array = value->array();
    if (!array) fail(member(path, key), "expected an array, found " + describeKind(*value));
    return *array;
}

const platform::Array& ZQModelFileReader::requiredArray(const platform::Dictionary& object,
                                                        const std::string& path,
                                                        std::string_view key) {
    if (!object.contains(key)) fail(member(path, key), "missing required member");
    return optionalArray(object, path, key);
}

std::optional<std::vector<std::string>> ZQModelFileReader::optionalStringArray(
    const platform::Dictionary& object, const std::string& path, std::string_view key) {
    if (!object.contains(key)) return std::nullopt;
    const auto& array = optionalArray(object, path, key);
    std::vector<std::string> strings;
    std::string arrayPath = member(path, key);
    for (size_t i = 0; i < array.size(); ++i) {
        std::optional<std::string_view> text = array[i].string();
        if (!text || text->empty())
            fail(element(arrayPath, i),
                 "expected a non-empty string, found " + describeKind(array[i]));
        strings.emplace_back(*text);
    }
    return strings;
}
