// Shared pieces of the business-component tests: a small application model (an invoice with
// lines keyed by number, a component keyed by the text field &Code) made the running model, with
// its cache in a temporary application root, on either store kind (the level entities in the
// SQLite file or in the memory store); the server base URL points at a loopback server shared by
// the suite. Keys, reply texts, a handler runner that records the one report and the thread it
// came on, and readers of what the cache holds. The fixture belongs to one test (main thread).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/TempDir.hpp"

namespace zqtest {

enum class BCStoreKind { SQLite, Memory };

struct HandlerReport {
    int count = 0;
    bool onMainThread = false;
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData;
    platform::ErrorPtr error;
};

class BusinessComponentTest : public ::testing::TestWithParam<BCStoreKind> {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    LoopbackServer& server() { return *sharedServer_; }
    // "/bc/rest/<path>" on the loopback server.
    static std::string restPath(const std::string& path) { return "/bc/rest/" + path; }

    std::shared_ptr<const ZQBusinessComponentModel> invoice() const;
    std::shared_ptr<const ZQBusinessComponentModel> coded() const;
    std::shared_ptr<const ZQEntityDataKey> invoiceKey(platform::Value id) const;
    std::shared_ptr<const ZQEntityDataKey> lineKey(std::shared_ptr<const ZQEntityDataKey> parent,
                                                   platform::Value lineId) const;
    std::shared_ptr<const ZQEntityDataKey> codedKey(platform::Value code) const;

    // {"InvoiceId": id, ..., "Line": [lines]}; each line {"InvoiceLineId": n, ...}; no member
    // "Line" when lines is none.
    static std::string invoiceJSON(int64_t id, const std::string& customer,
                                   std::optional<std::vector<int64_t>> lines);

    // Starts the handler on the main thread and runs the main loop until it reported (or, with
    // waitSeconds, for that long), then a little longer to catch a second report.
    std::shared_ptr<HandlerReport> run(const std::shared_ptr<ZQBusinessComponentHandler>& handler,
                                       double settleSeconds = 0.2);
    static std::shared_ptr<HandlerReport> observe(
        const std::shared_ptr<ZQBusinessComponentHandler>& handler);

    // Root objects of the invoice entity, and line objects, as the stores hold them now.
    size_t cachedCount(const std::string& entityName) const;
    // The value of a cache attribute of the invoice whose key is id; absent when not cached.
    platform::Value cachedInvoiceValue(int64_t id, const std::string& attribute) const;
    std::shared_ptr<platform::ManagedObjectContext> newContext() const;
    std::shared_ptr<platform::ManagedObjectContext> mainContext() const;

    std::unique_ptr<TempDir> root_;
    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::shared_ptr<ZQModel> model_;

  private:
    std::shared_ptr<ZQModel> previousModel_;
    std::filesystem::path previousRoot_;
    static std::unique_ptr<LoopbackServer> sharedServer_;
};

std::string businessComponentTestModelJSON(const std::string& serverBaseURL);

}  // namespace zqtest
