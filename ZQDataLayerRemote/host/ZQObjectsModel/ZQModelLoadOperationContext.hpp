// What one model load shares between its load operations: the application being loaded, its
// application model (once read), the model objects the operations produce and the load's error
// (the first one set wins). Load operations of several extensions use it at once from the load
// queue's threads; mutex_ (the context's lock) guards the error and the model objects.
#pragma once

#include <memory>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Error.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

class ZQModelLoadOperationContext {
  public:
    ZQModelLoadOperationContext(std::shared_ptr<const ZQApplication> applicationToLoad,
                                std::shared_ptr<const ZQApplicationModel> applicationModel)
        : applicationToLoad_(std::move(applicationToLoad)),
          applicationModel_(std::move(applicationModel)) {}

    const std::shared_ptr<const ZQApplication>& applicationToLoad() const {
        return applicationToLoad_;
    }
    // None when the application model could not be read.
    const std::shared_ptr<const ZQApplicationModel>& applicationModel() const {
        return applicationModel_;
    }

    platform::ErrorPtr error() const EXCLUDES(mutex_);
    // Replaces any earlier error.
    void setError(platform::ErrorPtr error) EXCLUDES(mutex_);
    // Sets the error only when none is set yet, atomically; true when it was set.
    bool setErrorIfNone(platform::ErrorPtr error) EXCLUDES(mutex_);

    platform::Value modelObjectForKey(std::string_view key) const EXCLUDES(mutex_);
    void setModelObject(platform::Value object, std::string key) EXCLUDES(mutex_);
    platform::Dictionary modelObjects() const EXCLUDES(mutex_);

  private:
    const std::shared_ptr<const ZQApplication> applicationToLoad_;
    const std::shared_ptr<const ZQApplicationModel> applicationModel_;
    mutable platform::Mutex mutex_;
    platform::ErrorPtr error_ GUARDED_BY(mutex_);
    platform::Dictionary modelObjects_ GUARDED_BY(mutex_);
};
