// Writes one outcome of a zqdl business-component command as one JSON line: `ok`, `instance`
// (the root level's attributes by name, each child level as an array of its lines, the lines in
// key order), `warnings` and `error`. Stateless functions; call them on the main thread, where
// the handlers report (a cached instance belongs to the cache's main-thread context).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"
#include "platform/Error.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"

namespace zqdl {

struct ZqdlInstanceOutcome {
    std::shared_ptr<ZQBusinessComponentLevelEntityData> instance;  // none after a delete
    std::vector<std::string> warnings;  // the texts the alert service was asked to show
    platform::ErrorPtr error;
};

class ZqdlInstancePrinter {
  public:
    static std::string line(const ZqdlInstanceOutcome& outcome,
                            const ZQBusinessComponentLevel& rootLevel);
    // The level's attributes by name and its child levels as arrays of lines.
    static void writeInstance(ZqdlJsonWriter& out, const ZQBusinessComponentLevelEntityData& data,
                              const ZQBusinessComponentLevel& level);
};

}  // namespace zqdl
