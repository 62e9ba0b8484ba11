#include "ZQDataLayerRemote/host/ZQFoundation/ZQTryBlock.hpp"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <typeinfo>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"

namespace {

std::string demangle(const char* mangled) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

std::vector<std::string> currentCallStack() {
    void* frames[64];
    int count = backtrace(frames, 64);
    std::unique_ptr<char*, decltype(&std::free)> symbols(backtrace_symbols(frames, count),
                                                         &std::free);
    std::vector<std::string> out;
    if (!symbols) return out;
    // The first two frames are this function and the guard.
    for (int i = 2; i < count; ++i) out.emplace_back(symbols.get()[i]);
    return out;
}

ZQException makeException(std::string name, std::string reason) {
    ZQException caught;
    caught.name = std::move(name);
    caught.reason = std::move(reason);
    caught.callStackSymbols = currentCallStack();
    caught.error = platform::Error::create(
        ZQErrorDomain, ZQErrorCodeException, caught.reason,
        platform::Dictionary{{ZQExceptionNameErrorKey, platform::Value(caught.name)}});
    return caught;
}

}  // namespace

std::string ZQException::description() const {
    return name + ": " + reason;
}

void zqTryBlock(const std::function<void()>& tryBlock,
                const std::function<void(const ZQException&)>& catchBlock) {
    std::optional<ZQException> caught;
    try {
        if (tryBlock) tryBlock();
        return;
    } catch (const std::exception& e) {
        caught = makeException(demangle(typeid(e).name()), e.what());
    } catch (...) {
        std::type_info* type = abi::__cxa_current_exception_type();
        caught = makeException(type ? demangle(type->name()) : std::string("unknown"),
                               "an exception that is not a std::exception");
    }
    // Outside the handler, so that the catch block may throw or rethrow its own exceptions freely.
    if (catchBlock) catchBlock(*caught);
}
