#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Value;

namespace {

std::string deeplyNested(size_t depth) {
    return "[" + std::string(depth, '[') + std::string(depth, ']') + "]";
}

std::string manyObjects(int count) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        if (i) text += ",";
        text += R"({"id":)" + std::to_string(i) + R"(,"name":"n,)" + std::to_string(i) +
                R"(]","tags":["a","b"]})";
    }
    return text + "]";
}

// Texts read in runs: arrays, whose runs add up to ZQJSON::parse of the whole text, and texts
// that are not JSON arrays, which fail with the error of that parse.
const std::vector<std::string> kArrays{
    R"([{"a":1,"b":"x,]}"},{"a":[1,2,{"c":"\"]"}]},{}])",
    R"(["a","b,c","[","]","{","}","\\","\"","","\\\"],"])",
    "[1, -2.5, 3e2, 0, true, false, null]",
    "[[1,[2,[3]]],[],[[]],{},[{}]]",
    "  [ \n\t ]  ",
    "[]",
    "\n[ 1 ,\r\n 2 ]\n",
    R"(["é", "\u00e9", "\ud83d\ude00", "\/"])",
    manyObjects(25),
};
const std::vector<std::string> kNotArrays{
    // Not JSON
    "\xEF\xBB\xBF[1,2]",
    "[1,]",
    "[1,,2]",
    "[,]",
    "[,1]",
    "[1 2]",
    "[1,2 3,4]",
    R"(["abc)",
    R"(["abc\"])",
    R"(["abc"] x)",
    "[1][2]",
    "[1]]",
    "[1}",
    "[{]}",
    R"([{"a":1]})",
    R"([{"a":[1}]])",
    "[",
    "[1,",
    "[[1,2]",
    "]",
    "}",
    "x[1]",
    "",
    "   ",
    "[\"\xff\"]",
    "[1,\"a\xc3\"]",
    "[01]",
    "[1,tru]",
    R"(["\x"])",
    deeplyNested(1100),
    // JSON of another shape
    R"({"a":[1,2]})",
    "1",
    "\"[1,2]\"",
    "null",
};

TEST(JSONArrayReaderTest, RunsAddUpToTheWholeParseOrFailWithItsError) {
    std::vector<std::pair<std::string, bool>> texts;
    for (const auto& text : kArrays) texts.emplace_back(text, true);
    for (const auto& text : kNotArrays) texts.emplace_back(text, false);
    for (const auto& [text, isArray] : texts) {
        SCOPED_TRACE(testing::Message() << "text: " << text.substr(0, 80));
        const ZQJSONParseResult whole = ZQJSON::parse(text);
        ASSERT_EQ(!whole.error && whole.value.isArray(), isArray);
        // Kept as bytes or as a string, the reader reads the same text.
        for (const Value& kept :
             {Value(text), Value::bytes(Value::Bytes(text.begin(), text.end()))}) {
            const ZQJSONArrayReader reader(kept);
            EXPECT_EQ(reader.text(), text);
            for (size_t perRun : {1u, 2u, 1000u}) {
                SCOPED_TRACE(testing::Message() << perRun << " per run");
                std::vector<Value> elements;
                std::vector<size_t> runSizes;
                platform::ErrorPtr error = reader.read(perRun, [&](const Value& items) {
                    const platform::Array* array = items.array();
                    EXPECT_TRUE(array);
                    if (!array) return false;
                    runSizes.push_back(array->size());
                    elements.insert(elements.end(), array->begin(), array->end());
                    return true;
                });
                if (isArray) {
                    ASSERT_FALSE(error) << error->description();
                    EXPECT_EQ(Value(platform::Array(elements)), whole.value);
                    // Full runs but the last, none empty.
                    for (size_t i = 0; i < runSizes.size(); ++i) {
                        EXPECT_GT(runSizes[i], 0u);
                        if (i + 1 < runSizes.size()) {
                            EXPECT_EQ(runSizes[i], perRun);
                        }
                    }
                    continue;
                }
                ASSERT_TRUE(error);
                EXPECT_EQ(error->domain(), ZQJSONErrorDomain);
                if (whole.error) {
                    EXPECT_EQ(error->code(), whole.error->code());
                    EXPECT_EQ(error->description(), whole.error->description());
                } else {
                    EXPECT_EQ(error->code(), ZQJSONErrorShape);
                }
            }
            const ZQJSONParseResult again = reader.parseWhole();
            EXPECT_EQ(again.value, whole.value);
            EXPECT_EQ(!again.error, !whole.error);
        }
    }
}

TEST(JSONArrayReaderTest, ARunThatAnswersFalseEndsTheReadWithoutError) {
    const ZQJSONArrayReader reader(Value(manyObjects(7)));
    int runs = 0;
    EXPECT_FALSE(reader.read(3, [&](const Value& items) {
        ++runs;
        EXPECT_EQ(items.count(), 3u);
        return false;
    }));
    EXPECT_EQ(runs, 1);
    for (const auto& [text, opens] : std::vector<std::pair<std::string, bool>>{
             {" \n[1]", true}, {"[", true}, {"{\"a\":[]}", false}, {"", false}, {"x[", false}}) {
        EXPECT_EQ(ZQJSONArrayReader::startsWithArray(text), opens) << text;
    }
}

}  // namespace
