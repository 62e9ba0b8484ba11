#include "examples/sample-server/ZQSampleFieldServices.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "examples/sample-server/ZQSampleValues.hpp"
#include "platform/URL.hpp"

using platform::Value;

namespace {

constexpr size_t kMaxSuggestions = 10;

// The query's pairs, unescaped ("+" is not a space: the data layer escapes spaces as %20).
std::optional<std::map<std::string, std::string>> queryPairs(std::string_view rawQuery) {
    std::map<std::string, std::string> pairs;
    while (!rawQuery.empty()) {
        size_t amp = rawQuery.find('&');
        std::string_view pair = rawQuery.substr(0, amp);
        rawQuery = amp == std::string_view::npos ? std::string_view() : rawQuery.substr(amp + 1);
        if (pair.empty()) continue;
        size_t equals = pair.find('=');
        auto name = platform::percentUnescape(pair.substr(0, equals));
        auto value = platform::percentUnescape(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        pairs[*name] = *value;
    }
    return pairs;
}

ZQSampleFieldAnswer json(int status, const Value& value) {
    return {status, ZQJSON::write(value).text};
}

ZQSampleFieldAnswer error(int status, const std::string& message) {
    return json(status,
                Value::dictionary({{"error", Value::dictionary({{"code", std::to_string(status)},
                                                                {"message", message}})}}));
}

Value choice(const Value& customer) {
    return Value::dictionary(
        {{"code", customer["CustomerId"]}, {"description", customer["CustomerName"]}});
}

std::string nameOf(const Value& customer) {
    return ZQSampleValues::text(customer["CustomerName"]);
}

Value choices(const std::vector<Value>& customers) {
    platform::Array array;
    for (const auto& customer : customers) array.push_back(choice(customer));
    return Value(std::move(array));
}

}  // namespace

bool ZQSampleFieldServices::serves(const std::string& restPath) {
    static const char* const paths[] = {"Sales/CustomerChoices", "Sales/CustomerCode",
                                        "Sales/CustomerDescription", "Sales/CustomerSuggest",
                                        "Sales/ComputeLineAmount"};
    return std::find(std::begin(paths), std::end(paths), restPath) != std::end(paths);
}

ZQSampleFieldAnswer ZQSampleFieldServices::answer(const std::string& restPath,
                                                  const std::string& rawQuery) const {
    auto pairs = queryPairs(rawQuery);
    if (!pairs) return error(400, "the query is not well escaped");
    auto parameter = [&](const std::string& name) -> std::optional<std::string> {
        auto found = pairs->find(name);
        return found == pairs->end() ? std::nullopt : std::optional(found->second);
    };
    if (restPath == "Sales/ComputeLineAmount") {
        auto quantity = ZQSampleValues::number(parameter("Quantity").value_or(""));
        auto price = ZQSampleValues::number(parameter("Price").value_or(""));
        if (!quantity || !price) return error(400, "Quantity and Price must be numbers");
        double amount = std::round(*quantity * *price * 100) / 100;
        return json(200, Value(platform::Array{Value(amount)}));
    }
    auto snapshot = store_.snapshot(kCustomersProvider);
    if (!snapshot || !snapshot->data.isArray()) return error(404, "there are no customers");
    std::vector<Value> customers(snapshot->data.array()->begin(), snapshot->data.array()->end());
    std::sort(customers.begin(), customers.end(), [](const Value& a, const Value& b) {
        return ZQSampleValues::folded(nameOf(a)) < ZQSampleValues::folded(nameOf(b));
    });
    std::vector<Value> found;
    if (restPath == "Sales/CustomerChoices") {
        auto since = parameter("Since");
        for (const auto& customer : customers) {
            auto order =
                since && !since->empty()
                    ? ZQSampleValues::compare(customer["CustomerSince"], *since, ZQDataTypeDate)
                    : std::optional<int>(0);
            if (order && *order <= 0) found.push_back(customer);
        }
    } else if (restPath == "Sales/CustomerCode") {
        std::string name = ZQSampleValues::folded(parameter("Name").value_or(""));
        for (const auto& customer : customers)
            if (ZQSampleValues::folded(nameOf(customer)) == name) found.push_back(customer);
    } else if (restPath == "Sales/CustomerDescription") {
        std::string id = parameter("Id").value_or("");
        for (const auto& customer : customers)
            if (ZQSampleValues::compare(customer["CustomerId"], id, ZQDataTypeNumeric) ==
                std::optional<int>(0))
                found.push_back(customer);
    } else {
        std::string prefix = ZQSampleValues::folded(parameter("Text").value_or(""));
        for (const auto& customer : customers)
            if (found.size() < kMaxSuggestions &&
                ZQSampleValues::folded(nameOf(customer)).rfind(prefix, 0) == 0)
                found.push_back(customer);
    }
    return json(200, choices(found));
}
