// Builds the cache schema (a platform::ManagedObjectModel) from an application model: an entity
// per business-component level, per cached data provider and sublevel, and per provider the query
// and row entities, with their configurations and fetch indexes. A factory is made, used once and
// dropped by one thread (the model load); it holds no locks.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Error.hpp"
#include "platform/objectstore/EntityDescription.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

enum class GetEntitiesError { couldNotGetEntities = 0 };

// The platform error made from it: domain "ZQDataLayerRemote.GetEntitiesError", code 0.
[[nodiscard]] platform::ErrorPtr errorFromGetEntitiesError(GetEntitiesError error);
inline constexpr const char* ZQGetEntitiesErrorDomain = "ZQDataLayerRemote.GetEntitiesError";

class ZQCoreDataModelFactory {
  public:
    using EntityList = std::vector<std::shared_ptr<platform::EntityDescription>>;

    // None (and *error, when given, set to the GetEntitiesError) when the application model
    // cannot be turned into a schema.
    [[nodiscard]] static std::shared_ptr<platform::ManagedObjectModel>
    coreDataModelForApplicationModel(const std::shared_ptr<const ZQApplicationModel>& appModel,
                                     platform::ErrorPtr* error);

    explicit ZQCoreDataModelFactory(std::shared_ptr<const ZQApplicationModel> appModel);

    // The schema: every "sql" entity, then every "memory" entity; the two configurations only
    // when there are memory entities. None on failure, with the detailed error in error(). Builds
    // once: later calls make a new model from the same entity lists, or fail again.
    [[nodiscard]] std::shared_ptr<platform::ManagedObjectModel> coreDataModel();

    const std::shared_ptr<const ZQApplicationModel>& appModel() const { return appModel_; }
    // Absent before the build and after a failed one; in the order the entities were placed.
    const std::optional<EntityList>& sqlEntities() const { return sqlEntities_; }
    const std::optional<EntityList>& memoryEntities() const { return memoryEntities_; }
    // The first failure met while building (the missing-definition error replaces any other).
    const platform::ErrorPtr& error() const { return error_; }

  private:
    struct Batch;

    bool collectEntities();
    void addBusinessComponentEntities(const ZQBusinessComponentModel& component);
    std::shared_ptr<platform::EntityDescription> makeLevelEntity(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level) const;
    bool addDataProviderEntities(const std::shared_ptr<const ZQWorkWithData>& data);
    std::shared_ptr<platform::EntityDescription> makeDataEntity(const ZQWorkWithDataLevel& level,
                                                                Batch& batch);
    std::shared_ptr<platform::RelationshipDescription> makeQueryEntities(
        const ZQWorkWithData& data, const platform::EntityDescription& dataEntity, Batch& batch);
    std::shared_ptr<platform::AttributeDescription> makeElementAttribute(
        const ZQWorkWithDataElement& element);
    std::shared_ptr<const ZQTypedObjectInfo> variableTypeInfo(
        const std::shared_ptr<const ZQTypedObjectInfo>& info) const;
    std::optional<std::string> sublevelEntityName(const ZQWorkWithDataSublevel& sublevel) const;
    // Adds the batch's entities to the lists; leaves them all out, and logs, when one of them
    // would give the schema a second entity of an existing name.
    void commit(const Batch& batch, const std::string& owner);
    void recordGenericError();

    std::shared_ptr<const ZQApplicationModel> appModel_;
    std::optional<EntityList> sqlEntities_;
    std::optional<EntityList> memoryEntities_;
    platform::ErrorPtr error_;
    std::set<std::string> entityNames_;
    std::set<std::string> dataProviderNames_;
};
