#include "ZQDataLayerRemote/cache/store/ZQModelManagerZQCoreDataCacheExtension.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheModelLoadOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModelLoadOperationContext_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQObjectsModelServices.hpp"
#include "platform/OperationQueue.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"
#include "tests/support/TempDir.hpp"

namespace {

namespace fs = std::filesystem;
using platform::ErrorPtr;
using platform::ManagedObjectModel;

constexpr const char* kSchemaKey = ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel;

// A Work With list whose only element names an attribute the model does not define.
constexpr const char* kBrokenModel = R"({
  "name": "Broken",
  "workWiths": [{"name": "W", "levels": [{"name": "L", "list": {"data": [
    {"dataProvider": "P", "collection": true, "elements": [{"name": "Missing"}]}]}}]}]
})";

std::shared_ptr<const ZQApplicationModel> brokenModel() {
    auto loaded = ZQApplicationModelLoader::loadFromString(kBrokenModel, "broken");
    EXPECT_FALSE(loaded.error) << loaded.error->description();
    return loaded.model;
}

std::shared_ptr<ManagedObjectModel> schemaOf(const platform::Value& value) {
    return std::dynamic_pointer_cast<ManagedObjectModel>(value.object());
}

std::shared_ptr<ManagedObjectModel> tinySchema() {
    auto entity = platform::EntityDescription::create("Tiny");
    entity->setProperties(
        {platform::AttributeDescription::create("zqname", platform::AttributeType::String)});
    auto model = ManagedObjectModel::create();
    model->setEntities({entity});
    return model;
}

void runOnQueue(const std::shared_ptr<platform::Operation>& operation) {
    platform::OperationQueue::create("test.load")->addOperations({operation}, true);
}

// Every case runs with an application root of its own, where the sample application keeps its
// model folder (<root>/SampleSales/Model) and so its schema file.
class ZQModelManagerZQCoreDataCacheExtensionLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        previousRoot_ = storage_->applicationRoot();
        storage_->setApplicationRoot(root_.path());
        manager_->registerModelManagerExtension(extension_);
    }
    void TearDown() override { storage_->setApplicationRoot(previousRoot_); }

    // The host makes this folder for its own model files; the extension never does.
    void makeModelDirectory() {
        ASSERT_TRUE(ZQModelManager::defaultModelFileDirectoryURLForApplication(*app_, true));
    }
    fs::path schemaFile() const { return root_ / "SampleSales" / "Model" / "Model.mom"; }

    std::shared_ptr<ManagedObjectModel> load() {
        auto result = manager_->loadModelForApplication(app_);
        EXPECT_FALSE(result.error) << result.error->description();
        if (!result.model) return nullptr;
        EXPECT_EQ(result.model->modelObjects().size(), 1u);
        return schemaOf(result.model->modelObjectForKey(kSchemaKey));
    }
    std::shared_ptr<ManagedObjectModel> sampleSchema() const {
        ErrorPtr error;
        auto schema = ZQCoreDataModelFactory::coreDataModelForApplicationModel(
            zqtest::loadSampleModel(), &error);
        EXPECT_FALSE(error);
        return schema;
    }

    zqtest::TempDir root_;
    std::shared_ptr<ZQApplicationStorageService> storage_ =
        ZQObjectsModelServices::applicationStorageService();
    fs::path previousRoot_;
    std::shared_ptr<ZQApplication> app_ =
        std::make_shared<ZQApplication>("SampleSales", zqtest::sampleAppFolder() / "model.json");
    std::shared_ptr<ZQModelManagerZQCoreDataCacheExtension> extension_ =
        std::make_shared<ZQModelManagerZQCoreDataCacheExtension>();
    std::shared_ptr<ZQModelManager> manager_ = ZQModelManager::create();
};

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad,
       FirstLoadSavesTheSchemaAndLaterLoadsReadItBackEqual) {
    makeModelDirectory();
    auto generated = load();
    ASSERT_TRUE(generated);
    EXPECT_EQ(*generated, *sampleSchema());
    ASSERT_TRUE(fs::exists(schemaFile()));

    auto readBack = load();
    ASSERT_TRUE(readBack);
    EXPECT_NE(readBack, generated);
    EXPECT_EQ(*readBack, *generated);
}

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad,
       LoadsTakeTheSavedFileUntilTheModelCacheIsCleared) {
    ASSERT_TRUE(load());  // the host makes the model folder and keeps a copy of the model file
    auto tiny = tinySchema();
    ASSERT_FALSE(tiny->saveToFile(schemaFile().string()));
    auto loaded = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, *tiny);

    manager_->clearCachedModelObjectsForApplication(app_);
    EXPECT_FALSE(fs::exists(schemaFile()));
    manager_->clearCachedModelObjectsForApplication(app_);  // nothing left to delete
    loaded = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, *sampleSchema());
    EXPECT_TRUE(fs::exists(schemaFile()));
}

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad,
       ReadingAnswersNoneWithTheReasonWhenThereIsNoSchemaToRead) {
    ErrorPtr error;
    ZQUtilities::clearRecordedFatalErrors();
    EXPECT_FALSE(extension_->loadExtensionModelObjectsFromCacheForApplication(app_, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), ZQErrorDomain);
    EXPECT_EQ(error->code(), ZQErrorCodeFatal);
    auto reports = ZQUtilities::recordedFatalErrors();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].message, "App cache URL for application is not available");
    EXPECT_FALSE(fs::exists(root_ / "SampleSales"));  // asking did not make the folder

    makeModelDirectory();
    EXPECT_FALSE(extension_->loadExtensionModelObjectsFromCacheForApplication(app_, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), ZQModelErrorDomain);
    EXPECT_EQ(error->code(), 0);
    EXPECT_EQ(error->localizedDescription(),
              "Core Data managed object model not found: " + schemaFile().string());

    // Something that is not a saved schema counts as missing, and the next load replaces it.
    std::ofstream(schemaFile()) << "{\"archived\": \"something else\"}\n";
    error = nullptr;
    EXPECT_FALSE(extension_->loadExtensionModelObjectsFromCacheForApplication(app_, &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(extension_->loadExtensionModelObjectsFromCacheForApplication(app_, nullptr));
    auto loaded = load();
    ASSERT_TRUE(loaded);
    auto reread = ManagedObjectModel::readFromFile(schemaFile().string());
    ASSERT_TRUE(reread.model);
    EXPECT_EQ(*reread.model, *loaded);
}

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad,
       WithoutAModelFolderTheLoadStillGivesTheSchemaAndSavesNothing) {
    // A root that is a plain file: no folder can be made under it.
    std::ofstream(root_ / "not-a-folder") << "x";
    storage_->setApplicationRoot(root_ / "not-a-folder");
    auto loaded = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, *sampleSchema());
    EXPECT_FALSE(fs::is_directory(root_ / "not-a-folder"));
}

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad, AChangedModelFileDropsTheSavedSchema) {
    fs::path modelFile = root_ / "model.json";
    fs::copy_file(zqtest::sampleAppFolder() / "model.json", modelFile);
    app_ = std::make_shared<ZQApplication>("SampleSales", modelFile);
    ASSERT_TRUE(load());
    ASSERT_TRUE(fs::exists(schemaFile()));
    auto tiny = tinySchema();
    ASSERT_FALSE(tiny->saveToFile(schemaFile().string()));
    auto loaded = load();  // same model file: the saved schema is trusted
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, *tiny);

    std::ofstream(modelFile, std::ios::app) << "\n";
    loaded = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, *sampleSchema());
}

TEST_F(ZQModelManagerZQCoreDataCacheExtensionLoad,
       ASchemaThatCannotBeGeneratedFailsTheLoadAndSavesNothing) {
    auto broken = brokenModel();
    ASSERT_TRUE(ZQModelManager::defaultModelFileDirectoryURLForApplication(*broken, true));
    auto result = manager_->loadModelForApplication(broken);
    EXPECT_FALSE(result.model);
    ASSERT_TRUE(result.error);
    auto expected = errorFromGetEntitiesError(GetEntitiesError::couldNotGetEntities);
    EXPECT_EQ(result.error->domain(), expected->domain());
    EXPECT_EQ(result.error->code(), 0);
    EXPECT_FALSE(fs::exists(root_ / "Broken" / "Model" / "Model.mom"));
}

TEST(ZQModelManagerZQCoreDataCacheExtension, AContextWithoutASchemaGivesNoModelObjects) {
    auto app = zqtest::loadSampleModel();
    ZQModelManagerZQCoreDataCacheExtension extension;
    ErrorPtr error;

    auto empty = std::make_shared<ZQModelLoadOperationContext>(app, app);
    empty->setModelObject(platform::Value("not a schema"), kSchemaKey);
    EXPECT_FALSE(ZQModelLoadOperationContext_ZQCoreDataCache::managedObjectModel(*empty));
    EXPECT_FALSE(extension.onModelLoadOperationsDidFinishForContext(empty, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), ZQModelErrorDomain);

    auto failed = std::make_shared<ZQModelLoadOperationContext>(app, app);
    auto earlier = platform::Error::create("Other", 7, "an earlier step failed");
    failed->setError(earlier);
    failed->setModelObject(platform::Value::object(tinySchema()), kSchemaKey);
    EXPECT_FALSE(extension.onModelLoadOperationsDidFinishForContext(failed, &error));
    EXPECT_EQ(error, earlier);
}

// A load operation whose generation step is disturbed from inside, the way a concurrent cancel,
// another extension's failure or a fault in the factory would disturb it.
class DisturbedOperation : public ZQCoreDataCacheModelLoadOperation {
  public:
    enum class Disturbance { CancelAfterGenerating, OtherErrorFirst, Throw };
    DisturbedOperation(std::shared_ptr<ZQModelLoadOperationContext> context, Disturbance what)
        : ZQCoreDataCacheModelLoadOperation(std::move(context)), what_(what) {}

    std::shared_ptr<ManagedObjectModel> generated;
    ErrorPtr otherError = platform::Error::create("Other", 1, "another extension failed");

  protected:
    std::shared_ptr<ManagedObjectModel> managedObjectModelFor(
        const std::shared_ptr<const ZQApplicationModel>& appModel, ErrorPtr* error) override {
        switch (what_) {
            case Disturbance::CancelAfterGenerating:
                generated =
                    ZQCoreDataCacheModelLoadOperation::managedObjectModelFor(appModel, error);
                cancel();
                return generated;
            case Disturbance::OtherErrorFirst:
                modelLoadContext()->setErrorIfNone(otherError);
                return ZQCoreDataCacheModelLoadOperation::managedObjectModelFor(appModel, error);
            case Disturbance::Throw:
                throw std::runtime_error("schema exploded");
        }
        return nullptr;
    }

  private:
    Disturbance what_;
};

TEST(ZQCoreDataCacheModelLoadOperation, ACancelledOperationLeavesTheContextUntouched) {
    auto app = zqtest::loadSampleModel();
    auto context = std::make_shared<ZQModelLoadOperationContext>(app, app);
    auto before = std::make_shared<ZQCoreDataCacheModelLoadOperation>(context);
    before->cancel();
    before->main();
    auto during = std::make_shared<DisturbedOperation>(
        context, DisturbedOperation::Disturbance::CancelAfterGenerating);
    runOnQueue(during);
    EXPECT_TRUE(during->generated);
    EXPECT_FALSE(context->error());
    EXPECT_TRUE(context->modelObjects().empty());
}

TEST(ZQCoreDataCacheModelLoadOperation, TheFirstErrorOnTheContextWins) {
    auto app = zqtest::loadSampleModel();
    auto earlier = platform::Error::create("Other", 2, "set before the operation ran");
    auto failed = std::make_shared<ZQModelLoadOperationContext>(app, app);
    failed->setError(earlier);
    runOnQueue(std::make_shared<ZQCoreDataCacheModelLoadOperation>(failed));
    EXPECT_EQ(failed->error(), earlier);
    EXPECT_TRUE(failed->modelObjects().empty());

    // The factory fails, but another extension's error arrived while it was working.
    auto broken = brokenModel();
    auto context = std::make_shared<ZQModelLoadOperationContext>(broken, broken);
    auto operation = std::make_shared<DisturbedOperation>(
        context, DisturbedOperation::Disturbance::OtherErrorFirst);
    runOnQueue(operation);
    EXPECT_EQ(context->error(), operation->otherError);
}

TEST(ZQCoreDataCacheModelLoadOperation, FailuresBecomeModelErrorsOnTheContext) {
    auto app = zqtest::loadSampleModel();
    auto noModel = std::make_shared<ZQModelLoadOperationContext>(app, nullptr);
    runOnQueue(std::make_shared<ZQCoreDataCacheModelLoadOperation>(noModel));
    ASSERT_TRUE(noModel->error());
    EXPECT_EQ(noModel->error()->domain(), ZQModelErrorDomain);
    EXPECT_EQ(noModel->error()->code(), 0);

    auto logger = ZQLog::loggerService();
    bool wasLogging = logger->isLogEnabled();
    logger->setLogEnabled(true);
    logger->setConsoleOutputEnabled(false);
    logger->clearRecordedMessages();
    ZQUtilities::setShowDeveloperInfo(true);
    auto context = std::make_shared<ZQModelLoadOperationContext>(app, app);
    runOnQueue(
        std::make_shared<DisturbedOperation>(context, DisturbedOperation::Disturbance::Throw));
    ZQUtilities::setShowDeveloperInfo(false);
    logger->setConsoleOutputEnabled(true);
    logger->setLogEnabled(wasLogging);

    ASSERT_TRUE(context->error());
    EXPECT_EQ(context->error()->domain(), ZQModelErrorDomain);
    EXPECT_EQ(context->error()->code(), 0);
    EXPECT_EQ(context->error()->localizedDescription(), "schema exploded");
    EXPECT_TRUE(logger->hasRecordedMessageContaining("CRASH: "));
    EXPECT_TRUE(logger->hasRecordedMessageContaining("schema exploded"));
    EXPECT_TRUE(logger->hasRecordedMessageContaining("Stack Trace: "));
}

}  // namespace
