#include "platform/KeyValueCoding.hpp"

#include <gtest/gtest.h>

using platform::Value;

namespace {

class Loader : public platform::KeyValueCoding {
  public:
    Loader() {
        declareKey(
            "parsedData", [this] { return parsedData_; },
            [this](const Value& value) { parsedData_ = value; });
        declareKey("name", [] { return Value("loader"); });
    }
    Value parsedData_;
};

class TaggedLoader : public Loader {
  public:
    TaggedLoader() {
        declareKey(
            "name", [] { return Value("tagged"); }, [this](const Value& v) { tag_ = v; });
    }
    Value tag_;
};

}  // namespace

TEST(KeyValueCoding, DeclaredKeysReadAndWrite) {
    Loader loader;
    Value data = Value::dictionary({{"rows", Value::array({1, 2})}});
    EXPECT_TRUE(loader.setValueForKey(data, "parsedData"));
    EXPECT_EQ(loader.parsedData_, data);
    EXPECT_EQ(loader.valueForKey("parsedData"), data);
    EXPECT_EQ(loader.valueForKey("name"), Value("loader"));
    EXPECT_EQ(loader.keys(), (std::vector<std::string>{"name", "parsedData"}));
}

TEST(KeyValueCoding, UndeclaredAndReadOnlyKeysRefuseWrites) {
    Loader loader;
    EXPECT_TRUE(loader.valueForKey("missing").isAbsent());
    EXPECT_FALSE(loader.setValueForKey(Value(1), "missing"));
    EXPECT_FALSE(loader.hasKey("missing"));
    EXPECT_FALSE(loader.isKeyWritable("name"));
    EXPECT_FALSE(loader.setValueForKey(Value("other"), "name"));
    EXPECT_EQ(loader.valueForKey("name"), Value("loader"));
}

TEST(KeyValueCoding, SubclassRedeclarationReplacesAccessors) {
    TaggedLoader loader;
    EXPECT_EQ(loader.valueForKey("name"), Value("tagged"));
    EXPECT_TRUE(loader.setValueForKey(Value(5), "name"));
    EXPECT_EQ(loader.tag_, Value(5));
    EXPECT_TRUE(loader.setValueForKey(Value::null(), "parsedData"));  // null is a value
    EXPECT_TRUE(loader.valueForKey("parsedData").isNull());

    // Copying values between two objects by key, the way a data setter does.
    Loader source, target;
    ASSERT_TRUE(source.setValueForKey(Value("payload"), "parsedData"));
    for (const std::string& key : source.keys()) {
        if (target.isKeyWritable(key)) {
            EXPECT_TRUE(target.setValueForKey(source.valueForKey(key), key));
        }
    }
    EXPECT_EQ(target.valueForKey("parsedData"), Value("payload"));
}
