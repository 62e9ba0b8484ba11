// Base of the providers of a hide-code field's look-ups (code for a description, description for
// the code, suggestions), made per field and entity from the registered online provider class.
// Holds what the host gives every provider; the look-up interface is added with the providers.
// The registry is safe from any thread; a provider is used on the main thread.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

class ZQDynamicDataService;

class ZQEntityDataFieldHideCodeProvider {
  public:
    // Registering a class: a factory taking the constructor's arguments. Services may be none.
    using Factory = std::function<std::shared_ptr<ZQEntityDataFieldHideCodeProvider>(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::shared_ptr<const ZQDynamicDataService> hideCodeService,
        std::shared_ptr<const ZQDynamicDataService> suggestService,
        std::shared_ptr<const ZQDynamicDataService> hideCodeRevService)>;

    static void registerOnlineEntityDataFieldHideCodeProvider(Factory factory);
    static Factory onlineEntityDataFieldHideCodeProviderFactory();

    ZQEntityDataFieldHideCodeProvider(
        std::shared_ptr<ZQEntityData> entityData,
        std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor,
        std::shared_ptr<const ZQDynamicDataService> hideCodeService,
        std::shared_ptr<const ZQDynamicDataService> suggestService,
        std::shared_ptr<const ZQDynamicDataService> hideCodeRevService)
        : entityData_(std::move(entityData)),
          fieldDescriptor_(std::move(fieldDescriptor)),
          serviceHideCode_(std::move(hideCodeService)),
          serviceSuggest_(std::move(suggestService)),
          serviceHideCodeRev_(std::move(hideCodeRevService)) {}
    virtual ~ZQEntityDataFieldHideCodeProvider() = default;

    const std::shared_ptr<ZQEntityData>& entityData() const { return entityData_; }
    const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor() const {
        return fieldDescriptor_;
    }
    const std::shared_ptr<const ZQDynamicDataService>& serviceHideCode() const {
        return serviceHideCode_;
    }
    const std::shared_ptr<const ZQDynamicDataService>& serviceSuggest() const {
        return serviceSuggest_;
    }
    const std::shared_ptr<const ZQDynamicDataService>& serviceHideCodeRev() const {
        return serviceHideCodeRev_;
    }

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor_;
    std::shared_ptr<const ZQDynamicDataService> serviceHideCode_;
    std::shared_ptr<const ZQDynamicDataService> serviceSuggest_;
    std::shared_ptr<const ZQDynamicDataService> serviceHideCodeRev_;
};
