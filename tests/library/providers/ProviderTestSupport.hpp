// Shared pieces of the provider tests: the manager fixture (sample application, loopback server,
// cache in a temporary root), a pass-through loader that records every query a provider sends to
// the real manager, and a delegate that records every provider event with what the provider
// showed at that moment. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseListEntityDataProvider.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace zqtest {

// Forwards to the real manager; keeps the queries in the order they were sent.
class RecordingQueryLoader : public ZQEntityDataManagerQueryInfoLoader {
  public:
    explicit RecordingQueryLoader(std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> target)
        : target_(std::move(target)) {}
    void load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
              const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) override {
        queries.push_back(queryInfo);
        target_->load(queryInfo, delegate);
    }
    void cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                    const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) override {
        ++cancels;
        target_->cancelLoad(queryInfo, delegate);
    }
    std::vector<ZQEntityDataQueryType> types() const;

    std::vector<std::shared_ptr<ZQEntityDataQueryInfo>> queries;
    int cancels = 0;

  private:
    std::shared_ptr<ZQEntityDataManagerQueryInfoLoader> target_;
};

struct ProviderEvent {
    enum Kind { data, loading, error, morePages } kind = data;
    ZQEntityDataProviderDataOrigin origin = ZQEntityDataProviderDataOrigin::none;
    bool flag = false;         // upToDate for data, morePages for morePages
    std::vector<int64_t> ids;  // rows (list) or the item's id (detail) shown
    int64_t totalCount = 0;
    ZQBaseEntityDataProvider::LoadingState loadingState =
        ZQBaseEntityDataProvider::LoadingState::idle;
};

class RecordingProviderDelegate : public ZQEntityDataProviderDelegate {
  public:
    explicit RecordingProviderDelegate(std::string idField) : idField_(std::move(idField)) {}
    void entityDataProviderDidLoadData(ZQBaseEntityDataProvider& provider,
                                       ZQEntityDataProviderDataOrigin origin,
                                       bool upToDate) override;
    void entityDataProviderDidChangeLoadingState(ZQBaseEntityDataProvider& provider) override;
    void entityDataProviderDidFailLoading(ZQBaseEntityDataProvider& provider,
                                          const platform::ErrorPtr& error) override;
    void entityDataProviderDidChangeMorePages(ZQBaseEntityDataProvider& provider,
                                              bool morePages) override;

    std::vector<ProviderEvent> of(ProviderEvent::Kind kind) const;
    size_t count(ProviderEvent::Kind kind) const { return of(kind).size(); }

    std::vector<ProviderEvent> events;

  private:
    ProviderEvent snapshot(ZQBaseEntityDataProvider& provider, ProviderEvent::Kind kind) const;
    std::string idField_;
};

class ProviderTest : public ManagerTest {
  protected:
    void SetUp() override;
    // Loads a query through the manager alone, so that the cache holds its rows.
    void prime(const std::shared_ptr<ZQEntityDataQueryInfo>& query);
    // Connects the provider to the recording loader and the delegate.
    void attach(ZQBaseEntityDataProvider& provider, const std::string& idField = "InvoiceId");
    // Runs the main loop until the provider has nothing in flight and the manager is idle.
    bool settle(ZQBaseEntityDataProvider& provider);
    // The caching window of the invoice list is 10 minutes: step past it.
    void leaveCachingWindow() { clock_->advance(11 * 60); }

    std::shared_ptr<RecordingQueryLoader> loader_;
    std::shared_ptr<RecordingProviderDelegate> delegate_;
};

std::vector<int64_t> idRange(int64_t first, int64_t last);

}  // namespace zqtest
