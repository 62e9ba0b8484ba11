// A data-service answer walked and saved into the cache, every entity in the in-memory store: the
// input is the answer's JSON; its first byte also picks whether earlier rows are cleared, whether
// the rows are saved in runs of two (as large lists are), whether the answer stays text for the
// save to read a run at a time, and the page's start. Whatever the answer, the save finishes
// (saved or failed) and the cache still reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <mutex>
#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSaveOperation.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceResult.hpp"
#include "platform/MainLoop.hpp"
#include "tests/fuzz/FuzzCacheEnvironment.hpp"
#include "tests/support/CacheOperationModel.hpp"

namespace {

class Lock : public ZQEntityDataCacheSaveLock {
  public:
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

  private:
    std::mutex mutex_;
};

class Delegate : public ZQEntityDataCacheSaveOperationDelegate {
  public:
    std::shared_ptr<ZQEntityDataCacheSaveLock> entityDataCacheSaveOperationObtainLockForEntityName(
        const std::string&) override {
        return lock_;
    }
    void entityDataCacheSaveOperationReleaseLock(
        const std::shared_ptr<ZQEntityDataCacheSaveLock>&) override {}
    void entityDataCacheSaveOperationDidFinishSaving(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>&) override {}
    void entityDataCacheSaveOperationDidFailSavingWithError(
        const std::shared_ptr<ZQEntityDataCacheSaveOperation>&,
        const platform::ErrorPtr&) override {}

  private:
    std::shared_ptr<Lock> lock_ = std::make_shared<Lock>();
};

struct Environment {
    std::shared_ptr<ZQModel> model;
    std::shared_ptr<const ZQEntityDataSourceDescriptor> source;
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

Environment& environment() {
    static Environment* made = [] {
        auto* env = new Environment();
        env->model = zqfuzz::runMemoryCacheModel(zqtest::kCacheOperationModelJSON);
        auto appModel = env->model->appModel();
        auto data = appModel->dataProviderNamed("Shop.Orders");
        env->source = ZQRemoteWorkWithCollectionDataSource::create(data->workWithModel(), data, {});
        return env;
    }();
    return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Environment& env = environment();
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    ZQUndocumentedConfig::setCacheSaveBatchRows((flags & 2) != 0 ? 2 : -1);
    std::shared_ptr<ZQEntityDataServiceResult> result;
    if ((flags & 4) != 0 && ZQJSONArrayReader::startsWithArray(text)) {
        result =
            ZQEntityDataServiceResult::create(true, platform::Value(), 200, std::nullopt, nullptr);
        result->setStreamedRows(
            std::make_shared<const ZQJSONArrayReader>(platform::Value(std::string(text))));
    } else {
        auto parsed = ZQJSON::parse(text);
        if (parsed.error) return 0;
        result = ZQEntityDataServiceResult::create(true, parsed.value, 200, std::nullopt, nullptr);
    }
    auto save = ZQEntityDataCacheSaveOperation::create(
        *platform::URL::fromString("http://127.0.0.1:9/app/rest/Shop/Orders"), "zqid=1",
        ZQModel_ZQCoreDataCache::persistentStoreCoordinator(env.model), env.source,
        (flags & 1) != 0, result, ZQRange{static_cast<uint64_t>(flags >> 3), 20});
    save->setDelegate(env.delegate);
    // Run on the fuzzer's thread, which is the main thread: the merge into the main context runs
    // inline, and no input waits for a worker to wake (seven times the inputs a second).
    save->start();
    if (!platform::runUntil([&] { return save->isFinished(); }, 60)) std::abort();
    return 0;
}
