#include "tools/zqdl/ZqdlCommandLine.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

namespace zqdl {

namespace {

enum class Scope {
    Global,
    Query,
    Serve,
    BusinessComponentKey,
    BusinessComponentDefaults,
    BusinessComponentSave
};

// Applies an option's value; an error text, empty on success.
using Apply = std::string (*)(CommandLine&, const std::string&);

struct OptionRule {
    const char* name;
    bool takesValue;
    Scope scope;
    Apply apply;
};

std::optional<uint64_t> parseUnsigned(const std::string& text, uint64_t max) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

std::string setUnsigned(uint64_t& target, const std::string& value, uint64_t min, uint64_t max,
                        const char* what) {
    auto parsed = parseUnsigned(value, max);
    if (!parsed || *parsed < min) {
        return std::string(what) + " must be a whole number from " + std::to_string(min) + " to " +
               std::to_string(max) + ", not \"" + value + "\"";
    }
    target = *parsed;
    return {};
}

constexpr uint64_t kMaxIndex = ZQNotFound - 1;

const OptionRule kOptions[] = {
    {"model", true, Scope::Global,
     [](CommandLine& c, const std::string& v) -> std::string {
         c.global.modelFile = v;
         return {};
     }},
    {"server", true, Scope::Global,
     [](CommandLine& c, const std::string& v) -> std::string {
         if (v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0)
             return "--server needs an http:// or https:// URL, not \"" + v + "\"";
         c.global.serverURL = v;
         return {};
     }},
    {"app-dir", true, Scope::Global,
     [](CommandLine& c, const std::string& v) -> std::string {
         if (v.empty()) return "--app-dir needs a folder";
         c.global.appDir = v;
         return {};
     }},
    {"verbose", false, Scope::Global,
     [](CommandLine& c, const std::string&) -> std::string {
         c.global.verbose = true;
         return {};
     }},
    {"timeout", true, Scope::Global,
     [](CommandLine& c, const std::string& v) -> std::string {
         uint64_t seconds = 0;
         std::string error = setUnsigned(seconds, v, 1, 3600, "--timeout");
         c.global.timeoutSeconds = static_cast<double>(seconds);
         return error;
     }},
    {"request-timeout", true, Scope::Global,
     [](CommandLine& c, const std::string& v) -> std::string {
         uint64_t seconds = 0;
         std::string error = setUnsigned(seconds, v, 1, 3600, "--request-timeout");
         c.global.requestTimeoutSeconds = static_cast<double>(seconds);
         return error;
     }},
    {"type", true, Scope::Query,
     [](CommandLine& c, const std::string& v) -> std::string {
         auto type = ZqdlCommandLine::queryTypeNamed(v);
         if (!type) return "--type must be local, first, refresh or next, not \"" + v + "\"";
         c.query.type = *type;
         return {};
     }},
    {"page-size", true, Scope::Query,
     [](CommandLine& c, const std::string& v) {
         return setUnsigned(c.query.pageSize, v, 0, 1000000, "--page-size");
     }},
    {"all-loaded", false, Scope::Query,
     [](CommandLine& c, const std::string&) -> std::string {
         c.query.allLoadedData = true;
         return {};
     }},
    {"order", true, Scope::Query,
     [](CommandLine& c, const std::string& v) {
         return setUnsigned(c.query.orderIndex, v, 0, kMaxIndex, "--order");
     }},
    {"search", true, Scope::Query,
     [](CommandLine& c, const std::string& v) -> std::string {
         c.query.searchText = v;
         return {};
     }},
    {"search-field", true, Scope::Query,
     [](CommandLine& c, const std::string& v) {
         return setUnsigned(c.query.searchFieldIndex, v, 0, kMaxIndex, "--search-field");
     }},
    {"param", true, Scope::Query,
     [](CommandLine& c, const std::string& v) -> std::string {
         c.query.parameters.push_back(v);
         return {};
     }},
    {"force", false, Scope::Query,
     [](CommandLine& c, const std::string&) -> std::string {
         c.query.force = true;
         return {};
     }},
    {"zqid", true, Scope::Query,
     [](CommandLine& c, const std::string& v) {
         return setUnsigned(c.query.zqid, v, 0, std::numeric_limits<int64_t>::max(), "--zqid");
     }},
    {"concurrent", true, Scope::Query,
     [](CommandLine& c, const std::string& v) {
         return setUnsigned(c.query.concurrent, v, 1, 1000, "--concurrent");
     }},
    {"port", true, Scope::Serve,
     [](CommandLine& c, const std::string& v) {
         uint64_t port = 0;
         std::string error = setUnsigned(port, v, 0, 65535, "--port");
         c.serve.port = static_cast<int>(port);
         return error;
     }},
};

const OptionRule kBusinessComponentOptions[] = {
    {"key", true, Scope::BusinessComponentKey,
     [](CommandLine& c, const std::string& v) -> std::string {
         if (v.empty()) return "--key needs a value";
         c.businessComponent.keys.push_back(v);
         return {};
     }},
    {"set", true, Scope::BusinessComponentDefaults,
     [](CommandLine& c, const std::string& v) -> std::string {
         size_t equals = v.find('=');
         if (equals == std::string::npos || equals == 0)
             return "--set needs FIELD=VALUE, not \"" + v + "\"";
         c.businessComponent.inferred.emplace_back(v.substr(0, equals), v.substr(equals + 1));
         return {};
     }},
    {"attach", true, Scope::BusinessComponentSave,
     [](CommandLine& c, const std::string& v) -> std::string {
         size_t equals = v.find('=');
         if (equals == std::string::npos || equals == 0 || equals + 1 == v.size())
             return "--attach needs FIELD=PATH or LEVEL[INDEX].FIELD=PATH, not \"" + v + "\"";
         c.businessComponent.attachments.emplace_back(v.substr(0, equals), v.substr(equals + 1));
         return {};
     }},
    {"json", true, Scope::BusinessComponentSave,
     [](CommandLine& c, const std::string& v) -> std::string {
         if (v.empty()) return "--json needs a file (or - for standard input)";
         c.businessComponent.jsonFile = v;
         return {};
     }},
};

const OptionRule* findOption(const std::string& name) {
    for (const OptionRule& option : kOptions) {
        if (name == option.name) return &option;
    }
    for (const OptionRule& option : kBusinessComponentOptions) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

// The command from the words that are not options.
std::string readCommand(const std::vector<std::string>& words, CommandLine& line) {
    if (words.empty()) return "no command given";
    const std::string& verb = words[0];
    size_t expected = 1;
    if (verb == "help") {
        line.command = Command::Help;
    } else if (verb == "query") {
        if (words.size() < 2) return "query needs a data provider name";
        line.command = Command::Query;
        line.query.provider = words[1];
        expected = 2;
    } else if (verb == "providers") {
        line.command = Command::Providers;
    } else if (verb == "cache") {
        if (words.size() < 2 || (words[1] != "ls" && words[1] != "clear"))
            return "cache needs ls or clear";
        line.command = words[1] == "ls" ? Command::CacheList : Command::CacheClear;
        expected = 2;
    } else if (verb == "bc") {
        static const std::vector<std::pair<std::string, Command>> kVerbs = {
            {"load", Command::BusinessComponentLoad},
            {"defaults", Command::BusinessComponentDefaults},
            {"delete", Command::BusinessComponentDelete},
            {"insert", Command::BusinessComponentInsert},
            {"update", Command::BusinessComponentUpdate},
            {"upsert", Command::BusinessComponentUpsert}};
        auto found = words.size() < 2
                         ? kVerbs.end()
                         : std::find_if(kVerbs.begin(), kVerbs.end(),
                                        [&](const auto& v) { return v.first == words[1]; });
        if (found == kVerbs.end())
            return "bc needs load, defaults, delete, insert, update or upsert";
        if (words.size() < 3) return "bc " + words[1] + " needs a business component name";
        line.command = found->second;
        line.businessComponent.component = words[2];
        expected = 3;
    } else if (verb == "serve") {
        line.command = Command::Serve;
    } else if (verb == "demo") {
        line.command = Command::Demo;
    } else {
        return "unknown command \"" + verb + "\"";
    }
    if (words.size() > expected) return "unexpected argument \"" + words[expected] + "\"";
    return {};
}

bool scopeFits(Scope scope, Command command) {
    switch (scope) {
        case Scope::Global:
            return true;
        case Scope::Query:
            return command == Command::Query;
        case Scope::Serve:
            return command == Command::Serve;
        case Scope::BusinessComponentKey:
            return command == Command::BusinessComponentLoad ||
                   command == Command::BusinessComponentDelete;
        case Scope::BusinessComponentDefaults:
            return command == Command::BusinessComponentDefaults;
        case Scope::BusinessComponentSave:
            return command == Command::BusinessComponentInsert ||
                   command == Command::BusinessComponentUpdate ||
                   command == Command::BusinessComponentUpsert;
    }
    return false;
}

}  // namespace

QueryOptions::QueryOptions() : orderIndex(ZQNotFound), searchFieldIndex(ZQNotFound) {}

CommandLineResult ZqdlCommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> words;
    // Options are applied after the command is known, so that their scope can be checked.
    std::vector<std::pair<const OptionRule*, std::string>> given;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") return {CommandLine{}, {}};
        if (argument.rfind("--", 0) != 0 && argument != "-v") {
            words.push_back(argument);
            continue;
        }
        std::string name = argument == "-v" ? "verbose" : argument.substr(2);
        std::optional<std::string> value;
        if (auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionRule* option = findOption(name);
        if (!option) return {std::nullopt, "unknown option \"" + argument + "\""};
        if (option->takesValue && !value) {
            if (i + 1 >= arguments.size()) return {std::nullopt, "--" + name + " needs a value"};
            value = arguments[++i];
        }
        if (!option->takesValue && value) return {std::nullopt, "--" + name + " takes no value"};
        given.emplace_back(option, value.value_or(""));
    }
    if (std::string error = readCommand(words, line); !error.empty()) return {std::nullopt, error};
    for (const auto& [option, value] : given) {
        if (!scopeFits(option->scope, line.command))
            return {std::nullopt,
                    std::string("--") + option->name + " does not apply to this command"};
        if (std::string error = option->apply(line, value); !error.empty())
            return {std::nullopt, error};
    }
    return {line, {}};
}

std::optional<ZQEntityDataQueryType> ZqdlCommandLine::queryTypeNamed(const std::string& name) {
    if (name == "local") return ZQEntityDataQueryType{0};
    if (name == "first") return ZQEntityDataQueryType{1};
    if (name == "refresh") return ZQEntityDataQueryType{2};
    if (name == "next") return ZQEntityDataQueryType{3};
    return std::nullopt;
}

const char* ZqdlCommandLine::nameOfQueryType(ZQEntityDataQueryType type) {
    static const char* const names[] = {"local", "first", "refresh", "next"};
    return type < 4 ? names[type] : "unknown";
}

const char* ZqdlCommandLine::usageText() {
    return R"(usage: zqdl [global options] <command> [options]

commands:
  query PROVIDER     load a data provider through the entity data manager; one JSON line
                     per delivered result
      --type local|first|refresh|next   query type (default first)
      --page-size N      rows per page, 0 for every row (default 0)
      --all-loaded       reload every row already loaded, in one request
      --order I          index of one of the provider's orders
      --search TEXT      free-text search
      --search-field I   index of the search field searched (default: all)
      --param VALUE      a parameter value, repeated in the provider's parameter order
      --force            ask the server even when the cache is fresh
      --zqid N           the caller's id sent with the request (default 0)
      --concurrent N     N identical queries at once, one delegate each (default 1)
  providers          the model's data providers, one JSON object per line
  cache ls           every cached query and business-component instance, one JSON
                     object per line
  cache clear        clear the cache through the host's clear-cache path
  bc load NAME --key V [--key V ...]
                     load a business-component instance by key (one --key per key
                     attribute, in key order) through the business-component manager
  bc defaults NAME [--set FIELD=VALUE ...]
                     the default values of a new instance, with inferred values
  bc delete NAME --key V [--key V ...]
                     delete an instance on the server and from the cache
  bc insert|update|upsert NAME --json FILE [--attach FIELD=PATH ...]
                     save the instance FILE holds (- for standard input): fields by
                     name, child levels as arrays of lines; --attach uploads a file
                     for a binary field first (LEVEL[INDEX].FIELD for a line's),
                     showing its progress when standard error is a terminal;
                     prints the saved instance
  screen WORKWITH [--detail KEY ...] [--page-size N] [steps ...]
                     open a Work With's list (or detail) through the registered
                     providers as a screen would; one JSON line per provider event;
                     steps: --next N, --search TEXT, --refresh, --foreground, --param V
  field combo COMPONENT FIELD [--set FIELD=VALUE ...]
                     the choices of a field's dynamic combo for the entity --set gives
  field code COMPONENT FIELD --text TEXT [--set ...]
                     the code of a hide-code field for a typed description
  field text COMPONENT FIELD --set FIELD=CODE [--set ...]
                     the description of the code the entity holds
  field suggest COMPONENT FIELD --type TEXT [--type TEXT ...] [--gap-ms N] [--set ...]
                     suggestions while typing: the texts N ms apart (default 100);
                     prints the one answer, the requests sent and how long after
                     the last text it came
  field prompt RULE [--set FIELD=VALUE ...]
                     the values a prompt rule's service computes for the entity
  soak [--seconds N] [--in-flight N] [--seed N] [--report-every S] [--watchdog S]
                     a mixed load of every kind of operation for N seconds (default
                     60), N at once (default 16), from an empty cache unless
                     --app-dir names one; a JSON line of figures every S seconds
                     (default 10) and a summary; fails at an answer that came twice
                     or after a withdrawal, an error, an operation waiting past the
                     watchdog (default 30 s), or a heap that grew by more than a
                     quarter after the first minute
  serve [--port N]   run the sample REST server in the foreground (default port 8080)
  demo               a short tour of the data layer against the embedded server
  help               this text

global options:
  --model FILE       application model (default: the sample application)
  --server URL       REST server (default: the embedded sample server on a free
                     loopback port)
  --app-dir DIR      application root holding the caches and model folders
                     (default: $XDG_CACHE_HOME/zqdl, else ~/.cache/zqdl)
  --verbose, -v      log requests and cache decisions on standard error
  --timeout S        seconds to wait for results before giving up (default 60)
  --request-timeout S
                     seconds a request may go without data before it fails
                     (default 60)

exit status: 0 success, 1 a result carried an error or the run failed, 2 bad usage
)";
}

std::string ZqdlCommandLine::defaultAppDir() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/zqdl";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.cache/zqdl";
    return "zqdl-app";
}

std::optional<size_t> ZqdlCommandLine::commandWordIndex(const std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--model" || word == "--server" || word == "--app-dir" || word == "--timeout" ||
            word == "--request-timeout") {
            ++i;
        } else if (word.rfind("-", 0) != 0) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace zqdl
