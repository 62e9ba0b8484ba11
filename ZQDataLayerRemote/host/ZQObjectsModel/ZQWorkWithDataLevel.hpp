// What a Work With data provider and its sublevels have in common: data elements, nested
// sublevels and the storage key (the element names that identify an item in the cache). The data
// provider or parent level owns its sublevels. Built by the model loader; immutable afterwards;
// any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataElement.hpp"

class ZQWorkWithDataSublevel;

class ZQWorkWithDataLevel {
  public:
    virtual ~ZQWorkWithDataLevel() = default;

    const std::vector<std::shared_ptr<const ZQWorkWithDataElement>>& elements() const {
        return elements_;
    }
    const std::vector<std::shared_ptr<const ZQWorkWithDataSublevel>>& sublevels() const {
        return sublevels_;
    }
    // Names of the elements that make up the storage key, in key order; empty without a key.
    const std::vector<std::string>& storageKey() const { return storageKey_; }
    // None when no element has that name (exact match).
    std::shared_ptr<const ZQWorkWithDataElement> elementNamed(const std::string& name) const;

    // Loader only.
    void addElement(std::shared_ptr<const ZQWorkWithDataElement> element) {
        elements_.push_back(std::move(element));
    }
    void addSublevel(std::shared_ptr<const ZQWorkWithDataSublevel> sublevel);
    void setStorageKey(std::vector<std::string> key) { storageKey_ = std::move(key); }

  protected:
    ZQWorkWithDataLevel() = default;

  private:
    std::vector<std::shared_ptr<const ZQWorkWithDataElement>> elements_;
    std::vector<std::shared_ptr<const ZQWorkWithDataSublevel>> sublevels_;
    std::vector<std::string> storageKey_;
};
