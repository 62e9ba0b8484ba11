// What the host's list and detail providers share: the load state machine that decides when to
// load, hands one query at a time to the entity data manager, holds loads while the delegate (the
// screen) asks it to, follows input parameters and the application's return to the foreground,
// and turns each answer into a series of hooks that subclasses override. Made through a
// subclass's create() (it observes notifications through a weak pointer to itself); owned by the
// screen. Main thread only: every method, every hook and every delegate call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerQueryInfoLoader.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProviderConstants.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProviderDelegate.hpp"
#include "platform/Date.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/Value.hpp"

class ZQBaseEntityDataProvider : public ZQEntityDataProvider,
                                 public ZQEntityDataManagerDelegate,
                                 public std::enable_shared_from_this<ZQBaseEntityDataProvider> {
  public:
    enum class LoadingState : uint8_t { idle, loading, waitingForDelegate };

    explicit ZQBaseEntityDataProvider(
        std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource);
    // Withdraws the query at the manager, if any.
    ~ZQBaseEntityDataProvider() override;

    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& entityDataSource() const {
        return dataSource_;
    }
    void setDelegate(std::weak_ptr<ZQEntityDataProviderDelegate> delegate) {
        delegate_ = std::move(delegate);
    }
    // The manager queries go to; by default the host's shared entity data manager's online one.
    void setEntityDataManager(std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> manager) {
        manager_ = std::move(manager);
    }
    std::shared_ptr<ZQEntityDataProvider> entityDataParentProvider() const {
        return parent_.lock();
    }
    void setEntityDataParentProvider(std::weak_ptr<ZQEntityDataProvider> parent) {
        parent_ = std::move(parent);
    }
    // The identifier given to every query (sent to the server as zqid).
    uint64_t zqid() const { return zqid_; }
    void setZqid(uint64_t zqid) { zqid_ = zqid; }

    // --- Loading --------------------------------------------------------------------------------
    // Loads what the current state calls for (subclasses decide the query type).
    virtual void load() = 0;
    // Reloads from the start with the refresh query type.
    virtual void refreshWithOptions(const std::optional<platform::Dictionary>& options);
    // Replaces the current operation (withdrawn without telling the delegate) by a new query.
    void loadQueryWithType(ZQEntityDataQueryType type,
                           const std::optional<platform::Dictionary>& options);
    void loadQueryWithType(ZQEntityDataQueryType type,
                           const std::optional<platform::Dictionary>& options,
                           platform::Dictionary context);
    [[nodiscard]] virtual std::shared_ptr<ZQEntityDataQueryInfo> newQueryInfoWithType(
        ZQEntityDataQueryType type, const std::optional<platform::Dictionary>& options) = 0;
    // First until a load has been marked as the first completed one, Refresh afterwards.
    ZQEntityDataQueryType currentRefreshQueryType() const;
    bool firstLoadCompleted() const { return firstLoadCompleted_; }
    // A query is at the manager or held for the delegate.
    bool isLoading() const { return currentQuery_ != nullptr; }
    LoadingState loadingState() const;
    const std::shared_ptr<ZQEntityDataQueryInfo>& currentQuery() const { return currentQuery_; }
    // Withdraws the current query; with notify the delegate hears the loading state change.
    void cancelCurrentOperation(bool notify);

    // --- Waiting for the delegate ------------------------------------------------------------
    // While held, loads wait (loadWaitingForDelegateState); letting go runs
    // stopWaitingForDelegate(false, none).
    void setLoadsHeldByDelegate(bool held);
    bool loadsHeldByDelegate() const { return held_; }
    uint8_t loadWaitingForDelegateState() const { return waitingState_; }
    // Sends the held query.
    void retryWaitingForDelegateOperation();
    // cancelled: the held load is dropped (error, when given, goes to the delegate).
    virtual void stopWaitingForDelegate(bool cancelled, const platform::ErrorPtr& error);

    // --- Refresh --------------------------------------------------------------------------------
    uint32_t refreshFlags() const { return refreshFlags_; }
    void setRefreshFlags(uint32_t flags) { refreshFlags_ = flags; }
    // When refreshFlags ask for a refresh and nothing is loading: clears them and refreshes with
    // their force and all-loaded-data bits.
    void refreshWithRefreshFlagsIfRequired();
    // The refresh run when the data may be stale (coming back to the foreground).
    virtual void performAutoRefresh();
    // Marks refreshFlags so that the delegate's next let-go refreshes.
    virtual void updateRefreshFlagsForAutoRefreshRequired();
    std::optional<platform::Date> lastRefresh() const { return lastRefresh_; }
    virtual void updateLastRefresh(std::optional<platform::Date> date) { lastRefresh_ = date; }
    // When a loaded answer last started a period in which the data shown is kept.
    std::optional<platform::Date> loadedInfoRefreshKeep() const { return refreshKeep_; }

    // --- Input parameters ------------------------------------------------------------------
    const std::shared_ptr<ZQEntityData>& inputParametersEntityData() const { return input_; }
    void setInputParametersEntityData(std::shared_ptr<ZQEntityData> entityData);
    // The values in the data source's parameter order, as an item named by parameter.
    void setInputParameterValues(const platform::Array& values);
    // The parameter values of a query: each parameter read by name from the input parameters
    // (or the parent provider's); none when the data source has no parameters.
    std::optional<platform::Array> parametersForContextEntityData() const;
    // Every parameter has a value.
    bool isInputParametersEntityDataValidForLoading() const;
    // Something was loaded, and for the parameters that hold now.
    bool loadedDataBelongsToCurrentInputParameters() const;
    virtual void onInputParametersEntityDataChanged(
        const std::shared_ptr<ZQEntityData>& entityData);
    virtual void performAutomaticRefreshOnInputParametersEntityDataChangedIfNeeded();

    // --- Application notifications -------------------------------------------------------
    virtual void notifyApplicationWillEnterForeground(const platform::Notification& notification);

    // --- The manager's answer (main thread) --------------------------------------------------
    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>& manager,
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) final;

  protected:
    // Starts observing the application's notifications; create() calls it once.
    void attach();

    // The hooks of one answer, in the order they run (onDidFinishLoadingQuery drives them).
    virtual void onDidFinishLoadingQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                         const std::shared_ptr<ZQEntityDataQueryResult>& result,
                                         const platform::ErrorPtr& error,
                                         platform::Dictionary& context);
    virtual void loadResultsFromSuccessfulQuery(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context) = 0;
    virtual void loadResultsFromFailedQuery(const std::shared_ptr<ZQEntityDataQueryInfo>& query,
                                            const platform::ErrorPtr& error,
                                            platform::Dictionary& context);
    virtual bool shouldMarkFirstLoadCompletedOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context);
    virtual bool shouldAddLoadedInfoRefreshKeepOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result,
        const platform::Dictionary& context);
    virtual void updateLoadedStateOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context);
    virtual void updateLastRefreshOnDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context);
    // Tells the delegate, then starts what the new state calls for (a follow-up load, the
    // refresh refreshFlags ask for).
    virtual void onAfterDidFinishLoadingQuerySuccesfully(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result, platform::Dictionary& context);
    // After an answer: whether the state still calls for a load (the server not asked yet),
    // and that load.
    virtual bool needsFollowUpLoad() const { return false; }
    virtual void performFollowUpLoad() { load(); }
    // Right after the delegate heard of new data (lists tell whether more pages exist).
    virtual void didNotifyDataLoaded() {}
    // load() while the input parameters are not valid: waits for the delegate when it holds loads.
    void waitForDelegateToLoad();
    // What the subclass shows now came from origin (delegate calls).
    virtual ZQEntityDataProviderDataOrigin originOfResult(
        const std::shared_ptr<ZQEntityDataQueryResult>& result) const;
    // The answer only says that the data shown is current.
    virtual bool isUpToDateResult(const std::shared_ptr<ZQEntityDataQueryResult>&) const {
        return false;
    }

    // Marks the parameters of a successful answer as those of the loaded data.
    void setLoadedParameters(std::optional<platform::Array> parameters);
    void clearLoadedParameters();
    void resetFirstLoadCompleted() { firstLoadCompleted_ = false; }
    bool loadWasRequested() const { return loadRequested_; }

    void notifyDataLoaded(ZQEntityDataProviderDataOrigin origin, bool upToDate);
    void notifyLoadingState();
    void notifyError(const platform::ErrorPtr& error);
    void notifyMorePages(bool morePages);

  private:
    void send(const std::shared_ptr<ZQEntityDataQueryInfo>& query);
    std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> manager();
    const ZQEntityDataFieldDescriptors* parameterDescriptors() const;

    const std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource_;
    std::weak_ptr<ZQEntityDataProviderDelegate> delegate_;
    std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> manager_;
    std::weak_ptr<ZQEntityDataProvider> parent_;
    uint64_t zqid_ = 0;
    std::shared_ptr<ZQEntityDataQueryInfo> currentQuery_;
    platform::Dictionary currentContext_;
    bool held_ = false;
    uint8_t waitingState_ = ZQLoadWaitingForDelegateNone;
    uint32_t refreshFlags_ = 0;
    bool firstLoadCompleted_ = false;
    // A load was asked for once: from then on, new input parameters load again.
    bool loadRequested_ = false;
    std::optional<LoadingState> loadingStateTold_;
    std::optional<platform::Date> lastRefresh_;
    std::optional<platform::Date> refreshKeep_;
    std::shared_ptr<ZQEntityData> input_;
    bool hasLoadedParameters_ = false;
    std::optional<platform::Array> loadedParameters_;
    // The last morePages told to the delegate, so that it hears only of changes.
    std::optional<bool> morePagesTold_;
    platform::ObserverToken foregroundObserver_;
};
