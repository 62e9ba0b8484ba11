// The sample server over real HTTP on loopback: paging, orders, search, filters, parameters,
// conditional answers, errors in the shape the host reads, the token endpoint and data changes.
#include <gtest/gtest.h>

#include <thread>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "examples/sample-server/ZQSampleSyntheticInvoices.hpp"
#include "platform/DateFormat.hpp"
#include "tests/library/sample-server/SampleServerTestSupport.hpp"

namespace {

using platform::Value;
using zqtest::HTTPReply;
using SampleServer = zqtest::SampleServerTest;
using Ids = std::vector<int64_t>;

const std::string kLines = "rest/Sales/WorkWithInvoice/Invoice/Lines";
const std::string kDetail = "rest/Sales/WorkWithInvoice/Invoice/Detail";
const std::string kListData = "_data/Sales.WorkWithInvoice.Invoice.List";

// The host's reading of an error answer: domain and code, or "none".
std::string hostError(const HTTPReply& reply) {
    platform::ErrorPtr error = ZQUtilities::errorFromResponseData(Value(reply.body));
    return error ? error->domain() + " " + std::to_string(error->code()) : "none";
}

TEST_F(SampleServer, PagesAndOrders) {
    EXPECT_EQ(invoices("start=0&count=0&zqid=1"), (Ids{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(invoices("start=2&count=3&zqid=1"), (Ids{3, 4, 5}));
    EXPECT_EQ(invoices("start=6&count=20&zqid=1"), (Ids{7, 8}));
    EXPECT_EQ(invoices("start=20&count=20&zqid=1"), Ids{});
    // ByCustomer (CustomerName, InvoiceId): digits first, accents and case at the primary level.
    EXPECT_EQ(invoices("Orderedby=1&start=0&count=0&zqid=1"), (Ids{6, 1, 4, 2, 8, 5, 3, 7}));
    EXPECT_EQ(invoices("Orderedby=1&start=1&count=3&zqid=1"), (Ids{1, 4, 2}));
    // ByDate (InvoiceDate, InvoiceId) equals the file order here; the customers' BySince does
    // not: dates of a date field sort as dates.
    EXPECT_EQ(invoices("Orderedby=0&zqid=1"), (Ids{1, 2, 3, 4, 5, 6, 7, 8}));
    HTTPReply since = get("rest/WorkWithCustomer/Customer/List?Orderedby=1&zqid=1");
    EXPECT_EQ(column(since.json(), "CustomerId"), (Ids{6, 3, 1, 2, 4, 5}));
}

TEST_F(SampleServer, SearchesAndFilters) {
    // Any search field, without regard to case or to the case of accented letters.
    EXPECT_EQ(invoices("Searchfield=0&Searchtext=%C3%81LV&zqid=1"), (Ids{2, 8}));
    EXPECT_EQ(invoices("Searchfield=1&Searchtext=co&zqid=1"), (Ids{1, 3, 4}));
    EXPECT_EQ(invoices("Searchfield=2&Searchtext=7&zqid=1"), (Ids{7}));
    // Ranges include both bounds; an empty bound sets no condition.
    EXPECT_EQ(invoices("Cinvoicedatefrom=2024-02-02&Cinvoicedateto=2024-02-19&zqid=1"),
              (Ids{4, 5, 6}));
    EXPECT_EQ(invoices("Cinvoicetotalfrom=100&Cinvoicetotalto=300&zqid=1"), (Ids{2, 3, 8}));
    EXPECT_EQ(invoices("Cinvoicetotalfrom=300&Cinvoicetotalto=&zqid=1"), (Ids{1, 4, 6}));
    EXPECT_EQ(invoices("Cinvoicepaid=true&zqid=1"), (Ids{1, 3, 5, 7}));
    // Filter, search, order and page together.
    EXPECT_EQ(invoices("Cinvoicepaid=false&Orderedby=1&Searchfield=0&Searchtext=a&start=1&count=2"
                       "&zqid=1"),
              (Ids{4, 2}));
}

TEST_F(SampleServer, ParametersSelectItemsAndKeyedRows) {
    HTTPReply detail = get(kDetail + "?InvoiceId=2&zqid=4");
    ASSERT_EQ(detail.status, 200);
    EXPECT_EQ(*detail.json()["CustomerName"].string(), "\xC3\x81lvarez Hnos.");
    EXPECT_EQ(detail.json()["Line"].count(), 1u);
    EXPECT_EQ(column(get(kLines + "?InvoiceId=3&start=0&count=0&zqid=1").json(), "InvoiceLineId"),
              (Ids{1, 2, 3}));
    EXPECT_EQ(column(get(kLines + "?InvoiceId=3&Orderedby=0&start=1&count=1&zqid=1").json(),
                     "InvoiceLineId"),
              (Ids{2}));
    // A keyed collection without rows for the key is empty; a missing item is not found.
    EXPECT_EQ(get(kLines + "?InvoiceId=99&zqid=1").body, "[]");
    HTTPReply missing = get(kDetail + "?InvoiceId=99&zqid=1");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(hostError(missing), "ZQServerErrorDomain 404");
}

TEST_F(SampleServer, BadRequestsAnswerErrorBodiesTheHostReads) {
    struct Case {
        std::string pathAndQuery;
        long status;
    };
    const std::vector<Case> cases = {
        {"rest/Sales/Nothing?zqid=1", 404},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Colour=red", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?start=x", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?start=1&start=2", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Orderedby=2", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Searchtext=a&Searchfield=3", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Cinvoicetotalfrom=lots", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Cinvoicedatefrom=yesterday", 400},
        {"rest/Sales/WorkWithInvoice/Invoice/List?Searchtext=%zz", 400},
        {kDetail + "?zqid=1", 400},
        {"elsewhere", 404},
    };
    for (const Case& c : cases) {
        HTTPReply reply = get(c.pathAndQuery);
        EXPECT_EQ(reply.status, c.status) << c.pathAndQuery << ": " << reply.body;
        EXPECT_EQ(hostError(reply), "ZQServerErrorDomain " + std::to_string(c.status))
            << c.pathAndQuery;
    }
    EXPECT_EQ(send("POST", "rest/Sales/WorkWithInvoice/Invoice/List", "{}").status, 405);
}

TEST_F(SampleServer, ConditionalRequestsAnswer304UntilTheDataChanges) {
    HTTPReply first = get("rest/WorkWithCustomer/Customer/List?zqid=1");
    ASSERT_EQ(first.status, 200);
    std::string lastModified = first.header("last-modified");
    std::optional<platform::Date> date = platform::parseHTTPDate(lastModified);
    ASSERT_TRUE(date) << lastModified;

    HTTPReply same =
        get("rest/WorkWithCustomer/Customer/List?zqid=2", {"If-Modified-Since: " + lastModified});
    EXPECT_EQ(same.status, 304);
    EXPECT_EQ(same.body, "");
    EXPECT_EQ(same.header("last-modified"), lastModified);
    std::string earlier = platform::httpDateString(date->addingTimeInterval(-1));
    EXPECT_EQ(
        get("rest/WorkWithCustomer/Customer/List?zqid=3", {"If-Modified-Since: " + earlier}).status,
        200);
    // Other providers keep their own times.
    ZQSampleChange change =
        server->dataStore().patch("Sales.WorkWithInvoice.Invoice.List", {{"InvoiceId", Value(1)}},
                                  {{"InvoicePaid", Value(false)}});
    ASSERT_EQ(change.error, nullptr);
    EXPECT_EQ(
        get("rest/WorkWithCustomer/Customer/List?zqid=4", {"If-Modified-Since: " + lastModified})
            .status,
        304);
}

TEST_F(SampleServer, DataChangesOverHTTPBumpLastModifiedAndShowInTheNextAnswer) {
    HTTPReply before = get("rest/Sales/WorkWithInvoice/Invoice/List?zqid=1");
    std::string lastModified = before.header("last-modified");

    HTTPReply patched =
        send("PATCH", kListData, R"({"match": {"InvoiceId": 2}, "set": {"InvoicePaid": true}})");
    ASSERT_EQ(patched.status, 200) << patched.body;
    EXPECT_EQ(patched.json()["rows"], Value(1));
    std::string afterPatch = patched.header("last-modified");
    EXPECT_GT(*platform::parseHTTPDate(afterPatch), *platform::parseHTTPDate(lastModified));

    HTTPReply refreshed = get("rest/Sales/WorkWithInvoice/Invoice/List?Cinvoicepaid=true&zqid=1",
                              {"If-Modified-Since: " + lastModified});
    EXPECT_EQ(refreshed.status, 200);
    EXPECT_EQ(column(refreshed.json()), (Ids{1, 2, 3, 5, 7}));
    EXPECT_EQ(refreshed.header("last-modified"), afterPatch);

    // A second change within the same second still moves the time on.
    HTTPReply appended = send("POST", kListData, R"({"InvoiceId": 9, "CustomerName": "Zeta"})");
    ASSERT_EQ(appended.status, 200) << appended.body;
    EXPECT_GT(*platform::parseHTTPDate(appended.header("last-modified")),
              *platform::parseHTTPDate(afterPatch));
    EXPECT_EQ(invoices("start=7&count=5&zqid=1"), (Ids{8, 9}));

    EXPECT_EQ(
        send("DELETE", kListData, R"({"match": {"CustomerName": "Acme Corp"}})").json()["rows"],
        Value(2));
    EXPECT_EQ(invoices("zqid=1"), (Ids{2, 3, 5, 6, 7, 8, 9}));

    // Keyed rows are added under their key; a full replacement takes the file's layout.
    EXPECT_EQ(send("POST", "_data/Sales.WorkWithInvoice.Invoice.Lines?key=9",
                   R"([{"InvoiceLineId": 1, "ProductName": "Tamper"}])")
                  .status,
              200);
    EXPECT_EQ(column(get(kLines + "?InvoiceId=9&zqid=1").json(), "InvoiceLineId"), Ids{1});
    EXPECT_EQ(send("PUT", kListData, "[]").status, 200);
    EXPECT_EQ(invoices("zqid=1"), Ids{});
    EXPECT_EQ(send("PUT", kListData, "42").status, 400);
    EXPECT_EQ(send("PATCH", "_data/No.Such.Provider", R"({"set": {}})").status, 404);
    EXPECT_EQ(send("GET", kListData).body, "[]");
}

TEST_F(SampleServer, TokenEndpointAndRequiredBearerToken) {
    ZQSampleServerOptions options;
    options.requireToken = true;
    options.credentials = {"zq-app", "", "ann", "secret"};
    startServer(options);

    HTTPReply refused = get("rest/WorkWithCustomer/Customer/List?zqid=1");
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.header("www-authenticate"), "Bearer realm=\"SampleSales\"");
    EXPECT_EQ(hostError(refused), "ZQServerErrorDomain 401");

    const std::string form = "application/x-www-form-urlencoded";
    auto token = [&](const std::string& body) {
        return send("POST", "auth/token", body, {"Content-Type: " + form});
    };
    EXPECT_EQ(token("grant_type=authorization_code").json()["error"],
              Value("unsupported_grant_type"));
    HTTPReply wrong = token("grant_type=password&username=ann&password=guess&client_id=zq-app");
    EXPECT_EQ(wrong.status, 400);
    EXPECT_EQ(hostError(wrong), "ZQServerErrorDomain 0");  // invalid_grant is not a number
    EXPECT_EQ(token("grant_type=client_credentials&client_id=other").status, 401);

    HTTPReply granted = token("grant_type=password&username=ann&password=secret&client_id=zq-app");
    ASSERT_EQ(granted.status, 200) << granted.body;
    EXPECT_EQ(granted.json()["token_type"], Value("Bearer"));
    EXPECT_EQ(granted.json()["expires_in"], Value(3600));
    std::string bearer =
        "Authorization: Bearer " + std::string(*granted.json()["access_token"].string());
    EXPECT_EQ(get("rest/WorkWithCustomer/Customer/List?zqid=1", {bearer}).status, 200);

    server->tokens().revokeAll();
    HTTPReply revoked = get("rest/WorkWithCustomer/Customer/List?zqid=1", {bearer});
    EXPECT_EQ(revoked.status, 401);
    EXPECT_NE(revoked.header("www-authenticate").find("error=\"invalid_token\""),
              std::string::npos);
}

TEST_F(SampleServer, LogsAndCountsRequestsAndStopsWhileARequestWaits) {
    std::vector<ZQSampleRequestRecord> seen;
    platform::Mutex seenMutex;
    ZQSampleServerOptions options;
    options.onRequest = [&](const ZQSampleRequestRecord& record) {
        platform::MutexLock lock(seenMutex);
        seen.push_back(record);
    };
    options.requestLogLimit = 3;
    startServer(options);
    get("rest/WorkWithCustomer/Customer/List?start=0&count=2&zqid=1");
    const size_t afterFirst = server->answeredRequestCount();
    get("rest/WorkWithCustomer/Customer/List?zqid=2");
    get("rest/Unknown");
    EXPECT_EQ(server->requestCountForProvider("WorkWithCustomer.Customer.List"), 2u);
    EXPECT_EQ(server->totalRequestCount(), 3u);
    std::vector<ZQSampleRequestRecord> log = server->requestLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].url,
              server->baseURL() + "rest/WorkWithCustomer/Customer/List?start=0&count=2&zqid=1");
    EXPECT_EQ(log[2].status, 404);
    EXPECT_EQ(server->requestLogSince(afterFirst).size(), 2u);
    {
        platform::MutexLock lock(seenMutex);
        EXPECT_EQ(seen.size(), 3u);
    }
    // Past its limit the log keeps the latest records; the counts stay exact.
    get("rest/WorkWithCustomer/Customer/List?zqid=4");
    log = server->requestLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].url, server->baseURL() + "rest/WorkWithCustomer/Customer/List?zqid=2");
    EXPECT_EQ(server->answeredRequestCount(), 4u);
    std::vector<ZQSampleRequestRecord> since = server->requestLogSince(afterFirst);
    ASSERT_EQ(since.size(), 3u);
    EXPECT_EQ(since.back().url, server->baseURL() + "rest/WorkWithCustomer/Customer/List?zqid=4");
    EXPECT_EQ(server->requestLogSince(0).size(), 3u);  // the first one is no longer kept

    // A request waiting out a long delay is answered 503 when the server stops.
    server->setDelay(600);
    const size_t listed = server->requestCountForProvider("WorkWithCustomer.Customer.List");
    HTTPReply waiting;
    std::thread client([&] { waiting = get("rest/WorkWithCustomer/Customer/List?zqid=3"); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (server->requestCountForProvider("WorkWithCustomer.Customer.List") == listed &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    server->stop();
    client.join();
    EXPECT_EQ(waiting.status, 503);
    EXPECT_FALSE(server->isRunning());
    EXPECT_EQ(get("rest/WorkWithCustomer/Customer/List").status, 0);  // nobody listens
}

TEST_F(SampleServer, SyntheticInvoicesAreConsistentAndServedLikeTheFiles) {
    EXPECT_EQ(ZQSampleSyntheticInvoices::make(40, 2), ZQSampleSyntheticInvoices::make(40, 2));
    ASSERT_EQ(server->loadSyntheticInvoices(2000, 3), nullptr);
    EXPECT_EQ(invoices("start=1995&count=20&zqid=1"), (Ids{1996, 1997, 1998, 1999, 2000}));
    Value item = get(kDetail + "?InvoiceId=1500&zqid=1").json();
    Value lines = get(kLines + "?InvoiceId=1500&zqid=1").json();
    ASSERT_EQ(lines.count(), 3u);
    double sum = 0;
    for (const Value& line : *lines.array()) sum += *line["LineAmount"].number();
    EXPECT_NEAR(*item["InvoiceTotal"].number(), sum, 0.005);
    EXPECT_EQ(item["Line"].count(), 3u);
    // Only the list for a list-sized load.
    ASSERT_EQ(server->loadSyntheticInvoices(10, 0), nullptr);
    EXPECT_EQ(invoices("zqid=1").size(), 10u);
    EXPECT_EQ(get(kDetail + "?InvoiceId=11&zqid=1").status, 200);  // left as it was
}

}  // namespace
