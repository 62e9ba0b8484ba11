#include "ZQDataLayerRemote/manager/ZQEntityDataManagerRemoteLoaderContext.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteURLBuilder.hpp"

ZQRange ZQEntityDataManagerRemoteLoaderContext::pageRange() const {
    platform::RecursiveMutexLock hold(mutex_);
    return pageRange_;
}

void ZQEntityDataManagerRemoteLoaderContext::setPageRange(ZQRange range) {
    platform::RecursiveMutexLock hold(mutex_);
    pageRange_ = range;
}

std::shared_ptr<ZQEntityDataServiceQueryInfo>
ZQEntityDataManagerRemoteLoaderContext::serviceQueryInfo() const {
    ZQEntityDataManagerLoader current = loader();
    if (auto* info = std::get_if<std::shared_ptr<ZQEntityDataServiceQueryInfo>>(&current)) {
        return *info;
    }
    return nullptr;
}

void ZQEntityDataManagerRemoteLoaderContext::setServiceQueryInfo(
    std::shared_ptr<ZQEntityDataServiceQueryInfo> queryInfo) {
    setLoader(queryInfo ? ZQEntityDataManagerLoader(std::move(queryInfo))
                        : ZQEntityDataManagerLoader());
}

std::shared_ptr<ZQEntityDataCacheSaveOperation>
ZQEntityDataManagerRemoteLoaderContext::cacheSaveOperation() const {
    ZQEntityDataManagerLoader current = loader();
    if (auto* operation = std::get_if<std::shared_ptr<ZQEntityDataCacheSaveOperation>>(&current)) {
        return *operation;
    }
    return nullptr;
}

void ZQEntityDataManagerRemoteLoaderContext::setCacheSaveOperation(
    std::shared_ptr<ZQEntityDataCacheSaveOperation> operation) {
    setLoader(operation ? ZQEntityDataManagerLoader(std::move(operation))
                        : ZQEntityDataManagerLoader());
}

platform::URL ZQEntityDataManagerRemoteLoaderContext::remoteURL() const {
    platform::RecursiveMutexLock hold(mutex_);
    QueryInfoPtr last = anyQueryInfo();
    uint64_t zqid = last ? last->zqid() : 0;
    return ZQRemoteURLBuilder::remoteURL(baseURL(), queryParameters(), isCollection(), pageRange_,
                                         zqid);
}

namespace {

bool anyPair(const ZQEntityDataManagerLoaderContext& context,
             const std::function<bool(const ZQEntityDataQueryInfo&)>& test) {
    bool found = false;
    context.enumerateQueryInfosAndDelegatesUsingBlock(
        [&](const ZQEntityDataManagerLoaderContext::QueryInfoPtr& queryInfo,
            const ZQEntityDataManagerLoaderContext::DelegatePtr&) {
            found = queryInfo && test(*queryInfo);
            return found;
        });
    return found;
}

}  // namespace

bool ZQEntityDataManagerRemoteLoaderContext::isAnyRefreshOrFirst() const {
    return anyPair(*this, [](const ZQEntityDataQueryInfo& queryInfo) {
        return ZQRemoteEntityDataQueryType::isRefreshOrFirst(queryInfo.type());
    });
}

bool ZQEntityDataManagerRemoteLoaderContext::isAnyFirst() const {
    return anyPair(*this, [](const ZQEntityDataQueryInfo& queryInfo) {
        return queryInfo.type() == ZQRemoteEntityDataQueryType::First;
    });
}

bool ZQEntityDataManagerRemoteLoaderContext::isAnyForce() const {
    return anyPair(*this, [](const ZQEntityDataQueryInfo& queryInfo) {
        const auto* remote = dynamic_cast<const ZQRemoteEntityDataQueryInfo*>(&queryInfo);
        return remote != nullptr && remote->force();
    });
}

bool ZQEntityDataManagerRemoteLoaderContext::isAnyAllLoadedData() const {
    return anyPair(*this, [](const ZQEntityDataQueryInfo& queryInfo) {
        const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(&queryInfo);
        return collection != nullptr && collection->allLoadedData();
    });
}

uint64_t ZQEntityDataManagerRemoteLoaderContext::maxPageSize() const {
    uint64_t largest = 0;
    bool sawZero = false;
    enumerateQueryInfosAndDelegatesUsingBlock(
        [&](const QueryInfoPtr& queryInfo, const DelegatePtr&) {
            const auto* collection =
                dynamic_cast<const ZQEntityDataQueryCollectionInfo*>(queryInfo.get());
            if (collection == nullptr) return false;
            if (collection->pageSize() == 0) {
                sawZero = true;
                return true;
            }
            largest = std::max(largest, collection->pageSize());
            return false;
        });
    return sawZero ? 0 : largest;
}
