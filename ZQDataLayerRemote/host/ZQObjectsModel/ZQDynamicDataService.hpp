// A data service of the application model that a field's look-ups call (the choices of a dynamic
// combo, the code for a description, suggestions). The kinds of service derive from it; the REST
// kind is ZQRemoteDynamicDataService. Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <string>

class ZQDynamicDataService {
  public:
    explicit ZQDynamicDataService(std::string name) : name_(std::move(name)) {}
    virtual ~ZQDynamicDataService() = default;

    const std::string& dynamicDataServiceName() const { return name_; }

  private:
    std::string name_;
};
