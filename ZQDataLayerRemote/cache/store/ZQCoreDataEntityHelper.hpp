// The naming rules of the cache schema: which entity (and which attribute) of the cache stores a
// business-component level, a data provider, a data-source level or a field. The schema factory
// names its entities with these same functions, so the names always agree. Class operations only,
// no state; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"
#include "platform/objectstore/EntityDescription.hpp"

class ZQCoreDataEntityHelper {
  public:
    // The component's name with "." replaced by "__", then the level's name for a child level,
    // all in lower case ("sales__invoiceline"); empty when the level has no business component.
    static std::string coreDataEntityNameForBusinessComponentLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level);

    // The provider's name with "." replaced by "__" ("Sales__Orders").
    static std::string coreDataEntityNameForDataProviderName(std::string_view dataProviderName);

    // A data provider's entity, or a sublevel's ("_SublevelCustomers_Orders_Lines"); none for a
    // data source without a provider name, a sublevel cut off from its data source, or a level
    // that is neither.
    static std::optional<std::string> coreDataEntityNameForDataSourceLevel(
        const std::shared_ptr<const ZQEntityDataSourceLevelDescriptor>& level);

    // The entity of that name in the schema of the running model; none without a running model,
    // without a schema, or without such an entity.
    static std::shared_ptr<platform::EntityDescription> coreDataEntityDescriptionForName(
        std::string_view name);

    // "zq" and the field's name in lower case, one leading "&" dropped: &CustomerName and
    // customername are both stored as zqcustomername.
    static std::string coreDataAttributeNameForFieldName(std::string_view fieldName);
    // The bookkeeping entities of the data provider whose entity is dataEntityName.
    static std::string coreDataQueryEntityNameForEntityName(std::string_view dataEntityName);
    static std::string coreDataQueryCollectionEntityNameForEntityName(
        std::string_view dataEntityName);
    // "_Sublevel", the provider's entity name, then each sublevel's level name from the outermost
    // to the innermost, all joined by "_".
    static std::string coreDataSublevelEntityName(std::string_view dataEntityName,
                                                  const std::vector<std::string>& levelNames);
};
