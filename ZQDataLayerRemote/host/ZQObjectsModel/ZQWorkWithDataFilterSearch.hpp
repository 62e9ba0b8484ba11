// The free-text search of a collection data provider: the fields that may be searched, and
// whether a list with a search text keeps its break-by sections (behaviour 1) or not (0).
// Immutable once loaded; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ZQWorkWithDataFilterSearch {
  public:
    ZQWorkWithDataFilterSearch(std::vector<std::string> fields, uint8_t breakByBehavior)
        : fields_(std::move(fields)), breakByBehavior_(breakByBehavior) {}
    const std::vector<std::string>& fields() const { return fields_; }
    uint8_t breakByBehavior() const { return breakByBehavior_; }

  private:
    std::vector<std::string> fields_;
    uint8_t breakByBehavior_;
};
