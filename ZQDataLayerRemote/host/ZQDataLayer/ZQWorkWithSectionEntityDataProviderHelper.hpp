// Builds the providers of a Work With detail's sections. Holds the registered remote list provider
// class (a factory) for a section's collection data providers. The registry is safe from any
// thread.
#pragma once

#include <functional>
#include <memory>

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
};
