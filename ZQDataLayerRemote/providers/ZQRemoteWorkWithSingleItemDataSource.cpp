#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"

namespace {
std::shared_ptr<const ZQWorkWithCacheProperties> cachePropertiesOf(
    const std::shared_ptr<const ZQWorkWithData>& data) {
    return data ? data->cacheProperties() : nullptr;
}
}  // namespace

std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> ZQRemoteWorkWithSingleItemDataSource::create(
    std::shared_ptr<const ZQWorkWithModel> workWithModel,
    std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters) {
    return std::make_shared<ZQRemoteWorkWithSingleItemDataSource>(
        std::move(workWithModel), std::move(workWithData), std::move(parameters));
}

bool ZQRemoteWorkWithSingleItemDataSource::entityDataSourceCacheEnabled() const {
    return workWithData() && ZQWorkWithCacheProperties::isCacheEnabledForProperties(
                                 workWithData()->cacheProperties());
}

uint8_t ZQRemoteWorkWithSingleItemDataSource::entityDataSourceCachingFrequencyType() const {
    return ZQWorkWithCacheProperties::frequencyTypeForProperties(cachePropertiesOf(workWithData()));
}

uint32_t ZQRemoteWorkWithSingleItemDataSource::entityDataSourceCachingFrequencyAfterElipsedTime()
    const {
    return ZQWorkWithCacheProperties::frequencyAfterElipsedTimeForProperties(
        cachePropertiesOf(workWithData()));
}
