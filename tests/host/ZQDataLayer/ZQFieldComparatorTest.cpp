#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompoundFieldComparator.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryFieldComparator.hpp"

namespace {

using platform::Dictionary;
using platform::Value;

TEST(ZQFieldComparator, RowsGroupWhenEveryFieldMatches) {
    auto byCity = std::make_shared<ZQDictionaryFieldComparator>("zqcity");
    auto byZip = std::make_shared<ZQDictionaryFieldComparator>("zqzip");
    ZQCompoundFieldComparator both({byCity, byZip});
    Dictionary a{{"zqcity", Value("Lisboa")}, {"zqzip", Value(1100)}};
    Dictionary b{{"zqcity", Value("Lisboa")}, {"zqzip", Value(1100.0)}};
    Dictionary c{{"zqcity", Value("Lisboa")}, {"zqzip", Value(1200)}};
    Dictionary noCity{{"zqzip", Value(1100)}};
    EXPECT_TRUE(byCity->compareEntity(a, c));
    EXPECT_TRUE(both.compareEntity(a, b));  // numbers compare by value
    EXPECT_FALSE(both.compareEntity(a, c));
    EXPECT_FALSE(byCity->compareEntity(a, noCity));
    EXPECT_TRUE(byCity->compareEntity(noCity, noCity));
    EXPECT_FALSE(byCity->compareEntity(noCity, Dictionary{{"zqcity", Value::null()}}));
    EXPECT_TRUE(ZQCompoundFieldComparator({}).compareEntity(a, c));
}

}  // namespace
