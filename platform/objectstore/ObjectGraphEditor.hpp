// Changes the values of a context's objects: attributes, and relationships with both sides kept
// consistent (setting one side of a pair sets its inverse, taking the object away from its former
// partner), and deletion with the delete rules (cascade deletes the related objects, nullify
// removes the deleted object from their inverse). Made on the stack by the context for one change;
// used on the context's thread.
#pragma once

#include <memory>
#include <vector>

#include "platform/Error.hpp"
#include "platform/objectstore/ManagedObject.hpp"

namespace platform {

class ManagedObjectContext;

class ObjectGraphEditor {
  public:
    explicit ObjectGraphEditor(ManagedObjectContext& context) : context_(context) {}

    [[nodiscard]] ErrorPtr setValue(ManagedObject& object, size_t index, const Value& value);
    void deleteObject(ManagedObject& object);

  private:
    ErrorPtr setAttribute(ManagedObject& object, const AttributeDescription& attribute,
                          const Value& value);
    ErrorPtr setToOne(ManagedObject& a, const RelationshipDescription& r, ManagedObject* b);
    ErrorPtr setToMany(ManagedObject& a, const RelationshipDescription& r,
                       const std::vector<std::shared_ptr<ManagedObject>>& members);
    ErrorPtr checkMember(const ManagedObject& a, const RelationshipDescription& r,
                         const ManagedObject& b) const;

    void link(ManagedObject& a, const RelationshipDescription& r, ManagedObject& b);
    void unlink(ManagedObject& a, const RelationshipDescription& r, ManagedObject& b);
    // One side only.
    void primitiveLink(ManagedObject& x, const RelationshipDescription& r, ManagedObject& y);
    void primitiveUnlink(ManagedObject& x, const RelationshipDescription& r, ManagedObject& y);
    // The object of `id`, kept alive as long as this editor.
    ManagedObject* objectFor(const ManagedObjectIDPtr& id);
    void changed(ManagedObject& object, size_t index, const std::string& key);

    ManagedObjectContext& context_;
    std::vector<std::shared_ptr<ManagedObject>> reached_;  // the partners objectFor found
};

}  // namespace platform
