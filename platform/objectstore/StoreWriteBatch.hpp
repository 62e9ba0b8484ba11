// One transaction over every store of a coordinator that spans several context saves: begun by
// open(), it makes each save of the calling thread part of it until commit(); an object let go of
// without commit() rolls everything back, so that no reader ever sees part of the batch. Readers
// on other threads see the stores as of their last commit meanwhile, and other threads' saves
// wait for the batch to end. Move-only; owned by the thread that opened it, which alone may use
// or end it (see PersistentStore::beginWriteBatch). The stores are begun in the coordinator's
// order, so two batches never wait on each other crosswise.
#pragma once

#include <memory>
#include <vector>

#include "platform/Error.hpp"
#include "platform/objectstore/PersistentStore.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

namespace platform {

class StoreWriteBatch {
  public:
    StoreWriteBatch() = default;
    // The batch over the coordinator's stores, or an error (and an empty batch) when one of them
    // cannot begin; the stores already begun are rolled back then.
    [[nodiscard]] static StoreWriteBatch open(const PersistentStoreCoordinator& coordinator,
                                              ErrorPtr& error);
    StoreWriteBatch(StoreWriteBatch&& other) noexcept = default;
    StoreWriteBatch& operator=(StoreWriteBatch&& other) noexcept;
    StoreWriteBatch(const StoreWriteBatch&) = delete;
    StoreWriteBatch& operator=(const StoreWriteBatch&) = delete;
    ~StoreWriteBatch() { end(false); }

    bool isOpen() const { return !stores_.empty(); }
    // Makes everything saved in the batch visible at once; the first failure is returned (a
    // store that fails rolls its part back). The batch is over either way.
    [[nodiscard]] ErrorPtr commit() { return end(true); }
    // Undoes everything saved in the batch.
    void rollback() { (void)end(false); }

  private:
    ErrorPtr end(bool commit);

    std::vector<std::shared_ptr<PersistentStore>> stores_;
};

}  // namespace platform
