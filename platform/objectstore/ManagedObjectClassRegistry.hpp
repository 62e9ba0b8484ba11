// Maps class names (an entity's managedObjectClassName) to factories of ManagedObject subclasses,
// so that contexts make objects of the class the model names. Process-wide; any thread registers
// and looks up; the registry's mutex guards its table.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Mutex.hpp"

namespace platform {

class ManagedObject;

class ManagedObjectClassRegistry {
  public:
    using Factory = std::function<std::shared_ptr<ManagedObject>()>;

    static ManagedObjectClassRegistry& shared();

    // A later registration under the same name replaces the earlier one.
    void registerClass(const std::string& className, Factory factory) EXCLUDES(mutex_);
    template <typename T>
    void registerClass(const std::string& className) {
        registerClass(className, [] { return std::make_shared<T>(); });
    }
    bool isRegistered(const std::string& className) const EXCLUDES(mutex_);
    // An object of the registered class, or a plain ManagedObject for an unknown name.
    std::shared_ptr<ManagedObject> makeObject(const std::string& className) const EXCLUDES(mutex_);
    // The factory registered under the name (none for an unknown name), and in `generation` the
    // registrations made so far: a caller that keeps the factory asks again once generation()
    // has moved on.
    Factory factoryFor(const std::string& className, uint64_t& generation) const EXCLUDES(mutex_);
    uint64_t generation() const { return generation_.load(std::memory_order_acquire); }

  private:
    mutable Mutex mutex_;
    std::map<std::string, Factory, std::less<>> factories_ GUARDED_BY(mutex_);
    std::atomic<uint64_t> generation_{0};  // advanced under mutex_ by every registration
};

}  // namespace platform
