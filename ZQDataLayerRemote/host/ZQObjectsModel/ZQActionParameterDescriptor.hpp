// One parameter of a called service (a field's data service, a prompt rule's service): the name
// the service knows it by and where its value comes from (a field of the entity being edited, a
// variable of the calling action, a constant, or nothing: the caller fills it in, as the typed
// text of a look-up). Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/Value.hpp"

class ZQActionParameterDescriptor {
  public:
    ZQActionParameterDescriptor(std::string targetName, std::optional<std::string> fieldName,
                                platform::Value constantValue,
                                std::shared_ptr<const ZQEntityDataFieldInfo> fieldInfo)
        : targetName_(std::move(targetName)),
          fieldName_(std::move(fieldName)),
          constantValue_(std::move(constantValue)),
          fieldInfo_(std::move(fieldInfo)) {}

    // The parameter's name in the called service's URL ("Text", "CustomerId").
    const std::string& actionParameterCalledTargetParameterName() const { return targetName_; }
    // The field ("CustomerId") or variable ("&Total") the value is read from; none for a
    // constant or a parameter the caller fills in.
    const std::optional<std::string>& actionParameterFieldName() const { return fieldName_; }
    // Absent unless the parameter is a constant.
    const platform::Value& actionParameterConstantValue() const { return constantValue_; }
    // The value's type: the bound attribute's, or the one the model gives; none when unknown.
    const std::shared_ptr<const ZQEntityDataFieldInfo>& actionParameterFieldInfo() const {
        return fieldInfo_;
    }

  private:
    std::string targetName_;
    std::optional<std::string> fieldName_;
    platform::Value constantValue_;
    std::shared_ptr<const ZQEntityDataFieldInfo> fieldInfo_;
};

using ZQActionParameterDescriptors =
    std::vector<std::shared_ptr<const ZQActionParameterDescriptor>>;

// A list of parameters as a prompt rule offers its inputs and outputs.
class ZQActionParameters {
  public:
    explicit ZQActionParameters(ZQActionParameterDescriptors descriptors)
        : descriptors_(std::move(descriptors)) {}
    const ZQActionParameterDescriptors& actionParametersDescriptors() const { return descriptors_; }

  private:
    ZQActionParameterDescriptors descriptors_;
};
