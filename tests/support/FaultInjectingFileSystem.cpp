#include "tests/support/FaultInjectingFileSystem.hpp"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace zqtest {

namespace {

std::atomic<bool> diskFull{false};
std::atomic<bool> readErrors{false};
std::atomic<bool> readOnly{false};
std::atomic<int> failures{0};

bool failing(const std::atomic<bool>& fault) {
    if (!fault.load()) return false;
    failures.fetch_add(1);
    return true;
}

// A file of the wrapping VFS: the real file follows it in the same allocation.
struct FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* realOf(sqlite3_file* file) {
    return reinterpret_cast<FaultFile*>(file)->real;
}

sqlite3_vfs* realVFS() {
    static sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    return vfs;
}

int fileClose(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    real->pMethods = nullptr;
    return rc;
}
int fileRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    if (failing(readErrors)) return SQLITE_IOERR_READ;
    sqlite3_file* real = realOf(file);
    return real->pMethods->xRead(real, buffer, amount, offset);
}
int fileWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (failing(diskFull)) return SQLITE_FULL;
    if (failing(readOnly)) return SQLITE_READONLY;
    sqlite3_file* real = realOf(file);
    return real->pMethods->xWrite(real, buffer, amount, offset);
}
int fileTruncate(sqlite3_file* file, sqlite3_int64 size) {
    if (failing(readOnly)) return SQLITE_READONLY;
    sqlite3_file* real = realOf(file);
    return real->pMethods->xTruncate(real, size);
}
int fileSync(sqlite3_file* file, int flags) {
    if (failing(diskFull)) return SQLITE_FULL;
    sqlite3_file* real = realOf(file);
    return real->pMethods->xSync(real, flags);
}
int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xFileSize(real, size);
}
int fileLock(sqlite3_file* file, int level) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xLock(real, level);
}
int fileUnlock(sqlite3_file* file, int level) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xUnlock(real, level);
}
int fileCheckReservedLock(sqlite3_file* file, int* out) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xCheckReservedLock(real, out);
}
int fileControl(sqlite3_file* file, int op, void* arg) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xFileControl(real, op, arg);
}
int fileSectorSize(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xSectorSize(real);
}
int fileDeviceCharacteristics(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xDeviceCharacteristics(real);
}
int fileShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xShmMap(real, region, size, extend, out);
}
int fileShmLock(sqlite3_file* file, int offset, int n, int flags) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xShmLock(real, offset, n, flags);
}
void fileShmBarrier(sqlite3_file* file) {
    sqlite3_file* real = realOf(file);
    real->pMethods->xShmBarrier(real);
}
int fileShmUnmap(sqlite3_file* file, int deleteFlag) {
    sqlite3_file* real = realOf(file);
    return real->pMethods->xShmUnmap(real, deleteFlag);
}
// No memory-mapped reads: every read goes through fileRead, where the faults are.
int fileFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
    *out = nullptr;
    return SQLITE_OK;
}
int fileUnfetch(sqlite3_file*, sqlite3_int64, void*) {
    return SQLITE_OK;
}

const sqlite3_io_methods kFileMethods = {
    3,
    fileClose,
    fileRead,
    fileWrite,
    fileTruncate,
    fileSync,
    fileSize,
    fileLock,
    fileUnlock,
    fileCheckReservedLock,
    fileControl,
    fileSectorSize,
    fileDeviceCharacteristics,
    fileShmMap,
    fileShmLock,
    fileShmBarrier,
    fileShmUnmap,
    fileFetch,
    fileUnfetch,
};

int vfsOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<FaultFile*>(file);
    wrapper->base.pMethods = nullptr;
    wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    std::memset(wrapper->real, 0, static_cast<size_t>(realVFS()->szOsFile));
    if ((flags & (SQLITE_OPEN_CREATE | SQLITE_OPEN_READWRITE)) && failing(readOnly))
        return SQLITE_CANTOPEN;
    int rc = realVFS()->xOpen(realVFS(), name, wrapper->real, flags, outFlags);
    if (rc == SQLITE_OK && wrapper->real->pMethods) wrapper->base.pMethods = &kFileMethods;
    return rc;
}
int vfsDelete(sqlite3_vfs*, const char* name, int syncDir) {
    if (failing(readOnly)) return SQLITE_IOERR_DELETE;
    return realVFS()->xDelete(realVFS(), name, syncDir);
}
int vfsAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return realVFS()->xAccess(realVFS(), name, flags, out);
}
int vfsFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return realVFS()->xFullPathname(realVFS(), name, size, out);
}
void* vfsDlOpen(sqlite3_vfs*, const char* name) {
    return realVFS()->xDlOpen(realVFS(), name);
}
void vfsDlError(sqlite3_vfs*, int size, char* out) {
    realVFS()->xDlError(realVFS(), size, out);
}
void (*vfsDlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return realVFS()->xDlSym(realVFS(), handle, symbol);
}
void vfsDlClose(sqlite3_vfs*, void* handle) {
    realVFS()->xDlClose(realVFS(), handle);
}
int vfsRandomness(sqlite3_vfs*, int size, char* out) {
    return realVFS()->xRandomness(realVFS(), size, out);
}
int vfsSleep(sqlite3_vfs*, int microseconds) {
    return realVFS()->xSleep(realVFS(), microseconds);
}
int vfsCurrentTime(sqlite3_vfs*, double* out) {
    return realVFS()->xCurrentTime(realVFS(), out);
}
int vfsGetLastError(sqlite3_vfs*, int size, char* out) {
    return realVFS()->xGetLastError(realVFS(), size, out);
}
int vfsCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return realVFS()->xCurrentTimeInt64(realVFS(), out);
}

void registerVFS() {
    static std::once_flag once;
    std::call_once(once, [] {
        static sqlite3_vfs vfs = {};
        vfs.iVersion = 2;
        vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + realVFS()->szOsFile;
        vfs.mxPathname = realVFS()->mxPathname;
        vfs.zName = FaultInjectingFileSystem::kVFSName;
        vfs.xOpen = vfsOpen;
        vfs.xDelete = vfsDelete;
        vfs.xAccess = vfsAccess;
        vfs.xFullPathname = vfsFullPathname;
        vfs.xDlOpen = vfsDlOpen;
        vfs.xDlError = vfsDlError;
        vfs.xDlSym = vfsDlSym;
        vfs.xDlClose = vfsDlClose;
        vfs.xRandomness = vfsRandomness;
        vfs.xSleep = vfsSleep;
        vfs.xCurrentTime = vfsCurrentTime;
        vfs.xGetLastError = vfsGetLastError;
        vfs.xCurrentTimeInt64 = vfsCurrentTimeInt64;
        sqlite3_vfs_register(&vfs, 0);
    });
}

}  // namespace

FaultInjectingFileSystem::FaultInjectingFileSystem() {
    registerVFS();
}

void FaultInjectingFileSystem::setDiskFull(bool on) {
    diskFull.store(on);
}
void FaultInjectingFileSystem::setReadErrors(bool on) {
    readErrors.store(on);
}
void FaultInjectingFileSystem::setReadOnly(bool on) {
    readOnly.store(on);
}
void FaultInjectingFileSystem::clearFaults() {
    setDiskFull(false);
    setReadErrors(false);
    setReadOnly(false);
}
int FaultInjectingFileSystem::injectedFailures() {
    return failures.load();
}

std::error_code FaultInjectingFileSystem::createDirectories(const std::filesystem::path& path) {
    if (failing(readOnly)) return std::make_error_code(std::errc::read_only_file_system);
    if (failing(diskFull)) return std::make_error_code(std::errc::no_space_on_device);
    return FileSystem::createDirectories(path);
}

std::error_code FaultInjectingFileSystem::remove(const std::filesystem::path& path) {
    if (failing(readOnly)) return std::make_error_code(std::errc::read_only_file_system);
    return FileSystem::remove(path);
}

std::error_code FaultInjectingFileSystem::copyFile(const std::filesystem::path& from,
                                                   const std::filesystem::path& to) {
    if (failing(readOnly)) return std::make_error_code(std::errc::read_only_file_system);
    if (failing(diskFull)) return std::make_error_code(std::errc::no_space_on_device);
    return FileSystem::copyFile(from, to);
}

bool FaultInjectingFileSystem::isWritableDirectory(const std::filesystem::path& path) {
    if (failing(readOnly)) return false;
    return FileSystem::isWritableDirectory(path);
}

FaultInjectingFileSystem::Scope::Scope(std::shared_ptr<FaultInjectingFileSystem> fileSystem)
    : previous_(platform::FileSystem::current()) {
    platform::FileSystem::setCurrent(std::move(fileSystem));
}

FaultInjectingFileSystem::Scope::~Scope() {
    clearFaults();
    platform::FileSystem::setCurrent(previous_);
}

}  // namespace zqtest
