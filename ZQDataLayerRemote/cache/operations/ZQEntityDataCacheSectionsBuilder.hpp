// Cuts a cached collection's rows (already in "rowId" order) into the sections and the alphabetic
// index that a list screen shows. Stateless: the cache load operation calls it on its own queue;
// every call builds its own Unicode helpers, so any number of threads may call it at once.
#pragma once

#include <memory>
#include <vector>

#include "platform/Value.hpp"
#include "platform/objectstore/AttributeDescription.hpp"

struct ZQEntityDataCacheSections {
    // Array of arrays of the rows' object identifiers ("objectID"), in row order.
    platform::Value sections;
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

    // The keys of a range value in `ranges`.
    static constexpr const char* kRangeLocationKey = "location";
    static constexpr const char* kRangeLengthKey = "length";
};
