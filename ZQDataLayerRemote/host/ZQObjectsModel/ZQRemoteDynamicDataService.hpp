// A field's data service served by the application's REST server: a URL relative to the server
// and the parameters appended to it. Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQActionParameterDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQDynamicDataService.hpp"

class ZQRemoteDynamicDataService : public ZQDynamicDataService {
  public:
    ZQRemoteDynamicDataService(std::string name, std::string urlString,
                               ZQActionParameterDescriptors parameters)
        : ZQDynamicDataService(std::move(name)),
          urlString_(std::move(urlString)),
          parameters_(std::move(parameters)) {}

    // Relative to the application server, written so that the parameter string can follow it
    // directly ("rest/Sales/CustomerChoices?").
    const std::string& dynamicDataServiceUrlString() const { return urlString_; }
    const ZQActionParameterDescriptors& dynamicDataServiceParameters() const { return parameters_; }

  private:
    std::string urlString_;
    ZQActionParameterDescriptors parameters_;
};
