#include "tools/zqdl/ZqdlSoakLoad.hpp"

#include <tuple>
#include <utility>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProviderConstants.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProviderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityRulePromptAfterServiceProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "platform/Date.hpp"
#include "tools/zqdl/ZqdlBusinessComponentCommand.hpp"
#include "tools/zqdl/ZqdlQueryBuilder.hpp"

namespace zqdl {

namespace {

using Answer = std::function<void(const platform::ErrorPtr&)>;

constexpr const char* kInvoiceList = "Sales.WorkWithInvoice.Invoice.List";
constexpr const char* kCustomerList = "WorkWithCustomer.Customer.List";
constexpr const char* kInvoiceDetail = "Sales.WorkWithInvoice.Invoice.Detail";
// The sample data's invoices, and the keys the saves write again and again (so that the lists
// stay the same size however long the soak runs).
constexpr int64_t kInvoiceCount = 8;
constexpr int64_t kSavedInvoiceFirst = 900;
constexpr int64_t kSavedInvoiceCount = 5;

class QueryDelegate : public ZQEntityDataManagerDelegate {
  public:
    explicit QueryDelegate(Answer answer) : answer_(std::move(answer)) {}
    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>&, const std::shared_ptr<ZQEntityDataQueryInfo>&,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override {
        answer_(result ? result->error()
                       : platform::Error::create("zqdl", 0,
                                                 "the query was answered without a "
                                                 "result"));
    }

  private:
    Answer answer_;
};

// Every outcome of a look-up or a prompt rule is its answer; a second one is the load's to see.
class FieldDelegate : public ZQEntityDataFieldDynamicComboProviderDelegate,
                      public ZQEntityDataFieldHideCodeProviderDelegate,
                      public ZQEntityRulePromptAfterServiceProviderDelegate {
  public:
    explicit FieldDelegate(Answer answer) : answer_(std::move(answer)) {}
    void dynamicComboProviderDidLoadChoices(ZQEntityDataFieldDynamicComboProvider&,
                                            const std::vector<ZQDynamicDataChoice>&) override {
        answer_(nullptr);
    }
    void dynamicComboProviderDidFailWithError(ZQEntityDataFieldDynamicComboProvider&,
                                              const platform::ErrorPtr& error) override {
        answer_(error);
    }
    void hideCodeProviderDidLoadCode(ZQEntityDataFieldHideCodeProvider&, const platform::Value&,
                                     const std::optional<std::string>&) override {
        answer_(nullptr);
    }
    void hideCodeProviderDidLoadText(ZQEntityDataFieldHideCodeProvider&,
                                     const std::optional<std::string>&) override {
        answer_(nullptr);
    }
    void hideCodeProviderDidLoadSuggestions(ZQEntityDataFieldHideCodeProvider&,
                                            const std::vector<ZQDynamicDataChoice>&) override {
        answer_(nullptr);
    }
    void hideCodeProviderDidFailWithError(ZQEntityDataFieldHideCodeProvider&,
                                          const platform::ErrorPtr& error) override {
        answer_(error);
    }
    void entityRulePromptAfterServiceProviderDidLoadValues(ZQEntityRulePromptAfterServiceProvider&,
                                                           const platform::Dictionary&) override {
        answer_(nullptr);
    }
    void entityRulePromptAfterServiceProviderDidFailLoadingWithError(
        ZQEntityRulePromptAfterServiceProvider&, const platform::ErrorPtr& error) override {
        answer_(error);
    }

  private:
    Answer answer_;
};

// A screen's failed loads; the rows it shows are not checked here.
class ScreenDelegate : public ZQEntityDataProviderDelegate {
  public:
    explicit ScreenDelegate(Answer failure) : failure_(std::move(failure)) {}
    void entityDataProviderDidFailLoading(ZQBaseEntityDataProvider&,
                                          const platform::ErrorPtr& error) override {
        failure_(error);
    }

  private:
    Answer failure_;
};

}  // namespace

const char* ZqdlSoakLoad::name(Kind kind) {
    static const char* const names[kKindCount] = {"query",
                                                  "withdrawnQuery",
                                                  "joinedQuery",
                                                  "itemQuery",
                                                  "businessComponentLoad",
                                                  "businessComponentSave",
                                                  "imageUpload",
                                                  "screen",
                                                  "combo",
                                                  "hideCode",
                                                  "prompt"};
    return names[static_cast<size_t>(kind)];
}

std::string ZqdlSoakLoad::describe(Kind kind, uint64_t id) {
    return std::string(name(kind)) + " #" + std::to_string(id);
}

ZqdlSoakLoad::ZqdlSoakLoad(const ZqdlEnvironment& environment, Settings settings)
    : environment_(environment), settings_(std::move(settings)), rng_(settings_.seed) {}

ZqdlSoakLoad::~ZqdlSoakLoad() {
    stop();
}

uint64_t ZqdlSoakLoad::answeredCount() const {
    uint64_t answered = 0;
    for (const Tally& tally : tallies_) answered += tally.answered;
    return answered;
}

uint64_t ZqdlSoakLoad::begin(Kind kind) {
    const uint64_t id = firstSeen_ + seen_.size();
    seen_.push_back(Seen::waiting);
    Operation& operation = pending_[id];
    operation.kind = kind;
    operation.since = Clock::now();
    ++tallies_[static_cast<size_t>(kind)].started;
    return id;
}

std::function<void(const platform::ErrorPtr&)> ZqdlSoakLoad::answerer(uint64_t id) {
    return [weak = weak_from_this(), id](const platform::ErrorPtr& error) {
        if (auto self = weak.lock()) self->answer(id, error);
    };
}

void ZqdlSoakLoad::problem(std::string text) {
    ++problemCount_;
    if (problems_.size() < 20) problems_.push_back(std::move(text));
}

void ZqdlSoakLoad::answer(uint64_t id, const platform::ErrorPtr& error) {
    auto found = pending_.find(id);
    // Named only for a problem: answers come thousands of times a second.
    auto what = [&] {
        return found != pending_.end() ? describe(found->second.kind, id)
                                       : "operation #" + std::to_string(id);
    };
    Seen* state = seen(id);
    if (!state || *state == Seen::abandoned) return;
    if (*state == Seen::answered) return problem(what() + " was answered twice");
    if (*state == Seen::withdrawn) return problem(what() + " was answered after its withdrawal");
    *state = Seen::answered;
    if (found == pending_.end()) return;
    Tally& tally = tallies_[static_cast<size_t>(found->second.kind)];
    ++tally.answered;
    if (error) {
        ++tally.failed;
        problem(what() + " failed: " + error->localizedDescription());
    }
    released_.push_back(std::move(found->second.keep));
    pending_.erase(found);
}

ZqdlSoakLoad::Seen* ZqdlSoakLoad::seen(uint64_t id) {
    return id >= firstSeen_ && id - firstSeen_ < seen_.size() ? &seen_[id - firstSeen_] : nullptr;
}

void ZqdlSoakLoad::step() {
    released_.clear();
    while (seen_.size() > kRemembered && seen_.front() != Seen::waiting) {
        seen_.pop_front();
        ++firstSeen_;
    }
    const Clock::time_point now = Clock::now();
    withdrawDue(now);
    // A screen's step ends its wait; its last step is its answer.
    std::vector<uint64_t> finished;
    for (auto& [id, operation] : pending_) {
        if (operation.advance && operation.advance()) finished.push_back(id);
    }
    for (uint64_t id : finished) answer(id, nullptr);
    checkWatchdog(now);
    while (pending_.size() < settings_.inFlight) startOne();
}

void ZqdlSoakLoad::withdrawDue(Clock::time_point now) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        Operation& operation = it->second;
        if (!operation.withdrawAt || *operation.withdrawAt > now) {
            ++it;
            continue;
        }
        ++tallies_[static_cast<size_t>(operation.kind)].answered;
        end(it->first, operation);
        it = pending_.erase(it);
    }
}

void ZqdlSoakLoad::checkWatchdog(Clock::time_point now) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        const double waited = std::chrono::duration<double>(now - it->second.since).count();
        if (waited <= settings_.watchdogSeconds) {
            ++it;
            continue;
        }
        problem(describe(it->second.kind, it->first) + " had no answer within " +
                std::to_string(static_cast<int>(waited)) + " s");
        end(it->first, it->second);
        it = pending_.erase(it);
    }
}

void ZqdlSoakLoad::end(uint64_t id, Operation& operation) {
    if (operation.withdraw) operation.withdraw();
    *seen(id) = operation.withdraw ? Seen::withdrawn : Seen::abandoned;
    released_.push_back(std::move(operation.keep));
}

void ZqdlSoakLoad::stop() {
    for (auto& [id, operation] : pending_) end(id, operation);
    pending_.clear();
    released_.clear();
}

void ZqdlSoakLoad::startOne() {
    // Queries weigh most, as on a screen; every other kind comes about as often as each other.
    static constexpr Kind kMix[] = {Kind::query,
                                    Kind::query,
                                    Kind::query,
                                    Kind::withdrawnQuery,
                                    Kind::joinedQuery,
                                    Kind::itemQuery,
                                    Kind::businessComponentLoad,
                                    Kind::businessComponentSave,
                                    Kind::imageUpload,
                                    Kind::screen,
                                    Kind::combo,
                                    Kind::hideCode,
                                    Kind::prompt};
    const Kind kind = kMix[pick(std::size(kMix))];
    switch (kind) {
        case Kind::query:
        case Kind::withdrawnQuery:
            return startQuery(kind, 1);
        case Kind::joinedQuery:
            return startQuery(kind, 3);
        case Kind::itemQuery:
            return startItemQuery();
        case Kind::businessComponentLoad:
            return startBusinessComponentLoad();
        case Kind::businessComponentSave:
        case Kind::imageUpload:
            return startSave(kind);
        case Kind::screen:
            return startScreen();
        case Kind::combo:
        case Kind::hideCode:
        case Kind::prompt:
            return startFieldLookUp(kind);
    }
}

void ZqdlSoakLoad::startQuery(Kind kind, size_t joined) {
    QueryOptions options;
    const bool invoices = pick(3) != 0;
    options.provider = invoices ? kInvoiceList : kCustomerList;
    options.type = static_cast<ZQEntityDataQueryType>(1 + pick(3));  // first, refresh, next
    static constexpr uint64_t kPageSizes[] = {0, 5, 20};
    options.pageSize = kPageSizes[pick(3)];
    if (invoices && pick(2) == 0) options.orderIndex = pick(2);
    if (pick(4) == 0) options.searchText = std::string(1, "aeo"[pick(3)]);
    const ZqdlProvider* provider = environment_.catalog().find(options.provider);
    auto source = ZqdlProviderCatalog::dataSource(*provider);
    const auto& manager = environment_.entityDataManager();
    for (size_t n = 0; n < joined; ++n) {
        std::string error;
        auto query = ZqdlQueryBuilder::make(*provider, source, options, &error);
        const uint64_t id = begin(kind);
        if (!query) return answer(id, platform::Error::create("zqdl", 0, error));
        auto delegate = std::make_shared<QueryDelegate>(answerer(id));
        Operation& operation = pending_[id];
        operation.keep = delegate;
        operation.withdraw = [manager, query, delegate] { manager->cancelLoad(query, delegate); };
        if (kind == Kind::withdrawnQuery) {
            operation.withdrawAt =
                operation.since + std::chrono::milliseconds(static_cast<int>(pick(30)));
        }
        manager->load(query, delegate);
    }
}

void ZqdlSoakLoad::startItemQuery() {
    QueryOptions options;
    options.provider = kInvoiceDetail;
    options.type = static_cast<ZQEntityDataQueryType>(1 + pick(2));  // first, refresh
    options.parameters = {std::to_string(1 + pick(kInvoiceCount))};
    const ZqdlProvider* provider = environment_.catalog().find(options.provider);
    std::string error;
    auto query = ZqdlQueryBuilder::make(*provider, ZqdlProviderCatalog::dataSource(*provider),
                                        options, &error);
    const uint64_t id = begin(Kind::itemQuery);
    if (!query) return answer(id, platform::Error::create("zqdl", 0, error));
    auto delegate = std::make_shared<QueryDelegate>(answerer(id));
    const auto& manager = environment_.entityDataManager();
    pending_[id].keep = delegate;
    pending_[id].withdraw = [manager, query, delegate] { manager->cancelLoad(query, delegate); };
    manager->load(query, delegate);
}

void ZqdlSoakLoad::startBusinessComponentLoad() {
    const uint64_t id = begin(Kind::businessComponentLoad);
    BusinessComponentOptions options;
    options.component = "Sales.Invoice";
    options.keys = {std::to_string(1 + pick(kInvoiceCount))};
    ZqdlFailure failure;
    auto key = ZqdlBusinessComponentCommand::keyFor(*environment_.appModel(), options, &failure);
    auto manager = ZQBusinessComponentManager::newOnlineBusinessComponentManager();
    auto component = environment_.appModel()->businessComponentNamed(options.component);
    auto handler =
        key && manager ? manager->newBusinessComponentLoadHandlerForModel(component, key) : nullptr;
    if (!handler) return answer(id, platform::Error::create("zqdl", 0, "no load handler"));
    auto answerOf = answerer(id);
    handler->setCompletion(
        [answerOf](const auto&, const platform::ErrorPtr& error) { answerOf(error); });
    pending_[id].keep =
        std::make_shared<std::pair<decltype(manager), decltype(handler)>>(manager, handler);
    pending_[id].withdraw = [handler] { handler->cancel(); };
    handler->start();
}

void ZqdlSoakLoad::startSave(Kind kind) {
    const uint64_t id = begin(kind);
    CommandLine line;
    platform::Dictionary json;
    if (kind == Kind::imageUpload && !settings_.customers.empty()) {
        line.command = Command::BusinessComponentUpdate;
        line.businessComponent.component = "Customer";
        line.businessComponent.attachments = {{"CustomerPhoto", settings_.photo.string()}};
        json = settings_.customers[pick(settings_.customers.size())];
    } else {
        line.command = Command::BusinessComponentUpsert;
        line.businessComponent.component = "Sales.Invoice";
        const int64_t invoice = kSavedInvoiceFirst + static_cast<int64_t>(pick(kSavedInvoiceCount));
        platform::Array lines;
        for (int64_t n = 1, count = 1 + static_cast<int64_t>(pick(4)); n <= count; ++n) {
            lines.push_back(platform::Value(platform::Dictionary{
                {"InvoiceLineId", platform::Value(n)},
                {"ProductName", platform::Value("Part " + std::to_string(n))},
                {"LineQuantity", platform::Value(static_cast<int64_t>(1 + pick(9)))},
                {"LinePrice", platform::Value(2.5)}}));
        }
        json = platform::Dictionary{{"InvoiceId", platform::Value(invoice)},
                                    {"CustomerId", platform::Value(int64_t{1})},
                                    {"CustomerName", platform::Value("Soak " + std::to_string(id))},
                                    {"Line", platform::Value(std::move(lines))}};
    }
    auto manager = ZQBusinessComponentManager::newOnlineBusinessComponentManager();
    auto component =
        environment_.appModel()->businessComponentNamed(line.businessComponent.component);
    std::shared_ptr<ZQBusinessComponentLevelEntityData> instance;
    ZqdlFailure failure;
    auto handler = manager ? ZqdlBusinessComponentCommand::makeSaveHandler(
                                 line, component, *manager, json, &instance, &failure)
                           : nullptr;
    if (!handler) return answer(id, platform::Error::create("zqdl", 0, failure.message));
    auto answerOf = answerer(id);
    // The edited instance goes back to its manager once the save reported, as a screen gives
    // it back when it closes.
    handler->setCompletion(
        [answerOf, manager, instance, component](const auto&, const platform::ErrorPtr& error) {
            manager->releaseBusinessComponentEntityDataWithDefaults(instance, component);
            answerOf(error);
        });
    pending_[id].keep = handler;
    pending_[id].withdraw = [handler] { handler->cancel(); };
    handler->start();
}

void ZqdlSoakLoad::startScreen() {
    const uint64_t id = begin(Kind::screen);
    const auto& workWith = environment_.appModel()->workWithsByName().at("WorkWithInvoice");
    const auto& level = workWith->levels().front();
    const auto& data = level->list()->data().front();
    // The registered list class serves a detail's lists: the level's list becomes one.
    auto detail = std::make_shared<ZQWorkWithDetail>(data->dataProviderName());
    detail->addData(data);
    detail->setParameters(level->list()->parameters().value_or(ZQWorkWithParameters{}));
    detail->setWorkWithLevel(level);
    auto list = std::dynamic_pointer_cast<ZQBaseListEntityDataProvider>(
        ZQWorkWithDetailEntityDataProviderHelper::newRemoteListProvider(detail, data));
    if (!list) return answer(id, platform::Error::create("zqdl", 0, "no list provider class"));
    auto delegate = std::make_shared<ScreenDelegate>(answerer(id));
    list->setDelegate(delegate);
    list->setEntityDataManager(environment_.entityDataManager()->onlineEntityDataManager());
    list->setPageSize(3);
    auto steps = std::make_shared<int>(0);
    Operation& operation = pending_[id];
    operation.keep =
        std::make_shared<std::tuple<decltype(detail), decltype(list), decltype(delegate)>>(
            detail, list, delegate);
    // load, then the next page, then a forced refresh, each once the one before settled.
    operation.advance = [this, id, list, steps] {
        if (list->isLoading()) return false;
        pending_[id].since = Clock::now();
        switch ((*steps)++) {
            case 0:
                list->loadNextPage();
                return false;
            case 1:
                list->refreshWithOptions(platform::Dictionary{
                    {ZQRemoteEntityProviderForceOptionKey, platform::Value(true)}});
                return false;
            default:
                return true;
        }
    };
    list->load();
}

void ZqdlSoakLoad::startFieldLookUp(Kind kind) {
    const uint64_t id = begin(kind);
    const ZQApplicationModel& model = *environment_.appModel();
    auto delegate = std::make_shared<FieldDelegate>(answerer(id));
    std::shared_ptr<void> provider;
    std::function<bool()> start;
    if (kind == Kind::prompt) {
        auto entity = std::make_shared<ZQDictionaryEntityData>(platform::Dictionary{
            {"LineQuantity", platform::Value(static_cast<int64_t>(1 + pick(9)))},
            {"LinePrice", platform::Value(2.5)}});
        auto factory = ZQEntityRulePromptAfterServiceProvider::
            onlineEntityRulePromptAfterServiceProviderFactory();
        auto prompt = factory ? factory(entity, model.promptRuleNamed("LineAmount"), {}) : nullptr;
        if (prompt) {
            prompt->setDelegate(delegate);
            start = [prompt] { return prompt->load(); };
        }
        provider = prompt;
    } else {
        const auto* services = model.fieldServicesFor("Sales.Invoice", "CustomerId");
        auto entity = std::make_shared<ZQDictionaryEntityData>(platform::Dictionary{
            {"InvoiceDate", platform::Value(platform::Date(1546300800.0))},  // 2019-01-01
            {"CustomerId", platform::Value(static_cast<int64_t>(1 + pick(6)))}});
        if (kind == Kind::combo) {
            auto factory = ZQEntityDataFieldDynamicComboProvider::
                onlineEntityDataFieldDynamicComboProviderFactory();
            auto combo = factory && services
                             ? factory(entity, nullptr, std::nullopt, services->dynamicCombo)
                             : nullptr;
            if (combo) {
                combo->setDelegate(delegate);
                start = [combo] { return combo->load(); };
            }
            provider = combo;
        } else {
            auto factory =
                ZQEntityDataFieldHideCodeProvider::onlineEntityDataFieldHideCodeProviderFactory();
            auto lookup = factory && services ? factory(entity, nullptr, services->hideCode,
                                                        services->suggest, services->hideCodeRev)
                                              : nullptr;
            if (lookup) {
                lookup->setDelegate(delegate);
                const bool byText = pick(2) == 0;
                start = [lookup, byText] {
                    if (byText)
                        lookup->loadHideCodeForText("ACME corp");
                    else
                        lookup->loadTextForHideCode();
                    return true;
                };
            }
            provider = lookup;
        }
    }
    if (!start) return answer(id, platform::Error::create("zqdl", 0, "no provider is registered"));
    pending_[id].keep =
        std::make_shared<std::pair<std::shared_ptr<void>, decltype(delegate)>>(provider, delegate);
    if (!start()) answer(id, platform::Error::create("zqdl", 0, "the look-up cannot start"));
}

}  // namespace zqdl
