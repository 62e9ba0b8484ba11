// The rows a query delivers are made into objects of the cache's main context only when read,
// and stay there only while someone holds them: a held result that nobody reads keeps no row, a
// released one leaves the context empty, the rows read back whole from the cache, and clearing
// the cache takes even held rows out of the context.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

using zqtest::ManagerTest;
using zqtest::rowIds;
using Type = ZQRemoteEntityDataQueryType;

using ManagerDeliveredRows = ManagerTest;

constexpr int64_t kRows = 1000;

std::vector<int64_t> allIds() {
    std::vector<int64_t> ids;
    for (int64_t id = 1; id <= kRows; ++id) ids.push_back(id);
    return ids;
}

// The `n`th row (from 1) of a result, section after section.
std::shared_ptr<ZQEntityData> rowOf(const ZQEntityDataQueryCollectionResult& result, int64_t n) {
    for (const auto& section : *result.resultData()) {
        if (n <= static_cast<int64_t>(section.size())) return section[static_cast<size_t>(n - 1)];
        n -= static_cast<int64_t>(section.size());
    }
    return nullptr;
}

TEST_F(ManagerDeliveredRows, TheMainContextKeepsNoRowOnceTheResultIsReleased) {
    invoiceRows_->setRowCount(kRows);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model_);
    ASSERT_TRUE(context);
    {
        auto result = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
        ASSERT_TRUE(result && !result->error());
        ASSERT_TRUE(waitUntilIdle());
        EXPECT_LT(context->registeredObjectCount(), size_t{10});
        EXPECT_EQ(result->resultData()->rowCount(), size_t{kRows});
        EXPECT_EQ(rowIds(*result), allIds());
        // Each read of a row that someone still holds gives that same object.
        std::vector<std::shared_ptr<ZQEntityData>> all;
        for (const auto& section : *result->resultData())
            for (const auto& row : section) all.push_back(row);
        EXPECT_GE(context->registeredObjectCount(), size_t{kRows});
        EXPECT_EQ(rowOf(*result, 7), all[6]);
    }
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(context->registeredObjectCount(), 0u);

    // Nothing was lost with them: the cache answers every row with its values, as new objects.
    auto result = loadAndWait(invoices(Type::Local, 0))->onlyCollectionResult();
    ASSERT_TRUE(result && !result->error());
    EXPECT_EQ(rowIds(*result), allIds());
    auto row = rowOf(*result, 500);
    EXPECT_EQ(row->valueForEntityDataFieldName("CustomerName").string(), "Customer 3");
    EXPECT_EQ(row->valueForEntityDataFieldName("InvoicePaid").boolean(), true);
    EXPECT_EQ(server().requestsFor("GET", kInvoicesPath).size(), 1u);

    // A screen keeping a few rows keeps only those.
    std::vector<std::shared_ptr<ZQEntityData>> kept = {rowOf(*result, 1), rowOf(*result, 1000)};
    row.reset();
    result.reset();
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(context->registeredObjectCount(), kept.size());
    EXPECT_EQ(kept[1]->valueForEntityDataFieldName("InvoiceId").integer(), kRows);
}

TEST_F(ManagerDeliveredRows, ClearingTheCacheEmptiesTheMainContextEvenOfRowsStillHeld) {
    invoiceRows_->setRowCount(kRows);
    auto result = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(result && !result->error());
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(model_);
    std::vector<std::shared_ptr<ZQEntityData>> held = {rowOf(*result, 1), rowOf(*result, kRows)};
    ASSERT_GE(context->registeredObjectCount(), held.size());

    model_->clearCache();
    EXPECT_EQ(context->registeredObjectCount(), 0u);
    // Held rows of the removed files, and rows of the result read only now, no longer read their
    // values.
    EXPECT_TRUE(held[0]->valueForEntityDataFieldName("InvoiceId").isNothing());
    EXPECT_TRUE(rowOf(*result, 2)->valueForEntityDataFieldName("InvoiceId").isNothing());
    held.clear();
    result.reset();
    EXPECT_EQ(context->registeredObjectCount(), 0u);

    // The next query fills the cache and the context again from the server.
    auto again = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(again && !again->error());
    EXPECT_EQ(rowIds(*again), allIds());
    EXPECT_EQ(server().requestsFor("GET", kInvoicesPath).size(), 2u);
}

}  // namespace
