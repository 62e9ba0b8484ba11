#include "tools/zqdl/ZqdlFieldCommand.hpp"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProvider.hpp"
#include "platform/MainLoop.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"
#include "tools/zqdl/ZqdlResultPrinter.hpp"

namespace zqdl {

namespace {

using Clock = std::chrono::steady_clock;

struct FieldOptions {
    std::string kind;                // combo, code, text, suggest, prompt
    std::vector<std::string> names;  // COMPONENT FIELD, or RULE
    std::vector<std::pair<std::string, std::string>> sets;
    std::optional<std::string> text;  // --text of code
    std::vector<std::string> typed;   // --type of suggest
    int gapMilliseconds = 100;
};

bool isCount(const std::string& text) {
    return !text.empty() && text.size() < 7 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

std::string parseField(const std::vector<std::string>& words, FieldOptions* options) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        bool takesValue =
            word == "--set" || word == "--text" || word == "--type" || word == "--gap-ms";
        if (takesValue && i + 1 >= words.size()) return word + " needs a value";
        if (word == "--set") {
            const std::string& pair = words[++i];
            size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0) return "--set needs FIELD=VALUE";
            options->sets.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else if (word == "--text") {
            options->text = words[++i];
        } else if (word == "--type") {
            options->typed.push_back(words[++i]);
        } else if (word == "--gap-ms") {
            if (!isCount(words[i + 1])) return "--gap-ms needs a number of milliseconds";
            options->gapMilliseconds = std::stoi(words[++i]);
        } else if (word.rfind("-", 0) == 0) {
            return "unknown option " + word + " for field";
        } else if (options->kind.empty()) {
            options->kind = word;
        } else {
            options->names.push_back(word);
        }
    }
    const std::string& kind = options->kind;
    if (kind != "combo" && kind != "code" && kind != "text" && kind != "suggest" &&
        kind != "prompt")
        return "field needs combo, code, text, suggest or prompt";
    if (options->names.size() != (kind == "prompt" ? 1u : 2u))
        return kind == "prompt" ? "field prompt takes one rule name"
                                : "field " + kind + " takes a business component and a field";
    if (kind == "code" && !options->text) return "field code needs --text TEXT";
    if (kind == "suggest" && options->typed.empty()) return "field suggest needs --type TEXT";
    return {};
}

// Hears the one outcome of a look-up and writes it as the command's JSON line.
class FieldPrinter : public ZQEntityDataFieldDynamicComboProviderDelegate,
                     public ZQEntityDataFieldHideCodeProviderDelegate,
                     public ZQEntityRulePromptAfterServiceProviderDelegate {
  public:
    bool done() const { return done_; }
    bool failed() const { return failed_; }
    const std::string& line() const { return line_; }
    // Members written before "error" by the suggest command.
    std::function<void(ZqdlJsonWriter&)> extra;

    void dynamicComboProviderDidLoadChoices(
        ZQEntityDataFieldDynamicComboProvider&,
        const std::vector<ZQDynamicDataChoice>& choices) override {
        finish([&](ZqdlJsonWriter& out) { writeChoices(out, "choices", choices); });
    }
    void dynamicComboProviderDidFailWithError(ZQEntityDataFieldDynamicComboProvider&,
                                              const platform::ErrorPtr& error) override {
        fail(error);
    }
    void hideCodeProviderDidLoadCode(ZQEntityDataFieldHideCodeProvider&,
                                     const platform::Value& code,
                                     const std::optional<std::string>& description) override {
        finish([&](ZqdlJsonWriter& out) {
            out.key("code");
            out.value(code.isNothing() ? platform::Value::null() : code);
            out.key("description");
            optionalText(out, description);
        });
    }
    void hideCodeProviderDidLoadText(ZQEntityDataFieldHideCodeProvider&,
                                     const std::optional<std::string>& text) override {
        finish([&](ZqdlJsonWriter& out) {
            out.key("text");
            optionalText(out, text);
        });
    }
    void hideCodeProviderDidLoadSuggestions(
        ZQEntityDataFieldHideCodeProvider&,
        const std::vector<ZQDynamicDataChoice>& suggestions) override {
        finish([&](ZqdlJsonWriter& out) { writeChoices(out, "suggestions", suggestions); });
    }
    void hideCodeProviderDidFailWithError(ZQEntityDataFieldHideCodeProvider&,
                                          const platform::ErrorPtr& error) override {
        fail(error);
    }
    void entityRulePromptAfterServiceProviderDidLoadValues(
        ZQEntityRulePromptAfterServiceProvider&, const platform::Dictionary& values) override {
        finish([&](ZqdlJsonWriter& out) {
            out.key("values");
            out.value(platform::Value(values));
        });
    }
    void entityRulePromptAfterServiceProviderDidFailLoadingWithError(
        ZQEntityRulePromptAfterServiceProvider&, const platform::ErrorPtr& error) override {
        fail(error);
    }

  private:
    static void optionalText(ZqdlJsonWriter& out, const std::optional<std::string>& text) {
        if (text)
            out.string(*text);
        else
            out.null();
    }
    static void writeChoices(ZqdlJsonWriter& out, const char* name,
                             const std::vector<ZQDynamicDataChoice>& choices) {
        out.key(name);
        out.beginArray();
        for (const auto& choice : choices) {
            out.beginObject();
            out.key("code");
            out.value(choice.code);
            out.key("description");
            out.string(choice.description);
            out.endObject();
        }
        out.endArray();
    }
    void finish(const std::function<void(ZqdlJsonWriter&)>& write, platform::ErrorPtr error = {}) {
        if (done_) return;
        done_ = true;
        failed_ = error != nullptr;
        ZqdlJsonWriter out;
        out.beginObject();
        out.key("ok");
        out.boolean(!error);
        if (write) write(out);
        if (extra) extra(out);
        out.key("error");
        ZqdlResultPrinter::writeError(out, error);
        out.endObject();
        line_ = out.text();
    }
    void fail(const platform::ErrorPtr& error) {
        finish({}, error ? error : platform::Error::create("zqdl", 0, "the look-up failed"));
    }

    bool done_ = false;
    bool failed_ = false;
    std::string line_;
};

int usage(const std::string& error) {
    std::fprintf(stderr, "zqdl: %s\n\n%s", error.c_str(), ZqdlCommandLine::usageText());
    return 2;
}

int failWith(const ZqdlFailure& failure) {
    std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
    return failure.exitStatus;
}

// Types the texts gapMilliseconds apart, running the main loop between them as a user's typing
// would; answers when the last was typed.
Clock::time_point typeTexts(ZQEntityDataFieldHideCodeProvider& provider,
                            const FieldOptions& options) {
    for (size_t i = 0; i < options.typed.size(); ++i) {
        if (i > 0) platform::runUntil([] { return false; }, options.gapMilliseconds / 1000.0);
        provider.loadSuggestWithText(options.typed[i]);
    }
    return Clock::now();
}

// The --set values by field name, each converted for its attribute (on any level, as prompt
// rules edit lines); none, with *failure set (status 2), for an attribute the model does not
// define or a text that is no value of it.
std::optional<platform::Dictionary> entityValuesFor(
    const ZQApplicationModel& model, const std::vector<std::pair<std::string, std::string>>& sets,
    ZqdlFailure* failure) {
    platform::Dictionary values;
    for (const auto& [field, text] : sets) {
        auto info = model.attributeInfoNamed(field);
        if (!info) {
            *failure = {2, "--set " + field + ": the model defines no attribute " + field};
            return std::nullopt;
        }
        platform::Value value =
            ZQEntityHelper::coreDataFieldValueForFieldInfo(info, platform::Value(text));
        if (value.isNothing() && !text.empty()) {
            *failure = {2, "--set " + field + ": \"" + text + "\" is no value of " + field};
            return std::nullopt;
        }
        values.set(field, std::move(value));
    }
    return values;
}

}  // namespace

bool ZqdlFieldCommand::isFieldCommand(const std::vector<std::string>& arguments) {
    auto at = ZqdlCommandLine::commandWordIndex(arguments);
    return at && arguments[*at] == "field";
}

int ZqdlFieldCommand::run(const std::vector<std::string>& arguments) {
    const size_t at = *ZqdlCommandLine::commandWordIndex(arguments);
    std::vector<std::string> globals(arguments.begin(), arguments.begin() + at);
    globals.push_back("help");
    CommandLineResult parsed = ZqdlCommandLine::parse(globals);
    if (!parsed.commandLine) return usage(parsed.error);
    FieldOptions options;
    if (std::string error = parseField({arguments.begin() + at + 1, arguments.end()}, &options);
        !error.empty())
        return usage(error);
    const GlobalOptions& global = parsed.commandLine->global;
    ZqdlFailure failure;
    auto environment = ZqdlEnvironment::start({global}, &failure);
    if (!environment) return failWith(failure);
    const ZQApplicationModel& model = *environment->appModel();

    std::shared_ptr<const ZQEntityRulePrompt> rule;
    if (options.kind == "prompt") {
        rule = model.promptRuleNamed(options.names[0]);
        if (!rule) return failWith({2, "unknown prompt rule \"" + options.names[0] + "\""});
    }
    auto entityValues = entityValuesFor(model, options.sets, &failure);
    if (!entityValues) return failWith(failure);
    auto entity = std::make_shared<ZQDictionaryEntityData>(*entityValues);

    auto printer = std::make_shared<FieldPrinter>();
    std::shared_ptr<void> provider;  // kept alive until the outcome is in
    bool started = true;
    if (rule) {
        auto factory = ZQEntityRulePromptAfterServiceProvider::
            onlineEntityRulePromptAfterServiceProviderFactory();
        auto prompt = factory ? factory(entity, rule, {}) : nullptr;
        if (!prompt) return failWith({1, "no prompt-after provider is registered"});
        prompt->setDelegate(printer);
        started = prompt->load();
        provider = prompt;
    } else {
        const auto* services = model.fieldServicesFor(options.names[0], options.names[1]);
        if (!services)
            return failWith({2, "\"" + options.names[0] + "\" field \"" + options.names[1] +
                                    "\" has no field services"});
        if (options.kind == "combo") {
            if (!services->dynamicCombo) return failWith({2, "the field has no dynamic combo"});
            auto factory = ZQEntityDataFieldDynamicComboProvider::
                onlineEntityDataFieldDynamicComboProviderFactory();
            auto combo =
                factory ? factory(entity, nullptr, std::nullopt, services->dynamicCombo) : nullptr;
            if (!combo) return failWith({1, "no dynamic combo provider for the field"});
            combo->setDelegate(printer);
            started = combo->load();
            provider = combo;
        } else {
            auto factory =
                ZQEntityDataFieldHideCodeProvider::onlineEntityDataFieldHideCodeProviderFactory();
            auto lookup = factory ? factory(entity, nullptr, services->hideCode, services->suggest,
                                            services->hideCodeRev)
                                  : nullptr;
            if (!lookup) return failWith({1, "no hide-code provider for the field"});
            lookup->setDelegate(printer);
            provider = lookup;
            const auto& needed = options.kind == "code"   ? services->hideCode
                                 : options.kind == "text" ? services->hideCodeRev
                                                          : services->suggest;
            if (!needed) return failWith({2, "the field has no " + options.kind + " service"});
            if (options.kind == "code") {
                lookup->loadHideCodeForText(*options.text);
            } else if (options.kind == "text") {
                lookup->loadTextForHideCode();
            } else {
                ZQSampleServer* server = environment->server();
                size_t before = server ? server->totalRequestCount() : 0;
                Clock::time_point last = typeTexts(*lookup, options);
                printer->extra = [server, before, last](ZqdlJsonWriter& out) {
                    out.key("requests");
                    if (server)
                        out.integer(static_cast<int64_t>(server->totalRequestCount() - before));
                    else
                        out.null();
                    out.key("answeredAfterMs");
                    out.integer(
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last)
                            .count());
                };
            }
        }
    }
    if (!started) return failWith({1, "the look-up cannot start: its entity lacks the inputs"});
    if (!platform::runUntil([&] { return printer->done(); }, global.timeoutSeconds))
        return failWith({1, "no answer within " + std::to_string(global.timeoutSeconds) + " s"});
    std::printf("%s\n", printer->line().c_str());
    return printer->failed() ? 1 : 0;
}

}  // namespace zqdl
