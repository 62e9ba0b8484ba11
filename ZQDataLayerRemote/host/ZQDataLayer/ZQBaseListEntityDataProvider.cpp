#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseListEntityDataProvider.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

namespace {
const ZQEntityDataSections kNoSections;
const std::optional<std::vector<std::string>> kNoTitles;

bool optionIsSet(const std::optional<platform::Dictionary>& options, const char* key) {
    return options && ZQUtilities::boolFromValue(options->get(key));
}
}  // namespace

uint64_t ZQBaseListEntityDataProvider::Rows::count() const {
    uint64_t total = 0;
    for (const auto& section : sections) total += section.size();
    return total;
}

ZQBaseListEntityDataProvider::ZQBaseListEntityDataProvider(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource)
    : ZQBaseEntityDataProvider(dataSource),
      listDataSource_(std::move(dataSource)),
      totalCount_(ZQTotalCountUnknownRemote),
      filteredTotalCount_(ZQTotalCountUnknownRemote) {}

std::shared_ptr<ZQBaseListEntityDataProvider> ZQBaseListEntityDataProvider::create(
    std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource) {
    auto provider = std::make_shared<ZQBaseListEntityDataProvider>(std::move(dataSource));
    provider->attach();
    return provider;
}

// --- What to load -------------------------------------------------------------------------------

void ZQBaseListEntityDataProvider::setOrderIndex(uint64_t orderIndex) {
    if (orderIndex == orderIndex_) return;
    orderIndex_ = orderIndex;
    restartAfterChange();
}

void ZQBaseListEntityDataProvider::setAdvancedFilterValues(
    std::optional<ZQEntityListFilterAdvancedFieldValues> values) {
    advancedFilterValues_ = std::move(values);
    restartAfterChange();
}

void ZQBaseListEntityDataProvider::restartAfterChange() {
    // Order and filter are part of the query: neither the plain nor the filtered rows hold.
    if (isLoading()) cancelCurrentOperation(false);
    totalCount_ = initialTotalCount();
    cleanFilteredLoadedState();
    if (loadWasRequested()) load();
}

void ZQBaseListEntityDataProvider::setSearchText(std::optional<std::string> text) {
    if (text && text->empty()) text.reset();
    if (text == searchText_) return;
    if (isLoading()) cancelCurrentOperation(false);
    searchText_ = std::move(text);
    cleanFilteredLoadedState();
    if (hasSearchText()) {
        load();
        return;
    }
    // Back to the rows without search, as they were; load them if they never came.
    notifyDataLoaded(loaded_.origin, false);
    didNotifyDataLoaded();
    if (needsFollowUpLoad()) load();
}

void ZQBaseListEntityDataProvider::setSearchFieldIndex(uint64_t index) {
    if (index == searchFieldIndex_) return;
    searchFieldIndex_ = index;
    if (!hasSearchText()) return;
    if (isLoading()) cancelCurrentOperation(false);
    cleanFilteredLoadedState();
    load();
}

// --- Loading ------------------------------------------------------------------------------------

void ZQBaseListEntityDataProvider::load() {
    if (!isInputParametersEntityDataValidForLoading()) {
        waitForDelegateToLoad();
        return;
    }
    loadQueryWithType(queryTypeForCurrentState(), std::nullopt);
}

void ZQBaseListEntityDataProvider::loadNextPage() {
    if (isLoading()) return;
    if (hasSearchText() ? allFilteredPagesLoaded() : allPagesLoaded()) return;
    load();
}

ZQEntityDataQueryType ZQBaseListEntityDataProvider::queryTypeForCurrentState() {
    const int64_t count = currentTotalCount();
    if (count == ZQTotalCountUnknownLocal) return ZQEntityDataQueryTypeLocal;
    if (count == ZQTotalCountUnknownPendingRemote) return ZQEntityDataQueryTypeNextPage;
    return currentRefreshQueryType();
}

std::shared_ptr<ZQEntityDataQueryInfo> ZQBaseListEntityDataProvider::newQueryInfoWithType(
    ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) {
    const bool allLoaded = optionIsSet(options, ZQEntityDataListProviderAllLoadedDataOptionKey);
    uint64_t pageSize = pageSize_;
    if (pageSize != 0 && allLoaded) {
        pageSize = std::max(
            pageSize, hasSearchText() ? filteredLoadedEntitiesCount() : loadedEntitiesCount());
    }
    return ZQEntityDataQueryCollectionInfo::create(
        listDataSource_, type, parametersForContextEntityData(), zqid(), allLoaded, pageSize,
        orderIndex_, searchText_, searchFieldIndex_, advancedFilterValues_);
}

// --- What is loaded -----------------------------------------------------------------------------

bool ZQBaseListEntityDataProvider::isUnknownTotalCount(int64_t count) {
    return count < 0 || count == ZQTotalCountUnknownLocal || count == ZQTotalCountUnknownRemote ||
           count == ZQTotalCountUnknownPendingRemote;
}

bool ZQBaseListEntityDataProvider::queryHasSearchText(const ZQEntityDataQueryInfo& query) {
    const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(&query);
    return collection && collection->searchText() && !collection->searchText()->empty();
}

int64_t ZQBaseListEntityDataProvider::currentTotalCount() const {
    return hasSearchText() ? filteredTotalCount_ : totalCount_;
}

bool ZQBaseListEntityDataProvider::allPagesLoaded() const {
    return !isUnknownTotalCount(totalCount_);
}

bool ZQBaseListEntityDataProvider::allFilteredPagesLoaded() const {
    return !isUnknownTotalCount(filteredTotalCount_);
}

const ZQEntityDataSections& ZQBaseListEntityDataProvider::currentSections() const {
    return hasSearchText() ? filtered_.sections : loaded_.sections;
}

const std::optional<std::vector<std::string>>& ZQBaseListEntityDataProvider::alphaIndexTitles()
    const {
    return hasSearchText() ? kNoTitles : loaded_.alphaIndexTitles;
}

ZQEntityDataProviderDataOrigin ZQBaseListEntityDataProvider::currentDataOrigin() const {
    return hasSearchText() ? filtered_.origin : loaded_.origin;
}

void ZQBaseListEntityDataProvider::cleanProvider() {
    if (isLoading()) cancelCurrentOperation(true);
    loaded_ = Rows();
    totalCount_ = initialTotalCount();
    clearLoadedParameters();
    resetFirstLoadCompleted();
    cleanFilteredLoadedState();
}

void ZQBaseListEntityDataProvider::cleanFilteredLoadedState() {
    filtered_ = Rows();
    filteredTotalCount_ = initialTotalCount();
}

// --- Answers ------------------------------------------------------------------------------------

void ZQBaseListEntityDataProvider::loadResultsFromSuccessfulQuery(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary&) {
    auto collection = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionResult>(result);
    if (!collection) return;
    // Every answer carries all the rows of the query held so far (a next page included).
    Rows& rows = queryHasSearchText(*query) ? filtered_ : loaded_;
    rows.sections = collection->resultData().value_or(kNoSections);
    rows.alphaIndexTitles = collection->alphaIndexTitles();
    rows.origin = originOfResult(result);
}

void ZQBaseListEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) {
    ZQBaseEntityDataProvider::updateLoadedStateOnDidFinishLoadingQuerySuccesfully(query, result,
                                                                                  context);
    auto collection = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionResult>(result);
    const bool searched = queryHasSearchText(*query);
    const Rows& rows = searched ? filtered_ : loaded_;
    int64_t& count = searched ? filteredTotalCount_ : totalCount_;
    if (isUpToDateResult(result) || (collection && collection->complete())) {
        count = static_cast<int64_t>(rows.count());
    } else {
        count = ZQTotalCountUnknownPendingRemote;
    }
}

bool ZQBaseListEntityDataProvider::needsFollowUpLoad() const {
    return currentTotalCount() == ZQTotalCountUnknownRemote &&
           isInputParametersEntityDataValidForLoading();
}

void ZQBaseListEntityDataProvider::didNotifyDataLoaded() {
    notifyMorePages(hasSearchText() ? !allFilteredPagesLoaded() : !allPagesLoaded());
}
