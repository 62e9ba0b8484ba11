// The running application's model object: the loaded application model, the model objects that
// the model manager's extensions produced, and one slot where the data layer keeps its cache
// holder. The host posts the model notifications with the model as sender. Any thread; mutex_
// guards the cache-holder slot; the process-wide current model and the list of model initializers
// have locks of their own (in ZQModel.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

// Posted, with the model as sender, before and after the host clears the model's caches.
inline constexpr const char* ZQModelWillClearCacheNotification =
    "ZQModelWillClearCacheNotification";
inline constexpr const char* ZQModelDidClearCacheNotification = "ZQModelDidClearCacheNotification";
// Posted between the two above: whoever keeps a cache for the model empties it now.
inline constexpr const char* ZQModelInternalClearCacheNotification =
    "ZQModelInternalClearCacheNotification";
// Posted when a newer model replaces this one; the user information holds the new model under
// ZQModelModelKey (a platform object reference to the ZQModel).
inline constexpr const char* ZQModelInternalUpdateModelNotification =
    "ZQModelInternalUpdateModelNotification";
inline constexpr const char* ZQModelModelKey = "ZQModelModelKey";

class ZQModel : public platform::Object, public std::enable_shared_from_this<ZQModel> {
  public:
    using Initializer = std::function<void(const std::shared_ptr<ZQModel>&)>;

    // Runs every registered initializer on the new model before returning it.
    [[nodiscard]] static std::shared_ptr<ZQModel> create(
        std::shared_ptr<const ZQApplicationModel> appModel, platform::Dictionary modelObjects = {});

    // The model of the running application; none before the host loaded one.
    static std::shared_ptr<ZQModel> currentModel();
    static void setCurrentModel(std::shared_ptr<ZQModel> model);

    // Registers a block run on every model made afterwards (how a framework takes its model
    // objects, for example a cache schema). Returns an identifier for removal.
    static uint64_t addModelInitializer(Initializer initializer);
    static void removeModelInitializer(uint64_t identifier);

    // May be none (a model made without an application model).
    const std::shared_ptr<const ZQApplicationModel>& appModel() const { return appModel_; }
    const platform::Dictionary& modelObjects() const { return modelObjects_; }
    platform::Value modelObjectForKey(std::string_view key) const { return modelObjects_.get(key); }

    // The data layer's cache holder for this model; opaque to the host.
    std::shared_ptr<platform::Object> internal_coreDataCacheModel() const EXCLUDES(mutex_);
    void setInternal_coreDataCacheModel(std::shared_ptr<platform::Object> holder) EXCLUDES(mutex_);

    // Posts, on the calling thread and with this model as sender,
    // ZQModelWillClearCacheNotification, ZQModelInternalClearCacheNotification and
    // ZQModelDidClearCacheNotification.
    void clearCache();
    // Posts ZQModelInternalUpdateModelNotification with newModel under ZQModelModelKey.
    void updateModel(const std::shared_ptr<ZQModel>& newModel);

    std::string description() const override;

    // Construction through create() only; public for make_shared.
    ZQModel(std::shared_ptr<const ZQApplicationModel> appModel, platform::Dictionary modelObjects);

  private:
    const std::shared_ptr<const ZQApplicationModel> appModel_;
    const platform::Dictionary modelObjects_;
    mutable platform::Mutex mutex_;
    std::shared_ptr<platform::Object> cacheHolder_ GUARDED_BY(mutex_);
};
