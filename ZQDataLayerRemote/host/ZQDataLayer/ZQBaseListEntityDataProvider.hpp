// The host's list provider: pages through a collection data source with a page size, an order,
// a search text and field, and advanced filter values. It keeps the rows loaded (and, while a
// search text is set, the filtered rows apart), their total counts (a count once every row is
// loaded, else one of the ZQTotalCountUnknown markers), and asks for the next page, the cache or
// the server as the counts call for. Made by create(); owned by the screen. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

class ZQBaseListEntityDataProvider : public ZQBaseEntityDataProvider {
  public:
    explicit ZQBaseListEntityDataProvider(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource);
    [[nodiscard]] static std::shared_ptr<ZQBaseListEntityDataProvider> create(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource);

    const std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor>& listEntityDataSource()
        const {
        return listDataSource_;
    }

    // --- What to load (changing one loads again once the provider has loaded) ------------
    // Rows per page; 0 asks for every row.
    uint64_t pageSize() const { return pageSize_; }
    void setPageSize(uint64_t pageSize) { pageSize_ = pageSize; }
    uint64_t orderIndex() const { return orderIndex_; }
    void setOrderIndex(uint64_t orderIndex);
    const std::optional<std::string>& searchText() const { return searchText_; }
    // An empty text is no search; the rows without search come back as they were.
    void setSearchText(std::optional<std::string> text);
    uint64_t searchFieldIndex() const { return searchFieldIndex_; }
    void setSearchFieldIndex(uint64_t index);
    const std::optional<ZQEntityListFilterAdvancedFieldValues>& advancedFilterValues() const {
        return advancedFilterValues_;
    }
    void setAdvancedFilterValues(std::optional<ZQEntityListFilterAdvancedFieldValues> values);
    bool hasSearchText() const { return searchText_.has_value() && !searchText_->empty(); }

    // --- Loading --------------------------------------------------------------------------------
    void load() override;
    // The page after those loaded, unless every row is loaded or a load is running.
    void loadNextPage();
    virtual ZQEntityDataQueryType queryTypeForCurrentState();
    [[nodiscard]] std::shared_ptr<ZQEntityDataQueryInfo> newQueryInfoWithType(
        ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) override;

    // --- What is loaded -------------------------------------------------------------------------
    int64_t totalCount() const { return totalCount_; }
    void setTotalCount(int64_t count) { totalCount_ = count; }
    int64_t filteredTotalCount() const { return filteredTotalCount_; }
    void setFilteredTotalCount(int64_t count) { filteredTotalCount_ = count; }
    // The count the current search (or no search) looks at.
    int64_t currentTotalCount() const;
    virtual bool allPagesLoaded() const;
    virtual bool allFilteredPagesLoaded() const;
    const ZQEntityDataSections& loadedSections() const { return loaded_.sections; }
    const ZQEntityDataSections& filteredLoadedSections() const { return filtered_.sections; }
    // The rows shown: the filtered ones while a search text is set.
    const ZQEntityDataSections& currentSections() const;
    const std::optional<std::vector<std::string>>& alphaIndexTitles() const;
    uint64_t loadedEntitiesCount() const { return loaded_.count(); }
    uint64_t filteredLoadedEntitiesCount() const { return filtered_.count(); }
    ZQEntityDataProviderDataOrigin currentDataOrigin() const;

    // Forgets every row and count; the next load starts over.
    virtual void cleanProvider();
    // Forgets the rows and count of the search.
    virtual void cleanFilteredLoadedState();

  protected:
    // The count a query starts from before anything is known (the server's by default).
    virtual int64_t initialTotalCount() const { return ZQTotalCountUnknownRemote; }
    static bool isUnknownTotalCount(int64_t count);
    static bool queryHasSearchText(const ZQEntityDataQueryInfo& query);

    void loadResultsFromSuccessfulQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                        const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                        platform::Dictionary& context) override;
    void updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;
    bool needsFollowUpLoad() const override;
    void didNotifyDataLoaded() override;

  private:
    struct Rows {
        ZQEntityDataSections sections;
        std::optional<std::vector<std::string>> alphaIndexTitles;
        ZQEntityDataProviderDataOrigin origin = ZQEntityDataProviderDataOrigin::none;
        uint64_t count() const;
    };
    // The query's settings changed: what was loaded for the old ones no longer counts.
    void restartAfterChange();

    const std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> listDataSource_;
    uint64_t pageSize_ = 20;
    uint64_t orderIndex_ = ZQNotFound;
    std::optional<std::string> searchText_;
    uint64_t searchFieldIndex_ = ZQNotFound;
    std::optional<ZQEntityListFilterAdvancedFieldValues> advancedFilterValues_;
    Rows loaded_;
    Rows filtered_;
    int64_t totalCount_;
    int64_t filteredTotalCount_;
};
