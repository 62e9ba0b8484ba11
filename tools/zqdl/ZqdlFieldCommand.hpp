// `zqdl field combo|code|text|suggest|prompt ...`: one field look-up or prompt rule of the model,
// through the provider classes the library registered with the host, for an entity whose values
// --set gives, and its one outcome printed as a JSON line (`ok`, what was found, `error`). Reads
// its own options after the global ones. Runs on the main thread; owns its environment for the
// length of the command.
#pragma once

#include <string>
#include <vector>

namespace zqdl {

class ZqdlFieldCommand {
  public:
    // The command word (after the global options) is "field".
    static bool isFieldCommand(const std::vector<std::string>& arguments);
    // The exit status: 0, 1 (an error outcome, a timeout, a failed start), 2 (bad usage).
    static int run(const std::vector<std::string>& arguments);
};

}  // namespace zqdl
