#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithDetailDetailEntityDataProvider.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentsHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSectionDetailEntityDataProvider.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithSingleItemDataSource.hpp"

namespace {
std::shared_ptr<ZQRemoteWorkWithSingleItemDataSource> dataSourceFor(
    const ZQWorkWithDetail& detail) {
    auto data =
        ZQWorkWithData::workWithDataForDataProviderName(detail.dataProviderName(), detail.data());
    return ZQRemoteWorkWithSingleItemDataSource::create(detail.workWithModel(), std::move(data),
                                                        detail.parameters());
}
}  // namespace

ZQRemoteWorkWithDetailDetailEntityDataProvider::ZQRemoteWorkWithDetailDetailEntityDataProvider(
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail)
    : ZQBaseRemoteDetailEntityDataProvider(dataSourceFor(*workWithDetail)),
      wwdpHelper_(*this, workWithDetail) {}

std::shared_ptr<ZQRemoteWorkWithDetailDetailEntityDataProvider>
ZQRemoteWorkWithDetailDetailEntityDataProvider::create(
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail) {
    auto provider =
        std::make_shared<ZQRemoteWorkWithDetailDetailEntityDataProvider>(std::move(workWithDetail));
    provider->attach();
    provider->makeComponentProviders();
    return provider;
}

void ZQRemoteWorkWithDetailDetailEntityDataProvider::makeComponentProviders() {
    const auto& sections = wwdpHelper_.workWithDetail()->sections();
    if (!sections) return;
    std::vector<std::shared_ptr<ZQBaseRemoteDetailEntityDataProvider>> providers;
    for (const auto& section : sections->sections()) {
        auto provider = ZQRemoteWorkWithSectionDetailEntityDataProvider::create(section);
        provider->setEntityDataParentProvider(weak_from_this());
        providers.push_back(std::move(provider));
    }
    componentProviders_ = std::move(providers);
}

std::shared_ptr<const ZQBusinessComponentLevel>
ZQRemoteWorkWithDetailDetailEntityDataProvider::mutableBusinessComponentLevel() const {
    auto level = wwdpHelper_.workWithDetail()->workWithLevel();
    auto model = wwdpHelper_.workWithDetail()->workWithModel();
    if (!level || !model) return nullptr;
    return ZQBusinessComponentsHelper::businessComponentLevelWithName(level->name(),
                                                                      model->businessComponent());
}
