// Where the repository's own files are, for tests that read the sample application or other files
// checked in beside the tests. Free function; any thread.
#pragma once

#include <filesystem>

namespace zqtest {

// The repository's root folder, as CMake saw it (absolute, whatever folder the test runs in).
std::filesystem::path sourceRoot();

}  // namespace zqtest
