// The in-memory store: the same tables and connection policy as the SQLite store (SQLiteStore.hpp:
// one writer under a mutex, pooled WAL readers that a save never blocks), on a private database
// in shared memory (/dev/shm, or the temporary folder where there is none) that is made empty
// when the store is added and deleted when it goes. Nothing of it survives the store. Owned by
// its coordinator; any thread.
#pragma once

#include <memory>
#include <string>

#include "platform/objectstore/SQLiteStore.hpp"

namespace platform {

class InMemoryStore : public SQLiteStore {
  public:
    [[nodiscard]] static std::shared_ptr<PersistentStore> open(
        std::shared_ptr<const ManagedObjectModel> model, const std::string& configuration,
        ErrorPtr& error);

    InMemoryStore(std::shared_ptr<const ManagedObjectModel> model, std::string configuration,
                  std::string file);
    ~InMemoryStore() override;

  protected:
    void configure(SQLiteConnection& connection, bool writer) override;

  private:
    void removeFiles();
    std::string file_;
};

}  // namespace platform
