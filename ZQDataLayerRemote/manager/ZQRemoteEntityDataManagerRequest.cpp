#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManagerRequest.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

using platform::Value;

namespace {

std::string lowercased(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(out);
    return out;
}

// The data source's parameter values by parameter name, as URL text.
platform::Dictionary providerParameters(const ZQEntityDataSourceDescriptor& dataSource,
                                        const platform::Array& values) {
    static const ZQEntityDataFieldDescriptors kNone;
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> descriptor =
        dataSource.entityDataSourceParametersDescriptor();
    return ZQEntityHelper::urlParametersFromFieldsDescriptors(
        descriptor ? descriptor->entityDataFieldDescriptors() : kNone, values);
}

// "C<field>" for a single value, "C<field>from" and "C<field>to" for a range, for each field of
// the filter (in its order) that the query gives a value; a missing bound is sent as null.
void addAdvancedFilterParameters(const ZQEntityListFilterAdvancedDescriptor& filter,
                                 const ZQEntityListFilterAdvancedFieldValues& values,
                                 platform::Dictionary& parameters) {
    std::map<std::string, std::shared_ptr<const ZQEntityListFilterAdvancedFieldValue>> byField;
    for (const auto& value : values) {
        if (!value || !value->entityListFilterAdvancedField()) continue;
        byField[value->entityListFilterAdvancedField()->entityDataFieldName()] = value;
    }
    std::vector<std::string> names;
    ZQEntityDataFieldDescriptors descriptors;
    platform::Array fieldValues;
    auto add = [&](std::string name,
                   const std::shared_ptr<const ZQEntityDataFieldDescriptor>& field, Value value) {
        names.push_back(std::move(name));
        descriptors.push_back(field);
        fieldValues.push_back(value.isAbsent() ? Value::null() : std::move(value));
    };
    for (const auto& field : filter.entityListFilterAdvancedFields()) {
        if (!field) continue;
        auto found = byField.find(field->entityDataFieldName());
        if (found == byField.end()) continue;
        const auto& value = found->second;
        const std::string name = "C" + lowercased(field->entityDataFieldName());
        switch (field->entityListFilterAdvancedFieldType()) {
            case ZQEntityListFilterAdvancedFieldTypeSingle:
                add(name, field, value->entityListFilterAdvancedFieldValue());
                break;
            case ZQEntityListFilterAdvancedFieldTypeRange:
                add(name + "from", field, value->entityListFilterAdvancedFieldFromValue());
                add(name + "to", field, value->entityListFilterAdvancedFieldToValue());
                break;
            default:
                break;
        }
    }
    // One call writes every value, each typed by its own field.
    std::vector<std::string> texts =
        ZQEntityHelper::urlParametersArrayFromFieldsDescriptors(descriptors, fieldValues);
    for (size_t i = 0; i < names.size() && i < texts.size(); ++i) {
        parameters.set(names[i], Value(texts[i]));
    }
}

void addCollectionParameters(const ZQEntityDataQueryCollectionInfo& query,
                             const ZQCollectionEntityDataSourceDescriptor& dataSource,
                             platform::Dictionary& parameters) {
    if (query.orderIndex() != ZQNotFound) {
        parameters.set("Orderedby", Value(std::to_string(query.orderIndex())));
    }
    std::shared_ptr<const ZQEntityListFilterAdvancedDescriptor> filter =
        dataSource.entityDataSourceFilterAdvanced();
    if (query.advancedFilterValues() && filter &&
        !filter->entityListFilterAdvancedFields().empty()) {
        addAdvancedFilterParameters(*filter, *query.advancedFilterValues(), parameters);
    }
    if (const std::optional<std::string>& searchText = query.searchText()) {
        parameters.set("Searchtext", Value(ZQEntityHelper::urlSimpleEscapeString(*searchText)));
        // The server counts search fields from 1; 0 searches every field.
        uint64_t field = query.searchFieldIndex() == ZQNotFound ? 0 : query.searchFieldIndex() + 1;
        parameters.set("Searchfield", Value(std::to_string(field)));
    }
}

}  // namespace

std::optional<platform::URL> ZQRemoteEntityDataManagerRequest::baseURLForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo) {
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource = queryInfo.dataSource();
    if (!dataSource) return std::nullopt;
    std::string path = dataSource->entityDataSourceDataProviderName();
    std::replace(path.begin(), path.end(), '.', '/');
    return ZQEntityHelper::urlRelativeToServerBaseURL("rest/" + path);
}

std::optional<std::string> ZQRemoteEntityDataManagerRequest::queryParametersForQueryInfo(
    const ZQEntityDataQueryInfo& queryInfo) {
    std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource = queryInfo.dataSource();
    if (!dataSource) return std::nullopt;
    const std::optional<platform::Array>& values = queryInfo.parameters();
    const bool hasParameters = values && !values->empty();
    std::optional<platform::Dictionary> parameters;
    if (hasParameters) parameters = providerParameters(*dataSource, *values);
    if (dataSource->entityDataSourceIsCollection()) {
        if (!parameters) parameters.emplace();
        auto query = dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(&queryInfo);
        auto collection =
            std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(dataSource);
        if (query && collection) addCollectionParameters(*query, *collection, *parameters);
    }
    return ZQUtilities::urlParametersStringFrom(parameters ? &*parameters : nullptr, true);
}
