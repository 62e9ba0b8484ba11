#include "tests/support/SourceTree.hpp"

// Only this file carries the absolute path (a compile definition), so that ccache still shares
// every other object between clones in different folders.
namespace zqtest {

std::filesystem::path sourceRoot() {
    return std::filesystem::path(ZQ_SOURCE_ROOT);
}

}  // namespace zqtest
