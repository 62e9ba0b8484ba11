#include "tests/support/LoopbackServer.hpp"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

namespace {

bool namesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// httplib listens with a backlog of 5, so a burst of connections (hundreds of requests started
// at once) sees dropped handshakes and seconds of retries. Listening again on the same socket
// widens the backlog; the socket is found among the process's descriptors by its port.
void widenListenBacklog(int port) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        sockaddr_in address{};
        socklen_t length = sizeof address;
        int listening = 0;
        socklen_t optionLength = sizeof listening;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
        if (address.sin_family != AF_INET || ntohs(address.sin_port) != port) continue;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &optionLength) != 0) continue;
        if (listening) ::listen(fd, SOMAXCONN);
    }
    closedir(dir);
}

std::string jsonEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

struct LoopbackServer::Impl {
    httplib::Server server;
};

std::optional<std::string> LoopbackRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (namesEqual(key, name)) return value;
    }
    return std::nullopt;
}

LoopbackResponse LoopbackResponse::json(std::string body, int status) {
    LoopbackResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

LoopbackResponse LoopbackResponse::error(int status, std::string code, std::string message) {
    return json(R"({"error":{"code":")" + jsonEscape(code) + R"(","message":")" +
                    jsonEscape(message) + R"("}})",
                status);
}

LoopbackServer::LoopbackServer(size_t threadCount, int keepAliveSeconds)
    : impl_(std::make_unique<Impl>()) {
    httplib::Server& server = impl_->server;
    // httplib takes ownership of the queue it is handed as a raw pointer.
    server.new_task_queue = [threadCount] { return new httplib::ThreadPool(threadCount); };
    server.set_keep_alive_max_count(1000000);
    server.set_tcp_nodelay(true);
    server.set_keep_alive_timeout(keepAliveSeconds);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        LoopbackRequest request;
        request.method = req.method;
        request.path = req.path;
        size_t question = req.target.find('?');
        if (question != std::string::npos) request.query = req.target.substr(question + 1);
        for (const auto& [name, value] : req.headers) request.headers.emplace_back(name, value);
        request.body = req.body;
        request.remotePort = req.remote_port;
        // The generation is taken with the log entry: a test that saw the request and then
        // released the stalls must not find it stalling afterwards.
        uint64_t generation = 0;
        LoopbackResponse response = dispatch(request, &generation);
        if (response.stallSeconds > 0 && !stall(response.stallSeconds, generation)) {
            res.status = 503;
            return;
        }
        res.status = response.status;
        for (const auto& [name, value] : response.headers) res.set_header(name, value);
        if (response.closeAfterBytes || response.stallAfterBytes) {
            auto body = std::make_shared<std::string>(std::move(response.body));
            size_t cut =
                response.closeAfterBytes ? *response.closeAfterBytes : *response.stallAfterBytes;
            bool close = response.closeAfterBytes.has_value();
            double pause = response.stallMidBodySeconds;
            res.set_content_provider(body->size(), response.contentType,
                                     [this, body, cut, close, pause, generation](
                                         size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset < cut)
                                             return sink.write(body->data() + offset, cut - offset);
                                         if (close) return false;
                                         if (offset == cut && !stall(pause, generation))
                                             return false;
                                         return sink.write(body->data() + offset,
                                                           body->size() - offset);
                                     });
        } else if (!response.body.empty()) {
            res.set_content(response.body, response.contentType);
        }
    };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.Put(".*", handler);
    server.Delete(".*", handler);
    server.Patch(".*", handler);
    server.Options(".*", handler);
    port_ = server.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("the loopback server could not bind a port");
    widenListenBacklog(port_);
    thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!impl_->server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LoopbackServer::~LoopbackServer() {
    {
        platform::MutexLock lock(mutex_);
        stopping_ = true;
    }
    stallCv_.notifyAll();
    impl_->server.stop();
    if (thread_.joinable()) thread_.join();
}

std::string LoopbackServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

platform::URL LoopbackServer::url(std::string_view pathAndQuery) const {
    if (!pathAndQuery.empty() && pathAndQuery.front() == '/') pathAndQuery.remove_prefix(1);
    std::optional<platform::URL> url =
        platform::URL::fromString(baseURL() + std::string(pathAndQuery));
    if (!url) throw std::invalid_argument("not a URL path: " + std::string(pathAndQuery));
    return *url;
}

void LoopbackServer::route(const std::string& method, const std::string& path, Handler handler) {
    platform::MutexLock lock(mutex_);
    for (auto& entry : routes_) {
        if (entry.first.first == method && entry.first.second == path) {
            entry.second = std::move(handler);
            return;
        }
    }
    routes_.push_back({{method, path}, std::move(handler)});
}

void LoopbackServer::route(const std::string& method, const std::string& path,
                           LoopbackResponse response) {
    route(method, path, [response](const LoopbackRequest&) { return response; });
}

LoopbackResponse LoopbackServer::dispatch(const LoopbackRequest& request, uint64_t* generation) {
    Handler handler;
    {
        platform::MutexLock lock(mutex_);
        log_.push_back(request);
        *generation = stallGeneration_;
        // HEAD is answered by the GET route, as servers do.
        std::string method = request.method == "HEAD" ? std::string("GET") : request.method;
        for (const auto& entry : routes_) {
            if (entry.first.first == method && entry.first.second == request.path) {
                handler = entry.second;
            }
        }
    }
    if (!handler) return LoopbackResponse::error(404, "404", "No route for " + request.path);
    return handler(request);
}

bool LoopbackServer::stall(double seconds, uint64_t generation) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds));
    platform::MutexLock lock(mutex_);
    while (!stopping_ && generation == stallGeneration_ &&
           std::chrono::steady_clock::now() < deadline) {
        stallCv_.waitUntil(mutex_, deadline);
    }
    return !stopping_;
}

void LoopbackServer::releaseStalls() {
    {
        platform::MutexLock lock(mutex_);
        ++stallGeneration_;
    }
    stallCv_.notifyAll();
}

void LoopbackServer::clearRoutes() {
    platform::MutexLock lock(mutex_);
    routes_.clear();
}

std::vector<LoopbackRequest> LoopbackServer::requests() const {
    platform::MutexLock lock(mutex_);
    return log_;
}

std::vector<LoopbackRequest> LoopbackServer::requestsFor(const std::string& method,
                                                         const std::string& path) const {
    platform::MutexLock lock(mutex_);
    std::vector<LoopbackRequest> out;
    for (const LoopbackRequest& request : log_) {
        if (request.method == method && request.path == path) out.push_back(request);
    }
    return out;
}

size_t LoopbackServer::requestCount() const {
    platform::MutexLock lock(mutex_);
    return log_.size();
}

void LoopbackServer::clearLog() {
    platform::MutexLock lock(mutex_);
    log_.clear();
}

bool LoopbackServer::waitForRequestCount(size_t count, double timeoutSeconds) const {
    return runMainLoopUntil([this, count] { return requestCount() >= count; }, timeoutSeconds);
}

}  // namespace zqtest
