// Shared pieces of the sample-server tests: a sample server per test on a free loopback port, and
// plain libcurl requests to it that return status, header fields and body. Header-only; each
// test owns its server; requests block the calling thread.
#pragma once

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"

namespace zqtest {

struct HTTPReply {
    long status = 0;                             // 0 when the transfer failed
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    platform::Value json() const { return ZQJSON::parse(body).value; }
    std::string header(const std::string& lowerCaseName) const {
        auto found = headers.find(lowerCaseName);
        return found == headers.end() ? std::string() : found->second;
    }
};

inline HTTPReply sendHTTP(const std::string& method, const std::string& url,
                          const std::string& body = {},
                          const std::vector<std::string>& headerLines = {}) {
    HTTPReply reply;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    curl_slist* list = nullptr;
    for (const std::string& line : headerLines) list = curl_slist_append(list, line.c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list, curl_slist_free_all);
    auto onBody = +[](char* data, size_t size, size_t count, void* out) {
        static_cast<HTTPReply*>(out)->body.append(data, size * count);
        return size * count;
    };
    auto onHeader = +[](char* data, size_t size, size_t count, void* out) {
        std::string line(data, size * count);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            value.erase(value.find_last_not_of("\r\n") + 1);
            static_cast<HTTPReply*>(out)->headers[name] = value;
        }
        return size * count;
    };
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "HEAD") curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    if (!body.empty()) {
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    if (curl_easy_perform(curl.get()) == CURLE_OK) {
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    }
    return reply;
}

// A sample server (sample model and data unless the options say otherwise) started for one test.
class SampleServerTest : public ::testing::Test {
  protected:
    void SetUp() override { startServer({}); }

    void startServer(ZQSampleServerOptions options) {
        if (server) server->stop();
        options.keepAliveSeconds = 1;
        ZQSampleServerCreateResult created = ZQSampleServer::create(std::move(options));
        ASSERT_EQ(created.error, nullptr) << created.error->description();
        server = std::move(created.server);
        ASSERT_EQ(server->start(), nullptr);
    }

    // pathAndQuery is relative to the base URL ("rest/Customers?start=0").
    HTTPReply send(const std::string& method, const std::string& pathAndQuery,
                   const std::string& body = {}, const std::vector<std::string>& headers = {}) {
        return sendHTTP(method, server->baseURL() + pathAndQuery, body, headers);
    }
    HTTPReply get(const std::string& pathAndQuery, const std::vector<std::string>& headers = {}) {
        return send("GET", pathAndQuery, {}, headers);
    }

    // The values of one member of the rows of an array answer, as whole numbers.
    static std::vector<int64_t> column(const platform::Value& rows,
                                       const std::string& member = "InvoiceId") {
        std::vector<int64_t> values;
        if (!rows.isArray()) return {-1};
        for (const platform::Value& row : *rows.array())
            values.push_back(row[member].integer().value_or(-1));
        return values;
    }
    // The invoice ids the invoice list answers for the query.
    std::vector<int64_t> invoices(const std::string& query) {
        HTTPReply reply = get("rest/Sales/WorkWithInvoice/Invoice/List?" + query);
        EXPECT_EQ(reply.status, 200) << query << ": " << reply.body;
        return column(reply.json());
    }

    std::unique_ptr<ZQSampleServer> server;
};

}  // namespace zqtest
