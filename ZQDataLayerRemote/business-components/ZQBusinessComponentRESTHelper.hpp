// The business-component handlers' shared reading of answers: the server error a finished request
// carries, the user warnings of a "Warning" header (shown through the host's alert service), and
// the step that opens the cache for a handler. Class functions only, no state; any thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPURLResponse.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/Error.hpp"
#include "platform/Operation.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"

class ZQBusinessComponentRESTHelper {
  public:
    ZQBusinessComponentRESTHelper() = delete;

    // None without a response or for a status in 200...299; otherwise the server's own error
    // from the body when it has one, else the host's error for the status.
    [[nodiscard]] static platform::ErrorPtr errorFromURLRequestOperation(
        const ZQURLRequestOperation& operation);
    // Shows the user warnings (codes 199 and 299, in header order, empty texts dropped) of the
    // response's "Warning" field; nothing without the field or a readable warning.
    static void processWarningHeader(const std::shared_ptr<const ZQHTTPURLResponse>& response);
    static void showHTTPWarnings(const std::string& headerValue);

    // Main thread: the object of the cache's main context with that identifier when it is an
    // instance; none for no identifier, model or context, or an object of another kind.
    static std::shared_ptr<ZQBusinessComponentLevelEntityData> mainContextInstance(
        const std::shared_ptr<const platform::ManagedObjectID>& id);
    // Whether the current model has a data cache a handler can write through.
    static bool hasDataCache();
    // The first step of a handler's chain: hands the current model's cache coordinator (none
    // without one) to `use` on the handler's queue. Handlers start on the main thread, and the
    // first open of the cache may wait for a busy file; this step keeps that wait off it. None
    // when the stores are open already: `use` then has the coordinator before this returns.
    // Operations and queues take a missing step as nothing to wait for.
    [[nodiscard]] static std::shared_ptr<platform::Operation> cacheCoordinatorStep(
        std::function<void(std::shared_ptr<platform::PersistentStoreCoordinator>)> use);
};
