#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<std::shared_ptr<ZQObjectUploaderService>>& slot() {
    static auto* registration = new ZQRegistration<std::shared_ptr<ZQObjectUploaderService>>();
    return *registration;
}
}  // namespace

void ZQDataLayerServices::registerObjectUploaderService(
    std::shared_ptr<ZQObjectUploaderService> service) {
    slot().set(std::move(service));
}

std::shared_ptr<ZQObjectUploaderService> ZQDataLayerServices::objectUploaderService() {
    return slot().get();
}
