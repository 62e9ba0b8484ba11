#include "platform/objectstore/ManagedObjectContext.hpp"

#include <algorithm>

#include "platform/objectstore/ContextSaver.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ObjectGraphEditor.hpp"

namespace platform {

namespace {

ErrorPtr fetchError(const std::string& message) {
    return Error::create(kErrorDomain, errc::kObjectStore, message);
}

// A row already read, handed over as a row source.
class SnapshotSource final : public RowSource {
  public:
    explicit SnapshotSource(RowSnapshot& row) : row_(row) {}
    void read(RowSnapshot& out) override { out = std::move(row_); }

  private:
    RowSnapshot& row_;
};

}  // namespace

std::shared_ptr<ManagedObjectContext> ManagedObjectContext::create(ConcurrencyType type) {
    return std::make_shared<ManagedObjectContext>(type);
}

ManagedObjectContext::ManagedObjectContext(ConcurrencyType type) : type_(type) {}

ManagedObjectContext::~ManagedObjectContext() {
    // Objects that outlive the context read as empty.
    objects_.drain([](const auto& object) { object->state_ = ManagedObject::State::Gone; });
}

void ManagedObjectContext::setPersistentStoreCoordinator(
    std::shared_ptr<PersistentStoreCoordinator> coordinator) {
    coordinator_ = std::move(coordinator);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::makeObject(
    const std::shared_ptr<const EntityDescription>& entity, ManagedObjectIDPtr id,
    std::vector<Value>* values) {
    auto& registry = ManagedObjectClassRegistry::shared();
    if (classCache_.entity != entity || classCache_.generation != registry.generation()) {
        classCache_.factory =
            registry.factoryFor(entity->managedObjectClassName(), classCache_.generation);
        classCache_.entity = entity;
    }
    std::shared_ptr<ManagedObject> object = classCache_.factory ? classCache_.factory() : nullptr;
    if (!object) object = std::make_shared<ManagedObject>();
    size_t n = entity->properties().size();
    object->context_ = weak_from_this();
    object->entity_ = entity;
    object->id_ = std::move(id);
    if (values) {
        object->values_ = std::move(*values);
    } else {
        object->values_.resize(n);
    }
    object->changed_.assign(n);
    objects_.insert(object);
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::registered(
    const ManagedObjectIDPtr& id) const {
    return objects_.find(*id);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(
    const std::string& entityName) {
    if (!coordinator_) return nullptr;
    auto entity = coordinator_->managedObjectModel()->entityNamed(entityName);
    if (!entity) return nullptr;
    auto object = makeObject(entity, ManagedObjectID::temporary(entity));
    object->state_ = ManagedObject::State::Loaded;
    object->inserted_ = true;
    noteChanged(*object);
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectWithID(const ManagedObjectIDPtr& id) {
    if (!id) return nullptr;
    if (auto object = registered(id)) return object;
    if (!coordinator_ || id->isTemporaryID() || !coordinator_->storeForObjectID(*id)) {
        return nullptr;
    }
    auto entity = coordinator_->managedObjectModel()->entityNamed(id->entity()->name());
    if (!entity) return nullptr;
    return makeObject(entity, id);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectWithRowID(
    const std::shared_ptr<const EntityDescription>& entity,
    const std::shared_ptr<PersistentStore>& store, int64_t rowID) {
    if (!entity || !store) return nullptr;
    if (auto found = objects_.findRow(*entity, store->serial(), rowID)) return found;
    return objectWithID(ManagedObjectID::permanent(entity, store, rowID));
}

ManagedObjectContext::ObjectResult ManagedObjectContext::existingObjectWithID(
    const ManagedObjectIDPtr& id) {
    ObjectResult result;
    auto object = objectWithID(id);
    if (object && !object->deleted_ && fulfill(*object)) {
        result.object = object;
    } else {
        result.error = Error::create(
            kErrorDomain, errc::kObjectStore,
            "No object exists for " + (id ? id->URIRepresentation() : std::string("nothing")));
    }
    return result;
}

bool ManagedObjectContext::fulfill(ManagedObject& object) {
    if (object.state_ == ManagedObject::State::Loaded) return true;
    if (object.state_ == ManagedObject::State::Gone || !coordinator_) return false;
    auto store = coordinator_->storeForObjectID(*object.id_);
    if (!store) return false;
    RowSnapshot row;
    bool found = false;
    if (store->loadRow(*object.entity_, object.id_->number(), row, found)) return false;
    if (!found) {
        object.state_ = ManagedObject::State::Gone;
        return false;
    }
    object.values_ = std::move(row.values);
    object.version_ = row.version;
    object.state_ = ManagedObject::State::Loaded;
    return true;
}

RelationshipList& ManagedObjectContext::loadedList(
    ManagedObject& object, size_t index, ErrorPtr* error, bool withRows,
    std::vector<std::shared_ptr<ManagedObject>>* members) {
    RelationshipList& list = object.list(index);
    if (list.isLoaded()) {
        if (!withRows || object.changed_[index] || membersAreLoaded(list, members)) return list;
        // Members read with the list have gone since (the registry holds them weakly): one read
        // of every member's row costs less than a read per member.
        list.unload();
    }
    const auto& r =
        static_cast<const RelationshipDescription&>(*object.entity_->properties()[index]);
    auto store = coordinator_ ? coordinator_->storeForObjectID(*object.id_) : nullptr;
    std::shared_ptr<const EntityDescription> destination =
        store ? coordinator_->managedObjectModel()->entityNamed(r.destinationEntityName())
              : nullptr;
    std::vector<ManagedObjectIDPtr> stored;
    ErrorPtr failure;
    if (!store || !destination) {
        failure = fetchError("The object's store is gone");
    } else if (withRows) {
        // The members come with their rows, so that reading them costs no further query.
        std::vector<RowSnapshot> rows;
        failure = store->loadRelatedRows(r, object.id_->number(), rows);
        stored.reserve(rows.size());
        if (members) members->reserve(members->size() + rows.size());
        std::vector<std::shared_ptr<ManagedObject>> kept;
        if (r.keepsLoadedMembers()) kept.reserve(rows.size());
        for (auto& row : rows) {
            SnapshotSource source(row);
            auto member = objectForRow(destination, store, row.rowID, source);
            stored.push_back(member->id_);
            if (r.keepsLoadedMembers()) kept.push_back(member);
            if (members) members->push_back(std::move(member));
        }
        if (!failure) {
            list.load(stored);
            list.hold(std::move(kept));
            return list;
        }
    } else {
        std::vector<int64_t> rows;
        failure = store->loadRelated(r, object.id_->number(), rows);
        stored.reserve(rows.size());
        for (int64_t row : rows) {
            stored.push_back(ManagedObjectID::permanent(destination, store, row));
        }
    }
    if (failure) {
        if (error) *error = failure;
        return list;
    }
    list.load(stored);
    return list;
}

bool ManagedObjectContext::membersAreLoaded(
    const RelationshipList& list, std::vector<std::shared_ptr<ManagedObject>>* members) const {
    // Members the list keeps are alive; they only need to be still here with their values (a
    // merge may have refreshed one, or forgotten it when its row went).
    const auto& held = list.held();
    if (!held.empty() && held.size() == list.size() &&
        std::all_of(held.begin(), held.end(), [](const auto& member) {
            return member->state_ == ManagedObject::State::Loaded;
        })) {
        if (members) members->insert(members->end(), held.begin(), held.end());
        return true;
    }
    const size_t given = members ? members->size() : 0;
    for (const auto& id : list.members()) {
        auto member = objects_.find(*id);
        if (!member || member->state_ != ManagedObject::State::Loaded) {
            if (members) members->resize(given);
            return false;
        }
        if (members) members->push_back(std::move(member));
    }
    return true;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectForRow(
    const std::shared_ptr<const EntityDescription>& entity,
    const std::shared_ptr<PersistentStore>& store, int64_t rowID, RowSource& source) {
    // A registered object keeps its values; only new objects and faults read the row.
    if (auto object = objects_.findRow(*entity, store->serial(), rowID)) {
        if (object->state_ == ManagedObject::State::Fault && !object->deleted_) {
            RowSnapshot row;
            source.read(row);
            object->values_ = std::move(row.values);
            object->version_ = row.version;
            object->state_ = ManagedObject::State::Loaded;
        }
        return object;
    }
    RowSnapshot row;
    source.read(row);
    // A kept identifier serves when it names this row of this store.
    ManagedObjectIDPtr id = row.id && row.id->number() == rowID && row.id->entity() == entity &&
                                    row.id->storeSerial() == store->serial()
                                ? std::move(row.id)
                                : ManagedObjectID::permanent(entity, store, rowID);
    auto object = makeObject(entity, std::move(id), &row.values);
    object->version_ = row.version;
    object->state_ = ManagedObject::State::Loaded;
    return object;
}

void ManagedObjectContext::noteChanged(ManagedObject& object) {
    if (object.inChangeList_) return;
    object.inChangeList_ = true;
    changed_.push_back(object.shared_from_this());
}

void ManagedObjectContext::objectDidEnd(const ManagedObject& object) {
    // Asked even of a retaining registry: it may have held the object weakly before it began to
    // retain, and only its lock tells.
    objects_.erase(object);
}

void ManagedObjectContext::forget(ManagedObject& object) {
    auto keep = object.shared_from_this();
    objects_.erase(object);
    object.context_.reset();
    object.inChangeList_ = false;
    turnIntoFault(object);
    object.state_ = ManagedObject::State::Gone;
}

void ManagedObjectContext::turnIntoFault(ManagedObject& object) {
    size_t n = object.values_.size();
    object.values_.assign(n, Value());
    object.changed_.assign(n);
    object.changedCount_ = 0;
    for (auto& list : object.lists_) list.reset();
    object.state_ = ManagedObject::State::Fault;
    object.didTurnIntoFault();
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    if (!object || object->managedObjectContext().get() != this) return;
    ObjectGraphEditor(*this).deleteObject(*object);
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::FetchResult::objects() const {
    std::vector<std::shared_ptr<ManagedObject>> out;
    for (const auto& value : results) {
        if (auto object = managedObjectIn(value)) {
            out.push_back(std::move(object));
        }
    }
    return out;
}

ManagedObjectContext::FetchResult ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    FetchResult result;
    if (!coordinator_) {
        result.error = fetchError("The context has no persistent store coordinator");
        return result;
    }
    auto entity = coordinator_->managedObjectModel()->entityNamed(request.entityName());
    if (!entity) {
        result.error = fetchError("The model has no entity named " + request.entityName());
        return result;
    }
    using RT = FetchRequest::ResultType;
    // The sink's callbacks capture one pointer, so that making them allocates nothing.
    struct Collector {
        ManagedObjectContext& context;
        std::shared_ptr<const EntityDescription> entity;
        FetchResult& result;
        size_t limit;
        std::shared_ptr<PersistentStore> store;
        bool more() const { return limit == 0 || result.results.size() < limit; }
    } collector{*this, entity, result, request.fetchLimit(), nullptr};
    FetchSink sink;
    sink.object = [c = &collector](int64_t rowID, RowSource& source) {
        auto object = c->context.objectForRow(c->entity, c->store, rowID, source);
        if (object->deleted_) return true;
        c->result.results.push_back(Value::object(std::move(object)));
        return c->more();
    };
    sink.objectID = [c = &collector](int64_t rowID) {
        auto id = ManagedObjectID::permanent(c->entity, c->store, rowID);
        auto object = c->context.registered(id);
        if (object && object->deleted_) return true;
        c->result.results.push_back(Value::objectID(std::move(id)));
        return c->more();
    };
    sink.dictionary = [c = &collector](Dictionary&& row) {
        c->result.results.push_back(Value(std::move(row)));
        return c->more();
    };
    auto stores = coordinator_->storeList();
    for (const auto& store : *stores) {
        if (!store->containsEntity(*entity)) continue;
        collector.store = store;
        if (auto error = store->fetch(request, *entity, sink)) {
            result.results.clear();
            result.error = error;
            return result;
        }
        if (!collector.more()) break;
    }
    if (request.resultType() == RT::Count)
        result.results = {Value(static_cast<long long>(sink.count))};
    return result;
}

ErrorPtr ManagedObjectContext::enumerateFetchRequest(const FetchRequest& request,
                                                     const RowVisitor& visit) {
    if (!coordinator_) return fetchError("The context has no persistent store coordinator");
    if (request.resultType() != FetchRequest::ResultType::Dictionary) {
        return fetchError("Only a dictionary fetch is read row by row");
    }
    auto entity = coordinator_->managedObjectModel()->entityNamed(request.entityName());
    if (!entity) return fetchError("The model has no entity named " + request.entityName());
    // The sink's callback captures one pointer, so that making it allocates nothing.
    struct Counter {
        const RowVisitor& visit;
        size_t limit;
        size_t seen = 0;
        bool stopped = false;
        bool more() const { return !stopped && (limit == 0 || seen < limit); }
    } counter{visit, request.fetchLimit()};
    FetchSink sink;
    sink.row = [c = &counter](const FetchedRow& row) {
        ++c->seen;
        c->stopped = !c->visit(row);
        return c->more();
    };
    auto stores = coordinator_->storeList();
    for (const auto& store : *stores) {
        if (!store->containsEntity(*entity)) continue;
        if (auto error = store->fetch(request, *entity, sink)) return error;
        if (!counter.more()) break;
    }
    return nullptr;
}

ManagedObjectContext::CountResult ManagedObjectContext::countForFetchRequest(
    const FetchRequest& request) {
    FetchRequest counting = request;
    counting.setResultType(FetchRequest::ResultType::Count);
    CountResult result;
    auto fetched = executeFetchRequest(counting);
    result.error = fetched.error;
    if (!fetched.error) result.count = *fetched.results.at(0).integer();
    return result;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::insertedObjects() const {
    std::vector<std::shared_ptr<ManagedObject>> out;
    for (const auto& o : changed_) {
        if (o->isInserted()) out.push_back(o);
    }
    return out;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::updatedObjects() const {
    std::vector<std::shared_ptr<ManagedObject>> out;
    for (const auto& o : changed_) {
        if (o->isUpdated()) out.push_back(o);
    }
    return out;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::deletedObjects() const {
    std::vector<std::shared_ptr<ManagedObject>> out;
    for (const auto& o : changed_) {
        if (o->isDeleted()) out.push_back(o);
    }
    return out;
}

ErrorPtr ManagedObjectContext::save() {
    if (changed_.empty()) return nullptr;
    std::shared_ptr<ContextDidSaveNotification> notification;
    try {
        if (auto error = ContextSaver(*this).save(notification)) return error;
    } catch (const std::exception& e) {
        return Error::create(kErrorDomain, errc::kStoreSave,
                             std::string("The save failed: ") + e.what());
    }
    post(notification);
    return nullptr;
}

void ManagedObjectContext::post(const std::shared_ptr<ContextDidSaveNotification>& notification) {
    Notification posted(kManagedObjectContextDidSaveNotification, this,
                        notification->userInfo(notification));
    observers_.post(posted);
    NotificationCenter::defaultCenter().post(posted);
}

ObserverToken ManagedObjectContext::addDidSaveObserver(DidSaveObserver observer) {
    return observers_.addObserver(
        kManagedObjectContextDidSaveNotification, nullptr,
        [observer = std::move(observer)](const Notification& notification) {
            if (auto changes = ContextDidSaveNotification::fromNotification(notification)) {
                observer(*changes);
            }
        });
}

void ManagedObjectContext::refreshObject(const std::shared_ptr<ManagedObject>& object,
                                         bool mergeChanges) {
    if (!object || object->managedObjectContext().get() != this || object->inserted_) return;
    if (!mergeChanges || object->state_ != ManagedObject::State::Loaded) {
        if (object->inChangeList_) {
            object->inChangeList_ = false;
            std::erase(changed_, object);
        }
        object->deleted_ = false;
        turnIntoFault(*object);
        return;
    }
    auto store = coordinator_ ? coordinator_->storeForObjectID(*object->id_) : nullptr;
    RowSnapshot row;
    bool found = false;
    if (!store || store->loadRow(*object->entity_, object->id_->number(), row, found) || !found) {
        return;
    }
    ContextDidSaveNotification::Snapshot snapshot;
    snapshot.objectID = object->id_;
    snapshot.version = row.version;
    snapshot.values = std::move(row.values);
    object->version_ = 0;  // take the stored values even when not newer
    applySnapshot(*object, snapshot);
}

void ManagedObjectContext::applySnapshot(ManagedObject& object,
                                         const ContextDidSaveNotification::Snapshot& snapshot) {
    // An older save merged late: its values are stale, but a list it changed may have been
    // read before it and kept by the newer merge.
    const bool older = snapshot.version <= object.version_;
    // By index: a merge of many lines would otherwise copy a name for every value it changes.
    std::vector<size_t> changedProperties;
    const auto& properties = object.entity_->properties();
    for (size_t i = 0; i < properties.size(); ++i) {
        if (object.changed_[i]) continue;  // unsaved local changes win
        const auto* r = properties[i]->isAttribute()
                            ? nullptr
                            : static_cast<const RelationshipDescription*>(properties[i].get());
        if (r && r->isToMany()) {
            // Lists the save left alone stay loaded: a save that only stamps an order keeps its
            // lines in memory.
            const bool touched =
                !snapshot.toManyKnown ||
                std::find(snapshot.changedToMany.begin(), snapshot.changedToMany.end(), i) !=
                    snapshot.changedToMany.end();
            RelationshipList* list = touched ? object.existingList(i) : nullptr;
            if (list) {
                list->unload();
                changedProperties.push_back(i);
            }
            continue;
        }
        if (older || !snapshot.valuesKnown) continue;
        const Value& saved = snapshot.values[i];
        if (object.values_[i].kind() == saved.kind() && object.values_[i] == saved) continue;
        object.values_[i] = saved;
        changedProperties.push_back(i);
    }
    if (!older) object.version_ = snapshot.version;
    for (size_t i : changedProperties) object.didChangeValueForKey(properties[i]->name());
}

void ManagedObjectContext::mergeChangesFromContextDidSaveNotification(
    const ContextDidSaveNotification& notification) {
    forgetDeleted(notification.deletedObjectIDs());
    for (const auto& snapshot : notification.updatedSnapshots()) {
        auto object = registered(snapshot.objectID);
        if (!object || object->state_ != ManagedObject::State::Loaded) continue;
        applySnapshot(*object, snapshot);
    }
}

void ManagedObjectContext::mergeChangesFromContextDidSaveNotification(
    const Notification& notification) {
    if (auto changes = ContextDidSaveNotification::fromNotification(notification)) {
        mergeChangesFromContextDidSaveNotification(*changes);
    }
}

void ManagedObjectContext::forgetDeleted(const std::vector<ManagedObjectIDPtr>& deleted) {
    for (const auto& id : deleted) {
        auto object = registered(id);
        if (!object) continue;
        if (object->inChangeList_) std::erase(changed_, object);
        forget(*object);
    }
}

void ManagedObjectContext::mergeChangedObjectIDs(const std::vector<ManagedObjectIDPtr>& updated,
                                                 const std::vector<ManagedObjectIDPtr>& deleted) {
    forgetDeleted(deleted);
    for (const auto& id : updated) {
        if (auto object = registered(id)) refreshObject(object, true);
    }
}

void ManagedObjectContext::reset() {
    for (const auto& object : changed_) object->inChangeList_ = false;
    // The changed objects are let go of once the registry has given them up, as objects of no
    // context.
    auto changed = std::move(changed_);
    changed_.clear();
    objects_.drain([this](const auto& object) {
        object->context_.reset();
        turnIntoFault(*object);
        object->state_ = ManagedObject::State::Gone;
    });
}

}  // namespace platform
