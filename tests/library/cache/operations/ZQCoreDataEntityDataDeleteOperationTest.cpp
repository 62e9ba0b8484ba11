#include "ZQDataLayerRemote/cache/operations/ZQCoreDataEntityDataDeleteOperation.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataFields.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"

namespace {

using platform::Value;

std::shared_ptr<const ZQEntityDataKey> keyOf(const std::vector<std::string>& fields,
                                             platform::Dictionary values) {
    ZQEntityDataFieldDescriptors descriptors;
    for (const auto& name : fields) {
        descriptors.push_back(std::make_shared<ZQWorkWithDataField>(name, 0, nullptr));
    }
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQWorkWithDataFields>(std::move(descriptors)), std::move(values));
}

// Cached instances are written straight through a context: the operation only needs rows of an
// entity with the key's attributes. Shop.Orders lives in the SQLite store, Shop.LiveOrders in
// the memory store.
class DeleteOperationTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        entityName_ =
            std::string(GetParam()) == zqtest::kCachedOrders ? "Shop__Orders" : "Shop__LiveOrders";
        auto context = env.newContext();
        for (int64_t id = 1; id <= 3; ++id) {
            auto order = context->insertNewObject(entityName_);
            ASSERT_TRUE(order);
            // Order 3 has no name.
            Value name = id == 3 ? Value() : Value("Order " + std::to_string(id));
            ASSERT_EQ(order->setValuesForKeysWithDictionary(
                          {{"zqorderid", id}, {"zqordername", name}, {"zqregion", "North"}}),
                      nullptr);
        }
        ASSERT_EQ(context->save(), nullptr);
        // The main context holds order 1, as a screen showing it would.
        auto held = zqtest::objectsWhere(*env.mainContext(), entityName_, "zqorderid", 1);
        ASSERT_EQ(held.size(), 1u);
        heldInMain_ = held.front();
        saveObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
            platform::kManagedObjectContextDidSaveNotification, nullptr,
            [this](const platform::Notification&) { ++saves_; });
    }

    std::shared_ptr<ZQCoreDataEntityDataDeleteOperation> operation(
        std::shared_ptr<const ZQEntityDataKey> key) const {
        auto op = ZQCoreDataEntityDataDeleteOperation::create();
        op->setEntityDataKey(std::move(key));
        op->setCdEntityDescription(
            env.coordinator()->managedObjectModel()->entityNamed(entityName_));
        op->setPersistentStoreCoordinator(env.coordinator());
        return op;
    }

    std::vector<int64_t> cachedIds() const {
        auto context = env.newContext();
        platform::FetchRequest request(entityName_);
        request.setSortDescriptors({{"zqorderid", true}});
        auto fetched = context->executeFetchRequest(request);
        EXPECT_EQ(fetched.error, nullptr);
        std::vector<int64_t> ids;
        for (const auto& object : fetched.objects()) {
            ids.push_back(object->valueForKey("zqorderid").integer().value_or(-1));
        }
        return ids;
    }

    zqtest::CacheOperationEnvironment env;
    std::string entityName_;
    std::shared_ptr<platform::ManagedObject> heldInMain_;
    std::atomic<int> saves_{0};
    platform::ObserverToken saveObserver_;
};

INSTANTIATE_TEST_SUITE_P(BothStores, DeleteOperationTest,
                         ::testing::Values(zqtest::kCachedOrders, zqtest::kLiveOrders));

TEST_P(DeleteOperationTest, TheInstanceWithTheKeyIsDeletedAndGoneFromTheMainContext) {
    env.run(operation(keyOf({"OrderId"}, {{"OrderId", 1}})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{2, 3}));
    EXPECT_EQ(saves_.load(), 1);
    // The merge ran before the operation ended: the main context let its copy go.
    EXPECT_EQ(heldInMain_->managedObjectContext(), nullptr);
    EXPECT_TRUE(heldInMain_->valueForKey("zqordername").isAbsent());
}

TEST_P(DeleteOperationTest, EveryKeyFieldMustMatchAndAMissingValueMatchesOnlyNoValue) {
    env.run(
        operation(keyOf({"OrderId", "&OrderName"}, {{"OrderId", 2}, {"&OrderName", "Order 1"}})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{1, 2, 3}));
    env.run(
        operation(keyOf({"OrderId", "&OrderName"}, {{"OrderId", 2}, {"&OrderName", "Order 2"}})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{1, 3}));
    env.run(operation(keyOf({"OrderName"}, {})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{1}));
}

TEST_P(DeleteOperationTest, AnInstanceNotCachedLeavesEverythingAndSavesNothing) {
    env.run(operation(keyOf({"OrderId"}, {{"OrderId", 99}})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(saves_.load(), 0);
    EXPECT_NE(heldInMain_->managedObjectContext(), nullptr);
}

TEST_P(DeleteOperationTest, CancelledOrWithoutSomethingToIdentifyTheInstanceNothingIsDeleted) {
    auto cancelled = operation(keyOf({"OrderId"}, {{"OrderId", 1}}));
    cancelled->cancel();
    env.run(cancelled);
    // A key without fields would otherwise match whichever instance comes first.
    env.run(operation(keyOf({}, {})));
    env.run(operation(nullptr));
    auto noEntity = operation(keyOf({"OrderId"}, {{"OrderId", 1}}));
    noEntity->setCdEntityDescription(nullptr);
    env.run(noEntity);
    auto noCoordinator = operation(keyOf({"OrderId"}, {{"OrderId", 1}}));
    noCoordinator->setPersistentStoreCoordinator(nullptr);
    env.run(noCoordinator);
    // A key field that is not an attribute of the entity: the fetch fails, silently.
    env.run(operation(keyOf({"Unknown"}, {{"Unknown", 1}})));
    EXPECT_EQ(cachedIds(), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(saves_.load(), 0);
}

TEST_P(DeleteOperationTest, DeletingACachedRowEntityCascadesToItsQueryRows) {
    auto source = env.collection(GetParam());
    auto save = env.saveOperation(source, zqtest::collectionResult(zqtest::orderItems(10, 2)), true,
                                  {0, 0});
    auto delegate = std::make_shared<zqtest::RecordingSaveDelegate>();
    save->setDelegate(delegate);
    env.run(save);
    ASSERT_EQ(delegate->finished(), 1);
    saves_ = 0;

    env.run(operation(keyOf({"OrderId"}, {{"OrderId", 10}})));
    auto context = env.newContext();
    auto rows = zqtest::cachedRows(*context, source);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().entity->valueForKey("zqorderid").integer(), 11);
    EXPECT_EQ(saves_.load(), 1);
}

}  // namespace
