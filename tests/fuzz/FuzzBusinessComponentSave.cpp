// A business-component reply through the write-through into the in-memory cache: any JSON the
// server might answer is saved or refused, and a refused reply leaves the instance that was
// cached before it as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "ZQDataLayerRemote/business-components/ZQCoreDataBusinessComponentSaveOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/MainLoop.hpp"
#include "platform/OperationQueue.hpp"
#include "tests/fuzz/FuzzCacheEnvironment.hpp"

namespace {

const char* const kModel = R"({"name": "FuzzBC", "businessComponents": [
  {"name": "Shop.Order", "levels": [
    {"name": "Order", "attributes": [
      {"name": "OrderId", "type": "numeric", "length": 8, "key": true},
      {"name": "OrderDate", "type": "datetime"}, {"name": "OrderNote", "type": "varchar", "length": 30},
      {"name": "OrderTotal", "type": "numeric", "length": 10, "decimals": 2},
      {"name": "&Code", "type": "character", "length": 4}]},
    {"name": "Item", "parent": "Order", "attributes": [
      {"name": "ItemId", "type": "numeric", "length": 4, "key": true},
      {"name": "ItemDone", "type": "boolean"}]},
    {"name": "Part", "parent": "Item", "levelName": "Parts", "attributes": [
      {"name": "PartId", "type": "guid", "key": true}]}]}]})";

struct Environment {
    std::shared_ptr<ZQModel> model = zqfuzz::runMemoryCacheModel(kModel);
    std::shared_ptr<platform::OperationQueue> queue = platform::OperationQueue::create("fuzz");
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Environment env;
    auto parsed = ZQJSON::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (parsed.error) return 0;
    auto save = ZQCoreDataBusinessComponentSaveOperation::create();
    save->setBusinessComponentModel(env.model->appModel()->businessComponentNamed("Shop.Order"));
    save->setPersistentStoreCoordinator(
        ZQModel_ZQCoreDataCache::persistentStoreCoordinator(env.model));
    save->setParsedBusinessComponentData(parsed.value);
    env.queue->addOperation(save);
    if (!platform::runUntil([&] { return save->isFinished(); }, 60)) std::abort();
    return 0;
}
