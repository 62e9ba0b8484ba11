#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLevelDataWalks.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevel.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperationContextLevelEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"

using namespace zqtest;
using Level = ZQEntityDataCacheSaveOperationContextLevel;

namespace {

// A data source that forgets its sublevels: its sublevel field then has no sublevel to go with.
class WithoutSublevels : public ZQEntityDataSourceDescriptor {
  public:
    explicit WithoutSublevels(std::shared_ptr<const ZQEntityDataSourceDescriptor> real)
        : real_(std::move(real)) {}
    const std::string& entityDataSourceLevelName() const override {
        return real_->entityDataSourceLevelName();
    }
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceDataDescriptor()
        const override {
        return real_->entityDataSourceDataDescriptor();
    }
    const ZQEntityDataSourceSublevelDescriptors& entityDataSourceSublevels() const override {
        return none_;
    }
    std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataSourceStorageKeyDescriptor()
        const override {
        return real_->entityDataSourceStorageKeyDescriptor();
    }
    const std::string& entityDataSourceDataProviderName() const override {
        return real_->entityDataSourceDataProviderName();
    }
    bool entityDataSourceIsCollection() const override { return true; }
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceParametersDescriptor()
        const override {
        return nullptr;
    }

  private:
    std::shared_ptr<const ZQEntityDataSourceDescriptor> real_;
    ZQEntityDataSourceSublevelDescriptors none_;
};

class LevelDataWalksTest : public ::testing::Test {
  protected:
    std::shared_ptr<Level> built(const platform::Value& items) {
        auto root = Level::create(orders, "Shop__Orders");
        walks.build(root, items);
        return root;
    }
    // Saves the tree as it is written into a fresh context.
    void writeAndSave(const std::shared_ptr<Level>& root) {
        auto context = env.newContext();
        walks.write(root, *context);
        ASSERT_EQ(error, nullptr) << error->description();
        ASSERT_EQ(context->save(), nullptr);
    }

    CacheOperationEnvironment env;
    std::shared_ptr<const ZQEntityDataSourceDescriptor> orders = env.collection(kCachedOrders);
    platform::ErrorPtr error;
    bool cancelled = false;
    ZQEntityDataCacheLevelDataWalks walks{[this] { return cancelled; }, error};
};

TEST_F(LevelDataWalksTest, ItemsOfAValueAreAnArrayALoneValueOrNothing) {
    using W = ZQEntityDataCacheLevelDataWalks;
    EXPECT_TRUE(W::itemsFromObject(platform::Value()).isAbsent());
    EXPECT_TRUE(W::itemsFromObject(platform::Value::null()).isNothing());
    EXPECT_EQ(W::itemsFromObject(orderItem(1)).count(), 1u);
    EXPECT_EQ(W::itemsFromObject(orderItems(1, 3)).count(), 3u);
    EXPECT_EQ(W::sublevelEntityName("Shop__Orders", "Line"), "_SublevelShop__Orders_Line");
    EXPECT_EQ(W::sublevelEntityName("_SublevelShop__Orders_Line", "Part"),
              "_SublevelShop__Orders_Line_Part");
}

TEST_F(LevelDataWalksTest, BuildingConvertsValuesAndMakesOneLevelPerSublevelField) {
    auto item = *orderItem(4).dictionary();
    item.set("Notes", platform::Value::null());
    item.set("OrderDate", "");  // converts to nothing: stored as the null value
    item.set("Line", platform::Value::dictionary(
                         {{"LineId", 401}, {"ProductName", "Lone"}, {"LineQty", "3"}}));
    auto root = built(platform::Value(platform::Array{platform::Value(item), orderItem(5, 0)}));
    ASSERT_EQ(error, nullptr);
    ASSERT_EQ(root->entityCount(), 2u);
    const auto& first = root->entities()->at(0);
    EXPECT_EQ(first->level(), root);
    const auto& values = *first->entityCoreDataValues();
    EXPECT_EQ(values.get("zqorderid"), platform::Value(4));
    EXPECT_EQ(values.get("zqamount"), platform::Value(4.25));
    EXPECT_TRUE(values.get("zqnotes").isNull());
    EXPECT_TRUE(values.get("zqorderdate").isNull());
    EXPECT_FALSE(values.contains("zqline"));  // the relationship is added when written
    // A lone object is a sublevel of one line; an empty array one of none.
    ASSERT_EQ(first->entitySublevels()->size(), 1u);
    const auto& lines = first->entitySublevels()->at(0);
    EXPECT_EQ(lines->entityDataEntityName(), "_SublevelShop__Orders_Line");
    ASSERT_EQ(lines->entityCount(), 1u);
    EXPECT_EQ(lines->entities()->at(0)->entityCoreDataValues()->get("zqlineqty"),
              platform::Value(3));
    EXPECT_EQ(root->entities()->at(1)->entitySublevels()->at(0)->entityCount(), 0u);
}

TEST_F(LevelDataWalksTest, BuildingStopsAtTheFirstBadItem) {
    auto noLines = *orderItem(2).dictionary();
    noLines.erase("Line");
    auto root = built(platform::Value(
        platform::Array{orderItem(1), platform::Value(noLines), platform::Value(42)}));
    ASSERT_TRUE(error);
    EXPECT_EQ(developerDescriptionOfError(error),
              "Could not find value for field name 'Line' in level 'Shop__Orders' while saving "
              "data to the cache.");
    EXPECT_EQ(root->entityCount(), 1u);  // the good item before it

    error = nullptr;
    built(platform::Value(platform::Array{platform::Value(platform::Array{})}));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ZQErrorCodeUnknown);

    // A sublevel field whose data source has no such sublevel.
    error = nullptr;
    auto broken = std::make_shared<WithoutSublevels>(orders);
    walks.build(Level::create(broken, "Shop__Orders"), orderItems(1, 1));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ZQErrorCodeUnknown);
    EXPECT_EQ(developerDescriptionOfError(error), developerDescriptionOfError(defaultZQError()));
}

TEST_F(LevelDataWalksTest, ResolvingNeedsTheLevelsEntityAndAKey) {
    auto stray = Level::create(orders, "NoSuchEntity");
    walks.build(stray, orderItems(1, 1));
    walks.resolve(stray, *env.newContext());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ZQErrorCodeUnknown);

    // Without a storage key nothing is looked up: not even the entity.
    error = nullptr;
    auto events = Level::create(env.collection(kEvents), "NoSuchEntityEither");
    walks.build(events, platform::Value(platform::Array{eventItem("a")}));
    walks.resolve(events, *env.newContext());
    EXPECT_EQ(error, nullptr);
    EXPECT_FALSE(events->entities()->at(0)->existingObjectID());
}

TEST_F(LevelDataWalksTest, WritingReplacesTheLinesOfAnExistingObject) {
    auto first = built(orderItems(1, 1, 3));
    walks.resolve(first, *env.newContext());
    writeAndSave(first);

    // A second save run: walks of its own.
    ZQEntityDataCacheLevelDataWalks again{[] { return false; }, error};
    auto second = Level::create(orders, "Shop__Orders");
    again.build(second, platform::Value(platform::Array{orderItem(1, 0)}));
    again.resolve(second, *env.newContext());
    auto context = env.newContext();
    again.write(second, *context);
    ASSERT_EQ(error, nullptr);
    ASSERT_EQ(context->save(), nullptr);
    context = env.newContext();
    auto order = objectsWhere(*context, "Shop__Orders", "zqorderid", 1);
    ASSERT_EQ(order.size(), 1u);
    EXPECT_TRUE(related(order[0], "zqline").empty());
}

TEST_F(LevelDataWalksTest, AParentListsEachOfItsLinesOnceInOrderShortOrLong) {
    // The last line repeats the key of the third: one object, listed at its first place, for a
    // short list and for a long one alike.
    for (auto [id, lines] : {std::pair<int64_t, int>{7, 3}, {8, 20}}) {
        auto item = *orderItem(id, lines).dictionary();
        platform::Array lineItems = *item.get("Line").array();
        lineItems.push_back(platform::Value::dictionary(
            {{"LineId", id * 100 + 3}, {"ProductName", "Again"}, {"LineQty", 9}}));
        item.set("Line", platform::Value(std::move(lineItems)));
        ZQEntityDataCacheLevelDataWalks run{[] { return false; }, error};
        auto root = Level::create(orders, "Shop__Orders");
        run.build(root, platform::Value(platform::Array{platform::Value(item)}));
        run.resolve(root, *env.newContext());
        auto context = env.newContext();
        run.write(root, *context);
        ASSERT_EQ(error, nullptr) << error->description();
        ASSERT_EQ(context->save(), nullptr);
        auto reader = env.newContext();
        auto order = objectsWhere(*reader, "Shop__Orders", "zqorderid", id);
        ASSERT_EQ(order.size(), 1u);
        auto listed = related(order[0], "zqline");
        ASSERT_EQ(listed.size(), static_cast<size_t>(lines)) << lines;
        EXPECT_EQ(listed[2]->valueForKey("zqlineid"), platform::Value(id * 100 + 3));
        EXPECT_EQ(listed[2]->valueForKey("zqproductname"), platform::Value("Again"));
        EXPECT_EQ(listed.back()->valueForKey("zqlineid"), platform::Value(id * 100 + lines));
    }
}
}  // namespace
