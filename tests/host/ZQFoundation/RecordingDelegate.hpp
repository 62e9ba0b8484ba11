// A delegate for the request pipeline's tests: records every callback (with the thread it came
// on) and signals an event when the chain has reported. Callbacks arrive on worker threads; the
// mutex guards the record.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Mutex.hpp"
#include "tests/support/MainLoopHelpers.hpp"

namespace zqtest {

class RecordingDelegate : public ZQURLRequestOperationDelegate,
                          public ZQParseJsonOperationDelegate {
  public:
    struct Call {
        std::string name;
        std::shared_ptr<platform::Operation> operation;
        std::thread::id thread;
    };

    void urlRequestOperationDidFinishLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override {
        record("didFinishLoading", operation);
        if (finishAfterLoading) done.signal();
    }
    void urlRequestOperationDidFailLoading(
        const std::shared_ptr<ZQURLRequestOperation>& operation) override {
        record("didFailLoading", operation);
        done.signal();
    }
    void parseJsonOperationDidFinishParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override {
        record("didFinishParsing", operation);
        done.signal();
    }
    void parseJsonOperationDidFailParsing(
        const std::shared_ptr<ZQParseJsonOperation>& operation) override {
        record("didFailParsing", operation);
        done.signal();
    }

    std::vector<Call> calls() const {
        platform::MutexLock lock(mutex_);
        return calls_;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Call& call : calls()) out.push_back(call.name);
        return out;
    }

    // Signal after the request callback (chains without a parse step).
    bool finishAfterLoading = false;
    Event done;

  private:
    void record(const char* name, std::shared_ptr<platform::Operation> operation) {
        platform::MutexLock lock(mutex_);
        calls_.push_back(Call{name, std::move(operation), std::this_thread::get_id()});
    }
    mutable platform::Mutex mutex_;
    std::vector<Call> calls_ GUARDED_BY(mutex_);
};

}  // namespace zqtest
