// Service results: the concrete class by request kind, the shape of the data each keeps, the
// success and up-to-date tests, and the fatal stops of the abstract class.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceCollectionResult.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceSingleItemResult.hpp"

namespace {

using platform::Value;

TEST(ZQEntityDataServiceResult, ClassAndDataShapeFollowTheRequestKind) {
    Value rows = Value::array({Value::dictionary({{"id", 1}})});
    auto collection =
        ZQEntityDataServiceResult::create(true, rows, 200, platform::Date(5), nullptr);
    EXPECT_TRUE(std::dynamic_pointer_cast<ZQEntityDataServiceCollectionResult>(collection));
    EXPECT_TRUE(collection->isCollection());
    EXPECT_EQ(collection->data(), rows);
    EXPECT_EQ(collection->statusCode(), 200);
    EXPECT_EQ(collection->lastModified(), platform::Date(5));

    // A collection keeps only arrays: a lone object is not taken for one row.
    Value object = Value::dictionary({{"id", 1}});
    auto notRows = ZQEntityDataServiceResult::create(true, object, 200, std::nullopt, nullptr);
    EXPECT_TRUE(notRows->data().isAbsent());
    EXPECT_TRUE(notRows->isSuccessful());
    notRows->setData(rows);
    EXPECT_EQ(notRows->data(), rows);
    notRows->setData(Value("text"));
    EXPECT_TRUE(notRows->data().isAbsent());

    // A single item keeps whatever the parser gave, whatever its kind.
    for (const Value& value : {object, rows, Value("text"), Value(3), Value::null(), Value()}) {
        auto single = ZQEntityDataServiceResult::create(false, value, 200, std::nullopt, nullptr);
        EXPECT_TRUE(std::dynamic_pointer_cast<ZQEntityDataServiceSingleItemResult>(single));
        EXPECT_FALSE(single->isCollection());
        EXPECT_EQ(single->data().kind(), value.kind());
        EXPECT_EQ(single->data(), value);
    }
}

TEST(ZQEntityDataServiceResult, SuccessIsTheAbsenceOfAnErrorAndUpToDateIsStatus304) {
    auto notModified = ZQEntityDataServiceResult::create(true, Value(), 304, std::nullopt, nullptr);
    EXPECT_TRUE(notModified->isSuccessful());
    EXPECT_TRUE(notModified->isUpToDate());
    EXPECT_TRUE(notModified->data().isAbsent());

    auto failedButNotModified =
        ZQEntityDataServiceResult::create(false, Value(), 304, std::nullopt, defaultZQError());
    EXPECT_FALSE(failedButNotModified->isSuccessful());
    EXPECT_TRUE(failedButNotModified->isUpToDate());
}

// A subclass that forgets to give the base its values, or to answer isCollection.
class ForgetfulResult : public ZQEntityDataServiceResult {
  public:
    ForgetfulResult() = default;
    explicit ForgetfulResult(int)
        : ZQEntityDataServiceResult(Value(), 200, std::nullopt, nullptr) {}
};

TEST(ZQEntityDataServiceResultDeathTest, TheAbstractClassStopsWithItsFatalMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({ ForgetfulResult result; }, "ZQEntityDataServiceResult invalid init");
    EXPECT_DEATH(
        {
            ForgetfulResult result(0);
            (void)result.isCollection();
        },
        "Abstract property");
}

}  // namespace
