#include "examples/sample-server/ZQSampleServer.hpp"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "examples/sample-server/ZQSampleQuery.hpp"
#include "examples/sample-server/ZQSampleSyntheticInvoices.hpp"
#include "platform/DateFormat.hpp"

using platform::Value;

struct ZQSampleServer::Impl {
    httplib::Server server;
};

struct ZQSampleServer::Exchange {
    // The request.
    std::string method;
    std::string path;      // decoded, without the query
    std::string rawPath;   // as sent, without the query
    std::string rawQuery;  // as sent, after "?"
    std::string url;       // absolute, for the log
    const httplib::Headers* headers = nullptr;
    std::string body;
    // The answer.
    int status = 200;
    std::string answer;
    std::vector<std::pair<std::string, std::string>> answerHeaders;
    std::string contentType = "application/json";

    std::optional<std::string> header(const std::string& name) const {
        auto found = headers->find(name);  // httplib compares names without regard to case
        if (found == headers->end()) return std::nullopt;
        return found->second;
    }
    void json(int code, const Value& value) {
        status = code;
        answer = ZQJSON::write(value).text;
    }
    // The error body ZQUtilities::errorFromResponseData reads.
    void error(int code, const std::string& message) {
        json(code, Value::dictionary({{"error", Value::dictionary({{"code", std::to_string(code)},
                                                                   {"message", message}})}}));
    }
};

namespace {

platform::ErrorPtr makeError(ZQSampleServerErrorCode code, std::string description) {
    return platform::Error::create(ZQSampleServerErrorDomain, code, std::move(description));
}

std::string normalisedBasePath(std::string path) {
    if (path.empty() || path.front() != '/') path.insert(0, "/");
    if (path.back() != '/') path += '/';
    return path;
}

std::string basePathFor(const ZQSampleServerOptions& options, const ZQApplicationModel& model) {
    if (!options.basePath.empty()) return normalisedBasePath(options.basePath);
    if (std::optional<platform::URL> url = model.appServerBaseUrl()) {
        return normalisedBasePath(url->path());
    }
    return "/";
}

// httplib keeps an idle kept-alive connection open until its keep-alive time runs out, even
// after stop(). Shutting down the reading side of the server's connections ends those waits at
// once. (httplib also stops writing to a socket that reads as closed, so this waits until no
// answer is in progress.) The connections are found among the process's descriptors as the
// non-listening sockets bound to the server's port.
void endIdleConnections(int port) {
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
        if (!listening) ::shutdown(fd, SHUT_RD);
    }
    closedir(dir);
}

}  // namespace

std::filesystem::path ZQSampleServer::sampleApplicationDirectory() {
    return ZQ_SAMPLE_APP_DIR;
}

ZQSampleServerCreateResult ZQSampleServer::create(ZQSampleServerOptions options) {
    ZQSampleServerCreateResult result;
    std::shared_ptr<const ZQApplicationModel> model = options.model;
    if (!model) {
        std::filesystem::path file = options.modelFile.empty()
                                         ? sampleApplicationDirectory() / "model.json"
                                         : options.modelFile;
        ZQApplicationModelLoadResult loaded = ZQApplicationModelLoader::loadFromFile(file);
        if (loaded.error) {
            result.error = makeError(ZQSampleServerErrorFile, loaded.error->localizedDescription());
            return result;
        }
        model = loaded.model;
    }
    auto server = std::make_unique<ZQSampleServer>(ConstructionKey(), std::move(options), model);
    if (server->options_.loadDataFiles) {
        std::filesystem::path directory = server->options_.dataDirectory.empty()
                                              ? sampleApplicationDirectory() / "data"
                                              : server->options_.dataDirectory;
        if (platform::ErrorPtr error = server->dataStore_->loadDirectory(directory)) {
            result.error = error;
            return result;
        }
    }
    result.server = std::move(server);
    return result;
}

ZQSampleServer::ZQSampleServer(ConstructionKey, ZQSampleServerOptions options,
                               std::shared_ptr<const ZQApplicationModel> model)
    : options_(std::move(options)),
      model_(std::move(model)),
      basePath_(basePathFor(options_, *model_)),
      dataStore_(std::make_unique<ZQSampleDataStore>(ZQSampleProvider::catalog(*model_))),
      tokens_(std::make_unique<ZQSampleTokenStore>(options_.credentials,
                                                   options_.tokenLifetimeSeconds)),
      businessComponents_(std::make_unique<ZQSampleBusinessComponents>(*model_, *dataStore_)),
      fieldServices_(std::make_unique<ZQSampleFieldServices>(*dataStore_)),
      requireToken_(options_.requireToken),
      delaySeconds_(options_.delaySeconds) {
    for (const auto& [name, provider] : dataStore_->catalog()) {
        providersByPath_.emplace(provider->path, provider);
    }
    businessComponents_->setWarning(options_.businessComponentWarning);
}

ZQSampleServer::~ZQSampleServer() {
    stop();
}

platform::ErrorPtr ZQSampleServer::start() {
    if (impl_) return makeError(ZQSampleServerErrorBind, "the server was started before");
    impl_ = std::make_unique<Impl>();
    httplib::Server& server = impl_->server;
    size_t threads = std::max<size_t>(1, options_.threadCount);
    // httplib takes ownership of the queue it is handed as a raw pointer.
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_keep_alive_max_count(1000000);
    server.set_keep_alive_timeout(options_.keepAliveSeconds);
    server.set_tcp_nodelay(true);
    // A request is being answered from the routing call until httplib logs it, which it does
    // once the answer is written.
    server.set_logger([this](const httplib::Request& req, const httplib::Response&) {
        platform::MutexLock lock(mutex_);
        answering_.erase(&req);
        if (answering_.empty()) stopCv_.notifyAll();
    });
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.Put(".*", handler);
    server.Patch(".*", handler);
    server.Delete(".*", handler);
    int port = options_.port == 0
                   ? server.bind_to_any_port(options_.host)
                   : (server.bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port <= 0) {
        return makeError(ZQSampleServerErrorBind,
                         "cannot listen on " + options_.host + ":" + std::to_string(options_.port));
    }
    port_.store(port);
    running_.store(true);
    listener_ = std::thread([this] { impl_->server.listen_after_bind(); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return nullptr;
}

void ZQSampleServer::stop() {
    if (!impl_ || !running_.exchange(false)) return;
    {
        platform::MutexLock lock(mutex_);
        stopping_ = true;
    }
    stopCv_.notifyAll();
    impl_->server.stop();
    {
        // Answers finish quickly once delays have ended; the bound only guards against a client
        // that stopped reading.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        platform::MutexLock lock(mutex_);
        while (!answering_.empty() && stopCv_.waitUntil(mutex_, deadline)) {
        }
    }
    endIdleConnections(port());
    if (listener_.joinable()) listener_.join();
}

std::string ZQSampleServer::baseURL() const {
    return "http://" + options_.host + ":" + std::to_string(port()) + basePath_;
}

platform::ErrorPtr ZQSampleServer::loadSyntheticInvoices(size_t invoices, size_t linesPerInvoice) {
    for (auto& [name, data] : ZQSampleSyntheticInvoices::make(invoices, linesPerInvoice)) {
        ZQSampleChange change = dataStore_->replace(name, std::move(data));
        if (change.error) return change.error;
        // Benchmarks load large lists: the row texts are made now, not in the first request.
        std::optional<ZQSampleSnapshot> snapshot = dataStore_->snapshot(name);
        if (snapshot && snapshot->cache) (void)snapshot->cache->texts();
    }
    return nullptr;
}

std::vector<ZQSampleRequestRecord> ZQSampleServer::requestLog() const {
    platform::MutexLock lock(mutex_);
    return {log_.begin(), log_.end()};
}

size_t ZQSampleServer::answeredRequestCount() const {
    platform::MutexLock lock(mutex_);
    return answered_;
}

std::vector<ZQSampleRequestRecord> ZQSampleServer::requestLogSince(size_t answered) const {
    platform::MutexLock lock(mutex_);
    // The log holds the last log_.size() of answered_ requests.
    const size_t newer = answered_ > answered ? answered_ - answered : 0;
    const size_t kept = std::min(newer, log_.size());
    return {log_.end() - static_cast<std::ptrdiff_t>(kept), log_.end()};
}

void ZQSampleServer::clearRequestLog() {
    platform::MutexLock lock(mutex_);
    log_.clear();
    answered_ = 0;
    counts_.clear();
    total_ = 0;
}

size_t ZQSampleServer::requestCount(const std::string& path) const {
    platform::MutexLock lock(mutex_);
    auto found = counts_.find(path);
    return found == counts_.end() ? 0 : found->second;
}

size_t ZQSampleServer::requestCountForProvider(const std::string& providerName) const {
    std::string path = providerName;
    std::replace(path.begin(), path.end(), '.', '/');
    return requestCount(basePath_ + "rest/" + path);
}

size_t ZQSampleServer::totalRequestCount() const {
    platform::MutexLock lock(mutex_);
    return total_;
}

bool ZQSampleServer::delay() {
    double seconds = delaySeconds_.load();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    platform::MutexLock lock(mutex_);
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        stopCv_.waitUntil(mutex_, deadline);
    }
    return !stopping_;
}

void ZQSampleServer::serve(const httplib::Request& req, httplib::Response& res) {
    {
        platform::MutexLock lock(mutex_);
        answering_.insert(&req);
    }
    Exchange exchange;
    exchange.method = req.method;
    exchange.path = req.path;
    size_t question = req.target.find('?');
    exchange.rawPath = req.target.substr(0, question);
    if (question != std::string::npos) exchange.rawQuery = req.target.substr(question + 1);
    exchange.url = "http://" + options_.host + ":" + std::to_string(port()) + req.target;
    exchange.headers = &req.headers;
    exchange.body = req.body;
    handle(exchange);
    res.status = exchange.status;
    for (const auto& [name, value] : exchange.answerHeaders) res.set_header(name, value);
    if (!exchange.answer.empty()) {
        // Moved rather than handed to set_content, which copies: answers run to megabytes.
        res.body = std::move(exchange.answer);
        res.set_header("Content-Type", exchange.contentType);
    }
}

void ZQSampleServer::handle(Exchange& exchange) {
    {
        platform::MutexLock lock(mutex_);
        ++counts_[exchange.path];
        ++total_;
    }
    route(exchange);
    ZQSampleRequestRecord record{exchange.method, exchange.url, exchange.status};
    {
        platform::MutexLock lock(mutex_);
        ++answered_;
        if (options_.requestLogLimit > 0) {
            if (log_.size() >= options_.requestLogLimit) log_.pop_front();
            log_.push_back(record);
        }
    }
    if (options_.onRequest) options_.onRequest(record);
}

void ZQSampleServer::route(Exchange& exchange) {
    if (exchange.path.compare(0, basePath_.size(), basePath_) != 0) {
        exchange.error(404, "nothing is served at " + exchange.path);
        return;
    }
    std::string rest = exchange.path.substr(basePath_.size());
    bool isData = rest.rfind("rest/", 0) == 0, isToken = rest == "auth/token";
    if ((isData || isToken) && delaySeconds_.load() > 0 && !delay()) {
        exchange.error(503, "the server is stopping");
        return;
    }
    // Keys may hold an escaped "/" or ",", which the decoded path has lost: business components
    // are routed on the path as sent.
    const std::string rawRest = basePath_ + "rest/";
    std::string rawRestPath = exchange.rawPath.compare(0, rawRest.size(), rawRest) == 0
                                  ? exchange.rawPath.substr(rawRest.size())
                                  : std::string();
    if (ZQSampleObjectStore::serves(rest)) {
        if (!authorised(exchange)) return;
        ZQSampleObjectAnswer answer =
            objects_->answer(exchange.method, rest, exchange.header("Content-Type").value_or(""),
                             std::move(exchange.body));
        exchange.status = answer.status;
        exchange.answer = std::move(answer.body);
        exchange.contentType = std::move(answer.contentType);
    } else if (isData && ZQSampleFieldServices::serves(rest.substr(5))) {
        answerFieldService(exchange, rest.substr(5));
    } else if (isData && !providersByPath_.count(rest.substr(5)) &&
               businessComponents_->serves(rawRestPath)) {
        answerBusinessComponent(exchange, rawRestPath);
    } else if (isData && (exchange.method == "GET" || exchange.method == "HEAD")) {
        answerData(exchange, rest.substr(5));
    } else if (isToken && exchange.method == "POST") {
        answerToken(exchange);
    } else if (rest.rfind("_data/", 0) == 0) {
        answerDataChange(exchange, rest.substr(6));
    } else if (isData || isToken) {
        exchange.error(405, exchange.method + " is not allowed on " + exchange.path);
    } else {
        exchange.error(404, "nothing is served at " + exchange.path);
    }
}

bool ZQSampleServer::authorised(Exchange& exchange) const {
    if (!requireToken_.load()) return true;
    std::optional<std::string> authorization = exchange.header("Authorization");
    const std::string prefix = "Bearer ";
    bool bearer = authorization && authorization->compare(0, prefix.size(), prefix) == 0;
    if (bearer && tokens_->isValid(std::string_view(*authorization).substr(prefix.size()))) {
        return true;
    }
    std::string challenge = "Bearer realm=\"" + model_->name() + "\"";
    if (bearer) challenge += ", error=\"invalid_token\"";
    exchange.answerHeaders.emplace_back("WWW-Authenticate", challenge);
    exchange.error(401, bearer ? "The access token is not valid" : "An access token is required");
    return false;
}

void ZQSampleServer::answerData(Exchange& exchange, const std::string& providerPath) {
    if (!authorised(exchange)) return;
    auto found = providersByPath_.find(providerPath);
    if (found == providersByPath_.end()) {
        exchange.error(404, "no data provider is served at rest/" + providerPath);
        return;
    }
    std::optional<ZQSampleSnapshot> snapshot = dataStore_->snapshot(found->second->name);
    if (!snapshot) {
        exchange.error(404, "no data for " + found->second->name);
        return;
    }
    exchange.answerHeaders.emplace_back("Last-Modified",
                                        platform::httpDateString(snapshot->lastModified));
    ZQSampleQueryParseResult parsed = ZQSampleQuery::parse(found->second, exchange.rawQuery);
    if (!parsed.query) {
        exchange.error(400, parsed.error);
        return;
    }
    if (std::optional<std::string> since = exchange.header("If-Modified-Since")) {
        std::optional<platform::Date> date = platform::parseHTTPDate(*since);
        if (date && snapshot->lastModified <= *date) {
            exchange.status = 304;
            return;
        }
    }
    ZQSampleAnswer answer = parsed.query->evaluate(snapshot->data, snapshot->cache.get());
    if (answer.status != 200) {
        exchange.error(answer.status, answer.message);
        return;
    }
    exchange.answer = std::move(answer.body);
}

void ZQSampleServer::answerBusinessComponent(Exchange& exchange, const std::string& rawRestPath) {
    if (!authorised(exchange)) return;
    ZQSampleBCAnswer answer = businessComponents_->answer(
        {exchange.method, rawRestPath, exchange.rawQuery, exchange.body});
    exchange.status = answer.status;
    exchange.answer = std::move(answer.body);
    for (auto& header : answer.headers) exchange.answerHeaders.push_back(std::move(header));
}

void ZQSampleServer::answerFieldService(Exchange& exchange, const std::string& restPath) {
    if (!authorised(exchange)) return;
    if (exchange.method != "GET") {
        exchange.error(405, exchange.method + " is not allowed on " + exchange.path);
        return;
    }
    ZQSampleFieldAnswer answer = fieldServices_->answer(restPath, exchange.rawQuery);
    exchange.status = answer.status;
    exchange.answer = std::move(answer.body);
}

void ZQSampleServer::answerToken(Exchange& exchange) {
    ZQSampleTokenStore::Answer answer = tokens_->grant(exchange.body);
    exchange.status = answer.status;
    exchange.answer = std::move(answer.body);
    exchange.answerHeaders.emplace_back("Cache-Control", "no-store");
}

namespace {

// The "key" pair of a data-change request: which keyed entry of the data the change is for.
std::optional<std::string> keyParameter(std::string_view rawQuery) {
    while (!rawQuery.empty()) {
        size_t amp = rawQuery.find('&');
        std::string_view pair = rawQuery.substr(0, amp);
        rawQuery = amp == std::string_view::npos ? std::string_view() : rawQuery.substr(amp + 1);
        if (pair.rfind("key=", 0) == 0) return platform::percentUnescape(pair.substr(4));
    }
    return std::nullopt;
}

}  // namespace

void ZQSampleServer::answerDataChange(Exchange& exchange, const std::string& providerName) {
    if (!dataStore_->catalog().count(providerName)) {
        exchange.error(404, "no data provider " + providerName);
        return;
    }
    if (exchange.method == "GET") {
        std::optional<ZQSampleSnapshot> snapshot = dataStore_->snapshot(providerName);
        exchange.answerHeaders.emplace_back("Last-Modified",
                                            platform::httpDateString(snapshot->lastModified));
        exchange.json(200, snapshot->data);
        return;
    }
    Value body;
    if (exchange.body.find_first_not_of(" \t\r\n") != std::string::npos) {
        ZQJSONParseResult parsed = ZQJSON::parse(exchange.body, "request body");
        if (parsed.error) {
            exchange.error(400, parsed.error->localizedDescription());
            return;
        }
        body = std::move(parsed.value);
    }
    std::optional<std::string> key = keyParameter(exchange.rawQuery);
    static const platform::Dictionary kEverything;
    const platform::Dictionary* match = body["match"].dictionary();
    ZQSampleChange change;
    if (exchange.method == "PUT") {
        change = dataStore_->replace(providerName, body);
    } else if (exchange.method == "POST") {
        change = dataStore_->append(providerName,
                                    body.isArray() ? *body.array() : platform::Array{body}, key);
    } else if (exchange.method == "PATCH" && body["set"].isDictionary()) {
        change = dataStore_->patch(providerName, match ? *match : kEverything,
                                   *body["set"].dictionary(), key);
    } else if (exchange.method == "DELETE") {
        change = dataStore_->remove(providerName, match ? *match : kEverything, key);
    } else {
        exchange.error(exchange.method == "PATCH" ? 400 : 405,
                       exchange.method == "PATCH" ? "PATCH needs {\"set\": {...}}"
                                                  : exchange.method + " is not a data change");
        return;
    }
    if (change.error) {
        exchange.error(400, change.error->localizedDescription());
        return;
    }
    std::string lastModified = platform::httpDateString(change.lastModified);
    exchange.answerHeaders.emplace_back("Last-Modified", lastModified);
    exchange.json(200, Value::dictionary({{"provider", Value(providerName)},
                                          {"rows", Value(change.rows)},
                                          {"lastModified", Value(lastModified)}}));
}
