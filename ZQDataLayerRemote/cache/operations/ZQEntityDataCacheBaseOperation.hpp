// Common base of the cache operations (save, load): what identifies one cached query (base URL
// and parameter string), the cache's coordinator, the names of the data source's query and row
// entities, the two fetch requests that find a cached query and its rows, and the working-context
// procedures. Owned by the entity data manager's operation queue while it runs; its fields are set
// before it is queued and only read afterwards (the coordinator, when none was given, by the thread
// that runs it, before it reports), so nothing here is locked (the coordinator serialises itself).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerInternalBaseOperation.hpp"
#include "platform/Error.hpp"
#include "platform/NotificationCenter.hpp"
#include "platform/URL.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "platform/objectstore/ManagedObjectContext.hpp"
#include "platform/objectstore/ManagedObjectID.hpp"
#include "platform/objectstore/PersistentStoreCoordinator.hpp"
#include "platform/objectstore/Predicate.hpp"

class ZQEntityDataCacheBaseOperation : public ZQEntityDataManagerInternalBaseOperation {
  public:
    const platform::URL& queryBaseURL() const { return queryBaseURL_; }
    void setQueryBaseURL(platform::URL url) { queryBaseURL_ = std::move(url); }
    // Absent when the request has no parameter string (distinct from the empty string).
    const std::optional<std::string>& queryParameters() const { return queryParameters_; }
    void setQueryParameters(std::optional<std::string> parameters) {
        queryParameters_ = std::move(parameters);
    }
    const std::shared_ptr<platform::PersistentStoreCoordinator>& psc() const { return psc_; }
    void setPsc(std::shared_ptr<platform::PersistentStoreCoordinator> psc) {
        psc_ = std::move(psc);
    }

    // The cache entity name of the data source; empty when it has none (that was reported to
    // the host as "Invalid cache operation data source" when the operation was made).
    const std::string& cacheEntityName() const { return cacheEntityName_; }
    // "_Query" + the cache entity name.
    std::string queryEntityName() const;
    // "_QueryCollectionEntity" + the cache entity name.
    std::string queryCollectionEntityName() const;

    // The cached record of this query: query entity, limit 1, queryBaseUri == absolute base URL
    // and queryParameters == the parameter string (or the null value when there is none).
    [[nodiscard]] platform::FetchRequest queryFetchRequest(
        const std::shared_ptr<platform::ManagedObjectContext>& context,
        platform::FetchRequest::ResultType resultType) const;
    // The rows of one cached query record: query == the record, AND the extra predicate if given.
    [[nodiscard]] platform::FetchRequest queryRowsFetchRequest(
        const platform::ManagedObjectIDPtr& queryObjectID,
        const std::shared_ptr<platform::ManagedObjectContext>& context,
        const platform::PredicatePtr& predicate,
        platform::FetchRequest::ResultType resultType) const;

    // Run first by the operation: takes the current model's coordinator when none was given (so
    // the cache's first open, which may wait for a busy file, happens on the cache queue and not
    // on the caller's thread), and checks that open stores hold the query's entities, trying
    // once more to add stores that failed to open before. The error says why the cache cannot
    // be used now; reading or writing without the store would answer "no rows".
    [[nodiscard]] platform::ErrorPtr prepareStore();

    // A private-queue context on the operation's coordinator, for this run only.
    [[nodiscard]] std::shared_ptr<platform::ManagedObjectContext> newWorkingContext() const;
    // Saves a working context; the did-save notification is merged into the current model's main
    // context on the main thread before this returns (so whatever the operation reports next sees
    // the changes there). Never call it on the main thread while the main loop is not running.
    [[nodiscard]] platform::ErrorPtr saveWorkingContext(
        const std::shared_ptr<platform::ManagedObjectContext>& context);
    // The did-save handler: merges into the current model's main context on the main thread and
    // waits; nothing without a current model or without its context.
    void notify(const platform::Notification& notification);
    // The same for saves known by the identifiers they updated and deleted (a write batch's,
    // merged once committed).
    void mergeChangedObjectIDs(const std::vector<platform::ManagedObjectIDPtr>& updated,
                               const std::vector<platform::ManagedObjectIDPtr>& deleted);

  protected:
    // Subclasses pass their base fields here; there is no construction from a data source alone.
    // The cache entity name is derived from the data source now.
    ZQEntityDataCacheBaseOperation(platform::URL queryBaseURL,
                                   std::optional<std::string> queryParameters,
                                   std::shared_ptr<platform::PersistentStoreCoordinator> psc,
                                   std::shared_ptr<const ZQEntityDataSourceDescriptor> dataSource);

  private:
    platform::URL queryBaseURL_;
    std::optional<std::string> queryParameters_;
    std::shared_ptr<platform::PersistentStoreCoordinator> psc_;
    std::string cacheEntityName_;
};
