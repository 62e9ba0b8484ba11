#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSDTData.hpp"

#include <charconv>
#include <cstddef>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

using platform::Value;

namespace {

bool equalIgnoringASCIICase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

Value memberOf(const Value& value, std::string_view step) {
    if (const auto* members = value.dictionary()) {
        if (const Value* exact = members->find(step)) return *exact;
        // Server answers and screens do not always agree on the letter case of member names.
        for (const auto& [name, member] : *members)
            if (equalIgnoringASCIICase(name, step)) return member;
        return Value();
    }
    if (const auto* items = value.array()) {
        size_t index = 0;
        const char* end = step.data() + step.size();
        auto [ptr, ec] = std::from_chars(step.data(), end, index);
        if (ec != std::errc() || ptr != end) return Value();
        return index < items->size() ? (*items)[index] : Value();
    }
    return Value();
}

}  // namespace

bool ZQSDTData::fieldInfoIsSDTData(const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo) {
    return fieldInfo && fieldInfo->entityDataFieldInfoDataType() == ZQDataTypeSDT;
}

std::shared_ptr<ZQSDTData> ZQSDTData::sdtDataFromFieldInfo(
    const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo, const Value& value) {
    if (!fieldInfoIsSDTData(fieldInfo)) return nullptr;
    Value parsed = value;
    if (std::optional<std::string_view> text = value.string()) {
        auto result = ZQJSON::parse(*text);
        if (result.error) return nullptr;
        parsed = std::move(result.value);
    }
    if (!parsed.isDictionary() && !parsed.isArray()) return nullptr;
    return std::make_shared<ZQSDTData>(fieldInfo, std::move(parsed));
}

Value ZQSDTData::valueForFieldSpecifier(std::string_view fieldSpecifier) const {
    Value current = value_;
    if (fieldSpecifier.empty()) return current;
    while (true) {
        size_t dot = fieldSpecifier.find('.');
        std::string_view step = fieldSpecifier.substr(0, dot);
        if (step.empty()) return Value();
        current = memberOf(current, step);
        if (current.isAbsent() || dot == std::string_view::npos) return current;
        fieldSpecifier.remove_prefix(dot + 1);
    }
}

bool ZQSDTData::isEqualTo(const platform::Object& other) const {
    const auto* data = dynamic_cast<const ZQSDTData*>(&other);
    return data != nullptr && data->value_ == value_;
}

std::string ZQSDTData::description() const {
    return "<ZQSDTData " + value_.description() + ">";
}
