// `zqdl demo`: a short tour of the data layer against the embedded sample server, in a fresh
// application root: a first load from the server, the same query answered by the fresh cache,
// the next page, a next page of a complete collection, a forced refresh answered 304, two
// identical queries sharing one request, and a local read. Each step prints the requests it
// caused (counted in the server's request log), the results and why, and checks what it
// expected. Main thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlQueryRunner.hpp"

namespace zqdl {

class ZqdlDemo {
  public:
    // 0 when every step went as expected, 1 otherwise.
    [[nodiscard]] static int run(const CommandLine& line);

  private:
    struct Step {
        const char* title;
        QueryOptions options;
        size_t queries = 1;
        size_t expectedRequests = 0;
        int expectedStatus = 0;  // of every request; 0: not checked
        bool expectUpToDate = false;
    };

    static std::vector<Step> tour();
    // Runs one step and prints it; false when it did not go as expected.
    static bool runStep(const ZqdlEnvironment& environment, const ZqdlProvider& provider,
                        const Step& step, int number, double timeoutSeconds);
    static void printDelivery(const ZqdlDelivery& delivery);
    static bool check(const Step& step, const ZqdlRunResult& run);
};

}  // namespace zqdl
