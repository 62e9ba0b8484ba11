#include "tests/tools/ZqdlProgramRun.hpp"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace zqtest {

namespace {

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readAll(FILE* pipe) {
    std::string output;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    return output;
}

}  // namespace

std::string zqdlCommand(const std::filesystem::path& appRoot,
                        const std::vector<std::string>& global,
                        const std::vector<std::string>& arguments) {
    std::string command = shellQuoted(zqdlProgramPath().string()) + " --app-dir " +
                          shellQuoted(appRoot.string()) + " --timeout 60";
    for (const std::string& option : global) command += " " + shellQuoted(option);
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    return command;
}

ProgramRun runZqdlOnTerminal(const std::filesystem::path& appRoot,
                             const std::vector<std::string>& global,
                             const std::vector<std::string>& arguments) {
    ProgramRun run;
    if (!std::filesystem::exists("/usr/bin/script")) return run;
    // -e: script ends with the program's status; the typescript file is thrown away.
    std::string command = "/usr/bin/script -qec " +
                          shellQuoted(zqdlCommand(appRoot, global, arguments)) +
                          " /dev/null </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    run.errors = readAll(pipe);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

std::filesystem::path zqdlProgramPath() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return self.parent_path().parent_path() / "tools" / "zqdl" / "zqdl";
}

ProgramRun runZqdl(const std::filesystem::path& appRoot, const std::vector<std::string>& global,
                   const std::vector<std::string>& arguments) {
    std::string command = zqdlCommand(appRoot, global, arguments);
    const std::string errorFile = (appRoot / "stderr.txt").string();
    command += " 2>" + shellQuoted(errorFile);
    ProgramRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::string output = readAll(pipe);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
    std::ifstream errors(errorFile);
    std::stringstream text;
    text << errors.rdbuf();
    run.errors = text.str();
    return run;
}

}  // namespace zqtest
