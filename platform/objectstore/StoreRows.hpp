// The rows that contexts and stores hand each other: a row as read (values in the entity's
// property order, to-one relationships as identifiers, to-many slots absent), the changes of one
// save for one store, and what the store answers. Plain values owned by the caller of one store
// call; never shared between threads while in use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Value.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/PropertyMask.hpp"

namespace platform {

class EntityDescription;
class RelationshipDescription;

struct RowSnapshot {
    int64_t rowID = 0;
    // The version of the save that last wrote the row: every save of a file has a higher version
    // than the ones before it, so that it tells older snapshots from newer ones.
    int64_t version = 0;
    std::vector<Value> values;
    // The row's identifier when the store kept one with the row (shared by every object made of
    // it, instead of a new one per read); none otherwise.
    ManagedObjectIDPtr id;
};

// The values are the objects' own, borrowed for the duration of the save call.
struct StoreChangeSet {
    struct Insert {
        std::shared_ptr<const EntityDescription> entity;
        ManagedObjectIDPtr temporaryID;
        const std::vector<Value>* values = nullptr;
    };
    struct Update {
        std::shared_ptr<const EntityDescription> entity;
        int64_t rowID = 0;
        const PropertyMask* changed = nullptr;  // per property; only these are written
        const std::vector<Value>* values = nullptr;
        // False for an object saved as a fault: `values` then holds only what it changed.
        bool valuesLoaded = true;
        ManagedObjectIDPtr id;  // the object's, for a store that keeps it with the row
    };
    struct Delete {
        std::shared_ptr<const EntityDescription> entity;
        int64_t rowID = 0;
    };
    // The whole member list of a relationship kept in a link table, for one owner.
    struct LinkWrite {
        const RelationshipDescription* relationship = nullptr;
        ManagedObjectIDPtr owner;
        std::vector<ManagedObjectIDPtr> members;
    };
    std::vector<Insert> inserts;
    std::vector<Update> updates;
    std::vector<Delete> deletes;
    std::vector<LinkWrite> links;
    bool empty() const {
        return inserts.empty() && updates.empty() && deletes.empty() && links.empty();
    }
};

struct StoreSaveOutcome {
    // The version of this save, which the rows it wrote now have, and the file's version before
    // it (the last save of anyone: another coordinator, another process).
    int64_t version = 0;
    int64_t previousVersion = 0;
    // Per insert, in order: the permanent identifier.
    std::vector<ManagedObjectIDPtr> insertedIDs;
    // Per update, in order: the row's new version (0 when the row no longer exists).
    std::vector<int64_t> updatedVersions;
};

// A row of a managed-object fetch, whose values are read only when the sink asks.
class RowSource {
  public:
    // Fills the version and the values (not the row number).
    virtual void read(RowSnapshot& out) = 0;

  protected:
    ~RowSource() = default;
};

// A row of a dictionary fetch read where it lies, so that a caller that looks at a few outputs
// once pays for no dictionary: the outputs in the order of the request's properties to fetch.
// Valid only during the sink's call.
class FetchedRow {
  public:
    virtual size_t size() const = 0;
    // The output as the dictionary result holds it; absent where that has no key.
    virtual Value value(size_t output) const = 0;
    // The text of a string output, without making a value; none when it has no value.
    virtual std::optional<std::string_view> text(size_t output) const = 0;
    // An identifier output without making the identifier: its row number (0 when it has no
    // value) in store() of identifierEntity(); value() makes the identifier of those three.
    virtual int64_t rowNumber(size_t output) const = 0;
    virtual const std::shared_ptr<const EntityDescription>& identifierEntity(
        size_t output) const = 0;
    virtual const std::shared_ptr<PersistentStore>& store() const = 0;

  protected:
    ~FetchedRow() = default;
};

// Receives fetch results one row at a time; returning false stops the fetch. A dictionary fetch
// calls `row` when it is set, else `dictionary`.
struct FetchSink {
    std::function<bool(int64_t rowID, RowSource& row)> object;
    std::function<bool(int64_t rowID)> objectID;
    std::function<bool(Dictionary&&)> dictionary;
    std::function<bool(const FetchedRow&)> row;
    int64_t count = 0;
};

}  // namespace platform
