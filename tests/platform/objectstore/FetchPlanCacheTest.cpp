// Fetches of one shape share a prepared statement, and only the shape may decide the SQL: these
// requests run one after another on one store (one pooled reader), each with values or a shape
// that a wrong plan key would answer with another request's rows.
#include <gtest/gtest.h>

#include <set>

#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;
using RT = FetchRequest::ResultType;

namespace {

class FetchPlanCacheTest : public zqtest::ObjectStoreTest {
  protected:
    // Items with keys 1..6; key 5 has no name, key 6 no key at all (so it is item 6 by name).
    void SetUp() override {
        ObjectStoreTest::SetUp();
        auto context = newContext();
        for (int64_t key = 1; key <= 6; ++key) {
            Dictionary values{{"price", Value(*Decimal::fromString("19.99"))}};
            if (key != 6) values.set("key", key);
            if (key != 5) values.set("name", "item " + std::to_string(key));
            items_.push_back(insert(*context, "Item", values));
            insert(
                *context, "Row",
                {{"rowId", static_cast<int>(key)}, {"entityData", Value::object(items_.back())}});
        }
        ASSERT_NO_STORE_ERROR(context->save());
        context_ = newContext();
    }

    // The names of the fetched items, in fetch order ("-" for no name).
    std::vector<std::string> names(const FetchRequest& request) {
        auto result = context_->executeFetchRequest(request);
        EXPECT_FALSE(result.error) << result.error->description();
        std::vector<std::string> out;
        for (const auto& object : result.objects()) {
            auto name = object->valueForKey("name");
            out.emplace_back(name.string() ? *name.string() : "-");
        }
        return out;
    }
    static FetchRequest items(PredicatePtr predicate) {
        FetchRequest request("Item");
        request.setPredicate(std::move(predicate));
        request.setSortDescriptors({{"name", true}});
        return request;
    }
    using Names = std::vector<std::string>;

    std::vector<std::shared_ptr<ManagedObject>> items_;
    std::shared_ptr<ManagedObjectContext> context_;
};

}  // namespace

TEST_P(FetchPlanCacheTest, EqualityWithNewValuesAndOtherKindsOfMatch) {
    for (int64_t key = 1; key <= 4; ++key) {
        EXPECT_EQ(names(items(Predicate::equal("key", key))), Names{"item " + std::to_string(key)});
    }
    // The null value matches missing values; a value the attribute cannot hold matches nothing.
    EXPECT_EQ(names(items(Predicate::equal("name", Value::null()))), Names{"-"});
    EXPECT_EQ(names(items(Predicate::equal("key", Value::null()))), Names{"item 6"});
    EXPECT_TRUE(names(items(Predicate::equal("key", Value("not a number")))).empty());
    EXPECT_EQ(names(items(Predicate::equal("key", 2))), Names{"item 2"});
    EXPECT_EQ(names(items(Predicate::equal("name", "item 3"))), Names{"item 3"});
    // The same shape through a to-one key path, on another entity.
    FetchRequest rows("Row");
    rows.setResultType(RT::Dictionary);
    rows.setPropertiesToFetch({"rowId"});
    for (int key = 1; key <= 3; ++key) {
        rows.setPredicate(Predicate::equal("entityData.key", key));
        auto result = context_->executeFetchRequest(rows);
        ASSERT_EQ(result.results.size(), 1u);
        EXPECT_EQ(result.results[0].dictionary()->get("rowId"), Value(key));
    }
}

TEST_P(FetchPlanCacheTest, MembershipListsOfEveryLengthAndWithNull) {
    EXPECT_EQ(names(items(Predicate::in("key", {1, 2}))), (Names{"item 1", "item 2"}));
    EXPECT_EQ(names(items(Predicate::in("key", {3, 4}))), (Names{"item 3", "item 4"}));
    EXPECT_EQ(names(items(Predicate::in("key", {4}))), Names{"item 4"});
    EXPECT_EQ(names(items(Predicate::in("key", {1, 2, 3}))), (Names{"item 1", "item 2", "item 3"}));
    EXPECT_EQ(names(items(Predicate::in("key", {Value::null(), 2}))), (Names{"item 2", "item 6"}));
    EXPECT_EQ(names(items(Predicate::in("key", {Value::null()}))), Names{"item 6"});
    EXPECT_TRUE(names(items(Predicate::in("key", {}))).empty());
    // Identifiers: of this store, then of objects never saved (they match nothing).
    auto unsaved = context_->insertNewObject("Item");
    FetchRequest byObject("Item");
    byObject.setPredicate(
        Predicate::comparison(Expression::expressionForEvaluatedObject(), Predicate::Operator::In,
                              Expression::expressionForConstantValue(
                                  Value::array({Value::objectID(items_[0]->objectID())}))));
    EXPECT_EQ(names(byObject), Names{"item 1"});
    byObject.setPredicate(
        Predicate::comparison(Expression::expressionForEvaluatedObject(), Predicate::Operator::In,
                              Expression::expressionForConstantValue(
                                  Value::array({Value::objectID(unsaved->objectID())}))));
    EXPECT_TRUE(names(byObject).empty());
}

TEST_P(FetchPlanCacheTest, LimitsSortsPropertiesAndResultTypesGetTheirOwnStatements) {
    FetchRequest request = items(Predicate::in("key", {1, 2, 3, 4}));
    request.setFetchLimit(2);
    EXPECT_EQ(names(request), (Names{"item 1", "item 2"}));
    request.setFetchLimit(3);
    EXPECT_EQ(names(request), (Names{"item 1", "item 2", "item 3"}));
    request.setFetchLimit(0);
    EXPECT_EQ(names(request).size(), 4u);
    request.setSortDescriptors({{"name", false}});
    EXPECT_EQ(names(request), (Names{"item 4", "item 3", "item 2", "item 1"}));

    request.setResultType(RT::Count);
    EXPECT_EQ(context_->countForFetchRequest(request).count, 4);
    request.setResultType(RT::ManagedObjectID);
    EXPECT_EQ(context_->executeFetchRequest(request).results.size(), 4u);
    request.setResultType(RT::Dictionary);
    request.setPropertiesToFetch({"key"});
    auto keys = context_->executeFetchRequest(request).results;
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].dictionary()->keys(), std::vector<std::string>{"key"});
    request.setPropertiesToFetch({"name", "price"});
    auto named = context_->executeFetchRequest(request).results;
    ASSERT_EQ(named.size(), 4u);
    EXPECT_EQ(named[0].dictionary()->get("name"), Value("item 4"));
    EXPECT_EQ(named[0].dictionary()->get("price").decimal()->text(), "19.99");
}

// Rows read one after another share the text they repeat; what they do not repeat is their own.
TEST_P(FetchPlanCacheTest, RepeatedTextIsSharedNeverConfused) {
    auto writer = newContext();
    std::string longNote(300, 'n');
    for (const auto& item : items_) {
        auto mine = writer->objectWithID(item->objectID());
        ASSERT_NO_STORE_ERROR(mine->setValueForKey(Value(longNote), "name"));
    }
    auto changed = writer->objectWithID(items_[2]->objectID());
    ASSERT_NO_STORE_ERROR(changed->setValueForKey(Value(longNote + "!"), "name"));
    ASSERT_NO_STORE_ERROR(changed->setValueForKey(Value(*Decimal::fromString("19.98")), "price"));
    ASSERT_NO_STORE_ERROR(writer->save());
    for (int64_t key = 1; key <= 4; ++key) {
        FetchRequest one("Item");
        one.setPredicate(Predicate::equal("key", key));
        auto reader = newContext();
        auto fetched = reader->executeFetchRequest(one).objects();
        ASSERT_EQ(fetched.size(), 1u);
        EXPECT_EQ(fetched[0]->valueForKey("name"), Value(key == 3 ? longNote + "!" : longNote));
        EXPECT_EQ(fetched[0]->valueForKey("price"),
                  Value(*Decimal::fromString(key == 3 ? "19.98" : "19.99")));
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, FetchPlanCacheTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);
