#include "tools/zqdl/ZqdlCacheCommand.hpp"

#include <cstdio>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityDataBCRootLevel.hpp"
#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityHelper.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQueryCollectionManagedObject.hpp"
#include "ZQDataLayerRemote/cache/store/ZQQuerySingleItemManagedObject.hpp"
#include "platform/objectstore/FetchRequest.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"
#include "tools/zqdl/ZqdlJsonWriter.hpp"

namespace zqdl {

namespace {

int fail(const ZqdlFailure& failure) {
    std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
    return failure.exitStatus;
}

std::unique_ptr<ZqdlEnvironment> cacheEnvironment(const CommandLine& line, ZqdlFailure* failure) {
    ZqdlEnvironment::Settings settings{line.global};
    // The records are read as stored; no request is made, so no server is needed.
    settings.startServer = false;
    return ZqdlEnvironment::start(settings, failure);
}

void writeRecord(const std::string& provider, ZQQueryManagedObject& record) {
    auto* collection = dynamic_cast<ZQQueryCollectionManagedObject*>(&record);
    auto* single = dynamic_cast<ZQQuerySingleItemManagedObject*>(&record);
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("provider");
    out.string(provider);
    out.key("baseURL");
    out.value(record.queryBaseUri() ? platform::Value(*record.queryBaseUri()) : platform::Value());
    out.key("parameters");
    out.value(record.queryParameters() ? platform::Value(*record.queryParameters())
                                       : platform::Value());
    out.key("rows");
    out.integer(collection ? static_cast<int64_t>(collection->queryEntities().size())
                           : (single && single->entityData() ? 1 : 0));
    out.key("complete");
    std::optional<bool> complete = collection ? collection->complete() : std::nullopt;
    complete ? out.boolean(*complete) : out.null();
    out.key("timeStamp");
    out.date(record.timeStamp());
    out.key("dataTimeStamp");
    out.date(record.dataTimeStamp());
    out.key("lastModified");
    out.date(record.lastModified());
    out.endObject();
    std::printf("%s\n", out.text().c_str());
}

// The lines of every child level, and of theirs.
int64_t lineCount(const ZQBusinessComponentLevelEntityData& data,
                  const ZQBusinessComponentLevel& level) {
    int64_t count = 0;
    for (const auto& child : level.childLevels()) {
        auto lines = data.entityChildLevelEntitiesForLevelName(child->levelName());
        if (!lines) continue;
        for (const auto& line : *lines) count += 1 + (line ? lineCount(*line, *child) : 0);
    }
    return count;
}

void writeInstance(const ZQBusinessComponentModel& component,
                   const ZQCoreDataEntityDataBCRootLevel& instance) {
    const auto& root = *component.rootLevel();
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("component");
    out.string(component.name());
    out.key("key");
    out.beginObject();
    for (const auto& attribute : root.keyAttributes()) {
        out.key(attribute->name());
        out.value(instance.valueForEntityDataFieldName(attribute->name()));
    }
    out.endObject();
    out.key("lines");
    out.integer(lineCount(instance, root));
    out.key("timeStamp");
    out.date(instance.timeStamp());
    out.endObject();
    std::printf("%s\n", out.text().c_str());
}

}  // namespace

bool ZqdlCacheCommand::listBusinessComponent(platform::ManagedObjectContext& context,
                                             const ZQBusinessComponentModel& component,
                                             std::string* error) {
    std::string entity =
        ZQCoreDataEntityHelper::coreDataEntityNameForBusinessComponentLevel(component.rootLevel());
    if (entity.empty() || !ZQCoreDataEntityHelper::coreDataEntityDescriptionForName(entity))
        return true;
    platform::ManagedObjectContext::FetchResult fetched =
        context.executeFetchRequest(platform::FetchRequest(entity));
    if (fetched.error) {
        *error = "cannot read the cached instances of " + component.name() + ": " +
                 fetched.error->localizedDescription();
        return false;
    }
    for (const auto& object : fetched.objects()) {
        if (auto* instance = dynamic_cast<ZQCoreDataEntityDataBCRootLevel*>(object.get())) {
            writeInstance(component, *instance);
        }
    }
    return true;
}

bool ZqdlCacheCommand::listProvider(platform::ManagedObjectContext& context,
                                    const ZqdlProvider& provider, std::string* error) {
    const std::string& name = provider.data->dataProviderName();
    std::string entity = ZQCoreDataEntityHelper::coreDataQueryEntityNameForEntityName(
        ZQCoreDataEntityHelper::coreDataEntityNameForDataProviderName(name));
    // A provider left out of the cache schema has no records.
    if (!ZQCoreDataEntityHelper::coreDataEntityDescriptionForName(entity)) return true;
    platform::FetchRequest request(entity);
    platform::ManagedObjectContext::FetchResult fetched = context.executeFetchRequest(request);
    if (fetched.error) {
        *error = "cannot read the cached queries of " + name + ": " +
                 fetched.error->localizedDescription();
        return false;
    }
    for (const auto& object : fetched.objects()) {
        if (auto* record = dynamic_cast<ZQQueryManagedObject*>(object.get())) {
            writeRecord(name, *record);
        }
    }
    return true;
}

int ZqdlCacheCommand::list(const CommandLine& line) {
    ZqdlFailure failure;
    auto environment = cacheEnvironment(line, &failure);
    if (!environment) return fail(failure);
    auto context = ZQModel_ZQCoreDataCache::managedObjectContext(environment->model());
    if (!context) return fail({1, "the model has no cache (no schema or no store)"});
    for (const ZqdlProvider& provider : environment->catalog().providers()) {
        std::string error;
        if (!listProvider(*context, provider, &error)) return fail({1, error});
    }
    for (const auto& component : environment->appModel()->businessComponents()) {
        std::string error;
        if (component->rootLevel() && !listBusinessComponent(*context, *component, &error))
            return fail({1, error});
    }
    std::fflush(stdout);
    return 0;
}

int ZqdlCacheCommand::clear(const CommandLine& line) {
    ZqdlFailure failure;
    auto environment = cacheEnvironment(line, &failure);
    if (!environment) return fail(failure);
    if (!ZQModel_ZQCoreDataCache::coreDataCacheModel(environment->model()))
        return fail({1, "the model has no cache to clear"});
    // The host's path: will-clear, the cache's own clearing on the internal notification, then
    // did-clear, so that an entity data manager stops and resumes around it.
    environment->model()->clearCache();
    std::printf("cache cleared: %s\n",
                ZQModel_ZQCoreDataCache::cacheSQLStoreURLPath(environment->model()).c_str());
    return 0;
}

}  // namespace zqdl
