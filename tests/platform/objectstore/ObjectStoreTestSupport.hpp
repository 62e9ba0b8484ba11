// Shared pieces of the object-store tests: a model with every relationship shape the store keeps
// (to-one with to-many inverse, one-to-one, unordered many-to-many, ordered to-many with to-one
// and with to-many inverse, cascade and nullify) and a fixture that opens a coordinator on an
// SQLite file in a temporary folder or on the in-memory store. One test thread each.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "tests/support/TempDir.hpp"

namespace zqtest {

// Entities: Query (queryBaseUri, queryParameters, timeStamp, complete; queryEntities ->> Row,
// cascade), Row (rowId; query -> Query; entityData -> Item), Item (key, name, price, weight, ratio,
// active, created, blob, small, mid; entityQueries ->> Row cascade; zqlines ->> Line ordered;
// tags ->> Tag; detail -> Detail cascade), Line (number, text; parentLevel ->> Item), Tag (label;
// items ->> Item), Detail (note; item -> Item), Parent (code; children ->> Child ordered,
// cascade), Child (name; parentLevel -> Parent).
std::shared_ptr<platform::ManagedObjectModel> makeTestModel();

using StoreType = platform::PersistentStore::StoreType;
std::string storeTypeName(const testing::TestParamInfo<StoreType>& info);

class ObjectStoreTest : public testing::TestWithParam<StoreType> {
  protected:
    void SetUp() override;
    std::shared_ptr<platform::ManagedObjectContext> newContext(
        platform::ManagedObjectContext::ConcurrencyType type =
            platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    std::shared_ptr<platform::ManagedObject> insert(platform::ManagedObjectContext& context,
                                                    const std::string& entity,
                                                    const platform::Dictionary& values);

    TempDir dir_;
    std::shared_ptr<platform::ManagedObjectModel> model_;
    std::shared_ptr<platform::PersistentStoreCoordinator> coordinator_;
    std::shared_ptr<platform::PersistentStore> store_;
};

// Checks a result that carries an error.
#define ASSERT_NO_STORE_ERROR(expr)                          \
    do {                                                     \
        auto zq_error_ = (expr);                             \
        ASSERT_FALSE(zq_error_) << zq_error_->description(); \
    } while (0)

}  // namespace zqtest
