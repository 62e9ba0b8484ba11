// A fresh temporary folder, removed with everything in it when the object goes. Owned by one test.
#pragma once

#include <filesystem>
#include <string>

namespace zqtest {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace zqtest
