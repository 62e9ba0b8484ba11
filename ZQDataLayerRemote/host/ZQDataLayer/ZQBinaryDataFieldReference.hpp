// What refers to the binary values of an instance that must be uploaded before it is saved: one
// value (ZQSingleBinaryDataFieldReference, type 0) or a group of them (ZQCompositeBinaryDataField-
// Reference, type 1). Held by shared_ptr by the save handler and the uploader; the members of a
// composite are fixed at creation, so any thread may enumerate them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class ZQBinaryDataFieldReference;

// One member of a composite reference.
struct ZQBinaryDataFieldReferenceMember {
    // The binary field's name, or the child level's name when the member is the composite of a
    // child level.
    std::string name;
    // The position (0-based) of the member's line among the lines of its level, in the order the
    // instance holds them and its JSON lists them; none for a field of the root level.
    std::optional<size_t> index;
    std::shared_ptr<ZQBinaryDataFieldReference> reference;
};

class ZQBinaryDataFieldReference {
  public:
    static constexpr int kTypeSingle = 0;
    static constexpr int kTypeComposite = 1;

    virtual ~ZQBinaryDataFieldReference() = default;
    virtual int type() const = 0;
    // Calls the block with each member in order until it sets stop; a single reference has none.
    using MemberBlock = std::function<void(const ZQBinaryDataFieldReferenceMember&, bool& stop)>;
    virtual void enumerateObjectReferencesWithBlock(const MemberBlock& block) const { (void)block; }
};
