#include "platform/objectstore/PersistentStore.hpp"

#include "platform/objectstore/RelationshipDescription.hpp"

#include <atomic>
#include <cstdio>
#include <random>

namespace platform {

namespace {
std::atomic<uint64_t> nextSerial{1};
}

PersistentStore::PersistentStore(StoreType type, std::shared_ptr<const ManagedObjectModel> model,
                                 std::string configuration, std::string path)
    : type_(type),
      model_(std::move(model)),
      configuration_(std::move(configuration)),
      path_(std::move(path)),
      serial_(nextSerial.fetch_add(1)),
      entities_(model_->entitiesForConfiguration(configuration_)) {}

PersistentStore::~PersistentStore() = default;

bool PersistentStore::containsEntity(const EntityDescription& entity) const {
    for (const auto& e : entities_) {
        if (e.get() == &entity) return true;
    }
    return false;
}

ErrorPtr PersistentStore::loadRelatedRows(const RelationshipDescription& relationship,
                                          int64_t rowID, std::vector<RowSnapshot>& out) {
    out.clear();
    std::vector<int64_t> rows;
    if (auto error = loadRelated(relationship, rowID, rows)) return error;
    const EntityDescription* destination = relationship.destinationEntity();
    if (!destination) return nullptr;
    for (int64_t row : rows) {
        RowSnapshot snapshot;
        bool found = false;
        if (auto error = loadRow(*destination, row, snapshot, found)) return error;
        if (found) out.push_back(std::move(snapshot));
    }
    return nullptr;
}

ErrorPtr PersistentStore::beginWriteBatch() {
    return Error::create(kErrorDomain, errc::kStoreSave,
                         "The store at " + path_ + " does not take write batches");
}

ErrorPtr PersistentStore::endWriteBatch(bool /*commit*/) {
    return Error::create(kErrorDomain, errc::kStoreSave,
                         "The store at " + path_ + " has no write batch to end");
}

ManagedObjectIDPtr PersistentStore::objectIDFor(const EntityDescription& entity, int64_t rowID) {
    std::shared_ptr<const EntityDescription> shared;
    for (const auto& e : entities_) {
        if (e.get() == &entity) shared = e;
    }
    if (!shared) shared = model_->entityNamed(entity.name());
    return ManagedObjectID::permanent(std::move(shared), shared_from_this(), rowID);
}

std::string PersistentStore::makeUUID() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<uint64_t>(device()) << 32) ^ device() ^
                              nextSerial.load());
    uint64_t a = generator(), b = generator();
    a = (a & ~0xF000ull) | 0x4000ull;                         // version 4
    b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // variant 1
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08llX-%04llX-%04llX-%04llX-%012llX",
                  static_cast<unsigned long long>(a >> 32),
                  static_cast<unsigned long long>((a >> 16) & 0xFFFF),
                  static_cast<unsigned long long>(a & 0xFFFF),
                  static_cast<unsigned long long>(b >> 48),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return buf;
}

}  // namespace platform
