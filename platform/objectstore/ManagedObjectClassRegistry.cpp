#include "platform/objectstore/ManagedObjectClassRegistry.hpp"

#include "platform/objectstore/ManagedObject.hpp"

namespace platform {

ManagedObjectClassRegistry& ManagedObjectClassRegistry::shared() {
    static ManagedObjectClassRegistry registry;
    return registry;
}

void ManagedObjectClassRegistry::registerClass(const std::string& className, Factory factory) {
    MutexLock lock(mutex_);
    factories_[className] = std::move(factory);
    generation_.fetch_add(1, std::memory_order_release);
}

ManagedObjectClassRegistry::Factory ManagedObjectClassRegistry::factoryFor(
    const std::string& className, uint64_t& generation) const {
    MutexLock lock(mutex_);
    generation = generation_.load(std::memory_order_relaxed);
    auto it = factories_.find(className);
    return it != factories_.end() ? it->second : Factory();
}

bool ManagedObjectClassRegistry::isRegistered(const std::string& className) const {
    MutexLock lock(mutex_);
    return factories_.count(className) != 0;
}

std::shared_ptr<ManagedObject> ManagedObjectClassRegistry::makeObject(
    const std::string& className) const {
    Factory factory;
    if (!className.empty()) {
        MutexLock lock(mutex_);
        auto it = factories_.find(className);
        if (it != factories_.end()) factory = it->second;
    }
    std::shared_ptr<ManagedObject> object = factory ? factory() : nullptr;
    return object ? object : std::make_shared<ManagedObject>();
}

}  // namespace platform
