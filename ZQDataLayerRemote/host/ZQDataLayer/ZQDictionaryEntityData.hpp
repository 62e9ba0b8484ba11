// Entity data kept in a dictionary from field name to value: default values, items built by hand,
// tests. The values are fixed at construction, so any thread may read it.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"

class ZQDictionaryEntityData : public ZQMutableEntityData {
  public:
    explicit ZQDictionaryEntityData(platform::Dictionary values, bool isNew = false)
        : values_(std::move(values)), isNew_(isNew) {}

    const platform::Dictionary& values() const { return values_; }

    platform::Value valueForEntityDataFieldName(const std::string& fieldName) const override {
        return values_.get(fieldName);
    }
    // A specifier reads a member of a dictionary value ("City" of an address).
    platform::Value valueForEntityDataFieldName(
        const std::string& fieldName, const std::optional<std::string>& fieldSpecifier,
        const std::shared_ptr<const ZQEntityDataFieldDescriptor>&) const override {
        platform::Value value = values_.get(fieldName);
        return fieldSpecifier ? value[*fieldSpecifier] : value;
    }
    bool hasValueForEntityDataFieldName(const std::string& fieldName) const override {
        return values_.contains(fieldName);
    }
    std::optional<platform::Dictionary> relatedValuesByFieldNameForFieldName(
        const std::string&, const platform::Value&) const override {
        return std::nullopt;
    }
    bool entityDataNew() const override { return isNew_; }
    bool entityDataUpdated() const override { return false; }

  private:
    const platform::Dictionary values_;
    const bool isNew_;
};
