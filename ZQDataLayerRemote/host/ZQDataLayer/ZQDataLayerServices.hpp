// The data layer's service registry: the object uploader service instance, kept until replaced.
// Any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"

class ZQDataLayerServices {
  public:
    static void registerObjectUploaderService(std::shared_ptr<ZQObjectUploaderService> service);
    // None when nothing is registered.
    static std::shared_ptr<ZQObjectUploaderService> objectUploaderService();
};
