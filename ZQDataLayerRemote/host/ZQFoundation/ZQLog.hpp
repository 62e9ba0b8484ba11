// The host's logging entry point: ZQLog::loggerService() gives the process-wide logger. Stateless
// accessor; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQLoggerService.hpp"

class ZQLog {
  public:
    static std::shared_ptr<ZQLoggerService> loggerService() { return ZQLoggerService::shared(); }
};
