#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"

namespace {

using platform::Value;
using Sections = std::vector<std::vector<int>>;
using Titles = std::vector<std::string>;
using Ranges = std::map<std::string, std::pair<int64_t, int64_t>>;

// The builder's answer with every object identifier turned back into its row's position.
struct Cut {
    Sections sections;
    std::optional<Titles> titles;
    std::optional<Ranges> ranges;
};

Cut cut(const std::vector<platform::Dictionary>& fields, const std::vector<std::string>& grouping,
        const std::optional<std::string>& index) {
    auto entity = platform::EntityDescription::create("Customer");
    std::vector<Value> ids;
    platform::Array rows;
    for (auto row : fields) {
        ids.push_back(Value::objectID(platform::ManagedObjectID::temporary(entity)));
        row.set("objectID", ids.back());
        rows.emplace_back(std::move(row));
    }
    std::vector<std::shared_ptr<const platform::AttributeDescription>> groupingAttributes;
    for (const auto& name : grouping)
        groupingAttributes.push_back(
            platform::AttributeDescription::create(name, platform::AttributeType::String));
    auto indexAttribute =
        index ? platform::AttributeDescription::create(*index, platform::AttributeType::String)
              : nullptr;
    auto built = ZQEntityDataCacheSectionsBuilder::sectionsFromRows(Value(rows), groupingAttributes,
                                                                    indexAttribute);
    Cut out;
    EXPECT_TRUE(built.sections.isArray());
    for (const auto& section : *built.sections.array()) {
        out.sections.emplace_back();
        for (const auto& id : *section.array())
            out.sections.back().push_back(
                static_cast<int>(std::find(ids.begin(), ids.end(), id) - ids.begin()));
    }
    if (built.titles.isArray()) {
        out.titles.emplace();
        for (const auto& title : *built.titles.array()) out.titles->emplace_back(*title.string());
    }
    if (built.ranges.isDictionary()) {
        out.ranges.emplace();
        for (const auto& [title, range] : *built.ranges.dictionary())
            (*out.ranges)[title] = {*range["location"].integer(), *range["length"].integer()};
    }
    return out;
}

// Rows with only the index field "name", holding the given values (absent stays absent).
Cut cutByIndex(const std::vector<Value>& names) {
    std::vector<platform::Dictionary> fields;
    for (const auto& name : names) fields.push_back(platform::Dictionary{{"name", name}});
    return cut(fields, {}, "name");
}

TEST(ZQEntityDataCacheSectionsBuilder, WithNothingToCutByAllRowsMakeOneSection) {
    auto three = cut({{{"name", "b"}}, {{"name", "a"}}, {{"name", "b"}}}, {}, std::nullopt);
    EXPECT_EQ(three.sections, (Sections{{0, 1, 2}}));
    EXPECT_FALSE(three.titles);
    EXPECT_FALSE(three.ranges);
    EXPECT_EQ(cut({}, {}, std::nullopt).sections, (Sections{{}}));
    // Once there is something to cut by, no rows means no sections at all.
    EXPECT_EQ(cut({}, {"city"}, std::nullopt).sections, Sections{});
    auto indexed = cutByIndex({});
    EXPECT_EQ(indexed.sections, Sections{});
    EXPECT_EQ(indexed.titles, Titles{});
    EXPECT_EQ(indexed.ranges, Ranges{});
}

TEST(ZQEntityDataCacheSectionsBuilder, EachTitleRunIsASectionWithoutGrouping) {
    auto c = cutByIndex({"Apple", "Avocado", "banana", "Cherry", "7up", ""});
    EXPECT_EQ(c.sections, (Sections{{0, 1}, {2}, {3}, {4, 5}}));
    EXPECT_EQ(c.titles, (Titles{"A", "B", "C", "#"}));
    EXPECT_EQ(c.ranges, (Ranges{{"A", {0, 1}}, {"B", {1, 1}}, {"C", {2, 1}}, {"#", {3, 1}}}));

    // Missing, null and non-string values fall under "#" with the digits.
    c = cutByIndex({Value(), Value::null(), 42, "9 lives", "Zeta"});
    EXPECT_EQ(c.sections, (Sections{{0, 1, 2, 3}, {4}}));
    EXPECT_EQ(c.titles, (Titles{"#", "Z"}));
}

TEST(ZQEntityDataCacheSectionsBuilder, RowsContinueATitleAccentsAsideButNotCaseAside) {
    // The title is upper case and the comparison keeps case: "apricot" opens a second "A" run,
    // and the ranges keep the later run.
    auto c = cutByIndex({"Apple", "apricot"});
    EXPECT_EQ(c.sections, (Sections{{0}, {1}}));
    EXPECT_EQ(c.titles, (Titles{"A", "A"}));
    EXPECT_EQ(c.ranges, (Ranges{{"A", {1, 1}}}));
    EXPECT_EQ(cutByIndex({"Eclat", "Éclair"}).titles, Titles{"E"});
    EXPECT_EQ(cutByIndex({"Éclair", "Eclat", "Ecu"}).titles, Titles{"É"});
    EXPECT_EQ(cutByIndex({"Ölfeld", "olive"}).titles, (Titles{"Ö", "O"}));
    // Root-locale upper case: no dotted capital I, and "ß" becomes "SS".
    EXPECT_EQ(cutByIndex({"istanbul", "ßtraße", "ωμέγα"}).titles, (Titles{"I", "SS", "Ω"}));
}

TEST(ZQEntityDataCacheSectionsBuilder, FirstCharacterIsAWholeGraphemeCluster) {
    // "e" + U+0301 is one letter, the same as "É" accents aside; a leading stray mark is not.
    auto c = cutByIndex({"E\u0301cole", "Ecu", "e\u0301te\u0301", "\u0301x", "#tag"});
    EXPECT_EQ(c.titles, (Titles{"E\u0301", "E\u0301", "#"}));
    EXPECT_EQ(c.sections, (Sections{{0, 1}, {2}, {3, 4}}));
    // Letters without case, outside the BMP, and non-letter clusters of several code points.
    c = cutByIndex({"한국", "東京", "\U00010428\U00010429", "\U00010400", "\U0001D400",
                    "\U0001F44D\U0001F3FD ok", "\U0001F1EB\U0001F1F7", "\r\nline"});
    EXPECT_EQ(c.titles, (Titles{"한", "東", "\U00010400", "\U0001D400", "#"}));
    EXPECT_EQ(c.sections, (Sections{{0}, {1}, {2, 3}, {4}, {5, 6, 7}}));
    // A prepended letter (Malayalam dot reph) takes the next letter into its cluster.
    EXPECT_EQ(cutByIndex({"\u0D4Eab", "\u0D4Ex"}).titles, (Titles{"\u0D4EA", "\u0D4EX"}));
}

TEST(ZQEntityDataCacheSectionsBuilder, GroupingCutsSectionsAndTitlesChangeInsideThem) {
    auto c = cut({{{"city", "x"}}, {{"city", "x"}}, {{"city", "y"}}}, {"city"}, std::nullopt);
    EXPECT_EQ(c.sections, (Sections{{0, 1}, {2}}));
    EXPECT_FALSE(c.titles);
    EXPECT_FALSE(c.ranges);

    c = cut({{{"g", 1}, {"name", "Apple"}},
             {{"g", 1}, {"name", "Banana"}},
             {{"g", 2}, {"name", "Berry"}},
             {{"g", 2}, {"name", "Cherry"}},
             {{"g", 3}, {"name", "Cider"}},
             {{"g", 4}, {"name", "Date"}}},
            {"g"}, "name");
    EXPECT_EQ(c.sections, (Sections{{0, 1}, {2, 3}, {4}, {5}}));
    EXPECT_EQ(c.titles, (Titles{"A", "B", "C", "D"}));
    EXPECT_EQ(c.ranges, (Ranges{{"A", {0, 1}}, {"B", {0, 2}}, {"C", {1, 2}}, {"D", {3, 1}}}));
}

TEST(ZQEntityDataCacheSectionsBuilder, CompoundGroupingNeedsEveryFieldEqual) {
    std::vector<platform::Dictionary> rows = {{{"a", 1}, {"b", "p"}},
                                              {{"a", 1}, {"b", "p"}},
                                              {{"a", 1}, {"b", "q"}},
                                              {{"a", 2}, {"b", "q"}},
                                              {{"a", 2}}};
    EXPECT_EQ(cut(rows, {"a", "b"}, std::nullopt).sections, (Sections{{0, 1}, {2}, {3}, {4}}));
    EXPECT_EQ(cut(rows, {"a"}, std::nullopt).sections, (Sections{{0, 1, 2}, {3, 4}}));
}

TEST(ZQEntityDataCacheSectionsBuilder, CallsFromSeveralThreadsAgree) {
    const char* const kinds[] = {"Éclair", "e\u0301t", "東", "Zoo"};
    std::vector<Value> names;
    for (int i = 0; i < 200; ++i) names.emplace_back(kinds[i % 4]);
    const Cut expected = cutByIndex(names);
    std::vector<std::thread> threads;
    std::vector<Cut> cuts(4);
    for (auto& slot : cuts) threads.emplace_back([&slot, &names] { slot = cutByIndex(names); });
    for (auto& thread : threads) thread.join();
    for (const auto& c : cuts) {
        EXPECT_EQ(c.sections, expected.sections);
        EXPECT_EQ(c.titles, expected.titles);
    }
}

}  // namespace
