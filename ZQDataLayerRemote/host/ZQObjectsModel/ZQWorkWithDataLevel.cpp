#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataLevel.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"

std::shared_ptr<const ZQWorkWithDataElement> ZQWorkWithDataLevel::elementNamed(
    const std::string& name) const {
    for (const auto& element : elements_)
        if (element->name() == name) return element;
    return nullptr;
}

void ZQWorkWithDataLevel::addSublevel(std::shared_ptr<const ZQWorkWithDataSublevel> sublevel) {
    sublevels_.push_back(std::move(sublevel));
}
