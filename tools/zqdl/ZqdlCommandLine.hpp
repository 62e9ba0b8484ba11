// The command line of zqdl: the command, the global options and the options of each command,
// read from argv without touching anything else, so that every usage error is found before the
// host starts. A value type; parse() is a pure function, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"

namespace zqdl {

enum class Command {
    Help,
    Query,
    Providers,
    CacheList,
    CacheClear,
    Serve,
    Demo,
    BusinessComponentLoad,
    BusinessComponentDefaults,
    BusinessComponentDelete,
    BusinessComponentInsert,
    BusinessComponentUpdate,
    BusinessComponentUpsert,
};

// Options shared by every command.
struct GlobalOptions {
    std::optional<std::string> modelFile;  // none: the sample application's model
    std::optional<std::string> serverURL;  // none: the embedded sample server on loopback
    std::optional<std::string> appDir;     // none: ZqdlCommandLine::defaultAppDir()
    bool verbose = false;
    double timeoutSeconds = 60;  // how long a command waits for its results
    // The idle timeout of every request the library sends; none: the library's default.
    std::optional<double> requestTimeoutSeconds;
};

// Options of `zqdl query`; the indexes are ZQNotFound when not given.
struct QueryOptions {
    std::string provider;
    ZQEntityDataQueryType type = 1;  // First
    uint64_t pageSize = 0;           // 0: every row
    bool allLoadedData = false;
    uint64_t orderIndex;
    std::optional<std::string> searchText;
    uint64_t searchFieldIndex;
    std::vector<std::string> parameters;
    bool force = false;
    uint64_t zqid = 0;
    uint64_t concurrent = 1;
    QueryOptions();
};

struct ServeOptions {
    int port = 8080;
};

// Options of `zqdl bc load|defaults|delete NAME`.
struct BusinessComponentOptions {
    std::string component;
    std::vector<std::string> keys;  // --key, in the root level's key order
    std::vector<std::pair<std::string, std::string>> inferred;  // --set FIELD=VALUE
    std::string jsonFile;  // --json FILE of insert, update and upsert; "-" for standard input
    // --attach FIELD=PATH or LEVEL[INDEX].FIELD=PATH: a file for a binary field of the root or of
    // one line, uploaded before the save.
    std::vector<std::pair<std::string, std::string>> attachments;
};

struct CommandLine {
    Command command = Command::Help;
    GlobalOptions global;
    QueryOptions query;
    ServeOptions serve;
    BusinessComponentOptions businessComponent;
};

struct CommandLineResult {
    std::optional<CommandLine> commandLine;  // none on a usage error
    std::string error;                       // the usage error, one line
};

class ZqdlCommandLine {
  public:
    [[nodiscard]] static CommandLineResult parse(const std::vector<std::string>& arguments);
    // The text printed with a usage error and for `zqdl help`.
    static const char* usageText();
    // $XDG_CACHE_HOME/zqdl, else $HOME/.cache/zqdl, else ./zqdl-app.
    static std::string defaultAppDir();
    // "local", "first", "refresh", "next" to the query type; none for anything else.
    static std::optional<ZQEntityDataQueryType> queryTypeNamed(const std::string& name);
    static const char* nameOfQueryType(ZQEntityDataQueryType type);
    // Where the command word is: past the global options and their values; none without one.
    // For the commands that read their own options (screen, field).
    static std::optional<size_t> commandWordIndex(const std::vector<std::string>& arguments);
};

}  // namespace zqdl
