#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"

#include <algorithm>

namespace {
std::vector<ZQBinaryDataFieldReferenceMember> withReferences(
    std::vector<ZQBinaryDataFieldReferenceMember> members) {
    std::erase_if(members, [](const ZQBinaryDataFieldReferenceMember& m) { return !m.reference; });
    return members;
}
}  // namespace

std::shared_ptr<ZQCompositeBinaryDataFieldReference> ZQCompositeBinaryDataFieldReference::create(
    std::string levelName, std::vector<ZQBinaryDataFieldReferenceMember> members) {
    return std::make_shared<ZQCompositeBinaryDataFieldReference>(std::move(levelName),
                                                                 std::move(members));
}

ZQCompositeBinaryDataFieldReference::ZQCompositeBinaryDataFieldReference(
    std::string levelName, std::vector<ZQBinaryDataFieldReferenceMember> members)
    : levelName_(std::move(levelName)), members_(withReferences(std::move(members))) {}

void ZQCompositeBinaryDataFieldReference::enumerateObjectReferencesWithBlock(
    const MemberBlock& block) const {
    bool stop = false;
    for (const ZQBinaryDataFieldReferenceMember& member : members_) {
        block(member, stop);
        if (stop) return;
    }
}

std::shared_ptr<ZQBinaryDataFieldReference> ZQCompositeBinaryDataFieldReference::memberNamed(
    const std::string& name, std::optional<size_t> index) const {
    auto found = std::find_if(members_.begin(), members_.end(), [&](const auto& member) {
        return member.name == name && member.index == index;
    });
    return found == members_.end() ? nullptr : found->reference;
}
