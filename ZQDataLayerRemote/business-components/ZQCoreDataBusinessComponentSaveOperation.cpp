#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperation.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ContextDidSaveNotification.hpp"
#include "platform/objectstore/HashSlots.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

using platform::ManagedObject;
using platform::Value;

namespace {

using Object = std::shared_ptr<ManagedObject>;

// Cache attribute name -> converted key value, in name order (the order a key text lists them
// in). A level has a few keys: a sorted vector, not a map that makes a node per key and line. The
// names are the writer's plans' strings, which outlive every KeyValues.
class KeyValues {
  public:
    using Entry = std::pair<std::string_view, Value>;

    void set(std::string_view name, Value value) {
        auto at = std::lower_bound(
            entries_.begin(), entries_.end(), name,
            [](const Entry& entry, std::string_view wanted) { return entry.first < wanted; });
        if (at != entries_.end() && at->first == name)
            at->second = std::move(value);
        else
            entries_.emplace(at, name, std::move(value));
    }
    const Value* find(std::string_view name) const {
        for (const auto& entry : entries_)
            if (entry.first == name) return &entry.second;
        return nullptr;
    }
    void assign(const KeyValues& other) { entries_.assign(other.begin(), other.end()); }
    void clear() { entries_.clear(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }

  private:
    std::vector<Entry> entries_;
};

bool sameKeyValue(const Value& a, const Value& b) {
    if (a == b) return true;
    return a.isNumber() && b.isNumber() && *a.number() == *b.number();
}

// Appends the text of one key value, equal exactly when sameKeyValue holds: numbers by their value
// whatever their type (the bytes of the double, with -0 taken as 0), other values by type and
// description.
void appendKeyText(std::string& text, const Value& value) {
    if (auto number = value.number(); value.isNumber() && number) {
        double d = *number == 0 ? 0.0 : *number;
        char bytes[sizeof d];
        std::memcpy(bytes, &d, sizeof d);
        text += "\x1fn";
        text.append(bytes, sizeof d);
    } else {
        text += "\x1fv";
        text += value.description();
    }
    text += '\x1e';
}

// The cached lines of one level under one parent, found by the key values of a line in the reply
// with one look-up instead of a walk over every line (a walk per line is quadratic in the lines).
// The key texts sit in one vector and an open-addressing table of their positions: a hash map
// would make a node per line, and sorting the texts cost more than the rest of the index.
class LineIndex {
  public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    LineIndex(const ZQBusinessComponentLevel& level, const std::vector<Object>& lines)
        : lines_(&lines) {
        for (const auto& key : level.keyAttributes())
            keyNames_.push_back(
                ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(key->name()));
        // In the order of KeyValues, so that a line's text and a reply's text list the same names
        // in the same order.
        std::sort(keyNames_.begin(), keyNames_.end());
        if (lines.empty()) return;
        size_t capacity = 16;
        while (capacity < lines.size() * 2) capacity *= 2;
        slots_.resize(capacity);
        texts_.reserve(lines.size());
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            text.clear();
            for (const auto& name : keyNames_) appendKeyText(text, lines[i]->valueForKey(name));
            const size_t hash = std::hash<std::string_view>{}(text);
            // Of two lines with the same key, the first is found, as a walk would find it.
            if (probe(hash, text) == kNone) platform::placeSlot(slots_, Slot{hash, i + 1});
            texts_.push_back(text);
        }
    }
    // The position of the line whose key values are these; kNone when no line has them.
    size_t find(const KeyValues& keyValues) const {
        // Values of the level's key attributes only: as many as the level has means all of them.
        if (keyValues.size() == keyNames_.size()) {
            if (slots_.empty()) return kNone;
            std::string text;
            for (const auto& entry : keyValues) appendKeyText(text, entry.second);
            return probe(std::hash<std::string_view>{}(text), text);
        }
        // A reply line without every key value matches the first line that agrees on those it has.
        for (size_t i = 0; i < lines_->size(); ++i) {
            bool matches = true;
            for (const auto& [name, value] : keyValues)
                matches = matches && sameKeyValue((*lines_)[i]->valueForKey(name), value);
            if (matches) return i;
        }
        return kNone;
    }
    const Object& line(size_t position) const { return (*lines_)[position]; }

  private:
    struct Slot {
        size_t hash = 0;
        size_t position = 0;  // the line's position + 1; 0: empty
    };
    size_t probe(size_t hash, const std::string& text) const {
        size_t slot = platform::findSlot(slots_, hash,
                                         [&](size_t position) { return texts_[position] == text; });
        return slot == platform::kNoSlot ? kNone : slots_[slot].position - 1;
    }

    std::vector<std::string> keyNames_;
    std::vector<std::string> texts_;  // by line position
    std::vector<Slot> slots_;
    const std::vector<Object>* lines_;
};

// What every line of a level shares: its cache entity, the cache names of its attributes (in the
// level's order) with their property numbers in the entity (-1: the entity has none), and the
// relationship that holds its lines; worked out once per level of a write instead of once per
// line.
struct LevelPlan {
    std::string entityName;
    bool cached = false;  // the cache schema has the entity
    std::vector<std::string> attributeNames;
    std::vector<int> attributeIndices;
    int timeStampIndex = -1;
    int hashIndex = -1;
    std::string relationship;
};

// Writes one instance into a context. Every method answers false when the write has failed or
// was cancelled (cancelled() tells which); the context then holds changes nobody saves. Every
// object written takes the time stamp of the writer's making.
class InstanceWriter {
  public:
    InstanceWriter(platform::ManagedObjectContext& context,
                   const platform::ManagedObjectModel& model, const platform::Operation& operation)
        : context_(context),
          model_(model),
          operation_(operation),
          timeStamp_(platform::Clock::current()->now()) {}

    bool cancelled() const { return operation_.isCancelled(); }

    // The object of the root level for the JSON object `json`; none on failure.
    Object writeRoot(const std::shared_ptr<const ZQBusinessComponentLevel>& root,
                     const platform::Dictionary& json) {
        return writeLevel(root, json, nullptr, KeyValues(), 0);
    }

    // The root must name one instance: without a value for each key attribute the look-up would
    // match whatever is cached.
    static bool hasEveryKey(const ZQBusinessComponentLevel& level,
                            const platform::Dictionary& json) {
        auto keys = level.keyAttributes();
        if (keys.empty()) return false;
        for (const auto& key : keys)
            if (ZQEntityHelper::coreDataFieldValue(*key, json.get(key->name())).isAbsent())
                return false;
        return true;
    }

  private:
    // The object of `level` (`depth` levels below the root) for the JSON object `json`; none on
    // failure. `siblings` holds the parent's cached lines of a child level (none for the root); a
    // line found among them gives its position there in `siblingPosition`, else
    // LineIndex::kNone.
    Object writeLevel(const std::shared_ptr<const ZQBusinessComponentLevel>& levelPtr,
                      const platform::Dictionary& json, const Object& parent,
                      const KeyValues& inherited, size_t depth, const LineIndex* siblings = nullptr,
                      size_t* siblingPosition = nullptr) {
        const ZQBusinessComponentLevel& level = *levelPtr;
        const LevelPlan& plan = planFor(levelPtr);
        if (!plan.cached) return nullptr;
        // values_ is free again before the child levels are written; the key values of a depth
        // are free again when the next line of that depth is written.
        while (keysByDepth_.size() <= depth) {
            keysByDepth_.emplace_back();
            mergedByDepth_.emplace_back();
        }
        KeyValues& keyValues = keysByDepth_[depth];
        keyValues.clear();
        if (!gatherValues(level, plan, json, inherited, values_, keyValues)) return nullptr;
        Object object;
        size_t position = LineIndex::kNone;
        if (!findExisting(level, plan.entityName, parent, keyValues, siblings, object, position))
            return nullptr;
        if (siblingPosition) *siblingPosition = position;
        if (!object) object = context_.insertNewObject(plan.entityName);
        if (!object) return nullptr;
        if (!level.parentLevel()) {
            if (auto hash = ZQUtilities::nonEmptyStringFromObject(json.get("zq_md5_hash"))) {
                if (plan.hashIndex < 0) return nullptr;
                values_.emplace_back(plan.hashIndex, Value(std::move(*hash)));
            }
        }
        if (plan.timeStampIndex < 0) return nullptr;
        values_.emplace_back(plan.timeStampIndex, Value(timeStamp_));
        if (object->setValuesAtIndices(values_)) return nullptr;
        const auto& children = level.childLevels();
        if (children.empty()) return object;
        KeyValues& merged = mergedByDepth_[depth];
        merged.assign(inherited);
        for (const auto& [name, value] : keyValues) merged.set(name, value);
        for (const auto& child : children)
            if (!writeChildLevel(child, json, object, merged, depth + 1)) return nullptr;
        return object;
    }

    const LevelPlan& planFor(const std::shared_ptr<const ZQBusinessComponentLevel>& level) {
        auto [found, added] = plans_.try_emplace(level.get());
        LevelPlan& plan = found->second;
        if (!added) return plan;
        plan.entityName =
            ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(level);
        auto entity = model_.entityNamed(plan.entityName);
        plan.cached = entity != nullptr;
        for (const auto& attribute : level->attributes()) {
            plan.attributeNames.push_back(
                ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(attribute->name()));
            plan.attributeIndices.push_back(
                entity ? entity->propertyIndex(plan.attributeNames.back()) : -1);
        }
        if (entity) {
            plan.timeStampIndex = entity->propertyIndex("timeStamp");
            plan.hashIndex = entity->propertyIndex("zq_md5_hash");
        }
        plan.relationship = ZQLowercaseName(level->levelName());
        return plan;
    }

    // False when a value is for an attribute the cache entity lacks.
    static bool gatherValues(const ZQBusinessComponentLevel& level, const LevelPlan& plan,
                             const platform::Dictionary& json, const KeyValues& inherited,
                             std::vector<ManagedObject::IndexedValue>& values,
                             KeyValues& keyValues) {
        values.clear();
        const auto& attributes = level.attributes();
        for (size_t i = 0; i < attributes.size(); ++i) {
            const auto& attribute = attributes[i];
            const std::string& cacheName = plan.attributeNames[i];
            // Looked at where it lies, not copied: a line's values are read once each.
            const Value* raw = json.find(attribute->name());
            if (!raw || raw->isAbsent()) {
                raw = inherited.find(cacheName);
                if (!raw) continue;  // left as stored
            }
            Value converted = ZQEntityHelper::coreDataFieldValue(*attribute, *raw);
            if (attribute->isKey() && !converted.isAbsent()) keyValues.set(cacheName, converted);
            if (plan.attributeIndices[i] < 0) return false;
            values.emplace_back(static_cast<size_t>(plan.attributeIndices[i]),
                                converted.isAbsent() ? Value::null() : std::move(converted));
        }
        return true;
    }

    // False when the look-up failed; `found` is the existing object, or none (a line found
    // among `siblings` also gives its `position` there).
    bool findExisting(const ZQBusinessComponentLevel& level, const std::string& entityName,
                      const Object& parent, const KeyValues& keyValues, const LineIndex* siblings,
                      Object& found, size_t& position) {
        if (!level.parentLevel()) {
            std::vector<platform::PredicatePtr> comparisons;
            for (const auto& [name, value] : keyValues)
                comparisons.push_back(platform::Predicate::equal(std::string(name), value));
            if (comparisons.empty()) return false;
            platform::FetchRequest request(entityName);
            request.setFetchLimit(1);
            request.setPredicate(
                comparisons.size() == 1
                    ? std::move(comparisons.front())
                    : platform::Predicate::andPredicateWithSubpredicates(std::move(comparisons)));
            auto fetched = context_.executeFetchRequest(request);
            if (fetched.error) return false;
            auto objects = fetched.objects();
            if (!objects.empty()) found = objects.front();
            return true;
        }
        if (!parent || parent->isInserted() || keyValues.empty() || !siblings) return true;
        position = siblings->find(keyValues);
        if (position != LineIndex::kNone) found = siblings->line(position);
        return true;
    }

    // The parent's lines of the level; none when the relationship does not hold a set.
    static std::optional<std::vector<Object>> currentLines(ManagedObject& parent,
                                                           const LevelPlan& plan) {
        Value held = parent.valueForKey(plan.relationship);
        auto set = std::dynamic_pointer_cast<platform::ManagedObjectSet>(held.object());
        if (!set) return std::nullopt;
        return set->objects();
    }

    bool writeChildLevel(const std::shared_ptr<const ZQBusinessComponentLevel>& childPtr,
                         const platform::Dictionary& json, const Object& object,
                         const KeyValues& inherited, size_t depth) {
        const ZQBusinessComponentLevel& child = *childPtr;
        Value lines = ZQUtilities::arrayFromObject(json.get(child.levelName()));
        if (!lines.isArray()) return true;  // a reply without the level leaves its lines alone
        const LevelPlan& plan = planFor(childPtr);
        std::vector<Object> previous;
        if (!object->isInserted()) {
            auto current = currentLines(*object, plan);
            if (!current) return false;
            previous = std::move(*current);
        }
        const LineIndex siblings(child, previous);
        platform::Array written;
        written.reserve(lines.array()->size());
        // Per cached line: the reply holds it (a new line is always written once).
        std::vector<bool> kept(previous.size(), false);
        for (const Value& line : *lines.array()) {
            if (cancelled() || !line.isDictionary()) return false;
            size_t position = LineIndex::kNone;
            Object lineObject = writeLevel(childPtr, *line.dictionary(), object, inherited, depth,
                                           &siblings, &position);
            if (!lineObject) return false;
            if (position != LineIndex::kNone) {
                if (kept[position]) continue;  // two reply lines with one key: one line
                kept[position] = true;
            }
            written.push_back(Value::object(lineObject));
        }
        if (object->setValueForKey(written.empty() ? Value() : Value(std::move(written)),
                                   plan.relationship))
            return false;
        // Lines the reply no longer holds would stay in the store, linked to nothing.
        for (size_t i = 0; i < previous.size(); ++i)
            if (!kept[i]) context_.deleteObject(previous[i]);
        return true;
    }

    platform::ManagedObjectContext& context_;
    const platform::ManagedObjectModel& model_;
    const platform::Operation& operation_;
    const platform::Date timeStamp_;
    // The instance's levels outlive the writer: the caller holds its component.
    std::unordered_map<const ZQBusinessComponentLevel*, LevelPlan> plans_;
    // The values of the line being written, kept for the next line's.
    std::vector<ManagedObject::IndexedValue> values_;
    // Per depth below the root: the key values of the line being written there, and those its
    // child levels inherit. A deque, so that a deeper level's growth moves none of them.
    std::deque<KeyValues> keysByDepth_;
    std::deque<KeyValues> mergedByDepth_;
};

}  // namespace

std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>
ZQCoreDataBusinessComponentSaveOperation::create() {
    return std::make_shared<ZQCoreDataBusinessComponentSaveOperation>();
}

ZQCoreDataBusinessComponentSaveOperation::ZQCoreDataBusinessComponentSaveOperation()
    : KeyValueCoding(keyTable()) {}

std::span<const platform::KeyValueCoding::Key>
ZQCoreDataBusinessComponentSaveOperation::keyTable() {
    using Self = ZQCoreDataBusinessComponentSaveOperation;
    static constexpr Key kKeys[] = {
        {"businessComponentObjectID",
         [](const KeyValueCoding& self) {
             auto id = static_cast<const Self&>(self).businessComponentObjectID();
             return id ? Value::objectID(id) : Value();
         },
         nullptr},
        {"parsedBusinessComponentData",
         [](const KeyValueCoding& self) {
             return static_cast<const Self&>(self).parsedBusinessComponentData();
         },
         [](KeyValueCoding& self, const Value& value) {
             static_cast<Self&>(self).setParsedBusinessComponentData(value);
         }},
    };
    return kKeys;
}

std::shared_ptr<const ZQBusinessComponentModel>
ZQCoreDataBusinessComponentSaveOperation::businessComponentModel() const {
    platform::MutexLock lock(mutex_);
    return model_;
}

void ZQCoreDataBusinessComponentSaveOperation::setBusinessComponentModel(
    std::shared_ptr<const ZQBusinessComponentModel> model) {
    platform::MutexLock lock(mutex_);
    model_ = std::move(model);
}

void ZQCoreDataBusinessComponentSaveOperation::setPersistentStoreCoordinator(
    std::shared_ptr<platform::PersistentStoreCoordinator> psc) {
    platform::MutexLock lock(mutex_);
    coordinator_ = std::move(psc);
}

void ZQCoreDataBusinessComponentSaveOperation::setDelegate(
    std::weak_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate> delegate) {
    platform::MutexLock lock(mutex_);
    delegate_ = std::move(delegate);
}

Value ZQCoreDataBusinessComponentSaveOperation::parsedBusinessComponentData() const {
    platform::MutexLock lock(mutex_);
    return parsedData_;
}

void ZQCoreDataBusinessComponentSaveOperation::setParsedBusinessComponentData(Value data) {
    platform::MutexLock lock(mutex_);
    parsedData_ = std::move(data);
}

platform::ManagedObjectIDPtr ZQCoreDataBusinessComponentSaveOperation::businessComponentObjectID()
    const {
    platform::MutexLock lock(mutex_);
    return objectID_;
}

void ZQCoreDataBusinessComponentSaveOperation::fail() {
    if (isCancelled()) return;
    std::shared_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate> delegate;
    {
        platform::MutexLock lock(mutex_);
        delegate = delegate_.lock();
    }
    auto self =
        std::static_pointer_cast<ZQCoreDataBusinessComponentSaveOperation>(shared_from_this());
    if (delegate)
        delegate->businessComponentSaveOperationDidFailWithError(
            self, platform::Error::create(kErrorDomain, 0, "The instance could not be cached"));
}

void ZQCoreDataBusinessComponentSaveOperation::main() {
    if (isCancelled()) return;
    std::shared_ptr<const ZQBusinessComponentModel> component;
    std::shared_ptr<platform::PersistentStoreCoordinator> coordinator;
    Value parsed;
    {
        platform::MutexLock lock(mutex_);
        component = model_;
        coordinator = coordinator_;
        parsed = parsedData_;
    }
    auto rootLevel = component ? component->rootLevel() : nullptr;
    auto currentModel = ZQModel::currentModel();
    auto schema =
        currentModel ? ZQModel_ZQCoreDataCache::managedObjectModel(currentModel) : nullptr;
    if (!rootLevel || !coordinator || !schema || !parsed.isDictionary() ||
        !InstanceWriter::hasEveryKey(*rootLevel, *parsed.dictionary()))
        return fail();

    auto context = platform::ManagedObjectContext::create(
        platform::ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setPersistentStoreCoordinator(coordinator);
    InstanceWriter writer(*context, *schema, *this);
    Object root = writer.writeRoot(rootLevel, *parsed.dictionary());
    if (!root) return writer.cancelled() ? void() : fail();
    if (isCancelled()) return;
    // The main thread comes next (the merge, then the report): woken now, it is ready when the
    // store's commit is over.
    platform::MainLoop::expectBlockSoon();
    if (context->hasChanges()) {
        // Only this context: other operations save their own contexts at the same time.
        platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
            platform::kManagedObjectContextDidSaveNotification, context.get(),
            [this](const platform::Notification& notification) { notify(notification); });
        // A failed save is a failure: the caller would otherwise look up an object that is not
        // in the store.
        if (context->save()) return fail();
    }
    {
        platform::MutexLock lock(mutex_);
        objectID_ = root->objectID();
    }
    if (isCancelled()) return;
    std::shared_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate> delegate;
    {
        platform::MutexLock lock(mutex_);
        delegate = delegate_.lock();
    }
    if (delegate)
        delegate->businessComponentSaveOperationDidSave(
            std::static_pointer_cast<ZQCoreDataBusinessComponentSaveOperation>(shared_from_this()));
    // The written objects go with the operation, once its handler has reported, instead of
    // before: ending a thousand lines' objects here would delay the report that follows.
    platform::MutexLock lock(mutex_);
    spentContext_ = std::move(context);
}

void ZQCoreDataBusinessComponentSaveOperation::notify(const platform::Notification& notification) {
    auto model = ZQModel::currentModel();
    if (!model) return;
    platform::dispatchSyncOnMain([&model, &notification] {
        if (auto mainContext = ZQModel_ZQCoreDataCache::managedObjectContext(model))
            mainContext->mergeChangesFromContextDidSaveNotification(notification);
    });
}
