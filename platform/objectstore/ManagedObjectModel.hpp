// The schema of an object store: entities, configurations (named subsets of the entities, one
// per store) and a version hash that stores record to refuse files of another model. Shared by
// coordinators and contexts; built on one thread, then frozen (validated, relationships resolved)
// by the first coordinator made on it, after which it must not change and any thread may read it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.hpp"
#include "platform/Value.hpp"
#include "platform/objectstore/EntityDescription.hpp"

namespace platform {

class ManagedObjectModel : public Object {
  public:
    [[nodiscard]] static std::shared_ptr<ManagedObjectModel> create();

    const std::vector<std::shared_ptr<EntityDescription>>& entities() const { return entities_; }
    void setEntities(std::vector<std::shared_ptr<EntityDescription>> entities);
    std::shared_ptr<EntityDescription> entityNamed(std::string_view name) const;
    std::map<std::string, std::shared_ptr<EntityDescription>> entitiesByName() const;

    // Configuration names in order of first assignment.
    std::vector<std::string> configurations() const;
    void setEntitiesForConfiguration(
        const std::vector<std::shared_ptr<EntityDescription>>& entities,
        const std::string& configuration);
    // The entities of a configuration, in model order; an empty name means every entity.
    std::vector<std::shared_ptr<EntityDescription>> entitiesForConfiguration(
        const std::string& configuration) const;
    const std::vector<std::pair<std::string, std::vector<std::string>>>& configurationTable()
        const {
        return configurations_;
    }

    // Hex digest of the model's content; equal models have equal hashes.
    std::string versionHash() const;

    // Equal by content: entities in order, configurations.
    bool operator==(const ManagedObjectModel& other) const;
    // Models travel as platform values (the host's model objects); equal by content there too.
    bool isEqualTo(const Object& other) const override;
    std::string description() const override;

    [[nodiscard]] ErrorPtr saveToFile(const std::string& path) const;
    struct ReadResult {
        std::shared_ptr<ManagedObjectModel> model;  // none when the file is missing or foreign
        ErrorPtr error;
    };
    [[nodiscard]] static ReadResult readFromFile(const std::string& path);

    // Validates the model and resolves relationship destinations, inverses and storage. Runs once;
    // later calls (from any thread) return the first outcome.
    [[nodiscard]] ErrorPtr freeze();

  private:
    ErrorPtr resolve();

    std::vector<std::shared_ptr<EntityDescription>> entities_;
    std::map<std::string, size_t, std::less<>> byName_;
    std::vector<std::pair<std::string, std::vector<std::string>>> configurations_;
    std::once_flag frozen_;
    ErrorPtr freezeError_;
};

}  // namespace platform
