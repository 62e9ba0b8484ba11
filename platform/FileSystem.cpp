#include "platform/FileSystem.hpp"

#include <unistd.h>

#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace platform {

namespace fs = std::filesystem;

namespace {

// Never destroyed: workers may still open store files while the process exits.
struct Installed {
    Mutex mutex;
    const std::shared_ptr<FileSystem> real = std::make_shared<FileSystem>();
    std::shared_ptr<FileSystem> fileSystem GUARDED_BY(mutex) = real;
};

Installed& installed() {
    static Immortal<Installed> slot;
    return slot.get();
}

}  // namespace

std::shared_ptr<FileSystem> FileSystem::current() {
    Installed& slot = installed();
    MutexLock lock(slot.mutex);
    return slot.fileSystem;
}

void FileSystem::setCurrent(std::shared_ptr<FileSystem> fileSystem) {
    Installed& slot = installed();
    MutexLock lock(slot.mutex);
    slot.fileSystem = fileSystem ? std::move(fileSystem) : slot.real;
}

std::error_code FileSystem::createDirectories(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (!ec && !fs::is_directory(path, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    return ec;
}

bool FileSystem::exists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(fs::symlink_status(path, ec));
}

std::error_code FileSystem::remove(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return ec;
}

std::error_code FileSystem::copyFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return ec;
}

bool FileSystem::isWritableDirectory(const fs::path& path) {
    return ::access(path.empty() ? "." : path.c_str(), W_OK) == 0;
}

}  // namespace platform
