// Cuts a cached collection's rows (already in "rowId" order) into the sections and the alphabetic
// index that a list screen shows. The static call is stateless and builds its own Unicode helpers,
// so any number of threads may call it at once; a builder object (rows handed over one at a time)
// belongs to the one thread that feeds it, the cache load operation's.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/Value.hpp"
#include "platform/objectstore/AttributeDescription.hpp"

// Row numbers cut into sections, held flat: two allocations however many sections there are (a
// list grouped by date may give nearly every row a section of its own).
struct ZQEntityDataCacheRowSections {
    std::vector<int64_t> rows;
    std::vector<size_t> ends;  // ends[i]: one past the last row of section i

    size_t size() const { return ends.size(); }
    bool empty() const { return ends.empty(); }
    std::span<const int64_t> operator[](size_t i) const {
        const size_t begin = i == 0 ? 0 : ends[i - 1];
        return std::span<const int64_t>(rows).subspan(begin, ends[i] - begin);
    }
};

struct ZQEntityDataCacheSections {
    // Array of arrays of the rows' object identifiers ("objectID"), in row order.
    platform::Value sections;
    // From a builder object, in place of `sections`: the same cut as row numbers of the rows'
    // entity data (0 for a row without one).
    ZQEntityDataCacheRowSections rowSections;
    // Array of title strings, one per run of rows under the same title; absent without an index
    // attribute.
    platform::Value titles;
    // Dictionary from title to the range of sections that the title's (last) run covers, each a
    // dictionary {"location": first section, "length": number of sections}; absent without an
    // index attribute.
    platform::Value ranges;
};

class ZQEntityDataCacheSectionsBuilder {
  public:
    // rows: array of dictionaries in rowId order ("objectID" plus the fetched attributes). Rows
    // are never reordered: sections and titles only cut the sequence. With grouping attributes a
    // section holds consecutive rows with equal values under all of them; with an index attribute
    // (a string attribute) each run of rows whose values start with the same letter gets one
    // title, "#" for rows that do not start with a letter.
    [[nodiscard]] static ZQEntityDataCacheSections sectionsFromRows(
        const platform::Value& rows,
        const std::vector<std::shared_ptr<const platform::AttributeDescription>>&
            groupingAttributes,
        const std::shared_ptr<const platform::AttributeDescription>& indexAttribute);

    // Rows handed over one at a time as they are read: the same sections and titles as
    // sectionsFromRows gives, without a dictionary or an identifier per row. grouped: the caller
    // compares the grouping attributes and says which rows start a section.
    ZQEntityDataCacheSectionsBuilder(bool grouped, bool indexed);
    ~ZQEntityDataCacheSectionsBuilder();
    ZQEntityDataCacheSectionsBuilder(const ZQEntityDataCacheSectionsBuilder&) = delete;
    ZQEntityDataCacheSectionsBuilder& operator=(const ZQEntityDataCacheSectionsBuilder&) = delete;
    // entityRow: the row number of the row's entity data (0 for none); indexText: its index
    // attribute value, none when it has no string value; startsSection: its grouping values
    // differ from the row before (grouped only).
    void addRow(int64_t entityRow, std::optional<std::string_view> indexText,
                bool startsSection = false);
    [[nodiscard]] ZQEntityDataCacheSections finish();

    // The keys of a range value in `ranges`.
    static constexpr const char* kRangeLocationKey = "location";
    static constexpr const char* kRangeLengthKey = "length";

  private:
    template <typename Item>
    class Walk;
    std::unique_ptr<Walk<int64_t>> walk_;
};
