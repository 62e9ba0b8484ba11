#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTLoadHandler.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperation.hpp"
#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentsHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQDataSetterOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

std::shared_ptr<ZQBusinessComponentRESTLoadHandler> ZQBusinessComponentRESTLoadHandler::create(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::shared_ptr<const ZQEntityDataKey> withKey) {
    return std::make_shared<ZQBusinessComponentRESTLoadHandler>(std::move(level),
                                                                std::move(withKey));
}

void ZQBusinessComponentRESTLoadHandler::start() {
    auto root = ZQBusinessComponentsHelper::rootLevelAndKey(businessComponentLevel(), key());
    if (!root.rootLevel) return onError(defaultZQError());
    auto url = ZQEntityHelper_ZQBusinessComponentREST::businessComponentURLFromLevel(root.rootLevel,
                                                                                     root.rootKey);
    if (!ZQBusinessComponentRESTHelper::hasDataCache() || !url) return onError(defaultZQError());

    auto self = std::static_pointer_cast<ZQBusinessComponentRESTLoadHandler>(shared_from_this());
    auto queue = operationQueue();
    queue->cancelAllOperations();
    queue->setSuspended(true);
    auto parse = addURLRequestAndParseJSONOperationsForRequest(
        queue, ZQApplicationHelper::requestWithURL(*url), self);
    auto save = ZQCoreDataBusinessComponentSaveOperation::create();
    save->setBusinessComponentModel(root.rootLevel->businessComponent());
    auto openCache = ZQBusinessComponentRESTHelper::cacheCoordinatorStep(
        [weak = std::weak_ptr(save)](auto coordinator) {
            // Weakly: save depends on this step and holds it.
            if (auto target = weak.lock())
                target->setPersistentStoreCoordinator(std::move(coordinator));
        });
    save->addDependency(openCache);
    save->setDelegate(std::weak_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate>(self));
    auto toSave =
        ZQDataSetterOperation::create(parse, {{"parsedBusinessComponentData", "parsedData"}}, save);
    toSave->addDependency(parse);
    save->addDependency(toSave);
    auto finished = ZQInvocationWithSelfOperation::create(
        self, &ZQBusinessComponentRESTLoadHandler::loadingFinished);
    auto toFinished =
        ZQDataSetterOperation::create(save, {{"context", "businessComponentObjectID"}}, finished);
    toFinished->addDependency(save);
    finished->addDependency(toFinished);
    queue->addOperations({openCache, toSave, save, toFinished, finished}, false);
    queue->setSuspended(false);
}

void ZQBusinessComponentRESTLoadHandler::loadingFinished(
    const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
    if (operation->isCancelled()) return;
    auto id =
        std::dynamic_pointer_cast<const platform::ManagedObjectID>(operation->context().objectID());
    platform::dispatchSyncOnMain([this, &id] {
        if (auto entityData = ZQBusinessComponentRESTHelper::mainContextInstance(id))
            return onSuccess(entityData);
        onError(defaultZQError());
    });
}

void ZQBusinessComponentRESTLoadHandler::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    if (auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation))
        onError(error);
}

void ZQBusinessComponentRESTLoadHandler::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    onError(operation->error());
}

void ZQBusinessComponentRESTLoadHandler::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    onError(operation->error());
}

void ZQBusinessComponentRESTLoadHandler::businessComponentSaveOperationDidFailWithError(
    const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& /*operation*/,
    const platform::ErrorPtr& error) {
    onError(error);
}
