#include "tests/support/FaultServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zqtest {

namespace {

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

int boundSocket(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // The sample server's sockets are marked for port reuse only (cpp-httplib's default): the
    // answers it closed moments ago on this port (TIME_WAIT) refuse a bind without it.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address = loopbackAddress(*port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind: " + std::string(std::strerror(errno)));
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// False once the peer is gone.
bool sendAll(int socket, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads one request's head and its Content-Length body; empty when the peer closed first.
std::string readRequest(int socket) {
    std::string data;
    char buffer[16384];
    size_t headEnd = std::string::npos;
    size_t bodyLength = 0;
    while (true) {
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + bodyLength) return data;
        ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0) return {};
        data.append(buffer, static_cast<size_t>(n));
        if (headEnd == std::string::npos &&
            (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
            std::string head = data.substr(0, headEnd);
            for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            size_t at = head.find("\r\ncontent-length:");
            if (at != std::string::npos) bodyLength = std::stoul(head.substr(at + 17));
        }
    }
}

std::string statusAnswer(int status, const char* reason, const std::string& body,
                         const std::string& extraFields = {}) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraFields + "\r\n" + body;
}

const std::string kErrorBody = R"({"error":{"code":"ServerFault","message":"The server failed."}})";

}  // namespace

const char* serverFaultName(ServerFault fault) {
    switch (fault) {
        case ServerFault::ResetBeforeHeaders:
            return "reset before headers";
        case ServerFault::CloseMidBody:
            return "close mid-body";
        case ServerFault::StallForever:
            return "stall past timeout";
        case ServerFault::Status500WithBody:
            return "500 with error body";
        case ServerFault::Status500Empty:
            return "500 empty";
        case ServerFault::Status503WithBody:
            return "503 with error body";
        case ServerFault::Status503Empty:
            return "503 empty";
        case ServerFault::Unauthorized:
            return "401 for ever";
        case ServerFault::RedirectElsewhere:
            return "redirect to another host";
        case ServerFault::LongerThanDeclared:
            return "body longer than declared";
        case ServerFault::EndlessBody:
            return "endless body";
        case ServerFault::InvalidUTF8:
            return "invalid UTF-8";
    }
    return "?";
}

FaultServer::FaultServer(int port) : port_(port) {
    listener_ = boundSocket(&port_);
    if (::listen(listener_, 64) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen: " + std::string(std::strerror(errno)));
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

FaultServer::~FaultServer() {
    stop();
}

std::string FaultServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void FaultServer::setFault(ServerFault fault) {
    platform::MutexLock lock(mutex_);
    fault_ = fault;
}

void FaultServer::setAnswerBody(std::string body) {
    platform::MutexLock lock(mutex_);
    answerBody_ = std::move(body);
}

void FaultServer::setRedirectTarget(std::string baseURL) {
    platform::MutexLock lock(mutex_);
    redirectTarget_ = std::move(baseURL);
}

std::vector<std::string> FaultServer::requests() const {
    platform::MutexLock lock(mutex_);
    return requests_;
}

void FaultServer::clearRequests() {
    platform::MutexLock lock(mutex_);
    requests_.clear();
}

int FaultServer::refusingPort() {
    int port = 0;  // any free one
    ::close(boundSocket(&port));
    return port;
}

void FaultServer::stop() {
    if (stopping_.exchange(true)) return;
    // shutdown wakes the threads blocked in accept and recv; the sockets are closed after the
    // joins, so that no thread uses a number the system has given to another file.
    ::shutdown(listener_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> threads;
    {
        platform::MutexLock lock(mutex_);
        for (int socket : sockets_) ::shutdown(socket, SHUT_RDWR);
        threads = std::move(connections_);
    }
    for (std::thread& thread : threads) thread.join();
    platform::MutexLock lock(mutex_);
    for (int socket : sockets_) ::close(socket);
    sockets_.clear();
    ::close(listener_);
}

void FaultServer::acceptLoop() {
    while (!stopping_.load()) {
        int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        platform::MutexLock lock(mutex_);
        if (stopping_.load()) {
            ::close(socket);
            return;
        }
        sockets_.push_back(socket);
        connections_.emplace_back([this, socket] { serve(socket); });
    }
}

void FaultServer::serve(int socket) {
    std::string request = readRequest(socket);
    if (request.empty()) return;
    std::string line = request.substr(0, request.find("\r\n"));
    std::string target = line.substr(line.find(' ') + 1);
    target = target.substr(0, target.find(' '));
    ServerFault fault;
    std::string body;
    {
        platform::MutexLock lock(mutex_);
        requests_.push_back(line.substr(0, line.find(' ')) + " " + target);
        fault = fault_;
        body = answerBody_;
    }
    answer(socket, fault, target, body);
    // The socket stays open until stop(): a connection closed here could be reused by the client
    // for its next request only to find it gone, which is not the fault being tested.
    ::shutdown(socket, SHUT_WR);
}

void FaultServer::answer(int socket, ServerFault fault, const std::string& target,
                         const std::string& body) {
    switch (fault) {
        case ServerFault::ResetBeforeHeaders: {
            linger reset{1, 0};
            ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            // Without a listening peer behind it, shutting both ways after a zero linger sends
            // the reset at once; the descriptor is closed by stop().
            ::shutdown(socket, SHUT_RDWR);
            return;
        }
        case ServerFault::CloseMidBody:
            sendAll(socket,
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                        body.substr(0, body.size() / 2));
            return;
        case ServerFault::StallForever: {
            char byte;
            while (::recv(socket, &byte, 1, 0) > 0) {
            }
            return;
        }
        case ServerFault::Status500WithBody:
            sendAll(socket, statusAnswer(500, "Internal Server Error", kErrorBody));
            return;
        case ServerFault::Status500Empty:
            sendAll(socket, statusAnswer(500, "Internal Server Error", ""));
            return;
        case ServerFault::Status503WithBody:
            sendAll(socket,
                    statusAnswer(503, "Service Unavailable", kErrorBody, "Retry-After: 1\r\n"));
            return;
        case ServerFault::Status503Empty:
            sendAll(socket, statusAnswer(503, "Service Unavailable", ""));
            return;
        case ServerFault::Unauthorized:
            sendAll(socket, statusAnswer(401, "Unauthorized", kErrorBody,
                                         "WWW-Authenticate: Bearer realm=\"zq\"\r\n"));
            return;
        case ServerFault::RedirectElsewhere: {
            std::string base;
            {
                platform::MutexLock lock(mutex_);
                base = redirectTarget_;
            }
            std::string location = base + (target.empty() ? "" : target.substr(1));
            sendAll(socket, statusAnswer(302, "Found", "", "Location: " + location + "\r\n"));
            return;
        }
        case ServerFault::LongerThanDeclared: {
            // The declared bytes are a cut-off start of the answer; a megabyte more follows.
            size_t declared = body.size() / 2;
            sendAll(socket,
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(declared) + "\r\nConnection: close\r\n\r\n" + body +
                        std::string(1 << 20, ' '));
            return;
        }
        case ServerFault::EndlessBody: {
            if (!sendAll(socket,
                         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                         "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n1\r\n[\r\n"))
                return;
            std::string rows;
            while (rows.size() < (1 << 16)) rows += R"({"InvoiceId":1,"CustomerName":"row"},)";
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", rows.size());
            std::string chunk = size + rows + "\r\n";
            while (!stopping_.load() && sendAll(socket, chunk))
                endlessBytesSent_.fetch_add(rows.size());
            return;
        }
        case ServerFault::InvalidUTF8: {
            // A lone continuation byte, an overlong "/", a surrogate, a cut-off sequence.
            std::string broken;
            for (char c : body)
                broken +=
                    c == '~' ? std::string("\x80\xc0\xaf\xed\xa0\x80\xc3") : std::string(1, c);
            sendAll(socket, statusAnswer(200, "OK", broken));
            return;
        }
    }
}

}  // namespace zqtest
