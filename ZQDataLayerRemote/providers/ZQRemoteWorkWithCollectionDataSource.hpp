// The data source of a remote Work With list: the host's collection data source, answering the
// remote caching settings from its data provider's cache properties. Adds no state; immutable;
// any thread. Make it through create() (or any shared_ptr) so that sublevels reach it.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithCollectionDataSource.hpp"

class ZQRemoteWorkWithCollectionDataSource : public ZQWorkWithCollectionDataSource,
                                             public virtual ZQRemoteEntityDataSourceDescriptor {
  public:
    // workWithData may be none (then the cache is off).
    ZQRemoteWorkWithCollectionDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                                         std::shared_ptr<const ZQWorkWithData> workWithData,
                                         ZQWorkWithParameters parameters)
        : ZQWorkWithCollectionDataSource(std::move(workWithModel), std::move(workWithData),
                                         std::move(parameters)) {}
    [[nodiscard]] static std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> create(
        std::shared_ptr<const ZQWorkWithModel> workWithModel,
        std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters);

    // False without a data provider.
    bool entityDataSourceCacheEnabled() const override;
    uint8_t entityDataSourceCachingFrequencyType() const override;
    uint32_t entityDataSourceCachingFrequencyAfterElipsedTime() const override;
};
