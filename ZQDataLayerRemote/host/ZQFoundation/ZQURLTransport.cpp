#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLTransport.hpp"

#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "platform/WorkerPool.hpp"

using Clock = std::chrono::steady_clock;
using platform::Value;

// One transfer. prepare() fills the request part; after begin() only the driver touches the
// rest, until it moves the outcome into a completion job. The two flags belong to the
// transport's mutex.
struct ZQURLTransport::Transfer {
    explicit Transfer(platform::URL u) : url(std::move(u)) {}
    platform::URL url;
    std::string method;
    Value body;  // bytes or absent; kept alive for libcurl's POSTFIELDS pointer
    // A body streamed from a file instead: opened by prepare(), read by libcurl's read callback.
    std::filesystem::path bodyFile;
    std::unique_ptr<FILE, int (*)(FILE*)> bodyStream{nullptr, &std::fclose};
    curl_off_t bodyFileSize = -1;
    bool bodyFileFailed = false;
    std::vector<std::string> headerLines;
    std::optional<std::string> authorization;
    std::chrono::milliseconds timeout{60000};
    Completion completion;

    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    Clock::time_point lastActivity;
    curl_off_t lastUploaded = 0;
    // The request's progress handler, the body's size and the most it was told (it only hears
    // of growth, so a body sent again after a redirect never goes backwards).
    ZQURLRequest::UploadProgressHandler uploadProgress;
    curl_off_t uploadTotal = 0;
    curl_off_t reportedUploaded = 0;
    std::vector<uint8_t> responseBody;
    std::vector<ZQHTTPHeaderFields::Field> responseHeaders;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    size_t maximumResponseBytes = ZQURLRequest::kDefaultMaximumResponseBytes;
    long hopStatus = 0;  // the status line of the answer whose fields are being read
    // Set by a callback that stopped the transfer: the error the completion gets instead of
    // libcurl's write error.
    int64_t refusalCode = 0;
    std::string refusalText;
    std::string refusalDetail;

    bool begun = false;
    bool cancelledBeforeBegin = false;
};

namespace {

constexpr size_t kMaxIdleEasyHandles = 32;
constexpr size_t kMaxReserve = 64u << 20;  // never trust a Content-Length beyond this

void trim(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
}

// Stops the transfer from a callback (any count other than the one handed in does).
size_t refuse(ZQURLTransport::Transfer* t, int64_t code, std::string text, std::string detail) {
    t->refusalCode = code;
    t->refusalText = std::move(text);
    t->refusalDetail = std::move(detail);
    return 0;
}

bool sameOrigin(const platform::URL& a, const platform::URL& b) {
    auto port = [](const platform::URL& url) {
        return url.port().value_or(url.scheme() == "https" ? 443 : 80);
    };
    return a.scheme() == b.scheme() && a.host() == b.host() && port(a) == port(b);
}

// Redirects stay on the request's server: another host would be sent the request's body, and
// its answer would be cached as the application server's.
size_t checkRedirect(ZQURLTransport::Transfer* t, std::string_view location) {
    std::optional<platform::URL> target = platform::URL::resolve(location, t->url);
    if (target && sameOrigin(*target, t->url)) return 1;
    return refuse(t, ZQURLErrorBadServerResponse,
                  "The server redirected the request to another server.",
                  "redirect to " + std::string(location) + " not followed");
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<ZQURLTransport::Transfer*>(user);
    // Grown and copied as bytes: inserting chars into a vector of uint8_t copies one by one.
    const size_t n = size * count;
    std::vector<uint8_t>& body = t->responseBody;
    if (n > t->maximumResponseBytes - body.size()) {
        return refuse(t, ZQURLErrorBadServerResponse, "The server's answer is too large.",
                      "more than " + std::to_string(t->maximumResponseBytes) + " bytes");
    }
    if (body.capacity() - body.size() < n) body.reserve(std::max(body.size() + n, body.size() * 2));
    const size_t at = body.size();
    body.resize(at + n);
    std::memcpy(body.data() + at, data, n);
    t->lastActivity = Clock::now();
    return n;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<ZQURLTransport::Transfer*>(user);
    t->lastActivity = Clock::now();
    std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line: the fields of an interim or redirect answer are not this answer's.
        t->responseHeaders.clear();
        size_t space = line.find(' ');
        t->hopStatus = 0;
        if (space != std::string_view::npos)
            std::from_chars(line.data() + space + 1, line.data() + line.size(), t->hopStatus);
        return size * count;
    }
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        trim(line);
        if (!t->responseHeaders.empty() && !line.empty()) {
            t->responseHeaders.back().second.append(" ").append(line);
        }
        return size * count;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return size * count;
    std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    trim(name);
    trim(value);
    if (t->hopStatus >= 300 && t->hopStatus < 400 &&
        ZQHTTPHeaderFields::namesEqual(name, "Location") && checkRedirect(t, value) == 0) {
        return 0;
    }
    if (ZQHTTPHeaderFields::namesEqual(name, "Content-Length")) {
        size_t length = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (ec == std::errc() && length > t->maximumResponseBytes && t->hopStatus >= 200 &&
            (t->hopStatus < 300 || t->hopStatus >= 400)) {
            return refuse(t, ZQURLErrorBadServerResponse, "The server's answer is too large.",
                          "a body of " + std::to_string(length) + " bytes declared");
        }
        if (ec == std::errc() && length > 0) t->responseBody.reserve(std::min(length, kMaxReserve));
    }
    if (t->responseHeaders.capacity() == 0) t->responseHeaders.reserve(16);
    t->responseHeaders.emplace_back(std::string(name), std::string(value));
    return size * count;
}

size_t onReadBody(char* buffer, size_t size, size_t count, void* user) {
    auto* t = static_cast<ZQURLTransport::Transfer*>(user);
    if (!t->bodyStream) {
        t->bodyFileFailed = true;
        return CURL_READFUNC_ABORT;
    }
    size_t n = std::fread(buffer, 1, size * count, t->bodyStream.get());
    if (n == 0 && std::ferror(t->bodyStream.get())) {
        t->bodyFileFailed = true;
        return CURL_READFUNC_ABORT;
    }
    return n;
}

// libcurl rewinds the body when it must send it again (a redirect, a retried connection).
int onSeekBody(void* user, curl_off_t offset, int origin) {
    auto* t = static_cast<ZQURLTransport::Transfer*>(user);
    if (!t->bodyStream) return CURL_SEEKFUNC_FAIL;
    return fseeko(t->bodyStream.get(), static_cast<off_t>(offset), origin) == 0
               ? CURL_SEEKFUNC_OK
               : CURL_SEEKFUNC_CANTSEEK;
}

void reportUploaded(ZQURLTransport::Transfer* t, curl_off_t uploaded) {
    const curl_off_t sent = std::min(uploaded, t->uploadTotal);
    if (!t->uploadProgress || sent <= t->reportedUploaded) return;
    t->reportedUploaded = sent;
    t->uploadProgress(sent, t->uploadTotal);
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<ZQURLTransport::Transfer*>(user);
    if (uploaded != t->lastUploaded) {
        t->lastUploaded = uploaded;
        t->lastActivity = Clock::now();
        reportUploaded(t, uploaded);
    }
    return 0;
}

struct Failure {
    int64_t code;
    const char* text;
};

Failure failureFor(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return {ZQURLErrorCannotConnectToHost, "Could not connect to the server."};
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {ZQURLErrorCannotFindHost,
                    "A server with the specified hostname could not be found."};
        case CURLE_OPERATION_TIMEDOUT:
            return {ZQURLErrorTimedOut, "The request timed out."};
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
            return {ZQURLErrorNetworkConnectionLost, "The network connection was lost."};
        case CURLE_URL_MALFORMAT:
            return {ZQURLErrorBadURL, "The URL is not valid."};
        case CURLE_UNSUPPORTED_PROTOCOL:
            return {ZQURLErrorUnsupportedURL, "The URL is not supported."};
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP2:
            return {ZQURLErrorBadServerResponse, "The server answered with a malformed response."};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return {ZQURLErrorSecureConnectionFailed, "A secure connection could not be made."};
        default:
            return {ZQURLErrorUnknown, "The request failed."};
    }
}

platform::ErrorPtr makeError(int64_t code, const std::string& text, const std::string& url,
                             const std::string& detail) {
    platform::Dictionary info{{ZQFailingURLErrorKey, Value(url)}};
    if (!detail.empty()) info.set("ZQTransportDetail", Value(detail));
    return platform::Error::create(platform::kURLErrorDomain, code, text, std::move(info));
}

// What the driver collects from libcurl; the response objects are built once it let go.
struct Outcome {
    explicit Outcome(platform::URL url) : requestURL(std::move(url)) {}
    platform::URL requestURL;
    std::string effectiveURL;
    long status = 0;
    std::vector<ZQHTTPHeaderFields::Field> headers;
    std::vector<uint8_t> body;
    std::optional<std::string> authorization;
    platform::ErrorPtr error;
};

ZQURLTransport::Result buildResult(Outcome outcome) {
    ZQURLTransport::Result result;
    if (outcome.error) {
        result.error = std::move(outcome.error);
        return result;
    }
    // Without a redirect the answer's URL is the request's, already parsed.
    platform::URL url = std::move(outcome.requestURL);
    if (outcome.effectiveURL != url.absoluteString()) {
        if (std::optional<platform::URL> effective =
                platform::URL::fromString(outcome.effectiveURL)) {
            url = std::move(*effective);
        }
    }
    ZQHTTPHeaderFields fields = ZQHTTPHeaderFields::fromReceived(std::move(outcome.headers));
    result.response = std::make_shared<ZQHTTPURLResponse>(
        std::move(url), outcome.status, std::move(fields), std::move(outcome.authorization));
    result.data = Value::bytes(std::move(outcome.body));
    return result;
}

struct Done {
    ZQURLTransport::Completion completion;
    Outcome outcome;
    void run() { completion(buildResult(std::move(outcome))); }
};

}  // namespace

// The driver's state.
struct ZQURLTransport::Loop {
    CURLM* multi;
    std::unordered_map<Transfer*, std::shared_ptr<Transfer>> active;
    std::vector<CURL*> idleEasy;
    std::vector<Done> done;  // completed this turn, for the driver to run once it let go
    // Taken from the pending and cancelled lists each turn; kept so that their capacity passes
    // back and forth with those lists instead of being allocated for each request.
    std::vector<std::shared_ptr<Transfer>> added;
    std::vector<std::shared_ptr<Transfer>> cancelled;
    ZQURLTransport& owner;

    Loop(CURLM* m, ZQURLTransport& o) : multi(m), owner(o) {}
    ~Loop() {
        for (CURL* easy : idleEasy) curl_easy_cleanup(easy);
    }

    void add(const std::shared_ptr<Transfer>& t) {
        CURL* easy = nullptr;
        if (!idleEasy.empty()) {
            easy = idleEasy.back();
            idleEasy.pop_back();
        } else {
            easy = newEasy();
        }
        if (!easy) {
            // Out of memory: the transfer fails now instead of never completing.
            Outcome outcome(t->url);
            outcome.error = makeError(ZQURLErrorUnknown, "The request failed.",
                                      t->url.absoluteString(), "no libcurl handle");
            owner.active_.fetch_sub(1);
            done.push_back(Done{std::move(t->completion), std::move(outcome)});
            return;
        }
        t->easy = easy;
        t->lastActivity = Clock::now();
        curl_easy_setopt(easy, CURLOPT_URL, t->url.absoluteString().c_str());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, t.get());
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t->timeout.count()));
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t->errorBuffer);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, t.get());
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, t.get());
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, t.get());
        // A recycled handle keeps the options of its last transfer (it is not reset, which costs
        // more than the request's own options): every option that depends on the transfer is set
        // here each time, those of the method included. HTTPGET puts the method back to a
        // plain GET with no upload and a body expected.
        const Value::Bytes* body = t->body.bytes();
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        if (t->method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else if (t->method != "GET") {
            if (!t->bodyFile.empty()) {
                curl_easy_setopt(easy, CURLOPT_POST, 1L);
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, t->bodyFileSize);
                curl_easy_setopt(easy, CURLOPT_READFUNCTION, &onReadBody);
                curl_easy_setopt(easy, CURLOPT_READDATA, t.get());
                curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &onSeekBody);
                curl_easy_setopt(easy, CURLOPT_SEEKDATA, t.get());
            } else if (body || t->method == "POST") {
                static const char empty = 0;
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(body ? body->size() : 0));
                curl_easy_setopt(
                    easy, CURLOPT_POSTFIELDS,
                    body && !body->empty() ? reinterpret_cast<const char*>(body->data()) : &empty);
            }
            if (t->method != "POST")
                curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, t->method.c_str());
        }
        for (const std::string& line : t->headerLines) {
            t->headerList = curl_slist_append(t->headerList, line.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t->headerList);
        active.emplace(t.get(), t);
        curl_multi_add_handle(multi, easy);
    }

    // A handle with the options that are the same for every transfer.
    static CURL* newEasy() {
        CURL* easy = curl_easy_init();
        if (!easy) return nullptr;
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
        return easy;
    }

    // Takes the transfer out of libcurl and keeps its completion for the driver to run.
    void complete(Transfer* raw, CURLcode code, platform::ErrorPtr error = nullptr) {
        auto it = active.find(raw);
        if (it == active.end()) return;
        std::shared_ptr<Transfer> t = std::move(it->second);
        active.erase(it);
        curl_multi_remove_handle(multi, t->easy);

        Outcome outcome(t->url);
        outcome.authorization = std::move(t->authorization);
        if (!error && code != CURLE_OK && t->refusalCode != 0) {
            error = makeError(t->refusalCode, t->refusalText, t->url.absoluteString(),
                              t->refusalDetail);
        } else if (!error && code != CURLE_OK && t->bodyFileFailed) {
            error = makeError(ZQURLErrorUnknown, "The request body could not be read.",
                              t->url.absoluteString(),
                              "cannot read the body file " + t->bodyFile.string());
        } else if (!error && code != CURLE_OK) {
            Failure failure = failureFor(code);
            std::string detail = t->errorBuffer[0] ? t->errorBuffer : curl_easy_strerror(code);
            error = makeError(failure.code, failure.text, t->url.absoluteString(), detail);
        }
        if (error) {
            outcome.error = std::move(error);
        } else {
            char* effective = nullptr;
            curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &effective);
            if (effective) outcome.effectiveURL = effective;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &outcome.status);
            // The last progress call may have come before the last bytes went out.
            curl_off_t uploaded = 0;
            if (curl_easy_getinfo(t->easy, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK)
                reportUploaded(t.get(), uploaded);
            outcome.headers = std::move(t->responseHeaders);
            outcome.body = std::move(t->responseBody);
        }
        long connects = 0;
        if (curl_easy_getinfo(t->easy, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK &&
            connects > 0) {
            owner.connectionsOpened_.fetch_add(static_cast<uint64_t>(connects));
        }
        recycle(*t);
        Completion completion = std::move(t->completion);
        owner.active_.fetch_sub(1);
        done.push_back(Done{std::move(completion), std::move(outcome)});
    }

    void recycle(Transfer& t) {
        curl_slist_free_all(t.headerList);
        t.headerList = nullptr;
        if (idleEasy.size() < kMaxIdleEasyHandles) {
            idleEasy.push_back(t.easy);
        } else {
            curl_easy_cleanup(t.easy);
        }
        t.easy = nullptr;
    }

    // Fails transfers that moved no data for their timeout; answers how long the loop may sleep
    // before the next one is due.
    long expireIdle(long waitMs) {
        Clock::time_point now = Clock::now();
        std::vector<Transfer*> expired;
        for (auto& [raw, t] : active) {
            auto due = t->lastActivity + t->timeout;
            if (due <= now) {
                expired.push_back(raw);
            } else {
                auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
                waitMs = std::min(waitMs, static_cast<long>(left) + 1);
            }
        }
        for (Transfer* raw : expired) {
            auto& t = active[raw];
            complete(
                raw, CURLE_OK,
                makeError(ZQURLErrorTimedOut, "The request timed out.", t->url.absoluteString(),
                          "no data for " + std::to_string(t->timeout.count()) + " ms"));
        }
        return waitMs;
    }

    void readMessages() {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            void* raw = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &raw);
            complete(static_cast<Transfer*>(raw), msg->data.result);
        }
    }
};

ZQURLTransport& ZQURLTransport::shared() {
    // Never destroyed (workers may still start transfers while the process exits); the driver is
    // told to drop what is in flight by an exit handler.
    static platform::Immortal<ZQURLTransport> instance;
    // The pool first, so that this exit handler runs before the pool stops its workers: a driver
    // told to stop lets go at once instead of being left behind by the pool.
    (void)platform::WorkerPool::baseThreadCount();
    static std::once_flag exitHook;
    std::call_once(exitHook, [] { std::atexit([] { shared().stop(); }); });
    return instance.get();
}

ZQURLTransport::ZQURLTransport() {
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    loop_ = std::make_unique<Loop>(static_cast<CURLM*>(multi_), *this);
}

ZQURLTransport::~ZQURLTransport() {
    stop();
    bool driven = false;
    {
        platform::MutexLock lock(mutex_);
        driven = driving_;
    }
    if (driven) return;  // a driver that never let go still uses them: left to the process exit
    loop_.reset();
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void ZQURLTransport::stop() {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
    // A driver asked for but never started (the pool stopped first) must not hang the exit.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (driving_ && !idleCv_.waitUntil(mutex_, deadline)) {
    }
}

std::shared_ptr<ZQURLTransport::Transfer> ZQURLTransport::prepare(const ZQURLRequest& request,
                                                                  Completion completion) {
    auto t = std::make_shared<Transfer>(request.url());
    t->method = request.httpMethod().empty() ? "GET" : request.httpMethod();
    t->body = request.httpBodyValue();
    if (!request.httpBodyFile().empty()) {
        t->bodyFile = request.httpBodyFile();
        t->bodyStream.reset(std::fopen(t->bodyFile.c_str(), "rb"));
        struct stat info {};
        // A file that cannot be opened fails the transfer from the read callback, on the driver.
        if (t->bodyStream && fstat(fileno(t->bodyStream.get()), &info) == 0 &&
            S_ISREG(info.st_mode)) {
            t->bodyFileSize = static_cast<curl_off_t>(info.st_size);
        } else {
            // Unknown size: libcurl asks the read callback at once, which ends the transfer.
            t->bodyStream.reset();
            t->bodyFileSize = -1;
        }
    }
    if (request.uploadProgressHandler()) {
        const Value::Bytes* bytes = t->body.bytes();
        t->uploadTotal = t->bodyFileSize >= 0 ? t->bodyFileSize
                         : bytes              ? static_cast<curl_off_t>(bytes->size())
                                              : 0;
        if (t->uploadTotal > 0) t->uploadProgress = request.uploadProgressHandler();
    }
    t->maximumResponseBytes = request.maximumResponseBytes();
    t->timeout = std::chrono::milliseconds(
        std::max<long long>(1, static_cast<long long>(request.timeoutInterval() * 1000.0)));
    for (const auto& [name, value] : request.allHTTPHeaderFields()) {
        // "Name;" is libcurl's way to send a field with an empty value.
        t->headerLines.push_back(value.empty() ? name + ";" : name + ": " + value);
        if (ZQHTTPHeaderFields::namesEqual(name, "Authorization")) t->authorization = value;
    }
    // No "Expect: 100-continue" round trip before large bodies; without a body there is none.
    if (t->body.bytes() || !t->bodyFile.empty()) t->headerLines.emplace_back("Expect:");
    // libcurl would call a streamed file a form ("application/x-www-form-urlencoded").
    if (!t->bodyFile.empty() && !request.valueForHTTPHeaderField("Content-Type")) {
        t->headerLines.emplace_back("Content-Type: application/octet-stream");
    }
    t->completion = std::move(completion);
    return t;
}

void ZQURLTransport::begin(const std::shared_ptr<Transfer>& t, bool driveHere) {
    enum class Next { wakeDriver, driveHere, askPool, refuse } next = Next::refuse;
    {
        platform::MutexLock lock(mutex_);
        if (t->begun) return;
        t->begun = true;
        if (stopping_) {
            next = Next::refuse;
        } else {
            active_.fetch_add(1);
            pending_.push_back(t);
            if (t->cancelledBeforeBegin) cancelled_.push_back(t);
            if (driving_) {
                next = Next::wakeDriver;
            } else {
                driving_ = true;
                next = driveHere && platform::WorkerPool::isWorkerThread() ? Next::driveHere
                                                                           : Next::askPool;
            }
        }
    }
    switch (next) {
        case Next::wakeDriver:
            curl_multi_wakeup(static_cast<CURLM*>(multi_));
            break;
        case Next::driveHere:
            drive();
            break;
        case Next::askPool:
            platform::WorkerPool::submit([this] { drive(); });
            break;
        case Next::refuse: {
            // The process is exiting: nothing is sent.
            Completion late = std::move(t->completion);
            Result result;
            result.error = makeError(ZQURLErrorCancelled, "The request was cancelled.",
                                     t->url.absoluteString(), "the transport has stopped");
            late(std::move(result));
            break;
        }
    }
}

std::shared_ptr<ZQURLTransport::Transfer> ZQURLTransport::start(const ZQURLRequest& request,
                                                                Completion completion) {
    std::shared_ptr<Transfer> t = prepare(request, std::move(completion));
    begin(t, false);
    return t;
}

void ZQURLTransport::cancel(const std::shared_ptr<Transfer>& transfer) {
    if (!transfer) return;
    platform::MutexLock lock(mutex_);
    if (stopping_) return;
    if (!transfer->begun) {
        transfer->cancelledBeforeBegin = true;
        return;
    }
    // Without a driver nothing is pending or in flight: the transfer has completed.
    if (!driving_) return;
    cancelled_.push_back(transfer);
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void ZQURLTransport::drive() {
    Loop& loop = *loop_;
    std::vector<Done> done;
    bool holding = true;  // this worker still drives
    {
        platform::WorkerPool::BlockingScope blocking;
        std::vector<std::shared_ptr<Transfer>>& added = loop.added;
        std::vector<std::shared_ptr<Transfer>>& cancelled = loop.cancelled;
        for (;;) {
            {
                platform::MutexLock lock(mutex_);
                if (stopping_) break;
                added.swap(pending_);
                cancelled.swap(cancelled_);
            }
            for (const auto& t : added) loop.add(t);
            added.clear();
            for (const auto& t : cancelled) {
                loop.complete(t.get(), CURLE_OK,
                              makeError(ZQURLErrorCancelled, "The request was cancelled.",
                                        t->url.absoluteString(), ""));
            }
            cancelled.clear();

            int running = 0;
            curl_multi_perform(loop.multi, &running);
            loop.readMessages();

            long waitMs = 1000;
            long curlWait = -1;
            curl_multi_timeout(loop.multi, &curlWait);
            if (curlWait >= 0) waitMs = std::min(waitMs, curlWait);
            waitMs = loop.expireIdle(waitMs);
            {
                platform::MutexLock lock(mutex_);
                bool more = !loop.active.empty() || hasWorkQueued();
                if (stopping_) break;
                if (!more) {
                    // Nothing else in flight: let go and run the completions here.
                    done.swap(loop.done);
                    driving_ = false;
                    idleCv_.notifyAll();
                    holding = false;
                    break;
                }
            }
            // Other transfers are in flight: their driving must not wait for these completions.
            for (Done& d : loop.done) {
                platform::WorkerPool::submit([d = std::move(d)]() mutable { d.run(); });
            }
            loop.done.clear();
            if (waitMs > 0)
                curl_multi_poll(loop.multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
        }
    }
    if (holding) {
        // Only a stop ends the loop while this worker still drives: transfers still in flight
        // are dropped without completion.
        platform::MutexLock lock(mutex_);
        for (auto& [raw, t] : loop.active) {
            curl_multi_remove_handle(loop.multi, t->easy);
            curl_slist_free_all(t->headerList);
            curl_easy_cleanup(t->easy);
        }
        loop.active.clear();
        loop.done.clear();
        driving_ = false;
        idleCv_.notifyAll();
        return;
    }
    for (Done& d : done) d.run();
}
