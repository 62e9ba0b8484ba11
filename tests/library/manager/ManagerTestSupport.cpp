#include "tests/library/manager/ManagerTestSupport.hpp"

#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "platform/DateFormat.hpp"
#include "platform/MainLoop.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace zqtest {

std::unique_ptr<LoopbackServer> ManagerTest::sharedServer_;

// --- ServedRows -------------------------------------------------------------------------------

void ServedRows::setRowCount(int64_t count) {
    platform::MutexLock hold(mutex_);
    rowCount_ = count;
}

void ServedRows::setLastModified(platform::Date date) {
    platform::MutexLock hold(mutex_);
    lastModified_ = date;
}

platform::Date ServedRows::lastModified() const {
    platform::MutexLock hold(mutex_);
    return lastModified_;
}

void ServedRows::setStallWhen(StallTest test) {
    platform::MutexLock hold(mutex_);
    stallWhen_ = std::move(test);
}

void ServedRows::setFailureStatus(int status) {
    platform::MutexLock hold(mutex_);
    failureStatus_ = status;
}

LoopbackResponse ServedRows::answer(const LoopbackRequest& request) const {
    int64_t rowCount = 0;
    platform::Date lastModified;
    StallTest stallWhen;
    int failureStatus = 0;
    {
        platform::MutexLock hold(mutex_);
        rowCount = rowCount_;
        lastModified = lastModified_;
        stallWhen = stallWhen_;
        failureStatus = failureStatus_;
    }
    const std::map<std::string, std::string> items = queryItems(request.query);
    LoopbackResponse response;
    if (stallWhen && stallWhen(items)) response.stallSeconds = 120;
    if (failureStatus != 0) {
        LoopbackResponse failure = LoopbackResponse::error(failureStatus, "500", "Server is down");
        failure.stallSeconds = response.stallSeconds;
        return failure;
    }
    const std::string stamp = platform::httpDateString(lastModified);
    response.headers.emplace_back("Last-Modified", stamp);
    if (auto since = request.header("If-Modified-Since"); since && *since == stamp) {
        response.status = 304;
        return response;
    }
    auto number = [&items](const char* name) -> int64_t {
        auto found = items.find(name);
        return found == items.end() || found->second.empty() ? 0 : std::stoll(found->second);
    };
    const int64_t start = number("start");
    const int64_t count = number("count");
    const int64_t end = count == 0 ? rowCount : std::min(rowCount, start + count);
    std::ostringstream body;
    body << "[";
    for (int64_t id = start + 1; id <= end; ++id) {
        if (id > start + 1) body << ",";
        body << makeRow_(id);
    }
    body << "]";
    response.body = body.str();
    return response;
}

std::map<std::string, std::string> queryItems(const std::string& query) {
    std::map<std::string, std::string> items;
    std::istringstream in(query);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        if (pair.empty()) continue;
        auto equals = pair.find('=');
        if (equals == std::string::npos) {
            items[pair] = "";
        } else {
            items[pair.substr(0, equals)] = pair.substr(equals + 1);
        }
    }
    return items;
}

// --- RecordingManagerDelegate -----------------------------------------------------------------

void RecordingManagerDelegate::entityDataManagerDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataManager>& manager,
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    platform::MutexLock hold(mutex_);
    calls_.push_back({manager, query, result, platform::isMainThread()});
}

std::vector<RecordingManagerDelegate::Call> RecordingManagerDelegate::calls() const {
    platform::MutexLock hold(mutex_);
    return calls_;
}

size_t RecordingManagerDelegate::count() const {
    platform::MutexLock hold(mutex_);
    return calls_.size();
}

bool RecordingManagerDelegate::waitForCount(size_t n) const {
    return runMainLoopUntil([this, n] { return count() >= n; });
}

std::shared_ptr<ZQEntityDataQueryResult> RecordingManagerDelegate::onlyResult() const {
    std::vector<Call> all = calls();
    EXPECT_EQ(all.size(), 1u);
    if (all.empty()) return nullptr;
    EXPECT_TRUE(all.front().onMainThread);
    return all.front().result;
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
RecordingManagerDelegate::onlyCollectionResult() const {
    auto result = std::dynamic_pointer_cast<ZQRemoteEntityDataQueryCollectionResult>(onlyResult());
    EXPECT_TRUE(result) << "not a collection result";
    return result;
}

std::vector<int64_t> rowIds(const ZQEntityDataQueryCollectionResult& result,
                            const std::string& idField) {
    std::vector<int64_t> ids;
    if (!result.resultData()) return ids;
    for (const auto& section : *result.resultData()) {
        for (const auto& item : section) {
            ids.push_back(item ? item->valueForEntityDataFieldName(idField).integer().value_or(-1)
                               : -1);
        }
    }
    return ids;
}

// --- ManagerTest ------------------------------------------------------------------------------

namespace {

std::string invoiceRow(int64_t id) {
    std::ostringstream row;
    row << R"({"InvoiceId": )" << id << R"(, "InvoiceDate": "2024-01-)" << (10 + id % 18)
        << R"(", "CustomerName": "Customer )" << (id % 7) << R"(", "InvoiceTotal": )" << id
        << R"(.5, "InvoicePaid": )" << (id % 2 == 0 ? "true" : "false") << "}";
    return row.str();
}

std::string customerRow(int64_t id) {
    std::ostringstream row;
    row << R"({"CustomerId": )" << id << R"(, "CustomerName": "Name )" << id
        << R"(", "CustomerEmail": "c)" << id << R"(@example.com", "CustomerPhoto": "",)"
        << R"( "CustomerActive": true, "CustomerSince": "2020-01-01"})";
    return row.str();
}

// The customer detail carries its invoices and their lines (sublevels of the detail).
std::string customerDetailItem(int64_t id) {
    std::string row = customerRow(id);
    row.pop_back();  // the closing brace
    return row + R"(, "Invoices": [{"InvoiceId": 1, "InvoiceDate": "2024-01-08", )" +
           R"("InvoiceTotal": 10.5, "InvoicePaid": true, "Lines": [{"InvoiceLineId": 1, )" +
           R"("ProductName": "Pen", "LineAmount": 10.5}]}]})";
}

std::string sampleModelText(const std::string& serverBaseURL) {
    std::ifstream in(sampleAppFolder() / "model.json");
    std::stringstream text;
    text << in.rdbuf();
    std::string model = text.str();
    const std::string placeholder = "http://127.0.0.1:8080/";
    auto at = model.find(placeholder);
    if (at != std::string::npos) model.replace(at, placeholder.size(), serverBaseURL);
    return model;
}

}  // namespace

void ManagerTest::SetUpTestSuite() {
    sharedServer_ = std::make_unique<LoopbackServer>(32);
}

void ManagerTest::TearDownTestSuite() {
    sharedServer_.reset();
}

void ManagerTest::SetUp() {
    server().clearRoutes();
    server().clearLog();
    clockGuard_ = std::make_unique<platform::ScopedClock>(clock_);
    root_ = std::make_unique<TempDir>();
    auto storage = ZQApplicationStorageService::sharedInstance();
    previousRoot_ = storage->applicationRoot();
    storage->setApplicationRoot(root_->path());
    previousModel_ = ZQModel::currentModel();

    auto loaded = ZQApplicationModelLoader::loadFromString(sampleModelText(server().baseURL()),
                                                           "manager-tests-model");
    ASSERT_FALSE(loaded.error) << loaded.error->description();
    appModel_ = loaded.model;
    ZQCoreDataCacheClasses::registerClasses();
    runModel();

    auto invoiceLevel = appModel_->workWithsByName().at("WorkWithInvoice")->levels().at(0);
    auto invoiceData = appModel_->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
    invoiceSource_ = ZQRemoteWorkWithCollectionDataSource::create(
        invoiceData->workWithModel(), invoiceData,
        invoiceLevel->list()->parameters().value_or(ZQWorkWithParameters{}));
    auto customerLevel = appModel_->workWithsByName().at("WorkWithCustomer")->levels().at(0);
    auto customerData = appModel_->dataProviderNamed("WorkWithCustomer.Customer.List");
    customerSource_ = ZQRemoteWorkWithCollectionDataSource::create(
        customerData->workWithModel(), customerData,
        customerLevel->list()->parameters().value_or(ZQWorkWithParameters{}));
    auto detailData = appModel_->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    customerDetailSource_ = ZQRemoteWorkWithSingleItemDataSource::create(
        detailData->workWithModel(), detailData, customerLevel->detail()->parameters());

    invoiceRows_ = std::make_shared<ServedRows>(invoiceRow);
    customerRows_ = std::make_shared<ServedRows>(customerRow);
    customerRows_->setRowCount(12);
    auto invoices = invoiceRows_;
    auto customers = customerRows_;
    server().route("GET", kInvoicesPath, [invoices](const LoopbackRequest& request) {
        return invoices->answer(request);
    });
    server().route("GET", kCustomersPath, [customers](const LoopbackRequest& request) {
        return customers->answer(request);
    });
    server().route("GET", kCustomerDetailPath, [](const LoopbackRequest&) {
        LoopbackResponse response = LoopbackResponse::json(customerDetailItem(3));
        response.headers.emplace_back("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
        return response;
    });

    manager_ = ZQRemoteEntityDataManager::create();
}

void ManagerTest::runModel() {
    platform::ErrorPtr error;
    auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel_, &error);
    ASSERT_TRUE(schema) << (error ? error->description() : "no schema");
    platform::Dictionary objects;
    objects.set(ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel,
                platform::Value::object(schema));
    model_ = ZQModel::create(appModel_, objects);
    ASSERT_TRUE(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
        model_, model_->modelObjects()));
    ZQModel::setCurrentModel(model_);
}

void ManagerTest::restartOverTheSameFiles() {
    manager_.reset();
    ZQModel::setCurrentModel(nullptr);
    model_.reset();
    runModel();
    manager_ = ZQRemoteEntityDataManager::create();
}

void ManagerTest::TearDown() {
    if (manager_) {
        manager_->cancelAllOperations();
        server().releaseStalls();
        EXPECT_TRUE(waitUntilIdle());
        manager_.reset();
    }
    server().releaseStalls();
    ZQModel::setCurrentModel(previousModel_);
    model_.reset();
    if (root_) ZQApplicationStorageService::sharedInstance()->setApplicationRoot(previousRoot_);
    clockGuard_.reset();
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> ManagerTest::invoices(
    ZQEntityDataQueryType type, uint64_t pageSize, bool allLoadedData,
    std::optional<std::string> searchText) const {
    return ZQRemoteEntityDataQueryCollectionInfo::create(
        invoiceSource_, type, std::nullopt, 7, allLoadedData, pageSize, ZQNotFound,
        std::move(searchText), ZQNotFound, std::nullopt);
}

std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> ManagerTest::customers(
    ZQEntityDataQueryType type, uint64_t pageSize) const {
    return ZQRemoteEntityDataQueryCollectionInfo::create(customerSource_, type, std::nullopt, 8,
                                                         false, pageSize, ZQNotFound, std::nullopt,
                                                         ZQNotFound, std::nullopt);
}

std::shared_ptr<ZQRemoteEntityDataQuerySingleItemInfoClass> ManagerTest::customerDetail(
    ZQEntityDataQueryType type, int64_t customerId) const {
    return ZQRemoteEntityDataQuerySingleItemInfoClass::create(
        customerDetailSource_, type, platform::Array{platform::Value(customerId)}, 9);
}

std::shared_ptr<RecordingManagerDelegate> ManagerTest::loadAndWait(
    const std::shared_ptr<ZQEntityDataQueryInfo>& query) {
    auto delegate = std::make_shared<RecordingManagerDelegate>();
    manager_->load(query, delegate);
    EXPECT_TRUE(delegate->waitForCount(1));
    return delegate;
}

bool ManagerTest::waitUntilIdle() {
    return runMainLoopUntil([this] {
        return manager_->cacheOperationQueue()->operationCount() == 0 &&
               manager_->serviceManager()->runningLoadCount() == 0;
    });
}

std::vector<LoopbackRequest> ManagerTest::invoiceRequests() const {
    return sharedServer_->requestsFor("GET", kInvoicesPath);
}

}  // namespace zqtest
