// The loaded application model: type definitions (attributes, domains, structured types, by
// lower-cased name), business components and Work With models, and the REST server's base URL.
// Everything but the base URL is fixed at load and read from any thread without a lock; the base
// URL may be replaced while the model runs (tests point it at a loopback server), so mutex_
// guards it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplication.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldServices.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityRulePrompt.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQStructuredDataTypeInfo.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"

class ZQApplicationModel : public ZQApplication {
  public:
    template <typename T>
    using ByName = std::map<std::string, std::shared_ptr<const T>>;

    ZQApplicationModel(std::string name, std::filesystem::path modelFilePath)
        : ZQApplication(std::move(name), std::move(modelFilePath)) {}

    // The application model of ZQModel::currentModel(); none when no model runs.
    static std::shared_ptr<const ZQApplicationModel> currentModel();

    // None when the model file gives none and nobody set one.
    std::optional<platform::URL> appServerBaseUrl() const EXCLUDES(mutex_);
    void setAppServerBaseUrl(std::optional<platform::URL> url) EXCLUDES(mutex_);

    // Keys are the names in lower case.
    const ByName<ZQTypedObjectInfo>& attributeInfoByName() const { return attributeInfoByName_; }
    const ByName<ZQTypedObjectInfo>& domainInfoByName() const { return domainInfoByName_; }
    const ByName<ZQStructuredDataTypeInfo>& sdtInfoByName() const { return sdtInfoByName_; }
    // Keys are the names as written.
    const ByName<ZQBusinessComponentModel>& businessComponentsByName() const {
        return businessComponentsByName_;
    }
    const ByName<ZQWorkWithModel>& workWithsByName() const { return workWithsByName_; }
    // In the order of the model file.
    const std::vector<std::shared_ptr<const ZQBusinessComponentModel>>& businessComponents() const {
        return businessComponents_;
    }
    const std::vector<std::shared_ptr<const ZQWorkWithModel>>& workWiths() const {
        return workWiths_;
    }

    // Look-ups by name (attribute, domain and structured-type names in any letter case).
    std::shared_ptr<const ZQTypedObjectInfo> attributeInfoNamed(const std::string& name) const;
    std::shared_ptr<const ZQTypedObjectInfo> domainInfoNamed(const std::string& name) const;
    std::shared_ptr<const ZQStructuredDataTypeInfo> sdtInfoNamed(const std::string& name) const;
    std::shared_ptr<const ZQBusinessComponentModel> businessComponentNamed(
        const std::string& name) const;
    // The first data provider of that name in any list, detail or section; none when absent.
    std::shared_ptr<const ZQWorkWithData> dataProviderNamed(const std::string& name) const;

    // The field services: data services by name, the services of a component's field, prompt
    // rules by name. None when absent.
    std::shared_ptr<const ZQDynamicDataService> dataServiceNamed(const std::string& name) const;
    const ZQEntityDataFieldServices* fieldServicesFor(const std::string& businessComponent,
                                                      const std::string& field) const;
    std::shared_ptr<const ZQEntityRulePrompt> promptRuleNamed(const std::string& name) const;
    const std::vector<ZQEntityDataFieldServices>& fieldServices() const { return fieldServices_; }
    const ByName<ZQEntityRulePrompt>& promptRulesByName() const { return promptRulesByName_; }
    const ByName<ZQDynamicDataService>& dataServicesByName() const { return dataServicesByName_; }

    // Loader only, before the model is published.
    void addDataService(std::shared_ptr<const ZQDynamicDataService> service);
    void addFieldServices(ZQEntityDataFieldServices services);
    void addPromptRule(std::shared_ptr<const ZQEntityRulePrompt> rule);
    void addAttributeInfo(std::shared_ptr<const ZQTypedObjectInfo> info);
    void addDomainInfo(std::shared_ptr<const ZQTypedObjectInfo> info);
    void addSDTInfo(std::shared_ptr<const ZQStructuredDataTypeInfo> info);
    void addBusinessComponent(std::shared_ptr<const ZQBusinessComponentModel> component);
    void addWorkWith(std::shared_ptr<const ZQWorkWithModel> workWith);

  private:
    mutable platform::Mutex mutex_;
    std::optional<platform::URL> appServerBaseUrl_ GUARDED_BY(mutex_);
    ByName<ZQTypedObjectInfo> attributeInfoByName_;
    ByName<ZQTypedObjectInfo> domainInfoByName_;
    ByName<ZQStructuredDataTypeInfo> sdtInfoByName_;
    ByName<ZQBusinessComponentModel> businessComponentsByName_;
    ByName<ZQWorkWithModel> workWithsByName_;
    std::vector<std::shared_ptr<const ZQBusinessComponentModel>> businessComponents_;
    std::vector<std::shared_ptr<const ZQWorkWithModel>> workWiths_;
    ByName<ZQDynamicDataService> dataServicesByName_;
    std::vector<ZQEntityDataFieldServices> fieldServices_;
    ByName<ZQEntityRulePrompt> promptRulesByName_;
};

// The lower-case form used for the keys of the type-information tables (ASCII letters only).
std::string ZQLowercaseName(std::string_view name);
// Appends that form of `name` to `out` (names made of a prefix and a field's name).
void ZQAppendLowercaseName(std::string& out, std::string_view name);
