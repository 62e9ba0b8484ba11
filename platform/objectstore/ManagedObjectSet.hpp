// The value of a to-many relationship: the related objects, in the relationship's order when it
// is ordered. An immutable snapshot taken when read; rides in a Value as Value::object. Used on
// the thread of the context its objects belong to.
#pragma once

#include <memory>
#include <vector>

#include "platform/Value.hpp"

namespace platform {

class ManagedObject;

class ManagedObjectSet : public Object {
  public:
    [[nodiscard]] static std::shared_ptr<ManagedObjectSet> create(
        std::vector<std::shared_ptr<ManagedObject>> objects, bool ordered);

    const std::vector<std::shared_ptr<ManagedObject>>& objects() const { return objects_; }
    bool isOrdered() const { return ordered_; }
    size_t count() const { return objects_.size(); }
    bool containsObject(const ManagedObject& object) const;
    std::string description() const override;
    // Same objects; for ordered sets also the same order.
    bool isEqualTo(const Object& other) const override;

    ManagedObjectSet(std::vector<std::shared_ptr<ManagedObject>> objects, bool ordered)
        : objects_(std::move(objects)), ordered_(ordered) {}

  private:
    std::vector<std::shared_ptr<ManagedObject>> objects_;
    bool ordered_;
};

}  // namespace platform
