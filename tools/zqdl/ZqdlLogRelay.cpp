#include "tools/zqdl/ZqdlLogRelay.hpp"

#include <cstdio>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"

namespace zqdl {

void ZqdlLogRelay::enable() {
    auto logger = ZQLog::loggerService();
    logger->setLogEnabled(true);
    logger->setObserver([](const ZQLogRecord& record) {
        // Console messages were printed by the logger already.
        if (!record.logToConsole) std::fprintf(stderr, "%s\n", record.message.c_str());
    });
}

void ZqdlLogRelay::disable() {
    ZQLog::loggerService()->setObserver(nullptr);
}

}  // namespace zqdl
