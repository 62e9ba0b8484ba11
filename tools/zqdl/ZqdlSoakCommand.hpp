// `zqdl soak [--seconds N] [--in-flight N] [--seed N] [--report-every S] [--watchdog S]`: the
// mixed load of ZqdlSoakLoad in one process against the embedded sample server (or --server) for
// a while, with a JSON line of figures every few seconds (heap in use, resident memory, answers,
// operations waiting) and one summary line at the end. It fails (exit status 1) at the first
// answer that came twice or after a withdrawal, an error, an operation past the watchdog, or, on
// runs of two minutes or more, a heap that grew by more than a quarter after the first minute.
// Runs on the main thread; owns its environment for the length of the command.
#pragma once

#include <string>
#include <vector>

namespace zqdl {

class ZqdlSoakCommand {
  public:
    // The command word (after the global options) is "soak".
    static bool isSoakCommand(const std::vector<std::string>& arguments);
    // The exit status: 0, 1 (a check failed, a failed start), 2 (bad usage).
    static int run(const std::vector<std::string>& arguments);
};

}  // namespace zqdl
