#include "platform/objectstore/TemporaryIDMap.hpp"

#include <gtest/gtest.h>

#include "platform/objectstore/AttributeDescription.hpp"
#include "platform/objectstore/EntityDescription.hpp"

using namespace platform;

namespace {

std::shared_ptr<const EntityDescription> entity() {
    static auto made = [] {
        auto e = EntityDescription::create("Thing");
        e->setProperties({AttributeDescription::create("name", AttributeType::String)});
        return std::shared_ptr<const EntityDescription>(e);
    }();
    return made;
}

// The identifier a save would give: the map hands back the very pointer it was given, so any
// identifier stands in for it.
ManagedObjectIDPtr permanentFor(int64_t) {
    return ManagedObjectID::temporary(entity());
}

}  // namespace

TEST(TemporaryIDMap, FindsEachTemporaryNumberOfTheSaveWhetherDenseSparseOrOutOfOrder) {
    for (int spacing : {1, 3, 1000}) {
        SCOPED_TRACE(spacing);
        std::vector<ManagedObjectIDPtr> temporaries;
        std::vector<ManagedObjectIDPtr> skipped;  // objects inserted and deleted before the save
        for (int i = 0; i < 200; ++i) {
            temporaries.push_back(ManagedObjectID::temporary(entity()));
            for (int skip = 1; skip < spacing; ++skip)
                skipped.push_back(ManagedObjectID::temporary(entity()));
        }
        TemporaryIDMap map;
        std::vector<ManagedObjectIDPtr> permanents;
        // Added in reverse for one case, so the map has to sort.
        for (size_t i = 0; i < temporaries.size(); ++i) {
            size_t at = spacing == 3 ? temporaries.size() - 1 - i : i;
            permanents.push_back(permanentFor(static_cast<int64_t>(at) + 1));
            map.add(temporaries[at]->number(), permanents.back());
        }
        map.seal();
        for (size_t i = 0; i < temporaries.size(); ++i) {
            size_t at = spacing == 3 ? temporaries.size() - 1 - i : i;
            const ManagedObjectIDPtr* found = map.find(*temporaries[at]);
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->get(), permanents[i].get());
        }
        // A number after the save's is not in it, nor, when the numbers were spread, one between.
        EXPECT_EQ(map.find(*ManagedObjectID::temporary(entity())), nullptr);
        if (!skipped.empty()) {
            EXPECT_EQ(map.find(*skipped.front()), nullptr);
        }
    }
    TemporaryIDMap empty;
    empty.seal();
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.find(*ManagedObjectID::temporary(entity())), nullptr);
}
