// Runs the built zqdl program (found beside the test binary in the build tree, tools/zqdl/zqdl)
// as a user runs it, and collects its exit status, output lines and standard error. Free
// functions; any thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zqtest {

struct ProgramRun {
    int status = -1;
    std::vector<std::string> lines;  // standard output
    std::string errors;              // standard error
};

std::filesystem::path zqdlProgramPath();

// zqdl with the application root, a generous timeout, the global options given (--server URL,
// say) and then the arguments; standard error goes through a file in the root.
ProgramRun runZqdl(const std::filesystem::path& appRoot, const std::vector<std::string>& global,
                   const std::vector<std::string>& arguments);

}  // namespace zqtest
