// Builds the providers of a Work With detail's sections. Holds the registered remote list provider
// class (a factory) for a section's collection data providers. The registry is safe from any
// thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithSection.hpp"

class ZQWorkWithSectionEntityDataProviderHelper {
  public:
    // Registering a class: a factory taking the constructor's arguments.
    using ListProviderFactory = std::function<std::shared_ptr<ZQEntityDataProvider>(
        std::shared_ptr<const ZQWorkWithSection> section,
        std::shared_ptr<const ZQWorkWithData> workWithData)>;

    static void registerRemoteListProviderClass(ListProviderFactory factory);
    static ListProviderFactory remoteListProviderFactory();
    // A new provider from the registered class; none when nothing is registered.
    static std::shared_ptr<ZQEntityDataProvider> newRemoteListProvider(
        const std::shared_ptr<const ZQWorkWithSection>& section,
        const std::shared_ptr<const ZQWorkWithData>& workWithData);

    // An instance serves one provider (its owner, which outlives it) of the section: it makes
    // the list providers of the section's collection data providers, once per name, with
    // the provider as their parent. Main thread only.
    ZQWorkWithSectionEntityDataProviderHelper(
        ZQBaseEntityDataProvider& provider,
        std::shared_ptr<const ZQWorkWithSection> workWithSection);
    const std::shared_ptr<const ZQWorkWithSection>& workWithSection() const {
        return workWithSection_;
    }
    // None when the section has no collection data provider of that name or nothing is
    // registered.
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name);

  private:
    ZQBaseEntityDataProvider* provider_ = nullptr;
    std::shared_ptr<const ZQWorkWithSection> workWithSection_;
    std::map<std::string, std::shared_ptr<ZQEntityDataProvider>> listProviders_;
};
