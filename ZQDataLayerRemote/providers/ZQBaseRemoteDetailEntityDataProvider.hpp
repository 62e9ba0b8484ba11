// The remote detail provider: the host's detail provider whose hooks first read the item from
// the cache when the data source caches, then load the server's version, and keep what is known
// of the item (loadState: unknownLocal, unknownRemote, remote) and where it came from
// (remoteHelper). Editing loads (context "mutable") always go to the server. Made by create()
// with a single-item data source that is also remote; owned by the screen. Main thread only.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQBaseRemoteEntityDataProviderHelper.hpp"

class ZQBaseRemoteDetailEntityDataProvider : public ZQBaseDetailEntityDataProvider {
  public:
    explicit ZQBaseRemoteDetailEntityDataProvider(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource);
    [[nodiscard]] static std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider> create(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource);

    static uint8_t connectivitySupport() { return 0; }

    ZQBaseRemoteEntityDataProviderHelper& remoteHelper() { return remoteHelper_; }
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
    // The server's (2) while editing an instance, else where the item shown came from.
    uint8_t loadedMutableDataSource() const;
    void refresh(bool force) { remoteHelper_.refresh(force); }

    // --- Host hooks -------------------------------------------------------------------------
    void notifyApplicationWillEnterForeground(const platform::Notification& notification) override;
    void reloadEntityData() override;
    std::optional<platform::Dictionary> mutableLoadOptions() override;
    void updateLastRefreshWithProviderConnectivitySupport() override;
    bool cleanLoadedEntityData() override;
    [[nodiscard]] std::shared_ptr<ZQEntityDataQueryInfo> newQueryInfoWithType(
        ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) override;
    ZQEntityDataQueryType queryTypeForLoadingEntityData() override;
    void stopWaitingForDelegate(bool cancelled, const platform::ErrorPtr& error) override;
    void onInputParametersEntityDataChanged(
        const std::shared_ptr<ZQEntityData>& entityData) override;
    void performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded() override;
    void performAutoRefresh() override { remoteHelper_.performAutoRefresh(); }
    void updateRefreshFlagsForReloadRequired() override {
        remoteHelper_.updateRefreshFlagsForAutoRefreshRequired();
    }

  protected:
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
    void updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;
    void updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;
    void onAfterDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;

  private:
    ZQEntityDataDetailProviderLoadedState initialLoadState() const;
    bool mustReadCacheFirst() const;

    ZQBaseRemoteEntityDataProviderHelper remoteHelper_;
};
