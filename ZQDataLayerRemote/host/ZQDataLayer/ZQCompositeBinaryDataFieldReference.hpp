// A group of binary data field references: the binary fields of one level of an instance. For a
// child level each member is one binary field of one line, its index the line's position among
// the level's lines; the composite of an instance holds its root fields (no index) and one member
// per child level whose reference is that level's composite. Immutable once made; any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"

class ZQCompositeBinaryDataFieldReference : public ZQBinaryDataFieldReference {
  public:
    // Members without a reference are dropped; the others keep their order.
    [[nodiscard]] static std::shared_ptr<ZQCompositeBinaryDataFieldReference> create(
        std::string levelName, std::vector<ZQBinaryDataFieldReferenceMember> members);
    ZQCompositeBinaryDataFieldReference(std::string levelName,
                                        std::vector<ZQBinaryDataFieldReferenceMember> members);

    int type() const override { return kTypeComposite; }
    void enumerateObjectReferencesWithBlock(const MemberBlock& block) const override;

    // The level's name; empty for the root level.
    const std::string& levelName() const { return levelName_; }
    const std::vector<ZQBinaryDataFieldReferenceMember>& members() const { return members_; }
    // The member for the field of the line (index none: a root field), or none.
    std::shared_ptr<ZQBinaryDataFieldReference> memberNamed(const std::string& name,
                                                            std::optional<size_t> index) const;

  private:
    const std::string levelName_;
    const std::vector<ZQBinaryDataFieldReferenceMember> members_;
};
