#include "platform/objectstore/SQLFetchBuilder.hpp"

#include <stdexcept>

#include "platform/objectstore/ManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "platform/objectstore/SQLiteConnection.hpp"

namespace platform {

namespace {

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t dot = path.find('.', start);
        out.push_back(path.substr(start, dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return out;
}

[[noreturn]] void unsupported(const std::string& what) {
    throw std::invalid_argument(what);
}

void appendNumber(std::string& key, size_t n) {
    char digits[24];
    size_t i = sizeof digits;
    do {
        digits[--i] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    key.append(digits + i, sizeof digits - i);
    key += ',';
}

// An expression's kind, text and arguments: enough to tell which SQL it makes.
void appendExpression(std::string& key, const Expression& e) {
    key += static_cast<char>('a' + static_cast<int>(e.kind()));
    key += e.text();
    key += '\0';
    if (e.kind() == Expression::Kind::Function) {
        appendNumber(key, e.arguments().size());
        for (const auto& argument : e.arguments()) {
            if (argument) appendExpression(key, *argument);
        }
    }
}

// The identifier a comparison constant stands for: an identifier, or a managed object's.
ManagedObjectIDPtr identifierOf(const Value& value) {
    if (auto id = objectIDFromValue(value)) return id;
    if (auto object = managedObjectIn(value)) {
        return object->objectID();
    }
    return nullptr;
}

}  // namespace

SQLFetchBuilder::SQLFetchBuilder(const SQLiteSchema& schema, const EntityDescription& entity,
                                 uint64_t storeSerial)
    : schema_(schema), entity_(entity), storeSerial_(storeSerial) {}

std::string SQLFetchBuilder::aliasFor(const std::vector<std::string>& components, size_t count,
                                      const EntityDescription*& entity) {
    entity = &entity_;
    std::string alias = "t0";
    std::string prefix;
    for (size_t i = 0; i < count; ++i) {
        const auto& name = components[i];
        auto r = entity->relationshipNamed(name);
        if (!r || r->isToMany()) {
            unsupported("Key path component " + name + " of " + entity->name() +
                        " is not a to-one relationship");
        }
        const auto* table = schema_.table(*entity);
        const auto* destination = r->destinationEntity();
        const auto* destinationTable = destination ? schema_.table(*destination) : nullptr;
        if (!table || !destinationTable) unsupported("Relationship " + name + " leaves the store");
        prefix += (prefix.empty() ? "" : ".") + name;
        auto it = aliases_.find(prefix);
        if (it == aliases_.end()) {
            std::string joined = "t" + std::to_string(aliases_.size() + 1);
            joins_ += " LEFT JOIN " + destinationTable->name + " " + joined + " ON " + joined +
                      ".\"Z_PK\" = " + alias + "." + table->columns[r->index()];
            it = aliases_.emplace(prefix, joined).first;
        }
        alias = it->second;
        entity = destination;
    }
    return alias;
}

SQLFetchBuilder::Column SQLFetchBuilder::resolve(const std::string& keyPath) {
    auto components = splitPath(keyPath);
    const EntityDescription* entity = nullptr;
    std::string alias = aliasFor(components, components.size() - 1, entity);
    auto property = entity->propertyNamed(components.back());
    if (!property) unsupported("Unknown key path " + keyPath + " of " + entity_.name());
    auto* r = dynamic_cast<const RelationshipDescription*>(property.get());
    if (r && r->isToMany()) unsupported("Key path " + keyPath + " is a to-many relationship");
    const auto* table = schema_.table(*entity);
    return Column{alias + "." + table->columns[property->index()], {property.get(), entity}};
}

SQLFetchBuilder::Target SQLFetchBuilder::targetOf(std::string_view keyPath) const {
    const EntityDescription* entity = &entity_;
    while (true) {
        size_t dot = keyPath.find('.');
        int index = entity->propertyIndex(keyPath.substr(0, dot));
        if (index < 0) {
            unsupported("Unknown key path " + std::string(keyPath) + " of " + entity_.name());
        }
        const PropertyDescription* property =
            entity->properties()[static_cast<size_t>(index)].get();
        const auto* r = property->isAttribute()
                            ? nullptr
                            : static_cast<const RelationshipDescription*>(property);
        if (dot == std::string_view::npos) {
            if (r && r->isToMany()) {
                unsupported("Key path " + std::string(keyPath) + " is a to-many relationship");
            }
            return Target{property, entity};
        }
        if (!r || r->isToMany() || !r->destinationEntity()) {
            unsupported("Key path component " + property->name() + " of " + entity->name() +
                        " is not a to-one relationship");
        }
        entity = r->destinationEntity();
        keyPath.remove_prefix(dot + 1);
    }
}

std::string SQLFetchBuilder::countOf(const std::string& keyPath) {
    auto components = splitPath(keyPath);
    const EntityDescription* entity = nullptr;
    std::string alias = aliasFor(components, components.size() - 1, entity);
    auto r = entity->relationshipNamed(components.back());
    if (!r || !r->isToMany()) unsupported("count: needs a to-many key path, not " + keyPath);
    std::string owner = alias + ".\"Z_PK\"";
    switch (r->storage()) {
        case RelationshipStorage::InverseForeignKey: {
            const auto* destination = schema_.table(*r->destinationEntity());
            if (!destination) unsupported("Relationship " + keyPath + " leaves the store");
            return "(SELECT COUNT(*) FROM " + destination->name + " WHERE " +
                   destination->columns[r->inverseRelationship()->index()] + " = " + owner + ")";
        }
        case RelationshipStorage::LinkTable:
            return "(SELECT COUNT(*) FROM " + schema_.linkTable(*r) +
                   " WHERE \"Z_OWNER\" = " + owner + ")";
        case RelationshipStorage::InverseLinkTable:
            return "(SELECT COUNT(*) FROM " + schema_.linkTable(*r) +
                   " WHERE \"Z_MEMBER\" = " + owner + ")";
        case RelationshipStorage::ForeignKey:
            break;
    }
    unsupported("count: of " + keyPath);
}

// False when the value cannot equal any stored value (an identifier of another store or entity,
// a temporary identifier, a value the type cannot hold).
bool SQLFetchBuilder::bindComparable(const Target& target, const Value& value,
                                     std::vector<Value>* bindings) const {
    if (target.property && target.property->isAttribute()) {
        const auto* attribute = static_cast<const AttributeDescription*>(target.property);
        Value stored;
        if (!attribute->coerce(value, stored)) return false;
        if (bindings) bindings->push_back(std::move(stored));
        return true;
    }
    const EntityDescription* destination =
        target.property
            ? static_cast<const RelationshipDescription*>(target.property)->destinationEntity()
            : target.entity;
    auto id = identifierOf(value);
    if (!id || id->isTemporaryID() || id->storeSerial() != storeSerial_ || !destination ||
        id->entity()->name() != destination->name()) {
        return false;
    }
    if (bindings) bindings->push_back(Value(static_cast<long long>(id->number())));
    return true;
}

void SQLFetchBuilder::members(const Target& target, const Value& constant, size_t& bound,
                              bool& matchesNull, std::vector<Value>* bindings) const {
    bound = 0;
    matchesNull = false;
    auto take = [&](const Value& member) {
        if (member.isNothing()) {
            matchesNull = true;
        } else if (bindComparable(target, member, bindings)) {
            ++bound;
        }
    };
    if (const Array* array = constant.array()) {
        for (const auto& member : *array) take(member);
    } else if (auto set = std::dynamic_pointer_cast<ManagedObjectSet>(constant.object())) {
        for (const auto& object : set->objects()) take(Value::object(object));
    } else {
        unsupported("IN needs an array constant");
    }
}

std::string SQLFetchBuilder::comparison(const Column& column, const Value& constant) {
    if (constant.isNothing()) return column.sql + " IS NULL";
    if (!bindComparable(column.target, constant, nullptr)) return "0";
    ++parameters_;
    return column.sql + " = ?";
}

std::string SQLFetchBuilder::membership(const Column& column, const Value& constant) {
    size_t bound = 0;
    bool matchesNull = false;
    members(column.target, constant, bound, matchesNull, nullptr);
    parameters_ += bound;
    std::string in;
    if (bound) {
        in = column.sql + " IN (?";
        for (size_t i = 1; i < bound; ++i) in += ", ?";
        in += ")";
    }
    if (matchesNull)
        return bound ? "(" + in + " OR " + column.sql + " IS NULL)" : column.sql + " IS NULL";
    return bound ? in : "0";
}

std::string SQLFetchBuilder::condition(const Predicate& predicate) {
    if (predicate.kind() == Predicate::Kind::And) {
        if (predicate.subpredicates().empty()) return "1";
        std::string out;
        for (const auto& sub : predicate.subpredicates()) {
            out += (out.empty() ? "(" : " AND (") + condition(*sub) + ")";
        }
        return out;
    }
    const auto& left = predicate.leftExpression();
    const auto& right = predicate.rightExpression();
    if (!left || !right) unsupported("Incomplete comparison");
    Column column;
    if (left->kind() == Expression::Kind::KeyPath) {
        column = resolve(left->text());
    } else if (left->kind() == Expression::Kind::EvaluatedObject) {
        column = Column{"t0.\"Z_PK\"", {nullptr, &entity_}};
    } else {
        unsupported("The left side of a comparison must be a key path: " + predicate.description());
    }
    if (right->kind() == Expression::Kind::Variable) {
        unsupported("No value for the substitution variable $" + right->text());
    }
    if (right->kind() != Expression::Kind::ConstantValue) {
        unsupported("The right side of a comparison must be a constant: " +
                    predicate.description());
    }
    return predicate.comparisonOperator() == Predicate::Operator::EqualTo
               ? comparison(column, right->constantValue())
               : membership(column, right->constantValue());
}

SQLFetchBuilder::Output SQLFetchBuilder::output(const ExpressionDescription& description,
                                                std::string& sql) {
    Output out;
    out.key = description.name();
    const auto& e = description.expression();
    if (!e) unsupported("Property " + description.name() + " has no expression");
    switch (e->kind()) {
        case Expression::Kind::EvaluatedObject:
            sql = "t0.\"Z_PK\"";
            out.type = AttributeType::ObjectID;
            out.idEntity = schema_.sharedEntity(entity_);
            return out;
        case Expression::Kind::KeyPath: {
            Column column = resolve(e->text());
            sql = column.sql;
            if (const auto* a = dynamic_cast<const AttributeDescription*>(column.target.property)) {
                out.type = a->attributeType();
            } else {
                const auto* r = static_cast<const RelationshipDescription*>(column.target.property);
                out.type = AttributeType::ObjectID;
                out.idEntity = schema_.sharedEntity(*r->destinationEntity());
            }
            return out;
        }
        case Expression::Kind::Function:
            if (e->text() != "count:" || e->arguments().size() != 1 ||
                e->arguments()[0]->kind() != Expression::Kind::KeyPath) {
                unsupported("Unsupported function " + e->description());
            }
            sql = countOf(e->arguments()[0]->text());
            out.type = AttributeType::Integer64;
            return out;
        default:
            unsupported("Unsupported fetched property " + description.name());
    }
}

SQLFetchBuilder::Plan SQLFetchBuilder::build(const FetchRequest& request) {
    const auto* table = schema_.table(entity_);
    if (!table) unsupported("Entity " + entity_.name() + " is not in the store");
    Plan plan;
    std::string select;
    using RT = FetchRequest::ResultType;
    switch (request.resultType()) {
        case RT::ManagedObject:
            select = "t0.\"Z_PK\", " + table->selectColumns;
            break;
        case RT::ManagedObjectID:
            select = "t0.\"Z_PK\"";
            break;
        case RT::Count:
            select = "1";
            break;
        case RT::Dictionary: {
            auto properties = request.propertiesToFetch();
            if (properties.empty()) {
                for (const auto& p : entity_.properties()) {
                    auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
                    if (!r || !r->isToMany()) properties.emplace_back(p->name());
                }
            }
            for (const auto& p : properties) {
                std::string sql;
                plan.outputs.push_back(output(p, sql));
                select += (select.empty() ? "" : ", ") + sql;
            }
            if (select.empty()) select = "1";
            break;
        }
    }
    std::string where;
    if (request.predicate()) where = " WHERE " + condition(*request.predicate());
    std::string order;
    for (const auto& sort : request.sortDescriptors()) {
        Column column = resolve(sort.keyPath);
        order += (order.empty() ? " ORDER BY " : ", ") + column.sql +
                 (sort.ascending ? " ASC" : " DESC");
    }
    plan.sql = "SELECT " + select + " FROM " + table->name + " t0" + joins_ + where + order;
    if (request.fetchLimit() > 0) {
        plan.sql += " LIMIT ?";
        ++parameters_;
    }
    if (request.resultType() == RT::Count) plan.sql = "SELECT COUNT(*) FROM (" + plan.sql + ")";
    plan.parameters = parameters_;
    return plan;
}

void SQLFetchBuilder::describePredicate(const Predicate& predicate, std::string& key,
                                        std::vector<Value>& bindings) {
    if (predicate.kind() == Predicate::Kind::And) {
        key += '&';
        appendNumber(key, predicate.subpredicates().size());
        for (const auto& sub : predicate.subpredicates()) describePredicate(*sub, key, bindings);
        key += ')';
        return;
    }
    const auto& left = predicate.leftExpression();
    const auto& right = predicate.rightExpression();
    if (!left || !right) unsupported("Incomplete comparison");
    Target target;
    if (left->kind() == Expression::Kind::KeyPath) {
        target = targetOf(left->text());
    } else if (left->kind() == Expression::Kind::EvaluatedObject) {
        target = Target{nullptr, &entity_};
    } else {
        unsupported("The left side of a comparison must be a key path: " + predicate.description());
    }
    if (right->kind() == Expression::Kind::Variable) {
        unsupported("No value for the substitution variable $" + right->text());
    }
    if (right->kind() != Expression::Kind::ConstantValue) {
        unsupported("The right side of a comparison must be a constant: " +
                    predicate.description());
    }
    appendExpression(key, *left);
    const Value& constant = right->constantValue();
    if (predicate.comparisonOperator() == Predicate::Operator::EqualTo) {
        key += constant.isNothing() ? 'N' : bindComparable(target, constant, &bindings) ? '=' : 'X';
        return;
    }
    size_t bound = 0;
    bool matchesNull = false;
    members(target, constant, bound, matchesNull, &bindings);
    key += matchesNull ? 'I' : 'i';
    appendNumber(key, bound);
}

void SQLFetchBuilder::describe(const FetchRequest& request, std::string& key,
                               std::vector<Value>& bindings) {
    const auto* entity = &entity_;
    key.append(reinterpret_cast<const char*>(&entity), sizeof entity);
    key += static_cast<char>('0' + static_cast<int>(request.resultType()));
    if (request.resultType() == FetchRequest::ResultType::Dictionary) {
        appendNumber(key, request.propertiesToFetch().size());
        for (const auto& p : request.propertiesToFetch()) {
            key += p.name();
            key += '\0';
            if (p.expression()) appendExpression(key, *p.expression());
        }
    }
    key += '|';
    if (request.predicate()) describePredicate(*request.predicate(), key, bindings);
    key += '|';
    for (const auto& sort : request.sortDescriptors()) {
        key += sort.keyPath;
        key += '\0';
        key += sort.ascending ? '+' : '-';
    }
    if (request.fetchLimit() > 0) {
        key += 'L';
        bindings.push_back(Value(static_cast<unsigned long>(request.fetchLimit())));
    }
}

}  // namespace platform
