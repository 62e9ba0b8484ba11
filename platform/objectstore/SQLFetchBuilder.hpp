// Turns a fetch request into one SELECT statement over a store's SQL layout: joins for key paths
// through to-one relationships, correlated counts for "count:" of to-many key paths, the predicate
// as a WHERE clause whose every value is a bound parameter, ORDER BY and LIMIT. Made per fetch by
// the store on the fetching thread; throws std::invalid_argument for a request the layout cannot
// answer (unknown key path, unbound variable), which the store reports as an Error.
#pragma once

#include <map>
#include <memory>
#include <string>
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
        std::vector<Value> bindings;
        std::vector<Output> outputs;  // dictionary results only
    };

    SQLFetchBuilder(const SQLiteSchema& schema, const EntityDescription& entity,
                    uint64_t storeSerial);
    Plan build(const FetchRequest& request);

  private:
    struct Column {
        std::string sql;
        const PropertyDescription* property = nullptr;  // null for the row itself
        const EntityDescription* entity = nullptr;      // the entity the column belongs to
    };
    Column resolve(const std::string& keyPath);
    std::string aliasFor(const std::vector<std::string>& components, size_t count,
                         const EntityDescription*& entity);
    std::string countOf(const std::string& keyPath);
    std::string condition(const Predicate& predicate);
    std::string comparison(const Column& column, const Value& constant);
    std::string membership(const Column& column, const Value& constant);
    bool bindComparable(const Column& column, const Value& value);
    Output output(const ExpressionDescription& description, std::string& sql);

    const SQLiteSchema& schema_;
    const EntityDescription& entity_;
    uint64_t storeSerial_;
    std::map<std::string, std::string> aliases_;  // key-path prefix -> alias
    std::string joins_;
    std::vector<Value> bindings_;
};

}  // namespace platform
