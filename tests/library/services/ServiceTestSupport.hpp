// Shared pieces of the data-service tests: a delegate that records what loaders and service
// managers report, and an application model whose data providers exercise every part of a request
// URL, served by a loopback server. Header-only; the recorder is thread-safe (its mutex guards the
// calls), the model environment belongs to one test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceLoaderDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManagerDelegate.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/Mutex.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

class RecordingServiceDelegate : public ZQEntityDataServiceLoaderDelegate,
                                 public ZQEntityDataServiceManagerDelegate {
  public:
    struct Call {
        const void* sender = nullptr;  // the loader or the service manager
        std::shared_ptr<ZQEntityDataServiceQueryInfo> query;
        std::shared_ptr<ZQEntityDataServiceResult> result;
    };

    // Runs after the call is recorded, on the reporting thread.
    std::function<void(const Call&)> onCall;

    void entityDataServiceLoaderDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceLoader>& loader,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) override {
        record({loader.get(), query, result});
    }
    void entityDataServiceManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataServiceManager>& manager,
        const std::shared_ptr<ZQEntityDataServiceQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataServiceResult>& result) override {
        record({manager.get(), query, result});
    }

    std::vector<Call> calls() const EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        return calls_;
    }
    size_t count() const EXCLUDES(mutex_) {
        platform::MutexLock lock(mutex_);
        return calls_.size();
    }
    bool waitForCount(size_t n) const {
        return runMainLoopUntil([this, n] { return count() >= n; });
    }
    // The one result reported (fails the test unless exactly one call came).
    std::shared_ptr<ZQEntityDataServiceResult> onlyResult() const {
        std::vector<Call> all = calls();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? nullptr : all.front().result;
    }

  private:
    void record(Call call) EXCLUDES(mutex_) {
        {
            platform::MutexLock lock(mutex_);
            calls_.push_back(call);
        }
        if (onCall) onCall(call);
    }

    mutable platform::Mutex mutex_;
    std::vector<Call> calls_ GUARDED_BY(mutex_);
};

// A model with the providers of the request examples, served below "<server>app/": a collection
// Sales.Orders.List with two orders, search, and an advanced filter (a date range and a single
// text field), a collection Customers (a name without dots, nothing but paging) and a single item
// Sales.Orders.Detail with one parameter.
inline std::string ordersModelJSON(const std::string& serverBaseURL) {
    return R"({
  "name": "ServiceTests",
  "appServerBaseUrl": ")" +
           serverBaseURL + R"(app",
  "attributes": [
    {"name": "OrderId", "type": "numeric", "length": 6},
    {"name": "OrderDate", "type": "date"},
    {"name": "CustomerName", "type": "varchar", "length": 60},
    {"name": "OrderTotal", "type": "numeric", "length": 12, "decimals": 2}
  ],
  "workWiths": [{
    "name": "Orders",
    "levels": [{
      "name": "Order",
      "list": {
        "parameters": [{"name": "&Region", "type": "varchar", "length": 10}],
        "data": [
          {"dataProvider": "Sales.Orders.List", "collection": true,
           "elements": [{"name": "OrderId"}, {"name": "OrderDate"}, {"name": "CustomerName"},
                        {"name": "OrderTotal"}],
           "orders": [{"name": "ById", "fields": ["OrderId"]},
                      {"name": "ByDate", "fields": ["OrderDate"]}],
           "search": {"fields": ["CustomerName", "OrderId"]},
           "advancedFilter": {"fields": [{"name": "OrderDate", "range": true},
                                         {"name": "CustomerName"}]}},
          {"dataProvider": "Customers", "collection": true,
           "elements": [{"name": "CustomerName"}]}
        ]
      },
      "detail": {
        "dataProvider": "Sales.Orders.Detail",
        "parameters": [{"name": "&OrderId", "attribute": "OrderId"}],
        "data": [{"dataProvider": "Sales.Orders.Detail",
                  "elements": [{"name": "OrderId"}, {"name": "OrderTotal"}]}]
      }
    }]
  }]
})";
}

// Makes the orders model the running one for the life of the object, and puts back whatever ran
// before.
class RunningOrdersModel {
  public:
    explicit RunningOrdersModel(const std::string& serverBaseURL)
        : previous_(ZQModel::currentModel()) {
        ZQApplicationModelLoadResult loaded = ZQApplicationModelLoader::loadFromString(
            ordersModelJSON(serverBaseURL), "service-tests-model");
        EXPECT_EQ(loaded.error, nullptr) << (loaded.error ? loaded.error->description() : "");
        appModel = loaded.model;
        if (appModel) ZQModel::setCurrentModel(ZQModel::create(appModel));
    }
    ~RunningOrdersModel() { ZQModel::setCurrentModel(previous_); }
    RunningOrdersModel(const RunningOrdersModel&) = delete;
    RunningOrdersModel& operator=(const RunningOrdersModel&) = delete;

    std::shared_ptr<const ZQApplicationModel> appModel;

  private:
    std::shared_ptr<ZQModel> previous_;
};

}  // namespace zqtest
