// An HTTP server on 127.0.0.1 (a free port chosen by the system) inside the test process, for
// testing the request pipeline over a real socket. Routes are scripted per method and exact path;
// every request is logged (method, path, query, header fields, body, client port) before its
// handler runs. Fault modes: an error status with a body, closing the connection partway through
// the body, stalling before the answer or in the middle of the body. Handlers run on the server's
// own threads; the mutex guards routes, log and stall state. Owned by one test.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/URL.hpp"

namespace httplib {
class Server;
}

namespace zqtest {

struct LoopbackRequest {
    std::string method;
    std::string path;
    std::string query;  // the raw text after "?", empty without one
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int remotePort = 0;

    // Case-insensitive; none when the request did not carry the field.
    std::optional<std::string> header(std::string_view name) const;
};

struct LoopbackResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;

    // Wait this long before answering (cut short by releaseStalls() or the server stopping).
    double stallSeconds = 0;
    // Announce the whole body's length, send only this many bytes of it, then close.
    std::optional<size_t> closeAfterBytes;
    // Send this many bytes of the body, wait stallMidBodySeconds (cut short like stallSeconds),
    // then send the rest.
    std::optional<size_t> stallAfterBytes;
    double stallMidBodySeconds = 0;

    static LoopbackResponse json(std::string body, int status = 200);
    // A status with the application server's JSON error body.
    static LoopbackResponse error(int status, std::string code, std::string message);
};

class LoopbackServer {
  public:
    using Handler = std::function<LoopbackResponse(const LoopbackRequest&)>;

    // threadCount bounds how many connections are served (or stalled) at the same time. An idle
    // kept-alive connection holds its thread for keepAliveSeconds, and the server's destructor
    // waits that long for such connections: share one server across the tests of a suite.
    explicit LoopbackServer(size_t threadCount = 16, int keepAliveSeconds = 2);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string baseURL() const;
    // The base URL with the path (and query) appended; a leading "/" is optional.
    platform::URL url(std::string_view pathAndQuery) const;

    // Replaces the route for the method and exact path. Unrouted requests get a 404 error body.
    void route(const std::string& method, const std::string& path, Handler handler)
        EXCLUDES(mutex_);
    void route(const std::string& method, const std::string& path, LoopbackResponse response)
        EXCLUDES(mutex_);

    // Forgets every route (a suite's shared server between tests).
    void clearRoutes() EXCLUDES(mutex_);

    std::vector<LoopbackRequest> requests() const EXCLUDES(mutex_);
    std::vector<LoopbackRequest> requestsFor(const std::string& method,
                                             const std::string& path) const EXCLUDES(mutex_);
    size_t requestCount() const EXCLUDES(mutex_);
    void clearLog() EXCLUDES(mutex_);
    // Runs the main loop (on main) until that many requests arrived.
    bool waitForRequestCount(size_t count, double timeoutSeconds = 60) const;

    // Ends the stalls of every request logged so far, even one whose handler has not begun to
    // stall yet; requests logged later stall again.
    void releaseStalls() EXCLUDES(mutex_);

  private:
    struct Impl;
    // Logs the request and answers it; *generation is the stall generation at logging time.
    LoopbackResponse dispatch(const LoopbackRequest& request, uint64_t* generation)
        EXCLUDES(mutex_);
    // Waits up to seconds unless stalls were released after the request's generation; false
    // when the server is stopping.
    bool stall(double seconds, uint64_t generation) EXCLUDES(mutex_);

    std::unique_ptr<Impl> impl_;
    int port_ = 0;
    std::thread thread_;
    mutable platform::Mutex mutex_;
    platform::CondVar stallCv_;
    std::vector<std::pair<std::pair<std::string, std::string>, Handler>> routes_ GUARDED_BY(mutex_);
    std::vector<LoopbackRequest> log_ GUARDED_BY(mutex_);
    uint64_t stallGeneration_ GUARDED_BY(mutex_) = 0;
    bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace zqtest
