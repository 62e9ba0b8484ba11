// `zqdl cache ls` and `zqdl cache clear`: the cached query records of the model's data providers
// and the cached business-component instances as read from the cache store (one JSON line
// each), and the host's clear-cache path for the
// running model. Runs on the main thread, on the cache's main-thread context; owns its
// environment for the length of the command.
#pragma once

#include <memory>
#include <string>

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"

namespace zqdl {

class ZqdlCacheCommand {
  public:
    [[nodiscard]] static int list(const CommandLine& line);
    [[nodiscard]] static int clear(const CommandLine& line);

  private:
    // One line per cached query of the provider; false (with *error set) when the fetch failed.
    static bool listProvider(platform::ManagedObjectContext& context, const ZqdlProvider& provider,
                             std::string* error);
    // One line per cached instance of the component (its root level's objects).
    static bool listBusinessComponent(platform::ManagedObjectContext& context,
                                      const ZQBusinessComponentModel& component,
                                      std::string* error);
};

}  // namespace zqdl
