#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDynamicDataChoice.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"

using platform::Value;

namespace {

bool isScalar(const Value& value) {
    return value.isString() || value.isNumber() || value.kind() == Value::Kind::Bool;
}

// The choice an element gives, or none when it has no usable code.
std::optional<ZQDynamicDataChoice> choiceFrom(const Value& element) {
    Value code, description;
    if (element.isDictionary()) {
        code = element["code"].isNothing() ? element["value"] : element["code"];
        description = element["description"].isNothing() ? element["text"] : element["description"];
    } else if (element.isArray() && !element.array()->empty()) {
        code = (*element.array())[0];
        if (element.array()->size() > 1) description = (*element.array())[1];
    } else if (isScalar(element)) {
        code = element;
    }
    if (!isScalar(code)) return std::nullopt;
    if (description.isNothing()) description = code;
    if (!isScalar(description)) return std::nullopt;
    return ZQDynamicDataChoice{code, ZQEntityHelper::plainTextFromValue(description)};
}

}  // namespace

ZQDynamicDataChoicesResult ZQDynamicDataChoicesFromParsedData(const Value& parsedData) {
    ZQDynamicDataChoicesResult result;
    if (!parsedData.isArray()) {
        result.error = defaultZQErrorWithDeveloperDescription(
            "the data service did not answer an array of choices");
        return result;
    }
    const auto& elements = *parsedData.array();
    result.choices.reserve(elements.size());
    for (size_t i = 0; i < elements.size(); ++i) {
        auto choice = choiceFrom(elements[i]);
        if (!choice) {
            result.choices.clear();
            result.error = defaultZQErrorWithDeveloperDescription(
                "choice " + std::to_string(i) + " of the data service's answer has no code");
            return result;
        }
        result.choices.push_back(std::move(*choice));
    }
    return result;
}
