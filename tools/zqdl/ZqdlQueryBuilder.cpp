#include "tools/zqdl/ZqdlQueryBuilder.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"

namespace zqdl {

std::shared_ptr<ZQEntityDataQueryInfo> ZqdlQueryBuilder::make(
    const ZqdlProvider& provider,
    const std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>& dataSource,
    const QueryOptions& options, std::string* error) {
    if (!checkCollectionOptions(provider, options, error)) return nullptr;
    error->clear();
    std::optional<platform::Array> parameters = parameterValues(provider, options, error);
    if (!error->empty()) return nullptr;
    if (provider.data->isCollection()) {
        auto collection =
            std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(dataSource);
        auto query = ZQRemoteEntityDataQueryCollectionInfo::create(
            collection, options.type, std::move(parameters), options.zqid, options.allLoadedData,
            options.pageSize, options.orderIndex, options.searchText, options.searchFieldIndex,
            std::nullopt);
        query->setForce(options.force);
        return query;
    }
    auto single =
        std::dynamic_pointer_cast<const ZQSingleItemEntityDataSourceDescriptor>(dataSource);
    auto query = ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        single, options.type, std::move(parameters), options.zqid);
    query->setForce(options.force);
    return query;
}

bool ZqdlQueryBuilder::checkCollectionOptions(const ZqdlProvider& provider,
                                              const QueryOptions& options, std::string* error) {
    const std::string& name = provider.data->dataProviderName();
    if (!provider.data->isCollection()) {
        if (options.pageSize != 0 || options.allLoadedData || options.orderIndex != ZQNotFound ||
            options.searchText || options.searchFieldIndex != ZQNotFound || options.type == 3) {
            *error = name +
                     " gives a single item: --page-size, --all-loaded, --order, --search, "
                     "--search-field and --type next do not apply";
            return false;
        }
        return true;
    }
    size_t orders = provider.data->orders().size();
    if (options.orderIndex != ZQNotFound && options.orderIndex >= orders) {
        *error = name + " has " + std::to_string(orders) + " orders; --order must be below that";
        return false;
    }
    size_t searchFields =
        provider.data->filterSearch() ? provider.data->filterSearch()->fields().size() : 0;
    if (options.searchFieldIndex != ZQNotFound && options.searchFieldIndex >= searchFields) {
        *error = name + " has " + std::to_string(searchFields) +
                 " search fields; --search-field must be below that";
        return false;
    }
    return true;
}

std::optional<platform::Array> ZqdlQueryBuilder::parameterValues(const ZqdlProvider& provider,
                                                                 const QueryOptions& options,
                                                                 std::string* error) {
    const ZQWorkWithParameters& declared = provider.parameters;
    if (options.parameters.size() != declared.size()) {
        std::string names;
        for (const auto& parameter : declared)
            names += (names.empty() ? "" : ", ") + parameter->name();
        *error = provider.data->dataProviderName() + " takes " + std::to_string(declared.size()) +
                 " parameter(s)" + (names.empty() ? "" : " (" + names + ")") + ", given " +
                 std::to_string(options.parameters.size());
        return std::nullopt;
    }
    if (declared.empty()) return std::nullopt;
    platform::Array values;
    for (size_t i = 0; i < declared.size(); ++i) {
        auto value =
            ZqdlProviderCatalog::parameterValue(*declared[i], options.parameters[i], error);
        if (!value) return std::nullopt;
        values.push_back(std::move(*value));
    }
    return values;
}

}  // namespace zqdl
