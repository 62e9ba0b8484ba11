// Base of the providers of a hide-code field's look-ups (code for a description, description for
// the code, suggestions), made per field and entity from the registered online provider class:
// holds what the host gives every provider and turns a parsed reply into the delegate's code,
// text or suggestions. Made and used on the main thread (the look-ups, cancel, the
// notifications); the registry is safe from any thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldHideCodeProviderDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQDynamicDataService.hpp"

// The kind of a look-up; 0 before any.
enum ZQHideCodeServiceType : int32_t {
    ZQHideCodeServiceTypeNone = 0,
    ZQHideCodeServiceTypeHideCode = 1,     // the code for a typed description
    ZQHideCodeServiceTypeHideCodeRev = 2,  // the description of the stored code
    ZQHideCodeServiceTypeSuggest = 3,      // suggestions for a typed text
};

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

    // Each look-up replaces the one before it.
    virtual void loadHideCodeForText(const std::string& text) = 0;
    virtual void loadTextForHideCode() = 0;
    // Debounced: only the last of quickly repeated calls looks anything up.
    virtual void loadSuggestWithText(const std::string& text) = 0;
    virtual void cancel() = 0;
    virtual ZQConnectivitySupport connectivitySupport() const = 0;

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

    void setDelegate(std::weak_ptr<ZQEntityDataFieldHideCodeProviderDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

  protected:
    // Main thread. The reply is read as choices (ZQDynamicDataChoicesFromParsedData): the first
    // choice's code (absent for an empty reply) for a code look-up, its description for a text
    // look-up, every choice as a suggestion; a reply of another shape reaches the delegate as an
    // error instead.
    void notifyDelegateWithParsedData(const platform::Value& parsedData,
                                      ZQHideCodeServiceType serviceType);
    void notifyErrorToDelegate(const platform::ErrorPtr& error);

  private:
    std::shared_ptr<ZQEntityData> entityData_;
    std::shared_ptr<const ZQEntityDataFieldDescriptor> fieldDescriptor_;
    std::shared_ptr<const ZQDynamicDataService> serviceHideCode_;
    std::shared_ptr<const ZQDynamicDataService> serviceSuggest_;
    std::shared_ptr<const ZQDynamicDataService> serviceHideCodeRev_;
    std::weak_ptr<ZQEntityDataFieldHideCodeProviderDelegate> delegate_;
};
