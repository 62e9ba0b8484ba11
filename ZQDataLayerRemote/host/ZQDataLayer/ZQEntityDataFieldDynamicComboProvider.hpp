// Base of the providers of a dynamic combo's choices, made per field and entity from the
// registered online provider class: holds what the host gives every provider, decides whether a
// load can start, and turns a parsed reply into choices for the delegate. Made and used on the
// main thread (load, cancel, the notifications); the registry is safe from any thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDynamicComboProviderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQDynamicDataService.hpp"

class ZQEntityDataFieldDynamicComboProvider {
  public:
    // Registering a class: a factory taking the constructor's arguments. A factory may answer
    // none (a service of a kind its provider cannot call).
    using Factory = std::function<std::shared_ptr<ZQEntityDataFieldDynamicComboProvider>(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::optional<std::string> fieldSpecifier,
        std::shared_ptr<const ZQDynamicDataService> service)>;

    static void registerOnlineEntityDataFieldDynamicComboProvider(Factory factory);
    static Factory onlineEntityDataFieldDynamicComboProviderFactory();

    ZQEntityDataFieldDynamicComboProvider(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::optional<std::string> fieldSpecifier,
        std::shared_ptr<const ZQDynamicDataService> service)
        : entityData_(std::move(entityData)),
          fieldDescriptor_(std::move(fieldDescriptor)),
          fieldSpecifier_(std::move(fieldSpecifier)),
          service_(std::move(service)) {}
    virtual ~ZQEntityDataFieldDynamicComboProvider() = default;

    // Starts (or restarts) loading the choices; false when no load was started.
    virtual bool load() = 0;
    virtual void cancel() = 0;
    virtual ZQConnectivitySupport connectivitySupport() const = 0;

    // Whether a load can start: there is a service and an entity to take parameters from.
    virtual bool canLoad() const { return service_ && entityData_; }

    const std::shared_ptr<ZQEntityData>& entityData() const { return entityData_; }
    const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor() const {
        return fieldDescriptor_;
    }
    const std::optional<std::string>& fieldSpecifier() const { return fieldSpecifier_; }
    const std::shared_ptr<const ZQDynamicDataService>& service() const { return service_; }

    void setDelegate(std::weak_ptr<ZQEntityDataFieldDynamicComboProviderDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

  protected:
    // Main thread. The reply becomes choices (ZQDynamicDataChoicesFromParsedData); a reply of
    // another shape reaches the delegate as an error instead.
    void notifyDelegateWithParsedData(const platform::Value& parsedData);
    void notifyErrorToDelegate(const platform::ErrorPtr& error);

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor_;
    std::optional<std::string> fieldSpecifier_;
    std::shared_ptr<const ZQDynamicDataService> service_;
    std::weak_ptr<ZQEntityDataFieldDynamicComboProviderDelegate> delegate_;
};
