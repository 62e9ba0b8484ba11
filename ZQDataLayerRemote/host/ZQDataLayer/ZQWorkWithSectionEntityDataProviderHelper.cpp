#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSectionEntityDataProviderHelper.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"

namespace {
using Helper = ZQWorkWithSectionEntityDataProviderHelper;

ZQRegistration<Helper::ListProviderFactory>& listSlot() {
    static auto* registration = new ZQRegistration<Helper::ListProviderFactory>();
    return *registration;
}
}  // namespace

void Helper::registerRemoteListProviderClass(ListProviderFactory factory) {
    listSlot().set(std::move(factory));
}

Helper::ListProviderFactory Helper::remoteListProviderFactory() {
    return listSlot().get();
}

std::shared_ptr<ZQEntityDataProvider> Helper::newRemoteListProvider(
    const std::shared_ptr<const ZQWorkWithSection>& section,
    const std::shared_ptr<const ZQWorkWithData>& workWithData) {
    auto factory = remoteListProviderFactory();
    return factory ? factory(section, workWithData) : nullptr;
}

Helper::ZQWorkWithSectionEntityDataProviderHelper(
    ZQBaseEntityDataProvider& provider, std::shared_ptr<const ZQWorkWithSection> workWithSection)
    : provider_(&provider), workWithSection_(std::move(workWithSection)) {}

std::shared_ptr<ZQEntityDataProvider> Helper::entityDataListProviderForDataProviderName(
    const std::string& name) {
    if (auto made = listProviders_.find(name); made != listProviders_.end()) return made->second;
    if (!workWithSection_) return nullptr;
    auto data = ZQWorkWithData::workWithDataForDataProviderName(name, workWithSection_->data());
    if (!data || !data->isCollection()) return nullptr;
    auto provider = newRemoteListProvider(workWithSection_, data);
    if (auto base = std::dynamic_pointer_cast<ZQBaseEntityDataProvider>(provider)) {
        base->setEntityDataParentProvider(provider_->weak_from_this());
    }
    if (provider) listProviders_.emplace(name, provider);
    return provider;
}
