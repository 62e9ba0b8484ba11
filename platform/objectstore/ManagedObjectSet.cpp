#include "platform/objectstore/ManagedObjectSet.hpp"

#include <algorithm>
#include <set>

#include "platform/objectstore/ManagedObject.hpp"

namespace platform {

std::shared_ptr<ManagedObjectSet> ManagedObjectSet::create(
    std::vector<std::shared_ptr<ManagedObject>> objects, bool ordered) {
    return std::make_shared<ManagedObjectSet>(std::move(objects), ordered);
}

bool ManagedObjectSet::containsObject(const ManagedObject& object) const {
    return std::any_of(objects_.begin(), objects_.end(),
                       [&](const auto& o) { return o.get() == &object; });
}

std::string ManagedObjectSet::description() const {
    std::string out = ordered_ ? "[" : "{";
    for (size_t i = 0; i < objects_.size(); ++i) {
        out += (i ? ", " : "") + objects_[i]->objectID()->URIRepresentation();
    }
    return out + (ordered_ ? "]" : "}");
}

bool ManagedObjectSet::isEqualTo(const Object& other) const {
    auto* o = dynamic_cast<const ManagedObjectSet*>(&other);
    if (!o || o->objects_.size() != objects_.size()) return false;
    if (ordered_) return objects_ == o->objects_;
    std::set<const ManagedObject*> a, b;
    for (const auto& x : objects_) a.insert(x.get());
    for (const auto& x : o->objects_) b.insert(x.get());
    return a == b;
}

}  // namespace platform
