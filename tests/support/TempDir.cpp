#include "tests/support/TempDir.hpp"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace zqtest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zqtest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace zqtest
