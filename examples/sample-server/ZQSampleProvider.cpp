#include "examples/sample-server/ZQSampleProvider.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace {

// The client writes filter parameter names with ICU's root lower-casing; so does the server, so
// that a non-ASCII field name still meets its parameter.
std::string lowercased(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(out);
    return out;
}

std::vector<std::string> parameterNames(const ZQWorkWithParameters& parameters) {
    std::vector<std::string> names;
    for (const auto& parameter : parameters) {
        if (!parameter) continue;
        std::string name = parameter->name();
        if (!name.empty() && name.front() == '&') name.erase(0, 1);
        names.push_back(std::move(name));
    }
    return names;
}

std::shared_ptr<ZQSampleProvider> describe(const ZQWorkWithData& data,
                                           const ZQWorkWithParameters& parameters) {
    auto provider = std::make_shared<ZQSampleProvider>();
    provider->name = data.dataProviderName();
    provider->path = provider->name;
    std::replace(provider->path.begin(), provider->path.end(), '.', '/');
    provider->isCollection = data.isCollection();
    provider->parameters = parameterNames(parameters);
    for (const auto& element : data.elements()) {
        const auto& info = element->fieldInfo();
        if (info && info->ensureBasedOnInfoIsLoaded()) {
            provider->fieldTypes[element->name()] = info->dataType();
        }
    }
    for (const auto& order : data.orders()) provider->orders.push_back(order->fields());
    if (data.filterSearch()) provider->searchFields = data.filterSearch()->fields();
    if (data.filterAdvanced()) {
        for (const auto& field : data.filterAdvanced()->fields()) {
            ZQSampleFilterField filter;
            filter.field = field.name;
            filter.range = field.type == ZQWorkWithDataFilterAdvancedFieldRange;
            filter.parameterName = "C" + lowercased(field.name);
            if (field.info && field.info->ensureBasedOnInfoIsLoaded()) {
                filter.type = field.info->dataType();
            } else {
                filter.type = provider->typeOfField(field.name);
            }
            provider->filterFields.push_back(std::move(filter));
        }
    }
    return provider;
}

}  // namespace

std::optional<ZQDataType> ZQSampleProvider::typeOfField(const std::string& field) const {
    auto found = fieldTypes.find(field);
    if (found == fieldTypes.end()) return std::nullopt;
    return found->second;
}

std::map<std::string, std::shared_ptr<const ZQSampleProvider>> ZQSampleProvider::catalog(
    const ZQApplicationModel& model) {
    std::map<std::string, std::shared_ptr<const ZQSampleProvider>> providers;
    auto add = [&](const ZQWorkWithDataList& list, const ZQWorkWithParameters& parameters) {
        for (const auto& data : list) {
            if (data && !providers.count(data->dataProviderName())) {
                providers.emplace(data->dataProviderName(), describe(*data, parameters));
            }
        }
    };
    for (const auto& workWith : model.workWiths()) {
        for (const auto& level : workWith->levels()) {
            if (const auto& list = level->list()) {
                add(list->data(), list->parameters().value_or(ZQWorkWithParameters{}));
            }
            const auto& detail = level->detail();
            if (!detail) continue;
            add(detail->data(), detail->parameters());
            if (!detail->sections()) continue;
            for (const auto& section : detail->sections()->sections()) {
                add(section->data(), section->parameters().value_or(detail->parameters()));
            }
        }
    }
    return providers;
}
