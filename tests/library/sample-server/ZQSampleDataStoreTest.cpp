// The sample server's rows without HTTP: modification times under a replaced clock, changes to
// keyed providers, and data files.
#include <gtest/gtest.h>

#include <fstream>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "examples/sample-server/ZQSampleDataStore.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "platform/Clock.hpp"
#include "tests/support/TempDir.hpp"

namespace {

using platform::Date;
using platform::Value;

const std::string kList = "Sales.WorkWithInvoice.Invoice.List";
const std::string kDetail = "Sales.WorkWithInvoice.Invoice.Detail";
const std::string kLines = "Sales.WorkWithInvoice.Invoice.Lines";

class SampleDataStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ZQApplicationModelLoadResult loaded = ZQApplicationModelLoader::loadFromFile(
            ZQSampleServer::sampleApplicationDirectory() / "model.json");
        ASSERT_EQ(loaded.error, nullptr);
        store = std::make_unique<ZQSampleDataStore>(ZQSampleProvider::catalog(*loaded.model));
        ASSERT_EQ(store->loadDirectory(ZQSampleServer::sampleApplicationDirectory() / "data"),
                  nullptr);
    }
    Value data(const std::string& provider) { return store->snapshot(provider)->data; }

    std::unique_ptr<ZQSampleDataStore> store;
};

TEST_F(SampleDataStore, ChangesMoveTheModificationTimeByAtLeastOneSecond) {
    auto clock = std::make_shared<platform::ManualClock>(Date(1900000000.75));
    platform::ScopedClock scoped(clock);
    ZQSampleChange first =
        store->patch(kList, {{"InvoiceId", Value(3)}}, {{"InvoicePaid", Value(false)}});
    EXPECT_EQ(first.rows, 1u);
    EXPECT_EQ(first.lastModified, Date(1900000000));  // whole seconds, as HTTP dates have them
    EXPECT_EQ(store->snapshot(kList)->lastModified, Date(1900000000));
    EXPECT_EQ(store->replace(kList, Value(platform::Array{})).lastModified, Date(1900000001));
    clock->advance(60);
    EXPECT_EQ(store->append(kList, {Value::dictionary({{"InvoiceId", Value(1)}})}).lastModified,
              Date(1900000060));
    // A change that touches nothing leaves the time alone.
    ZQSampleChange none = store->remove(kList, {{"InvoiceId", Value(42)}});
    EXPECT_EQ(none.rows, 0u);
    EXPECT_EQ(none.error, nullptr);
    EXPECT_EQ(store->snapshot(kList)->lastModified, Date(1900000060));
}

TEST_F(SampleDataStore, KeyedProvidersChangeUnderTheirKeys) {
    // Single items keyed by invoice: a match looks at every item, a key narrows it to one.
    EXPECT_EQ(
        store
            ->patch(kDetail, {{"CustomerName", Value("Acme Corp")}}, {{"InvoicePaid", Value(true)}})
            .rows,
        2u);
    EXPECT_EQ(data(kDetail)["4"]["InvoicePaid"], Value(true));
    EXPECT_EQ(data(kDetail)["4"]["Line"].count(), 1u);  // the rest of the item stays
    EXPECT_EQ(store->patch(kDetail, {}, {{"InvoiceTotal", Value(0)}}, "7").rows, 1u);
    EXPECT_EQ(data(kDetail)["7"]["InvoiceTotal"], Value(0));
    EXPECT_EQ(data(kDetail)["6"]["InvoiceTotal"], Value(307.8));
    EXPECT_EQ(store->remove(kDetail, {{"InvoiceId", Value(3)}}).rows, 1u);
    EXPECT_TRUE(data(kDetail)["3"].isAbsent());

    // Row arrays keyed by invoice.
    EXPECT_EQ(store->remove(kLines, {{"InvoiceLineId", Value(1)}}, "3").rows, 1u);
    EXPECT_EQ(data(kLines)["3"].count(), 2u);
    EXPECT_EQ(data(kLines)["1"].count(), 2u);
    EXPECT_EQ(store->append(kLines, {Value::dictionary({{"InvoiceLineId", Value(1)}})}, "42").rows,
              1u);
    EXPECT_EQ(data(kLines)["42"].count(), 1u);

    // Wrong shapes and names are errors that change nothing.
    EXPECT_NE(store->append(kLines, {Value::dictionary({})}).error, nullptr);  // no key
    EXPECT_NE(store->append(kList, {Value(7)}).error, nullptr);
    EXPECT_NE(store->replace(kList, Value("rows")).error, nullptr);
    ZQSampleChange unknown = store->patch("No.Provider", {}, {});
    ASSERT_NE(unknown.error, nullptr);
    EXPECT_EQ(unknown.error->code(), ZQSampleServerErrorUnknownProvider);
    EXPECT_EQ(data(kList).count(), 8u);
}

TEST_F(SampleDataStore, DataFilesGiveRowsAndTheirModificationTime) {
    zqtest::TempDir folder;
    { std::ofstream(folder / (kList + ".json")) << R"([{"InvoiceId": 1}])"; }
    auto written = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    std::filesystem::last_write_time(folder / (kList + ".json"), written);
    ASSERT_EQ(store->loadDirectory(folder.path()), nullptr);
    EXPECT_EQ(data(kList).count(), 1u);
    double age = Date::now().timeIntervalSinceDate(store->snapshot(kList)->lastModified);
    EXPECT_NEAR(age, 48 * 3600, 5);
    EXPECT_EQ(data(kDetail).count(), 8u);  // providers without a file keep their rows

    { std::ofstream(folder / (kDetail + ".json")) << "{\"1\": "; }
    platform::ErrorPtr error = store->loadDirectory(folder.path());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), ZQSampleServerErrorFile);
    EXPECT_NE(error->localizedDescription().find(kDetail), std::string::npos);
}

}  // namespace
