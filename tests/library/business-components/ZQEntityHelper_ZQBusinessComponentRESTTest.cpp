// Addressing of business-component instances, default values and uploads, and the key texts
// that make path segments.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "tests/library/business-components/BusinessComponentTestSupport.hpp"

namespace zqtest {
namespace {

using REST = ZQEntityHelper_ZQBusinessComponentREST;
using platform::Value;

class BusinessComponentAddressingTest : public BusinessComponentTest {
  protected:
    std::string url(const std::shared_ptr<const ZQBusinessComponentLevel>& level,
                    const std::shared_ptr<const ZQEntityDataKey>& key) {
        auto made = REST::businessComponentURLFromLevel(level, key);
        return made ? made->absoluteString() : "<none>";
    }
    std::string base() { return server().baseURL() + "bc/"; }
};

TEST_P(BusinessComponentAddressingTest, InstanceURLsWalkLevelsAndKeysTogether) {
    auto root = invoice()->rootLevel();
    auto line = invoice()->levelWithName("Line");
    auto key = invoiceKey(Value(12));
    EXPECT_EQ(url(root, key), base() + "rest/Sales/Invoice/12");
    EXPECT_EQ(url(line, lineKey(key, Value(3))), base() + "rest/Sales/Invoice/12/Line/3");
    // A key chain one step shorter or longer than the level chain names nothing.
    EXPECT_EQ(url(line, key), "<none>");
    EXPECT_EQ(url(root, lineKey(key, Value(3))), "<none>");
    EXPECT_EQ(url(root, nullptr), "<none>");
    EXPECT_EQ(url(nullptr, key), "<none>");
    // A key without its value names no instance either.
    EXPECT_EQ(url(root, invoiceKey(Value())), "<none>");
    EXPECT_EQ(url(root, invoiceKey(Value::null())), "<none>");
}

TEST_P(BusinessComponentAddressingTest, SeveralKeyFieldsJoinWithCommas) {
    // A level keyed by two attributes: the values in key order, joined by ",".
    auto level = std::make_shared<ZQBusinessComponentLevel>("Pair", "Pair");
    auto component = std::make_shared<ZQBusinessComponentModel>("Sales.Pair");
    level->setBusinessComponent(component);
    level->addAttribute(std::make_shared<ZQBusinessComponentAttribute>("PairA", true));
    level->addAttribute(std::make_shared<ZQBusinessComponentAttribute>("PairName", false));
    level->addAttribute(std::make_shared<ZQBusinessComponentAttribute>("PairB", true));
    component->addLevel(level);
    auto key = std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*level),
        platform::Dictionary{{"PairB", "A"}, {"PairA", 12}});
    EXPECT_EQ(url(level, key), base() + "rest/Sales/Pair/12,A");
}

TEST_P(BusinessComponentAddressingTest, KeyTextsAreEscapedForOnePathSegment) {
    struct Case {
        Value value;
        std::string segment;
    };
    const Case cases[] = {
        {Value("a/b,c d"), "a%2Fb%2Cc%20d"},
        {Value("Ñandú"), "%C3%91and%C3%BA"},
        {Value("x%y?#"), "x%25y%3F%23"},
        {Value(true), "true"},
        {Value(2.5), "2.5"},
        {Value(-7), "-7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(url(coded()->rootLevel(), codedKey(c.value)), base() + "rest/Coded/" + c.segment)
            << c.value.description();
    }
}

TEST_P(BusinessComponentAddressingTest, DatesFormatByTheAttributeType) {
    auto dateInfo = std::make_shared<ZQTypedObjectInfo>("D", ZQDataTypeDate, 0, 0);
    auto dateTimeInfo = std::make_shared<ZQTypedObjectInfo>("T", ZQDataTypeDateTime, 0, 0);
    auto dateAttribute = std::make_shared<ZQBusinessComponentAttribute>("D", true);
    dateAttribute->setFieldInfo(dateInfo);
    auto timeAttribute = std::make_shared<ZQBusinessComponentAttribute>("T", true);
    timeAttribute->setFieldInfo(dateTimeInfo);
    auto level = std::make_shared<ZQBusinessComponentLevel>("Dated", "Dated");
    level->addAttribute(dateAttribute);
    level->addAttribute(timeAttribute);
    ZQEntityDataSimpleKey key(std::make_shared<ZQBusinessComponentKeyDescriptor>(*level),
                              platform::Dictionary{{"D", Value(platform::Date(1709647200.0))},
                                                   {"T", Value(platform::Date(1709647200.0))}});
    auto texts = ZQEntityHelper::urlParametersArrayFromEntityDataKey(key);
    ASSERT_TRUE(texts);
    EXPECT_EQ(*texts, (std::vector<std::string>{"2024-03-05", "2024-03-05T14%3A00%3A00"}));
}

TEST_P(BusinessComponentAddressingTest, DefaultAndUploadPaths) {
    auto defaults = REST::businessComponentDefaultURLFromName(std::string("Sales.Invoice"));
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->absoluteString(), base() + "rest/Sales/Invoice/_default");
    EXPECT_FALSE(REST::businessComponentDefaultURLFromName(std::nullopt));
    EXPECT_FALSE(REST::businessComponentDefaultURLFromName(std::string()));
    EXPECT_EQ(
        REST::fileUploadURLPathComponentForBusinessComponentLevel(invoice()->levelWithName("Line")),
        "Sales/Invoice/Line");
    EXPECT_EQ(REST::fileUploadURLPathComponentForBusinessComponentLevel(invoice()->rootLevel()),
              "Sales/Invoice");
    EXPECT_EQ(REST::fileUploadURLPathComponentForBusinessComponentLevel(nullptr), "");
}

TEST_P(BusinessComponentAddressingTest, NoServerBaseURLNoAddress) {
    std::const_pointer_cast<ZQApplicationModel>(appModel_)->setAppServerBaseUrl(std::nullopt);
    EXPECT_EQ(url(invoice()->rootLevel(), invoiceKey(Value(1))), "<none>");
    EXPECT_FALSE(REST::businessComponentDefaultURLFromName(std::string("Sales.Invoice")));
}

INSTANTIATE_TEST_SUITE_P(SQLite, BusinessComponentAddressingTest,
                         ::testing::Values(BCStoreKind::SQLite));

}  // namespace
}  // namespace zqtest
