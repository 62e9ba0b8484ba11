#include "platform/Value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.hpp"

using platform::Value;

TEST(Value, AbsentAndNullAreDifferent) {
    EXPECT_TRUE(Value().isAbsent());
    EXPECT_TRUE(Value::null().isNull());
    EXPECT_NE(Value(), Value::null());
    auto dict = Value::dictionary({{"a", Value::null()}});
    EXPECT_TRUE(dict["a"].isNull());
    EXPECT_TRUE(dict["b"].isAbsent());
}

TEST(Value, JSONShapedConstruction) {
    Value row = Value::dictionary({{"name", "Pump 7"},
                                   {"tags", Value::array({"a", "b"})},
                                   {"count", 3},
                                   {"ratio", 0.1},
                                   {"active", true},
                                   {"note", Value::null()},
                                   {"nested", Value::dictionary({{"id", 42}})}});
    EXPECT_EQ(row.kind(), Value::Kind::Dictionary);
    EXPECT_EQ(row.count(), 7u);
    EXPECT_EQ(*row["name"].string(), "Pump 7");
    EXPECT_EQ(row["tags"].at(1), Value("b"));
    EXPECT_TRUE(row["tags"].at(2).isAbsent());
    EXPECT_EQ(row["nested"]["id"].integer(), 42);
    EXPECT_EQ(row["active"].boolean(), true);
    EXPECT_TRUE(row["note"].isNothing());
    EXPECT_TRUE(row["name"]["deeper"].isAbsent());  // a member of a non-dictionary is absent
    EXPECT_EQ(Value("x").count(), 0u);

    // Copies share their payload instead of copying it.
    Value copy = row;
    EXPECT_EQ(copy.dictionary(), row.dictionary());
    EXPECT_EQ(copy, row);
}

TEST(Value, NumbersCompareByValueAcrossKinds) {
    Value three(3), threeDouble(3.0);
    Value threeDecimal(*platform::Decimal::fromString("3.00"));
    EXPECT_EQ(three, threeDouble);
    EXPECT_EQ(three, threeDecimal);
    EXPECT_EQ(threeDouble, threeDecimal);
    EXPECT_NE(three, Value(3.5));
    EXPECT_NE(three, Value("3"));
    EXPECT_NE(Value(true), Value(1));
    EXPECT_EQ(Value(*platform::Decimal::fromString("12.30")),
              Value(*platform::Decimal::fromString("12.3")));

    // Large integers are compared exactly, not through double.
    const int64_t big = (int64_t{1} << 53) + 1;
    EXPECT_NE(Value(big), Value(static_cast<double>(big)));
    EXPECT_EQ(Value(big - 1), Value(static_cast<double>(big - 1)));
    EXPECT_EQ(Value(big), Value(*platform::Decimal::fromString("9007199254740993")));
    EXPECT_NE(Value(big), Value(*platform::Decimal::fromString("9007199254740992")));

    EXPECT_EQ(Value(3.0).integer(), 3);
    EXPECT_EQ(Value(3.5).integer(), std::nullopt);
    EXPECT_EQ(Value(3.5).number(), 3.5);
    EXPECT_NE(Value(std::nan("")), Value(std::nan("")));
    EXPECT_EQ(platform::Decimal::fromString("1.5e3")->toDouble(), 1500.0);
    EXPECT_FALSE(platform::Decimal::fromString("1.5e").has_value());
    EXPECT_FALSE(platform::Decimal::fromString(".").has_value());
}

TEST(Value, DictionaryLaterEntryWinsAndAbsentRemoves) {
    auto d = platform::Dictionary::fromEntries({{"b", 1}, {"a", 2}, {"b", 3}});
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(d.get("b"), Value(3));

    auto removed = platform::Dictionary::fromEntries({{"a", 1}, {"a", Value()}, {"c", Value()}});
    EXPECT_TRUE(removed.empty());
    auto readded = platform::Dictionary::fromEntries({{"a", 1}, {"a", Value()}, {"a", 5}});
    EXPECT_EQ(readded.get("a"), Value(5));

    platform::Dictionary edited{{"x", 1}, {"y", Value::null()}};
    edited.set("x", Value());
    edited.set("z", 2);
    EXPECT_FALSE(edited.contains("x"));
    EXPECT_TRUE(edited.contains("y"));  // null is kept, only absence removes
    EXPECT_EQ(edited, (platform::Dictionary{{"y", Value::null()}, {"z", 2}}));
    edited.erase("y");
    EXPECT_EQ(edited.size(), 1u);
}

TEST(Value, SortedEntriesAreTakenAsTheyAre) {
    std::vector<platform::Dictionary::Entry> sorted{{"a", 1}, {"b", Value::null()}, {"c", "x"}};
    auto d = platform::Dictionary::fromSortedEntries(sorted);
    EXPECT_EQ(d, platform::Dictionary::fromEntries({{"c", "x"}, {"a", 1}, {"b", Value::null()}}));
    EXPECT_TRUE(d.get("b").isNull());
    EXPECT_TRUE(d.get("d").isAbsent());
}

namespace {
// An object whose lifetime shows whether the dictionary block holding it was freed.
struct Watched : platform::Object {};
}  // namespace

// A dictionary made the way the JSON reader makes objects: entries and string texts in one block.
TEST(Value, BuilderDictionaryReadsLikeAnyOtherAndFreesItsBlock) {
    const std::string longText(40, 'y');
    auto watched = std::make_shared<Watched>();
    std::weak_ptr<Watched> watch = watched;
    Value kept;
    {
        platform::DictionaryBuilder builder(
            5, platform::StringText::space(2) + platform::StringText::space(longText.size()));
        builder.add("a", int64_t{1});
        builder.addString("b", "hi");
        builder.addString("c", longText);
        builder.add("d", Value::object(std::move(watched)));
        builder.add("e", Value::dictionary({{"x", Value::null()}}));
        Value built = builder.finish();
        const platform::Dictionary& d = *built.dictionary();
        EXPECT_EQ(d.keys(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
        EXPECT_EQ(*d.get("c").string(), longText);
        EXPECT_TRUE(d.get("e")["x"].isNull());
        EXPECT_EQ(built["b"], Value("hi"));
        EXPECT_EQ(built.description().substr(0, 20), "{\"a\": 1, \"b\": \"hi\", ");

        // A copy owns its entries, so editing it leaves the block's dictionary alone.
        platform::Dictionary copy = d;
        copy.set("b", "changed");
        copy.erase("d");
        EXPECT_EQ(*d.get("b").string(), "hi");
        EXPECT_TRUE(d.contains("d"));
        EXPECT_EQ(copy.size(), 4u);
        platform::Dictionary moved = std::move(copy);
        EXPECT_EQ(moved.get("c"), built["c"]);

        Value assigned;
        assigned = *d.find("c");  // copy-assigned from the entry itself
        kept = assigned;
    }
    // The kept string holds its object's block (and so what the members refer to).
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(*kept.string(), longText);
    kept = Value();
    EXPECT_TRUE(watch.expired());

    // Without a kept string the block goes with the dictionary: its own strings do not hold it.
    auto again = std::make_shared<Watched>();
    watch = again;
    {
        platform::DictionaryBuilder builder(2, platform::StringText::space(3));
        builder.addString("a", "abc");
        builder.add("b", Value::object(std::move(again)));
        Value built = builder.finish();
        EXPECT_FALSE(watch.expired());
    }
    EXPECT_TRUE(watch.expired());
}

// A block skips the destructors of members that release nothing; a string member taken from
// another object's block is not one of them: it holds that block until this one goes.
TEST(Value, BuilderMemberStringFromAnotherObjectHoldsThatObjectUntilReleased) {
    auto watched = std::make_shared<Watched>();
    std::weak_ptr<Watched> watch = watched;
    Value borrowed;
    {
        platform::DictionaryBuilder other(2, platform::StringText::space(4));
        other.addString("name", "ship");
        other.add("watched", Value::object(std::move(watched)));
        borrowed = other.finish()["name"];
    }
    Value holder;
    {
        platform::DictionaryBuilder builder(4, 0);
        builder.add("a", true);
        builder.add("b", std::move(borrowed));
        builder.add("c", platform::Date(0));
        builder.add("d", Value::null());
        holder = builder.finish();
    }
    borrowed = Value();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(*holder["b"].string(), "ship");
    holder = Value();
    EXPECT_TRUE(watch.expired());
}

// The objects of an arena share chunks: each reads as its own, a kept one stays whole after the
// others go, and the last one to go frees its chunk with everything its objects refer to. An
// object too large to share a chunk well has one of its own.
TEST(Value, ArenaObjectsShareChunksAndTheLastOneFreesThem) {
    constexpr size_t kRows = 40;
    std::vector<std::weak_ptr<Watched>> watches;
    Value kept, keptName, large;
    std::weak_ptr<Watched> largeWatch;
    {
        platform::DictionaryArena arena(kRows + 1);
        std::vector<Value> rows;
        for (size_t i = 0; i < kRows; ++i) {
            if (i == kRows / 2) {
                const std::string text(platform::DictionaryArena::kChunkSize, 'L');
                platform::DictionaryBuilder builder(2, platform::StringText::space(text.size()),
                                                    &arena);
                builder.addString("name", text);
                auto watched = std::make_shared<Watched>();
                largeWatch = watched;
                builder.add("watched", Value::object(std::move(watched)));
                large = builder.finish();
            }
            const std::string name = "row " + std::to_string(i) + std::string(i % 20, '.');
            platform::DictionaryBuilder builder(3, platform::StringText::space(name.size()),
                                                &arena);
            builder.add("id", int64_t(i));
            builder.addString("name", name);
            auto watched = std::make_shared<Watched>();
            watches.push_back(watched);
            builder.add("watched", Value::object(std::move(watched)));
            rows.push_back(builder.finish());
        }
        for (size_t i = 0; i < kRows; ++i) {
            EXPECT_EQ(rows[i]["id"], Value(int64_t(i)));
            EXPECT_EQ(*rows[i]["name"].string(),
                      "row " + std::to_string(i) + std::string(i % 20, '.'));
        }
        kept = rows[7];
        keptName = rows[kRows - 1]["name"];
    }
    EXPECT_EQ(kept["id"], Value(int64_t(7)));
    EXPECT_EQ(*kept["name"].string(), "row 7.......");
    EXPECT_FALSE(watches[7].expired());
    EXPECT_EQ(*keptName.string(), "row 39...................");
    EXPECT_FALSE(watches[kRows - 1].expired());
    EXPECT_EQ(large["name"].string()->size(), platform::DictionaryArena::kChunkSize);
    kept = Value();
    keptName = Value();
    for (const auto& watch : watches) EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(largeWatch.expired());  // in its own allocation, not in a chunk
    large = Value();
    EXPECT_TRUE(largeWatch.expired());
}

TEST(Value, StringsReadFromOneObjectOnManyThreads) {
    platform::DictionaryBuilder builder(1, platform::StringText::space(30));
    builder.addString("name", std::string(30, 'n'));
    Value row = builder.finish();
    std::vector<Value> kept(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kept.size(); ++t) {
        threads.emplace_back([&row, &kept, t] {
            for (int i = 0; i < 1000; ++i) kept[t] = row["name"];
        });
    }
    for (auto& thread : threads) thread.join();
    row = Value();
    for (const Value& string : kept) EXPECT_EQ(*string.string(), std::string(30, 'n'));
}

TEST(Value, StringsOfOneBlockEachReadTheirOwnText) {
    std::vector<std::string> texts{"", "a", std::string(15, 'b'), std::string(16, 'c'), "dé"};
    size_t space = 0;
    for (const auto& text : texts) space += platform::StringText::space(text.size());
    platform::StringBlockBuilder block(space);
    std::vector<Value> strings;
    for (const auto& text : texts) strings.push_back(block.take(text));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(*strings[i].string(), texts[i]);
        EXPECT_EQ(strings[i], Value(texts[i]));
    }
    EXPECT_NE(strings[1], strings[2]);
    EXPECT_EQ(strings[0].string()->data()[0], '\0');  // texts end in a zero
}

TEST(Value, DescriptionText) {
    Value v = Value::dictionary({{"s", "say \"hi\"\n"},
                                 {"d", 0.1},
                                 {"i", -7},
                                 {"a", Value::array({Value::null(), false})},
                                 {"b", Value::bytes({1, 2, 3})},
                                 {"t", platform::Date(0)}});
    EXPECT_EQ(v.description(),
              "{\"a\": [null, false], \"b\": <3 bytes>, \"d\": 0.1, \"i\": -7, "
              "\"s\": \"say \\\"hi\\\"\\n\", \"t\": 1970-01-01 00:00:00 +0000}");
    EXPECT_EQ(Value().description(), "<absent>");
    EXPECT_EQ(Value(2.5).description(), "2.5");
    EXPECT_EQ(Value(1e21).description(), "1e+21");
    EXPECT_EQ(Value(*platform::Decimal::fromString("12.30")).description(), "12.30");
}

TEST(Error, DescriptionAndEquality) {
    platform::Error plain(platform::kErrorDomain, platform::errc::kValidation, "Bad value");
    EXPECT_EQ(plain.description(), "Error Domain=PlatformErrorDomain Code=1550 \"Bad value\"");
    platform::ErrorPtr detailed =
        platform::Error::create("Custom", -3, "Went wrong", {{"key", "v"}, {"n", 1}});
    EXPECT_EQ(detailed->description(),
              "Error Domain=Custom Code=-3 \"Went wrong\" UserInfo={\"key\": \"v\", \"n\": 1}");
    EXPECT_EQ(detailed->localizedDescription(), "Went wrong");
    EXPECT_EQ(*detailed, platform::Error("Custom", -3, "Went wrong", {{"n", 1}, {"key", "v"}}));
    EXPECT_FALSE(*detailed == platform::Error("Custom", -3, "Went wrong"));
}
