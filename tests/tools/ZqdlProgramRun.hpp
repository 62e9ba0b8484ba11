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
// The shell command that runs zqdl as runZqdl does, without its redirections.
std::string zqdlCommand(const std::filesystem::path& appRoot,
                        const std::vector<std::string>& global,
                        const std::vector<std::string>& arguments);

// zqdl with the application root, a generous timeout, the global options given (--server URL,
// say) and then the arguments; standard error goes through a file in the root.
ProgramRun runZqdl(const std::filesystem::path& appRoot, const std::vector<std::string>& global,
                   const std::vector<std::string>& arguments);

// The same with standard output and standard error on one terminal (a pseudo-terminal made by
// util-linux's script): everything the terminal showed, "\r\n" line ends included, is in
// errors; lines stays empty. status is -1 when script is not installed.
ProgramRun runZqdlOnTerminal(const std::filesystem::path& appRoot,
                             const std::vector<std::string>& global,
                             const std::vector<std::string>& arguments);

}  // namespace zqtest
