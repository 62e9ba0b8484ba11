// The delegate protocol of ZQParseJsonOperation. Both callbacks are optional and run on the
// worker thread that parsed, before the operation is marked finished. Implementations test
// isCancelled() first and ignore a cancelled operation.
#pragma once

#include <memory>

class ZQParseJsonOperation;

class ZQParseJsonOperationDelegate {
  public:
    virtual ~ZQParseJsonOperationDelegate() = default;
    // Read parsedData() (absent for an empty body).
    virtual void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) {}
    // Read error().
    virtual void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) {}
};
