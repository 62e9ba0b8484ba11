// Values as they reach the JSON lines (numbers read back equal, values without a JSON form become
// null instead of ending the line), and the verbose notes' reading of what the cache decided.
#include "tools/zqdl/ZqdlJsonWriter.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionResult.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tools/zqdl/ZqdlCacheDecision.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"
#include "tools/zqdl/ZqdlQueryBuilder.hpp"

namespace zqdl {
namespace {

std::string written(const platform::Value& value) {
    ZqdlJsonWriter out;
    out.value(value);
    EXPECT_TRUE(out.ok());
    return out.text();
}

TEST(ZqdlJsonWriter, NumbersAreTheShortestTextThatReadsBackEqual) {
    EXPECT_EQ(written(platform::Value(129.9)), "129.9");
    EXPECT_EQ(written(platform::Value(353.0)), "353");
    EXPECT_EQ(written(platform::Value(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(written(platform::Value(std::numeric_limits<double>::quiet_NaN())), "null");
    EXPECT_EQ(written(*platform::Decimal::fromString("12.30")), "12.30");
}

TEST(ZqdlJsonWriter, ValuesWithoutAJsonFormBecomeNullAndTheLineStaysWhole) {
    EXPECT_EQ(written(platform::Value()), "null");
    platform::Dictionary row{{"b", platform::Value::object(std::make_shared<platform::Object>())},
                             {"c", platform::Value::bytes({1, 2, 3})},
                             {"d", platform::Value(platform::Date(0))},
                             {"e", platform::Value("caf\xc3\xa9 \"q\"")}};
    std::string text = written(platform::Value(row));
    auto parsed = ZQJSON::parse(text);
    ASSERT_FALSE(parsed.error) << text;
    EXPECT_EQ(parsed.value["b"], platform::Value::null());
    EXPECT_EQ(parsed.value["c"], platform::Value(3));  // the size of the bytes
    EXPECT_EQ(parsed.value["d"], platform::Value("1970-01-01T00:00:00Z"));
    EXPECT_EQ(parsed.value["e"], platform::Value("caf\xc3\xa9 \"q\""));
}

TEST(ZqdlCacheDecision, ReadsTheRequestsAndTheResultAsTheManagerDecided) {
    auto model = zqtest::loadSampleModel();
    ZqdlProviderCatalog catalog(*model);
    const ZqdlProvider& invoices = *catalog.find("Sales.WorkWithInvoice.Invoice.List");
    auto make = [&](const char* type) {
        QueryOptions options;
        options.type = *ZqdlCommandLine::queryTypeNamed(type);
        std::string error;
        return ZqdlQueryBuilder::make(invoices, ZqdlProviderCatalog::dataSource(invoices), options,
                                      &error);
    };
    auto rows = ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultWithResultData(
        ZQEntityDataSections{}, platform::Date(1), 0, false, std::nullopt, std::nullopt,
        std::nullopt, std::nullopt, 1);
    auto upToDate =
        ZQRemoteEntityDataQueryCollectionResult::entityDataQueryResultUpToDateWithTimeStamp(
            platform::Date(1), std::nullopt, std::nullopt, 1);
    auto explain = [](const auto& query, const auto& result, std::optional<std::vector<int>> s) {
        return ZqdlCacheDecision::explain(*query, *result, s);
    };
    EXPECT_NE(explain(make("first"), rows, std::vector<int>{304}).find("304 Not Modified"),
              std::string::npos);
    EXPECT_NE(explain(make("first"), rows, std::vector<int>{200}).find("saved into the cache"),
              std::string::npos);
    EXPECT_NE(explain(make("first"), rows, std::vector<int>{}).find("caching window (10 min)"),
              std::string::npos);
    EXPECT_NE(explain(make("next"), upToDate, std::vector<int>{}).find("up to date"),
              std::string::npos);
    EXPECT_NE(explain(make("local"), rows, std::nullopt).find("Local query"), std::string::npos);
    EXPECT_NE(explain(make("first"), rows, std::nullopt).find("--server"), std::string::npos);
}

}  // namespace
}  // namespace zqdl
