// One data request of the sample server, read from its query string: provider parameters, the
// page (start, count), the order, the search text and field, and the advanced filter values; and
// its answer computed from the provider's data. Built per request on a server thread and used
// only there; the provider it refers to is immutable and shared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "examples/sample-server/ZQSampleProvider.hpp"
#include "examples/sample-server/ZQSampleRowCache.hpp"
#include "platform/Value.hpp"

struct ZQSampleAnswer {
    int status = 200;     // 200; 400 for a missing parameter of keyed data; 404 for a single
                          // item that is not there; 500 for data of the wrong layout
    std::string body;     // JSON text: the page of rows (array) or the item (object)
    std::string message;  // why, when status is not 200
};

struct ZQSampleQueryParseResult;

class ZQSampleQuery {
  public:
    // One advanced filter field the request gives a value: the single value, or the bounds of a
    // range. An empty text (the client's null) sets no condition.
    struct Condition {
        const ZQSampleFilterField* field = nullptr;  // points into the provider
        std::string value, from, to;
    };

    // Names are matched exactly; unknown or repeated names, bad percent escapes, a start, count,
    // zqid, order or search field that is not a whole number in range, and filter values that do
    // not read as their field's type (number, date, boolean) are errors.
    [[nodiscard]] static ZQSampleQueryParseResult parse(
        std::shared_ptr<const ZQSampleProvider> provider, std::string_view rawQuery);

    // The answer for the provider's data as the data files lay it out: a collection is an array
    // of rows, or an object from the parameter values (as text, joined by ",") to such an array;
    // a single item is an object from the parameter values to the item, or the item itself when
    // the provider has no parameters. Rows of an array are selected by the parameters whose name
    // they carry as a member. For collections then: filter, search, order (stable, so rows equal
    // under the order keep the data's order), page.
    // cache, when given, belongs to the version of data being read: top-level rows are then
    // answered from its row texts and ordered by its cached sequences.
    [[nodiscard]] ZQSampleAnswer evaluate(const platform::Value& data,
                                          ZQSampleRowCache* cache = nullptr) const;

  private:
    explicit ZQSampleQuery(std::shared_ptr<const ZQSampleProvider> provider)
        : provider_(std::move(provider)) {}

    // The parameter values joined by ","; none (and a 400 answer) when one is missing.
    std::optional<std::string> keyText(ZQSampleAnswer& answer) const;
    // The array of rows the data holds for the request; none, with the answer's error set, when
    // the data cannot be read so.
    std::optional<platform::Value> rowsOf(const platform::Value& data,
                                          ZQSampleAnswer& answer) const;
    // Indexes of the rows that pass parameters, filter and search, in the requested order.
    ZQSampleRowCache::Sequence selectedSequence(const platform::Array& rows,
                                                ZQSampleRowCache* cache) const;
    ZQSampleRowCache::Sequence sortedSequence(const platform::Array& rows) const;
    ZQSampleAnswer evaluateSingleItem(const platform::Value& data) const;
    bool matchesParameters(const platform::Value& row) const;
    bool matchesConditions(const platform::Value& row) const;
    bool matchesSearch(const platform::Value& row, const std::string& foldedText) const;

    std::shared_ptr<const ZQSampleProvider> provider_;
    uint64_t start_ = 0;
    uint64_t count_ = 0;
    std::optional<size_t> orderIndex_;
    std::optional<std::string> searchText_;
    size_t searchField_ = 0;
    std::vector<std::optional<std::string>> parameterValues_;
    std::vector<Condition> conditions_;
};

struct ZQSampleQueryParseResult {
    std::optional<ZQSampleQuery> query;  // none when the request is malformed
    std::string error;                   // the reason, for a 400 answer
};
