// Protocol of the service that uploads binary field values before a save. A framework registers
// one instance with ZQDataLayerServices; the host asks it for one uploader per save. Called from
// any thread.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploader.hpp"

// Information-dictionary key: the number of uploads one uploader runs at once.
inline constexpr const char* ZQObjectRESTUploaderMaxConcurrentUploadsInfoKey =
    "ZQObjectRESTUploaderMaxConcurrentUploads";

class ZQObjectUploaderService {
  public:
    virtual ~ZQObjectUploaderService() = default;
    // A new, unstarted uploader for the references; none from a service that cannot upload.
    virtual std::shared_ptr<ZQObjectUploader> objectUploaderOperationWithBinaryDataFieldReferences(
        std::vector<std::shared_ptr<ZQBinaryDataFieldReference>> references) {
        (void)references;
        return nullptr;
    }
};
