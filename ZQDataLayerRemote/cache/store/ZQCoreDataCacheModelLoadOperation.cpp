#include "ZQDataLayerRemote/cache/store/ZQCoreDataCacheModelLoadOperation.hpp"

#include <string>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataModelFactory.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQTryBlock.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

namespace {

void logCrash(const ZQException& exception) {
    auto logger = ZQLog::loggerService();
    if (!ZQUtilities::showDeveloperInfo() || !logger->isLogEnabled()) return;
    logger->logMessage("CRASH: " + exception.description(), ZQLogTypeGeneral, ZQLogLevelError,
                       true);
    std::string stack;
    for (const auto& frame : exception.callStackSymbols) {
        if (!stack.empty()) stack += '\n';
        stack += frame;
    }
    logger->logMessage("Stack Trace: " + stack, ZQLogTypeGeneral, ZQLogLevelError, true);
}

}  // namespace

void ZQCoreDataCacheModelLoadOperation::main() {
    const auto& context = modelLoadContext();
    if (!context) return;
    zqTryBlock([this, &context] { generateIntoContext(context); },
               [&context](const ZQException& exception) {
                   logCrash(exception);
                   // First error wins here too: an exception only matters when no other step of
                   // the load has failed already.
                   context->setErrorIfNone(
                       platform::Error::create(ZQModelErrorDomain, 0, exception.reason));
               });
}

std::shared_ptr<platform::ManagedObjectModel>
ZQCoreDataCacheModelLoadOperation::managedObjectModelFor(
    const std::shared_ptr<const ZQApplicationModel>& appModel, platform::ErrorPtr* error) {
    return ZQCoreDataModelFactory::coreDataModelForApplicationModel(appModel, error);
}

void ZQCoreDataCacheModelLoadOperation::generateIntoContext(
    const std::shared_ptr<ZQModelLoadOperationContext>& context) {
    if (isCancelled() || context->error()) return;

    std::shared_ptr<platform::ManagedObjectModel> model;
    platform::ErrorPtr error;
    const auto& appModel = context->applicationModel();
    if (appModel) model = managedObjectModelFor(appModel, &error);
    // A load cancelled meanwhile is being abandoned: whatever was generated must not reach it.
    if (isCancelled()) return;

    if (model && !error) {
        context->setModelObject(platform::Value::object(model),
                                ZQModel_ModelObject_ZQCoreDataCacheManagedObjectModel);
        return;
    }
    if (!error) {
        error = platform::Error::create(
            ZQModelErrorDomain, 0,
            appModel ? "The cache schema could not be generated from the application model"
                     : "There is no application model to generate the cache schema from");
    }
    context->setErrorIfNone(std::move(error));
}
