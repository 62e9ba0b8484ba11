// Request bodies streamed from files: large files reach the server byte for byte with POST and
// PUT, a recycled connection handle then sends a bytes body again, and a file that cannot be read
// fails the request with a transport error instead of sending an empty body.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"
#include "platform/Mutex.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"
#include "tests/support/TempDir.hpp"

namespace {

using zqtest::LoopbackRequest;
using zqtest::LoopbackResponse;

ZQURLTransport::Result send(const ZQURLRequest& request) {
    std::atomic<bool> done{false};
    platform::Mutex mutex;
    ZQURLTransport::Result result;
    auto transfer = ZQURLTransport::shared().start(request, [&](ZQURLTransport::Result r) {
        platform::MutexLock lock(mutex);
        result = std::move(r);
        done.store(true);
    });
    EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return done.load(); }));
    platform::MutexLock lock(mutex);
    return result;
}

std::string pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
    return text;
}

TEST(URLTransportFileBody, StreamsTheFileAndThenSendsBytesBodiesAgain) {
    zqtest::LoopbackServer server;
    zqtest::TempDir dir;
    for (const char* method : {"POST", "PUT"}) {
        server.route(method, "/rest/echo", [](const LoopbackRequest& request) {
            return LoopbackResponse::json(std::to_string(request.body.size()));
        });
    }
    const std::string content = pattern(3u << 20);
    std::ofstream(dir / "big.bin", std::ios::binary) << content;
    std::ofstream(dir / "empty.bin", std::ios::binary).flush();

    struct Case {
        const char* method;
        std::string file;
        std::string expected;
    } cases[] = {
        {"POST", "big.bin", content}, {"PUT", "big.bin", content}, {"POST", "empty.bin", ""}};
    for (const Case& c : cases) {
        server.clearLog();
        ZQURLRequest request(server.url("rest/echo"));
        request.setHTTPMethod(c.method);
        request.setHTTPBodyFile(dir / c.file);
        ZQURLTransport::Result result = send(request);
        ASSERT_NE(result.response, nullptr) << c.method << " " << c.file;
        EXPECT_EQ(result.response->statusCode(), 200);
        std::vector<LoopbackRequest> got = server.requestsFor(c.method, "/rest/echo");
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].header("Content-Type").value_or(""), "application/octet-stream");
        EXPECT_TRUE(got[0].body == c.expected)
            << c.method << " " << c.file << ": " << got[0].body.size() << " bytes arrived";
    }
    // The handles that streamed are reused: a bytes body must not be read from a stale file.
    for (int i = 0; i < 4; ++i) {
        server.clearLog();
        ZQURLRequest request(server.url("rest/echo"));
        request.setHTTPMethod("POST");
        request.setHTTPBody(std::string_view("small"));
        ASSERT_NE(send(request).response, nullptr);
        ASSERT_EQ(server.requestsFor("POST", "/rest/echo").size(), 1u);
        EXPECT_EQ(server.requestsFor("POST", "/rest/echo")[0].body, "small");
    }
}

TEST(URLTransportFileBody, AFileThatCannotBeReadFailsTheRequest) {
    zqtest::LoopbackServer server;
    zqtest::TempDir dir;
    server.route("POST", "/rest/echo", LoopbackResponse::json("{}"));
    for (std::filesystem::path path : {dir / "missing.bin", dir.path()}) {
        ZQURLRequest request(server.url("rest/echo"));
        request.setHTTPMethod("POST");
        request.setHTTPBodyFile(path);
        ZQURLTransport::Result result = send(request);
        EXPECT_EQ(result.response, nullptr) << path;
        ASSERT_NE(result.error, nullptr) << path;
        EXPECT_NE(result.error->userInfo()
                      .get("ZQTransportDetail")
                      .string()
                      .value_or("")
                      .find(path.string()),
                  std::string::npos);
    }
}

}  // namespace
