// One pending request for authorisation, as returned by ZQSecurityService: the caller keeps it to
// recognise its completion and to cancel it. Its completion runs at most once; after cancel() it
// does not start. Any thread: the state is one atomic, and only the thread that wins the state
// touches the completion.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQAuthorizationRequest : public platform::Object {
  public:
    using Completion = std::function<void(bool success, platform::ErrorPtr error)>;

    explicit ZQAuthorizationRequest(Completion completion) : completion_(std::move(completion)) {}

    bool isCancelled() const { return state_.load() == kCancelled; }
    bool isCompleted() const { return state_.load() == kCompleted; }

    // Runs the completion on the calling thread unless the request was cancelled or completed
    // before; answers whether it ran.
    bool complete(bool success, platform::ErrorPtr error);
    // Keeps the completion from running; false when it had already started.
    bool cancel();

    std::string description() const override { return "authorization request"; }

  private:
    static constexpr int kPending = 0;
    static constexpr int kCompleted = 1;
    static constexpr int kCancelled = 2;
    std::atomic<int> state_{kPending};
    Completion completion_;
};
