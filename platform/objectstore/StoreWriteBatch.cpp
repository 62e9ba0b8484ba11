#include "platform/objectstore/StoreWriteBatch.hpp"

namespace platform {

StoreWriteBatch StoreWriteBatch::open(const PersistentStoreCoordinator& coordinator,
                                      ErrorPtr& error) {
    error = nullptr;
    StoreWriteBatch batch;
    for (const auto& store : coordinator.persistentStores()) {
        if ((error = store->beginWriteBatch())) {
            batch.rollback();
            return batch;
        }
        batch.stores_.push_back(store);
    }
    return batch;
}

StoreWriteBatch& StoreWriteBatch::operator=(StoreWriteBatch&& other) noexcept {
    if (this != &other) {
        end(false);
        stores_ = std::move(other.stores_);
        other.stores_.clear();
    }
    return *this;
}

ErrorPtr StoreWriteBatch::end(bool commit) {
    auto stores = std::move(stores_);
    stores_.clear();
    ErrorPtr first;
    // A store that cannot commit rolls back; the stores after it still end, committing when
    // asked, since each was a transaction of its own before the batch as well.
    for (const auto& store : stores) {
        if (ErrorPtr error = store->endWriteBatch(commit); error && !first) first = error;
    }
    return first;
}

}  // namespace platform
