// The library's object uploader service: makes one ZQObjectRESTUploaderOperation per save, and
// hands each the progress observer set on it (a tool showing upload progress sets one). Registered
// with ZQDataLayerServices at load time; any thread, mutex_ guards the observer.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderOperation.hpp"
#include "platform/Mutex.hpp"

class ZQObjectRESTUploaderService : public ZQObjectUploaderService {
  public:
    std::shared_ptr<ZQObjectUploader> objectUploaderOperationWithBinaryDataFieldReferences(
        std::vector<std::shared_ptr<ZQBinaryDataFieldReference>> references) override
        EXCLUDES(mutex_);

    // The observer of the operations made from now on; none stops it.
    void setProgressObserver(ZQObjectRESTUploaderOperation::ProgressObserver observer)
        EXCLUDES(mutex_);

  private:
    platform::Mutex mutex_;
    ZQObjectRESTUploaderOperation::ProgressObserver progressObserver_ GUARDED_BY(mutex_);
};
