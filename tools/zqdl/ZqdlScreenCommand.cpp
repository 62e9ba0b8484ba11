#include "tools/zqdl/ZqdlScreenCommand.hpp"

#include <cstdio>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailDetailEntityDataProvider.hpp"
#include "platform/MainLoop.hpp"
#include "platform/NotificationCenter.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"
#include "tools/zqdl/ZqdlResultPrinter.hpp"

namespace zqdl {

namespace {

struct Step {
    enum Kind { next, search, refresh, foreground, param } kind;
    std::string value;
};

struct ScreenOptions {
    std::string workWith;
    std::vector<std::string> detailKeys;  // --detail: the detail screen of that item
    uint64_t pageSize = 20;
    std::vector<Step> steps;
};

bool parseScreen(const std::vector<std::string>& words, ScreenOptions* options,
                 std::string* error) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= words.size()) {
                *error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return words[++i];
        };
        std::optional<std::string> given;
        if (word == "--detail" || word == "--next" || word == "--search" || word == "--param" ||
            word == "--page-size") {
            given = value(word.c_str());
            if (!given) return false;
        }
        if (word == "--detail") {
            options->detailKeys.push_back(*given);
        } else if (word == "--next") {
            if (given->empty() || given->find_first_not_of("0123456789") != std::string::npos) {
                *error = "--next needs a number of pages";
                return false;
            }
            options->steps.push_back({Step::next, *given});
        } else if (word == "--page-size") {
            if (given->empty() || given->find_first_not_of("0123456789") != std::string::npos) {
                *error = "--page-size needs a number";
                return false;
            }
            options->pageSize = std::stoull(*given);
        } else if (word == "--search") {
            options->steps.push_back({Step::search, *given});
        } else if (word == "--param") {
            options->steps.push_back({Step::param, *given});
        } else if (word == "--refresh") {
            options->steps.push_back({Step::refresh, {}});
        } else if (word == "--foreground") {
            options->steps.push_back({Step::foreground, {}});
        } else if (word.rfind("-", 0) == 0) {
            *error = "unknown option " + word + " for screen";
            return false;
        } else if (options->workWith.empty()) {
            options->workWith = word;
        } else {
            *error = "screen takes one Work With name";
            return false;
        }
    }
    if (options->workWith.empty()) *error = "screen needs a Work With name";
    return error->empty();
}

platform::Value parameterValue(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("-0123456789") == std::string::npos) {
        try {
            return platform::Value(static_cast<int64_t>(std::stoll(text)));
        } catch (...) {
        }
    }
    return platform::Value(text);
}

const char* originName(ZQEntityDataProviderDataOrigin origin) {
    switch (origin) {
        case ZQEntityDataProviderDataOrigin::cache:
            return "cache";
        case ZQEntityDataProviderDataOrigin::server:
            return "server";
        default:
            return "none";
    }
}

const char* loadingName(ZQBaseEntityDataProvider::LoadingState state) {
    switch (state) {
        case ZQBaseEntityDataProvider::LoadingState::loading:
            return "loading";
        case ZQBaseEntityDataProvider::LoadingState::waitingForDelegate:
            return "waitingForDelegate";
        default:
            return "idle";
    }
}

const char* loadStateName(ZQEntityDataDetailProviderLoadedState state) {
    switch (state) {
        case ZQEntityDataDetailProviderLoadedState::unknownLocal:
            return "unknownLocal";
        case ZQEntityDataDetailProviderLoadedState::unknownRemote:
            return "unknownRemote";
        default:
            return "remote";
    }
}

void writeItem(ZqdlJsonWriter& out, const ZQEntityData& item,
               const ZQEntityDataSourceDescriptor& source) {
    out.beginObject();
    if (auto fields = source.entityDataSourceDataDescriptor()) {
        for (const auto& field : fields->entityDataFieldDescriptors()) {
            if (field->entityDataFieldType() == ZQEntityDataFieldTypeSublevel) continue;
            out.key(field->entityDataFieldName());
            out.value(item.valueForEntityDataFieldName(field->entityDataFieldName()));
        }
    }
    out.endObject();
}

// Prints each event of one provider, named by its data provider.
class ScreenPrinter : public ZQEntityDataProviderDelegate {
  public:
    void entityDataProviderDidLoadData(ZQBaseEntityDataProvider& provider,
                                       ZQEntityDataProviderDataOrigin origin,
                                       bool upToDate) override {
        print(provider, "data", [&](ZqdlJsonWriter& out) {
            out.key("source");
            out.string(originName(origin));
            out.key("upToDate");
            out.boolean(upToDate);
            const auto& source = *provider.entityDataSource();
            if (auto* list = dynamic_cast<ZQBaseListEntityDataProvider*>(&provider)) {
                out.key("rows");
                out.beginArray();
                for (const auto& section : list->currentSections()) {
                    for (const auto& item : section) writeItem(out, *item, source);
                }
                out.endArray();
            } else if (auto* detail = dynamic_cast<ZQBaseDetailEntityDataProvider*>(&provider)) {
                out.key("item");
                if (detail->loadedEntityData()) {
                    writeItem(out, *detail->loadedEntityData(), source);
                } else {
                    out.null();
                }
            }
        });
    }
    void entityDataProviderDidChangeLoadingState(ZQBaseEntityDataProvider& provider) override {
        print(provider, "loadState", [](ZqdlJsonWriter&) {});
    }
    void entityDataProviderDidFailLoading(ZQBaseEntityDataProvider& provider,
                                          const platform::ErrorPtr& error) override {
        failed = true;
        print(provider, "error", [&](ZqdlJsonWriter& out) {
            out.key("error");
            ZqdlResultPrinter::writeError(out, error);
        });
    }
    void entityDataProviderDidChangeMorePages(ZQBaseEntityDataProvider& provider,
                                              bool morePages) override {
        print(provider, "morePages", [&](ZqdlJsonWriter& out) {
            out.key("morePages");
            out.boolean(morePages);
        });
    }

    bool failed = false;

  private:
    template <typename Body>
    void print(ZQBaseEntityDataProvider& provider, const char* event, Body body) {
        ZqdlJsonWriter out;
        out.beginObject();
        out.key("provider");
        out.string(provider.entityDataSource()->entityDataSourceDataProviderName());
        out.key("event");
        out.string(event);
        body(out);
        out.key("loading");
        out.string(loadingName(provider.loadingState()));
        if (auto* list = dynamic_cast<ZQBaseListEntityDataProvider*>(&provider)) {
            out.key("totalCount");
            out.integer(list->currentTotalCount());
        } else if (auto* detail = dynamic_cast<ZQBaseDetailEntityDataProvider*>(&provider)) {
            out.key("loadState");
            out.string(loadStateName(detail->loadState()));
        }
        out.endObject();
        std::fprintf(stdout, "%s\n", out.text().c_str());
        std::fflush(stdout);
    }
};

// The providers one screen shows: the list, or the detail's item with its sections'.
struct Screen {
    std::shared_ptr<ZQWorkWithDetail> listDetail;  // the list as a detail of its level
    std::shared_ptr<ZQBaseListEntityDataProvider> list;
    std::vector<std::shared_ptr<ZQBaseEntityDataProvider>> all;
};

std::optional<Screen> openScreen(const ZQWorkWithModel& workWith, const ScreenOptions& options,
                                 std::string* error) {
    if (workWith.levels().empty()) {
        *error = "Work With " + workWith.name() + " has no level";
        return std::nullopt;
    }
    const auto& level = workWith.levels().front();
    Screen screen;
    if (options.detailKeys.empty()) {
        if (!level->list() || level->list()->data().empty()) {
            *error = "Work With " + workWith.name() + " has no list";
            return std::nullopt;
        }
        // The registered list class serves a detail's lists: the level's list becomes one.
        const auto& data = level->list()->data().front();
        screen.listDetail = std::make_shared<ZQWorkWithDetail>(data->dataProviderName());
        screen.listDetail->addData(data);
        screen.listDetail->setParameters(
            level->list()->parameters().value_or(ZQWorkWithParameters{}));
        screen.listDetail->setWorkWithLevel(level);
        auto provider = ZQWorkWithDetailEntityDataProviderHelper::newRemoteListProvider(
            screen.listDetail, data);
        screen.list = std::dynamic_pointer_cast<ZQBaseListEntityDataProvider>(provider);
        if (!screen.list) {
            *error = "no remote list provider class is registered";
            return std::nullopt;
        }
        screen.list->setPageSize(options.pageSize);
        screen.all.push_back(screen.list);
        return screen;
    }
    if (!level->detail()) {
        *error = "Work With " + workWith.name() + " has no detail";
        return std::nullopt;
    }
    auto detail = std::dynamic_pointer_cast<ZQRemoteWorkWithDetailDetailEntityDataProvider>(
        ZQWorkWithDetailEntityDataProviderHelper::newRemoteDetailProvider(level->detail()));
    if (!detail) {
        *error = "no remote detail provider class is registered";
        return std::nullopt;
    }
    screen.all.push_back(detail);
    if (const auto& sections = detail->entityDataComponentsProviders()) {
        for (const auto& section : *sections) {
            if (!section->entityDataSource()->entityDataSourceDataProviderName().empty()) {
                screen.all.push_back(section);
            }
        }
    }
    return screen;
}

}  // namespace

bool ZqdlScreenCommand::isScreenCommand(const std::vector<std::string>& arguments) {
    auto at = ZqdlCommandLine::commandWordIndex(arguments);
    return at && arguments[*at] == "screen";
}

int ZqdlScreenCommand::run(const std::vector<std::string>& arguments) {
    const size_t at = *ZqdlCommandLine::commandWordIndex(arguments);
    // The global options are read as every other command reads them.
    std::vector<std::string> globals(arguments.begin(), arguments.begin() + at);
    globals.push_back("help");
    CommandLineResult parsed = ZqdlCommandLine::parse(globals);
    ScreenOptions options;
    std::string error = parsed.error;
    if (parsed.commandLine) {
        parseScreen({arguments.begin() + at + 1, arguments.end()}, &options, &error);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "zqdl: %s\n\n%s", error.c_str(), ZqdlCommandLine::usageText());
        return 2;
    }
    const GlobalOptions& global = parsed.commandLine->global;
    ZqdlFailure failure;
    auto environment = ZqdlEnvironment::start({global}, &failure);
    if (!environment) {
        std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
        return failure.exitStatus;
    }
    auto workWith = environment->appModel()->workWithsByName().find(options.workWith);
    if (workWith == environment->appModel()->workWithsByName().end()) {
        std::fprintf(stderr, "zqdl: unknown Work With \"%s\"\n", options.workWith.c_str());
        return 2;
    }
    std::optional<Screen> screen = openScreen(*workWith->second, options, &error);
    if (!screen) {
        std::fprintf(stderr, "zqdl: %s\n", error.c_str());
        return 2;
    }
    auto printer = std::make_shared<ScreenPrinter>();
    auto online = environment->entityDataManager()->onlineEntityDataManager();
    platform::Array keys;
    for (const std::string& key : options.detailKeys) keys.push_back(parameterValue(key));
    for (const auto& provider : screen->all) {
        provider->setDelegate(printer);
        provider->setEntityDataManager(online);
        if (!keys.empty()) provider->setInputParameterValues(keys);
    }

    auto settled = [&] {
        for (const auto& provider : screen->all) {
            if (provider->isLoading()) return false;
        }
        return true;
    };
    auto settle = [&] { return platform::runUntil(settled, global.timeoutSeconds); };
    for (const auto& provider : screen->all) provider->load();
    bool timedOut = !settle();
    for (const Step& step : options.steps) {
        if (timedOut) break;
        switch (step.kind) {
            case Step::next:
                for (uint64_t page = std::stoull(step.value); page > 0 && !timedOut; --page) {
                    if (screen->list) screen->list->loadNextPage();
                    timedOut = !settle();
                }
                continue;
            case Step::search:
                if (screen->list) screen->list->setSearchText(step.value);
                break;
            case Step::refresh:
                for (const auto& provider : screen->all) {
                    provider->refreshWithOptions(platform::Dictionary{
                        {ZQRemoteEntityProviderForceOptionKey, platform::Value(true)}});
                }
                break;
            case Step::foreground:
                platform::NotificationCenter::defaultCenter().post(
                    ZQApplicationWillEnterForegroundNotification);
                break;
            case Step::param:
                for (const auto& provider : screen->all) {
                    provider->setInputParameterValues({parameterValue(step.value)});
                }
                break;
        }
        timedOut = !settle();
    }
    if (timedOut) {
        std::fprintf(stderr, "zqdl: timed out after %.0f s\n", global.timeoutSeconds);
        return 1;
    }
    return printer->failed ? 1 : 0;
}

}  // namespace zqdl
