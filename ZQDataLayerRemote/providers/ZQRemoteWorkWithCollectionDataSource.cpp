#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"

namespace {
std::shared_ptr<const ZQWorkWithCacheProperties> cachePropertiesOf(
    const std::shared_ptr<const ZQWorkWithData>& data) {
    return data ? data->cacheProperties() : nullptr;
}
}  // namespace

std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> ZQRemoteWorkWithCollectionDataSource::create(
    std::shared_ptr<const ZQWorkWithModel> workWithModel,
    std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters) {
    return std::make_shared<ZQRemoteWorkWithCollectionDataSource>(
        std::move(workWithModel), std::move(workWithData), std::move(parameters));
}

bool ZQRemoteWorkWithCollectionDataSource::entityDataSourceCacheEnabled() const {
    return workWithData() && ZQWorkWithCacheProperties::isCacheEnabledForProperties(
                                 workWithData()->cacheProperties());
}

uint8_t ZQRemoteWorkWithCollectionDataSource::entityDataSourceCachingFrequencyType() const {
    return ZQWorkWithCacheProperties::frequencyTypeForProperties(cachePropertiesOf(workWithData()));
}

uint32_t ZQRemoteWorkWithCollectionDataSource::entityDataSourceCachingFrequencyAfterElipsedTime()
    const {
    return ZQWorkWithCacheProperties::frequencyAfterElipsedTimeForProperties(
        cachePropertiesOf(workWithData()));
}
