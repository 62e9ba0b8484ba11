#include "platform/KeyValueCoding.hpp"

#include <gtest/gtest.h>

#include <span>

using platform::Value;

namespace {

using Key = platform::KeyValueCoding::Key;

class Loader : public platform::KeyValueCoding {
  public:
    Loader();
    Value parsedData_;

  protected:
    explicit Loader(std::span<const Key> keys) : KeyValueCoding(keys) {}
};

const Key kLoaderKeys[] = {
    {"parsedData",
     [](const platform::KeyValueCoding& self) {
         return static_cast<const Loader&>(self).parsedData_;
     },
     [](platform::KeyValueCoding& self, const Value& value) {
         static_cast<Loader&>(self).parsedData_ = value;
     }},
    {"name", [](const platform::KeyValueCoding&) { return Value("loader"); }, nullptr},
};

Loader::Loader() : KeyValueCoding(kLoaderKeys) {}

// Replaces "name" with a writable key and keeps "parsedData" from its base's table.
class TaggedLoader : public Loader {
  public:
    TaggedLoader();
    Value tag_;
};

const Key kTaggedKeys[] = {
    {"name", [](const platform::KeyValueCoding&) { return Value("tagged"); },
     [](platform::KeyValueCoding& self, const Value& v) {
         static_cast<TaggedLoader&>(self).tag_ = v;
     }},
    kLoaderKeys[0],
    kLoaderKeys[1],  // shadowed by the first "name"
};

TaggedLoader::TaggedLoader() : Loader(kTaggedKeys) {}

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
    EXPECT_EQ(loader.keys(), (std::vector<std::string>{"name", "parsedData"}));

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
