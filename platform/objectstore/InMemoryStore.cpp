#include "platform/objectstore/InMemoryStore.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"
#include "platform/objectstore/SQLiteConnection.hpp"

namespace platform {

namespace {

constexpr std::string_view kFilePrefix = "zq-memory-store-";
const char* const kSuffixes[] = {"", "-wal", "-shm", "-journal"};

std::atomic<uint64_t> nextFile{1};

void removeFileSet(const std::string& file) {
    std::error_code ignored;
    for (const char* suffix : kSuffixes) std::filesystem::remove(file + suffix, ignored);
}

// The files of the stores alive in this process. A store kept until exit (the cache of the
// current model) is never destroyed, so its files go at exit instead; a process that is killed
// leaves them, and the next process removes them (removeFilesOfEndedProcesses).
class LiveFiles {
  public:
    static LiveFiles& shared() {
        // Never destroyed: the exit handler may run after static destructors have started.
        static Immortal<LiveFiles> files;
        static std::once_flag registered;
        std::call_once(registered, [] { std::atexit([] { LiveFiles::shared().removeAll(); }); });
        return files.get();
    }
    void add(const std::string& file) EXCLUDES(mutex_) {
        MutexLock lock(mutex_);
        files_.insert(file);
    }
    void remove(const std::string& file) EXCLUDES(mutex_) {
        MutexLock lock(mutex_);
        files_.erase(file);
    }

  private:
    void removeAll() EXCLUDES(mutex_) {
        MutexLock lock(mutex_);
        for (const auto& file : files_) removeFileSet(file);
        files_.clear();
    }
    Mutex mutex_;
    std::set<std::string> files_ GUARDED_BY(mutex_);
};

bool processIsGone(long pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// zq-memory-store-<pid>-<n>.sqlite[-wal|-shm|-journal] of processes that no longer run.
void removeFilesOfEndedProcesses(const std::filesystem::path& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, kFilePrefix.size(), kFilePrefix) != 0) continue;
        char* rest = nullptr;
        const long pid = std::strtol(name.c_str() + kFilePrefix.size(), &rest, 10);
        if (!rest || *rest != '-' || !processIsGone(pid)) continue;
        std::error_code ignored;
        std::filesystem::remove(it->path(), ignored);
    }
}

std::string newFile() {
    std::error_code ec;
    std::filesystem::path folder = "/dev/shm";
    if (!std::filesystem::is_directory(folder, ec) || access(folder.c_str(), W_OK) != 0) {
        folder = std::filesystem::temp_directory_path(ec);
    }
    removeFilesOfEndedProcesses(folder);  // a listing of one folder, once per store
    return (folder / (std::string(kFilePrefix) + std::to_string(getpid()) + "-" +
                      std::to_string(nextFile.fetch_add(1)) + ".sqlite"))
        .string();
}

}  // namespace

std::shared_ptr<PersistentStore> InMemoryStore::open(
    std::shared_ptr<const ManagedObjectModel> model, const std::string& configuration,
    ErrorPtr& error) {
    auto store = std::make_shared<InMemoryStore>(std::move(model), configuration, newFile());
    store->removeFiles();  // a leftover of an earlier process with the same number
    LiveFiles::shared().add(store->file_);
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
    LiveFiles::shared().remove(file_);
}

void InMemoryStore::configure(SQLiteConnection& connection, bool writer) {
    SQLiteStore::configure(connection, writer);
    // Nothing is kept across the store's life, so nothing is synced.
    connection.exec("PRAGMA synchronous=OFF");
}

void InMemoryStore::removeFiles() {
    removeFileSet(file_);
}

}  // namespace platform
