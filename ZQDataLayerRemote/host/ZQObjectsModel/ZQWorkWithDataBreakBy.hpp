// The break-by of a collection data provider: the fields whose equal values group consecutive
// rows into sections when the chosen order does not group. Immutable once loaded; any thread.
#pragma once

#include <string>
#include <vector>

class ZQWorkWithDataBreakBy {
  public:
    explicit ZQWorkWithDataBreakBy(std::vector<std::string> fields) : fields_(std::move(fields)) {}
    const std::vector<std::string>& fields() const { return fields_; }

  private:
    std::vector<std::string> fields_;
};
