#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerInternalBaseOperation.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSectionEntityDataProviderHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "platform/OperationQueue.hpp"

namespace {

class RecordingManager : public ZQInternalEntityDataManager {
  public:
    void load(const std::shared_ptr<ZQEntityDataQueryInfo>&,
              const std::shared_ptr<ZQEntityDataManagerDelegate>&) override {
        ++loads;
    }
    void cancelLoad(const std::shared_ptr<ZQEntityDataQueryInfo>&,
                    const std::shared_ptr<ZQEntityDataManagerDelegate>&) override {}
    void cancelAllOperations() override {}
    std::shared_ptr<ZQEntityDataQuerySingleItemResult>
    emptySingleItemEntityDataQueryResultWithDataItem(
        const std::shared_ptr<ZQEntityData>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQEntityDataQueryCollectionResult> emptyCollectionEntityDataQueryResult()
        override {
        return nullptr;
    }
    std::shared_ptr<ZQEntityDataManager> manager() const override { return manager_.lock(); }
    void setManager(std::weak_ptr<ZQEntityDataManager> manager) override {
        manager_ = std::move(manager);
    }

    int loads = 0;

  private:
    std::weak_ptr<ZQEntityDataManager> manager_;
};

TEST(ZQDataLayerRegistries, OnlineEntityDataManagerIsMadeOnceWithItsHostManager) {
    int made = 0;
    ZQEntityDataManager::registerOnlineEntityDataManager([&made] {
        ++made;
        return std::make_shared<RecordingManager>();
    });
    auto host = ZQEntityDataManager::create();
    host->load(nullptr, nullptr);
    host->load(nullptr, nullptr);
    auto online = std::dynamic_pointer_cast<RecordingManager>(host->onlineEntityDataManager());
    ASSERT_TRUE(online);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(online->loads, 2);
    EXPECT_EQ(online->manager(), host);
    ZQEntityDataManager::registerOnlineEntityDataManager(nullptr);
    EXPECT_EQ(ZQEntityDataManager::create()->onlineEntityDataManager(), nullptr);
}

// A manager that makes no handlers: the registry only keeps the factory.
class NoHandlersManager : public ZQInternalBusinessComponentManager {
  public:
    std::shared_ptr<ZQBusinessComponentLoadHandler> newBusinessComponentLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>&,
        const std::shared_ptr<const ZQEntityDataKey>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQBusinessComponentDefaultLoadHandler>
    newBusinessComponentDefaultLoadHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>&,
        const std::optional<platform::Dictionary>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQBusinessComponentSaveHandler> newBusinessComponentInsertHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>&,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQBusinessComponentSaveHandler>
    newBusinessComponentInsertOrUpdateHandlerForModel(
        const std::shared_ptr<const ZQBusinessComponentModel>&,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQBusinessComponentSaveHandler> newBusinessComponentUpdateHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>&,
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&) override {
        return nullptr;
    }
    std::shared_ptr<ZQBusinessComponentDeleteHandler> newBusinessComponentDeleteHandlerForLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>&,
        const std::shared_ptr<const ZQEntityDataKey>&) override {
        return nullptr;
    }
    void releaseBusinessComponentEntityDataWithDefaults(
        const std::shared_ptr<ZQBusinessComponentLevelEntityData>&,
        const std::shared_ptr<const ZQBusinessComponentModel>&) override {}
};

TEST(ZQDataLayerRegistries, EachRegistrationKeepsItsTarget) {
    ZQBusinessComponentManager::registerOnlineBusinessComponentManager(
        [] { return std::make_shared<NoHandlersManager>(); });
    EXPECT_TRUE(ZQBusinessComponentManager::newOnlineBusinessComponentManager());
    auto uploader = std::make_shared<ZQObjectUploaderService>();
    ZQDataLayerServices::registerObjectUploaderService(uploader);
    EXPECT_EQ(ZQDataLayerServices::objectUploaderService(), uploader);

    auto provider = std::make_shared<ZQEntityDataProvider>();
    ZQWorkWithDetailEntityDataProviderHelper::registerRemoteDetailProviderClass(
        [provider](auto) { return provider; });
    EXPECT_EQ(ZQWorkWithDetailEntityDataProviderHelper::newRemoteDetailProvider(nullptr), provider);
    EXPECT_EQ(ZQWorkWithDetailEntityDataProviderHelper::newRemoteListProvider(nullptr, nullptr),
              nullptr);
    ZQWorkWithSectionEntityDataProviderHelper::registerRemoteListProviderClass(
        [provider](auto, auto) { return provider; });
    EXPECT_EQ(ZQWorkWithSectionEntityDataProviderHelper::newRemoteListProvider(nullptr, nullptr),
              provider);

    ZQBusinessComponentManager::registerOnlineBusinessComponentManager(nullptr);
    ZQDataLayerServices::registerObjectUploaderService(nullptr);
    ZQWorkWithDetailEntityDataProviderHelper::registerRemoteDetailProviderClass(nullptr);
    ZQWorkWithSectionEntityDataProviderHelper::registerRemoteListProviderClass(nullptr);
}

// An operation that finishes through one of the base's helpers and records what its hook saw.
class FinishingOperation : public ZQEntityDataManagerInternalBaseOperation {
  public:
    explicit FinishingOperation(std::function<void(FinishingOperation&)> body)
        : ZQEntityDataManagerInternalBaseOperation(nullptr), body_(std::move(body)) {}
    void main() override { body_(*this); }
    void onFinishWithError(platform::ErrorPtr error) override {
        ++hookCalls;
        seen = error;
        ZQEntityDataManagerInternalBaseOperation::onFinishWithError(std::move(error));
    }
    using ZQEntityDataManagerInternalBaseOperation::onFinishWithDefaultError;
    using ZQEntityDataManagerInternalBaseOperation::onFinishWithDefaultErrorIfNil;
    using ZQEntityDataManagerInternalBaseOperation::onFinishWithSuccess;

    int hookCalls = 0;
    platform::ErrorPtr seen;

  private:
    std::function<void(FinishingOperation&)> body_;
};

TEST(ZQEntityDataManagerInternalBaseOperation, HelpersEndThroughTheHook) {
    auto given = platform::Error::create("Test", 7, "given");
    auto success = std::make_shared<FinishingOperation>(
        [](FinishingOperation& op) { op.onFinishWithSuccess(); });
    auto defaulted = std::make_shared<FinishingOperation>(
        [](FinishingOperation& op) { op.onFinishWithDefaultErrorIfNil(nullptr); });
    auto kept = std::make_shared<FinishingOperation>([given](FinishingOperation& op) {
        op.onFinishWithDefaultErrorIfNil(given);
        op.onFinishWithDefaultError();  // a second finish does not replace the first error
    });
    auto queue = platform::OperationQueue::create();
    queue->addOperations({success, defaulted, kept}, true);

    EXPECT_EQ(success->hookCalls, 1);
    EXPECT_EQ(success->seen, nullptr);
    EXPECT_TRUE(success->hasFinishedWithResult());
    ASSERT_TRUE(defaulted->seen);
    EXPECT_EQ(defaulted->seen->domain(), ZQErrorDomain);
    EXPECT_EQ(defaulted->error(), defaulted->seen);
    EXPECT_EQ(kept->hookCalls, 2);
    EXPECT_EQ(kept->error(), given);
}

}  // namespace
