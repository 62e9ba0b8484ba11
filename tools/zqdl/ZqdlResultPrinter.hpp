// Writes one delivered query result as one JSON line: which delegate got it, where it came from,
// its flags, counts and time stamps, its error, its rows (sections of items, or the single item)
// with each field by name, sublevels nested, and the alphabetic index. Stateless functions; call
// them on the main thread, where the library delivers results (cached items belong to the cache's
// main-thread context).
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"

namespace zqdl {

class ZqdlResultPrinter {
  public:
    // The line for the result that delegate number `delegate` (from 1) received. `level` tells
    // which fields the items have.
    static std::string line(int delegate, const ZQEntityDataQueryResult& result,
                            const ZQEntityDataSourceLevelDescriptor& level);
    // null, or {domain, code, description}; the business-component lines write errors so too.
    static void writeError(ZqdlJsonWriter& out, const platform::ErrorPtr& error);

  private:
    static void writeStatus(ZqdlJsonWriter& out, const ZQEntityDataQueryResult& result);
    static void writeData(ZqdlJsonWriter& out, const ZQEntityDataQueryResult& result,
                          const ZQEntityDataSourceLevelDescriptor& level);
    static void writeAlphaIndex(ZqdlJsonWriter& out, const ZQEntityDataQueryResult& result);
    static void writeItem(ZqdlJsonWriter& out, const ZQEntityData& item,
                          const ZQEntityDataSourceLevelDescriptor& level);
    static void writeSublevel(ZqdlJsonWriter& out, const platform::Value& items,
                              const ZQEntityDataSourceLevelDescriptor& sublevel);
};

}  // namespace zqdl
