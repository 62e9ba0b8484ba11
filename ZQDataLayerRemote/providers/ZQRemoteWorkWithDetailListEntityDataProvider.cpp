#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailListEntityDataProvider.hpp"

#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"

ZQRemoteWorkWithDetailListEntityDataProvider::ZQRemoteWorkWithDetailListEntityDataProvider(
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail,
    std::shared_ptr<const ZQWorkWithData> workWithData)
    : ZQBaseRemoteListEntityDataProvider(ZQRemoteWorkWithCollectionDataSource::create(
          workWithDetail->workWithModel(), std::move(workWithData), workWithDetail->parameters())),
      wwdpHelper_(*this, workWithDetail) {}

std::shared_ptr<ZQRemoteWorkWithDetailListEntityDataProvider>
ZQRemoteWorkWithDetailListEntityDataProvider::create(
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail,
    std::shared_ptr<const ZQWorkWithData> workWithData) {
    auto provider = std::make_shared<ZQRemoteWorkWithDetailListEntityDataProvider>(
        std::move(workWithDetail), std::move(workWithData));
    provider->attach();
    return provider;
}
