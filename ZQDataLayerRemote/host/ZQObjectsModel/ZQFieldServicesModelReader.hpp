// Reads the field and rule services of the application model file: "dataServices" (the REST
// services fields call), "fieldServices" (a component field's dynamic combo and hide-code
// services) and "promptRules". Used by ZQApplicationModelLoader during one load, after the
// business components, on the loading thread; shape errors throw ZQModelFileReader::Failure.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Value.hpp"

class ZQFieldServicesModelReader {
  public:
    explicit ZQFieldServicesModelReader(ZQApplicationModel& model) : model_(model) {}
    void read(const platform::Dictionary& root);

  private:
    void readDataServices(const platform::Array& services);
    void readFieldServices(const platform::Array& entries);
    void readPromptRules(const platform::Array& rules);
    ZQActionParameterDescriptors readParameters(const platform::Array& parameters,
                                                const std::string& path);
    std::shared_ptr<const ZQDynamicDataService> serviceReference(const platform::Dictionary& object,
                                                                 const std::string& path,
                                                                 std::string_view key);
    // The component of that name, failing at path when there is none.
    const ZQBusinessComponentModel& component(const platform::Dictionary& object,
                                              const std::string& path);
    // Fails unless some level of the component has the attribute.
    static void checkField(const ZQBusinessComponentModel& component, const std::string& field,
                           const std::string& path);

    ZQApplicationModel& model_;
};
