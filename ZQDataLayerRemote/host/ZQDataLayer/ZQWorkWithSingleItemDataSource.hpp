// The host's data source for a Work With single-item data provider (a detail or section item).
// Immutable; any thread. Make it with create() (or any shared_ptr) so that sublevels can reach it.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSource.hpp"

class ZQWorkWithSingleItemDataSource : public ZQWorkWithDataSource,
                                       public virtual ZQSingleItemEntityDataSourceDescriptor {
  public:
    ZQWorkWithSingleItemDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                                   std::shared_ptr<const ZQWorkWithData> workWithData,
                                   ZQWorkWithParameters parameters)
        : ZQWorkWithDataSource(std::move(workWithModel), std::move(workWithData),
                               std::move(parameters)) {}
    [[nodiscard]] static std::shared_ptr<ZQWorkWithSingleItemDataSource> create(
        std::shared_ptr<const ZQWorkWithModel> workWithModel,
        std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters) {
        return std::make_shared<ZQWorkWithSingleItemDataSource>(
            std::move(workWithModel), std::move(workWithData), std::move(parameters));
    }

    bool entityDataSourceIsCollection() const override { return false; }
};
