#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionListEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"

namespace {
std::shared_ptr<ZQRemoteWorkWithCollectionDataSource> dataSourceFor(
    const ZQWorkWithSection& section, std::shared_ptr<const ZQWorkWithData> workWithData) {
    auto detail = section.workWithDetail();
    return ZQRemoteWorkWithCollectionDataSource::create(
        detail->workWithModel(), std::move(workWithData),
        section.parameters().value_or(detail->parameters()));
}
}  // namespace

ZQRemoteWorkWithSectionListEntityDataProvider::ZQRemoteWorkWithSectionListEntityDataProvider(
    std::shared_ptr<const ZQWorkWithSection> workWithSection,
    std::shared_ptr<const ZQWorkWithData> workWithData)
    : ZQBaseRemoteListEntityDataProvider(dataSourceFor(*workWithSection, std::move(workWithData))),
      wwdpHelper_(*this, workWithSection) {}

std::shared_ptr<ZQRemoteWorkWithSectionListEntityDataProvider>
ZQRemoteWorkWithSectionListEntityDataProvider::create(
    std::shared_ptr<const ZQWorkWithSection> workWithSection,
    std::shared_ptr<const ZQWorkWithData> workWithData) {
    auto provider = std::make_shared<ZQRemoteWorkWithSectionListEntityDataProvider>(
        std::move(workWithSection), std::move(workWithData));
    provider->attach();
    return provider;
}
