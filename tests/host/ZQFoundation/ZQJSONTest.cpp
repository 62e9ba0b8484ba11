#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

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

TEST(JSONTest, MembersAreOrderedAndLookedUpLikeABuiltDictionary) {
    // Repeated keys apart and nested, keys ordered by unsigned bytes, an object past the short-sort
    // size, and objects within arrays within objects, which share the reader's scratch stack.
    std::string wide = "{";
    std::vector<platform::Dictionary::Entry> wideEntries;
    for (int i = 40; i >= 0; --i) {
        std::string key = "k" + std::to_string(i % 30);
        wide += (i == 40 ? "\"" : ",\"") + key + "\":" + std::to_string(i);
        wideEntries.emplace_back(key, Value(i));
    }
    wide += "}";
    ZQJSONParseResult result = ZQJSON::parse(
        R"({"b":1,"é":2,"a":{"x":1,"y":[[1,[2]],{"z":0,"z":[3]}],"x":2},"z":3,"b":[],"":4,)"
        R"("wide":)" +
        wide + "}");
    ASSERT_EQ(result.error, nullptr);
    const Value& v = result.value;
    EXPECT_EQ(v.dictionary()->keys(), (std::vector<std::string>{"", "a", "b", "wide", "z", "é"}));
    EXPECT_EQ(v["b"], Value(platform::Array{}));
    EXPECT_EQ(v["a"]["x"], Value(2));
    EXPECT_EQ(v["a"]["y"], Value::array({Value::array({1, Value::array({2})}),
                                         Value::dictionary({{"z", Value::array({3})}})}));
    EXPECT_EQ(v[""], Value(4));
    EXPECT_EQ(*v["wide"].dictionary(), platform::Dictionary::fromEntries(wideEntries));
    EXPECT_EQ(v["wide"]["k10"], Value(10));  // k10 came at 40 and at 10: the later one wins
    EXPECT_EQ(v["wide"].count(), 30u);
}

TEST(JSONTest, RowsThatAlmostShareTheirKeysKeepTheirOwnMembers) {
    // Rows of one answer usually repeat their keys; each variant below must still be read as its
    // own: same keys, a repeated key, keys in another order, one key more or one fewer, a nested
    // object of the same keys, and the first shape again.
    ZQJSONParseResult result = ZQJSON::parse(
        R"([{"b":1,"a":"x"},{"b":2,"a":"y"},{"b":3,"b":4},{"a":5,"b":6},{"b":7,"a":8,"c":9},)"
        R"({"b":10},{"b":11,"a":{"b":12,"a":13}},{"b":14,"a":15}])");
    ASSERT_EQ(result.error, nullptr);
    const Value& rows = result.value;
    auto row = [](std::initializer_list<platform::Dictionary::Entry> entries) {
        return Value::dictionary(entries);
    };
    EXPECT_EQ(rows.at(0), row({{"a", "x"}, {"b", 1}}));
    EXPECT_EQ(rows.at(1), row({{"a", "y"}, {"b", 2}}));
    EXPECT_EQ(rows.at(2), row({{"b", 4}}));
    EXPECT_EQ(rows.at(3), row({{"a", 5}, {"b", 6}}));
    EXPECT_EQ(rows.at(4), row({{"a", 8}, {"b", 7}, {"c", 9}}));
    EXPECT_EQ(rows.at(5), row({{"b", 10}}));
    EXPECT_EQ(rows.at(6), row({{"a", row({{"a", 13}, {"b", 12}})}, {"b", 11}}));
    EXPECT_EQ(rows.at(7), row({{"a", 15}, {"b", 14}}));
    EXPECT_EQ(rows.at(4).dictionary()->keys(), (std::vector<std::string>{"a", "b", "c"}));
    // A second text of the same shape on this thread reads its own members, not the first's.
    ZQJSONParseResult again = ZQJSON::parse(R"([{"b":"p","a":"q"}])");
    ASSERT_EQ(again.error, nullptr);
    EXPECT_EQ(again.value.at(0), row({{"a", "q"}, {"b", "p"}}));
}

TEST(JSONTest, StringsReadBackWholeAndOutliveTheirDocument) {
    // Strings of an object or array share storage; each must still read as its own text, of any
    // length, and stay valid when kept past the rest of the parsed tree.
    std::vector<std::string> texts;
    std::string array = "[", object = "{";
    for (size_t i = 0; i < 70; ++i) {  // more than one shared block
        std::string text(i % 40, 'x');
        text += std::to_string(i);
        texts.push_back(text);
        array += (i ? ",\"" : "\"") + text + "\"";
        object += (i ? ",\"" : "\"") + std::to_string(1000 + i) + "\":\"" + text + "\"";
    }
    std::vector<Value> kept;
    {
        ZQJSONParseResult result = ZQJSON::parse(array + ",1," + object + "}]");
        ASSERT_EQ(result.error, nullptr);
        ASSERT_EQ(result.value.count(), texts.size() + 2);
        for (size_t i = 0; i < texts.size(); ++i) {
            ASSERT_TRUE(result.value.at(i).string().has_value());
            EXPECT_EQ(*result.value.at(i).string(), texts[i]);
            EXPECT_EQ(result.value.at(texts.size() + 1)[std::to_string(1000 + i)], Value(texts[i]));
        }
        kept = {result.value.at(0), result.value.at(69), result.value.at(71)["1033"]};
    }
    EXPECT_EQ(kept[0], Value(texts[0]));
    EXPECT_EQ(kept[1], Value(texts[69]));
    EXPECT_EQ(kept[2], Value(texts[33]));
}

TEST(JSONTest, RowsAndTheirNestedRowsOutliveTheirDocument) {
    // The rows of an array share storage, and so do the rows of each nested array; a row kept
    // alone, or a nested row kept alone, must stay whole.
    std::string text = "[";
    for (int i = 0; i < 300; ++i) {
        text += i ? "," : "";
        text += R"({"id":)" + std::to_string(i) + R"(,"name":"row )" + std::to_string(i) +
                R"(","lines":[{"n":1,"item":"a)" + std::to_string(i) + R"("},{"n":2,"item":"b"}]})";
    }
    text += "]";
    Value row, line, item;
    {
        ZQJSONParseResult result = ZQJSON::parse(text);
        ASSERT_EQ(result.error, nullptr);
        ASSERT_EQ(result.value.count(), 300u);
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(result.value.at(i)["id"], Value(i));
            ASSERT_EQ(result.value.at(i)["lines"].at(0)["item"], Value("a" + std::to_string(i)));
        }
        row = result.value.at(150);
        line = result.value.at(299)["lines"].at(1);
        item = result.value.at(3)["lines"].at(0)["item"];
    }
    EXPECT_EQ(row["name"], Value("row 150"));
    EXPECT_EQ(row["lines"].at(0)["item"], Value("a150"));
    EXPECT_EQ(line["item"], Value("b"));
    EXPECT_EQ(line["n"], Value(2));
    EXPECT_EQ(item, Value("a3"));
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

TEST(JSONTest, TextsOfManyMegabytesParseAsWellAsSmallOnesBeforeAndAfter) {
    // Past the size a thread keeps its buffers for, a text is parsed by a parser of its own.
    std::string rows = "[";
    constexpr int kRows = 60000;
    for (int i = 0; i < kRows; ++i) {
        if (i) rows += ',';
        rows += R"({"id":)" + std::to_string(i) + R"(,"name":"row )" + std::to_string(i) +
                R"(","padding":"..............................................."})";
    }
    rows += ']';
    ASSERT_GT(rows.size(), size_t{5} << 20);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(ZQJSON::parse(R"({"small":[1,2]})").value["small"].at(1), Value(2));
        ZQJSONParseResult large = ZQJSON::parse(rows);
        ASSERT_EQ(large.error, nullptr);
        ASSERT_EQ(large.value.count(), size_t{kRows});
        EXPECT_EQ(large.value.at(kRows - 1)["name"], Value("row " + std::to_string(kRows - 1)));
    }
    std::string broken = rows;
    broken.back() = ',';
    ZQJSONParseResult failed = ZQJSON::parse(broken, "rows.json");
    ASSERT_NE(failed.error, nullptr);
    EXPECT_EQ(failed.error->code(), ZQJSONErrorSyntax);
    EXPECT_EQ(ZQJSON::parse("[true]").value.at(0), Value(true));
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

    // Doubles: the shortest text that reads back the same, still a double when whole.
    EXPECT_EQ(
        ZQJSON::write(Value::array({Value(307.8), Value(0.1 + 0.2), Value(5.0), Value(-1e300)}))
            .text,
        "[307.8,0.30000000000000004,5.0,-1e+300]");
    EXPECT_EQ(
        ZQJSON::write(Value::array({Value(INT64_MIN), Value(INT64_MAX), Value(0), Value(-7)})).text,
        "[-9223372036854775808,9223372036854775807,0,-7]");
    EXPECT_EQ(ZQJSON::parse("[5.0]").value,
              ZQJSON::parse(ZQJSON::write(Value::array({Value(5.0)})).text).value);

    EXPECT_NE(ZQJSON::write(Value()).error, nullptr);
    EXPECT_NE(ZQJSON::write(Value(std::nan(""))).error, nullptr);
    EXPECT_NE(ZQJSON::write(Value::array({Value()})).error, nullptr);
    // Text that is not UTF-8, as a value or a key: a lone continuation byte, a truncated
    // sequence, an overlong form.
    for (const char* bad : {"\xff\xfe", "a\x80", "\xe2\x82", "\xc0\xaf"}) {
        EXPECT_NE(ZQJSON::write(Value(bad)).error, nullptr) << bad;
        EXPECT_NE(ZQJSON::write(Value(platform::Dictionary{{bad, Value(1)}})).error, nullptr);
    }
    EXPECT_EQ(ZQJSON::write(Value("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac")).text,
              "\"d\xc3\xa9j\xc3\xa0 \xe2\x82\xac\"");
}

}  // namespace
