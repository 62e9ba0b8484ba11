#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

#include <gtest/gtest.h>

using platform::Value;

namespace {

TEST(JSONTest, ParsesEveryKindStraightIntoValues) {
    ZQJSONParseResult result =
        ZQJSON::parse(R"({"s":"é\n","i":-42,"big":18446744073709551615,"d":1.5,"t":true,"n":null,)"
                      R"("a":[1,{"x":[]}],"o":{}})");
    ASSERT_EQ(result.error, nullptr);
    const Value& v = result.value;
    EXPECT_EQ(v["s"], Value("é\n"));
    EXPECT_EQ(v["i"].kind(), Value::Kind::Integer);
    EXPECT_EQ(v["i"], Value(-42));
    EXPECT_EQ(v["big"].kind(), Value::Kind::Double);
    EXPECT_EQ(v["d"], Value(1.5));
    EXPECT_EQ(v["t"], Value(true));
    EXPECT_TRUE(v["n"].isNull());
    EXPECT_FALSE(v["missing"].isNull());
    EXPECT_EQ(v["a"].at(1)["x"], Value(platform::Array{}));
    EXPECT_TRUE(v["o"].isDictionary());
    EXPECT_EQ(v["o"].count(), 0u);
}

TEST(JSONTest, DuplicateKeysKeepTheLastValue) {
    ZQJSONParseResult result = ZQJSON::parse(R"({"k":1,"k":2})");
    ASSERT_EQ(result.error, nullptr);
    EXPECT_EQ(result.value["k"], Value(2));
}

TEST(JSONTest, SyntaxErrorsNameTheSourceLineAndColumn) {
    ZQJSONParseResult result = ZQJSON::parse("{\n  \"a\": 1,\n  \"b\": tru\n}", "model.json");
    ASSERT_NE(result.error, nullptr);
    EXPECT_TRUE(result.value.isAbsent());
    EXPECT_EQ(result.error->domain(), ZQJSONErrorDomain);
    EXPECT_EQ(result.error->code(), ZQJSONErrorSyntax);
    EXPECT_EQ(result.line, 3u);
    EXPECT_GT(result.column, 1u);
    const std::string& text = result.error->localizedDescription();
    EXPECT_EQ(text.rfind("model.json: line 3, column ", 0), 0u) << text;
    EXPECT_EQ(result.error->userInfo().get("line"), Value(3));

    for (const char* bad : {"", "   ", "[1,2", "{\"a\" 1}", "[1] [2]", "\"unterminated"}) {
        SCOPED_TRACE(bad);
        ZQJSONParseResult failed = ZQJSON::parse(bad);
        ASSERT_NE(failed.error, nullptr);
        EXPECT_GE(failed.line, 1u);
    }
}

TEST(JSONTest, DeepNestingIsAnErrorNotACrash) {
    std::string deep(5000, '[');
    deep += std::string(5000, ']');
    ZQJSONParseResult result = ZQJSON::parse(deep);
    ASSERT_NE(result.error, nullptr);
    EXPECT_EQ(result.error->code(), ZQJSONErrorCapacity);
}

TEST(JSONTest, WritesWhatItReadsAndRefusesValuesWithoutJSONForm) {
    Value value =
        Value::dictionary({{"name", Value("Ann \"A\"")},
                           {"n", Value(3)},
                           {"list", Value::array({Value(1.25), Value::null(), Value(false)})},
                           {"when", Value(platform::Date(0))},
                           {"price", Value(*platform::Decimal::fromString("12.30"))},
                           {"raw", Value::bytes({'h', 'i'})}});
    ZQJSON::WriteResult written = ZQJSON::write(value);
    ASSERT_EQ(written.error, nullptr);
    ZQJSONParseResult back = ZQJSON::parse(written.text);
    ASSERT_EQ(back.error, nullptr);
    EXPECT_EQ(back.value["name"], value["name"]);
    EXPECT_EQ(back.value["list"], value["list"]);
    EXPECT_EQ(back.value["when"], Value("1970-01-01T00:00:00"));
    EXPECT_EQ(back.value["price"], Value(12.3));
    EXPECT_EQ(back.value["raw"], Value("aGk="));

    EXPECT_NE(ZQJSON::write(Value()).error, nullptr);
    EXPECT_NE(ZQJSON::write(Value::array({Value()})).error, nullptr);
    EXPECT_NE(ZQJSON::write(Value("\xff\xfe")).error, nullptr);
}

}  // namespace
