#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"

std::shared_ptr<const ZQWorkWithModel> ZQWorkWithList::workWithModel() const {
    auto level = workWithLevel();
    return level ? level->workWithModel() : nullptr;
}
