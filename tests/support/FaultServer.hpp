// A raw-socket HTTP server on 127.0.0.1 that answers every request, whatever its method and path,
// with one scripted fault: a reset before the headers, a body cut short, a stall, an error status,
// a redirect, more bytes than declared, an endless body, invalid UTF-8. Raw sockets, because an
// HTTP library would not let a test break the protocol. Owned by one test; the accept thread and
// one thread per connection are its own, and stop() (or the destructor) closes every socket and
// joins them. The mutex guards the fault, the request log and the connection list.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.hpp"

namespace zqtest {

enum class ServerFault {
    ResetBeforeHeaders,  // reads the request, then resets the connection
    CloseMidBody,        // declares a body, sends part of it, closes
    StallForever,        // reads the request and never answers (until stop)
    Status500WithBody,   // 500 with the application server's JSON error body
    Status500Empty,      // 500, no body
    Status503WithBody,   // 503 with a JSON error body
    Status503Empty,      // 503, no body
    Unauthorized,        // 401 with a bearer challenge, every time
    RedirectElsewhere,   // 302 to redirectTarget (another host)
    LongerThanDeclared,  // declares a few bytes of JSON and sends far more
    EndlessBody,         // a chunked body of JSON that never ends (until the client stops)
    InvalidUTF8,         // 200 with JSON whose strings hold bytes that are not UTF-8
};

const char* serverFaultName(ServerFault fault);

class FaultServer {
  public:
    // port 0: a free port chosen by the system; another: that port, even one a server just left.
    explicit FaultServer(int port = 0);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string baseURL() const;

    void setFault(ServerFault fault) EXCLUDES(mutex_);
    // The answer a healthy server would give the requests about to be sent: CloseMidBody sends
    // half of it, LongerThanDeclared declares its first bytes only, and InvalidUTF8 sends it with
    // every "~" replaced by bytes that are not UTF-8.
    void setAnswerBody(std::string body) EXCLUDES(mutex_);
    // Where RedirectElsewhere sends the client: this base URL with the request's path appended.
    void setRedirectTarget(std::string baseURL) EXCLUDES(mutex_);

    // "METHOD /path?query" of every request read so far.
    std::vector<std::string> requests() const EXCLUDES(mutex_);
    void clearRequests() EXCLUDES(mutex_);
    // Bytes of endless bodies sent so far (to see that a client stopped reading).
    size_t endlessBytesSent() const { return endlessBytesSent_.load(); }

    // Closes the listening socket and every connection, and joins the threads.
    void stop() EXCLUDES(mutex_);

    // A loopback port that refuses connections (bound once, then closed).
    static int refusingPort();

  private:
    void acceptLoop();
    void serve(int socket);
    void answer(int socket, ServerFault fault, const std::string& target, const std::string& body)
        EXCLUDES(mutex_);

    int listener_ = -1;
    int port_ = 0;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> endlessBytesSent_{0};
    mutable platform::Mutex mutex_;
    ServerFault fault_ GUARDED_BY(mutex_) = ServerFault::Status500Empty;
    std::string redirectTarget_ GUARDED_BY(mutex_);
    std::string answerBody_ GUARDED_BY(mutex_) = R"([{"InvoiceId":1,"CustomerName":"~"}])";
    std::vector<std::string> requests_ GUARDED_BY(mutex_);
    std::vector<int> sockets_ GUARDED_BY(mutex_);
    std::vector<std::thread> connections_ GUARDED_BY(mutex_);
};

}  // namespace zqtest
