// The file system under the cache: the caches folder and the store files in it. The
// process-wide instance is the real file system unless a test installs another (a
// fault-injecting one) before the cache opens its files. Any thread; instances hold no state of
// their own beyond what their subclass guards.
#pragma once

#include <filesystem>
#include <memory>
#include <system_error>

namespace platform {

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The process-wide file system; never null.
    static std::shared_ptr<FileSystem> current();
    // Replaces it; null restores the real file system. Stores already open keep the SQLite VFS
    // they were opened with.
    static void setCurrent(std::shared_ptr<FileSystem> fileSystem);

    // Makes the folder and its parents; no error when it is there.
    [[nodiscard]] virtual std::error_code createDirectories(const std::filesystem::path& path);
    // True for a file, folder or link (even a dangling one) at the path.
    virtual bool exists(const std::filesystem::path& path);
    // No error when nothing is there.
    [[nodiscard]] virtual std::error_code remove(const std::filesystem::path& path);
    // Overwrites the target.
    [[nodiscard]] virtual std::error_code copyFile(const std::filesystem::path& from,
                                                   const std::filesystem::path& to);
    // True when files may be made and removed in the folder.
    virtual bool isWritableDirectory(const std::filesystem::path& path);
    // The SQLite VFS the store files are opened through; null for SQLite's default.
    virtual const char* sqliteVFSName() const { return nullptr; }
};

}  // namespace platform
