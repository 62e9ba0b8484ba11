#include "tests/library/providers/ProviderTestSupport.hpp"

namespace zqtest {

std::vector<ZQEntityDataQueryType> RecordingQueryLoader::types() const {
    std::vector<ZQEntityDataQueryType> all;
    for (const auto& query : queries) all.push_back(query->type());
    return all;
}

ProviderEvent RecordingProviderDelegate::snapshot(ZQBaseEntityDataProvider& provider,
                                                  ProviderEvent::Kind kind) const {
    ProviderEvent event;
    event.kind = kind;
    event.loadingState = provider.loadingState();
    if (auto* list = dynamic_cast<ZQBaseListEntityDataProvider*>(&provider)) {
        event.totalCount = list->currentTotalCount();
        for (const auto& section : list->currentSections()) {
            for (const auto& item : section) {
                event.ids.push_back(
                    item->valueForEntityDataFieldName(idField_).integer().value_or(-1));
            }
        }
    } else if (auto* detail = dynamic_cast<ZQBaseDetailEntityDataProvider*>(&provider)) {
        if (detail->loadedEntityData()) {
            event.ids.push_back(detail->loadedEntityData()
                                    ->valueForEntityDataFieldName(idField_)
                                    .integer()
                                    .value_or(-1));
        }
    }
    return event;
}

void RecordingProviderDelegate::entityDataProviderDidLoadData(ZQBaseEntityDataProvider& provider,
                                                              ZQEntityDataProviderDataOrigin origin,
                                                              bool upToDate) {
    ProviderEvent event = snapshot(provider, ProviderEvent::data);
    event.origin = origin;
    event.flag = upToDate;
    events.push_back(std::move(event));
}

void RecordingProviderDelegate::entityDataProviderDidChangeLoadingState(
    ZQBaseEntityDataProvider& provider) {
    events.push_back(snapshot(provider, ProviderEvent::loading));
}

void RecordingProviderDelegate::entityDataProviderDidFailLoading(ZQBaseEntityDataProvider& provider,
                                                                 const platform::ErrorPtr&) {
    events.push_back(snapshot(provider, ProviderEvent::error));
}

void RecordingProviderDelegate::entityDataProviderDidChangeMorePages(
    ZQBaseEntityDataProvider& provider, bool morePages) {
    ProviderEvent event = snapshot(provider, ProviderEvent::morePages);
    event.flag = morePages;
    events.push_back(std::move(event));
}

std::vector<ProviderEvent> RecordingProviderDelegate::of(ProviderEvent::Kind kind) const {
    std::vector<ProviderEvent> found;
    for (const auto& event : events) {
        if (event.kind == kind) found.push_back(event);
    }
    return found;
}

void ProviderTest::SetUp() {
    ManagerTest::SetUp();
    loader_ = std::make_shared<RecordingQueryLoader>(manager_);
}

void ProviderTest::prime(const std::shared_ptr<ZQEntityDataQueryInfo>& query) {
    auto delegate = loadAndWait(query);
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_FALSE(delegate->onlyResult()->error());
}

void ProviderTest::attach(ZQBaseEntityDataProvider& provider, const std::string& idField) {
    delegate_ = std::make_shared<RecordingProviderDelegate>(idField);
    provider.setDelegate(delegate_);
    provider.setEntityDataManager(loader_);
}

bool ProviderTest::settle(ZQBaseEntityDataProvider& provider) {
    const bool done = runMainLoopUntil([&] { return !provider.isLoading(); });
    return waitUntilIdle() && done && !provider.isLoading();
}

std::vector<int64_t> idRange(int64_t first, int64_t last) {
    std::vector<int64_t> ids;
    for (int64_t id = first; id <= last; ++id) ids.push_back(id);
    return ids;
}

}  // namespace zqtest
