// The host's detail provider: loads the one item of a single-item data source, either the
// item to show (state 1) or its editable version (state 2, a load whose context is marked
// "mutable"), and keeps what it knows of the item (loadState). A reload can be asked for while an
// answer is processed (setReloadNeeded:); it runs once the answer is done. Made by create();
// owned by the screen. Main thread only.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemResult.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"

class ZQBaseDetailEntityDataProvider : public ZQBaseEntityDataProvider {
  public:
    enum State : uint8_t { stateNone = 0, stateEntityData = 1, stateMutableEntityData = 2 };

    explicit ZQBaseDetailEntityDataProvider(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource);
    [[nodiscard]] static std::shared_ptr<ZQBaseDetailEntityDataProvider> create(
        std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> dataSource);

    const std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor>& detailEntityDataSource()
        const {
        return detailDataSource_;
    }
    // The level edited; none when the provider only shows the item.
    const std::shared_ptr<const ZQBusinessComponentLevel>& businessComponentLevel() const {
        return businessComponentLevel_;
    }
    void setBusinessComponentLevel(std::shared_ptr<const ZQBusinessComponentLevel> level) {
        businessComponentLevel_ = std::move(level);
    }

    const std::shared_ptr<ZQEntityData>& loadedEntityData() const { return loadedEntityData_; }
    uint8_t state() const { return state_; }
    void setState(uint8_t state) { state_ = state; }
    ZQEntityDataDetailProviderLoadedState loadState() const { return loadState_; }

    // --- Loading --------------------------------------------------------------------------------
    void load() override { loadEntityData(); }
    void loadEntityData();
    // The editable version, with mutableLoadOptions and a context marked "mutable".
    void loadMutableEntityData();
    virtual ZQEntityDataQueryType queryTypeForLoadingEntityData();
    virtual std::optional<platform::Dictionary> mutableLoadOptions() { return std::nullopt; }
    // A refresh keeps the version (plain or editable) being loaded, the editable one with
    // mutableLoadOptions over the options given; it satisfies a reload need.
    void refreshWithOptions(const std::optional<platform::Dictionary>& options) override;
    virtual void reloadEntityData();
    [[nodiscard]] std::shared_ptr<ZQEntityDataQueryInfo> newQueryInfoWithType(
        ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) override;
    bool isInputParametersEntityDataValidForLoadingMutable() const {
        return isInputParametersEntityDataValidForLoading();
    }

    // --- Reload ---------------------------------------------------------------------------------
    bool reloadNeeded() const { return reloadNeeded_; }
    // With true, a reload runs once the answer being processed is done (refreshFlags marked).
    void setReloadNeeded(bool needed);
    virtual void updateRefreshFlagsForReloadRequired();
    virtual void updateLastRefreshWithProviderConnectivitySupport();

    // Forgets the item; true when something changed.
    virtual bool cleanLoadedEntityData();

  protected:
    void setLoadState(ZQEntityDataDetailProviderLoadedState state) { loadState_ = state; }
    static bool contextIsMutable(const platform::Dictionary& context);

    void loadResultsFromSuccessfulQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                        const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                        platform::Dictionary& context) override;
    void updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        platform::Dictionary& context) override;
    bool needsFollowUpLoad() const override { return reloadNeeded_; }
    void performFollowUpLoad() override;

  private:
    const std::shared_ptr<const ZQSingleItemEntityDataSourceDescriptor> detailDataSource_;
    std::shared_ptr<const ZQBusinessComponentLevel> businessComponentLevel_;
    std::shared_ptr<ZQEntityData> loadedEntityData_;
    uint8_t state_ = stateNone;
    ZQEntityDataDetailProviderLoadedState loadState_ =
        ZQEntityDataDetailProviderLoadedState::unknownRemote;
    bool reloadNeeded_ = false;
};
