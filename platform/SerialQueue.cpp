#include "platform/SerialQueue.hpp"

#include <deque>
#include <optional>

#include "platform/Mutex.hpp"
#include "platform/WorkerPool.hpp"

namespace platform {

namespace {

// After this many blocks in a row a queue goes to the back of the pool's line, so that one busy
// queue does not keep a worker from every other queue.
constexpr int kBlocksPerTurn = 64;

// The queues the calling thread holds right now, innermost first (a block of one queue may
// sync onto another).
struct HeldQueue {
    const SerialQueue::Private* queue;
    const HeldQueue* outer;
};
thread_local const HeldQueue* tlsHeld = nullptr;

class HoldScope {
  public:
    explicit HoldScope(const SerialQueue::Private* queue) : held_{queue, tlsHeld} {
        tlsHeld = &held_;
    }
    ~HoldScope() { tlsHeld = held_.outer; }
    HoldScope(const HoldScope&) = delete;
    HoldScope& operator=(const HoldScope&) = delete;

  private:
    HeldQueue held_;
};

}  // namespace

// One queue's line of blocks. The queue is "owned" by at most one thread at a time: a pool
// task draining async blocks, or a thread inside sync(). Ownership passes down the line in
// order; the mutex guards the line and the owned flag.
struct SerialQueue::Private : std::enable_shared_from_this<SerialQueue::Private> {
    // A thread waiting in sync() for its turn; lives on that thread's stack.
    struct Waiter {
        CondVar cv;
        bool go = false;  // guarded by the queue's mutex
    };
    struct Item {
        std::function<void()> block;
        Waiter* waiter = nullptr;
    };

    explicit Private(std::string l) : label(std::move(l)) {}

    const std::string label;
    Mutex mutex;
    std::deque<Item> items GUARDED_BY(mutex);
    bool owned GUARDED_BY(mutex) = false;

    // Called by the owner when it is done: hands the queue to the next in line, if any.
    void passOnLocked() REQUIRES(mutex) {
        if (items.empty()) {
            owned = false;
        } else if (Waiter* waiter = items.front().waiter) {
            items.pop_front();
            waiter->go = true;
            waiter->cv.notifyOne();
        } else {
            WorkerPool::submit([self = shared_from_this()] { self->drain(); });
        }
    }

    void drain() EXCLUDES(mutex) {
        HoldScope hold(this);
        mutex.lock();
        for (int n = 0; n < kBlocksPerTurn && !items.empty() && !items.front().waiter; ++n) {
            std::function<void()> block = std::move(items.front().block);
            items.pop_front();
            mutex.unlock();
            block();
            block = nullptr;
            mutex.lock();
        }
        passOnLocked();
        mutex.unlock();
    }
};

std::shared_ptr<SerialQueue> SerialQueue::create(std::string label) {
    return std::make_shared<SerialQueue>(std::make_shared<Private>(std::move(label)));
}

SerialQueue::SerialQueue(std::shared_ptr<Private> p) : p_(std::move(p)) {}

// Blocks still in line run after the queue's object is gone: the pool task holds the line.
SerialQueue::~SerialQueue() = default;

const std::string& SerialQueue::label() const {
    return p_->label;
}

void SerialQueue::async(std::function<void()> block) {
    MutexLock lock(p_->mutex);
    p_->items.push_back({std::move(block), nullptr});
    if (!p_->owned) {
        p_->owned = true;
        p_->passOnLocked();
    }
}

void SerialQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    Private& q = *p_;
    Private::Waiter waiter;
    bool wait = false;
    {
        MutexLock lock(q.mutex);
        if (q.owned) {
            q.items.push_back({nullptr, &waiter});
            wait = true;
        } else {
            q.owned = true;
        }
    }
    if (wait) {
        // Our turn comes when the blocks before us have run; the owner hands the queue over.
        WorkerPool::BlockingScope blocking;
        MutexLock lock(q.mutex);
        while (!waiter.go) waiter.cv.wait(q.mutex);
    }
    // Gives the queue back even if the block throws.
    struct PassOn {
        Private& q;
        ~PassOn() {
            MutexLock lock(q.mutex);
            q.passOnLocked();
        }
    } passOn{q};
    HoldScope hold(p_.get());
    block();
}

bool SerialQueue::isCurrent() const {
    for (const HeldQueue* h = tlsHeld; h; h = h->outer) {
        if (h->queue == p_.get()) return true;
    }
    return false;
}

}  // namespace platform
