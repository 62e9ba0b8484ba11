// The host's exception guard: runs a block and turns any C++ exception that escapes it into a
// ZQException handed to a catch block, so that exceptions never cross a unit's edge. Stateless;
// any thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Error.hpp"

// What the guard caught. name is the exception's type ("std::runtime_error"), reason its what()
// text. callStackSymbols is the stack of the thread at the point the exception was caught (C++
// keeps no stack of the throw site), one frame per entry.
struct ZQException {
    std::string name;
    std::string reason;
    std::vector<std::string> callStackSymbols;
    // The exception as an error: ZQErrorDomain, ZQErrorCodeException, the reason as description
    // and the name under ZQExceptionNameErrorKey.
    platform::ErrorPtr error;

    // "<name>: <reason>"
    std::string description() const;
};

// Runs tryBlock; any exception it lets escape (std::exception or anything else) is caught and
// given to catchBlock on the same thread. An exception thrown by catchBlock itself is not caught.
void zqTryBlock(const std::function<void()>& tryBlock,
                const std::function<void(const ZQException&)>& catchBlock);
