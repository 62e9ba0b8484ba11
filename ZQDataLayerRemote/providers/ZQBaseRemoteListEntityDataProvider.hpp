// The remote list provider: the host's list provider whose hooks first show what the cache holds
// (a Local query), then ask the server with the refresh type, and keep where the rows came from
// (remoteHelper). Made by create() with a collection data source that is also remote; owned by
// the screen. Main thread only.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProviderHelper.hpp"

class ZQBaseRemoteListEntityDataProvider : public ZQBaseListEntityDataProvider {
  public:
    explicit ZQBaseRemoteListEntityDataProvider(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource);
    [[nodiscard]] static std::shared_ptr<ZQBaseRemoteListEntityDataProvider> create(
        std::shared_ptr<const ZQCollectionEntityDataSourceDescriptor> dataSource);

    static uint8_t connectivitySupport() { return 0; }

    ZQBaseRemoteListEntityDataProviderHelper& remoteHelper() { return remoteHelper_; }
    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteEntityDataSource() const {
        return remoteHelper_.remoteEntityDataSource();
    }
    uint8_t loadedDataSource() const { return remoteHelper_.loadedDataSource(); }
    const std::optional<platform::Date>& loadedDataLastUpdateTimeStamp() const {
        return remoteHelper_.loadedDataLastUpdateTimeStamp();
    }
    const std::optional<platform::Date>& loadedDataLastModified() const {
        return remoteHelper_.loadedDataLastModified();
    }
    uint8_t filteredLoadedDataSource() const { return remoteHelper_.filteredLoadedDataSource(); }
    const std::optional<platform::Date>& filteredLoadedDataLastUpdateTimeStamp() const {
        return remoteHelper_.filteredLoadedDataLastUpdateTimeStamp();
    }
    const std::optional<platform::Date>& filteredLoadedDataLastModified() const {
        return remoteHelper_.filteredLoadedDataLastModified();
    }
    void refresh(bool force) { remoteHelper_.ZQBaseRemoteEntityDataProviderHelper::refresh(force); }
    void refresh(bool force, bool allLoadedData) { remoteHelper_.refresh(force, allLoadedData); }

    // --- Host hooks -------------------------------------------------------------------------
    [[nodiscard]] std::shared_ptr<ZQEntityDataQueryInfo> newQueryInfoWithType(
        ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) override;
    ZQEntityDataQueryType queryTypeForCurrentState() override;
    void notifyApplicationWillEnterForeground(const platform::Notification& notification) override;
    void stopWaitingForDelegate(bool cancelled, const platform::ErrorPtr& error) override;
    void onInputParametersEntityDataChanged(
        const std::shared_ptr<ZQEntityData>& entityData) override;
    void performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded() override;
    void performAutoRefresh() override { remoteHelper_.performAutoRefresh(); }
    void updateRefreshFlagsForAutoRefreshRequired() override {
        remoteHelper_.updateRefreshFlagsForAutoRefreshRequired();
    }
    void cleanProvider() override;
    void cleanFilteredLoadedState() override;

  protected:
    int64_t initialTotalCount() const override;
    ZQEntityDataProviderDataOrigin originOfResult(
        const std::shared_ptr<ZQEntityDataQueryResult>& result) const override;
    bool isUpToDateResult(const std::shared_ptr<ZQEntityDataQueryResult>& result) const override;

    void onDidFinishLoadingQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                 const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                 const platform::ErrorPtr& error,
                                 platform::Dictionary& context) override;
    void loadResultsFromSuccessfulQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                        const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                        platform::Dictionary& context) override;
    bool shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context) override;
    bool shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context) override;
    void updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;
    void updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;

  private:
    // The count of the search the query made (or of no search).
    int64_t totalCountForQuery(const ZQEntityDataQueryInfo& query) const;
    bool mustReadCacheFirst() const;

    ZQBaseRemoteListEntityDataProviderHelper remoteHelper_;
};
