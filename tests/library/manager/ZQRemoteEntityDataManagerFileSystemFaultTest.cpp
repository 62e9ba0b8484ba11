// What the cache does when its file system fails under it: a full disk during a save, I/O errors
// on reads, a read-only volume before the first use, and the store file removed while the app
// runs. Each gives the caller a result with an error, and what was saved before is there once
// the fault is gone (on the SQLite store and on the memory store, which keeps its file in
// shared memory through the same file system).
#include <gtest/gtest.h>

#include <filesystem>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "platform/DateFormat.hpp"
#include "tests/library/manager/ManagerTestSupport.hpp"
#include "tests/support/FaultInjectingFileSystem.hpp"

namespace {

namespace fs = std::filesystem;
using zqtest::FaultInjectingFileSystem;
using zqtest::rowIds;
using Type = ZQRemoteEntityDataQueryType;
using Ids = std::vector<int64_t>;

class ManagerFileSystemFaults : public zqtest::ManagerTest {
  protected:
    void SetUp() override {
        // Before the stores are made: they open their files through the installed VFS.
        scope_ = std::make_unique<FaultInjectingFileSystem::Scope>(
            std::make_shared<FaultInjectingFileSystem>());
        ManagerTest::SetUp();
    }
    void TearDown() override {
        FaultInjectingFileSystem::clearFaults();
        ManagerTest::TearDown();
        scope_.reset();
    }

    // The invoice list (SQLite store, cached) or the customer list (memory store).
    std::shared_ptr<ZQRemoteEntityDataQueryCollectionInfo> list(bool invoiceList,
                                                                ZQEntityDataQueryType type) {
        return invoiceList ? invoices(type, 0) : customers(type, 0);
    }
    zqtest::ServedRows& rows(bool invoiceList) {
        return invoiceList ? *invoiceRows_ : *customerRows_;
    }
    const char* idField(bool invoiceList) { return invoiceList ? "InvoiceId" : "CustomerId"; }
    // The rows the cache answers without the server (the customer list is not cached: a local
    // query of it finds nothing to keep).
    Ids cached(bool invoiceList) {
        if (!invoiceList) return {};
        auto result = loadAndWait(list(invoiceList, Type::Local))->onlyCollectionResult();
        if (!result || result->error()) return {-1};
        return rowIds(*result, idField(invoiceList));
    }
    // A server with more rows, newer, and a cache past its window: the next First asks again.
    void serverChanges(bool invoiceList, int64_t count) {
        rows(invoiceList).setRowCount(count);
        rows(invoiceList).setLastModified(platform::Date(1714521600.0));  // 2024-05-01
        clock_->advance(3600);
    }

    std::unique_ptr<FaultInjectingFileSystem::Scope> scope_;
};

Ids firstIds(int64_t n) {
    Ids ids;
    for (int64_t id = 1; id <= n; ++id) ids.push_back(id);
    return ids;
}

TEST_F(ManagerFileSystemFaults, AFullDiskFailsTheSaveAndKeepsWhatWasSaved) {
    struct Case {
        const char* name;
        bool invoiceList;
        void (*fault)(bool);
    };
    const Case cases[] = {
        {"disk full, SQLite store", true, &FaultInjectingFileSystem::setDiskFull},
        {"disk full, memory store", false, &FaultInjectingFileSystem::setDiskFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Cases share the store: each begins with a new answer of 5 rows.
        rows(c.invoiceList).setRowCount(5);
        rows(c.invoiceList).setLastModified(platform::Date(1704067200.0 + 86400.0 * (&c - cases)));
        clock_->advance(3600);
        auto first = loadAndWait(list(c.invoiceList, Type::First))->onlyCollectionResult();
        ASSERT_TRUE(first && !first->error());
        ASSERT_EQ(cached(c.invoiceList), c.invoiceList ? firstIds(5) : Ids{});

        serverChanges(c.invoiceList, 8);
        const int failuresBefore = FaultInjectingFileSystem::injectedFailures();
        c.fault(true);
        auto faulted = loadAndWait(list(c.invoiceList, Type::First))->onlyCollectionResult();
        c.fault(false);
        ASSERT_TRUE(faulted);
        EXPECT_TRUE(faulted->error()) << "the fault was reported as success";
        EXPECT_GT(FaultInjectingFileSystem::injectedFailures(), failuresBefore);
        ASSERT_TRUE(waitUntilIdle());
        EXPECT_EQ(cached(c.invoiceList), c.invoiceList ? firstIds(5) : Ids{});

        // Once the disk is sound again the next answer is saved.
        clock_->advance(3600);
        auto later = loadAndWait(list(c.invoiceList, Type::First))->onlyCollectionResult();
        ASSERT_TRUE(later && !later->error()) << later->error()->localizedDescription();
        EXPECT_EQ(rowIds(*later, idField(c.invoiceList)), firstIds(8));
        EXPECT_EQ(cached(c.invoiceList), c.invoiceList ? firstIds(8) : Ids{});
    }
}

// Rows once read stay in memory; the reads that reach the disk are those of an app that opens
// its cache again.
TEST_F(ManagerFileSystemFaults, ReadErrorsWhenTheAppOpensItsCacheAgainFailTheQueryAndLoseNothing) {
    invoiceRows_->setRowCount(5);
    ASSERT_FALSE(loadAndWait(invoices(Type::First, 0))->onlyCollectionResult()->error());
    restartOverTheSameFiles();
    const int failuresBefore = FaultInjectingFileSystem::injectedFailures();
    FaultInjectingFileSystem::setReadErrors(true);
    auto unread = loadAndWait(invoices(Type::Local, 0))->onlyCollectionResult();
    FaultInjectingFileSystem::setReadErrors(false);
    ASSERT_TRUE(unread);
    EXPECT_TRUE(unread->error()) << "a cache that cannot be read answered as if it held no rows";
    EXPECT_GT(FaultInjectingFileSystem::injectedFailures(), failuresBefore);
    ASSERT_TRUE(waitUntilIdle());

    restartOverTheSameFiles();
    EXPECT_EQ(cached(true), firstIds(5));
}

TEST_F(ManagerFileSystemFaults, AReadOnlyVolumeFailsTheFirstQueryUntilItCanBeWritten) {
    FaultInjectingFileSystem::setReadOnly(true);
    auto refused = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    FaultInjectingFileSystem::setReadOnly(false);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->error()) << "a cache that cannot be written was reported as saved";
    ASSERT_TRUE(waitUntilIdle());

    clock_->advance(3600);
    auto written = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(written && !written->error()) << written->error()->localizedDescription();
    EXPECT_EQ(cached(true), firstIds(100));
}

TEST_F(ManagerFileSystemFaults, AStoreFileRemovedUnderTheAppFailsTheNextSave) {
    invoiceRows_->setRowCount(5);
    auto first = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(first && !first->error());
    const std::string file = ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(model_);
    ASSERT_TRUE(fs::exists(file));
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);

    serverChanges(true, 8);
    auto lost = loadAndWait(invoices(Type::First, 0))->onlyCollectionResult();
    ASSERT_TRUE(lost);
    ASSERT_TRUE(lost->error()) << "rows saved into a removed file were reported as saved";
    EXPECT_NE(lost->error()->localizedDescription().find("removed"), std::string::npos)
        << lost->error()->localizedDescription();
}

}  // namespace
