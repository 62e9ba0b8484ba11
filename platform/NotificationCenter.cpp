#include "platform/NotificationCenter.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/Mutex.hpp"

namespace platform {

namespace detail {

struct NotificationObserver {
    uint64_t id;
    std::string name;
    const void* senderFilter;
    NotificationCenter::Block block;

    bool matches(const Notification& notification) const {
        return (name.empty() || name == notification.name()) &&
               (!senderFilter || senderFilter == notification.sender());
    }
};

// Observers are shared with the posts delivering to them, so that a block removed (and its
// captures released by the registry) while it runs stays alive until that call returns.
using ObserverPtr = std::shared_ptr<const NotificationObserver>;

struct NotificationRegistry {
    struct Call {
        uint64_t id;
        std::thread::id thread;
        bool operator==(const Call&) const = default;
    };

    Mutex mutex;
    CondVar callFinished;
    uint64_t nextId GUARDED_BY(mutex) = 1;
    // Sorted by id, which is the order of registration.
    std::vector<ObserverPtr> observers GUARDED_BY(mutex);
    // Block calls in progress, and the removals waiting for calls to finish: a thread waits for
    // at most one observer at a time.
    std::vector<Call> running GUARDED_BY(mutex);
    std::vector<Call> waiting GUARDED_BY(mutex);

    uint64_t add(std::string name, const void* senderFilter, NotificationCenter::Block block)
        EXCLUDES(mutex);
    void remove(uint64_t id) EXCLUDES(mutex);
    void post(const Notification& notification) EXCLUDES(mutex);

  private:
    bool isRegistered(uint64_t id) REQUIRES(mutex);
    bool runsElsewhere(uint64_t id, std::thread::id self) REQUIRES(mutex);
    bool waitsOn(std::thread::id thread, std::thread::id target, int depth) REQUIRES(mutex);
    bool waitingWouldDeadlock(uint64_t id, std::thread::id self) REQUIRES(mutex);
    void finishCall(const Call& call) EXCLUDES(mutex);
};

namespace {
bool idLess(const ObserverPtr& observer, uint64_t id) {
    return observer->id < id;
}
}  // namespace

uint64_t NotificationRegistry::add(std::string name, const void* senderFilter,
                                   NotificationCenter::Block block) {
    auto observer = std::make_shared<NotificationObserver>(
        NotificationObserver{0, std::move(name), senderFilter, std::move(block)});
    MutexLock lock(mutex);
    observer->id = nextId++;
    observers.push_back(std::move(observer));
    return observers.back()->id;
}

bool NotificationRegistry::isRegistered(uint64_t id) {
    auto it = std::lower_bound(observers.begin(), observers.end(), id, idLess);
    return it != observers.end() && (*it)->id == id;
}

bool NotificationRegistry::runsElsewhere(uint64_t id, std::thread::id self) {
    return std::any_of(running.begin(), running.end(),
                       [&](const Call& call) { return call.id == id && call.thread != self; });
}

// Whether `thread` is blocked, directly or through other waiting threads, on a call running on
// `target`.
bool NotificationRegistry::waitsOn(std::thread::id thread, std::thread::id target, int depth) {
    if (depth > 64) return true;  // more threads than that in one chain: assume the worst
    for (const Call& wait : waiting) {
        if (wait.thread != thread) continue;
        for (const Call& call : running) {
            if (call.id != wait.id || call.thread == thread) continue;
            if (call.thread == target || waitsOn(call.thread, target, depth + 1)) return true;
        }
    }
    return false;
}

bool NotificationRegistry::waitingWouldDeadlock(uint64_t id, std::thread::id self) {
    for (const Call& call : running) {
        if (call.id == id && call.thread != self && waitsOn(call.thread, self, 0)) return true;
    }
    return false;
}

void NotificationRegistry::remove(uint64_t id) {
    ObserverPtr removed;  // released after the lock: its block's captures may remove observers
    MutexLock lock(mutex);
    auto it = std::lower_bound(observers.begin(), observers.end(), id, idLess);
    if (it == observers.end() || (*it)->id != id) return;
    removed = std::move(*it);
    observers.erase(it);
    // A call on this thread is the caller itself; waiting for it would never end.
    const std::thread::id self = std::this_thread::get_id();
    while (runsElsewhere(id, self) && !waitingWouldDeadlock(id, self)) {
        waiting.push_back(Call{id, self});
        callFinished.wait(mutex);
        waiting.erase(std::find(waiting.begin(), waiting.end(), Call{id, self}));
    }
}

void NotificationRegistry::finishCall(const Call& call) {
    MutexLock lock(mutex);
    running.erase(std::find(running.begin(), running.end(), call));
    if (!waiting.empty()) callFinished.notifyAll();
}

void NotificationRegistry::post(const Notification& notification) {
    std::vector<ObserverPtr> matching;
    {
        MutexLock lock(mutex);
        for (const ObserverPtr& observer : observers) {
            if (observer->matches(notification)) matching.push_back(observer);
        }
    }
    const std::thread::id self = std::this_thread::get_id();
    for (const ObserverPtr& observer : matching) {
        const Call call{observer->id, self};
        {
            MutexLock lock(mutex);
            if (!isRegistered(call.id)) continue;  // removed since the post began
            running.push_back(call);
        }
        // Ends the call even when the block throws, so that no removal waits for it forever.
        struct Finish {
            NotificationRegistry* registry;
            const Call& call;
            ~Finish() { registry->finishCall(call); }
        } finish{this, call};
        if (observer->block) observer->block(notification);
    }
}

}  // namespace detail

std::string Notification::description() const {
    char sender[32];
    if (sender_) {
        std::snprintf(sender, sizeof sender, "%p", sender_);
    } else {
        std::snprintf(sender, sizeof sender, "null");
    }
    return "Notification name=" + name_ + " sender=" + sender +
           " userInfo=" + Value(userInfo_).description();
}

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : registry_(std::move(other.registry_)), id_(other.id_) {
    other.id_ = 0;
}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

ObserverToken::~ObserverToken() {
    reset();
}

void ObserverToken::reset() {
    uint64_t id = id_;
    id_ = 0;
    std::shared_ptr<detail::NotificationRegistry> registry = registry_.lock();
    registry_.reset();
    if (registry && id != 0) registry->remove(id);
}

NotificationCenter::NotificationCenter()
    : registry_(std::make_shared<detail::NotificationRegistry>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* senderFilter,
                                              Block block) {
    uint64_t id = registry_->add(std::move(name), senderFilter, std::move(block));
    return ObserverToken(registry_, id);
}

void NotificationCenter::post(std::string name, const void* sender, Dictionary userInfo) {
    registry_->post(Notification(std::move(name), sender, std::move(userInfo)));
}

void NotificationCenter::post(const Notification& notification) {
    registry_->post(notification);
}

}  // namespace platform
