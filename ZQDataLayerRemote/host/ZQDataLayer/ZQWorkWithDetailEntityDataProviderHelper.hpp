// Builds the providers of a Work With detail screen. Holds the registered remote provider classes
// (factories): the detail provider of a detail, and the list provider of a detail's collection
// data provider. The registry is safe from any thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBaseEntityDataProvider.hpp"
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

    // An instance serves one provider (its owner, which outlives it) of the detail: it makes
    // the list providers of the detail's collection data providers, once per name, with
    // the provider as their parent. Main thread only.
    ZQWorkWithDetailEntityDataProviderHelper(
        ZQBaseEntityDataProvider& provider, std::shared_ptr<const ZQWorkWithDetail> workWithDetail);
    const std::shared_ptr<const ZQWorkWithDetail>& workWithDetail() const {
        return workWithDetail_;
    }
    // None when the detail has no collection data provider of that name or nothing is
    // registered.
    std::shared_ptr<ZQEntityDataProvider> entityDataListProviderForDataProviderName(
        const std::string& name);

  private:
    ZQBaseEntityDataProvider* provider_ = nullptr;
    std::shared_ptr<const ZQWorkWithDetail> workWithDetail_;
    std::map<std::string, std::shared_ptr<ZQEntityDataProvider>> listProviders_;
};
