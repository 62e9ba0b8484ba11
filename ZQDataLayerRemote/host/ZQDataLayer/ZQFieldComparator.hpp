// Protocol of the comparators that cut a list's rows into sections: compareEntity answers whether
// two rows (dictionaries of field values) belong to the same group. Implementations are immutable;
// any thread.
#pragma once

#include "platform/Value.hpp"

class ZQFieldComparator {
  public:
    virtual ~ZQFieldComparator() = default;
    virtual bool compareEntity(const platform::Dictionary& entity,
                               const platform::Dictionary& toEntity) const = 0;
};
