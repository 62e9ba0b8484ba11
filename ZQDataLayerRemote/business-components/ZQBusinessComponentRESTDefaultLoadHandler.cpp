#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTDefaultLoadHandler.hpp"

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectClassRegistry.hpp"
#include "platform/objectstore/ManagedObjectModel.hpp"

std::shared_ptr<ZQBusinessComponentRESTDefaultLoadHandler>
ZQBusinessComponentRESTDefaultLoadHandler::create(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::optional<platform::Dictionary> inferredValuesByFieldName,
    std::shared_ptr<platform::ManagedObjectContext> managedObjectContext) {
    return std::make_shared<ZQBusinessComponentRESTDefaultLoadHandler>(
        std::move(level), std::move(inferredValuesByFieldName), std::move(managedObjectContext));
}

void ZQBusinessComponentRESTDefaultLoadHandler::start() {
    auto component = businessComponentModel();
    auto url = ZQEntityHelper_ZQBusinessComponentREST::businessComponentDefaultURLFromName(
        component ? std::optional<std::string>(component->name()) : std::nullopt);
    if (!url) return onError(defaultZQError());

    auto self =
        std::static_pointer_cast<ZQBusinessComponentRESTDefaultLoadHandler>(shared_from_this());
    auto queue = operationQueue();
    queue->setSuspended(true);
    auto parse = addURLRequestAndParseJSONOperationsForRequest(
        queue, ZQApplicationHelper::requestWithURL(*url), self);
    auto mainStep = ZQInvocationWithSelfOperation::create(
        self, &ZQBusinessComponentRESTDefaultLoadHandler::onBusinessComponentsDefautlsLoaded);
    mainStep->addDependency(parse);
    {
        platform::MutexLock lock(mutex_);
        defaultsLoadedMainQueueOp_ = mainStep;
    }
    platform::OperationQueue::mainQueue()->addOperation(mainStep);
    queue->setSuspended(false);
}

void ZQBusinessComponentRESTDefaultLoadHandler::cancel() {
    ZQBusinessComponentDefaultLoadHandler::cancel();
    std::shared_ptr<ZQInvocationWithSelfOperation> pending;
    {
        platform::MutexLock lock(mutex_);
        pending = std::move(defaultsLoadedMainQueueOp_);
        defaultsLoadedMainQueueOp_ = nullptr;
    }
    if (pending) pending->cancel();
}

void ZQBusinessComponentRESTDefaultLoadHandler::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    if (auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation))
        onError(error);
}

void ZQBusinessComponentRESTDefaultLoadHandler::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    onError(operation->error());
}

void ZQBusinessComponentRESTDefaultLoadHandler::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    onError(operation->error());
}

void ZQBusinessComponentRESTDefaultLoadHandler::parseJsonOperationDidFinishParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    if (operation->isCancelled()) return;
    platform::Value parsed = operation->parsedData();
    if (!parsed.isDictionary()) return onError(defaultZQError());
    const auto& inferred = inferredValuesByFieldName();
    platform::Dictionary values;
    for (const auto& attribute : businessComponentLevel()->attributes()) {
        platform::Value raw = inferred ? inferred->get(attribute->name()) : platform::Value();
        if (raw.isAbsent()) raw = parsed.dictionary()->get(attribute->name());
        if (raw.isAbsent()) continue;
        platform::Value converted = ZQEntityHelper::coreDataFieldValue(*attribute, raw);
        if (converted.isAbsent()) continue;
        values.set(ZQCoreDataEntityHelper::coreDataAttributeNameForFieldName(attribute->name()),
                   std::move(converted));
    }
    platform::MutexLock lock(mutex_);
    if (defaultsLoadedMainQueueOp_) defaultsLoadedMainQueueOp_->setContext(std::move(values));
}

void ZQBusinessComponentRESTDefaultLoadHandler::onBusinessComponentsDefautlsLoaded(
    const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
    {
        platform::MutexLock lock(mutex_);
        if (operation->isCancelled() || operation != defaultsLoadedMainQueueOp_) return;
        defaultsLoadedMainQueueOp_ = nullptr;
    }
    auto self =
        std::static_pointer_cast<ZQBusinessComponentRESTDefaultLoadHandler>(shared_from_this());
    platform::dispatchAsyncOnMain(
        [self, values = operation->context()] { self->makeInstance(values); });
}

void ZQBusinessComponentRESTDefaultLoadHandler::makeInstance(const platform::Value& values) {
    if (isEnded()) return;
    auto model = ZQModel::currentModel();
    auto schema = model ? ZQModel_ZQCoreDataCache::managedObjectModel(model) : nullptr;
    std::string entityName = ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(
        businessComponentLevel());
    auto entity = schema ? schema->entityNamed(entityName) : nullptr;
    if (!values.isDictionary() || !entity || !managedObjectContext_ ||
        !platform::ManagedObjectClassRegistry::shared().isRegistered(
            entity->managedObjectClassName()))
        return onError(defaultZQError());
    // The temporary context has no store: it only needs the schema to make objects of it.
    const auto& coordinator = managedObjectContext_->persistentStoreCoordinator();
    if (!coordinator || coordinator->managedObjectModel() != schema)
        managedObjectContext_->setPersistentStoreCoordinator(
            platform::PersistentStoreCoordinator::create(schema));
    auto object = managedObjectContext_->insertNewObject(entityName);
    auto entityData = std::dynamic_pointer_cast<ZQBusinessComponentLevelEntityData>(object);
    if (!entityData) {
        if (object) managedObjectContext_->deleteObject(object);
        return onError(defaultZQError());
    }
    if (!values.dictionary()->empty() &&
        object->setValuesForKeysWithDictionary(*values.dictionary())) {
        managedObjectContext_->deleteObject(object);
        return onError(defaultZQError());
    }
    onSuccess(entityData);
}
