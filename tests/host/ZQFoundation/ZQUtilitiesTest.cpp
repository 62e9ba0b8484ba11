#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPHeaderFields.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "platform/DateFormat.hpp"

using platform::Dictionary;
using platform::Value;

namespace {

TEST(UtilitiesTest, ValueCoercions) {
    EXPECT_TRUE(ZQUtilities::boolFromValue(Value(true)));
    EXPECT_TRUE(ZQUtilities::boolFromValue(Value(2)));
    EXPECT_TRUE(ZQUtilities::boolFromValue(Value(" YES ")));
    EXPECT_TRUE(ZQUtilities::boolFromValue(Value("1")));
    EXPECT_TRUE(ZQUtilities::boolFromValue(Value("t")));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value("0")));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value("no")));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value("")));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value(0.0)));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value::null()));
    EXPECT_FALSE(ZQUtilities::boolFromValue(Value()));

    EXPECT_EQ(ZQUtilities::nonEmptyStringFromObject(Value("x")), "x");
    EXPECT_FALSE(ZQUtilities::nonEmptyStringFromObject(Value("")).has_value());
    EXPECT_FALSE(ZQUtilities::nonEmptyStringFromObject(Value(5)).has_value());
    EXPECT_FALSE(ZQUtilities::nonEmptyStringFromObject(Value::null()).has_value());

    EXPECT_EQ(ZQUtilities::arrayFromObject(Value::array({1, 2})), Value::array({1, 2}));
    EXPECT_TRUE(ZQUtilities::arrayFromObject(Value::dictionary({{"a", 1}})).isAbsent());
    EXPECT_TRUE(ZQUtilities::arrayFromObject(Value::null()).isAbsent());
}

TEST(UtilitiesTest, URLParameterStringsAreSortedAndEscapeOnlyNonStrings) {
    EXPECT_FALSE(ZQUtilities::urlParametersStringFrom(nullptr, true).has_value());
    Dictionary empty;
    EXPECT_EQ(ZQUtilities::urlParametersStringFrom(&empty, true), "");

    Dictionary parameters{
        {"zeta", Value("a%20b")},  // already URL text: unchanged
        {"Alpha", Value(true)},   {"count", Value(12)},
        {"price", Value(12.5)},   {"when", Value(platform::Date(1706702400.0))},
        {"none", Value::null()},  {"list", Value::array({1, Value("x y")})},
    };
    EXPECT_EQ(ZQUtilities::urlParametersStringFrom(&parameters, true),
              "Alpha=true&count=12&list=%5B1%2C%22x%20y%22%5D&none=&price=12.5&"
              "when=2024-01-31T12%3A00%3A00&zeta=a%20b");
}

TEST(UtilitiesTest, ServerErrorBodiesOfEachKnownShape) {
    platform::ErrorPtr nested = ZQUtilities::errorFromResponseData(
        Value(R"({"error":{"code":"42","message":"Customer is locked"}})"));
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->domain(), ZQServerErrorDomain);
    EXPECT_EQ(nested->code(), 42);
    EXPECT_EQ(nested->localizedDescription(), "Customer is locked");
    EXPECT_EQ(nested->userInfo().get(ZQServerErrorCodeErrorKey), Value("42"));

    platform::ErrorPtr textual =
        ZQUtilities::errorFromResponseData(Value(R"({"error":{"code":"DuplicateKey"}})"));
    ASSERT_NE(textual, nullptr);
    EXPECT_EQ(textual->code(), 0);
    EXPECT_EQ(textual->localizedDescription(), defaultZQError()->localizedDescription());
    EXPECT_EQ(textual->userInfo().get(ZQServerErrorCodeErrorKey), Value("DuplicateKey"));

    platform::ErrorPtr flat =
        ZQUtilities::errorFromResponseData(Value(R"({"code":7,"message":"Flat"})"));
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->code(), 7);

    std::string body = R"({"error":"invalid_grant","error_description":"No"})";
    platform::ErrorPtr oauth =
        ZQUtilities::errorFromResponseData(Value::bytes(Value::Bytes(body.begin(), body.end())));
    ASSERT_NE(oauth, nullptr);
    EXPECT_EQ(oauth->localizedDescription(), "No");

    // Bodies the host cannot read as a server error give none, so callers fall back to the status.
    EXPECT_EQ(ZQUtilities::errorFromResponseData(Value("<html>Oops</html>")), nullptr);
    EXPECT_EQ(ZQUtilities::errorFromResponseData(Value(R"({"items":[]})")), nullptr);
    EXPECT_EQ(ZQUtilities::errorFromResponseData(Value(R"([1])")), nullptr);
    EXPECT_EQ(ZQUtilities::errorFromResponseData(Value()), nullptr);
    EXPECT_EQ(ZQUtilities::errorFromResponseData(Value::bytes({})), nullptr);
}

TEST(UtilitiesTest, WarningHeadersFollowTheWarningSyntaxAndTolerateJunk) {
    auto warnings = ZQUtilities::httpWarningsFromHeader(
        R"(299 app.example:8080 "Stock is low, \"order\" soon" "Wed, 31 Jan 2024 12:00:00 GMT", )"
        R"(110 - "Response is Stale", garbage here, 199 agent "Check the date")");
    ASSERT_TRUE(warnings.has_value());
    ASSERT_EQ(warnings->size(), 3u);
    EXPECT_EQ((*warnings)[0].code, 299);
    EXPECT_EQ((*warnings)[0].agent, "app.example:8080");
    EXPECT_EQ((*warnings)[0].warningText, "Stock is low, \"order\" soon");
    ASSERT_TRUE((*warnings)[0].date.has_value());
    EXPECT_EQ(*(*warnings)[0].date, *platform::parseHTTPDate("Wed, 31 Jan 2024 12:00:00 GMT"));
    EXPECT_TRUE((*warnings)[0].isUserWarning);
    EXPECT_EQ((*warnings)[1].code, 110);
    EXPECT_FALSE((*warnings)[1].isUserWarning);
    EXPECT_FALSE((*warnings)[1].date.has_value());
    EXPECT_EQ((*warnings)[2].warningText, "Check the date");
    EXPECT_TRUE((*warnings)[2].isUserWarning);

    auto unquoted = ZQUtilities::httpWarningsFromHeader("299 - plain words");
    ASSERT_TRUE(unquoted.has_value());
    EXPECT_EQ(unquoted->at(0).warningText, "plain words");
    auto badDate = ZQUtilities::httpWarningsFromHeader(R"(299 - "t" "not a date")");
    ASSERT_TRUE(badDate.has_value());
    EXPECT_FALSE(badDate->at(0).date.has_value());

    EXPECT_FALSE(ZQUtilities::httpWarningsFromHeader("").has_value());
    EXPECT_FALSE(ZQUtilities::httpWarningsFromHeader("nonsense").has_value());
    EXPECT_FALSE(ZQUtilities::httpWarningsFromHeader(R"(29 - "short code")").has_value());
}

TEST(UtilitiesTest, ReceivedHeaderFieldsCombineRepeatedNamesInFirstSeenOrder) {
    ZQHTTPHeaderFields fields = ZQHTTPHeaderFields::fromReceived({{"Set-Cookie", "a=1"},
                                                                  {"ETag", "\"v1\""},
                                                                  {"set-cookie", "b=2"},
                                                                  {"Warning", "199 x"},
                                                                  {"SET-COOKIE", "c=3"},
                                                                  {"warning", "299 y"}});
    std::vector<std::string> names;
    for (const auto& [name, value] : fields) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Set-Cookie", "ETag", "Warning"}));
    EXPECT_EQ(fields.get("set-cookie"), Value("a=1, b=2, c=3"));
    EXPECT_EQ(fields.get("WARNING"), Value("199 x, 299 y"));
    EXPECT_EQ(fields.get("etag"), Value("\"v1\""));
    EXPECT_TRUE(ZQHTTPHeaderFields::fromReceived({}).empty());
}

TEST(UtilitiesTest, FatalConditionsGoToTheHostWithoutEndingTheProcess) {
    ZQUtilities::clearRecordedFatalErrors();
    platform::ErrorPtr error =
        ZQUtilities::tryHandleFatalError("App cache URL for application is not available");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), ZQErrorDomain);
    EXPECT_EQ(error->code(), ZQErrorCodeFatal);
    EXPECT_EQ(developerDescriptionOfError(error), "App cache URL for application is not available");
    EXPECT_TRUE(ZQUtilities::tryRecoverFatalError("Invalid cache operation data source"));
    auto reports = ZQUtilities::recordedFatalErrors();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0].recoverable);
    EXPECT_TRUE(reports[1].recoverable);
    EXPECT_TRUE(ZQLog::loggerService()->hasRecordedMessageContaining(
        "Invalid cache operation data source"));

    std::vector<std::string> seen;
    ZQUtilities::setFatalErrorHandler([&](const ZQFatalErrorReport& report) {
        seen.push_back(report.message);
        return false;
    });
    EXPECT_FALSE(ZQUtilities::tryRecoverFatalError("stop here"));
    ZQUtilities::setFatalErrorHandler(nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"stop here"});
    EXPECT_EQ(ZQUtilities::recordedFatalErrors().size(), 2u);
    ZQUtilities::clearRecordedFatalErrors();
}

TEST(ErrorHelpersTest, GenericAndStatusErrors) {
    EXPECT_EQ(defaultZQError()->domain(), ZQErrorDomain);
    platform::ErrorPtr developer = defaultZQErrorWithDeveloperDescription("field X missing");
    EXPECT_EQ(developer->code(), defaultZQError()->code());
    EXPECT_EQ(developer->localizedDescription(), defaultZQError()->localizedDescription());
    EXPECT_EQ(developerDescriptionOfError(developer), "field X missing");

    platform::ErrorPtr status = errorForHTTPURLResponseStatusCode(503);
    EXPECT_EQ(status->domain(), ZQHTTPStatusErrorDomain);
    EXPECT_EQ(status->code(), 503);
    EXPECT_NE(status->localizedDescription().find("Service Unavailable"), std::string::npos);
    EXPECT_EQ(status->userInfo().get(ZQHTTPStatusCodeErrorKey), Value(503));
    EXPECT_EQ(reasonPhraseForHTTPStatusCode(799), "Unknown Status");
}

}  // namespace
