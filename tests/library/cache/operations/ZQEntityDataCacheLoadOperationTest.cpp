#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheLoadOperation.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListBreakBy.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithListOrder.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "tests/library/cache/operations/CacheOperationTestSupport.hpp"

namespace {

using platform::Value;
using zqtest::kCachedOrders;
using zqtest::kLiveOrders;
using zqtest::kOrderDetail;
using Type = ZQEntityDataCacheLoadResultType;
using Sections = std::vector<std::vector<int64_t>>;

// Orders of Shop.Orders, as the application model declares them.
constexpr uint64_t kById = 0, kByName = 1, kByCategory = 2, kByPriority = 3;

class RecordingLoadDelegate : public ZQEntityDataCacheLoadOperationDelegate {
  public:
    void entityDataCacheLoadOperationDidFinishLoading(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& /*operation*/) override {
        ++finished;
    }
    void entityDataCacheLoadOperationDidFailLoadingWithError(
        const std::shared_ptr<ZQEntityDataCacheLoadOperation>& /*operation*/,
        const platform::ErrorPtr& error) override {
        platform::MutexLock lock(mutex_);
        errors_.push_back(error);
    }
    std::vector<platform::ErrorPtr> errors() const {
        platform::MutexLock lock(mutex_);
        return errors_;
    }
    std::atomic<int> finished{0};

  private:
    mutable platform::Mutex mutex_;
    std::vector<platform::ErrorPtr> errors_ GUARDED_BY(mutex_);
};

// Shop.Orders with orders, break-by and provider name of the test's choosing, for settings that
// the application model cannot hold.
class ListSettingsSource : public ZQWorkWithCollectionDataSource {
  public:
    ListSettingsSource(const std::shared_ptr<const ZQWorkWithData>& data,
                       ZQEntityListOrderDescriptors orders, std::vector<std::string> breakBy,
                       std::string providerName = kCachedOrders)
        : ZQWorkWithCollectionDataSource(data->workWithModel(), data, {}),
          orders_(std::move(orders)),
          provider_(std::move(providerName)) {
        if (!breakBy.empty()) breakBy_ = std::make_shared<ZQWorkWithListBreakBy>(fields(breakBy));
    }
    static ZQEntityDataFieldDescriptors fields(const std::vector<std::string>& names) {
        ZQEntityDataFieldDescriptors out;
        for (const auto& name : names) {
            out.push_back(std::make_shared<ZQWorkWithDataField>(name, 0, nullptr));
        }
        return out;
    }
    const std::string& entityDataSourceDataProviderName() const override { return provider_; }
    const ZQEntityListOrderDescriptors& entityDataSourceOrders() const override { return orders_; }
    std::shared_ptr<const ZQEntityListBreakByDescriptor> entityDataSourceBreakBy() const override {
        return breakBy_;
    }

  private:
    ZQEntityListOrderDescriptors orders_;
    std::shared_ptr<const ZQEntityListBreakByDescriptor> breakBy_;
    std::string provider_;
};

std::shared_ptr<const ZQEntityListOrderDescriptor> order(std::vector<std::string> fields,
                                                         bool groupBy, uint64_t upTo,
                                                         bool alphaIndex) {
    return std::make_shared<ZQWorkWithListOrder>(ListSettingsSource::fields(fields), groupBy, upTo,
                                                 alphaIndex);
}

Value namedOrder(int64_t id, const std::string& name) {
    platform::Dictionary item = *zqtest::orderItem(id, 1).dictionary();
    item.set("OrderName", name);
    return Value(std::move(item));
}

class LoadOperationTest : public ::testing::Test {
  protected:
    std::shared_ptr<const ZQEntityDataSourceDescriptor> orders() const {
        return env.collection(kCachedOrders);
    }
    std::shared_ptr<const ZQWorkWithData> ordersData() const {
        return env.appModel->dataProviderNamed(kCachedOrders);
    }

    void save(const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source, Value items,
              bool clearPrevious = true, ZQRange page = {}) {
        auto operation = env.saveOperation(source,
                                           source->entityDataSourceIsCollection()
                                               ? zqtest::collectionResult(std::move(items))
                                               : zqtest::singleItemResult(std::move(items)),
                                           clearPrevious, page);
        operation->setDelegate(saveDelegate);
        env.run(operation);
        ASSERT_TRUE(saveDelegate->failures().empty())
            << saveDelegate->failures().front()->description();
    }

    std::shared_ptr<ZQEntityDataCacheLoadOperation> loadOperation(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source, Type type,
        uint64_t orderIndex = ZQNotFound, bool breakBy = false, bool alphaIndex = false,
        std::optional<std::string> parameters = std::string("zqid=1")) {
        auto operation = ZQEntityDataCacheLoadOperation::create(
            zqtest::CacheOperationEnvironment::queryURL(source), std::move(parameters),
            env.coordinator(), source, type, orderIndex, breakBy, alphaIndex);
        operation->setDelegate(delegate);
        return operation;
    }
    std::shared_ptr<ZQEntityDataCacheLoadOperation> load(
        const std::shared_ptr<const ZQEntityDataSourceDescriptor>& source, Type type,
        uint64_t orderIndex = ZQNotFound, bool breakBy = false, bool alphaIndex = false,
        std::optional<std::string> parameters = std::string("zqid=1")) {
        auto operation =
            loadOperation(source, type, orderIndex, breakBy, alphaIndex, std::move(parameters));
        env.run(operation);
        return operation;
    }

    // The OrderId of every entity data in the sections, read in a context of the test's own.
    Sections orderIds(const Value& sections) const {
        auto context = env.newContext();
        Sections out;
        for (const auto& section : sections.array() ? *sections.array() : platform::Array{}) {
            auto& ids = out.emplace_back();
            for (const auto& id : section.array() ? *section.array() : platform::Array{}) {
                auto object = context->objectWithID(
                    std::dynamic_pointer_cast<const platform::ManagedObjectID>(id.objectID()));
                ids.push_back(object ? object->valueForKey("zqorderid").integer().value_or(-1)
                                     : -1);
            }
        }
        return out;
    }

    void expectSucceeded(const ZQEntityDataCacheLoadOperation& operation) const {
        EXPECT_EQ(delegate->finished, 1);
        EXPECT_TRUE(delegate->errors().empty());
        EXPECT_EQ(operation.error(), nullptr);
    }

    void expectFailedWith(const ZQEntityDataCacheLoadOperation& operation,
                          const std::string& developerDescription) const {
        auto errors = delegate->errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(delegate->finished, 0);
        const auto& error = errors.front();
        EXPECT_EQ(error->domain(), ZQErrorDomain);
        EXPECT_EQ(error->code(), ZQErrorCodeUnknown);
        EXPECT_EQ(developerDescriptionOfError(error), developerDescription);
        // The record was found before the failure: nothing of it is left for the manager.
        EXPECT_EQ(operation.queryObjectId(), nullptr);
        EXPECT_EQ(operation.count(), 0u);
        EXPECT_TRUE(operation.loadedEntities().isAbsent());
        EXPECT_TRUE(operation.loadedAlphaIndexTitles().isAbsent());
    }

    zqtest::CacheOperationEnvironment env;
    std::shared_ptr<zqtest::RecordingSaveDelegate> saveDelegate =
        std::make_shared<zqtest::RecordingSaveDelegate>();
    std::shared_ptr<RecordingLoadDelegate> delegate = std::make_shared<RecordingLoadDelegate>();
};

// ---- the record and the rows, on both stores

class LoadOnBothStoresTest : public LoadOperationTest,
                             public ::testing::WithParamInterface<const char*> {
  protected:
    std::shared_ptr<const ZQEntityDataSourceDescriptor> source() const {
        return env.collection(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(BothStores, LoadOnBothStoresTest,
                         ::testing::Values(kCachedOrders, kLiveOrders));

TEST_P(LoadOnBothStoresTest, TheRecordOfTwoPagesCountsAll27RowsAndReadsNoRows) {
    save(source(), zqtest::orderItems(1, 20), true, {0, 20});
    save(source(), zqtest::orderItems(21, 7), false, {20, 20});

    auto record = load(source(), Type::record);
    expectSucceeded(*record);
    auto cached = zqtest::cachedQuery(*env.newContext(), source());
    ASSERT_TRUE(cached);
    ASSERT_TRUE(record->queryObjectId());
    EXPECT_EQ(*record->queryObjectId(), *cached->id);
    EXPECT_EQ(record->count(), 27u);
    EXPECT_TRUE(record->loadedEntities().isAbsent());
}

TEST_P(LoadOnBothStoresTest, RowsComeBackInRowIdOrderAsOneSectionWithoutOrder) {
    save(source(), zqtest::orderItems(1, 3), true, {0, 3});
    // Order 1 is already a row of the query: it is reused with rowId 5, so it now reads after 4.
    save(source(),
         Value(platform::Array{zqtest::orderItem(4), zqtest::orderItem(1), zqtest::orderItem(5)}),
         false, {3, 3});

    auto rows = load(source(), Type::rows);
    expectSucceeded(*rows);
    EXPECT_EQ(orderIds(rows->loadedEntities()), (Sections{{2, 3, 4, 1, 5}}));
    EXPECT_EQ(rows->count(), 5u);
    // Kept as row numbers, from which the identifiers above were made.
    auto kept = rows->loadedRows();
    ASSERT_TRUE(kept && kept->sections.size() == 1u && kept->sections[0].size() == 5u);
    for (size_t i = 0; i < 5; ++i) {
        auto id = platform::objectIDFromValue(rows->loadedEntities().at(0).at(i));
        ASSERT_TRUE(id);
        EXPECT_EQ(id->number(), kept->sections[0][i]);
        EXPECT_EQ(id->entity(), kept->entity);
    }
    EXPECT_TRUE(rows->queryObjectId());
    EXPECT_TRUE(rows->loadedAlphaIndexTitles().isAbsent());
    EXPECT_TRUE(rows->loadedSectionsRangeByAlphaIndexTitles().isAbsent());
}

TEST_P(LoadOnBothStoresTest, AQueryNeverCachedSucceedsWithNothing) {
    // The same provider cached under other parameters is another query.
    save(source(), zqtest::orderItems(1, 2));
    for (Type type : {Type::record, Type::rows}) {
        auto operation = load(source(), type, ZQNotFound, false, false, std::nullopt);
        EXPECT_EQ(operation->queryObjectId(), nullptr);
        EXPECT_EQ(operation->count(), 0u);
        EXPECT_TRUE(operation->loadedEntities().isAbsent());
    }
    EXPECT_EQ(delegate->finished, 2);
    EXPECT_TRUE(delegate->errors().empty());
}

TEST_P(LoadOnBothStoresTest, ACachedQueryWithoutRowsIsOneEmptySection) {
    save(source(), Value(platform::Array{}));
    auto rows = load(source(), Type::rows);
    expectSucceeded(*rows);
    EXPECT_TRUE(rows->queryObjectId());
    EXPECT_EQ(rows->count(), 0u);
    ASSERT_EQ(rows->loadedEntities().count(), 1u);
    EXPECT_EQ(rows->loadedEntities().at(0).count(), 0u);
}

// ---- sections and the alphabetic index

TEST_F(LoadOperationTest, TheNameIndexCutsTitlesAndSectionsInRowOrderWhenTheQueryAllowsIt) {
    save(orders(), Value(platform::Array{namedOrder(1, "Apple"), namedOrder(2, "Avocado"),
                                         namedOrder(3, "banana"), namedOrder(4, "Cherry"),
                                         namedOrder(5, "7up"), namedOrder(6, "")}));
    auto rows = load(orders(), Type::rows, kByName, false, true);
    expectSucceeded(*rows);
    EXPECT_EQ(orderIds(rows->loadedEntities()), (Sections{{1, 2}, {3}, {4}, {5, 6}}));
    EXPECT_EQ(rows->loadedAlphaIndexTitles(), Value::array({"A", "B", "C", "#"}));
    Value ranges = rows->loadedSectionsRangeByAlphaIndexTitles();
    EXPECT_EQ(ranges.count(), 4u);
    EXPECT_EQ(ranges["C"],
              Value::dictionary({{ZQEntityDataCacheSectionsBuilder::kRangeLocationKey, 2},
                                 {ZQEntityDataCacheSectionsBuilder::kRangeLengthKey, 1}}));
    EXPECT_EQ(rows->count(), 6u);

    // With break-by the sections follow the regions (North, South, South, North, North, South)
    // and the titles change on their own.
    auto regions = load(orders(), Type::rows, kByName, true, true);
    EXPECT_EQ(orderIds(regions->loadedEntities()), (Sections{{1}, {2, 3}, {4, 5}, {6}}));
    EXPECT_EQ(regions->loadedAlphaIndexTitles(), Value::array({"A", "B", "C", "#"}));

    auto plain = load(orders(), Type::rows, kByName, false, false);
    EXPECT_EQ(orderIds(plain->loadedEntities()), (Sections{{1, 2, 3, 4, 5, 6}}));
    EXPECT_TRUE(plain->loadedAlphaIndexTitles().isAbsent());
    EXPECT_TRUE(plain->loadedSectionsRangeByAlphaIndexTitles().isAbsent());
}

TEST_F(LoadOperationTest, AnIndexOnANumericFieldGivesNoIndexAndNoError) {
    save(orders(), zqtest::orderItems(1, 4));
    auto rows = load(orders(), Type::rows, kByPriority, false, true);
    expectSucceeded(*rows);
    EXPECT_EQ(orderIds(rows->loadedEntities()), (Sections{{1, 2, 3, 4}}));
    EXPECT_TRUE(rows->loadedAlphaIndexTitles().isAbsent());
}

TEST_F(LoadOperationTest, GroupByCutsConsecutiveRowsOfOneCategoryOnlyWhenBreakByIsEnabled) {
    // Even ids are "Even", odd ones "Odd"; the server sent them grouped.
    save(orders(),
         Value(platform::Array{zqtest::orderItem(2), zqtest::orderItem(4), zqtest::orderItem(6),
                               zqtest::orderItem(1), zqtest::orderItem(3)}));
    auto grouped = load(orders(), Type::rows, kByCategory, true, false);
    EXPECT_EQ(orderIds(grouped->loadedEntities()), (Sections{{2, 4, 6}, {1, 3}}));
    EXPECT_TRUE(grouped->loadedAlphaIndexTitles().isAbsent());
    ASSERT_TRUE(grouped->loadedRows());
    EXPECT_EQ(grouped->loadedRows()->sections.size(), 2u);

    // A search whose filter drops break-by: the order's group-by does not apply either.
    auto searched = load(orders(), Type::rows, kByCategory, false, false);
    EXPECT_EQ(orderIds(searched->loadedEntities()), (Sections{{2, 4, 6, 1, 3}}));
}

TEST_F(LoadOperationTest, GroupingTellsAMissingCategoryFromAnEmptyOneAndFromTheNextRun) {
    auto withCategory = [](int64_t id, Value category) {
        platform::Dictionary item = *zqtest::orderItem(id).dictionary();
        item.set("Category", std::move(category));
        return Value(std::move(item));
    };
    // In row order: none, none, "", "", "Odd", none.
    save(orders(),
         Value(platform::Array{withCategory(1, Value::null()), withCategory(2, Value::null()),
                               withCategory(3, Value("")), withCategory(4, Value("")),
                               withCategory(5, Value("Odd")), withCategory(6, Value::null())}));
    auto grouped = load(orders(), Type::rows, kByCategory, true, false);
    EXPECT_EQ(orderIds(grouped->loadedEntities()), (Sections{{1, 2}, {3, 4}, {5}, {6}}));
}

TEST_F(LoadOperationTest, TheDataSourcesBreakByGroupsWhenTheOrderDoesNot) {
    // Regions: ids 1, 4, 5, 8 are North, 2, 3, 6, 7 South.
    save(orders(), zqtest::orderItems(1, 8));
    const Sections byRegion{{1}, {2, 3}, {4, 5}, {6, 7}, {8}};
    EXPECT_EQ(orderIds(load(orders(), Type::rows, kById, true)->loadedEntities()), byRegion);
    EXPECT_EQ(orderIds(load(orders(), Type::rows, ZQNotFound, true)->loadedEntities()), byRegion);
    // Group-by up to an index past the order's fields groups nothing: break-by takes over.
    auto source = std::make_shared<ListSettingsSource>(
        ordersData(), ZQEntityListOrderDescriptors{order({"Category"}, true, 1, false)},
        std::vector<std::string>{"Region"});
    EXPECT_EQ(orderIds(load(source, Type::rows, 0, true)->loadedEntities()), byRegion);
    EXPECT_EQ(delegate->finished, 3);
}

TEST_F(LoadOperationTest, AGroupingOrIndexFieldMissingFromTheCacheFailsNamingIt) {
    save(orders(), zqtest::orderItems(1, 3));
    struct Case {
        ZQEntityListOrderDescriptors orders;
        std::vector<std::string> breakBy;
        const char* message;
    };
    const Case cases[] = {
        {{order({"OrderName", "Missing"}, true, 1, false)},
         {},
         "Order Field To Break By Not Found: Missing"},
        {{order({""}, true, 0, false)}, {}, "Order Field To Break By Not Found: "},
        {{order({"Missing"}, false, ZQNotFound, true)},
         {},
         "Order Field To Index By Not Found: Missing"},
        {{}, {"Region", "Nope"}, "Break By Field Not Found: Nope"},
    };
    for (const auto& c : cases) {
        delegate = std::make_shared<RecordingLoadDelegate>();
        auto source = std::make_shared<ListSettingsSource>(ordersData(), c.orders, c.breakBy);
        auto rows = load(source, Type::rows, c.orders.empty() ? ZQNotFound : 0, true, true);
        expectFailedWith(*rows, c.message);
    }
}

// ---- single items

TEST_F(LoadOperationTest, ASingleItemReadsItsRecordAndItsOneEntityData) {
    auto detail = env.singleItem(kOrderDetail);
    save(detail, zqtest::orderItem(7));

    auto record = load(detail, Type::record);
    EXPECT_TRUE(record->queryObjectId());
    EXPECT_EQ(record->count(), 1u);
    EXPECT_TRUE(record->loadedEntities().isAbsent());

    // One entity data, not a section of them.
    auto rows = load(detail, Type::rows);
    EXPECT_EQ(rows->count(), 1u);
    EXPECT_EQ(orderIds(Value(platform::Array{rows->loadedEntities()})), (Sections{{7}}));
    EXPECT_EQ(delegate->finished, 2);
}

TEST_F(LoadOperationTest, ASingleItemRecordWithoutEntityDataReadsAsNotCached) {
    auto detail = env.singleItem(kOrderDetail);
    auto context = env.newContext();
    auto record = context->insertNewObject("_QueryShop__Order__Detail");
    ASSERT_TRUE(record);
    platform::Date now = platform::Date::now();
    ASSERT_EQ(
        record->setValuesForKeysWithDictionary(
            {{"queryBaseUri", zqtest::CacheOperationEnvironment::queryURL(detail).absoluteString()},
             {"queryParameters", "zqid=1"},
             {"timeStamp", Value(now)},
             {"dataTimeStamp", Value(now)}}),
        nullptr);
    ASSERT_EQ(context->save(), nullptr);

    for (Type type : {Type::record, Type::rows}) {
        auto operation = load(detail, type);
        EXPECT_EQ(operation->queryObjectId(), nullptr);
        EXPECT_EQ(operation->count(), 0u);
        EXPECT_TRUE(operation->loadedEntities().isAbsent());
    }
    EXPECT_EQ(delegate->finished, 2);
    EXPECT_TRUE(delegate->errors().empty());
}

// ---- reading while saving

TEST_F(LoadOperationTest, ReadersSeeAWholeSaveOrNoneOfIt) {
    // Every save replaces the query's 30 rows with 30 others; a reader must never see a mix.
    std::vector<std::shared_ptr<platform::Operation>> operations;
    std::vector<std::shared_ptr<ZQEntityDataCacheLoadOperation>> readers;
    for (int round = 0; round < 6; ++round) {
        auto save = env.saveOperation(
            orders(), zqtest::collectionResult(zqtest::orderItems(round * 100, 30)), true, {0, 0});
        save->setDelegate(saveDelegate);
        operations.push_back(save);
        for (int reader = 0; reader < 3; ++reader) {
            readers.push_back(loadOperation(orders(), Type::rows, kByCategory, true, false));
            operations.push_back(readers.back());
        }
    }
    // A reader whose delegate is gone still reads.
    readers.back()->setDelegate(nullptr);
    env.runAll(operations);
    EXPECT_TRUE(saveDelegate->failures().empty());
    EXPECT_TRUE(delegate->errors().empty());
    EXPECT_EQ(delegate->finished, static_cast<int>(readers.size()) - 1);
    for (const auto& reader : readers) {
        if (!reader->queryObjectId()) continue;  // ran before the first save
        ASSERT_EQ(reader->count(), 30u);
        std::set<int64_t> rounds;
        size_t rows = 0;
        for (const auto& section : orderIds(reader->loadedEntities())) {
            rows += section.size();
            for (int64_t id : section) rounds.insert(id / 100);
        }
        EXPECT_EQ(rows, 30u);
        EXPECT_EQ(rounds.size(), 1u) << "rows of two saves in one read";
    }
}

}  // namespace
