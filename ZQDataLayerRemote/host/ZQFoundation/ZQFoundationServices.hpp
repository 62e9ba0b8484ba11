// The services of the foundation framework, as process-wide instances made on first use and
// never destroyed. Stateless accessors; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQAlertMessageService.hpp"

class ZQFoundationServices {
  public:
    static std::shared_ptr<ZQAlertMessageService> alertMessageService();
};
