#include "examples/sample-server/ZQSampleQuery.hpp"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <numeric>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "examples/sample-server/ZQSampleValues.hpp"
#include "platform/URL.hpp"

using platform::Value;

namespace {

std::optional<uint64_t> wholeNumber(std::string_view text) {
    uint64_t number = 0;
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, number);
    if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
    return number;
}

// The request's pairs by name, unescaped; an error for a repeated name or a bad escape.
std::optional<std::map<std::string, std::string>> queryPairs(std::string_view rawQuery,
                                                             std::string& error) {
    std::map<std::string, std::string> pairs;
    while (!rawQuery.empty()) {
        size_t amp = rawQuery.find('&');
        std::string_view pair = rawQuery.substr(0, amp);
        rawQuery = amp == std::string_view::npos ? std::string_view() : rawQuery.substr(amp + 1);
        if (pair.empty()) continue;
        size_t equals = pair.find('=');
        std::optional<std::string> name = platform::percentUnescape(pair.substr(0, equals));
        std::optional<std::string> value = platform::percentUnescape(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!name || !value) {
            error = "malformed escape in \"" + std::string(pair) + "\"";
            return std::nullopt;
        }
        if (!pairs.emplace(*name, *value).second) {
            error = "parameter " + *name + " given twice";
            return std::nullopt;
        }
    }
    return pairs;
}

// Removes the pair and gives its value; none when absent.
std::optional<std::string> take(std::map<std::string, std::string>& pairs,
                                const std::string& name) {
    auto found = pairs.find(name);
    if (found == pairs.end()) return std::nullopt;
    std::string value = std::move(found->second);
    pairs.erase(found);
    return value;
}

bool takeWholeNumber(std::map<std::string, std::string>& pairs, const std::string& name,
                     uint64_t& out, std::string& error) {
    std::optional<std::string> text = take(pairs, name);
    if (!text) return true;
    std::optional<uint64_t> number = wholeNumber(*text);
    if (!number) {
        error = name + " is not a whole number: \"" + *text + "\"";
        return false;
    }
    out = *number;
    return true;
}

bool checkFilterText(const ZQSampleFilterField& field, const std::string& name,
                     const std::string& text, std::string& error) {
    if (text.empty() || ZQSampleValues::readsAs(text, field.type)) return true;
    error = name + ": \"" + text + "\" is not a " + ZQDataTypeName(*field.type) + " value";
    return false;
}

}  // namespace

ZQSampleQueryParseResult ZQSampleQuery::parse(std::shared_ptr<const ZQSampleProvider> provider,
                                              std::string_view rawQuery) {
    ZQSampleQueryParseResult result;
    std::optional<std::map<std::string, std::string>> pairs = queryPairs(rawQuery, result.error);
    if (!pairs) return result;
    ZQSampleQuery query(std::move(provider));
    const ZQSampleProvider& p = *query.provider_;
    uint64_t zqid = 0, order = 0, searchField = 0;
    bool hasOrder = pairs->count("Orderedby") > 0;
    if (!takeWholeNumber(*pairs, "start", query.start_, result.error) ||
        !takeWholeNumber(*pairs, "count", query.count_, result.error) ||
        !takeWholeNumber(*pairs, "zqid", zqid, result.error) ||
        !takeWholeNumber(*pairs, "Orderedby", order, result.error) ||
        !takeWholeNumber(*pairs, "Searchfield", searchField, result.error)) {
        return result;
    }
    if (hasOrder) {
        if (order >= p.orders.size()) {
            result.error = "Orderedby " + std::to_string(order) + " is not an order of " + p.name;
            return result;
        }
        query.orderIndex_ = order;
    }
    query.searchText_ = take(*pairs, "Searchtext");
    if (query.searchText_ && searchField > p.searchFields.size()) {
        result.error = "Searchfield " + std::to_string(searchField) + " is not a search field of " +
                       p.name + " (" + std::to_string(p.searchFields.size()) + " fields)";
        return result;
    }
    query.searchField_ = searchField;
    for (const std::string& name : p.parameters)
        query.parameterValues_.push_back(take(*pairs, name));
    for (const ZQSampleFilterField& field : p.filterFields) {
        Condition condition{&field, {}, {}, {}};
        bool given = false;
        auto read = [&](const std::string& name, std::string& into) {
            std::optional<std::string> text = take(*pairs, name);
            if (!text) return true;
            given = true;
            into = std::move(*text);
            return checkFilterText(field, name, into, result.error);
        };
        bool ok = field.range ? read(field.parameterName + "from", condition.from) &&
                                    read(field.parameterName + "to", condition.to)
                              : read(field.parameterName, condition.value);
        if (!ok) return result;
        if (given) query.conditions_.push_back(std::move(condition));
    }
    if (!pairs->empty()) {
        result.error = "unknown parameter " + pairs->begin()->first + " for " + p.name;
        return result;
    }
    result.query = std::move(query);
    return result;
}

bool ZQSampleQuery::matchesParameters(const Value& row) const {
    for (size_t i = 0; i < parameterValues_.size(); ++i) {
        if (!parameterValues_[i]) continue;
        const std::string& name = provider_->parameters[i];
        Value member = row[name];
        if (member.isAbsent()) continue;  // rows select only by the members they carry
        if (ZQSampleValues::compare(member, *parameterValues_[i], provider_->typeOfField(name)) !=
            0) {
            return false;
        }
    }
    return true;
}

bool ZQSampleQuery::matchesConditions(const Value& row) const {
    for (const Condition& c : conditions_) {
        Value member = row[c.field->field];
        auto holds = [&](const std::string& text, auto test) {
            if (text.empty()) return true;
            std::optional<int> order = ZQSampleValues::compare(member, text, c.field->type);
            return order && test(*order);
        };
        if (!holds(c.value, [](int o) { return o == 0; }) ||
            !holds(c.from, [](int o) { return o >= 0; }) ||
            !holds(c.to, [](int o) { return o <= 0; })) {
            return false;
        }
    }
    return true;
}

bool ZQSampleQuery::matchesSearch(const Value& row, const std::string& foldedText) const {
    auto contains = [&](const std::string& field) {
        return ZQSampleValues::folded(ZQSampleValues::text(row[field])).find(foldedText) !=
               std::string::npos;
    };
    if (searchField_ > 0) return contains(provider_->searchFields[searchField_ - 1]);
    return std::any_of(provider_->searchFields.begin(), provider_->searchFields.end(), contains);
}

ZQSampleRowCache::Sequence ZQSampleQuery::sortedSequence(const platform::Array& rows) const {
    const std::vector<std::string>& fields = provider_->orders[*orderIndex_];
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    std::vector<std::string> keys(rows.size());
    std::string collationKey;
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const std::string& field : fields) {
            Value member = rows[i][field];
            std::optional<ZQDataType> type = provider_->typeOfField(field);
            if (member.isNothing()) {
                keys[i] += ZQSampleValues::sortKeyOfNothing();
            } else if (std::optional<double> number = member.number()) {
                keys[i] += ZQSampleValues::sortKeyOfNumber(*number);
            } else if (std::optional<bool> flag = member.boolean()) {
                keys[i] += ZQSampleValues::sortKeyOfNumber(*flag ? 1 : 0);
            } else if (type == ZQDataTypeDate || type == ZQDataTypeDateTime || !collator) {
                keys[i] += ZQSampleValues::sortKeyOfText(ZQSampleValues::text(member));
            } else {
                icu::UnicodeString text =
                    icu::UnicodeString::fromUTF8(ZQSampleValues::text(member));
                int32_t length = collator->getSortKey(text, nullptr, 0);
                collationKey.resize(static_cast<size_t>(length));
                collator->getSortKey(text, reinterpret_cast<uint8_t*>(collationKey.data()), length);
                keys[i] += ZQSampleValues::sortKeyOfText(collationKey);
            }
        }
    }
    ZQSampleRowCache::Sequence sequence(rows.size());
    std::iota(sequence.begin(), sequence.end(), uint32_t{0});
    std::stable_sort(sequence.begin(), sequence.end(),
                     [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    return sequence;
}

std::optional<std::string> ZQSampleQuery::keyText(ZQSampleAnswer& answer) const {
    std::string key;
    for (size_t i = 0; i < parameterValues_.size(); ++i) {
        if (!parameterValues_[i]) {
            answer.status = 400;
            answer.message =
                "missing parameter " + provider_->parameters[i] + " for " + provider_->name;
            return std::nullopt;
        }
        key += (i ? "," : "") + *parameterValues_[i];
    }
    return key;
}

std::optional<Value> ZQSampleQuery::rowsOf(const Value& data, ZQSampleAnswer& answer) const {
    Value rows = data;
    if (data.isDictionary() && !provider_->parameters.empty()) {
        std::optional<std::string> key = keyText(answer);
        if (!key) return std::nullopt;
        rows = data[*key];
        if (rows.isAbsent()) return Value(platform::Array{});
    }
    if (!rows.isArray()) {
        answer.status = 500;
        answer.message = "the data of " + provider_->name + " is not laid out as rows";
        return std::nullopt;
    }
    return rows;
}

ZQSampleRowCache::Sequence ZQSampleQuery::selectedSequence(const platform::Array& rows,
                                                           ZQSampleRowCache* cache) const {
    std::shared_ptr<const ZQSampleRowCache::Sequence> ordered;
    if (orderIndex_) {
        auto sort = [&] { return sortedSequence(rows); };
        ordered = cache ? cache->sequence(*orderIndex_, sort)
                        : std::make_shared<const ZQSampleRowCache::Sequence>(sort());
    }
    std::optional<std::string> foldedSearch;
    if (searchText_ && !searchText_->empty()) foldedSearch = ZQSampleValues::folded(*searchText_);
    bool selects = !conditions_.empty() || foldedSearch ||
                   std::any_of(parameterValues_.begin(), parameterValues_.end(),
                               [](const auto& value) { return value.has_value(); });
    ZQSampleRowCache::Sequence selected;
    selected.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        uint32_t index = ordered ? (*ordered)[i] : static_cast<uint32_t>(i);
        const Value& row = rows[index];
        if (!selects || (matchesParameters(row) && matchesConditions(row) &&
                         (!foldedSearch || matchesSearch(row, *foldedSearch)))) {
            selected.push_back(index);
        }
    }
    return selected;
}

ZQSampleAnswer ZQSampleQuery::evaluateSingleItem(const Value& data) const {
    ZQSampleAnswer answer;
    Value item;
    if (data.isDictionary() && provider_->parameters.empty()) {
        item = data;
    } else if (data.isDictionary()) {
        if (std::optional<std::string> key = keyText(answer)) item = data[*key];
    } else if (std::optional<Value> rows = rowsOf(data, answer)) {
        for (const Value& row : *rows->array()) {
            if (matchesParameters(row)) {
                item = row;
                break;
            }
        }
    }
    if (answer.status != 200) return answer;
    if (!item.isDictionary()) {
        answer.status = 404;
        answer.message = "no item of " + provider_->name + " for these parameters";
        return answer;
    }
    answer.body = ZQJSON::write(item).text;
    return answer;
}

ZQSampleAnswer ZQSampleQuery::evaluate(const Value& data, ZQSampleRowCache* cache) const {
    if (!provider_->isCollection) return evaluateSingleItem(data);
    ZQSampleAnswer answer;
    std::optional<Value> rowsValue = rowsOf(data, answer);
    if (!rowsValue) return answer;
    const platform::Array& rows = *rowsValue->array();
    if (cache && !cache->holds(rows)) cache = nullptr;  // rows under a key of the data
    ZQSampleRowCache::Sequence selected = selectedSequence(rows, cache);
    size_t first = static_cast<size_t>(std::min<uint64_t>(start_, selected.size()));
    size_t last = count_ == 0
                      ? selected.size()
                      : static_cast<size_t>(std::min<uint64_t>(selected.size(), first + count_));
    std::shared_ptr<const std::vector<std::string>> texts = cache ? cache->texts() : nullptr;
    if (texts) {
        size_t length = 2 + (last - first);
        for (size_t i = first; i < last; ++i) length += (*texts)[selected[i]].size();
        answer.body.reserve(length);
    }
    answer.body = "[";
    for (size_t i = first; i < last; ++i) {
        if (i > first) answer.body += ',';
        answer.body += texts ? (*texts)[selected[i]] : ZQJSON::write(rows[selected[i]]).text;
    }
    answer.body += ']';
    return answer;
}
