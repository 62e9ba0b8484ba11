#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionDetailEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"

namespace {
std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> dataSourceFor(
    const ZQWorkWithSection& section) {
    auto detail = section.workWithDetail();
    auto data =
        ZQWorkWithData::workWithDataForDataProviderName(section.dataProviderName(), section.data());
    return ZQRemoteWorkWithSingleItemDataSource::create(
        detail->workWithModel(), std::move(data),
        section.parameters().value_or(detail->parameters()));
}
}  // namespace

ZQRemoteWorkWithSectionDetailEntityDataProvider::ZQRemoteWorkWithSectionDetailEntityDataProvider(
    std::shared_ptr<const ZQWorkWithSection> workWithSection)
    : ZQBaseRemoteDetailEntityDataProvider(dataSourceFor(*workWithSection)),
      wwdpHelper_(*this, workWithSection) {}

std::shared_ptr<ZQRemoteWorkWithSectionDetailEntityDataProvider>
ZQRemoteWorkWithSectionDetailEntityDataProvider::create(
    std::shared_ptr<const ZQWorkWithSection> workWithSection) {
    auto provider = std::make_shared<ZQRemoteWorkWithSectionDetailEntityDataProvider>(
        std::move(workWithSection));
    provider->attach();
    return provider;
}
