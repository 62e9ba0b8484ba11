// The services the object-model framework offers: the security service (authorisation with the
// application's server) and the application storage service (caches and model folders). Both are
// the foundation's process-wide instances. Stateless accessors; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"

class ZQObjectsModelServices {
  public:
    static std::shared_ptr<ZQSecurityService> securityService() {
        return ZQSecurityService::sharedInstance();
    }
    static std::shared_ptr<ZQApplicationStorageService> applicationStorageService() {
        return ZQApplicationStorageService::sharedInstance();
    }
};
