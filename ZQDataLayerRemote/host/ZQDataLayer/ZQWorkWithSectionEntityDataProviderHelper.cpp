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
