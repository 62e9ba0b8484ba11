// The sample REST server: serves every data provider of an application model at
// GET <base>rest/<provider path> (paging, order, search, advanced filter and parameters as the
// data layer writes them), with Last-Modified and 304 answers, the business components' instances
// and default values at <base>rest/<component path>/..., read from and written into the same
// rows (ZQSampleBusinessComponents), the token endpoint
// POST <base>auth/token, and a data endpoint <base>_data/<provider name> through which the rows
// change while it runs (README.md beside this file). Owned by whoever created it (a tool, a test
// suite, a benchmark); requests run on its own httplib threads, start and stop on the owner's.
// mutex_ guards the request log and counters; the data and token stores lock for themselves.
#pragma once

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "examples/sample-server/ZQSampleBusinessComponents.hpp"
#include "examples/sample-server/ZQSampleDataStore.hpp"
#include "examples/sample-server/ZQSampleFieldServices.hpp"
#include "examples/sample-server/ZQSampleObjectStore.hpp"
#include "examples/sample-server/ZQSampleTokenStore.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"

// One answered request.
struct ZQSampleRequestRecord {
    std::string method;
    std::string url;  // absolute: "http://127.0.0.1:8080/sample/rest/...?..."
    int status = 0;
};

struct ZQSampleServerOptions {
    // The application model; read from modelFile when not given (the sample application's
    // model.json when that is empty too).
    std::shared_ptr<const ZQApplicationModel> model;
    std::filesystem::path modelFile;
    // The data files; the sample application's data folder when empty. Without loadDataFiles
    // every provider starts empty.
    std::filesystem::path dataDirectory;
    bool loadDataFiles = true;

    std::string host = "127.0.0.1";
    int port = 0;  // 0: a free port chosen by the system
    // Where the application's server lives, "/sample/"; when empty, the path of the model's
    // appServerBaseUrl, else "/".
    std::string basePath;
    // Every data and token request waits this long before it is answered.
    double delaySeconds = 0;
    // Data requests without a valid bearer token are answered 401.
    bool requireToken = false;
    ZQSampleCredentials credentials;
    int tokenLifetimeSeconds = 3600;
    // Called on a server thread after each answer (the zqdl --verbose log).
    std::function<void(const ZQSampleRequestRecord&)> onRequest;
    size_t threadCount = 16;
    // How long an idle kept-alive connection is held open.
    int keepAliveSeconds = 2;
    // How many of the latest answered requests requestLog() keeps: a server that runs for days
    // must not grow with every request. 0 keeps none; the counts stay exact either way.
    size_t requestLogLimit = 10000;
    // A user warning every business-component answer carries in its "Warning" header
    // ("299 sample-server \"<text>\""); a request's "zqwarning=<text>" query parameter overrides
    // it.
    std::optional<std::string> businessComponentWarning;
};

class ZQSampleServer;

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

struct ZQSampleServerCreateResult {
    std::unique_ptr<ZQSampleServer> server;  // none on error
    platform::ErrorPtr error;                // none on success
};

class ZQSampleServer {
  public:
    // Loads the model and the data files; the server does not listen until start().
    [[nodiscard]] static ZQSampleServerCreateResult create(ZQSampleServerOptions options);
    ~ZQSampleServer();
    ZQSampleServer(const ZQSampleServer&) = delete;
    ZQSampleServer& operator=(const ZQSampleServer&) = delete;

    // The examples/sample-app folder of the source tree.
    static std::filesystem::path sampleApplicationDirectory();

    // Binds and starts serving on the server's threads; an error when the port cannot be bound.
    [[nodiscard]] platform::ErrorPtr start() EXCLUDES(mutex_);
    // Answers no more requests: delays in progress end (503), answers being written finish,
    // idle connections are closed; returns when every server thread has ended. Idempotent.
    void stop() EXCLUDES(mutex_);
    bool isRunning() const { return running_.load(); }

    // The bound port (0 before start) and "http://<host>:<port><base path>".
    int port() const { return port_.load(); }
    std::string baseURL() const;
    const std::string& basePath() const { return basePath_; }
    const std::shared_ptr<const ZQApplicationModel>& model() const { return model_; }

    // The rows; changing them bumps the provider's Last-Modified.
    ZQSampleDataStore& dataStore() { return *dataStore_; }
    ZQSampleTokenStore& tokens() { return *tokens_; }
    // The uploaded binary objects (README.md, "Uploads").
    ZQSampleObjectStore& objectStore() { return *objects_; }
    // Replaces the invoice providers' rows with ZQSampleSyntheticInvoices::make's, and makes
    // the row texts of the lists at once, so that the first request is as fast as the next.
    [[nodiscard]] platform::ErrorPtr loadSyntheticInvoices(size_t invoices, size_t linesPerInvoice);

    void setRequireToken(bool require) { requireToken_.store(require); }
    void setDelay(double seconds) { delaySeconds_.store(seconds); }
    void setBusinessComponentWarning(std::optional<std::string> text) {
        businessComponents_->setWarning(std::move(text));
    }

    // The latest answered requests, oldest first (at most options.requestLogLimit of them).
    std::vector<ZQSampleRequestRecord> requestLog() const EXCLUDES(mutex_);
    // Requests answered since the start or the last clearRequestLog(), kept in the log or not.
    size_t answeredRequestCount() const EXCLUDES(mutex_);
    // The kept records of the requests answered after the first `answered` ones (a value of
    // answeredRequestCount() taken earlier).
    std::vector<ZQSampleRequestRecord> requestLogSince(size_t answered) const EXCLUDES(mutex_);
    void clearRequestLog() EXCLUDES(mutex_);
    // Requests that arrived for the path ("/sample/rest/Sales/WorkWithInvoice/Invoice/List"),
    // counted on arrival, before any delay; the log has them once answered.
    size_t requestCount(const std::string& path) const EXCLUDES(mutex_);
    size_t requestCountForProvider(const std::string& providerName) const EXCLUDES(mutex_);
    size_t totalRequestCount() const EXCLUDES(mutex_);

    // Only create() can make the key, so servers are always made through it.
    class ConstructionKey {
        friend class ZQSampleServer;
        ConstructionKey() = default;
    };
    ZQSampleServer(ConstructionKey, ZQSampleServerOptions options,
                   std::shared_ptr<const ZQApplicationModel> model);

  private:
    struct Impl;
    struct Exchange;  // one request and its answer, without httplib types

    // The server threads' entry: marks the request as being answered (until httplib logs it)
    // and translates between httplib and the exchange.
    void serve(const httplib::Request& req, httplib::Response& res) EXCLUDES(mutex_);
    void handle(Exchange& exchange) EXCLUDES(mutex_);
    void route(Exchange& exchange);
    void answerData(Exchange& exchange, const std::string& providerPath);
    void answerToken(Exchange& exchange);
    void answerDataChange(Exchange& exchange, const std::string& providerName);
    void answerBusinessComponent(Exchange& exchange, const std::string& rawRestPath);
    void answerFieldService(Exchange& exchange, const std::string& restPath);
    bool authorised(Exchange& exchange) const;
    // Waits the configured delay; false when the server stops meanwhile.
    bool delay() EXCLUDES(mutex_);

    const ZQSampleServerOptions options_;
    const std::shared_ptr<const ZQApplicationModel> model_;
    const std::string basePath_;
    // Provider path ("Sales/WorkWithInvoice/Invoice/List") to its provider.
    std::map<std::string, std::shared_ptr<const ZQSampleProvider>> providersByPath_;
    const std::unique_ptr<ZQSampleDataStore> dataStore_;
    const std::unique_ptr<ZQSampleTokenStore> tokens_;
    const std::unique_ptr<ZQSampleBusinessComponents> businessComponents_;
    const std::unique_ptr<ZQSampleObjectStore> objects_ = std::make_unique<ZQSampleObjectStore>();
    const std::unique_ptr<ZQSampleFieldServices> fieldServices_;
    std::atomic<bool> requireToken_;
    std::atomic<double> delaySeconds_;
    std::atomic<int> port_{0};
    std::atomic<bool> running_{false};

    std::unique_ptr<Impl> impl_;
    std::thread listener_;
    mutable platform::Mutex mutex_;
    platform::CondVar stopCv_;
    bool stopping_ GUARDED_BY(mutex_) = false;
    // The httplib requests whose answers are not yet written (by address).
    std::set<const void*> answering_ GUARDED_BY(mutex_);
    std::deque<ZQSampleRequestRecord> log_ GUARDED_BY(mutex_);
    size_t answered_ GUARDED_BY(mutex_) = 0;
    std::map<std::string, size_t> counts_ GUARDED_BY(mutex_);
    size_t total_ GUARDED_BY(mutex_) = 0;
};
