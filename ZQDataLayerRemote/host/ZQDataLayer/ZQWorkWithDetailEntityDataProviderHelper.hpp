// Builds the providers of a Work With detail screen. Holds the registered remote provider classes
// (factories): the detail provider of a detail, and the list provider of a detail's collection
// data provider. The registry is safe from any thread.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataProvider.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDetail.hpp"

class ZQWorkWithDetailEntityDataProviderHelper {
  public:
    // Registering a class: factories taking the constructor's arguments.
    using DetailProviderFactory = std::function<std::shared_ptr<ZQEntityDataProvider>(
        std::shared_ptr<const ZQWorkWithDetail> detail)>;
    using ListProviderFactory = std::function<std::shared_ptr<ZQEntityDataProvider>(
        std::shared_ptr<const ZQWorkWithDetail> detail,
        std::shared_ptr<const ZQWorkWithData> workWithData)>;

    static void registerRemoteDetailProviderClass(DetailProviderFactory factory);
    static DetailProviderFactory remoteDetailProviderFactory();
    static void registerRemoteListProviderClass(ListProviderFactory factory);
    static ListProviderFactory remoteListProviderFactory();

    // New providers from the registered classes; none when nothing is registered.
    static std::shared_ptr<ZQEntityDataProvider> newRemoteDetailProvider(
        const std::shared_ptr<const ZQWorkWithDetail>& detail);
    static std::shared_ptr<ZQEntityDataProvider> newRemoteListProvider(
        const std::shared_ptr<const ZQWorkWithDetail>& detail,
        const std::shared_ptr<const ZQWorkWithData>& workWithData);
};
