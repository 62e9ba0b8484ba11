// The class names that the cache schema writes into its entities, module-qualified as the
// platform's class registry knows them. The schema factory writes them; the cached object classes
// register under them. Constants only: no state, any thread.
#pragma once

namespace ZQCoreDataCacheClassNames {

inline constexpr const char* kEntityData = "ZQDataLayerRemote.ZQCoreDataEntityData";
inline constexpr const char* kEntityDataTimeStamp =
    "ZQDataLayerRemote.ZQCoreDataEntityDataTimeStamp";
inline constexpr const char* kEntityDataBCLevel = "ZQDataLayerRemote.ZQCoreDataEntityDataBCLevel";
inline constexpr const char* kEntityDataBCRootLevel =
    "ZQDataLayerRemote.ZQCoreDataEntityDataBCRootLevel";
inline constexpr const char* kEntityCollection =
    "ZQDataLayerRemote.ZQEntityCollectionManagedObject";
inline constexpr const char* kEntitySingleItem =
    "ZQDataLayerRemote.ZQEntitySingleItemManagedObject";
inline constexpr const char* kQuery = "ZQDataLayerRemote.ZQQueryManagedObject";
inline constexpr const char* kQueryCollection = "ZQDataLayerRemote.ZQQueryCollectionManagedObject";
inline constexpr const char* kQuerySingleItem = "ZQDataLayerRemote.ZQQuerySingleItemManagedObject";
inline constexpr const char* kQueryCollectionEntity =
    "ZQDataLayerRemote.ZQQueryCollectionEntityCollectionManagedObject";

}  // namespace ZQCoreDataCacheClassNames
