#include "platform/objectstore/ManagedObjectModel.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/platform/objectstore/ObjectStoreTestSupport.hpp"
#include "tests/support/TempDir.hpp"

using namespace platform;

namespace {

std::shared_ptr<ManagedObjectModel> configuredModel() {
    auto model = zqtest::makeTestModel();
    std::vector<std::shared_ptr<EntityDescription>> sql, memory;
    for (const auto& e : model->entities()) (e->name() == "Tag" ? memory : sql).push_back(e);
    model->setEntitiesForConfiguration(sql, "sql");
    model->setEntitiesForConfiguration(memory, "memory");
    return model;
}

}  // namespace

TEST(ManagedObjectModel, ComparesByContentAndHashesEqualModelsEqually) {
    auto a = configuredModel();
    auto b = configuredModel();
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(a->versionHash(), b->versionHash());

    b->entityNamed("Item")->attributeNamed("name")->setOptional(false);
    EXPECT_FALSE(*a == *b);
    EXPECT_NE(a->versionHash(), b->versionHash());

    auto c = configuredModel();
    c->entityNamed("Row")->relationshipNamed("query")->setDeleteRule(DeleteRule::Cascade);
    EXPECT_FALSE(*a == *c);
    auto d = configuredModel();
    d->entityNamed("Row")->setIndexes({});
    EXPECT_FALSE(*a == *d);
    // A storage hint is the model's own, but stores made before it was given stay valid.
    auto e = configuredModel();
    auto indexes = e->entityNamed("Row")->indexes();
    indexes.front().setSearchedWithinOwner(!indexes.front().isSearchedWithinOwner());
    e->entityNamed("Row")->setIndexes(indexes);
    EXPECT_FALSE(*a == *e);
    EXPECT_EQ(a->versionHash(), e->versionHash());
}

TEST(ManagedObjectModel, ConfigurationsListTheirEntitiesInModelOrder) {
    auto model = configuredModel();
    EXPECT_EQ(model->configurations(), (std::vector<std::string>{"sql", "memory"}));
    auto memory = model->entitiesForConfiguration("memory");
    ASSERT_EQ(memory.size(), 1u);
    EXPECT_EQ(memory[0]->name(), "Tag");
    EXPECT_EQ(model->entitiesForConfiguration("sql").size(), model->entities().size() - 1);
    EXPECT_EQ(model->entitiesForConfiguration("").size(), model->entities().size());
}

TEST(ManagedObjectModel, FileRoundTripReadsBackAnEqualModel) {
    zqtest::TempDir dir;
    auto model = configuredModel();
    // Names with spaces, percent signs and an empty class name survive the file form.
    model->entityNamed("Line")->setManagedObjectClassName("Odd %name with spaces");
    std::string path = (dir / "schema.mom").string();
    ASSERT_FALSE(model->saveToFile(path));
    auto read = ManagedObjectModel::readFromFile(path);
    ASSERT_TRUE(read.model) << read.error->description();
    EXPECT_FALSE(read.error);
    EXPECT_TRUE(*read.model == *model);
    EXPECT_EQ(read.model->versionHash(), model->versionHash());
    EXPECT_FALSE(read.model->freeze());
}

TEST(ManagedObjectModel, MissingForeignOrTruncatedFilesReadAsNoModel) {
    zqtest::TempDir dir;
    auto missing = ManagedObjectModel::readFromFile((dir / "none.mom").string());
    EXPECT_FALSE(missing.model);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->domain(), kErrorDomain);

    std::string foreign = (dir / "foreign.mom").string();
    std::ofstream(foreign) << "bplist00 something else entirely";
    auto read = ManagedObjectModel::readFromFile(foreign);
    EXPECT_FALSE(read.model);
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->code(), errc::kInvalidFile);

    std::string path = (dir / "cut.mom").string();
    ASSERT_FALSE(configuredModel()->saveToFile(path));
    std::string text;
    {
        std::ifstream in(path);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() / 2);
    auto cut = ManagedObjectModel::readFromFile(path);
    EXPECT_FALSE(cut.model);
    EXPECT_TRUE(cut.error);
}

TEST(ManagedObjectModel, FreezeResolvesStorageOfEveryRelationshipShape) {
    auto model = zqtest::makeTestModel();
    ASSERT_FALSE(model->freeze());
    auto storage = [&](const char* entity, const char* name) {
        return model->entityNamed(entity)->relationshipNamed(name)->storage();
    };
    EXPECT_EQ(storage("Row", "query"), RelationshipStorage::ForeignKey);
    EXPECT_EQ(storage("Query", "queryEntities"), RelationshipStorage::InverseForeignKey);
    EXPECT_EQ(storage("Item", "zqlines"), RelationshipStorage::LinkTable);
    EXPECT_EQ(storage("Line", "parentLevel"), RelationshipStorage::InverseLinkTable);
    // Unordered many-to-many: exactly one side writes the shared table.
    EXPECT_NE(storage("Item", "tags"), storage("Tag", "items"));
    EXPECT_EQ(storage("Parent", "children"), RelationshipStorage::LinkTable);
    EXPECT_EQ(storage("Child", "parentLevel"), RelationshipStorage::ForeignKey);
    EXPECT_EQ(model->entityNamed("Item")->relationshipNamed("zqlines")->inverseRelationship(),
              model->entityNamed("Line")->relationshipNamed("parentLevel").get());
}

TEST(ManagedObjectModel, InvalidModelsFailToFreezeAndToOpenStores) {
    auto model = zqtest::makeTestModel();
    model->entityNamed("Row")->relationshipNamed("query")->setInverseName("nothing");
    auto coordinator = PersistentStoreCoordinator::create(model);
    auto added = coordinator->addPersistentStore(PersistentStore::StoreType::InMemory, "", "");
    EXPECT_FALSE(added.store);
    ASSERT_TRUE(added.error);
    EXPECT_EQ(added.error->code(), errc::kValidation);

    auto unknown = zqtest::makeTestModel();
    unknown->entityNamed("Row")->relationshipNamed("entityData")->setDestinationEntityName("Nope");
    EXPECT_TRUE(unknown->freeze());
}
