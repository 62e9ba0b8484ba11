// Named notifications delivered synchronously to registered blocks. A center is usually the
// process-wide defaultCenter(); any thread adds, removes and posts. The center's registry lock
// guards the observer list and the record of blocks running; it is never held while a block runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Value.hpp"

namespace platform {

namespace detail {
struct NotificationRegistry;
}

// One posted notification: a name, the object that sent it (compared by address only, may be
// null) and user information. Immutable; shared by every observer of one post.
class Notification {
  public:
    Notification(std::string name, const void* sender, Dictionary userInfo)
        : name_(std::move(name)), sender_(sender), userInfo_(std::move(userInfo)) {}

    const std::string& name() const { return name_; }
    const void* sender() const { return sender_; }
    const Dictionary& userInfo() const { return userInfo_; }
    // "Notification name=<name> sender=<address or null> userInfo={...}"
    std::string description() const;

  private:
    std::string name_;
    const void* sender_;
    Dictionary userInfo_;
};

// The registration of one observer block. Move-only; destroying or resetting it removes the
// observer. It may outlive its center (removal then does nothing). Owned by one thread at a time.
class ObserverToken {
  public:
    ObserverToken() = default;
    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ~ObserverToken();

    // Removes the observer. Once this returns, the block is not started again, and no call of
    // it is still running on another thread, with one exception: two threads that each remove the
    // other's running observer from inside a block do not wait for each other (that would never
    // end). A call running on the current thread (removal from inside the block) goes on.
    // Do not hold a lock that the block takes while removing from outside the block.
    void reset();
    bool isActive() const { return id_ != 0; }

  private:
    friend class NotificationCenter;
    ObserverToken(std::weak_ptr<detail::NotificationRegistry> registry, uint64_t id)
        : registry_(std::move(registry)), id_(id) {}
    std::weak_ptr<detail::NotificationRegistry> registry_;
    uint64_t id_ = 0;
};

class NotificationCenter {
  public:
    using Block = std::function<void(const Notification&)>;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    // An empty name observes every notification; a null sender filter accepts any sender. The
    // block runs on the posting thread and may add or remove observers and post again.
    [[nodiscard]] ObserverToken addObserver(std::string name, const void* senderFilter,
                                            Block block);

    // Calls, in order of registration, the blocks registered when the post begins that match,
    // skipping any removed before its turn. Returns when all have run.
    void post(std::string name, const void* sender = nullptr, Dictionary userInfo = Dictionary());
    void post(const Notification& notification);

  private:
    std::shared_ptr<detail::NotificationRegistry> registry_;
};

}  // namespace platform
