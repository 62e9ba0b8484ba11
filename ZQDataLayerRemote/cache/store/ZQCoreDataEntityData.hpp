// Entity data kept in the cache: a managed object whose fields are the attributes named "zq" +
// the field name in lower case (a leading "&" dropped). Objects of sublevel entities are of this
// class; the other entity-data classes derive from it. Made by the cache's contexts through the
// class registry; used on the thread of its context only, which also covers sdtCache.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSDTData.hpp"
#include "platform/objectstore/ManagedObject.hpp"

class ZQCoreDataEntityData : public platform::ManagedObject, public virtual ZQMutableEntityData {
  public:
    // Absent when the object has left its context (deleted, or its store removed by a clear of
    // the cache), the name is empty or the entity has no such attribute.
    platform::Value valueForEntityDataFieldName(const std::string& fieldName) const override;
    // A field of structured type (by the descriptor's field info) reads as a Value::object of a
    // ZQSDTData, built from the stored JSON text once and kept until the attribute changes or the
    // object turns into a fault; with a specifier, as that member of it.
    platform::Value valueForEntityDataFieldName(
        const std::string& fieldName, const std::optional<std::string>& fieldSpecifier,
        const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor) const override;
    bool hasValueForEntityDataFieldName(const std::string& fieldName) const override;
    // The names are resolved to properties once per entity and list of names (remembered per
    // thread for the last pair asked), and the object is checked and read once.
    void valuesForEntityDataFieldNames(std::span<const std::string> fieldNames,
                                       std::vector<platform::Value>& values) const override;
    // Cached entity data has no related values.
    std::optional<platform::Dictionary> relatedValuesByFieldNameForFieldName(
        const std::string& fieldName, const platform::Value& value) const override;

    // Inserted and not yet saved.
    bool entityDataNew() const override;
    // Has unsaved changes.
    bool entityDataUpdated() const override;

    void didChangeValueForKey(const std::string& key) override;
    void didTurnIntoFault() override;

  protected:
    // Stored value of a property; reading may fulfil a fault, which the platform does not count
    // as a change, so the entity-data reads stay const.
    platform::Value storedValueForKey(std::string_view key) const {
        return const_cast<ZQCoreDataEntityData*>(this)->valueForKey(key);
    }

  private:
    // Still in a context, and, once saved, in a store of that context's coordinator.
    bool isReadable() const;

    // Cache attribute name -> structured value made from it. Never saved; made on the first
    // structured read, so that the many rows that have none pay a pointer only.
    using SDTCache = std::unordered_map<std::string, std::shared_ptr<ZQSDTData>>;
    mutable std::unique_ptr<SDTCache> sdtCache_;
};
