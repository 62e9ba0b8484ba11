// `zqdl serve`: the sample REST server for the model in the foreground until SIGINT or SIGTERM.
// The signals are blocked before the server's threads start (they inherit the mask) and taken
// with sigwait on the main thread, so no handler runs inside the server. Main thread only.
#pragma once

#include "tools/zqdl/ZqdlCommandLine.hpp"

namespace zqdl {

class ZqdlServeCommand {
  public:
    [[nodiscard]] static int run(const CommandLine& line);
};

}  // namespace zqdl
