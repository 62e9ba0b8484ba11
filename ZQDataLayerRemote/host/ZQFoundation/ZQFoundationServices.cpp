#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"

#include "platform/WorkerPool.hpp"

std::shared_ptr<ZQAlertMessageService> ZQFoundationServices::alertMessageService() {
    static platform::Immortal<std::shared_ptr<ZQAlertMessageService>> instance(
        std::make_shared<ZQAlertMessageService>());
    return instance.get();
}
