// Protocols of entity data, the items that screens read field values from: plain entity data,
// mutable entity data (knows whether it is new or changed) and a business-component level's
// entity data (hash and child levels). An item belongs to whoever made it (a cache context, a
// handler); it is used on that owner's thread or queue only.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSections.hpp"
#include "platform/Value.hpp"

class ZQEntityData {
  public:
    virtual ~ZQEntityData() = default;
    // Absent when the item has no such field.
    virtual platform::Value valueForEntityDataFieldName(const std::string& fieldName) const = 0;
    // With a structured-type field, fieldSpecifier picks a member ("Address.City" style); the
    // descriptor tells the field's type. Absent when the item has no such field.
    virtual platform::Value valueForEntityDataFieldName(
        const std::string& fieldName, const std::optional<std::string>& fieldSpecifier,
        const std::shared_ptr<const ZQEntityDataFieldDescriptor>& fieldDescriptor) const = 0;
    virtual bool hasValueForEntityDataFieldName(const std::string& fieldName) const = 0;
    // The values of these fields in order, as valueForEntityDataFieldName gives them one by one,
    // replacing `values`. One call for all the fields of an item lets an implementation check
    // the item and resolve the names once instead of per value.
    virtual void valuesForEntityDataFieldNames(std::span<const std::string> fieldNames,
                                               std::vector<platform::Value>& values) const {
        values.clear();
        values.reserve(fieldNames.size());
        for (const auto& name : fieldNames) values.push_back(valueForEntityDataFieldName(name));
    }
    // Values of other fields that go with a value of this field (a description for a code);
    // none when there are none.
    virtual std::optional<platform::Dictionary> relatedValuesByFieldNameForFieldName(
        const std::string& fieldName, const platform::Value& value) const = 0;
};

class ZQMutableEntityData : public virtual ZQEntityData {
  public:
    virtual bool entityDataNew() const = 0;
    virtual bool entityDataUpdated() const = 0;
};

class ZQBusinessComponentLevelEntityData : public virtual ZQMutableEntityData {
  public:
    // A hash of the instance as the server last sent it; none when unknown.
    virtual std::optional<std::string> entityMD5Hash() const = 0;
    // The items of the child level of that name; none when there is no such level.
    virtual std::optional<std::vector<std::shared_ptr<ZQBusinessComponentLevelEntityData>>>
    entityChildLevelEntitiesForLevelName(const std::string& levelName) const = 0;
};
