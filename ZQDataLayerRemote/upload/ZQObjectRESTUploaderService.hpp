// The library's object uploader service: makes one ZQObjectRESTUploaderOperation per save.
// Registered with ZQDataLayerServices at load time; stateless, so any thread.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"

class ZQObjectRESTUploaderService : public ZQObjectUploaderService {
  public:
    std::shared_ptr<ZQObjectUploader> objectUploaderOperationWithBinaryDataFieldReferences(
        std::vector<std::shared_ptr<ZQBinaryDataFieldReference>> references) override;
};
