// Protocol of the online business-component manager that a framework registers with
// ZQBusinessComponentManager. The handler factories it offers (load by key, default values,
// insert, update, insert-or-update, delete) are declared here as the handlers are added to the
// host; the host makes one instance per use from the registered factory.
#pragma once

class ZQInternalBusinessComponentManager {
  public:
    virtual ~ZQInternalBusinessComponentManager() = default;
};
