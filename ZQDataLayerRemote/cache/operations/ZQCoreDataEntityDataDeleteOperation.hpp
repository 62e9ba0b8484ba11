// Removes one cached business-component instance (the object of a cache entity whose key fields
// equal a key) and merges the deletion into the main context. Made by the business-component
// delete handler, which sets the three fields before queueing it; run once on the handler's queue
// with a working context of its own. It reports nothing: every failure leaves the cache as it was.
// mutex_ guards the fields, which the creator sets on its thread and the run reads on another.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "platform/Mutex.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/Operation.hpp"
#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

class ZQCoreDataEntityDataDeleteOperation : public platform::Operation {
  public:
    // All three fields start empty; an operation run without a key with fields, an entity or a
    // coordinator deletes nothing.
    [[nodiscard]] static std::shared_ptr<ZQCoreDataEntityDataDeleteOperation> create();
    ZQCoreDataEntityDataDeleteOperation() = default;

    std::shared_ptr<const ZQEntityDataKey> entityDataKey() const EXCLUDES(mutex_);
    void setEntityDataKey(std::shared_ptr<const ZQEntityDataKey> key) EXCLUDES(mutex_);
    std::shared_ptr<const platform::EntityDescription> cdEntityDescription() const EXCLUDES(mutex_);
    void setCdEntityDescription(std::shared_ptr<const platform::EntityDescription> entity)
        EXCLUDES(mutex_);
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator() const
        EXCLUDES(mutex_);
    void setPersistentStoreCoordinator(std::shared_ptr<platform::PersistentStoreCoordinator> psc)
        EXCLUDES(mutex_);

    void main() override;

    // The did-save handler: merges the deletion into the current model's main context on the
    // main thread and waits; nothing without a current model or without its context.
    void notify(const platform::Notification& notification);

  private:
    mutable platform::Mutex mutex_;
    std::shared_ptr<const ZQEntityDataKey> entityDataKey_ GUARDED_BY(mutex_);
    std::shared_ptr<const platform::EntityDescription> cdEntityDescription_ GUARDED_BY(mutex_);
    std::shared_ptr<platform::PersistentStoreCoordinator> persistentStoreCoordinator_
        GUARDED_BY(mutex_);
};
