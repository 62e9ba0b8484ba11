#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "platform/NotificationCenter.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tests/support/TempDir.hpp"

namespace {

using platform::Dictionary;
using platform::ErrorPtr;
using platform::Value;

// An operation that stores a model object or records an error in the shared context.
class SetObjectOperation : public ZQModelLoadOperation {
  public:
    SetObjectOperation(std::shared_ptr<ZQModelLoadOperationContext> context, std::string key,
                       ErrorPtr error)
        : ZQModelLoadOperation(std::move(context)),
          key_(std::move(key)),
          error_(std::move(error)) {}
    void main() override {
        if (error_) {
            modelLoadContext()->setErrorIfNone(error_);
            return;
        }
        modelLoadContext()->setModelObject(Value(modelLoadContext()->applicationModel()->name()),
                                           key_);
    }

  private:
    std::string key_;
    ErrorPtr error_;
};

// An extension with a cache of its own: a hit answers at once; a miss runs one operation and the
// finishing call answers what the operation stored.
class TestExtension : public ZQModelManagerExtension {
  public:
    TestExtension(std::string key, ErrorPtr operationError = nullptr)
        : key_(std::move(key)), operationError_(std::move(operationError)) {}

    std::vector<std::shared_ptr<ZQModelLoadOperation>> extensionModelLoadOperationsForContext(
        const std::shared_ptr<ZQModelLoadOperationContext>& context) override {
        return {std::make_shared<SetObjectOperation>(context, key_, operationError_)};
    }
    std::optional<Dictionary> loadExtensionModelObjectsFromCacheForApplication(
        const std::shared_ptr<const ZQApplication>&, ErrorPtr* error) override {
        if (cached) return Dictionary{{key_, Value("from cache")}};
        *error = platform::Error::create(ZQModelErrorDomain, 0, "not cached");
        return std::nullopt;
    }
    std::optional<Dictionary> onModelLoadOperationsDidFinishForContext(
        const std::shared_ptr<ZQModelLoadOperationContext>& context, ErrorPtr* error) override {
        ++finished;
        if (context->error()) {
            *error = context->error();
            return std::nullopt;
        }
        return Dictionary{{key_, context->modelObjectForKey(key_)}};
    }
    void clearCachedExtensionModelObjectsForApplication(
        const std::shared_ptr<const ZQApplication>&) override {
        cached = false;
    }

    bool cached = false;
    std::atomic<int> finished{0};

  private:
    std::string key_;
    ErrorPtr operationError_;
};

TEST(ZQModelManager, LoadRunsExtensionOperationsOrReadsTheirCache) {
    zqtest::TempDir root;
    auto storage = ZQObjectsModelServices::applicationStorageService();
    auto previousRoot = storage->applicationRoot();
    storage->setApplicationRoot(root.path());
    auto manager = ZQModelManager::create();
    auto fresh = std::make_shared<TestExtension>("fresh");
    auto cached = std::make_shared<TestExtension>("cached");
    manager->registerModelManagerExtension(fresh);
    manager->registerModelManagerExtension(cached);

    auto modelFile = root.path() / "model.json";
    std::filesystem::copy_file(zqtest::sampleAppFolder() / "model.json", modelFile);
    auto app = std::make_shared<ZQApplication>("SampleSales", modelFile);
    ASSERT_TRUE(manager->loadModelForApplication(app).model);
    EXPECT_EQ(fresh->finished, 1);
    EXPECT_EQ(cached->finished, 1);
    // The host keeps its model folder and a copy of the model file the objects were made from.
    EXPECT_TRUE(std::filesystem::exists(root.path() / "SampleSales" / "Model" / "Model.json"));

    cached->cached = true;
    auto result = manager->loadModelForApplication(app);
    ASSERT_FALSE(result.error) << result.error->description();
    ASSERT_TRUE(result.model);
    ASSERT_TRUE(result.model->appModel());
    EXPECT_TRUE(result.model->appModel()->businessComponentNamed("Customer"));
    EXPECT_EQ(result.model->modelObjectForKey("fresh"), Value("SampleSales"));
    EXPECT_EQ(result.model->modelObjectForKey("cached"), Value("from cache"));
    EXPECT_EQ(fresh->finished, 2);
    EXPECT_EQ(cached->finished, 1);

    // Another model file in its place: what the extensions saved is dropped before the load.
    std::ofstream(modelFile, std::ios::app) << "\n";
    ASSERT_TRUE(manager->loadModelForApplication(app).model);
    EXPECT_FALSE(cached->cached);
    EXPECT_EQ(cached->finished, 2);

    cached->cached = true;
    manager->clearCachedModelObjectsForApplication(app);
    EXPECT_FALSE(cached->cached);
    storage->setApplicationRoot(previousRoot);
}

TEST(ZQModelManager, FirstErrorOfTheLoadWins) {
    auto manager = ZQModelManager::create();
    auto first = platform::Error::create(ZQModelErrorDomain, 0, "first");
    auto second = platform::Error::create(ZQModelErrorDomain, 0, "second");
    manager->registerModelManagerExtension(std::make_shared<TestExtension>("a", first));
    manager->registerModelManagerExtension(std::make_shared<TestExtension>("b", second));
    auto model = zqtest::loadSampleModel();
    // The two operations run on the load queue in either order; whichever sets the context's
    // error first is the load's error, and the other is dropped.
    auto result = manager->loadModelForApplication(model);
    EXPECT_FALSE(result.model);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(result.error == first || result.error == second);
}

TEST(ZQModelManager, ModelFileErrorsStopTheLoad) {
    auto manager = ZQModelManager::create();
    auto extension = std::make_shared<TestExtension>("x");
    manager->registerModelManagerExtension(extension);
    zqtest::TempDir dir;
    auto result = manager->loadModelForApplication(
        std::make_shared<ZQApplication>("Missing", dir / "model.json"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain(), ZQModelErrorDomain);
    EXPECT_EQ(extension->finished, 0);
}

TEST(ZQModelManager, ModelDirectoriesComeFromTheStorageService) {
    zqtest::TempDir dir;
    auto storage = ZQObjectsModelServices::applicationStorageService();
    auto previousRoot = storage->applicationRoot();
    storage->setApplicationRoot(dir.path());
    ZQApplication app("SampleSales", {});
    EXPECT_FALSE(ZQModelManager::defaultModelFileDirectoryURLForApplication(app, false));
    auto created = ZQModelManager::defaultModelFileDirectoryURLForApplication(app, true);
    ASSERT_TRUE(created);
    EXPECT_TRUE(std::filesystem::is_directory(*created));
    EXPECT_EQ(ZQModelManager::modelFileURLForDirectoryURL(*created, "mom"), *created / "Model.mom");
    storage->setApplicationRoot(previousRoot);
}

TEST(ZQModel, InitializersRunOnEveryNewModel) {
    std::vector<std::shared_ptr<ZQModel>> seen;
    auto id = ZQModel::addModelInitializer(
        [&seen](const std::shared_ptr<ZQModel>& model) { seen.push_back(model); });
    auto model = ZQModel::create(nullptr, Dictionary{{"k", Value(1)}});
    ZQModel::removeModelInitializer(id);
    auto later = ZQModel::create(nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], model);
    EXPECT_EQ(model->modelObjectForKey("k"), Value(1));
}

TEST(ZQModel, CurrentModelAndCacheHolderSlot) {
    auto appModel = zqtest::loadSampleModel();
    auto model = ZQModel::create(appModel);
    ZQModel::setCurrentModel(model);
    EXPECT_EQ(ZQModel::currentModel(), model);
    EXPECT_EQ(ZQApplicationModel::currentModel(), appModel);

    EXPECT_EQ(model->internal_coreDataCacheModel(), nullptr);
    auto holder = std::make_shared<platform::Object>();
    model->setInternal_coreDataCacheModel(holder);
    EXPECT_EQ(model->internal_coreDataCacheModel(), holder);

    ZQModel::setCurrentModel(nullptr);
    EXPECT_EQ(ZQApplicationModel::currentModel(), nullptr);
}

TEST(ZQModel, ClearCacheAndUpdateModelPostWithTheModelAsSender) {
    auto model = ZQModel::create(nullptr);
    auto newer = ZQModel::create(nullptr);
    auto& center = platform::NotificationCenter::defaultCenter();
    std::vector<std::string> names;
    std::shared_ptr<platform::Object> carried;
    std::vector<platform::ObserverToken> tokens;
    for (const char* name :
         {ZQModelWillClearCacheNotification, ZQModelInternalClearCacheNotification,
          ZQModelDidClearCacheNotification, ZQModelInternalUpdateModelNotification}) {
        tokens.push_back(
            center.addObserver(name, model.get(), [&](const platform::Notification& note) {
                names.push_back(note.name());
                if (note.name() == ZQModelInternalUpdateModelNotification)
                    carried = note.userInfo().get(ZQModelModelKey).object();
            }));
    }
    newer->clearCache();  // another sender: not seen
    model->clearCache();
    model->updateModel(newer);
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  ZQModelWillClearCacheNotification, ZQModelInternalClearCacheNotification,
                  ZQModelDidClearCacheNotification, ZQModelInternalUpdateModelNotification}));
    EXPECT_EQ(carried, newer);
}

}  // namespace

namespace {

TEST(ZQModelLoadOperationContext, TheFirstErrorSetStays) {
    ZQModelLoadOperationContext context(nullptr, nullptr);
    auto first = platform::Error::create(ZQModelErrorDomain, 0, "first");
    EXPECT_FALSE(context.setErrorIfNone(nullptr));
    EXPECT_TRUE(context.setErrorIfNone(first));
    EXPECT_FALSE(context.setErrorIfNone(platform::Error::create(ZQModelErrorDomain, 0, "second")));
    EXPECT_EQ(context.error(), first);
}

}  // namespace
