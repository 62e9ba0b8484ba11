// A file system that fails on demand, for the cache's fault tests: the real one underneath, with
// a SQLite VFS wrapped around SQLite's default one so that the store files fail too. Faults:
// a full disk (writes, truncations and new folders fail), I/O errors on reads, a read-only
// volume (nothing may be made, written or removed). Installed with Scope before the cache opens
// its files; the fault flags are process-wide atomics, read by any thread the store writes or
// reads on.
#pragma once

#include <memory>

#include "platform/FileSystem.hpp"

namespace zqtest {

class FaultInjectingFileSystem : public platform::FileSystem {
  public:
    static constexpr const char* kVFSName = "zq-fault-injecting";

    FaultInjectingFileSystem();

    // The faults are the process's (the VFS is registered once and outlives any one instance).
    static void setDiskFull(bool on);
    static void setReadErrors(bool on);
    static void setReadOnly(bool on);
    static void clearFaults();
    // Calls failed by a fault so far.
    static int injectedFailures();

    std::error_code createDirectories(const std::filesystem::path& path) override;
    std::error_code remove(const std::filesystem::path& path) override;
    std::error_code copyFile(const std::filesystem::path& from,
                             const std::filesystem::path& to) override;
    bool isWritableDirectory(const std::filesystem::path& path) override;
    const char* sqliteVFSName() const override { return kVFSName; }

    // Installs the file system for its lifetime (the store files opened meanwhile use its VFS).
    class Scope {
      public:
        explicit Scope(std::shared_ptr<FaultInjectingFileSystem> fileSystem);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        std::shared_ptr<platform::FileSystem> previous_;
    };
};

}  // namespace zqtest
