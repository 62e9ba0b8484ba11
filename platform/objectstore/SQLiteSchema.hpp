// The SQL layout of the entities of one store: a table per entity ("Z_PK" integer row number,
// "Z_OPT" the version of the save that last wrote the row, a typed column per attribute, a
// foreign-key column per to-one relationship), a link table (owner, member, position) per
// relationship kept in one, an index per foreign key and per fetch index, and the statements that
// read and write single rows. Built by its store when it opens and read-only afterwards, so any
// thread holding the store may use it.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/objectstore/ManagedObjectModel.hpp"

namespace platform {

class SQLiteStatement;

class SQLiteSchema {
  public:
    // A stored property as a row read needs it: its index, and an attribute's type or a to-one
    // relationship's destination (the entity of the identifiers the column holds).
    struct StoredColumn {
        size_t property = 0;
        AttributeType type = AttributeType::Undefined;
        std::shared_ptr<const EntityDescription> destination;
    };
    struct Table {
        std::shared_ptr<const EntityDescription> entity;
        std::string name;                      // quoted
        std::vector<std::string> columns;      // per property, quoted; empty for to-many ones
        std::vector<size_t> storedProperties;  // indexes of the properties that have a column
        std::vector<StoredColumn> stored;      // the same, in the same order
        std::string selectRowSQL;              // Z_OPT, stored columns ... WHERE Z_PK = ?
        std::string insertSQL;                 // Z_PK, Z_OPT, stored columns
        std::string deleteSQL;
        std::string selectColumns;  // "t0.Z_OPT, t0.<col>, ..." for fetches aliased t0
        // Statements (one row-number parameter) that remove a deleted row from link tables.
        std::vector<std::string> deleteLinksSQL;
    };

    SQLiteSchema(std::shared_ptr<const ManagedObjectModel> model,
                 const std::vector<std::shared_ptr<EntityDescription>>& entities);

    // The table of an entity of this store, or null.
    const Table* table(const EntityDescription& entity) const;
    const std::vector<Table>& tables() const { return tables_; }
    // Quoted name of the link table that keeps a relationship with LinkTable or InverseLinkTable
    // storage.
    std::string linkTable(const RelationshipDescription& relationship) const;
    std::shared_ptr<const EntityDescription> sharedEntity(const EntityDescription& entity) const;

    // Every CREATE statement of the layout, metadata tables included. The primary-key counter
    // rows are not among them: their entity names are values, bound when the rows are written.
    std::vector<std::string> createStatements() const;
    // The entity of every table, in table order.
    std::vector<std::string> entityNames() const;
    // Table name (unquoted) to column names (unquoted) that an existing file must have.
    std::vector<std::pair<std::string, std::vector<std::string>>> expectedColumns() const;

    static const char* columnType(AttributeType type);
    // Reads column `column` of the current row as a value of `type` (not ObjectID). With
    // `previous` (the value the column had in the row read before), text and bytes that repeat
    // it share its payload instead of making another (values are immutable); `previous` becomes
    // the value read when it is at most kShareableSize bytes, so that what is kept stays small.
    static Value readColumn(const SQLiteStatement& statement, int column, AttributeType type,
                            Value* previous = nullptr);
    static constexpr size_t kShareableSize = 128;

  private:
    // Once every table has its columns: the stored columns as reads need them, and the link rows
    // that go with a deleted row of the table.
    void completeTable(Table& table) const;

    std::shared_ptr<const ManagedObjectModel> model_;
    std::vector<Table> tables_;
    std::unordered_map<const EntityDescription*, size_t> byEntity_;
};

}  // namespace platform
