// The data source of a remote Work With detail or section item: the host's single-item data
// source, answering the remote caching settings from its data provider's cache properties. Adds
// no state; immutable; any thread. Make it through create() (or any shared_ptr).
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSingleItemDataSource.hpp"

class ZQRemoteWorkWithSingleItemDataSource : public ZQWorkWithSingleItemDataSource,
                                             public virtual ZQRemoteEntityDataSourceDescriptor {
  public:
    // workWithData may be none (then the cache is off).
    ZQRemoteWorkWithSingleItemDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                                         std::shared_ptr<const ZQWorkWithData> workWithData,
                                         ZQWorkWithParameters parameters)
        : ZQWorkWithSingleItemDataSource(std::move(workWithModel), std::move(workWithData),
                                         std::move(parameters)) {}
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> create(
        std::shared_ptr<const ZQWorkWithModel> workWithModel,
        std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters);

    // False without a data provider.
    bool entityDataSourceCacheEnabled() const override;
    uint8_t entityDataSourceCachingFrequencyType() const override;
    uint32_t entityDataSourceCachingFrequencyAfterElipsedTime() const override;
};
