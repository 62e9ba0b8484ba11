#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
ZQRegistration<ZQEntityDataManager::OnlineManagerFactory>& slot() {
    static auto* registration = new ZQRegistration<ZQEntityDataManager::OnlineManagerFactory>();
    return *registration;
}
}  // namespace

void ZQEntityDataManager::registerOnlineEntityDataManager(OnlineManagerFactory factory) {
    slot().set(std::move(factory));
}

ZQEntityDataManager::OnlineManagerFactory ZQEntityDataManager::onlineEntityDataManagerFactory() {
    return slot().get();
}

std::shared_ptr<ZQEntityDataManager> ZQEntityDataManager::create() {
    return std::make_shared<ZQEntityDataManager>();
}

const std::shared_ptr<ZQEntityDataManager>& ZQEntityDataManager::sharedManager() {
    static auto* shared = new std::shared_ptr<ZQEntityDataManager>(create());
    return *shared;
}

std::shared_ptr<ZQInternalEntityDataManager> ZQEntityDataManager::onlineEntityDataManager() {
    platform::MutexLock lock(mutex_);
    if (!online_) {
        if (auto factory = onlineEntityDataManagerFactory()) {
            online_ = factory();
            if (online_) online_->setManager(weak_from_this());
        }
    }
    return online_;
}

void ZQEntityDataManager::load(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                               const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    if (auto online = onlineEntityDataManager()) online->load(queryInfo, delegate);
}

void ZQEntityDataManager::cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>& queryInfo,
                                     const std::shared_ptr<ZQEntityDataManagerDelegate>& delegate) {
    if (auto online = onlineEntityDataManager()) online->cancelLoad(queryInfo, delegate);
}
