// The host stand-in's services: start-up, bundle, storage, translations, alerts, logging and the
// exception guard.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationStorageService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQExecutionEnvironmentHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQResources.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQSecurityService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQTryBlock.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "tests/support/TempDir.hpp"

using platform::Value;

namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class HostServicesTest : public ::testing::Test {
  protected:
    void TearDown() override {
        ZQBundle::setMainBundle(nullptr);
        ZQResources::resetTranslations();
        ZQExecutionEnvironmentHelper::resetForTesting();
        ZQSecurityService::sharedInstance()->setSettings({});
        ZQApplicationStorageService::sharedInstance()->setApplicationRoot(savedRoot);
        ZQUndocumentedConfig::setRestUploaderTimeout(-1);
    }
    zqtest::TempDir dir;
    std::filesystem::path savedRoot =
        ZQApplicationStorageService::sharedInstance()->applicationRoot();
};

TEST_F(HostServicesTest, StartUpConfiguresTheServicesThenRunsInitializationBlocksOnce) {
    std::filesystem::create_directories(dir / "bundle");
    writeFile(dir / "bundle" / "Info.json",
              R"({"ZQObjectRESTUploaderMaxConcurrentUploads": 2, "ZQRestUploaderTimeout": 45,
                  "ZQApplicationServerURL": "http://127.0.0.1:9/app/",
                  "ZQAuthorizationUsername": "ann"})");
    writeFile(dir / "bundle" / "Translations.json",
              R"({"ZQM_ApplicationCacheHasBeenCleared": "Cache vidé."})");

    std::vector<int> order;
    ZQExecutionEnvironmentHelper::addCoreInitializationOnceObserver([&] { order.push_back(1); });
    ZQExecutionEnvironmentHelper::addCoreInitializationOnceObserver([&] {
        order.push_back(2);
        // Services are configured before the blocks run.
        EXPECT_EQ(ZQBundle::mainBundle()->objectForInfoDictionaryKey(
                      "ZQObjectRESTUploaderMaxConcurrentUploads"),
                  Value(2));
    });
    EXPECT_TRUE(order.empty());

    ZQHostConfiguration configuration;
    configuration.bundlePath = dir / "bundle";
    configuration.applicationRoot = dir / "apps";
    ASSERT_EQ(ZQHost::start(configuration), nullptr);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ZQExecutionEnvironmentHelper::coreInitializationDidFinish();
    EXPECT_EQ(order, (std::vector<int>{1, 2})) << "blocks run once";
    ZQExecutionEnvironmentHelper::addCoreInitializationOnceObserver([&] { order.push_back(3); });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3})) << "late observers run at once";

    EXPECT_EQ(ZQResources::translationFor("ZQM_ApplicationCacheHasBeenCleared"), "Cache vidé.");
    EXPECT_EQ(ZQUndocumentedConfig::restUploaderTimeout(), 45.0);
    ZQAuthorizationSettings settings = ZQSecurityService::sharedInstance()->settings();
    ASSERT_TRUE(settings.tokenURL.has_value());
    EXPECT_EQ(settings.tokenURL->absoluteString(), "http://127.0.0.1:9/app/auth/token");
    EXPECT_EQ(settings.username, "ann");
    EXPECT_EQ(ZQApplicationStorageService::sharedInstance()->applicationRoot(), dir / "apps");
}

TEST_F(HostServicesTest, BrokenBundleFilesAreErrorsThatNameTheFile) {
    std::filesystem::create_directories(dir / "bundle");
    writeFile(dir / "bundle" / "Info.json", "{\"a\": 1,,}");
    ZQBundle::LoadResult loaded = ZQBundle::bundleWithPath(dir / "bundle");
    ASSERT_NE(loaded.error, nullptr);
    EXPECT_EQ(loaded.bundle, nullptr);
    EXPECT_NE(loaded.error->localizedDescription().find("Info.json: line 1"), std::string::npos)
        << loaded.error->localizedDescription();

    writeFile(dir / "bundle" / "Info.json", "[1]");
    EXPECT_NE(ZQBundle::bundleWithPath(dir / "bundle").error, nullptr);
    EXPECT_NE(ZQBundle::bundleWithPath(dir / "missing").error, nullptr);

    ZQHostConfiguration configuration;
    configuration.bundlePath = dir / "bundle";
    EXPECT_NE(ZQHost::start(configuration), nullptr);
    EXPECT_FALSE(ZQExecutionEnvironmentHelper::isCoreInitializationFinished());

    std::filesystem::create_directories(dir / "plain");
    ZQBundle::LoadResult plain = ZQBundle::bundleWithPath(dir / "plain");
    ASSERT_NE(plain.bundle, nullptr);
    EXPECT_TRUE(plain.bundle->infoDictionary().empty());
    EXPECT_FALSE(plain.bundle->pathForResource("AppDB", "sqlite").has_value());
    writeFile(dir / "plain" / "AppDB.sqlite", "x");
    EXPECT_EQ(plain.bundle->pathForResource("AppDB", "sqlite"), dir / "plain" / "AppDB.sqlite");
}

TEST_F(HostServicesTest, TranslationsFallBackToBuiltInTextsThenToTheKey) {
    EXPECT_EQ(ZQResources::translationFor("ZQM_ApplicationCacheHasBeenCleared"),
              "The application cache has been cleared.");
    EXPECT_EQ(ZQResources::translationFor("ZQM_NoSuchKey"), "ZQM_NoSuchKey");
    writeFile(dir / "t.json", R"({"ZQM_Other": "Autre", "ZQM_Number": 3})");
    ASSERT_EQ(ZQResources::loadTranslationsFromFile(dir / "t.json"), nullptr);
    EXPECT_EQ(ZQResources::translationFor("ZQM_Other"), "Autre");
    EXPECT_EQ(ZQResources::translationFor("ZQM_Number"), "ZQM_Number");
    EXPECT_EQ(ZQResources::translationFor("ZQM_ApplicationCacheHasBeenCleared"),
              "The application cache has been cleared.");
    EXPECT_NE(ZQResources::loadTranslationsFromFile(dir / "missing.json"), nullptr);
    EXPECT_EQ(ZQResources::translationFor("ZQM_Other"), "Autre") << "a failed load keeps the table";
}

TEST_F(HostServicesTest, StorageDirectoriesLiveUnderTheApplicationRoot) {
    auto storage = ZQApplicationStorageService::sharedInstance();
    storage->setApplicationRoot(dir / "root");
    EXPECT_FALSE(storage->applicationCachesDirectoryForApplication("Sales", false).has_value());
    auto caches = storage->applicationCachesDirectoryForApplication("Sales", true);
    ASSERT_TRUE(caches.has_value());
    EXPECT_EQ(*caches, dir / "root" / "Sales" / "Caches");
    EXPECT_TRUE(std::filesystem::is_directory(*caches));
    EXPECT_EQ(storage->applicationCachesDirectoryForApplication("Sales", false), caches);
    EXPECT_EQ(storage->modelDirectoryForApplication("Sales", true),
              dir / "root" / "Sales" / "Model");
    EXPECT_EQ(storage->modelDirectoryForApplication("../x", true), dir / "root" / ".._x" / "Model");
    EXPECT_FALSE(storage->modelDirectoryForApplication("..", true).has_value());
    EXPECT_FALSE(storage->modelDirectoryForApplication("", true).has_value());
}

TEST_F(HostServicesTest, AlertsAreRecordedAndLogged) {
    auto alerts = ZQFoundationServices::alertMessageService();
    alerts->clearRecordedAlerts();
    std::vector<std::string> presented;
    alerts->setPresenter([&](const ZQAlertRecord& record) { presented.push_back(record.message); });
    alerts->showAlertWithTitle("Store failed", "The application cache has been cleared.");
    alerts->showMessages({"Stock is low", "Check the date"});
    alerts->showMessages({});
    alerts->setPresenter(nullptr);
    auto recorded = alerts->recordedAlerts();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].title, "Store failed");
    EXPECT_EQ(recorded[1].message, "Stock is low\nCheck the date");
    EXPECT_EQ(presented.size(), 2u);
    EXPECT_TRUE(ZQLog::loggerService()->hasRecordedMessageContaining("Store failed"));
    alerts->clearRecordedAlerts();
}

TEST_F(HostServicesTest, LoggerRecordsWhetherLoggingWasEnabled) {
    auto logger = ZQLog::loggerService();
    bool wasEnabled = logger->isLogEnabled();
    logger->clearRecordedMessages();
    logger->setConsoleOutputEnabled(false);
    logger->setLogEnabled(true);
    logger->logMessage("File upload aborted, file not found: a.png", ZQLogTypeData,
                       ZQLogLevelWarning, true);
    logger->setLogEnabled(false);
    logger->logMessage("quiet", ZQLogTypeGeneral, ZQLogLevelDebug, false);
    logger->setLogEnabled(wasEnabled);
    logger->setConsoleOutputEnabled(true);
    auto records = logger->recordedMessages();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].type, 2);
    EXPECT_EQ(records[0].level, 3);
    EXPECT_TRUE(records[0].wasEnabled);
    EXPECT_FALSE(records[1].wasEnabled);
}

TEST(TryBlockTest, EveryEscapingExceptionBecomesAnError) {
    std::optional<ZQException> caught;
    zqTryBlock([] { throw std::out_of_range("index 7"); },
               [&](const ZQException& e) { caught = e; });
    ASSERT_TRUE(caught.has_value());
    EXPECT_EQ(caught->name, "std::out_of_range");
    EXPECT_EQ(caught->reason, "index 7");
    EXPECT_FALSE(caught->callStackSymbols.empty());
    EXPECT_EQ(caught->error->domain(), ZQErrorDomain);
    EXPECT_EQ(caught->error->code(), ZQErrorCodeException);
    EXPECT_EQ(caught->error->localizedDescription(), "index 7");

    caught.reset();
    zqTryBlock([] { throw 42; }, [&](const ZQException& e) { caught = e; });
    ASSERT_TRUE(caught.has_value());
    EXPECT_EQ(caught->name, "int");

    bool called = false;
    zqTryBlock([] {}, [&](const ZQException&) { called = true; });
    EXPECT_FALSE(called);
}

}  // namespace
