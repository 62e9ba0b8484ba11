#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"

#include <memory>
#include <mutex>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheClasses.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModelManagerZQCoreDataCacheExtension.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldDynamicComboRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldHideCodeRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityRulePromptAfterServiceRESTProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSectionEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQExecutionEnvironmentHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionListEntityDataProvider.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"

namespace {

// The cache: its schema comes with every model load, its object classes resolve the schema's
// class names, and every new model takes its schema from the model objects.
void registerCoreDataCache() {
    ZQModelManager::sharedManager()->registerModelManagerExtension(
        std::make_shared<ZQModelManagerZQCoreDataCacheExtension>());
    ZQCoreDataCacheClasses::registerClasses();
    ZQModel::addModelInitializer([](const std::shared_ptr<ZQModel>& model) {
        // A model without a schema among its model objects simply has no cache.
        static_cast<void>(ZQModel_ZQCoreDataCache::initializeZQCoreDataCacheWithModelObjects(
            model, model->modelObjects()));
    });
}

// Runs once, after the host's core initialisation, in the host's registration order. Each step
// joins here as the part of the library it registers is built:
//   1. ZQBusinessComponentManager::registerOnlineBusinessComponentManager
//      (ZQBusinessComponentRESTManager)
//   2. ZQEntityDataManager::registerOnlineEntityDataManager (ZQRemoteEntityDataManager)
//   3. the model-manager extension and the cache (below)
//   4. ZQDataLayerServices::registerObjectUploaderService (ZQObjectRESTUploaderService)
//   5.-7. the dynamic combo, hide-code and prompt-after REST providers
//   8.-10. the remote Work With detail and list provider classes
void registerWithHost() {
    ZQBusinessComponentManager::registerOnlineBusinessComponentManager(
        []() -> std::shared_ptr<ZQInternalBusinessComponentManager> {
            return ZQBusinessComponentRESTManager::create();
        });
    ZQEntityDataManager::registerOnlineEntityDataManager(
        []() -> std::shared_ptr<ZQInternalEntityDataManager> {
            return ZQRemoteEntityDataManager::create();
        });
    registerCoreDataCache();
    ZQDataLayerServices::registerObjectUploaderService(
        std::make_shared<ZQObjectRESTUploaderService>());
    ZQDataLayerRemoteLoader::registerFieldServiceProviderClasses();
    ZQDataLayerRemoteLoader::registerWorkWithProviderClasses();
}

}  // namespace

void ZQDataLayerRemoteLoader::load() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZQExecutionEnvironmentHelper::addCoreInitializationOnceObserver(&registerWithHost);
    });
}

void ZQDataLayerRemoteLoader::registerWorkWithProviderClasses() {
    ZQWorkWithDetailEntityDataProviderHelper::registerRemoteDetailProviderClass(
        [](std::shared_ptr<const ZQWorkWithDetail> detail)
            -> std::shared_ptr<ZQEntityDataProvider> {
            return ZQRemoteWorkWithDetailDetailEntityDataProvider::create(std::move(detail));
        });
    ZQWorkWithDetailEntityDataProviderHelper::registerRemoteListProviderClass(
        [](std::shared_ptr<const ZQWorkWithDetail> detail,
           std::shared_ptr<const ZQWorkWithData> data) -> std::shared_ptr<ZQEntityDataProvider> {
            return ZQRemoteWorkWithDetailListEntityDataProvider::create(std::move(detail),
                                                                        std::move(data));
        });
    ZQWorkWithSectionEntityDataProviderHelper::registerRemoteListProviderClass(
        [](std::shared_ptr<const ZQWorkWithSection> section,
           std::shared_ptr<const ZQWorkWithData> data) -> std::shared_ptr<ZQEntityDataProvider> {
            return ZQRemoteWorkWithSectionListEntityDataProvider::create(std::move(section),
                                                                         std::move(data));
        });
}

void ZQDataLayerRemoteLoader::registerFieldServiceProviderClasses() {
    ZQEntityDataFieldDynamicComboProvider::registerOnlineEntityDataFieldDynamicComboProvider(
        [](auto entityData, auto fieldDescriptor, auto fieldSpecifier,
           auto service) -> std::shared_ptr<ZQEntityDataFieldDynamicComboProvider> {
            return ZQEntityDataFieldDynamicComboRESTProvider::create(
                std::move(entityData), std::move(fieldDescriptor), std::move(fieldSpecifier),
                std::move(service));
        });
    ZQEntityDataFieldHideCodeProvider::registerOnlineEntityDataFieldHideCodeProvider(
        [](auto entityData, auto fieldDescriptor, auto hideCode, auto suggest,
           auto hideCodeRev) -> std::shared_ptr<ZQEntityDataFieldHideCodeProvider> {
            return ZQEntityDataFieldHideCodeRESTProvider::create(
                std::move(entityData), std::move(fieldDescriptor), std::move(hideCode),
                std::move(suggest), std::move(hideCodeRev));
        });
    ZQEntityRulePromptAfterServiceProvider::registerOnlineEntityRulePromptAfterServiceProvider(
        [](auto entityData, auto promptRule, platform::Dictionary userInfo)
            -> std::shared_ptr<ZQEntityRulePromptAfterServiceProvider> {
            return ZQEntityRulePromptAfterServiceRESTProvider::create(
                std::move(entityData), std::move(promptRule), std::move(userInfo));
        });
}
