#include "tools/zqdl/ZqdlScratchFolder.hpp"

#include <stdlib.h>

#include <system_error>
#include <vector>

namespace zqdl {

ZqdlScratchFolder::ZqdlScratchFolder(const std::string& prefix) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data())) path_ = buffer.data();
}

ZqdlScratchFolder::~ZqdlScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace zqdl
