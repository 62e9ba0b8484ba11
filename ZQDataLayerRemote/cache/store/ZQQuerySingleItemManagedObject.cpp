#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"

#include "ZQDataLayerRemote/cache/store/ZQEntitySingleItemManagedObject.hpp"

std::shared_ptr<ZQEntitySingleItemManagedObject> ZQQuerySingleItemManagedObject::entityData() {
    return std::dynamic_pointer_cast<ZQEntitySingleItemManagedObject>(
        valueForKey(kEntityDataKey).object());
}

platform::ErrorPtr ZQQuerySingleItemManagedObject::setEntityData(
    const std::shared_ptr<ZQEntitySingleItemManagedObject>& entityData) {
    return setValueForKey(entityData ? platform::Value::object(entityData) : platform::Value(),
                          kEntityDataKey);
}
