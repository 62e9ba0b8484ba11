#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"

#include <utility>
#include <vector>

#include "platform/NotificationCenter.hpp"

namespace {

struct Globals {
    platform::Mutex mutex;
    std::shared_ptr<ZQModel> current GUARDED_BY(mutex);
    std::vector<std::pair<uint64_t, ZQModel::Initializer>> initializers GUARDED_BY(mutex);
    uint64_t nextIdentifier GUARDED_BY(mutex) = 1;
};

Globals& globals() {
    static Globals* instance = new Globals();  // never destroyed: used until the process ends
    return *instance;
}

}  // namespace

ZQModel::ZQModel(std::shared_ptr<const ZQApplicationModel> appModel,
                 platform::Dictionary modelObjects)
    : appModel_(std::move(appModel)), modelObjects_(std::move(modelObjects)) {}

std::shared_ptr<ZQModel> ZQModel::create(std::shared_ptr<const ZQApplicationModel> appModel,
                                         platform::Dictionary modelObjects) {
    auto model = std::make_shared<ZQModel>(std::move(appModel), std::move(modelObjects));
    std::vector<Initializer> initializers;
    {
        auto& g = globals();
        platform::MutexLock lock(g.mutex);
        for (const auto& entry : g.initializers) initializers.push_back(entry.second);
    }
    // Outside the lock: an initializer may register or read the current model.
    for (const auto& initializer : initializers) initializer(model);
    return model;
}

std::shared_ptr<ZQModel> ZQModel::currentModel() {
    auto& g = globals();
    platform::MutexLock lock(g.mutex);
    return g.current;
}

void ZQModel::setCurrentModel(std::shared_ptr<ZQModel> model) {
    std::shared_ptr<ZQModel> previous;  // released after the lock: its end may take other locks
    auto& g = globals();
    platform::MutexLock lock(g.mutex);
    previous = std::exchange(g.current, std::move(model));
}

uint64_t ZQModel::addModelInitializer(Initializer initializer) {
    auto& g = globals();
    platform::MutexLock lock(g.mutex);
    uint64_t identifier = g.nextIdentifier++;
    g.initializers.emplace_back(identifier, std::move(initializer));
    return identifier;
}

void ZQModel::removeModelInitializer(uint64_t identifier) {
    auto& g = globals();
    platform::MutexLock lock(g.mutex);
    std::erase_if(g.initializers,
                  [identifier](const auto& entry) { return entry.first == identifier; });
}

std::shared_ptr<platform::Object> ZQModel::internal_coreDataCacheModel() const {
    platform::MutexLock lock(mutex_);
    return cacheHolder_;
}

void ZQModel::setInternal_coreDataCacheModel(std::shared_ptr<platform::Object> holder) {
    platform::MutexLock lock(mutex_);
    cacheHolder_ = std::move(holder);
}

void ZQModel::clearCache() {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(ZQModelWillClearCacheNotification, this);
    center.post(ZQModelInternalClearCacheNotification, this);
    center.post(ZQModelDidClearCacheNotification, this);
}

void ZQModel::updateModel(const std::shared_ptr<ZQModel>& newModel) {
    platform::Dictionary info;
    info.set(ZQModelModelKey, platform::Value::object(newModel));
    platform::NotificationCenter::defaultCenter().post(ZQModelInternalUpdateModelNotification, this,
                                                       std::move(info));
}

std::string ZQModel::description() const {
    return "<ZQModel " + (appModel_ ? appModel_->name() : std::string("(no application model)")) +
           ">";
}
