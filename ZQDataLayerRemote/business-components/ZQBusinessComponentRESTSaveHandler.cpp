#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTSaveHandler.hpp"

#include <algorithm>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"
#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperation.hpp"
#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDataLayerServices.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQDataSetterOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/MainLoop.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

namespace {

// The key of the instance the entity data holds: the values of the level's key attributes.
std::shared_ptr<const ZQEntityDataKey> keyOfEntityData(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<ZQBusinessComponentLevelEntityData>& entityData) {
    if (!level || !entityData) return nullptr;
    platform::Dictionary values;
    for (const auto& key : level->keyAttributes())
        values.set(key->name(), entityData->valueForEntityDataFieldName(key->name()));
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*level), std::move(values));
}

}  // namespace

ZQBusinessComponentRESTSaveHandler::ZQBusinessComponentRESTSaveHandler(
    std::shared_ptr<const ZQBusinessComponentLevel> level,
    std::shared_ptr<ZQBusinessComponentLevelEntityData> entityData)
    : ZQBusinessComponentSaveHandler(std::move(level), std::move(entityData)) {
    const auto& component = businessComponentModel();
    json_ = ZQEntityHelper::jsonBusinessComponentLevel(component ? component->rootLevel() : nullptr,
                                                       this->entityData(), &binaryDataFieldRef_);
    saveKey_ = key() ? key() : keyOfEntityData(businessComponentLevel(), this->entityData());
}

std::optional<platform::URL> ZQBusinessComponentRESTSaveHandler::url() const {
    return ZQEntityHelper_ZQBusinessComponentREST::businessComponentURLFromLevel(
        businessComponentLevel(), saveKey_);
}

std::optional<std::string> ZQBusinessComponentRESTSaveHandler::uploaderRestPath() const {
    return ZQEntityHelper_ZQBusinessComponentREST::
        fileUploadURLPathComponentForBusinessComponentLevel(businessComponentLevel());
}

void ZQBusinessComponentRESTSaveHandler::start() {
    auto target = url();
    if (!target || !ZQBusinessComponentRESTHelper::hasDataCache()) return onError(defaultZQError());
    auto self = std::static_pointer_cast<ZQBusinessComponentRESTSaveHandler>(shared_from_this());
    auto queue = operationQueue();
    queue->cancelAllOperations();
    queue->setSuspended(true);

    auto body = ZQInvocationWithSelfOperation::create(
        self, &ZQBusinessComponentRESTSaveHandler::setRequestBodyOp);
    if (binaryDataFieldRef_) {
        auto service = ZQDataLayerServices::objectUploaderService();
        auto uploader = service ? service->objectUploaderOperationWithBinaryDataFieldReferences(
                                      {binaryDataFieldRef_})
                                : nullptr;
        if (!uploader) {
            queue->setSuspended(false);
            return onError(defaultZQErrorWithDeveloperDescription("No object uploader service"));
        }
        uploader->setDelegate(std::weak_ptr<ZQObjectUploaderDelegate>(self));
        body->addDependency(uploader);
        queue->addOperation(uploader);
    }
    queue->addOperation(body);
    auto request = ZQApplicationHelper::requestWithURL(*target);
    request->setHTTPMethod(httpMethod());
    auto requestOp =
        ZQURLRequestOperation::create(request, std::weak_ptr<ZQURLRequestOperationDelegate>(self));
    {
        platform::MutexLock lock(mutex_);
        requestOp_ = requestOp;
    }
    requestOp->addDependency(body);
    auto parse = ZQParseJsonOperation::create(std::weak_ptr<ZQParseJsonOperationDelegate>(self));
    parse->setSource(requestOp);
    parse->addDependency(requestOp);
    auto save = ZQCoreDataBusinessComponentSaveOperation::create();
    save->setBusinessComponentModel(businessComponentModel());
    save->setDelegate(std::weak_ptr<ZQCoreDataBusinessComponentSaveOperationDelegate>(self));
    auto openCache = ZQBusinessComponentRESTHelper::cacheCoordinatorStep(
        [weak = std::weak_ptr(save)](auto coordinator) {
            // Weakly: save depends on this step and holds it.
            if (auto target = weak.lock())
                target->setPersistentStoreCoordinator(std::move(coordinator));
        });
    auto toSave =
        ZQDataSetterOperation::create(parse, {{"parsedBusinessComponentData", "parsedData"}}, save);
    toSave->addDependency(parse);
    save->addDependency(toSave);
    save->addDependency(openCache);
    auto finished = ZQInvocationWithSelfOperation::create(
        self, &ZQBusinessComponentRESTSaveHandler::saveUnespectedFinished);
    finished->addDependency(save);
    queue->addOperations({requestOp, parse, toSave, openCache, save, finished}, false);
    queue->setSuspended(false);
}

void ZQBusinessComponentRESTSaveHandler::setRequestBodyOp(
    const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
    if (operation->isCancelled()) return;
    platform::dispatchSyncOnMain([this] {
        if (!json_) return onError(defaultZQError());
        auto written = ZQJSON::write(platform::Value(*json_));
        std::shared_ptr<ZQURLRequestOperation> requestOp;
        {
            platform::MutexLock lock(mutex_);
            requestOp = requestOp_;
        }
        if (written.error || !requestOp) return onError(written.error);
        // The request has not started: it waits for this step.
        auto request = requestOp->request();
        request->setHTTPBody(written.text);
        request->setValue("application/json", "Content-Type");
        requestOp->setRequest(std::move(request));
    });
}

void ZQBusinessComponentRESTSaveHandler::saveUnespectedFinished(
    const std::shared_ptr<ZQInvocationWithSelfOperation>& operation) {
    if (operation->isCancelled()) return;
    // The write-through ended without telling of a success.
    platform::dispatchSyncOnMain([this] { onError(defaultZQError()); });
}

void ZQBusinessComponentRESTSaveHandler::urlRequestOperationDidFinishLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    if (auto error = ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(*operation))
        return onErrorAndCancelOperationsOnMainThread(operation, error);
    ZQBusinessComponentRESTHelper::processWarningHeader(operation->response());
}

void ZQBusinessComponentRESTSaveHandler::urlRequestOperationDidFailLoading(
    const std::shared_ptr<ZQURLRequestOperation>& operation) {
    if (operation->isCancelled()) return;
    onErrorAndCancelOperationsOnMainThread(operation, operation->error());
}

void ZQBusinessComponentRESTSaveHandler::parseJsonOperationDidFailParsing(
    const std::shared_ptr<ZQParseJsonOperation>& operation) {
    onErrorAndCancelOperationsOnMainThread(operation, operation->error());
}

void ZQBusinessComponentRESTSaveHandler::businessComponentSaveOperationDidSave(
    const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation) {
    if (operation->isCancelled()) return;
    auto id = operation->businessComponentObjectID();
    platform::dispatchSyncOnMain([this, &id] {
        // The last step must not report as well.
        operationQueue()->cancelAllOperations();
        if (auto entityData = ZQBusinessComponentRESTHelper::mainContextInstance(id))
            return onSuccess(entityData);
        onError(defaultZQError());
    });
}

void ZQBusinessComponentRESTSaveHandler::businessComponentSaveOperationDidFailWithError(
    const std::shared_ptr<ZQCoreDataBusinessComponentSaveOperation>& operation,
    const platform::ErrorPtr& error) {
    if (operation->isCancelled()) return;
    platform::dispatchSyncOnMain([this, &error] { onError(error); });
}

void ZQBusinessComponentRESTSaveHandler::objectUploaderDidFinishUploading(
    const std::shared_ptr<ZQObjectUploader>& uploader) {
    if (uploader->isCancelled() || isEnded()) return;
    // The very reference given to the uploader, compared by identity: a copy would carry none of
    // the uploaded identifiers.
    const auto& references = uploader->binaryDataFieldReferences();
    if (std::find(references.begin(), references.end(), binaryDataFieldRef_) == references.end())
        return onErrorAndCancelOperationsOnMainThread(uploader, defaultZQError());
    const auto& component = businessComponentModel();
    platform::ErrorPtr error =
        json_ && component && component->rootLevel()
            ? applyReferences(*binaryDataFieldRef_, *component->rootLevel(), *json_)
            : defaultZQError();
    // A JSON with fields left unpatched must not be sent.
    if (error) onErrorAndCancelOperationsOnMainThread(uploader, error);
}

void ZQBusinessComponentRESTSaveHandler::objectUploaderDidFailUploadingWithError(
    const std::shared_ptr<ZQObjectUploader>& uploader, const platform::ErrorPtr& error) {
    onErrorAndCancelOperationsOnMainThread(uploader, error);
}

namespace {

using JsonLevelUpdateError = ZQBusinessComponentRESTSaveHandler::JsonLevelUpdateError;

platform::ErrorPtr patchError(JsonLevelUpdateError code, const std::string& text) {
    return platform::Error::create("ZQBusinessComponentRESTSaveHandlerErrorDomain",
                                   static_cast<int64_t>(code), text);
}

// One member at `level`, whose JSON is `json`: a field takes its uploaded identifier (or goes when
// it has none); a child level's composite patches the lines its members' indexes select.
platform::ErrorPtr applyMember(const ZQBinaryDataFieldReferenceMember& member,
                               const ZQBusinessComponentLevel& level, platform::Dictionary& json) {
    const auto& target = member.reference;
    if (!target || (target->type() != ZQBinaryDataFieldReference::kTypeSingle &&
                    target->type() != ZQBinaryDataFieldReference::kTypeComposite))
        return patchError(JsonLevelUpdateError::unknownBinaryRefType,
                          "Unknown binary reference for " + member.name);
    if (target->type() == ZQBinaryDataFieldReference::kTypeSingle) {
        if (!level.attributeNamed(member.name))
            return patchError(JsonLevelUpdateError::wrongAttributeName,
                              level.name() + " has no field " + member.name);
        auto id = static_cast<const ZQSingleBinaryDataFieldReference&>(*target).uploadedObjectId();
        if (id) {
            json.set(member.name, platform::Value(*id));
        } else {
            json.erase(member.name);
        }
        return nullptr;
    }
    std::shared_ptr<const ZQBusinessComponentLevel> child;
    for (const auto& candidate : level.childLevels())
        if (candidate->levelName() == member.name) child = candidate;
    platform::Value held = json.get(member.name);
    if (!child || !held.isArray())
        return patchError(JsonLevelUpdateError::bcLevelNotFound, "No level " + member.name);
    platform::Array lines = *held.array();
    platform::ErrorPtr error;
    static_cast<const ZQCompositeBinaryDataFieldReference&>(*target)
        .enumerateObjectReferencesWithBlock(
            [&](const ZQBinaryDataFieldReferenceMember& lineMember, bool& stop) {
                const auto index = lineMember.index;
                if (!index || *index >= lines.size() || !lines[*index].isDictionary()) {
                    error = patchError(JsonLevelUpdateError::bcLevelNotFound,
                                       "No line for " + member.name + "." + lineMember.name);
                } else {
                    platform::Dictionary line = *lines[*index].dictionary();
                    error = applyMember({lineMember.name, std::nullopt, lineMember.reference},
                                        *child, line);
                    if (!error) lines[*index] = platform::Value(std::move(line));
                }
                stop = error != nullptr;
            });
    if (!error) json.set(member.name, platform::Value(std::move(lines)));
    return error;
}

}  // namespace

platform::ErrorPtr ZQBusinessComponentRESTSaveHandler::applyReferences(
    const ZQBinaryDataFieldReference& reference, const ZQBusinessComponentLevel& level,
    platform::Dictionary& json) {
    platform::ErrorPtr error;
    reference.enumerateObjectReferencesWithBlock(
        [&](const ZQBinaryDataFieldReferenceMember& member, bool& stop) {
            error = applyMember(member, level, json);
            stop = error != nullptr;
        });
    return error;
}
