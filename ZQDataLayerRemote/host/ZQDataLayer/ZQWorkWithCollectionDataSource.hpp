// The host's data source for a Work With collection data provider (a grid): the common Work With
// data source plus orders, break-by and the search and advanced filters, built at construction.
// Immutable; any thread. Make it with create() (or any shared_ptr) so that sublevels can reach it.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSource.hpp"

class ZQWorkWithCollectionDataSource : public ZQWorkWithDataSource,
                                       public virtual ZQCollectionEntityDataSourceDescriptor {
  public:
    ZQWorkWithCollectionDataSource(std::shared_ptr<const ZQWorkWithModel> workWithModel,
                                   std::shared_ptr<const ZQWorkWithData> workWithData,
                                   ZQWorkWithParameters parameters);
    [[nodiscard]] static std::shared_ptr<ZQWorkWithCollectionDataSource> create(
        std::shared_ptr<const ZQWorkWithModel> workWithModel,
        std::shared_ptr<const ZQWorkWithData> workWithData, ZQWorkWithParameters parameters);

    bool entityDataSourceIsCollection() const override { return true; }
    const ZQEntityListOrderDescriptors& entityDataSourceOrders() const override { return orders_; }
    std::shared_ptr<const ZQEntityListBreakByDescriptor> entityDataSourceBreakBy() const override {
        return breakBy_;
    }
    std::shared_ptr<const ZQEntityListFilterSearchDescriptor> entityDataSourceFilterSearch()
        const override {
        return filterSearch_;
    }
    std::shared_ptr<const ZQEntityListFilterAdvancedDescriptor> entityDataSourceFilterAdvanced()
        const override {
        return filterAdvanced_;
    }

  private:
    ZQEntityListOrderDescriptors orders_;
    std::shared_ptr<const ZQEntityListBreakByDescriptor> breakBy_;
    std::shared_ptr<const ZQEntityListFilterSearchDescriptor> filterSearch_;
    std::shared_ptr<const ZQEntityListFilterAdvancedDescriptor> filterAdvanced_;
};
