// What the sample server derives from one version of a provider's array of rows and keeps until
// the rows change: each row's JSON text (answers are joined from them instead of written anew)
// and, per order, the rows' sorted sequence. The data store makes one per version and hands it
// out with the rows; request threads fill it on first use; mutex_ guards the derived forms, which
// never change once made.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.hpp"
#include "platform/Value.hpp"

class ZQSampleRowCache {
  public:
    using Sequence = std::vector<uint32_t>;

    // rows must be an array.
    explicit ZQSampleRowCache(platform::Value rows) : rows_(std::move(rows)) {}

    // Whether the cache was made for this very array (not an equal copy).
    bool holds(const platform::Array& rows) const { return rows_.array() == &rows; }

    // Each row's JSON text, made for every row on the first call.
    std::shared_ptr<const std::vector<std::string>> texts() EXCLUDES(mutex_);
    // The rows' order under the order index, made by sort on the first call for that index.
    // Callers waiting for the same index wait for one sort.
    std::shared_ptr<const Sequence> sequence(size_t orderIndex,
                                             const std::function<Sequence()>& sort)
        EXCLUDES(mutex_);

  private:
    const platform::Value rows_;
    platform::Mutex mutex_;
    std::shared_ptr<const std::vector<std::string>> texts_ GUARDED_BY(mutex_);
    std::map<size_t, std::shared_ptr<const Sequence>> sequences_ GUARDED_BY(mutex_);
};
