// Turns a fetch request into one SELECT statement over a store's SQL layout: joins for key paths
// through to-one relationships, correlated counts for "count:" of to-many key paths, the predicate
// as a WHERE clause whose every value is a bound parameter, ORDER BY and LIMIT. The SQL text
// depends only on the request's shape, which describe() writes down cheaply with the values to
// bind, so that the store makes the text (build()) and prepares it once per shape: a predicate
// with new constants reuses the statement. Made per fetch by the store on the fetching thread;
// throws std::invalid_argument for a request the layout cannot answer (unknown key path, unbound
// variable), which the store reports as an Error.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/objectstore/FetchRequest.hpp"
#include "platform/objectstore/SQLiteSchema.hpp"

namespace platform {

class SQLFetchBuilder {
  public:
    // One column of a dictionary result.
    struct Output {
        std::string key;
        AttributeType type = AttributeType::Undefined;
        // For ObjectID outputs: the entity of the identifiers.
        std::shared_ptr<const EntityDescription> idEntity;
    };
    struct Plan {
        std::string sql;
        std::vector<Output> outputs;  // dictionary results only
        size_t parameters = 0;        // the number of values describe() gives to bind
    };

    SQLFetchBuilder(const SQLiteSchema& schema, const EntityDescription& entity,
                    uint64_t storeSerial);
    // Appends the request's shape to `key` (entity, result type, fetched properties, predicate
    // structure with the kind of match of each constant, sort keys, whether there is a limit:
    // everything the SQL text depends on) and the values to bind, in parameter order, to
    // `bindings`.
    void describe(const FetchRequest& request, std::string& key, std::vector<Value>& bindings);
    // The SQL text and outputs for requests of the shape of `request`.
    Plan build(const FetchRequest& request);

  private:
    // What a compared key path ends at: a property, or the row itself (evaluated object).
    struct Target {
        const PropertyDescription* property = nullptr;
        const EntityDescription* entity = nullptr;  // the entity the property belongs to
    };
    struct Column {
        std::string sql;
        Target target;
    };
    Target targetOf(std::string_view keyPath) const;
    Column resolve(const std::string& keyPath);
    std::string aliasFor(const std::vector<std::string>& components, size_t count,
                         const EntityDescription*& entity);
    std::string countOf(const std::string& keyPath);
    void describePredicate(const Predicate& predicate, std::string& key,
                           std::vector<Value>& bindings);
    std::string condition(const Predicate& predicate);
    std::string comparison(const Column& column, const Value& constant);
    std::string membership(const Column& column, const Value& constant);
    // Counts the members of an IN constant that can match, and whether it holds the null value;
    // appends the values to bind when `bindings` is given.
    void members(const Target& target, const Value& constant, size_t& bound, bool& matchesNull,
                 std::vector<Value>* bindings) const;
    // Whether the value can equal a stored value of the target, binding it as stored when
    // `bindings` is given.
    bool bindComparable(const Target& target, const Value& value,
                        std::vector<Value>* bindings) const;
    Output output(const ExpressionDescription& description, std::string& sql);

    const SQLiteSchema& schema_;
    const EntityDescription& entity_;
    uint64_t storeSerial_;
    std::map<std::string, std::string> aliases_;  // key-path prefix -> alias
    std::string joins_;
    size_t parameters_ = 0;
};

}  // namespace platform
