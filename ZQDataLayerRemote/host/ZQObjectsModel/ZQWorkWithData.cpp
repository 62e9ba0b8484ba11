#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"

std::shared_ptr<const ZQWorkWithData> ZQWorkWithData::workWithDataForDataProviderName(
    const std::string& name, const ZQWorkWithDataList& data) {
    for (const auto& item : data)
        if (item && item->dataProviderName() == name) return item;
    return nullptr;
}
