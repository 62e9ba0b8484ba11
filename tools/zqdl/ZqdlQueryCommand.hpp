// `zqdl query PROVIDER`: loads the provider through the registered entity data manager, with
// --concurrent identical queries at once, and prints one JSON line per delivered result on
// standard output (with --verbose, a note per result on what the cache decided). Runs on the
// main thread; owns its environment for the length of the command.
#pragma once

#include "tools/zqdl/ZqdlCommandLine.hpp"

namespace zqdl {

class ZqdlQueryCommand {
  public:
    // The exit status: 0 when every result came without error, 1 when one carried an error (or
    // the run failed or timed out), 2 for options that do not fit the provider.
    [[nodiscard]] static int run(const CommandLine& line);
};

}  // namespace zqdl
