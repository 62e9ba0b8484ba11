#include "platform/objectstore/ObjectGraphEditor.hpp"

#include <algorithm>

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

namespace platform {

namespace {

ErrorPtr invalid(const std::string& message) {
    return Error::create(kErrorDomain, errc::kValidation, message);
}

}  // namespace

void ObjectGraphEditor::changed(ManagedObject& object, size_t index, const std::string& key) {
    object.markChanged(index);
    context_.noteChanged(object);
    object.didChangeValueForKey(key);
}

ManagedObject* ObjectGraphEditor::objectFor(const ManagedObjectIDPtr& id) {
    if (!id) return nullptr;
    // A context that holds its objects weakly would let a fault made here go at once.
    auto object = context_.objectWithID(id);
    if (object) reached_.push_back(object);
    return object.get();
}

ErrorPtr ObjectGraphEditor::setValue(ManagedObject& object, size_t index, const Value& value) {
    const auto& property = object.entity_->properties()[index];
    if (property->isAttribute()) {
        return setAttribute(object, static_cast<const AttributeDescription&>(*property), value);
    }
    const auto& r = static_cast<const RelationshipDescription&>(*property);
    if (!r.isToMany()) {
        if (value.isNothing()) return setToOne(object, r, nullptr);
        auto target = managedObjectIn(value);
        if (!target) return invalid(r.name() + " takes a managed object");
        return setToOne(object, r, target.get());
    }
    // A set's own list is used as it is: no copy of its members.
    if (const auto* set = dynamic_cast<const ManagedObjectSet*>(value.object().get())) {
        return setToMany(object, r, set->objects());
    }
    std::vector<std::shared_ptr<ManagedObject>> members;
    if (const Array* array = value.array()) {
        for (const auto& v : *array) {
            auto member = managedObjectIn(v);
            if (!member) return invalid(r.name() + " takes managed objects");
            members.push_back(std::move(member));
        }
    } else if (!value.isNothing()) {
        return invalid(r.name() + " takes a set of managed objects");
    }
    return setToMany(object, r, members);
}

ErrorPtr ObjectGraphEditor::setAttribute(ManagedObject& object, const AttributeDescription& a,
                                         const Value& value) {
    // The usual write of an instance loaded again: a stored value is already of the attribute's
    // type, so one equal to it, of its kind, changes nothing and need not be converted (copied).
    if (const Value& current = object.values_[a.index()];
        !value.isNothing() && current.kind() == value.kind() && current == value)
        return nullptr;
    Value stored;
    if (!a.coerce(value, stored)) {
        return invalid(std::string("A value of kind ") + kindName(value.kind()) +
                       " does not fit attribute " + a.name() + " of type " +
                       attributeTypeName(a.attributeType()));
    }
    Value& slot = object.values_[a.index()];
    if (slot.kind() == stored.kind() && slot == stored) return nullptr;
    slot = std::move(stored);
    changed(object, a.index(), a.name());
    return nullptr;
}

ErrorPtr ObjectGraphEditor::checkMember(const ManagedObject& a, const RelationshipDescription& r,
                                        const ManagedObject& b) const {
    if (b.managedObjectContext().get() != &context_ || b.deleted_) {
        return invalid("Objects of another context, or deleted ones, cannot be related to " +
                       r.name());
    }
    // The same description is the usual case; a name compare tells apart models loaded twice.
    if (b.entity_.get() != r.destinationEntity() &&
        b.entity_->name() != r.destinationEntityName()) {
        return invalid(r.name() + " takes objects of " + r.destinationEntityName() + ", not " +
                       b.entity_->name());
    }
    return nullptr;
}

ErrorPtr ObjectGraphEditor::setToOne(ManagedObject& a, const RelationshipDescription& r,
                                     ManagedObject* b) {
    if (b) {
        if (auto error = checkMember(a, r, *b)) return error;
        link(a, r, *b);
        return nullptr;
    }
    if (ManagedObject* current = objectFor(objectIDFromValue(a.values_[r.index()]))) {
        unlink(a, r, *current);
    } else if (!a.values_[r.index()].isAbsent()) {
        a.values_[r.index()] = Value();
        changed(a, r.index(), r.name());
    }
    return nullptr;
}

ErrorPtr ObjectGraphEditor::setToMany(ManagedObject& a, const RelationshipDescription& r,
                                      const std::vector<std::shared_ptr<ManagedObject>>& members) {
    std::vector<ManagedObjectIDPtr> wanted;
    wanted.reserve(members.size());
    // A short list (an order's lines) is searched in place: an index would cost an allocation
    // per member on every set.
    const bool indexed = members.size() >= 16;
    RelationshipList::Index wantedIndex;
    auto isWanted = [&](const ManagedObjectIDPtr& id) {
        if (indexed) return wantedIndex.count(id) != 0;
        return std::any_of(wanted.begin(), wanted.end(),
                           [&](const ManagedObjectIDPtr& w) { return *w == *id; });
    };
    for (const auto& member : members)
        if (auto error = checkMember(a, r, *member)) return error;
    ErrorPtr error;
    RelationshipList& current = context_.loadedList(a, r.index(), &error);
    if (error) return error;
    // The same members in the same order (an instance's lines written again) change nothing, and
    // are seen in one pass instead of through the index below.
    if (current.holdsExactly(members.size(), [&members](size_t i) -> const ManagedObjectIDPtr& {
            return members[i]->id_;
        }))
        return nullptr;
    for (const auto& member : members) {
        bool first = indexed ? wantedIndex.emplace(member->id_, 0).second : !isWanted(member->id_);
        if (first) wanted.push_back(member->id_);
    }
    for (const auto& id : current.members()) {
        if (!isWanted(id)) {
            if (ManagedObject* old = objectFor(id)) unlink(a, r, *old);
        }
    }
    for (const auto& member : members) {
        if (!current.contains(member->id_)) link(a, r, *member);
    }
    // By value: the stored members and the wanted ones are equal identifiers made apart, so an
    // unchanged order (a page saved again) marks nothing and rewrites no link.
    auto inOrder = [&] {
        auto have = current.members();
        return std::equal(
            have.begin(), have.end(), wanted.begin(), wanted.end(),
            [](const ManagedObjectIDPtr& x, const ManagedObjectIDPtr& y) { return *x == *y; });
    };
    if (r.isOrdered() && !inOrder()) {
        current.assign(wanted);
        changed(a, r.index(), r.name());
    }
    return nullptr;
}

void ObjectGraphEditor::link(ManagedObject& a, const RelationshipDescription& r, ManagedObject& b) {
    if (!r.isToMany()) {
        if (!context_.fulfill(a)) return;
        auto currentID = objectIDFromValue(a.values_[r.index()]);
        if (currentID && *currentID == *b.id_) return;
        if (ManagedObject* current = objectFor(currentID)) unlink(a, r, *current);
    }
    primitiveLink(a, r, b);
    const RelationshipDescription* inverse = r.inverseRelationship();
    if (!inverse) return;
    if (!inverse->isToMany()) {
        if (!context_.fulfill(b)) return;
        auto previousID = objectIDFromValue(b.values_[inverse->index()]);
        if (previousID && !(*previousID == *a.id_)) {
            if (ManagedObject* previous = objectFor(previousID)) unlink(b, *inverse, *previous);
        }
    }
    primitiveLink(b, *inverse, a);
}

void ObjectGraphEditor::unlink(ManagedObject& a, const RelationshipDescription& r,
                               ManagedObject& b) {
    primitiveUnlink(a, r, b);
    if (const RelationshipDescription* inverse = r.inverseRelationship()) {
        primitiveUnlink(b, *inverse, a);
    }
}

void ObjectGraphEditor::primitiveLink(ManagedObject& x, const RelationshipDescription& r,
                                      ManagedObject& y) {
    if (r.isToMany()) {
        RelationshipList& list = x.list(r.index());
        // One look-up: a loaded list that has the member already is unchanged.
        if (!list.add(y.id_) && list.isLoaded()) return;
    } else {
        if (!context_.fulfill(x)) return;
        auto current = objectIDFromValue(x.values_[r.index()]);
        if (current && *current == *y.id_) return;
        x.values_[r.index()] = Value::objectID(y.id_);
    }
    changed(x, r.index(), r.name());
}

void ObjectGraphEditor::primitiveUnlink(ManagedObject& x, const RelationshipDescription& r,
                                        ManagedObject& y) {
    if (r.isToMany()) {
        RelationshipList& list = x.list(r.index());
        if (list.isLoaded() && !list.contains(y.id_)) return;
        list.remove(y.id_);
    } else {
        if (!context_.fulfill(x)) return;
        auto current = objectIDFromValue(x.values_[r.index()]);
        if (!current || !(*current == *y.id_)) return;
        x.values_[r.index()] = Value();
    }
    changed(x, r.index(), r.name());
}

void ObjectGraphEditor::deleteObject(ManagedObject& a) {
    if (a.deleted_ || a.state_ == ManagedObject::State::Gone) return;
    context_.fulfill(a);
    a.deleted_ = true;
    context_.noteChanged(a);
    auto self = a.shared_from_this();  // keeps the object while its partners let go of it
    for (const auto& property : a.entity_->properties()) {
        const auto* r = dynamic_cast<const RelationshipDescription*>(property.get());
        if (!r) continue;
        std::vector<ManagedObjectIDPtr> related;
        if (r->isToMany()) {
            related = context_.loadedList(a, r->index()).members();
        } else if (auto id = objectIDFromValue(a.values_[r->index()])) {
            related.push_back(id);
        }
        for (const auto& id : related) {
            ManagedObject* b = objectFor(id);
            if (!b) continue;
            auto keep = b->shared_from_this();
            unlink(a, *r, *b);
            if (r->deleteRule() == DeleteRule::Cascade) deleteObject(*b);
        }
    }
}

}  // namespace platform
