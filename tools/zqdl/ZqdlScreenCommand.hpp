// `zqdl screen WORKWITH [--detail KEY...]`: opens a Work With's list, or its detail with its
// sections, through the registered Work With provider classes as a screen would, runs the scripted
// steps (--next N, --search TEXT, --refresh, --foreground, --param VALUE) after the first load,
// and prints one JSON line per provider event. Runs on the main thread.
#pragma once

#include <string>
#include <vector>

namespace zqdl {

class ZqdlScreenCommand {
  public:
    // The command word (after the global options) is "screen".
    static bool isScreenCommand(const std::vector<std::string>& arguments);
    // The exit status: 0, 1 (an error event, a timeout, a failed start), 2 (bad usage).
    static int run(const std::vector<std::string>& arguments);
};

}  // namespace zqdl
