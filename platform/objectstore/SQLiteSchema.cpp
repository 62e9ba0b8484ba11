#include "platform/objectstore/SQLiteSchema.hpp"

#include <sqlite3.h>

#include <algorithm>

#include "platform/objectstore/SQLiteConnection.hpp"

namespace platform {

namespace {

std::string unquoted(const std::string& quoted) {
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        out += quoted[i];
        if (quoted[i] == '"') ++i;
    }
    return out;
}

std::string tableName(const EntityDescription& e) {
    return quoteIdentifier("E_" + e.name());
}

std::string columnName(const PropertyDescription& p) {
    return quoteIdentifier((p.isAttribute() ? "A_" : "R_") + p.name());
}

// The columns that follow the foreign key in a to-one relationship's index: those of the entity's
// first fetch index. A read of one owner's members in that order (a query's rows by their
// position) then walks the index instead of sorting every member, and look-ups by the foreign
// key alone still use the index's first column. Only attribute elements qualify.
std::string ownerOrderColumns(const EntityDescription& entity,
                              const std::vector<std::string>& columns) {
    if (entity.indexes().empty()) return {};
    std::string out;
    for (const auto& element : entity.indexes().front().elements()) {
        int p = entity.propertyIndex(element.propertyName);
        if (p < 0 || !entity.properties()[static_cast<size_t>(p)]->isAttribute()) return {};
        out += ", " + columns[static_cast<size_t>(p)] + " COLLATE BINARY " +
               (element.ascending ? "ASC" : "DESC");
    }
    return out;
}

}  // namespace

SQLiteSchema::SQLiteSchema(std::shared_ptr<const ManagedObjectModel> model,
                           const std::vector<std::shared_ptr<EntityDescription>>& entities)
    : model_(std::move(model)) {
    for (const auto& entity : entities) {
        Table t;
        t.entity = entity;
        t.name = tableName(*entity);
        std::string columns, placeholders, selectColumns = "t0.\"Z_OPT\"";
        for (const auto& p : entity->properties()) {
            auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
            if (r && r->isToMany()) {
                t.columns.emplace_back();
                continue;
            }
            t.columns.push_back(columnName(*p));
            t.storedProperties.push_back(p->index());
            columns += ", " + t.columns.back();
            placeholders += ", ?";
            selectColumns += ", t0." + t.columns.back();
        }
        t.selectRowSQL = "SELECT \"Z_OPT\"" + columns + " FROM " + t.name + " WHERE \"Z_PK\" = ?";
        t.insertSQL = "INSERT INTO " + t.name + " (\"Z_PK\", \"Z_OPT\"" + columns +
                      ") VALUES (?, ?" + placeholders + ")";
        t.deleteSQL = "DELETE FROM " + t.name + " WHERE \"Z_PK\" = ?";
        t.selectColumns = selectColumns;
        byEntity_.emplace(entity.get(), tables_.size());
        tables_.push_back(std::move(t));
    }
    for (auto& t : tables_) completeTable(t);
    // A to-many relationship without inverse that points at an entity: its link rows go with
    // the destination row too.
    for (const auto& owner : tables_) {
        for (const auto& p : owner.entity->properties()) {
            const auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
            if (!r || !r->isToMany() || r->inverseRelationship()) continue;
            auto it = byEntity_.find(r->destinationEntity());
            if (it == byEntity_.end()) continue;
            tables_[it->second].deleteLinksSQL.push_back("DELETE FROM " + linkTable(*r) +
                                                         " WHERE \"Z_MEMBER\" = ?");
        }
    }
}

void SQLiteSchema::completeTable(Table& t) const {
    for (size_t index : t.storedProperties) {
        const auto* p = t.entity->properties()[index].get();
        StoredColumn column;
        column.property = index;
        if (const auto* a = dynamic_cast<const AttributeDescription*>(p)) {
            column.type = a->attributeType();
        } else {
            const auto* r = static_cast<const RelationshipDescription*>(p);
            column.type = AttributeType::ObjectID;
            column.destination = sharedEntity(*r->destinationEntity());
        }
        t.stored.push_back(std::move(column));
    }
    for (const auto& p : t.entity->properties()) {
        const auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
        if (!r || !r->isToMany()) continue;
        if (r->storage() == RelationshipStorage::LinkTable) {
            t.deleteLinksSQL.push_back("DELETE FROM " + linkTable(*r) + " WHERE \"Z_OWNER\" = ?");
        } else if (r->storage() == RelationshipStorage::InverseLinkTable) {
            t.deleteLinksSQL.push_back("DELETE FROM " + linkTable(*r) + " WHERE \"Z_MEMBER\" = ?");
        }
    }
}

const SQLiteSchema::Table* SQLiteSchema::table(const EntityDescription& entity) const {
    auto it = byEntity_.find(&entity);
    return it == byEntity_.end() ? nullptr : &tables_[it->second];
}

std::shared_ptr<const EntityDescription> SQLiteSchema::sharedEntity(
    const EntityDescription& entity) const {
    if (const Table* t = table(entity)) return t->entity;
    return model_->entityNamed(entity.name());
}

std::string SQLiteSchema::linkTable(const RelationshipDescription& r) const {
    const RelationshipDescription* owner =
        r.storage() == RelationshipStorage::InverseLinkTable ? r.inverseRelationship() : &r;
    return quoteIdentifier("L_" + owner->sourceEntity()->name() + "_" + owner->name());
}

std::vector<std::string> SQLiteSchema::entityNames() const {
    std::vector<std::string> names;
    names.reserve(tables_.size());
    for (const auto& t : tables_) names.push_back(t.entity->name());
    return names;
}

std::vector<std::string> SQLiteSchema::createStatements() const {
    std::vector<std::string> out = {
        "CREATE TABLE \"zq_metadata\" (\"key\" TEXT PRIMARY KEY, \"value\" TEXT)",
        "CREATE TABLE \"zq_primary_keys\" (\"entity\" TEXT PRIMARY KEY, \"max_row\" INTEGER NOT "
        "NULL)",
    };
    for (const auto& t : tables_) {
        const auto& entity = *t.entity;
        std::string sql =
            "CREATE TABLE " + t.name + " (\"Z_PK\" INTEGER PRIMARY KEY, \"Z_OPT\" INTEGER NOT NULL";
        for (const auto& p : entity.properties()) {
            if (const auto* a = dynamic_cast<const AttributeDescription*>(p.get())) {
                sql += ", " + t.columns[p->index()] + " " + columnType(a->attributeType());
            } else if (!t.columns[p->index()].empty()) {
                sql += ", " + t.columns[p->index()] + " INTEGER";
            }
        }
        out.push_back(sql + ")");
        bool hasToOneIndex = false;
        for (const auto& p : entity.properties()) {
            const auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
            if (!r) continue;
            if (!r->isToMany()) {
                hasToOneIndex = true;
                out.push_back("CREATE INDEX " +
                              quoteIdentifier("X_" + entity.name() + "_" + r->name()) + " ON " +
                              t.name + " (" + t.columns[p->index()] +
                              ownerOrderColumns(entity, t.columns) + ")");
            } else if (r->storage() == RelationshipStorage::LinkTable) {
                std::string link = linkTable(*r);
                std::string base = unquoted(link);
                out.push_back("CREATE TABLE " + link +
                              " (\"Z_OWNER\" INTEGER NOT NULL, \"Z_MEMBER\" INTEGER NOT NULL, "
                              "\"Z_POS\" INTEGER NOT NULL)");
                out.push_back("CREATE INDEX " + quoteIdentifier("X_" + base + "_owner") + " ON " +
                              link + " (\"Z_OWNER\", \"Z_POS\")");
                out.push_back("CREATE INDEX " + quoteIdentifier("X_" + base + "_member") + " ON " +
                              link + " (\"Z_MEMBER\")");
            }
        }
        const bool carriedByOwners = hasToOneIndex && !ownerOrderColumns(entity, t.columns).empty();
        for (const auto& index : entity.indexes()) {
            if (carriedByOwners && index.isSearchedWithinOwner() &&
                &index == &entity.indexes().front())
                continue;
            std::string sql = "CREATE INDEX " +
                              quoteIdentifier("I_" + entity.name() + "_" + index.name()) + " ON " +
                              t.name + " (";
            for (size_t i = 0; i < index.elements().size(); ++i) {
                const auto& element = index.elements()[i];
                int p = entity.propertyIndex(element.propertyName);
                sql += (i ? ", " : "") + t.columns[static_cast<size_t>(p)] + " COLLATE BINARY " +
                       (element.ascending ? "ASC" : "DESC");
            }
            out.push_back(sql + ")");
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::vector<std::string>>> SQLiteSchema::expectedColumns()
    const {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    out.push_back({"zq_metadata", {"key", "value"}});
    out.push_back({"zq_primary_keys", {"entity", "max_row"}});
    for (const auto& t : tables_) {
        std::vector<std::string> columns = {"Z_PK", "Z_OPT"};
        for (size_t i : t.storedProperties) columns.push_back(unquoted(t.columns[i]));
        out.emplace_back(unquoted(t.name), std::move(columns));
        for (const auto& p : t.entity->properties()) {
            const auto* r = dynamic_cast<const RelationshipDescription*>(p.get());
            if (r && r->isToMany() && r->storage() == RelationshipStorage::LinkTable) {
                out.push_back({unquoted(linkTable(*r)), {"Z_OWNER", "Z_MEMBER", "Z_POS"}});
            }
        }
    }
    return out;
}

const char* SQLiteSchema::columnType(AttributeType type) {
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
        case AttributeType::Boolean:
            return "INTEGER";
        case AttributeType::Double:
        case AttributeType::Float:
        case AttributeType::Date:
            return "REAL";
        case AttributeType::Binary:
            return "BLOB";
        default:
            return "TEXT";
    }
}

Value SQLiteSchema::readColumn(const SQLiteStatement& s, int column, AttributeType type,
                               Value* previous) {
    // The column's value object answers without the statement-level checks of each
    // sqlite3_column_* call; it is valid until the next step, like the text it points to.
    sqlite3_value* v = sqlite3_column_value(s.handle(), column);
    if (sqlite3_value_type(v) == SQLITE_NULL) return Value();
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            return Value(static_cast<long long>(sqlite3_value_int64(v)));
        case AttributeType::Boolean:
            return Value(sqlite3_value_int64(v) != 0);
        case AttributeType::Double:
        case AttributeType::Float:
            return Value(sqlite3_value_double(v));
        case AttributeType::Date:
            return Value(Date(sqlite3_value_double(v)));
        case AttributeType::Binary: {
            const auto* data = static_cast<const uint8_t*>(sqlite3_value_blob(v));
            auto size = static_cast<size_t>(sqlite3_value_bytes(v));
            if (previous) {
                const Value::Bytes* last = previous->bytes();
                if (last && last->size() == size && std::equal(last->begin(), last->end(), data)) {
                    return *previous;
                }
            }
            Value out = Value::bytes(data ? Value::Bytes(data, data + size) : Value::Bytes());
            if (previous && size <= kShareableSize) *previous = out;
            return out;
        }
        case AttributeType::Decimal:
        case AttributeType::String: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
            std::string_view view(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(v)));
            bool string = type == AttributeType::String;
            if (previous) {
                std::optional<std::string_view> last =
                    string ? previous->string()
                    : previous->decimal()
                        ? std::optional<std::string_view>(previous->decimal()->text())
                        : std::nullopt;
                if (last && *last == view) return *previous;
            }
            Value out;
            if (string) {
                out = Value(view);
            } else if (auto d = Decimal::fromString(view)) {
                out = Value(std::move(*d));
            }
            if (previous && view.size() <= kShareableSize) *previous = out;
            return out;
        }
        default:
            return Value();
    }
}

}  // namespace platform
