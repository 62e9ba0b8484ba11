#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"

void ZQAppendLowercaseName(std::string& out, std::string_view name) {
    // ASCII letters only, whatever the process's locale: a single-byte locale's tolower would
    // rewrite the bytes of UTF-8 names, and a cache schema's names must not depend on it.
    for (char c : name) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ZQLowercaseName(std::string_view name) {
    std::string lower;
    lower.reserve(name.size());
    ZQAppendLowercaseName(lower, name);
    return lower;
}

namespace {
template <typename T>
std::shared_ptr<const T> find(const std::map<std::string, std::shared_ptr<const T>>& table,
                              const std::string& key) {
    auto it = table.find(key);
    return it == table.end() ? nullptr : it->second;
}

std::shared_ptr<const ZQWorkWithData> findIn(const ZQWorkWithDataList& data,
                                             const std::string& name) {
    return ZQWorkWithData::workWithDataForDataProviderName(name, data);
}
}  // namespace

std::shared_ptr<const ZQApplicationModel> ZQApplicationModel::currentModel() {
    auto model = ZQModel::currentModel();
    return model ? model->appModel() : nullptr;
}

std::optional<platform::URL> ZQApplicationModel::appServerBaseUrl() const {
    platform::MutexLock lock(mutex_);
    return appServerBaseUrl_;
}

void ZQApplicationModel::setAppServerBaseUrl(std::optional<platform::URL> url) {
    platform::MutexLock lock(mutex_);
    appServerBaseUrl_ = std::move(url);
}

std::shared_ptr<const ZQTypedObjectInfo> ZQApplicationModel::attributeInfoNamed(
    const std::string& name) const {
    return find(attributeInfoByName_, ZQLowercaseName(name));
}

std::shared_ptr<const ZQTypedObjectInfo> ZQApplicationModel::domainInfoNamed(
    const std::string& name) const {
    return find(domainInfoByName_, ZQLowercaseName(name));
}

std::shared_ptr<const ZQStructuredDataTypeInfo> ZQApplicationModel::sdtInfoNamed(
    const std::string& name) const {
    return find(sdtInfoByName_, ZQLowercaseName(name));
}

std::shared_ptr<const ZQBusinessComponentModel> ZQApplicationModel::businessComponentNamed(
    const std::string& name) const {
    return find(businessComponentsByName_, name);
}

std::shared_ptr<const ZQWorkWithData> ZQApplicationModel::dataProviderNamed(
    const std::string& name) const {
    for (const auto& workWith : workWiths_) {
        for (const auto& level : workWith->levels()) {
            if (level->list())
                if (auto data = findIn(level->list()->data(), name)) return data;
            const auto& detail = level->detail();
            if (!detail) continue;
            if (auto data = findIn(detail->data(), name)) return data;
            if (!detail->sections()) continue;
            for (const auto& section : detail->sections()->sections())
                if (auto data = findIn(section->data(), name)) return data;
        }
    }
    return nullptr;
}

void ZQApplicationModel::addAttributeInfo(std::shared_ptr<const ZQTypedObjectInfo> info) {
    auto key = ZQLowercaseName(info->name());
    attributeInfoByName_[key] = std::move(info);
}

void ZQApplicationModel::addDomainInfo(std::shared_ptr<const ZQTypedObjectInfo> info) {
    auto key = ZQLowercaseName(info->name());
    domainInfoByName_[key] = std::move(info);
}

void ZQApplicationModel::addSDTInfo(std::shared_ptr<const ZQStructuredDataTypeInfo> info) {
    auto key = ZQLowercaseName(info->name());
    sdtInfoByName_[key] = std::move(info);
}

void ZQApplicationModel::addBusinessComponent(
    std::shared_ptr<const ZQBusinessComponentModel> component) {
    businessComponentsByName_[component->name()] = component;
    businessComponents_.push_back(std::move(component));
}

void ZQApplicationModel::addWorkWith(std::shared_ptr<const ZQWorkWithModel> workWith) {
    workWithsByName_[workWith->name()] = workWith;
    workWiths_.push_back(std::move(workWith));
}

namespace {
template <typename T>
std::shared_ptr<const T> named(const ZQApplicationModel::ByName<T>& table,
                               const std::string& name) {
    auto found = table.find(name);
    return found == table.end() ? nullptr : found->second;
}
}  // namespace

std::shared_ptr<const ZQDynamicDataService> ZQApplicationModel::dataServiceNamed(
    const std::string& name) const {
    return named(dataServicesByName_, name);
}

const ZQEntityDataFieldServices* ZQApplicationModel::fieldServicesFor(
    const std::string& businessComponent, const std::string& field) const {
    for (const auto& services : fieldServices_)
        if (services.businessComponent == businessComponent &&
            ZQLowercaseName(services.field) == ZQLowercaseName(field))
            return &services;
    return nullptr;
}

std::shared_ptr<const ZQEntityRulePrompt> ZQApplicationModel::promptRuleNamed(
    const std::string& name) const {
    return named(promptRulesByName_, name);
}

void ZQApplicationModel::addDataService(std::shared_ptr<const ZQDynamicDataService> service) {
    dataServicesByName_[service->dynamicDataServiceName()] = std::move(service);
}

void ZQApplicationModel::addFieldServices(ZQEntityDataFieldServices services) {
    fieldServices_.push_back(std::move(services));
}

void ZQApplicationModel::addPromptRule(std::shared_ptr<const ZQEntityRulePrompt> rule) {
    promptRulesByName_[rule->name()] = std::move(rule);
}
