#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTHelper.hpp"

#include <vector>

#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"

platform::ErrorPtr ZQBusinessComponentRESTHelper::errorFromURLRequestOperation(
    const ZQURLRequestOperation& operation) {
    auto response = operation.response();
    if (!response) return nullptr;
    int64_t status = response->statusCode();
    if (status >= 200 && status <= 299) return nullptr;
    platform::Value data = operation.data();
    if (!data.isAbsent()) {
        if (auto serverError = ZQUtilities::errorFromResponseData(data)) return serverError;
    }
    return errorForHTTPURLResponseStatusCode(status);
}

void ZQBusinessComponentRESTHelper::processWarningHeader(
    const std::shared_ptr<const ZQHTTPURLResponse>& response) {
    if (!response) return;
    const std::string* value = response->allHeaderFields().find("Warning");
    if (!value) return;
    showHTTPWarnings(*value);
}

void ZQBusinessComponentRESTHelper::showHTTPWarnings(const std::string& headerValue) {
    auto warnings = ZQUtilities::httpWarningsFromHeader(headerValue);
    if (!warnings) return;
    std::vector<std::string> texts;
    for (const auto& warning : *warnings) {
        if ((warning.code != 199 && warning.code != 299) || !warning.isUserWarning) continue;
        if (auto text = ZQUtilities::nonEmptyStringFromObject(platform::Value(warning.warningText)))
            texts.push_back(std::move(*text));
    }
    ZQFoundationServices::alertMessageService()->showMessages(texts);
}

bool ZQBusinessComponentRESTHelper::hasDataCache() {
    auto model = ZQModel::currentModel();
    return model && ZQModel_ZQCoreDataCache::coreDataCacheModel(model);
}

std::shared_ptr<platform::Operation> ZQBusinessComponentRESTHelper::cacheCoordinatorStep(
    std::function<void(std::shared_ptr<platform::PersistentStoreCoordinator>)> use) {
    // Once the stores are open nothing here waits: an operation would only cost a second worker
    // woken beside the request's.
    if (auto model = ZQModel::currentModel()) {
        auto open = ZQModel_ZQCoreDataCache::existingPersistentStoreCoordinator(model);
        if (open && !ZQModel_ZQCoreDataCache::storesError(model)) {
            use(std::move(open));
            return nullptr;
        }
    }
    return platform::BlockOperation::create([use = std::move(use)] {
        auto model = ZQModel::currentModel();
        use(model ? ZQModel_ZQCoreDataCache::persistentStoreCoordinator(model) : nullptr);
    });
}

std::shared_ptr<ZQBusinessComponentLevelEntityData>
ZQBusinessComponentRESTHelper::mainContextInstance(
    const std::shared_ptr<const platform::ManagedObjectID>& id) {
    auto model = ZQModel::currentModel();
    auto context = model ? ZQModel_ZQCoreDataCache::managedObjectContext(model) : nullptr;
    auto object = context && id ? context->objectWithID(id) : nullptr;
    return std::dynamic_pointer_cast<ZQBusinessComponentLevelEntityData>(object);
}
