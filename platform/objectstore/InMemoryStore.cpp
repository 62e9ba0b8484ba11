#include "platform/objectstore/InMemoryStore.hpp"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "platform/objectstore/SQLiteConnection.hpp"

namespace platform {

namespace {

std::atomic<uint64_t> nextFile{1};

std::string newFile() {
    std::error_code ec;
    std::filesystem::path folder = "/dev/shm";
    if (!std::filesystem::is_directory(folder, ec) || access(folder.c_str(), W_OK) != 0) {
        folder = std::filesystem::temp_directory_path(ec);
    }
    return (folder / ("zq-memory-store-" + std::to_string(getpid()) + "-" +
                      std::to_string(nextFile.fetch_add(1)) + ".sqlite"))
        .string();
}

}  // namespace

std::shared_ptr<PersistentStore> InMemoryStore::open(
    std::shared_ptr<const ManagedObjectModel> model, const std::string& configuration,
    ErrorPtr& error) {
    auto store = std::make_shared<InMemoryStore>(std::move(model), configuration, newFile());
    store->removeFiles();  // a leftover of an earlier process with the same number
    error = store->openFile();
    return error ? nullptr : store;
}

InMemoryStore::InMemoryStore(std::shared_ptr<const ManagedObjectModel> model,
                             std::string configuration, std::string file)
    : SQLiteStore(StoreType::InMemory, std::move(model), std::move(configuration), "", file),
      file_(std::move(file)) {}

InMemoryStore::~InMemoryStore() {
    closeConnections();
    removeFiles();
}

void InMemoryStore::configure(SQLiteConnection& connection, bool writer) {
    SQLiteStore::configure(connection, writer);
    // Nothing is kept across the store's life, so nothing is synced.
    connection.exec("PRAGMA synchronous=OFF");
}

void InMemoryStore::removeFiles() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::filesystem::remove(file_ + suffix, ignored);
    }
}

}  // namespace platform
