// Base of the operations that entity data managers run for a data source (cache reads and
// writes): the data source, and the finishing operations every subclass ends with. A subclass
// overrides onFinishWithError to tell its delegate; the helpers route through it. The operation
// runs on its queue's thread; mutex_ guards the recorded error, which other threads may read once
// it has finished.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"

class ZQEntityDataManagerInternalBaseOperation : public platform::Operation {
  public:
    explicit ZQEntityDataManagerInternalBaseOperation(
        std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource)
        : dataSource_(std::move(dataSource)) {}

    const std::shared_ptr<const ZQEntityDataSourceDescriptor>& dataSource() const {
        return dataSource_;
    }

    // The error the operation finished with (the first, when it finished more than once); none
    // before it finished and after a success.
    platform::ErrorPtr error() const EXCLUDES(mutex_);
    // Whether one of the finishing operations has run.
    bool hasFinishedWithResult() const EXCLUDES(mutex_);

  protected:
    // Each ends the operation through onFinishWithError: with no error, with the host's default
    // error, and with the given error or the default error when none is given.
    void onFinishWithSuccess();
    void onFinishWithDefaultError();
    void onFinishWithDefaultErrorIfNil(platform::ErrorPtr error);

    // The hook: records the error (the first one wins) and, for an asynchronous operation,
    // finishes it. Overrides tell their delegate and call this base version.
    virtual void onFinishWithError(platform::ErrorPtr error) EXCLUDES(mutex_);

  private:
    void finishWith(platform::ErrorPtr error);

    const std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource_;
    mutable platform::Mutex mutex_;
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
    bool finishedWithResult_ GUARDED_BY(mutex_) = false;
};
