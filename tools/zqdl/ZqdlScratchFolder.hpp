// A new, empty folder under the system's temporary folder, removed with everything in it when
// the object goes (the demo's application root, so that every tour starts with an empty cache).
// Owned by one scope; one thread.
#pragma once

#include <filesystem>
#include <string>

namespace zqdl {

class ZqdlScratchFolder {
  public:
    // An empty path() when no folder could be made.
    explicit ZqdlScratchFolder(const std::string& prefix);
    ~ZqdlScratchFolder();
    ZqdlScratchFolder(const ZqdlScratchFolder&) = delete;
    ZqdlScratchFolder& operator=(const ZqdlScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace zqdl
