// A serial dispatch queue on the worker pool: blocks run one at a time in the order posted.
// Thread-safe; shared by whoever posts to it. Owns no thread; blocks still in line when the
// queue object goes still run.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class SerialQueue : public std::enable_shared_from_this<SerialQueue> {
  public:
    [[nodiscard]] static std::shared_ptr<SerialQueue> create(std::string label);
    virtual ~SerialQueue();

    const std::string& label() const;
    void async(std::function<void()> block);
    // Runs the block on the calling thread once every block posted before it has run, with the
    // queue held for it. Called from a block of this very queue it runs inline instead of
    // deadlocking.
    void sync(const std::function<void()>& block);
    // True on a thread that is running a block of this queue.
    bool isCurrent() const;

    struct Private;
    explicit SerialQueue(std::shared_ptr<Private> p);

  private:
    std::shared_ptr<Private> p_;
};

}  // namespace platform
