#include "platform/objectstore/ContextSaver.hpp"

#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/RelationshipDescription.hpp"

namespace platform {

namespace {

ErrorPtr saveError(const std::string& message) {
    return Error::create(kErrorDomain, errc::kStoreSave, message);
}

ContextDidSaveNotification::Snapshot snapshotOf(const ManagedObject& object,
                                                const std::vector<Value>& values, bool known) {
    ContextDidSaveNotification::Snapshot s;
    s.objectID = object.objectID();
    s.valuesKnown = known;
    if (known) s.values = values;
    return s;
}

}  // namespace

ContextSaver::StoreWork& ContextSaver::workFor(const std::shared_ptr<PersistentStore>& store) {
    for (auto& w : work_) {
        if (w.store == store) return w;
    }
    work_.emplace_back();
    auto& work = work_.back();
    work.store = store;
    if (work_.size() == 1) {
        // Most saves go to one store: its lists are made once, at their full size.
        work.changes.inserts.reserve(counts_.inserted);
        work.inserted.reserve(counts_.inserted);
        work.changes.updates.reserve(counts_.updated);
        work.updated.reserve(counts_.updated);
        work.changes.deletes.reserve(counts_.deleted);
        work.deleted.reserve(counts_.deleted);
    }
    return work;
}

ErrorPtr ContextSaver::validate(ManagedObject& object) {
    const auto& entity = *object.entity_;
    // A fault changed only in to-many relationships: its stored values are as they were.
    bool loaded = object.state_ == ManagedObject::State::Loaded;
    for (const auto& property : entity.properties()) {
        size_t i = property->index();
        const auto* r = property->isAttribute()
                            ? nullptr
                            : static_cast<const RelationshipDescription*>(property.get());
        if (!r || !r->isToMany()) {
            if (loaded && !property->isOptional() && object.values_[i].isAbsent()) {
                return Error::create(
                    kErrorDomain, errc::kValidationMissingMandatoryProperty,
                    entity.name() + "." + property->name() + " is a required value");
            }
            continue;
        }
        if (!object.inserted_ && !object.changed_[i]) continue;
        if (!object.existingList(i) && !object.inserted_) continue;
        // Without count limits there is nothing to check: loading an unread list here (the
        // inverse side of every link a save makes) would cost a query per related object.
        if (r->maxCount() <= 1 && r->minCount() <= 0) continue;
        size_t count = 0;  // an inserted object's untouched list is empty
        if (object.existingList(i)) {
            ErrorPtr error;
            count = context_.loadedList(object, i, &error).size();
            if (error) return error;
        }
        bool tooMany = r->maxCount() > 1 && count > static_cast<size_t>(r->maxCount());
        bool tooFew = r->minCount() > 0 && count < static_cast<size_t>(r->minCount()) &&
                      (count > 0 || !r->isOptional());
        if (tooMany || tooFew) {
            return Error::create(kErrorDomain, errc::kValidationRelationshipCount,
                                 entity.name() + "." + property->name() + " has " +
                                     std::to_string(count) + " objects");
        }
    }
    return nullptr;
}

ErrorPtr ContextSaver::addLinks(ManagedObject& object, StoreWork& work) {
    for (const auto& property : object.entity_->properties()) {
        if (property->isAttribute()) continue;
        const auto* r = static_cast<const RelationshipDescription*>(property.get());
        if (r->storage() != RelationshipStorage::LinkTable) continue;
        size_t i = r->index();
        bool written = object.inserted_
                           ? object.existingList(i) && object.existingList(i)->size() > 0
                           : static_cast<bool>(object.changed_[i]);
        if (!written) continue;
        ErrorPtr error;
        auto members = context_.loadedList(object, i, &error).members();
        if (error) return error;
        work.changes.links.push_back({r, object.id_, std::move(members)});
    }
    return nullptr;
}

ErrorPtr ContextSaver::save(std::shared_ptr<ContextDidSaveNotification>& notification) {
    auto& coordinator = context_.coordinator_;
    if (!coordinator) return saveError("The context has no persistent store coordinator");
    std::vector<std::shared_ptr<ManagedObject>> dropped;  // inserted, then deleted: never written
    // Runs of objects of one store (the usual case) look it up once.
    std::shared_ptr<PersistentStore> last;
    auto storeOf = [&](const ManagedObjectID& id) {
        if (!last || last->serial() != id.storeSerial()) last = coordinator->storeForObjectID(id);
        return last;
    };
    for (const auto& object : context_.changed_) {
        if (object->deleted_) {
            ++counts_.deleted;
        } else if (object->inserted_) {
            ++counts_.inserted;
        } else {
            ++counts_.updated;
        }
    }
    // Nothing below adds to the context's change list, so it is read in place.
    for (const auto& object : context_.changed_) {
        if (object->deleted_) {
            if (object->inserted_) {
                dropped.push_back(object);
                continue;
            }
            auto store = storeOf(*object->id_);
            if (!store) {
                return saveError("The store of " + object->id_->URIRepresentation() +
                                 " was removed");
            }
            auto& work = workFor(store);
            work.changes.deletes.push_back({object->entity_, object->id_->number()});
            work.deleted.push_back(object);
            continue;
        }
        if (!object->inserted_ && !object->hasChangedKeys()) continue;
        if (auto error = validate(*object)) return error;
        if (object->inserted_) {
            auto store = coordinator->storeForEntity(*object->entity_);
            if (!store) return saveError("No store holds entity " + object->entity_->name());
            auto& work = workFor(store);
            work.changes.inserts.push_back({object->entity_, object->id_, &object->values_});
            work.inserted.push_back(object);
            if (auto error = addLinks(*object, work)) return error;
        } else {
            auto store = storeOf(*object->id_);
            if (!store) {
                return saveError("The store of " + object->id_->URIRepresentation() +
                                 " was removed");
            }
            auto& work = workFor(store);
            work.changes.updates.push_back(
                {object->entity_, object->id_->number(), &object->changed_, &object->values_,
                 object->state_ == ManagedObject::State::Loaded, object->id_});
            work.updated.push_back(object);
            if (auto error = addLinks(*object, work)) return error;
        }
    }
    // An inserted object may only refer to objects of its own store.
    for (auto& work : work_) {
        if (auto error = work.store->save(work.changes, work.outcome)) return error;
    }
    finish(dropped, notification);
    return nullptr;
}

ContextSaver::Replacements ContextSaver::rekeyInserted() {
    Replacements replacements;
    size_t inserted = 0;
    for (const auto& work : work_) inserted += work.inserted.size();
    replacements.reserve(inserted);
    // The registry entries move to the permanent identifiers: one by one for a few, with one
    // new table when they are a good share of the context's objects.
    const bool many = inserted * 4 > context_.objects_.size();
    auto rekeyEach = [&] {
        for (auto& work : work_) {
            for (size_t i = 0; i < work.inserted.size(); ++i) {
                auto& object = *work.inserted[i];
                replacements.add(object.id_->number(), work.outcome.insertedIDs[i]);
                if (many) {
                    object.id_ = work.outcome.insertedIDs[i];
                    continue;
                }
                auto temporary = object.id_;
                context_.objects_.rekey(*temporary,
                                        [&] { object.id_ = work.outcome.insertedIDs[i]; });
            }
        }
    };
    if (many) {
        context_.objects_.rekeyAll(rekeyEach);
    } else {
        rekeyEach();
    }
    replacements.seal();
    return replacements;
}

void ContextSaver::settle(ManagedObject& object, int64_t version,
                          const Replacements& replacements) {
    if (!replacements.empty()) {  // identifiers of objects this save inserted
        for (auto& value : object.values_) {
            if (value.kind() != Value::Kind::ObjectID) continue;
            auto id = objectIDFromValue(value);
            if (!id) continue;
            if (const auto* permanent = replacements.find(*id)) value = Value::objectID(*permanent);
        }
    }
    for (auto& list : object.lists_) {
        if (!list) continue;
        if (!list->isLoaded()) {
            // The members it added and removed unread are in the store now: the next read
            // loads them from there.
            list->unload();
        } else if (!replacements.empty()) {
            list->remap(replacements);
        }
    }
    object.inserted_ = false;
    object.version_ = version;
    object.changed_.clear();
    object.changedCount_ = 0;
}

std::vector<size_t> ContextSaver::changedToManyOf(const ManagedObject& object) {
    std::vector<size_t> indices;
    if (object.changedCount_ == 0) return indices;
    const auto& properties = object.entity_->properties();
    for (size_t i = 0; i < properties.size() && i < object.changed_.size(); ++i) {
        if (!object.changed_[i] || properties[i]->isAttribute()) continue;
        if (static_cast<const RelationshipDescription*>(properties[i].get())->isToMany()) {
            indices.push_back(i);
        }
    }
    return indices;
}

void ContextSaver::finish(std::vector<std::shared_ptr<ManagedObject>>& dropped,
                          std::shared_ptr<ContextDidSaveNotification>& notification) {
    Replacements replacements = rekeyInserted();
    for (const auto& object : context_.changed_) object->inChangeList_ = false;
    context_.changed_.clear();

    std::vector<ContextDidSaveNotification::Snapshot> inserted, updated;
    std::vector<ManagedObjectIDPtr> deleted;
    inserted.reserve(counts_.inserted);
    updated.reserve(counts_.updated);
    deleted.reserve(counts_.deleted);
    for (auto& work : work_) {
        for (const auto& object : work.inserted) {
            settle(*object, work.outcome.version, replacements);
            inserted.push_back(snapshotOf(*object, object->values_, false));
            inserted.back().version = work.outcome.version;
        }
        for (size_t i = 0; i < work.updated.size(); ++i) {
            auto& object = *work.updated[i];
            std::vector<size_t> changedToMany = changedToManyOf(object);
            settle(object, work.outcome.updatedVersions[i], replacements);
            bool known = object.state_ == ManagedObject::State::Loaded;
            updated.push_back(snapshotOf(object, object.values_, known));
            updated.back().version = object.version_;
            updated.back().changedToMany = std::move(changedToMany);
            updated.back().toManyKnown = true;
        }
        for (const auto& object : work.deleted) {
            deleted.push_back(object->id_);
            context_.forget(*object);
        }
    }
    for (const auto& object : dropped) context_.forget(*object);
    notification = std::make_shared<ContextDidSaveNotification>(
        context_.weak_from_this(), std::move(inserted), std::move(updated), std::move(deleted));
}

}  // namespace platform
