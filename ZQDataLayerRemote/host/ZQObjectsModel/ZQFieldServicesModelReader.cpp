#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQFieldServicesModelReader.hpp"

#include <set>
#include <utility>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelFileReader.hpp"

using R = ZQModelFileReader;
using Loader = ZQApplicationModelLoader;

void ZQFieldServicesModelReader::read(const platform::Dictionary& root) {
    readDataServices(R::optionalArray(root, "", "dataServices"));
    readFieldServices(R::optionalArray(root, "", "fieldServices"));
    readPromptRules(R::optionalArray(root, "", "promptRules"));
}

void ZQFieldServicesModelReader::readDataServices(const platform::Array& services) {
    for (size_t i = 0; i < services.size(); ++i) {
        std::string path = R::element("dataServices", i);
        const auto& object = R::object(services[i], path);
        R::allowMembers(object, path, {"name", "url", "parameters"});
        std::string name = R::requiredString(object, path, "name");
        if (model_.dataServiceNamed(name))
            R::fail(R::member(path, "name"), "duplicate data service \"" + name + "\"");
        std::string url = R::requiredString(object, path, "url");
        auto parameters = readParameters(R::optionalArray(object, path, "parameters"),
                                         R::member(path, "parameters"));
        model_.addDataService(std::make_shared<ZQRemoteDynamicDataService>(
            std::move(name), std::move(url), std::move(parameters)));
    }
}

ZQActionParameterDescriptors ZQFieldServicesModelReader::readParameters(
    const platform::Array& parameters, const std::string& path) {
    ZQActionParameterDescriptors descriptors;
    for (size_t i = 0; i < parameters.size(); ++i) {
        std::string parameterPath = R::element(path, i);
        const auto& object = R::object(parameters[i], parameterPath);
        for (const auto& [key, value] : object)
            if (key != "name" && key != "field" && key != "value" && !Loader::isTypeSpecMember(key))
                R::fail(R::member(parameterPath, key), "unknown member");
        std::string name = R::requiredString(object, parameterPath, "name");
        auto field = R::optionalString(object, parameterPath, "field");
        platform::Value constant = object.get("value");
        if (field && !constant.isNothing())
            R::fail(R::member(parameterPath, "value"),
                    "a parameter has a field or a value, not both");
        std::shared_ptr<const ZQEntityDataFieldInfo> info;
        if (auto typeInfo = Loader::readTypeSpec(
                object, parameterPath, name,
                Loader::kTypeSpecOwn | Loader::kTypeSpecDomain | Loader::kTypeSpecAttribute,
                false)) {
            if (!Loader::resolve(*typeInfo, model_))
                R::fail(parameterPath, "no definition named \"" + typeInfo->basedOnName() + "\"");
            info = std::move(typeInfo);
        } else if (field && !field->empty() && (*field)[0] != '&') {
            info = model_.attributeInfoNamed(*field);
        }
        descriptors.push_back(std::make_shared<ZQActionParameterDescriptor>(
            std::move(name), std::move(field), std::move(constant), std::move(info)));
    }
    return descriptors;
}

std::shared_ptr<const ZQDynamicDataService> ZQFieldServicesModelReader::serviceReference(
    const platform::Dictionary& object, const std::string& path, std::string_view key) {
    auto name = R::optionalString(object, path, key);
    if (!name) return nullptr;
    auto service = model_.dataServiceNamed(*name);
    if (!service) R::fail(R::member(path, key), "no data service named \"" + *name + "\"");
    return service;
}

const ZQBusinessComponentModel& ZQFieldServicesModelReader::component(
    const platform::Dictionary& object, const std::string& path) {
    std::string name = R::requiredString(object, path, "businessComponent");
    auto found = model_.businessComponentNamed(name);
    if (!found)
        R::fail(R::member(path, "businessComponent"),
                "no business component named \"" + name + "\"");
    return *found;
}

void ZQFieldServicesModelReader::checkField(const ZQBusinessComponentModel& component,
                                            const std::string& field, const std::string& path) {
    for (const auto& level : component.allLevels())
        for (const auto& attribute : level->attributes())
            if (ZQLowercaseName(attribute->name()) == ZQLowercaseName(field)) return;
    R::fail(R::member(path, "field"),
            "business component \"" + component.name() + "\" has no attribute \"" + field + "\"");
}

void ZQFieldServicesModelReader::readFieldServices(const platform::Array& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string path = R::element("fieldServices", i);
        const auto& object = R::object(entries[i], path);
        R::allowMembers(object, path, {"businessComponent", "field", "dynamicCombo", "hideCode"});
        ZQEntityDataFieldServices services;
        services.businessComponent = component(object, path).name();
        services.field = R::requiredString(object, path, "field");
        checkField(component(object, path), services.field, path);
        if (model_.fieldServicesFor(services.businessComponent, services.field))
            R::fail(path, "the services of \"" + services.businessComponent + "\" field \"" +
                              services.field + "\" are given twice");
        services.dynamicCombo = serviceReference(object, path, "dynamicCombo");
        if (object.contains("hideCode")) {
            std::string hidePath = R::member(path, "hideCode");
            const auto& hide = R::object(object.get("hideCode"), hidePath);
            R::allowMembers(hide, hidePath, {"code", "description", "suggest"});
            services.hideCode = serviceReference(hide, hidePath, "code");
            services.hideCodeRev = serviceReference(hide, hidePath, "description");
            services.suggest = serviceReference(hide, hidePath, "suggest");
        }
        model_.addFieldServices(std::move(services));
    }
}

void ZQFieldServicesModelReader::readPromptRules(const platform::Array& rules) {
    for (size_t i = 0; i < rules.size(); ++i) {
        std::string path = R::element("promptRules", i);
        const auto& object = R::object(rules[i], path);
        R::allowMembers(object, path,
                        {"name", "businessComponent", "field", "service", "inputs", "outputs"});
        std::string name = R::requiredString(object, path, "name");
        if (model_.promptRuleNamed(name))
            R::fail(R::member(path, "name"), "duplicate prompt rule \"" + name + "\"");
        const auto& owner = component(object, path);
        std::string field = R::requiredString(object, path, "field");
        checkField(owner, field, path);
        auto parameters = [&](std::string_view key) -> std::shared_ptr<const ZQActionParameters> {
            if (!object.contains(std::string(key))) return nullptr;
            return std::make_shared<ZQActionParameters>(
                readParameters(R::optionalArray(object, path, key), R::member(path, key)));
        };
        auto inputs = parameters("inputs");
        auto outputs = parameters("outputs");
        model_.addPromptRule(std::make_shared<ZQEntityRulePrompt>(
            std::move(name), owner.name(), std::move(field),
            R::optionalString(object, path, "service"), std::move(inputs), std::move(outputs)));
    }
}
