#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"

std::shared_ptr<const ZQWorkWithModel> ZQWorkWithDetail::workWithModel() const {
    auto level = workWithLevel();
    return level ? level->workWithModel() : nullptr;
}
