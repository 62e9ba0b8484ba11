// The start-up registration of the online entity data manager: after the host's start the host's
// entity data manager makes a ZQRemoteEntityDataManager and hands itself to it as its manager, and
// the host's field registries make the REST field and rule providers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldDynamicComboRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityDataFieldHideCodeRESTProvider.hpp"
#include "ZQDataLayerRemote/field-services/ZQEntityRulePromptAfterServiceRESTProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"
#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataManager.hpp"
#include "tests/support/TempDir.hpp"

namespace {

int failure(const std::string& what) {
    std::fprintf(stderr, "registration check failed: %s\n", what.c_str());
    return 1;
}

int startHostAndAskForTheOnlineManager() {
    zqtest::TempDir root;
    ZQDataLayerRemoteLoader::load();
    if (ZQEntityDataManager::onlineEntityDataManagerFactory()) {
        return failure("registered before the host started");
    }
    ZQHostConfiguration configuration;
    configuration.applicationRoot = root.path();
    if (auto error = ZQHost::start(configuration)) return failure(error->description());

    auto host = ZQEntityDataManager::create();
    auto online =
        std::dynamic_pointer_cast<ZQRemoteEntityDataManager>(host->onlineEntityDataManager());
    if (!online) return failure("the online manager is not the remote one");
    if (online->manager() != host) return failure("the host is not the online manager's manager");
    if (host->onlineEntityDataManager() != online) return failure("a second online manager");

    auto service =
        std::make_shared<ZQRemoteDynamicDataService>("S", "svc?", ZQActionParameterDescriptors{});
    auto combo =
        ZQEntityDataFieldDynamicComboProvider::onlineEntityDataFieldDynamicComboProviderFactory();
    if (!combo || !std::dynamic_pointer_cast<ZQEntityDataFieldDynamicComboRESTProvider>(
                      combo(nullptr, nullptr, std::nullopt, service)))
        return failure("no REST dynamic combo provider");
    auto hideCode =
        ZQEntityDataFieldHideCodeProvider::onlineEntityDataFieldHideCodeProviderFactory();
    if (!hideCode || !std::dynamic_pointer_cast<ZQEntityDataFieldHideCodeRESTProvider>(
                         hideCode(nullptr, nullptr, service, nullptr, nullptr)))
        return failure("no REST hide-code provider");
    auto prompt =
        ZQEntityRulePromptAfterServiceProvider::onlineEntityRulePromptAfterServiceProviderFactory();
    if (!prompt || !std::dynamic_pointer_cast<ZQEntityRulePromptAfterServiceRESTProvider>(
                       prompt(nullptr, nullptr, {})))
        return failure("no REST prompt-after provider");
    std::fprintf(stderr, "registration checks passed\n");
    return 0;
}

// Registrations are process-wide and one-way, so the start-up runs in a child process.
TEST(ZQRemoteEntityDataManagerRegistration, TheHostStartRegistersTheRemoteManager) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int status = startHostAndAskForTheOnlineManager();
            std::fflush(stderr);
            std::_Exit(status);
        },
        ::testing::ExitedWithCode(0), "registration checks passed");
}

}  // namespace
