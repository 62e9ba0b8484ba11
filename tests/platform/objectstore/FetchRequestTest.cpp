#include "platform/objectstore/FetchRequest.hpp"

#include <gtest/gtest.h>

#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;
using RT = FetchRequest::ResultType;

namespace {

// Two cached queries (one without parameters) with rows pointing at items, as the cache keeps
// them.
class FetchRequestTest : public zqtest::ObjectStoreTest {
  protected:
    void SetUp() override {
        ObjectStoreTest::SetUp();
        auto context = newContext();
        withParameters_ = insert(*context, "Query",
                                 {{"queryBaseUri", "http://h/rest/A"},
                                  {"queryParameters", "order=1"},
                                  {"complete", true}});
        withoutParameters_ = insert(*context, "Query", {{"queryBaseUri", "http://h/rest/A"}});
        insert(*context, "Query", {{"queryBaseUri", "http://h/rest/A"}, {"queryParameters", ""}});
        const char* names[] = {"pear", "apple", "fig", "kiwi"};
        for (int i = 0; i < 4; ++i) {
            auto item = insert(*context, "Item",
                               {{"key", i},
                                {"name", names[i]},
                                {"price", Value(*Decimal::fromString(std::to_string(i) + ".50"))},
                                {"active", i % 2 == 0}});
            items_.push_back(item);
            insert(*context, "Row",
                   {{"rowId", 4 - i},
                    {"query", Value::object(withParameters_)},
                    {"entityData", Value::object(item)}});
        }
        ASSERT_NO_STORE_ERROR(context->save());
    }

    // Each fetch in a fresh context, kept alive for the objects it returns.
    Array fetch(const FetchRequest& request) {
        readers_.push_back(newContext());
        auto result = readers_.back()->executeFetchRequest(request);
        EXPECT_FALSE(result.error) << result.error->description();
        return result.results;
    }
    FetchRequest rowsOf(const std::shared_ptr<ManagedObject>& query) {
        FetchRequest request("Row");
        request.setPredicate(Predicate::equal("query", Value::objectID(query->objectID())));
        request.setSortDescriptors({{"rowId", true}});
        return request;
    }

    std::shared_ptr<ManagedObject> withParameters_, withoutParameters_;
    std::vector<std::shared_ptr<ManagedObject>> items_;
    std::vector<std::shared_ptr<ManagedObjectContext>> readers_;
};

}  // namespace

TEST_P(FetchRequestTest, EqualToNullMatchesOnlyMissingValuesAndAndCombines) {
    auto byKey = [&](const Value& parameters) {
        FetchRequest request("Query");
        request.setFetchLimit(1);
        request.setResultType(RT::ManagedObjectID);
        request.setPredicate(Predicate::andPredicateWithSubpredicates(
            {Predicate::equal("queryBaseUri", "http://h/rest/A"),
             Predicate::equal("queryParameters", parameters)}));
        return fetch(request);
    };
    auto found = byKey(Value::null());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], Value::objectID(withoutParameters_->objectID()));
    ASSERT_EQ(byKey(Value("order=1")).size(), 1u);
    EXPECT_EQ(byKey(Value("order=1"))[0], Value::objectID(withParameters_->objectID()));
    ASSERT_EQ(byKey(Value("")).size(), 1u);
    EXPECT_NE(byKey(Value(""))[0], Value::objectID(withoutParameters_->objectID()));
    EXPECT_TRUE(byKey(Value("other")).empty());
}

TEST_P(FetchRequestTest, SubstitutionVariablesAreFilledBeforeFetching) {
    auto pattern = Predicate::andPredicateWithSubpredicates(
        {Predicate::equalToVariable("key", "key"), Predicate::equalToVariable("active", "active")});
    FetchRequest request("Item");
    request.setPredicate(pattern->predicateWithSubstitutionVariables({{"key", 2}, {"active", 1}}));
    auto found = fetch(request);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(std::dynamic_pointer_cast<ManagedObject>(found[0].object())->valueForKey("name"),
              Value("fig"));
    request.setPredicate(
        pattern->predicateWithSubstitutionVariables({{"key", 2}, {"active", false}}));
    EXPECT_TRUE(fetch(request).empty());
    // A variable left without a value is an error, not a match-all.
    request.setPredicate(pattern->predicateWithSubstitutionVariables({{"key", 2}}));
    auto failed = newContext()->executeFetchRequest(request);
    EXPECT_TRUE(failed.error);
    EXPECT_TRUE(failed.results.empty());
}

TEST_P(FetchRequestTest, InComparesWithIdentifiersObjectsAndNull) {
    FetchRequest request("Row");
    request.setResultType(RT::ManagedObjectID);
    request.setPredicate(Predicate::andPredicateWithSubpredicates(
        {Predicate::equal("query", Value::object(withParameters_)),
         Predicate::in("entityData", {Value::objectID(items_[0]->objectID()),
                                      Value::object(items_[3]), Value::objectID(nullptr)})}));
    EXPECT_EQ(fetch(request).size(), 2u);
    request.setPredicate(Predicate::in("entityData", {}));
    EXPECT_TRUE(fetch(request).empty());
    request.setPredicate(Predicate::in("rowId", {}));
    EXPECT_TRUE(fetch(request).empty());
    FetchRequest items("Item");
    items.setPredicate(Predicate::in("name", {"fig", Value::null(), "none"}));
    EXPECT_EQ(fetch(items).size(), 1u);
    // A decimal matches whatever its text looks like.
    items.setPredicate(Predicate::equal("price", Value(*Decimal::fromString("1.5000"))));
    EXPECT_EQ(fetch(items).size(), 1u);
}

TEST_P(FetchRequestTest, KeyPathsThroughToOneRelationshipsFilterSortAndProject) {
    FetchRequest request("Row");
    request.setPredicate(Predicate::equal("entityData.name", "kiwi"));
    EXPECT_EQ(fetch(request).size(), 1u);
    request.setPredicate(nullptr);
    request.setSortDescriptors({{"entityData.name", false}});
    request.setResultType(RT::Dictionary);
    request.setPropertiesToFetch({"entityData.name"});
    auto rows = fetch(request);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["entityData.name"], Value("pear"));
    EXPECT_EQ(rows[3]["entityData.name"], Value("apple"));
}

TEST_P(FetchRequestTest, DictionaryResultsCarryIdentifiersAttributesAndCounts) {
    // The cache's read of a query's rows: identifiers of the items and two of their attributes.
    FetchRequest request = rowsOf(withParameters_);
    request.setResultType(RT::Dictionary);
    request.setPropertiesToFetch(
        {ExpressionDescription("objectID", Expression::expressionForKeyPath("entityData"),
                               AttributeType::ObjectID),
         ExpressionDescription("qeRelObjID", Expression::expressionForEvaluatedObject(),
                               AttributeType::ObjectID),
         ExpressionDescription("zqname", Expression::expressionForKeyPath("entityData.name"),
                               AttributeType::String),
         ExpressionDescription("zqactive", Expression::expressionForKeyPath("entityData.active"),
                               AttributeType::Boolean)});
    auto rows = fetch(request);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["objectID"], Value::objectID(items_[3]->objectID()));  // rowId 1
    EXPECT_EQ(rows[0]["zqname"], Value("kiwi"));
    EXPECT_EQ(rows[0]["zqactive"].kind(), Value::Kind::Bool);
    EXPECT_TRUE(objectIDFromValue(rows[0]["qeRelObjID"]));
    EXPECT_EQ(objectIDFromValue(rows[0]["qeRelObjID"])->entity()->name(), "Row");

    // The record read: the query's identifier and the number of its rows.
    FetchRequest record("Query");
    record.setResultType(RT::Dictionary);
    record.setPredicate(Predicate::equal("queryBaseUri", "http://h/rest/A"));
    record.setSortDescriptors({{"queryParameters", false}});
    record.setPropertiesToFetch(
        {ExpressionDescription("objectID", Expression::expressionForEvaluatedObject(),
                               AttributeType::ObjectID),
         ExpressionDescription("count",
                               Expression::expressionForFunction(
                                   "count:", {Expression::expressionForKeyPath("queryEntities")}),
                               AttributeType::Integer64),
         "queryParameters"});
    auto records = fetch(record);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]["objectID"], Value::objectID(withParameters_->objectID()));
    EXPECT_EQ(records[0]["count"], Value(4));
    EXPECT_EQ(records[2]["count"], Value(0));
    EXPECT_FALSE(records[2].dictionary()->contains("queryParameters"));  // no value: no key

    // count: over link-table relationships, both sides.
    auto context = newContext();
    auto item = context->objectWithID(items_[0]->objectID());
    auto tag = context->insertNewObject("Tag");
    auto line = context->insertNewObject("Line");
    ASSERT_FALSE(item->setValueForKey(Value(Array{Value::object(tag)}), "tags"));
    ASSERT_FALSE(item->setValueForKey(Value(Array{Value::object(line)}), "zqlines"));
    ASSERT_NO_STORE_ERROR(context->save());
    FetchRequest counts("Item");
    counts.setResultType(RT::Dictionary);
    counts.setPredicate(Predicate::equal("key", 0));
    auto count = [](const char* path) {
        return ExpressionDescription(
            path,
            Expression::expressionForFunction("count:", {Expression::expressionForKeyPath(path)}),
            AttributeType::Integer64);
    };
    counts.setPropertiesToFetch({count("tags"), count("zqlines"), count("entityQueries")});
    auto itemCounts = fetch(counts);
    ASSERT_EQ(itemCounts.size(), 1u);
    EXPECT_EQ(itemCounts[0],
              Value::dictionary({{"tags", 1}, {"zqlines", 1}, {"entityQueries", 1}}));
    FetchRequest lineCounts("Line");
    lineCounts.setResultType(RT::Dictionary);
    lineCounts.setPropertiesToFetch({count("parentLevel")});
    EXPECT_EQ(fetch(lineCounts)[0]["parentLevel"], Value(1));
}

TEST_P(FetchRequestTest, RowByRowReadsGiveWhatDictionariesHoldAndFindObjectsByRow) {
    FetchRequest request = rowsOf(withParameters_);
    request.setResultType(RT::Dictionary);
    request.setPropertiesToFetch(
        {ExpressionDescription("objectID", Expression::expressionForKeyPath("entityData"),
                               AttributeType::ObjectID),
         ExpressionDescription("zqname", Expression::expressionForKeyPath("entityData.name"),
                               AttributeType::String),
         ExpressionDescription("zqactive", Expression::expressionForKeyPath("entityData.active"),
                               AttributeType::Boolean)});
    Array dictionaries = fetch(request);
    auto context = newContext();
    size_t seen = 0;
    ASSERT_FALSE(context->enumerateFetchRequest(request, [&](const FetchedRow& row) {
        const Value& expected = dictionaries.at(seen++);
        EXPECT_EQ(row.size(), 3u);
        EXPECT_EQ(row.value(0), expected["objectID"]);
        EXPECT_EQ(row.value(1), expected["zqname"]);
        EXPECT_EQ(row.value(2), expected["zqactive"]);
        EXPECT_EQ(row.text(1), std::optional<std::string_view>(*expected["zqname"].string()));
        EXPECT_EQ(row.text(2), std::nullopt);  // not a string output
        auto id = objectIDFromValue(expected["objectID"]);
        EXPECT_EQ(row.rowNumber(0), id->number());
        EXPECT_EQ(row.rowNumber(1), 0);
        EXPECT_EQ(row.store(), store_);
        // The object of a row: a new fault first, then the registered one.
        auto object =
            context->objectWithRowID(row.identifierEntity(0), row.store(), row.rowNumber(0));
        EXPECT_TRUE(object && *object->objectID() == *id);
        EXPECT_EQ(context->objectWithRowID(row.identifierEntity(0), row.store(), row.rowNumber(0)),
                  object);
        EXPECT_EQ(context->objectWithID(id), object);
        return true;
    }));
    EXPECT_EQ(seen, 4u);
    // A fault made by row reads its values on first access.
    EXPECT_EQ(context->objectWithID(items_[0]->objectID())->valueForKey("name"), Value("pear"));

    // The limit and the visitor both stop the read; other result types are refused.
    request.setFetchLimit(3);
    seen = 0;
    ASSERT_FALSE(context->enumerateFetchRequest(request, [&](const FetchedRow&) {
        ++seen;
        return true;
    }));
    EXPECT_EQ(seen, 3u);
    seen = 0;
    ASSERT_FALSE(
        context->enumerateFetchRequest(request, [&](const FetchedRow&) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2u);
    request.setResultType(RT::ManagedObjectID);
    EXPECT_TRUE(context->enumerateFetchRequest(request, [](const FetchedRow&) { return true; }));
}

TEST_P(FetchRequestTest, SortsLimitsCountsAndObjectResults) {
    FetchRequest request = rowsOf(withParameters_);
    request.setFetchLimit(2);
    auto rows = fetch(request);
    ASSERT_EQ(rows.size(), 2u);
    auto first = std::dynamic_pointer_cast<ManagedObject>(rows[0].object());
    EXPECT_EQ(first->valueForKey("rowId"), Value(1));
    EXPECT_FALSE(first->isFault());

    FetchRequest byName("Item");
    byName.setSortDescriptors({{"active", false}, {"name", true}});
    auto names = fetch(byName);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(std::dynamic_pointer_cast<ManagedObject>(names[0].object())->valueForKey("name"),
              Value("fig"));

    auto context = newContext();
    EXPECT_EQ(context->countForFetchRequest(rowsOf(withParameters_)).count, 4);
    FetchRequest counting = rowsOf(withParameters_);
    counting.setResultType(RT::Count);
    EXPECT_EQ(context->executeFetchRequest(counting).results, Array{Value(4)});
    counting.setFetchLimit(3);
    EXPECT_EQ(context->countForFetchRequest(counting).count, 3);
}

TEST_P(FetchRequestTest, FetchedObjectsAreTheRegisteredOnesAndPendingDeletesAreLeftOut) {
    auto context = newContext();
    auto item = context->objectWithID(items_[1]->objectID());
    ASSERT_FALSE(item->setValueForKey(Value("changed"), "name"));
    FetchRequest request("Item");
    request.setPredicate(Predicate::equal("key", 1));
    auto found = context->executeFetchRequest(request).objects();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], item);
    EXPECT_EQ(found[0]->valueForKey("name"), Value("changed"));  // unsaved changes stay
    context->deleteObject(item);
    EXPECT_TRUE(context->executeFetchRequest(request).results.empty());
    request.setResultType(RT::ManagedObjectID);
    EXPECT_TRUE(context->executeFetchRequest(request).results.empty());
}

TEST_P(FetchRequestTest, RequestsTheStoreCannotAnswerFailWithAnError) {
    auto context = newContext();
    auto failsWith = [&](FetchRequest request) {
        auto result = context->executeFetchRequest(request);
        EXPECT_TRUE(result.error);
        if (result.error) {
            EXPECT_EQ(result.error->domain(), kErrorDomain);
        }
    };
    failsWith(FetchRequest("NoSuchEntity"));
    FetchRequest request("Item");
    request.setPredicate(Predicate::equal("noSuchKey", 1));
    failsWith(request);
    request.setPredicate(Predicate::equal("entityQueries", 1));  // to-many in a comparison
    failsWith(request);
    request.setPredicate(Predicate::equal("name.length", 1));  // through an attribute
    failsWith(request);
    request.setPredicate(nullptr);
    request.setSortDescriptors({{"tags", true}});
    failsWith(request);
}

INSTANTIATE_TEST_SUITE_P(Stores, FetchRequestTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);
