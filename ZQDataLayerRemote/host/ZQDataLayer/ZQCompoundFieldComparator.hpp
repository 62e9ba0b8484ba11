// Groups rows by several fields: two rows are in the same group when every comparator says so
// (an empty list puts all rows in one group). Immutable; any thread.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQFieldComparator.hpp"

class ZQCompoundFieldComparator : public ZQFieldComparator {
  public:
    explicit ZQCompoundFieldComparator(
        std::vector<std::shared_ptr<const ZQFieldComparator>> fieldComparators)
        : fieldComparators_(std::move(fieldComparators)) {}
    bool compareEntity(const platform::Dictionary& entity,
                       const platform::Dictionary& toEntity) const override {
        for (const auto& comparator : fieldComparators_)
            if (!comparator->compareEntity(entity, toEntity)) return false;
        return true;
    }

  private:
    const std::vector<std::shared_ptr<const ZQFieldComparator>> fieldComparators_;
};
