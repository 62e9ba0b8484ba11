// An operation that copies values from one object to another by key (through
// platform::KeyValueCoding) when it runs: for each entry of dataKeys, destination[key] =
// source[dataKeys[key]]. It is how results move along a chain of operations; the caller orders it
// with addDependency. The destination is held weakly, because it usually depends on the setter
// (a strong reference would make a cycle through its dependencies); the source is held until the
// setter has run or is cancelled. Any thread; the mutex guards the configuration.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/KeyValueCoding.hpp"
#include "platform/Mutex.hpp"
#include "platform/Operation.hpp"

class ZQDataSetterOperation : public platform::Operation {
  public:
    using DataKeys = std::map<std::string, std::string>;  // destination key -> source key

    [[nodiscard]] static std::shared_ptr<ZQDataSetterOperation> create(
        std::shared_ptr<platform::KeyValueCoding> source = nullptr, DataKeys dataKeys = {},
        std::shared_ptr<platform::KeyValueCoding> destination = nullptr);

    void setSource(std::shared_ptr<platform::KeyValueCoding> source) EXCLUDES(mutex_);
    void setDataKeys(DataKeys dataKeys) EXCLUDES(mutex_);
    void setDestination(std::shared_ptr<platform::KeyValueCoding> destination) EXCLUDES(mutex_);
    std::shared_ptr<platform::KeyValueCoding> source() const EXCLUDES(mutex_);
    std::shared_ptr<platform::KeyValueCoding> destination() const EXCLUDES(mutex_);
    DataKeys dataKeys() const EXCLUDES(mutex_);

    // Copies every pair; an absent source value is copied as absent. A destination key that is
    // missing or read-only is skipped (and logged when logging is enabled).
    void main() override EXCLUDES(mutex_);
    void cancel() override EXCLUDES(mutex_);

  private:
    mutable platform::Mutex mutex_;
    std::shared_ptr<platform::KeyValueCoding> source_ GUARDED_BY(mutex_);
    std::weak_ptr<platform::KeyValueCoding> destination_ GUARDED_BY(mutex_);
    DataKeys dataKeys_ GUARDED_BY(mutex_);
};
