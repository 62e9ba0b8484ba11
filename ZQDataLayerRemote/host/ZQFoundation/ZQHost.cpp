#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQExecutionEnvironmentHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQResources.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"

platform::ErrorPtr ZQHost::start(const ZQHostConfiguration& configuration) {
    if (configuration.logEnabled) ZQLog::loggerService()->setLogEnabled(*configuration.logEnabled);
    if (configuration.applicationRoot) {
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(
            *configuration.applicationRoot);
    }
    if (configuration.bundlePath) {
        ZQBundle::LoadResult loaded = ZQBundle::bundleWithPath(*configuration.bundlePath);
        if (loaded.error) return loaded.error;
        ZQBundle::setMainBundle(loaded.bundle);
        if (auto file = loaded.bundle->pathForResource("Translations", "json")) {
            if (platform::ErrorPtr error = ZQResources::loadTranslationsFromFile(*file))
                return error;
        }
        const platform::Dictionary& info = loaded.bundle->infoDictionary();
        if (info.contains("ZQApplicationServerURL") || info.contains("ZQAuthorizationTokenURL")) {
            ZQSecurityService::sharedInstance()->setSettings(
                ZQAuthorizationSettings::fromInfoDictionary(info));
        }
    }
    ZQExecutionEnvironmentHelper::coreInitializationDidFinish();
    return nullptr;
}
