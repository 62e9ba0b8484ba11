// The state a remote provider keeps beside the host base's: where the data shown came from (none,
// the cache, the server) with its dates, when the server last answered, and whether a cache
// read and a server load have finished since the input parameters last changed. Owned by its
// provider, which it points back to (the provider outlives it). Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "platform/Date.hpp"

// Values of loadedDataSource.
enum ZQRemoteLoadedDataSource : uint8_t {
    ZQRemoteLoadedDataSourceNone = 0,
    ZQRemoteLoadedDataSourceCache = 1,
    ZQRemoteLoadedDataSourceServer = 2,
};

class ZQBaseRemoteEntityDataProviderHelper {
  public:
    explicit ZQBaseRemoteEntityDataProviderHelper(ZQBaseEntityDataProvider& provider)
        : provider_(&provider) {}
    virtual ~ZQBaseRemoteEntityDataProviderHelper() = default;
    ZQBaseRemoteEntityDataProviderHelper(const ZQBaseRemoteEntityDataProviderHelper&) = delete;
    ZQBaseRemoteEntityDataProviderHelper& operator=(const ZQBaseRemoteEntityDataProviderHelper&) =
        delete;

    ZQBaseEntityDataProvider& provider() const { return *provider_; }
    // The provider's data source as a remote one; none when it is not.
    std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> remoteEntityDataSource() const;
    bool cacheEnabled() const;

    uint8_t loadedDataSource() const { return loadedDataSource_; }
    const std::optional<platform::Date>& loadedDataLastUpdateTimeStamp() const {
        return loadedDataLastUpdateTimeStamp_;
    }
    const std::optional<platform::Date>& loadedDataLastModified() const {
        return loadedDataLastModified_;
    }
    const std::optional<platform::Date>& lastRefreshFromServer() const {
        return lastRefreshFromServer_;
    }
    bool hasLoadedCachedTypeOnInputParametersEntityDataChanged() const { return hasLoadedCached_; }
    bool hasLoadedRefreshOrFirstTypeOnInputParametersEntityDataChanged() const {
        return hasLoadedRefreshOrFirst_;
    }

    // refreshWithOptions: with the force key.
    void refresh(bool force);
    // From a successful result only: its source and dates.
    void updateLoadedDataStateFromResult(const ZQRemoteEntityDataQueryResult& result);
    virtual void cleanLoadedDataSourceState();
    // The provider's last refresh and lastRefreshFromServer become date (now when none).
    void updateLastRefreshFromServer(std::optional<platform::Date> date);
    virtual void performAutoRefresh();
    virtual void updateRefreshFlagsForAutoRefreshRequired();
    // Both has-loaded flags drop unless the loaded data belongs to the new parameters.
    void updateOnInputParametersChangedFlagsOnInputParametersChanged();
    void updateOnInputParametersChangedFlagsFromResult(const ZQEntityDataQueryResult& result,
                                                       const ZQEntityDataQueryInfo& query);

  protected:
    static uint8_t loadedDataSourceForResult(const ZQRemoteEntityDataQueryResult& result);

  private:
    ZQBaseEntityDataProvider* const provider_;
    uint8_t loadedDataSource_ = ZQRemoteLoadedDataSourceNone;
    std::optional<platform::Date> loadedDataLastUpdateTimeStamp_;
    std::optional<platform::Date> loadedDataLastModified_;
    std::optional<platform::Date> lastRefreshFromServer_;
    bool hasLoadedCached_ = false;
    bool hasLoadedRefreshOrFirst_ = false;
};
