// The cache write-through of one business-component instance as the server returned it: finds or
// creates the cached root object (by its key values) and the objects of every child-level line,
// stores the field values, deletes the lines the reply no longer holds, saves its private context
// and merges the save into the main context before the delegate hears of it. Made by a handler,
// fed by its data setters and run once on the handler's queue; mutex_ guards the fields, which the
// handler's thread, the setters and the run touch. Key-value keys: "parsedBusinessComponentData",
// "businessComponentObjectID" (read-only).
#pragma once

#include <memory>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperationDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"
#include "platform/KeyValueCoding.hpp"
#include "platform/Mutex.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/Operation.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

class ZQCoreDataBusinessComponentSaveOperation : public platform::Operation,
                                                 public platform::KeyValueCoding {
  public:
    // The error domain of every failure (code 0).
    static constexpr const char* kErrorDomain = "zq";

    [[nodiscard]] static std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation> create();
    ZQCoreDataBusinessComponentSaveOperation();

    std::shared_ptr<const ZQBusinessComponentModel> businessComponentModel() const EXCLUDES(mutex_);
    void setBusinessComponentModel(std::shared_ptr<const ZQBusinessComponentModel> model)
        EXCLUDES(mutex_);
    void setPersistentStoreCoordinator(std::shared_ptr<platform::PersistentStoreCoordinator> psc)
        EXCLUDES(mutex_);
    void setDelegate(std::weak_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate> delegate)
        EXCLUDES(mutex_);

    platform::Value parsedBusinessComponentData() const EXCLUDES(mutex_);
    void setParsedBusinessComponentData(platform::Value data) EXCLUDES(mutex_);
    // The cached root object's identifier after a successful run; none otherwise.
    platform::ManagedObjectIDPtr businessComponentObjectID() const EXCLUDES(mutex_);

    // Fails (domain "zq", code 0, nothing saved) without a model, coordinator or cache entity, for
    // parsed data that is not a JSON object or a line that is not one, for a root without a value
    // for every key attribute (it would name an arbitrary cached instance), and when the save
    // fails.
    void main() override EXCLUDES(mutex_);

    // The did-save handler: merges the save into the current model's main context on the main
    // thread, and waits for it.
    void notify(const platform::Notification& notification);

  private:
    static std::span<const Key> keyTable();
    void fail();

    mutable platform::Mutex mutex_;
    std::shared_ptr<const ZQBusinessComponentModel> model_ GUARDED_BY(mutex_);
    std::shared_ptr<platform::PersistentStoreCoordinator> coordinator_ GUARDED_BY(mutex_);
    std::weak_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate> delegate_ GUARDED_BY(mutex_);
    platform::Value parsedData_ GUARDED_BY(mutex_);
    platform::ManagedObjectIDPtr objectID_ GUARDED_BY(mutex_);
    // The context the instance was written in, kept until the operation goes.
    std::shared_ptr<platform::ManagedObjectContext> spentContext_ GUARDED_BY(mutex_);
};
