// Base of the providers of a dynamic combo's choices, made per field and entity from the
// registered online provider class. Holds what the host gives every provider; the loading
// interface is added with the providers. The registry is safe from any thread; a provider is used
// on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

// The data service of a field (its URL and parameters); declared with the field services.
class ZQDynamicDataService;

class ZQEntityDataFieldDynamicComboProvider {
  public:
    // Registering a class: a factory taking the constructor's arguments.
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

    const std::shared_ptr<ZQEntityData>& entityData() const { return entityData_; }
    const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor() const {
        return fieldDescriptor_;
    }
    const std::optional<std::string>& fieldSpecifier() const { return fieldSpecifier_; }
    const std::shared_ptr<const ZQDynamicDataService>& service() const { return service_; }

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor_;
    std::optional<std::string> fieldSpecifier_;
    std::shared_ptr<const ZQDynamicDataService> service_;
};
