// Shared pieces of the entity data manager's end-to-end tests: the sample application running
// against a loopback server (its invoice list cached in the SQLite store with a 10-minute window,
// its customer list uncached and so kept in the memory store), a cache in a temporary application
// root, a manual clock, generated rows with paging and Last-Modified / 304 answers, and a
// delegate that records every answer and the thread it came on. The fixture belongs to one test
// (the server is shared by the suite); ServedRows and RecordingManagerDelegate are thread-safe
// (their mutexes guard their state).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQuerySingleItemInfoClass.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"
#include "platform/Clock.hpp"
#include "platform/Mutex.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"
#include "tests/support/TempDir.hpp"

namespace zqtest {

// The rows one provider route serves: `count` generated rows, paged by the request's start and
// count (count 0 or none: all from start), with a Last-Modified time; a request whose
// If-Modified-Since equals it gets 304. Answers can be held back (stalled) by a predicate, or
// replaced by an error status.
class ServedRows {
  public:
    using RowMaker = std::function<std::string(int64_t id)>;
    using StallTest = std::function<bool(const std::map<std::string, std::string>& query)>;

    explicit ServedRows(RowMaker makeRow) : makeRow_(std::move(makeRow)) {}

    void setRowCount(int64_t count) EXCLUDES(mutex_);
    void setLastModified(platform::Date date) EXCLUDES(mutex_);
    platform::Date lastModified() const EXCLUDES(mutex_);
    // Requests for which the test answers true wait until the server releases its stalls.
    void setStallWhen(StallTest test) EXCLUDES(mutex_);
    // Every answer is this status with an error body; 0 answers normally again.
    void setFailureStatus(int status) EXCLUDES(mutex_);

    LoopbackResponse answer(const LoopbackRequest& request) const EXCLUDES(mutex_);

  private:
    const RowMaker makeRow_;
    mutable platform::Mutex mutex_;
    int64_t rowCount_ GUARDED_BY(mutex_) = 100;
    platform::Date lastModified_ GUARDED_BY(mutex_) = platform::Date(1704067200.0);  // 2024-01-01
    StallTest stallWhen_ GUARDED_BY(mutex_);
    int failureStatus_ GUARDED_BY(mutex_) = 0;
};

// "a=1&b=2" to {a: 1, b: 2}; values stay escaped.
std::map<std::string, std::string> queryItems(const std::string& query);

// Records every answer: the query, the result and whether it came on the main thread.
class RecordingManagerDelegate : public ZQEntityDataManagerDelegate {
  public:
    struct Call {
        std::shared_ptr<ZQEntityDataManager> manager;
        std::shared_ptr<ZQEntityDataQueryInfo> query;
        std::shared_ptr<ZQEntityDataQueryResult> result;
        bool onMainThread = false;
    };

    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>& manager,
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override EXCLUDES(mutex_);

    std::vector<Call> calls() const EXCLUDES(mutex_);
    size_t count() const EXCLUDES(mutex_);
    // Runs the main loop until that many answers came (generous timeout).
    bool waitForCount(size_t n) const;
    // The one answer (fails the test unless exactly one came, on the main thread).
    std::shared_ptr<ZQEntityDataQueryResult> onlyResult() const;
    std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult> onlyCollectionResult() const;

  private:
    mutable platform::Mutex mutex_;
    std::vector<Call> calls_ GUARDED_BY(mutex_);
};

// The InvoiceId (or CustomerId) of every row of a collection result, section after section.
std::vector<int64_t> rowIds(const ZQEntityDataQueryCollectionResult& result,
                            const std::string& idField = "InvoiceId");

class ManagerTest : public ::testing::Test {
  protected:
    static constexpr const char* kInvoicesPath = "/sample/rest/Sales/WorkWithInvoice/Invoice/List";
    static constexpr const char* kCustomersPath = "/sample/rest/WorkWithCustomer/Customer/List";
    static constexpr const char* kCustomerDetailPath =
        "/sample/rest/WorkWithCustomer/Customer/Detail";
    // The fixture's clock starts here (2024-03-01 09:00:00 UTC).
    static constexpr double kStartTime = 1709283600.0;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    LoopbackServer& server() { return *sharedServer_; }

    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> invoices(
        ZQEntityDataQueryType type, uint64_t pageSize, bool allLoadedData = false,
        std::optional<std::string> searchText = std::nullopt) const;
    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> customers(ZQEntityDataQueryType type,
                                                                     uint64_t pageSize) const;
    std::shared_ptr<ZQRemoteEntityDataQuerySingleItemInfoClass> customerDetail(
        ZQEntityDataQueryType type, int64_t customerId) const;

    // Loads and waits for the one answer of a new delegate.
    std::shared_ptr<RecordingManagerDelegate> loadAndWait(
        const std::shared_ptr<ZQEntityDataQueryInfo>& query);
    // Runs the main loop until the manager has nothing in flight.
    bool waitUntilIdle();
    // The app starts again over the same files: a new model whose cache is not open yet, and a
    // new manager. The old model goes first, so that none of its connections holds the file.
    void restartOverTheSameFiles();
    std::vector<LoopbackRequest> invoiceRequests() const;

    std::shared_ptr<platform::ManualClock> clock_ =
        std::make_shared<platform::ManualClock>(platform::Date(kStartTime));
    std::unique_ptr<platform::ScopedClock> clockGuard_;
    std::unique_ptr<TempDir> root_;
    std::filesystem::path previousRoot_;
    std::shared_ptr<ZQModel> previousModel_;
    std::shared_ptr<ZQModel> model_;
    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> invoiceSource_;
    std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> customerSource_;
    std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> customerDetailSource_;
    std::shared_ptr<ServedRows> invoiceRows_;
    std::shared_ptr<ServedRows> customerRows_;
    std::shared_ptr<ZQRemoteEntityDataManager> manager_;

  private:
    // A new model over appModel_ with its cache in the root, made the current model.
    void runModel();

    static std::unique_ptr<LoopbackServer> sharedServer_;
};

}  // namespace zqtest
