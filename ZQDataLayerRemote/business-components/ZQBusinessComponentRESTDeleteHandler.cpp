#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTDeleteHandler.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"
#include "ZQDataLayerRemote/cache/operations/ZQCoreDataEntityDataDeleteOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

std::shared_ptr<ZQBusinessComponentRESTDeleteHandler> ZQBusinessComponentRESTDeleteHandler::create(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::shared_ptr<const ZQEntityDataKey> withKey) {
    return std::make_shared<ZQBusinessComponentRESTDeleteHandler>(std::move(level),
                                                                  std::move(withKey));
}

void ZQBusinessComponentRESTDeleteHandler::start() {
    auto queue = operationQueue();
    queue->cancelAllOperations();
    auto url = ZQEntityHelper_ZQBusinessComponentREST::businessComponentURLFromLevel(
        businessComponentLevel(), key());
    if (!url) return onError(defaultZQError());
    queue->setSuspended(true);

    auto model = ZQModel::currentModel();
    auto schema = model ? ZQModel_ZQCoreDataCache::managedObjectModel(model) : nullptr;
    auto entity = schema ? schema->entityNamed(
                               ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(
                                   businessComponentLevel()))
                         : nullptr;
    auto request = ZQApplicationHelper::requestWithURL(*url);
    request->setHTTPMethod("DELETE");
    auto self = std::static_pointer_cast<ZQBusinessComponentRESTDeleteHandler>(shared_from_this());
    auto requestOp =
        ZQURLRequestOperation::create(request, std::weak_ptr<ZQURLRequestOperationDelegate>(self));
    auto cacheDelete = ZQCoreDataEntityDataDeleteOperation::create();
    cacheDelete->setEntityDataKey(key());
    cacheDelete->setCdEntityDescription(entity);
    auto openCache = ZQBusinessComponentRESTHelper::cacheCoordinatorStep(
        [weak = std::weak_ptr(cacheDelete)](auto coordinator) {
            // Weakly: cacheDelete depends on this step and holds it.
            if (auto target = weak.lock())
                target->setPersistentStoreCoordinator(std::move(coordinator));
        });
    cacheDelete->addDependency(openCache);
    requestOp->addDependency(cacheDelete);
    auto finished = ZQInvocationWithSelfOperation::create(
        self, &ZQBusinessComponentRESTDeleteHandler::deleteFinished);
    finished->addDependency(requestOp);
    finished->addDependency(cacheDelete);
    queue->addOperations({openCache, cacheDelete, requestOp, finished}, false);
    queue->setSuspended(false);
}

void ZQBusinessComponentRESTDeleteHandler::deleteFinished(
    const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
    if (operation->isCancelled()) return;
    platform::dispatchSyncOnMain([this] { onSuccess(); });
}

void ZQBusinessComponentRESTDeleteHandler::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    if (auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation))
        return onErrorAndCancelOperationsOnMainThread(operation, error);
    ZQBusinessComponentRESTHelper::processWarningHeader(operation->response());
}

void ZQBusinessComponentRESTDeleteHandler::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    onErrorAndCancelOperationsOnMainThread(operation, operation->error());
}
