// A context that holds its objects weakly (the cache's main context): what it keeps, that an
// object let go of comes back with its saved values, that the partners an edit reaches stay alive
// through the edit, and that objects let go of on other threads unregister safely while the
// context's own thread keeps using it.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"

using namespace platform;

namespace {

class UnretainedContextTest : public zqtest::ObjectStoreTest {
  protected:
    std::shared_ptr<ManagedObjectContext> unretainedContext() {
        auto context = newContext();
        context->setRetainsRegisteredObjects(false);
        return context;
    }
    void insertItems(int count) {
        auto writer = newContext();
        for (int i = 0; i < count; ++i) insert(*writer, "Item", {{"key", i}});
        ASSERT_NO_STORE_ERROR(writer->save());
    }
    // A saved parent with the children "a", "b" and "c", in that order.
    void insertParentWithChildren() {
        auto seed = newContext();
        auto parent = insert(*seed, "Parent", {{"code", "p"}});
        platform::Array children;
        for (const char* name : {"a", "b", "c"})
            children.push_back(Value::object(insert(*seed, "Child", {{"name", name}})));
        ASSERT_EQ(parent->setValueForKey(Value(std::move(children)), "children"), nullptr);
        ASSERT_NO_STORE_ERROR(seed->save());
    }
};

// A thread that lets go of the lists handed to it, one after another.
class Dropper {
  public:
    Dropper() : thread_([this] { run(); }) {}
    ~Dropper() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void drop(std::vector<std::shared_ptr<ManagedObject>> objects) {
        {
            std::lock_guard lock(mutex_);
            lists_.push_back(std::move(objects));
        }
        wake_.notify_one();
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return done_ || !lists_.empty(); });
            if (lists_.empty()) return;
            auto objects = std::move(lists_.front());
            lists_.pop_front();
            lock.unlock();
            // One at a time from the back, so that entries end all over the registry.
            while (!objects.empty()) objects.pop_back();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::vector<std::shared_ptr<ManagedObject>>> lists_;
    bool done_ = false;
    std::thread thread_;
};

// A tag whose end can be held up: its destructor runs before the base class's, which
// unregisters it, so while it waits its entry is listed with its last reference gone.
class SlowEndingTag : public ManagedObject {
  public:
    ~SlowEndingTag() override {
        if (!entered) return;
        entered->set_value();
        released.wait();
    }
    std::unique_ptr<std::promise<void>> entered;
    std::shared_future<void> released;
};

}  // namespace

TEST_P(UnretainedContextTest, KeepsOnlyHeldAndChangedObjects) {
    constexpr int kCount = 300;
    insertItems(kCount);
    auto context = unretainedContext();
    auto fetched = context->executeFetchRequest(FetchRequest("Item")).objects();
    ASSERT_EQ(fetched.size(), size_t{kCount});
    EXPECT_EQ(context->registeredObjectCount(), size_t{kCount});

    // Every third is changed, every third deleted, every third only read; then the list goes.
    std::vector<ManagedObjectIDPtr> changed, deleted;
    for (int i = 0; i < kCount; ++i) {
        auto& object = fetched[i];
        if (i % 3 == 0) {
            ASSERT_EQ(object->setValueForKey(Value(int64_t{-i - 1}), "key"), nullptr);
            changed.push_back(object->objectID());
        } else if (i % 3 == 1) {
            context->deleteObject(object);
            deleted.push_back(object->objectID());
        }
    }
    auto added = insert(*context, "Item", {{"key", kCount}});
    std::weak_ptr<ManagedObject> watched = added;
    added.reset();
    auto survivor = fetched[2];
    fetched.clear();
    // The unsaved changes and the one object still held stay, each findable as itself.
    EXPECT_EQ(context->registeredObjectCount(), changed.size() + deleted.size() + 2);
    EXPECT_EQ(context->objectWithID(survivor->objectID()), survivor);
    EXPECT_EQ(context->objectWithID(changed[1])->valueForKey("key"), Value(int64_t{-4}));

    ASSERT_NO_STORE_ERROR(context->save());
    // Saved, nothing holds the changed or inserted objects any more.
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(context->registeredObjectCount(), 1u);
    EXPECT_EQ(context->objectWithID(survivor->objectID()), survivor);
    // A row let go of comes back as a fault that reads the saved values.
    EXPECT_EQ(context->objectWithID(changed[2])->valueForKey("key"), Value(int64_t{-7}));
    EXPECT_EQ(context->countForFetchRequest(FetchRequest("Item")).count,
              int64_t{kCount} - int64_t(deleted.size()) + 1);

    // Retaining again keeps what is registered; resetting forgets it.
    context->setRetainsRegisteredObjects(true);
    auto all = context->executeFetchRequest(FetchRequest("Item")).objects();
    all.clear();
    EXPECT_EQ(context->registeredObjectCount(), size_t{kCount} - deleted.size() + 1);
    context->reset();
    EXPECT_EQ(context->registeredObjectCount(), 0u);
    EXPECT_EQ(survivor->managedObjectContext(), nullptr);
}

TEST_P(UnretainedContextTest, RowsLetGoOfOnAnotherThreadUnregisterWhileTheContextFetchesThem) {
    constexpr int kCount = 1000;
    insertItems(kCount);
    auto context = unretainedContext();
    FetchRequest request("Item");
    {
        Dropper dropper;
        for (int round = 0; round < 30; ++round) {
            auto fetched = context->executeFetchRequest(request);
            ASSERT_NO_STORE_ERROR(fetched.error);
            auto objects = fetched.objects();
            ASSERT_EQ(objects.size(), size_t{kCount});
            // Each row is one object with its own values, whether it was still registered or
            // came back as a new one.
            int64_t sum = 0;
            for (const auto& object : objects) sum += *object->valueForKey("key").integer();
            ASSERT_EQ(sum, int64_t{kCount} * (kCount - 1) / 2);
            auto again = context->objectWithID(objects[round * 31 % kCount]->objectID());
            ASSERT_EQ(again, objects[round * 31 % kCount]);
            fetched.results.clear();
            again.reset();
            dropper.drop(std::move(objects));
        }
    }
    EXPECT_EQ(context->registeredObjectCount(), 0u);
    EXPECT_EQ(context->countForFetchRequest(request).count, kCount);
}

TEST_P(UnretainedContextTest, TheFormerPartnerOfAnEditStaysAliveThroughIt) {
    {
        auto seed = newContext();
        auto query = insert(*seed, "Query", {{"queryBaseUri", "q"}});
        insert(*seed, "Row", {{"rowId", 1}, {"query", Value::object(query)}});
        insert(*seed, "Row", {{"rowId", 2}, {"query", Value::object(query)}});
        ASSERT_NO_STORE_ERROR(seed->save());
    }
    auto context = unretainedContext();
    auto rows = context->executeFetchRequest(FetchRequest("Row")).objects();
    ASSERT_EQ(rows.size(), 2u);
    // Only the rows are held: the query is made as a fault by the edit, which takes the row
    // out of its list.
    ASSERT_EQ(rows[0]->setValueForKey(Value(), "query"), nullptr);
    EXPECT_TRUE(rows[0]->valueForKey("query").isNothing());
    ASSERT_NO_STORE_ERROR(context->save());

    auto check = newContext();
    auto queries = check->executeFetchRequest(FetchRequest("Query")).objects();
    ASSERT_EQ(queries.size(), 1u);
    auto members = queries[0]->valueForKey("queryEntities");
    auto* set = dynamic_cast<const ManagedObjectSet*>(members.object().get());
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count(), 1u);

    // Deleting the query through a row cascades to the other row, whose object nobody held.
    auto query = rows[1]->valueForKey("query");
    rows.clear();
    context->deleteObject(std::dynamic_pointer_cast<ManagedObject>(query.object()));
    ASSERT_NO_STORE_ERROR(context->save());
    EXPECT_EQ(check->countForFetchRequest(FetchRequest("Row")).count, 1);
    EXPECT_EQ(check->countForFetchRequest(FetchRequest("Query")).count, 0);
}

TEST_P(UnretainedContextTest, ARowMadeAgainWhileItsLastObjectIsEndingIsANewObject) {
    model_->entityNamed("Tag")->setManagedObjectClassName("UnretainedContextTest.SlowEndingTag");
    ManagedObjectClassRegistry::shared().registerClass<SlowEndingTag>(
        "UnretainedContextTest.SlowEndingTag");
    {
        auto writer = newContext();
        insert(*writer, "Tag", {{"label", "a"}});
        ASSERT_NO_STORE_ERROR(writer->save());
    }
    auto context = unretainedContext();
    auto ending = std::dynamic_pointer_cast<SlowEndingTag>(
        context->executeFetchRequest(FetchRequest("Tag")).objects().at(0));
    ASSERT_TRUE(ending);
    ending->entered = std::make_unique<std::promise<void>>();
    auto entered = ending->entered->get_future();
    std::promise<void> release;
    ending->released = release.get_future().share();
    std::thread dropper([object = std::move(ending)]() mutable { object.reset(); });
    entered.wait();

    // The ending object is still listed; the row comes back as another object, found as itself.
    auto again = context->executeFetchRequest(FetchRequest("Tag")).objects();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0]->valueForKey("label"), Value("a"));
    EXPECT_EQ(context->objectWithID(again[0]->objectID()), again[0]);
    release.set_value();
    dropper.join();
    // The ended object took nothing with it.
    EXPECT_EQ(context->registeredObjectCount(), 1u);
    EXPECT_EQ(context->objectWithID(again[0]->objectID()), again[0]);
    again.clear();
    EXPECT_EQ(context->registeredObjectCount(), 0u);
}

TEST_P(UnretainedContextTest, AToManyReadHandsBackItsMembersWithTheirValues) {
    ASSERT_NO_FATAL_FAILURE(insertParentWithChildren());
    auto context = unretainedContext();
    auto parent = context->executeFetchRequest(FetchRequest("Parent")).objects().at(0);
    auto readNames = [&] {
        auto held = parent->valueForKey("children");
        auto* set = dynamic_cast<const ManagedObjectSet*>(held.object().get());
        std::vector<std::string> names;
        if (!set) return names;
        // The members came with the relationship's read: none of them is read again alone.
        for (const auto& child : set->objects()) {
            EXPECT_FALSE(child->isFault());
            names.emplace_back(child->valueForKey("name").string().value_or(""));
        }
        return names;
    };
    const std::vector<std::string> expected{"a", "b", "c"};
    EXPECT_EQ(readNames(), expected);
    EXPECT_EQ(context->registeredObjectCount(), 1u);
    // Read again once they were let go of, the members come back with their values too.
    EXPECT_EQ(readNames(), expected);
    // A list with an unsaved change is not read again: the change stays.
    auto added = insert(*context, "Child", {{"name", "d"}});
    auto held = parent->valueForKey("children");
    auto* set = dynamic_cast<const ManagedObjectSet*>(held.object().get());
    ASSERT_NE(set, nullptr);
    platform::Array members;
    for (const auto& child : set->objects()) members.push_back(Value::object(child));
    members.push_back(Value::object(added));
    ASSERT_EQ(parent->setValueForKey(Value(std::move(members)), "children"), nullptr);
    held = Value();
    auto again = parent->valueForKey("children");
    set = dynamic_cast<const ManagedObjectSet*>(again.object().get());
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count(), 4u);
    EXPECT_EQ(set->objects()[3]->valueForKey("name"), Value("d"));
}

// A list that keeps its loaded members (an instance's lines): they stay with their owner while
// it lives and merges leave the list alone, taking the saved values in place, and go back to
// being held weakly once the membership changes or the owner goes.
TEST_P(UnretainedContextTest, AListThatKeepsItsMembersHoldsThemWhileTheOwnerLives) {
    model_->entityNamed("Parent")->relationshipNamed("children")->setKeepsLoadedMembers(true);
    ASSERT_NO_FATAL_FAILURE(insertParentWithChildren());
    auto context = unretainedContext();
    auto parent = context->executeFetchRequest(FetchRequest("Parent")).objects().at(0);
    auto members = [&] {
        auto value = parent->valueForKey("children");
        auto* set = dynamic_cast<const ManagedObjectSet*>(value.object().get());
        return set ? set->objects() : std::vector<std::shared_ptr<ManagedObject>>{};
    };
    auto first = members();
    ASSERT_EQ(first.size(), 3u);
    std::weak_ptr<ManagedObject> b = first[1];
    first.clear();
    EXPECT_EQ(context->registeredObjectCount(), 4u);

    // Another context renames a member: merged, the kept object shows the new value.
    auto writer = newContext();
    auto renamed = writer->objectWithID(b.lock()->objectID());
    ASSERT_EQ(renamed->setValueForKey(Value("B"), "name"), nullptr);
    std::shared_ptr<const ContextDidSaveNotification> saved;
    auto token = writer->addDidSaveObserver([&](const ContextDidSaveNotification& n) {
        saved = std::make_shared<ContextDidSaveNotification>(n);
    });
    ASSERT_NO_STORE_ERROR(writer->save());
    ASSERT_TRUE(saved);
    context->mergeChangesFromContextDidSaveNotification(*saved);
    auto again = members();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[1], b.lock());
    EXPECT_EQ(again[1]->valueForKey("name"), Value("B"));

    // A member taken out of the list here ends the keeping: what nobody holds goes.
    again.erase(again.begin());
    platform::Array kept;
    for (const auto& child : again) kept.push_back(Value::object(child));
    ASSERT_EQ(parent->setValueForKey(Value(std::move(kept)), "children"), nullptr);
    again.clear();
    EXPECT_EQ(context->registeredObjectCount(), 2u);  // the parent and its changed former member
    ASSERT_EQ(members().size(), 2u);

    // Saved and read again, the members are kept again; the owner's end lets them go.
    ASSERT_NO_STORE_ERROR(context->save());
    ASSERT_EQ(members().size(), 2u);
    EXPECT_EQ(context->registeredObjectCount(), 3u);
    parent.reset();
    EXPECT_EQ(context->registeredObjectCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stores, UnretainedContextTest,
                         testing::Values(zqtest::StoreType::SQLite, zqtest::StoreType::InMemory),
                         zqtest::storeTypeName);
