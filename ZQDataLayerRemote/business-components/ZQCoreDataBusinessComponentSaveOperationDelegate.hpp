// The delegate protocol of ZQCoreDataBusinessComponentSaveOperation: both callbacks optional, on
// the operation's queue, at most one per operation and none once it is cancelled.
#pragma once

#include <memory>

#include "platform/Error.hpp"

class ZQCoreDataBusinessComponentSaveOperation;

class ZQCoreDataBusinessComponentSaveOperationDelegate {
  public:
    virtual ~ZQCoreDataBusinessComponentSaveOperationDelegate() = default;
    // The instance is saved and merged into the main context: businessComponentObjectID() holds
    // its root object's identifier.
    virtual void businessComponentSaveOperationDidSave(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation) {}
    // Nothing was saved; the error is of domain "zq", code 0.
    virtual void businessComponentSaveOperationDidFailWithError(
        const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation,
        const platform::ErrorPtr& error) {}
};
