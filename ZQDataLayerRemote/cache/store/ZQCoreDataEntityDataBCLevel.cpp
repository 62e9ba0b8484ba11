#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCLevel.hpp"

#include <typeinfo>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

namespace {

// Whether objects of the class registered under the name are business-component levels. The
// registry makes objects, not classes, so a detached probe object answers.
bool classIsBusinessComponentLevel(const std::string& className) {
    auto probe = platform::ManagedObjectClassRegistry::shared().makeObject(className);
    return dynamic_cast<const ZQBusinessComponentLevelEntityData*>(probe.get()) != nullptr;
}

}  // namespace

std::optional<std::string> ZQCoreDataEntityDataBCLevel::entityMD5Hash() const {
    return std::nullopt;
}

std::optional<std::vector<std::shared_ptr<ZQBusinessComponentLevelEntityData>>>
ZQCoreDataEntityDataBCLevel::entityChildLevelEntitiesForLevelName(
    const std::string& levelName) const {
    if (levelName.empty() || !entity()) return std::nullopt;
    std::string key = ZQLowercaseName(levelName);
    auto relationship = entity()->relationshipNamed(key);
    if (!relationship || !relationship->isToMany()) return std::nullopt;
    const platform::EntityDescription* destination = relationship->destinationEntity();
    if (!destination || !classIsBusinessComponentLevel(destination->managedObjectClassName()))
        return std::nullopt;

    auto set =
        std::dynamic_pointer_cast<platform::ManagedObjectSet>(storedValueForKey(key).object());
    if (!set) return std::nullopt;
    std::vector<std::shared_ptr<ZQBusinessComponentLevelEntityData>> children;
    children.reserve(set->count());
    for (const auto& object : set->objects()) {
        // Lines are made by their entity's class, almost always this one: recognised without
        // the cross-cast, which costs as much as the rest of the loop.
        const platform::ManagedObject& member = *object;
        if (typeid(member) == typeid(ZQCoreDataEntityDataBCLevel)) {
            children.push_back(std::static_pointer_cast<ZQCoreDataEntityDataBCLevel>(object));
        } else if (auto child =
                       std::dynamic_pointer_cast<ZQBusinessComponentLevelEntityData>(object)) {
            children.push_back(std::move(child));
        }
    }
    return children;
}
