#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithCacheProperties.hpp"

bool ZQWorkWithCacheProperties::isCacheEnabledForProperties(
    const std::shared_ptr<const ZQWorkWithCacheProperties>& properties) {
    return properties && properties->enabled();
}

ZQWorkWithCacheFrequencyType ZQWorkWithCacheProperties::frequencyTypeForProperties(
    const std::shared_ptr<const ZQWorkWithCacheProperties>& properties) {
    return properties ? properties->frequencyType() : ZQWorkWithCacheFrequencyAlways;
}

uint32_t ZQWorkWithCacheProperties::frequencyAfterElipsedTimeForProperties(
    const std::shared_ptr<const ZQWorkWithCacheProperties>& properties) {
    return properties ? properties->afterElapsedMinutes() : 0;
}
