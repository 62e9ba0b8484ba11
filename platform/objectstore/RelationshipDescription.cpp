#include "platform/objectstore/RelationshipDescription.hpp"

namespace platform {

std::shared_ptr<RelationshipDescription> RelationshipDescription::create(
    std::string name, std::string destinationEntityName, bool toMany, DeleteRule deleteRule) {
    auto r = std::make_shared<RelationshipDescription>();
    r->setName(std::move(name));
    r->setDestinationEntityName(std::move(destinationEntityName));
    r->setMaxCount(toMany ? 0 : 1);
    r->setDeleteRule(deleteRule);
    return r;
}

bool RelationshipDescription::isEqualTo(const PropertyDescription& other) const {
    if (!PropertyDescription::isEqualTo(other)) return false;
    const auto& o = static_cast<const RelationshipDescription&>(other);
    return destination_ == o.destination_ && inverse_ == o.inverse_ && minCount_ == o.minCount_ &&
           maxCount_ == o.maxCount_ && ordered_ == o.ordered_ && deleteRule_ == o.deleteRule_;
}

}  // namespace platform
