// Groups rows by one field: two rows are in the same group when their values under the field key
// are equal (absent equals absent, null equals null; numbers compare by value). Immutable; any
// thread.
#pragma once

#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQFieldComparator.hpp"

class ZQDictionaryFieldComparator : public ZQFieldComparator {
  public:
    explicit ZQDictionaryFieldComparator(std::string fieldKey) : fieldKey_(std::move(fieldKey)) {}
    const std::string& fieldKey() const { return fieldKey_; }
    bool compareEntity(const platform::Dictionary& entity,
                       const platform::Dictionary& toEntity) const override {
        return entity.get(fieldKey_) == toEntity.get(fieldKey_);
    }

  private:
    const std::string fieldKey_;
};
