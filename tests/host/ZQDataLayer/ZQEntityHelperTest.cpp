#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"

#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataField.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"
#include "platform/DateFormat.hpp"

namespace {

using platform::Value;

std::shared_ptr<const ZQEntityDataFieldDescriptor> field(ZQDataType type, uint32_t length = 0,
                                                         uint32_t decimals = 0,
                                                         std::string name = "Field") {
    return std::make_shared<ZQWorkWithDataField>(
        std::move(name), ZQEntityDataFieldTypeAttribute,
        std::make_shared<ZQTypedObjectInfo>("Field", type, length, decimals));
}

platform::Date date(const char* iso) {
    return *platform::parseISO8601(iso);
}

TEST(ZQEntityHelperCacheValues, NumbersFollowLengthAndDecimals) {
    auto whole = field(ZQDataTypeNumeric, 6);
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(whole, Value(12)).kind(), Value::Kind::Integer);
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(whole, Value("12")), Value(12));
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(whole, Value(12.9)),
              Value(12));  // cut, not rounded
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(whole, Value("twelve")).kind(),
              Value::Kind::Absent);

    auto amount = field(ZQDataTypeNumeric, 12, 2);
    auto fromText = ZQEntityHelper::coreDataFieldValue(amount, Value("1234.50"));
    EXPECT_EQ(fromText.kind(), Value::Kind::Double);
    EXPECT_DOUBLE_EQ(*fromText.number(), 1234.5);

    auto huge = field(ZQDataTypeNumeric, 22);
    auto big = ZQEntityHelper::coreDataFieldValue(huge, Value("1234567890123456789012"));
    ASSERT_EQ(big.kind(), Value::Kind::Decimal);
    EXPECT_EQ(big.decimal()->text(), "1234567890123456789012");
}

TEST(ZQEntityHelperCacheValues, DatesBooleansTextAndNull) {
    auto day = ZQEntityHelper::coreDataFieldValue(field(ZQDataTypeDate), Value("2024-03-05"));
    EXPECT_EQ(day, Value(date("2024-03-05T00:00:00Z")));
    auto moment =
        ZQEntityHelper::coreDataFieldValue(field(ZQDataTypeDateTime), Value("2024-03-05T14:30:00"));
    EXPECT_EQ(moment, Value(date("2024-03-05T14:30:00Z")));
    EXPECT_TRUE(ZQEntityHelper::coreDataFieldValue(field(ZQDataTypeDate), Value("")).isAbsent());
    EXPECT_TRUE(
        ZQEntityHelper::coreDataFieldValue(field(ZQDataTypeDate), Value("0000-00-00")).isAbsent());

    auto flag = field(ZQDataTypeBoolean);
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(flag, Value(1)), Value(true));
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(flag, Value("false")), Value(false));
    EXPECT_TRUE(ZQEntityHelper::coreDataFieldValue(flag, Value("maybe")).isAbsent());

    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(field(ZQDataTypeVarChar, 10), Value(42)),
              Value("42"));
    for (auto type : {ZQDataTypeNumeric, ZQDataTypeDate, ZQDataTypeBoolean, ZQDataTypeVarChar})
        EXPECT_TRUE(ZQEntityHelper::coreDataFieldValue(field(type, 4), Value::null()).isAbsent());
}

TEST(ZQEntityHelperCacheValues, StructuredValuesAreKeptAsJsonText) {
    auto info = std::make_shared<ZQTypedObjectInfo>("&Address", ZQTypedObjectBasedOnSDT, "Address");
    auto sdt =
        std::make_shared<ZQWorkWithDataField>("&Address", ZQEntityDataFieldTypeVariable, info);
    EXPECT_TRUE(ZQEntityHelper::fieldInfoIsSDTData(info));
    auto stored =
        ZQEntityHelper::coreDataFieldValue(sdt, Value::dictionary({{"City", Value("Lisboa")}}));
    EXPECT_EQ(stored, Value(R"({"City":"Lisboa"})"));
    // Without type information values pass unchanged.
    EXPECT_EQ(ZQEntityHelper::coreDataFieldValue(nullptr, Value(2.5)), Value(2.5));
}

TEST(ZQEntityHelperURLText, EachKindHasItsDocumentedText) {
    auto text = [](const Value& value, ZQDataType type) {
        ZQTypedObjectInfo info("F", type, 10, 0);
        return ZQEntityHelper::urlParameterText(value, &info);
    };
    EXPECT_EQ(text(Value::null(), ZQDataTypeVarChar), "");
    EXPECT_EQ(text(Value(), ZQDataTypeNumeric), "");
    EXPECT_EQ(text(Value(true), ZQDataTypeBoolean), "true");
    EXPECT_EQ(text(Value(0), ZQDataTypeBoolean), "false");
    EXPECT_EQ(text(Value(-12), ZQDataTypeNumeric), "-12");
    EXPECT_EQ(text(Value(2.5), ZQDataTypeNumeric), "2.5");
    EXPECT_EQ(text(Value(3.0), ZQDataTypeNumeric), "3");
    EXPECT_EQ(text(Value(*platform::Decimal::fromString("12.30")), ZQDataTypeNumeric), "12.30");
    EXPECT_EQ(text(Value(date("2024-03-05T14:30:00Z")), ZQDataTypeDate), "2024-03-05");
    EXPECT_EQ(text(Value(date("2024-03-05T14:30:00Z")), ZQDataTypeDateTime),
              "2024-03-05T14%3A30%3A00");
    EXPECT_EQ(text(Value("a b&c=d/é"), ZQDataTypeVarChar), "a%20b%26c%3Dd%2F%C3%A9");
    EXPECT_EQ(ZQEntityHelper::urlSimpleEscapeString("AZaz09-._~ +"), "AZaz09-._~%20%2B");
}

TEST(ZQEntityHelperURLText, ParametersPairDescriptorsWithValues) {
    ZQEntityDataFieldDescriptors descriptors = {field(ZQDataTypeNumeric, 6, 0, "&CustomerId"),
                                                field(ZQDataTypeDate, 0, 0, "Since")};
    auto parameters = ZQEntityHelper::urlParametersFromFieldsDescriptors(
        descriptors, {Value(7), Value(date("2024-01-31T00:00:00Z")), Value("ignored")});
    EXPECT_EQ(parameters,
              (platform::Dictionary{{"CustomerId", Value("7")}, {"Since", Value("2024-01-31")}}));
    EXPECT_TRUE(ZQEntityHelper::urlParametersFromFieldsDescriptors(descriptors, {}).empty());

    auto texts = ZQEntityHelper::urlParametersArrayFromFieldsDescriptors(
        descriptors, {Value(1), Value::null(), Value("x y")});
    EXPECT_EQ(texts, (std::vector<std::string>{"1", "", "x%20y"}));
}

TEST(ZQEntityHelperURLs, RelativeToTheRunningModelsServer) {
    ZQModel::setCurrentModel(nullptr);
    EXPECT_FALSE(ZQEntityHelper::urlRelativeToServerBaseURL("rest/A"));

    auto appModel = std::make_shared<ZQApplicationModel>("App", "");
    appModel->setAppServerBaseUrl(platform::URL::fromString("http://127.0.0.1:8080/sample"));
    ZQModel::setCurrentModel(ZQModel::create(appModel));
    auto url = ZQEntityHelper::urlRelativeToServerBaseURL("rest/Sales/Orders/List");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), "http://127.0.0.1:8080/sample/rest/Sales/Orders/List");
    EXPECT_EQ(ZQEntityHelper::urlRelativeToServerBaseURL("/rest/X")->absoluteString(),
              "http://127.0.0.1:8080/sample/rest/X");
    ZQModel::setCurrentModel(nullptr);
}

}  // namespace
