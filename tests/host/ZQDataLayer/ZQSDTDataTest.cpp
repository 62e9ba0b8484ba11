#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSDTData.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQStructuredDataTypeInfo.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"

namespace {

using platform::Value;

std::shared_ptr<const ZQEntityDataFieldInfo> addressInfo() {
    return std::make_shared<ZQStructuredDataTypeInfo>("Address");
}

TEST(ZQSDTData, OnlyStructuredFieldsWithObjectOrArrayJSONMakeAValue) {
    auto text = Value(R"({"Street": "Main 1", "City": "Springfield"})");
    auto data = ZQSDTData::sdtDataFromFieldInfo(addressInfo(), text);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->value()["City"], Value("Springfield"));

    EXPECT_NE(ZQSDTData::sdtDataFromFieldInfo(addressInfo(), Value(R"([{"City": "A"}])")), nullptr);
    // Already parsed values are taken as they are.
    EXPECT_NE(ZQSDTData::sdtDataFromFieldInfo(addressInfo(), data->value()), nullptr);

    auto plainText = std::make_shared<ZQTypedObjectInfo>("Name", ZQDataTypeVarChar, 40, 0);
    EXPECT_FALSE(ZQSDTData::fieldInfoIsSDTData(plainText));
    EXPECT_FALSE(ZQSDTData::fieldInfoIsSDTData(nullptr));
    EXPECT_EQ(ZQSDTData::sdtDataFromFieldInfo(plainText, text), nullptr);
    EXPECT_EQ(ZQSDTData::sdtDataFromFieldInfo(nullptr, text), nullptr);
    for (const Value& unusable : {Value(), Value::null(), Value(""), Value("{oops"), Value("42"),
                                  Value("\"text\""), Value(7)}) {
        EXPECT_EQ(ZQSDTData::sdtDataFromFieldInfo(addressInfo(), unusable), nullptr)
            << unusable.description();
    }
}

TEST(ZQSDTData, FieldSpecifiersWalkMembersAndPositions) {
    auto data = ZQSDTData::sdtDataFromFieldInfo(
        addressInfo(),
        Value(R"({"Customer": {"Name": "Ann", "Address": {"City": "Springfield", "city": "x"}},
                  "Lines": [{"Amount": 10}, {"Amount": 12.5}], "Empty": null})"));
    ASSERT_NE(data, nullptr);

    EXPECT_EQ(data->valueForFieldSpecifier("Customer.Name"), Value("Ann"));
    // The exact name wins over one that differs in case; otherwise case does not matter.
    EXPECT_EQ(data->valueForFieldSpecifier("Customer.Address.city"), Value("x"));
    EXPECT_EQ(data->valueForFieldSpecifier("customer.ADDRESS.City"), Value("Springfield"));
    EXPECT_EQ(data->valueForFieldSpecifier("Lines.1.Amount"), Value(12.5));
    EXPECT_EQ(data->valueForFieldSpecifier("Lines").count(), 2u);
    EXPECT_EQ(data->valueForFieldSpecifier(""), data->value());
    EXPECT_TRUE(data->valueForFieldSpecifier("Empty").isNull());

    for (const char* missing : {"Nope", "Customer.Nope", "Lines.2.Amount", "Lines.x", "Lines.-1",
                                "Customer..Name", "Customer.", ".Customer", "Customer.Name.More"}) {
        EXPECT_EQ(data->valueForFieldSpecifier(missing), Value()) << missing;
    }
}

TEST(ZQSDTData, EqualByValue) {
    auto a = ZQSDTData::sdtDataFromFieldInfo(addressInfo(), Value(R"({"City": "A"})"));
    auto b = ZQSDTData::sdtDataFromFieldInfo(addressInfo(), Value(R"({ "City" : "A" })"));
    auto c = ZQSDTData::sdtDataFromFieldInfo(addressInfo(), Value(R"({"City": "B"})"));
    EXPECT_TRUE(a->isEqualTo(*b));
    EXPECT_FALSE(a->isEqualTo(*c));
    EXPECT_NE(a->description().find("City"), std::string::npos);
}

}  // namespace
