#include "tools/zqdl/ZqdlProviderCatalog.hpp"

#include <cerrno>
#include <cstdlib>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithSection.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithSections.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"

namespace zqdl {

ZqdlProviderCatalog::ZqdlProviderCatalog(const ZQApplicationModel& model) {
    for (const auto& workWith : model.workWiths()) {
        for (const auto& level : workWith->levels()) {
            if (const auto& list = level->list()) {
                add(workWith, list->data(), list->parameters().value_or(ZQWorkWithParameters{}));
            }
            const auto& detail = level->detail();
            if (!detail) continue;
            add(workWith, detail->data(), detail->parameters());
            if (!detail->sections()) continue;
            for (const auto& section : detail->sections()->sections()) {
                // A section without parameters of its own takes those of its detail.
                add(workWith, section->data(),
                    section->parameters().value_or(detail->parameters()));
            }
        }
    }
}

void ZqdlProviderCatalog::add(const std::shared_ptr<const ZQWorkWithModel>& workWith,
                              const ZQWorkWithDataList& data,
                              const ZQWorkWithParameters& parameters) {
    for (const auto& item : data) {
        if (find(item->dataProviderName())) continue;
        providers_.push_back({workWith, item, parameters});
    }
}

const ZqdlProvider* ZqdlProviderCatalog::find(const std::string& name) const {
    for (const ZqdlProvider& provider : providers_) {
        if (provider.data->dataProviderName() == name) return &provider;
    }
    return nullptr;
}

std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> ZqdlProviderCatalog::dataSource(
    const ZqdlProvider& provider) {
    if (provider.data->isCollection()) {
        return ZQRemoteWorkWithCollectionDataSource::create(provider.workWith, provider.data,
                                                            provider.parameters);
    }
    return ZQRemoteWorkWithSingleItemDataSource::create(provider.workWith, provider.data,
                                                        provider.parameters);
}

std::string ZqdlProviderCatalog::describe(const ZqdlProvider& provider) {
    const auto& data = *provider.data;
    const auto& cache = data.cacheProperties();
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("name");
    out.string(data.dataProviderName());
    out.key("collection");
    out.boolean(data.isCollection());
    out.key("cacheEnabled");
    out.boolean(ZQWorkWithCacheProperties::isCacheEnabledForProperties(cache));
    out.key("frequencyType");
    out.string(ZQWorkWithCacheProperties::frequencyTypeForProperties(cache) ==
                       ZQWorkWithCacheFrequencyAfterElapsedTime
                   ? "afterElapsedTime"
                   : "always");
    out.key("frequencyMinutes");
    out.integer(ZQWorkWithCacheProperties::frequencyAfterElipsedTimeForProperties(cache));
    out.key("parameters");
    out.beginArray();
    for (const auto& parameter : provider.parameters) {
        out.beginObject();
        out.key("name");
        out.string(parameter->name());
        out.key("type");
        out.string(ZQDataTypeName(parameter->dataType()));
        out.endObject();
    }
    out.endArray();
    out.key("orders");
    out.beginArray();
    for (const auto& order : data.orders()) {
        out.beginObject();
        out.key("name");
        out.string(order->name());
        out.key("fields");
        out.beginArray();
        for (const auto& field : order->fields()) out.string(field);
        out.endArray();
        out.endObject();
    }
    out.endArray();
    out.key("searchFields");
    out.beginArray();
    if (data.filterSearch()) {
        for (const auto& field : data.filterSearch()->fields()) out.string(field);
    }
    out.endArray();
    out.endObject();
    return out.text();
}

std::optional<platform::Value> ZqdlProviderCatalog::parameterValue(
    const ZQTypedObjectInfo& parameter, const std::string& text, std::string* error) {
    auto refuse = [&](const char* kind) -> std::optional<platform::Value> {
        if (error)
            *error = "parameter " + parameter.name() + " needs " + kind + ", not \"" + text + "\"";
        return std::nullopt;
    };
    switch (parameter.dataType()) {
        case ZQDataTypeNumeric: {
            if (text.empty()) return refuse("a number");
            char* end = nullptr;
            errno = 0;
            if (parameter.decimals() == 0) {
                long long whole = std::strtoll(text.c_str(), &end, 10);
                if (errno != 0 || *end != '\0') return refuse("a whole number");
                return platform::Value(whole);
            }
            double number = std::strtod(text.c_str(), &end);
            if (errno != 0 || *end != '\0') return refuse("a number");
            return platform::Value(number);
        }
        case ZQDataTypeBoolean:
            if (text == "true" || text == "1") return platform::Value(true);
            if (text == "false" || text == "0") return platform::Value(false);
            return refuse("true or false");
        default:
            return platform::Value(text);
    }
}

}  // namespace zqdl
