// Cached rows survive what the server or the file system does to them: an answer of the wrong
// shape is an error that leaves the cached query as it was, and a cache file another process
// keeps locked fails the queries that need it without losing a row, then opens at a later use.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/DateFormat.hpp"
#include "platform/objectstore/SQLiteConnection.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"

namespace {

namespace fs = std::filesystem;
using zqtest::LoopbackResponse;
using zqtest::ManagerTest;
using zqtest::RecordingManagerDelegate;
using zqtest::rowIds;
using Type = ZQRemoteEntityDataQueryType;

using ManagerCacheSafety = ManagerTest;

struct CachedState {
    std::vector<int64_t> ids;
    std::optional<platform::Date> timeStamp;
    std::optional<platform::Date> lastModified;
    bool complete = false;
};

TEST_F(ManagerCacheSafety, AnAnswerOfTheWrongShapeIsAnErrorAndLeavesTheCachedQueryAsItWas) {
    struct Case {
        const char* name;
        std::string body;
    };
    const Case cases[] = {{"object", R"({"rows": []})"},
                          {"string", R"("rows")"},
                          {"number", "42"},
                          {"null", "null"},
                          {"white space", " \n "}};
    invoiceRows_->setRowCount(4);
    auto state = [this]() {
        auto local = loadAndWait(invoices(Type::Local, 0))->onlyCollectionResult();
        CachedState out;
        if (!local) return out;
        out.ids = rowIds(*local);
        out.timeStamp = local->timeStamp();
        out.lastModified = local->lastModified();
        out.complete = local->complete();
        return out;
    };
    auto first = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(first && !first->error());
    const CachedState before = state();
    ASSERT_EQ(before.ids, (std::vector<int64_t>{1, 2, 3, 4}));
    ASSERT_TRUE(before.complete);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock_->advance(3600);  // past the caching window: the server is asked
        server().route("GET", kInvoicesPath, [body = c.body](const zqtest::LoopbackRequest&) {
            LoopbackResponse response = LoopbackResponse::json(body);
            response.headers.emplace_back("Last-Modified", "Wed, 01 May 2024 00:00:00 GMT");
            return response;
        });
        auto one = std::make_shared<RecordingManagerDelegate>();
        auto two = std::make_shared<RecordingManagerDelegate>();
        manager_->load(invoices(Type::First, 0), one);
        manager_->load(invoices(Type::First, 0), two);
        ASSERT_TRUE(one->waitForCount(1) && two->waitForCount(1));
        ASSERT_TRUE(waitUntilIdle());
        for (const auto& delegate : {one, two}) {
            auto result = delegate->onlyCollectionResult();
            ASSERT_TRUE(result && result->error());
            EXPECT_EQ(result->error()->domain(), ZQJSONErrorDomain);
            EXPECT_EQ(result->error()->code(), ZQJSONErrorShape);
            EXPECT_NE(result->error()->localizedDescription().find("array of rows"),
                      std::string::npos)
                << result->error()->localizedDescription();
        }
        const CachedState after = state();
        EXPECT_EQ(after.ids, before.ids);
        EXPECT_EQ(after.timeStamp, before.timeStamp);
        EXPECT_EQ(after.lastModified, before.lastModified);
        EXPECT_EQ(after.complete, before.complete);
    }

    // An empty array is a real answer: the server has no rows any more.
    server().route("GET", kInvoicesPath, LoopbackResponse::json("[]"));
    clock_->advance(3600);
    auto empty = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->error());
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_TRUE(state().ids.empty());
}

TEST_F(ManagerCacheSafety, ASingleItemAnsweredWithAnArrayIsAnError) {
    server().route("GET", kCustomerDetailPath, LoopbackResponse::json("[{\"CustomerId\": 3}]"));
    auto result = loadAndWait(customerDetail(Type::First, 3))->onlyResult();
    ASSERT_TRUE(result && result->error());
    EXPECT_EQ(result->error()->code(), ZQJSONErrorShape);
    EXPECT_NE(result->error()->localizedDescription().find("object"), std::string::npos);
}

// Another process holding the cache file: an exclusive lock and an open write transaction,
// until the test lets go (closes the holder's standard input).
class FileHolder {
  public:
    explicit FileHolder(const std::string& path) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            ::execl(ZQ_SQLITE_FILE_HOLDER, ZQ_SQLITE_FILE_HOLDER, path.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        releaseFd_ = toChild[1];
        char answer[8] = {};
        held_ = ::read(fromChild[0], answer, 5) == 5 && std::string(answer, 5) == "held\n";
        ::close(fromChild[0]);
    }
    ~FileHolder() { let(); }
    bool held() const { return held_; }
    void let() {
        if (releaseFd_ >= 0) ::close(releaseFd_);
        releaseFd_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool held_ = false;
};

TEST_F(ManagerCacheSafety, ACacheFileBusyInAnotherProcessFailsTheQueryKeepsTheRowsAndOpensLater) {
    invoiceRows_->setRowCount(4);
    ASSERT_FALSE(loadAndWait(invoices(Type::First, 0))->onlyCollectionResult()->error());
    const std::string path = ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(model_);
    ASSERT_TRUE(fs::exists(path));

    restartOverTheSameFiles();

    platform::SQLiteConnection::setBusyTimeout(std::chrono::milliseconds(300));
    {
        FileHolder holder(path);
        ASSERT_TRUE(holder.held());
        auto one = std::make_shared<RecordingManagerDelegate>();
        auto two = std::make_shared<RecordingManagerDelegate>();
        manager_->load(invoices(Type::Local, 0), one);
        // The query's thread never opens the cache (it could wait for the busy file there).
        EXPECT_EQ(ZQModel_ZQCoreDataCache::existingPersistentStoreCoordinator(model_), nullptr);
        manager_->load(invoices(Type::Local, 0), two);
        ASSERT_TRUE(one->waitForCount(1) && two->waitForCount(1));
        ASSERT_TRUE(waitUntilIdle());
        for (const auto& delegate : {one, two}) {
            auto result = delegate->onlyCollectionResult();
            ASSERT_TRUE(result);
            ASSERT_TRUE(result->error()) << "a busy cache answered as if it held no rows";
            EXPECT_EQ(result->error()->code(), platform::errc::kStoreOpen);
        }
        EXPECT_TRUE(fs::exists(path));
    }
    platform::SQLiteConnection::setBusyTimeout(std::chrono::seconds(30));

    // The holder let go: the next query opens the same file and finds every row.
    auto local = loadAndWait(invoices(Type::Local, 0))->onlyCollectionResult();
    ASSERT_TRUE(local);
    EXPECT_FALSE(local->error()) << local->error()->description();
    EXPECT_EQ(rowIds(*local), (std::vector<int64_t>{1, 2, 3, 4}));
}

}  // namespace
