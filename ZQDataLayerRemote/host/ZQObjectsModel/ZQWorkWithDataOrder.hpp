// One order of a collection data provider: the fields rows are sorted by, whether consecutive rows
// with equal leading fields form sections (group-by, up to a field index), and whether the list
// shows an alphabetic index on the first field. Immutable once loaded; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"

class ZQWorkWithDataOrder {
  public:
    ZQWorkWithDataOrder(std::string name, std::vector<std::string> fields, bool groupBy,
                        uint64_t groupByUpToFieldIndex, bool alphaIndexer)
        : name_(std::move(name)),
          fields_(std::move(fields)),
          groupBy_(groupBy),
          groupByUpToFieldIndex_(groupByUpToFieldIndex),
          alphaIndexer_(alphaIndexer) {}

    const std::string& name() const { return name_; }
    const std::vector<std::string>& fields() const { return fields_; }
    bool groupBy() const { return groupBy_; }
    // ZQNotFound when the model gives no limit.
    uint64_t groupByUpToFieldIndex() const { return groupByUpToFieldIndex_; }
    bool alphaIndexer() const { return alphaIndexer_; }

  private:
    std::string name_;
    std::vector<std::string> fields_;
    bool groupBy_;
    uint64_t groupByUpToFieldIndex_;
    bool alphaIndexer_;
};
