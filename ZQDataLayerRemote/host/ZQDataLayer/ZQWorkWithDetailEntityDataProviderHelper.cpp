#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDetailEntityDataProviderHelper.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
using Helper = ZQWorkWithDetailEntityDataProviderHelper;

ZQRegistration<Helper::DetailProviderFactory>& detailSlot() {
    static auto* registration = new ZQRegistration<Helper::DetailProviderFactory>();
    return *registration;
}

ZQRegistration<Helper::ListProviderFactory>& listSlot() {
    static auto* registration = new ZQRegistration<Helper::ListProviderFactory>();
    return *registration;
}
}  // namespace

void Helper::registerRemoteDetailProviderClass(DetailProviderFactory factory) {
    detailSlot().set(std::move(factory));
}

Helper::DetailProviderFactory Helper::remoteDetailProviderFactory() {
    return detailSlot().get();
}

void Helper::registerRemoteListProviderClass(ListProviderFactory factory) {
    listSlot().set(std::move(factory));
}

Helper::ListProviderFactory Helper::remoteListProviderFactory() {
    return listSlot().get();
}

std::shared_ptr<ZQEntityDataProvider> Helper::newRemoteDetailProvider(
    const std::shared_ptr<const ZQWorkWithDetail>& detail) {
    auto factory = remoteDetailProviderFactory();
    return factory ? factory(detail) : nullptr;
}

std::shared_ptr<ZQEntityDataProvider> Helper::newRemoteListProvider(
    const std::shared_ptr<const ZQWorkWithDetail>& detail,
    const std::shared_ptr<const ZQWorkWithData>& workWithData) {
    auto factory = remoteListProviderFactory();
    return factory ? factory(detail, workWithData) : nullptr;
}

Helper::ZQWorkWithDetailEntityDataProviderHelper(
    ZQBaseEntityDataProvider& provider, std::shared_ptr<const ZQWorkWithDetail> workWithDetail)
    : provider_(&provider), workWithDetail_(std::move(workWithDetail)) {}

std::shared_ptr<ZQEntityDataProvider> Helper::entityDataListProviderForDataProviderName(
    const std::string& name) {
    if (auto made = listProviders_.find(name); made != listProviders_.end()) return made->second;
    if (!workWithDetail_) return nullptr;
    auto data = ZQWorkWithData::workWithDataForDataProviderName(name, workWithDetail_->data());
    if (!data || !data->isCollection()) return nullptr;
    auto provider = newRemoteListProvider(workWithDetail_, data);
    if (auto base = std::dynamic_pointer_cast<ZQBaseEntityDataProvider>(provider)) {
        base->setEntityDataParentProvider(provider_->weak_from_this());
    }
    if (provider) listProviders_.emplace(name, provider);
    return provider;
}
