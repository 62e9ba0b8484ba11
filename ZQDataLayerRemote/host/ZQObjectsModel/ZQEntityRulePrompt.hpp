// A prompt rule of the application model: after the user picks a value for a field, a service of
// the server computes other fields of the entity from the inputs. Built by the model loader;
// immutable afterwards; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQActionParameterDescriptor.hpp"

class ZQEntityRulePrompt {
  public:
    ZQEntityRulePrompt(std::string name, std::string businessComponent, std::string field,
                       std::optional<std::string> serviceURI,
                       std::shared_ptr<const ZQActionParameters> inputs,
                       std::shared_ptr<const ZQActionParameters> outputs)
        : name_(std::move(name)),
          businessComponent_(std::move(businessComponent)),
          field_(std::move(field)),
          serviceURI_(std::move(serviceURI)),
          inputs_(std::move(inputs)),
          outputs_(std::move(outputs)) {}

    const std::string& name() const { return name_; }
    // The component whose entity the rule edits, and the prompted field.
    const std::string& businessComponent() const { return businessComponent_; }
    const std::string& field() const { return field_; }
    // The service's name, "." separating modules ("Sales.ComputeLineAmount"); none when the rule
    // calls no service.
    const std::optional<std::string>& entityRulePromptAfterServiceURI() const {
        return serviceURI_;
    }
    // None when the rule has no inputs (outputs).
    const std::shared_ptr<const ZQActionParameters>& entityRulePromptAfterServiceInputParameters()
        const {
        return inputs_;
    }
    const std::shared_ptr<const ZQActionParameters>& entityRulePromptAfterServiceOutputParameters()
        const {
        return outputs_;
    }

  private:
    std::string name_;
    std::string businessComponent_;
    std::string field_;
    std::optional<std::string> serviceURI_;
    std::shared_ptr<const ZQActionParameters> inputs_;
    std::shared_ptr<const ZQActionParameters> outputs_;
};
