#include "platform/objectstore/ManagedObject.hpp"

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"
#include "platform/objectstore/ObjectGraphEditor.hpp"

namespace platform {

ManagedObject::~ManagedObject() {
    // A context that holds its objects weakly still lists this one. With no context (it is
    // going, or the object left it) there is nothing to do. This may run on any thread.
    if (auto context = context_.lock()) context->objectDidEnd(*this);
}

bool ManagedObject::hasChangedKeys() const {
    return changedCount_ > 0;
}

void ManagedObject::markChanged(size_t index) {
    if (!changed_[index]) {
        changed_.set(index);
        ++changedCount_;
    }
}

RelationshipList& ManagedObject::list(size_t index) {
    if (lists_.empty()) lists_.resize(values_.size());
    auto& list = lists_[index];
    if (!list) {
        list = std::make_unique<RelationshipList>();
        if (inserted_) list->assign({});  // nothing stored yet: known to be empty
    }
    return *list;
}

Value ManagedObject::valueForKey(std::string_view key) {
    auto context = context_.lock();
    if (!context || !entity_) return Value();
    int index = entity_->propertyIndex(key);
    if (index < 0 || !context->fulfill(*this)) return Value();
    size_t i = static_cast<size_t>(index);
    const auto& property = entity_->properties()[i];
    if (property->isAttribute()) return values_[i];
    const auto& r = static_cast<const RelationshipDescription&>(*property);
    if (!r.isToMany()) {
        auto id = objectIDFromValue(values_[i]);
        return id ? Value::object(context->objectWithID(id)) : Value();
    }
    // The rows just read stay alive (and registered) while the set is made of the members.
    std::vector<std::shared_ptr<ManagedObject>> read;
    auto ids = context->loadedList(*this, i, nullptr, true, &read).members();
    // Usually the objects read are the members, in order: no look-up of each again.
    bool readAreMembers = read.size() == ids.size();
    for (size_t k = 0; readAreMembers && k < ids.size(); ++k)
        readAreMembers = read[k]->objectID() == ids[k];
    if (readAreMembers)
        return Value::object(ManagedObjectSet::create(std::move(read), r.isOrdered()));
    std::vector<std::shared_ptr<ManagedObject>> objects;
    objects.reserve(ids.size());
    for (const auto& id : ids) {
        if (auto object = context->objectWithID(id)) objects.push_back(std::move(object));
    }
    read.clear();
    return Value::object(ManagedObjectSet::create(std::move(objects), r.isOrdered()));
}

void ManagedObject::valuesAtIndices(std::span<const int> indices, std::vector<Value>& values) {
    values.assign(indices.size(), Value());
    auto context = context_.lock();
    if (!context || !entity_ || !context->fulfill(*this)) return;
    const auto& properties = entity_->properties();
    for (size_t k = 0; k < indices.size(); ++k) {
        const int index = indices[k];
        if (index < 0 || static_cast<size_t>(index) >= properties.size()) continue;
        const auto i = static_cast<size_t>(index);
        values[k] = properties[i]->isAttribute() ? values_[i] : valueForKey(properties[i]->name());
    }
}

ErrorPtr ManagedObject::setValueForKey(const Value& value, std::string_view key) {
    auto context = context_.lock();
    if (!context || deleted_) {
        return Error::create(kErrorDomain, errc::kValidation,
                             "The object is deleted or not in a context");
    }
    int index = entity_->propertyIndex(key);
    if (index < 0) {
        return Error::create(kErrorDomain, errc::kValidation,
                             "Entity " + entity_->name() + " has no property " + std::string(key));
    }
    if (!context->fulfill(*this)) {
        return Error::create(kErrorDomain, errc::kValidation,
                             "The object's row no longer exists: " + id_->URIRepresentation());
    }
    return ObjectGraphEditor(*context).setValue(*this, static_cast<size_t>(index), value);
}

template <typename Entries, typename Locate>
ErrorPtr ManagedObject::setEach(const Entries& entries, Locate locate) {
    if (entries.empty()) return nullptr;
    // As setValueForKey for each entry, with the context and the row looked at once.
    auto context = context_.lock();
    if (!context || deleted_) {
        return Error::create(kErrorDomain, errc::kValidation,
                             "The object is deleted or not in a context");
    }
    ObjectGraphEditor editor(*context);
    bool fulfilled = false;
    for (const auto& entry : entries) {
        size_t index = 0;
        const Value* value = nullptr;
        if (auto error = locate(entry, index, value)) return error;
        // A relationship set may cascade into deleting this object; each entry sees it.
        if (deleted_) {
            return Error::create(kErrorDomain, errc::kValidation,
                                 "The object is deleted or not in a context");
        }
        if (!fulfilled && !context->fulfill(*this)) {
            return Error::create(kErrorDomain, errc::kValidation,
                                 "The object's row no longer exists: " + id_->URIRepresentation());
        }
        fulfilled = true;
        if (auto error = editor.setValue(*this, index, *value)) return error;
    }
    return nullptr;
}

ErrorPtr ManagedObject::setValuesForKeysWithDictionary(const Dictionary& values) {
    return setEach(values, [this](const auto& entry, size_t& index, const Value*& value) {
        int found = entity_->propertyIndex(entry.first);
        if (found < 0) {
            return Error::create(kErrorDomain, errc::kValidation,
                                 "Entity " + entity_->name() + " has no property " + entry.first);
        }
        index = static_cast<size_t>(found);
        value = &entry.second;
        return ErrorPtr();
    });
}

ErrorPtr ManagedObject::setValuesAtIndices(std::span<const IndexedValue> values) {
    return setEach(values, [this](const IndexedValue& entry, size_t& index, const Value*& value) {
        if (entry.first >= entity_->properties().size()) {
            return Error::create(kErrorDomain, errc::kValidation,
                                 "Entity " + entity_->name() + " has no property number " +
                                     std::to_string(entry.first));
        }
        index = entry.first;
        value = &entry.second;
        return ErrorPtr();
    });
}

Dictionary ManagedObject::changedValues() const {
    std::vector<Dictionary::Entry> entries;
    for (size_t i = 0; i < changed_.size(); ++i) {
        const auto* r =
            dynamic_cast<const RelationshipDescription*>(entity_->properties()[i].get());
        if (changed_[i] && !(r && r->isToMany())) {
            entries.emplace_back(entity_->properties()[i]->name(),
                                 values_[i].isAbsent() ? Value::null() : values_[i]);
        }
    }
    return Dictionary::fromEntries(std::move(entries));
}

std::string ManagedObject::description() const {
    std::string out = "<" + (entity_ ? entity_->name() : std::string("?")) + " " +
                      (id_ ? id_->URIRepresentation() : std::string()) + ">";
    if (state_ == State::Fault) return out + " (fault)";
    if (state_ == State::Gone) return out + " (gone)";
    return out;
}

}  // namespace platform
