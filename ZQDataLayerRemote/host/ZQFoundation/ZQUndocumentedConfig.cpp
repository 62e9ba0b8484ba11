#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"

namespace {

std::atomic<double> explicitTimeout{-1.0};
std::atomic<int64_t> explicitStreamedAnswerBytes{-1};
std::atomic<int64_t> explicitCacheSaveBatchRows{-1};

int64_t setting(const std::atomic<int64_t>& explicitValue, const char* key, int64_t fallback,
                int64_t least) {
    int64_t value = explicitValue.load();
    if (value >= least) return value;
    std::optional<double> fromInfo =
        ZQBundle::mainBundle()->objectForInfoDictionaryKey(key).number();
    return fromInfo && *fromInfo >= static_cast<double>(least) ? static_cast<int64_t>(*fromInfo)
                                                               : fallback;
}

}  // namespace

double ZQUndocumentedConfig::restUploaderTimeout() {
    double value = explicitTimeout.load();
    if (value >= 0) return value;
    std::optional<double> fromInfo =
        ZQBundle::mainBundle()->objectForInfoDictionaryKey("ZQRestUploaderTimeout").number();
    return fromInfo ? *fromInfo : 0.0;
}

void ZQUndocumentedConfig::setRestUploaderTimeout(double seconds) {
    explicitTimeout.store(seconds < 0 ? -1.0 : seconds);
}

int64_t ZQUndocumentedConfig::streamedAnswerBytes() {
    return setting(explicitStreamedAnswerBytes, "ZQStreamedAnswerBytes", 256 * 1024, 0);
}

int64_t ZQUndocumentedConfig::cacheSaveBatchRows() {
    return setting(explicitCacheSaveBatchRows, "ZQCacheSaveBatchRows", 250, 1);
}

void ZQUndocumentedConfig::setStreamedAnswerBytes(int64_t bytes) {
    explicitStreamedAnswerBytes.store(bytes < 0 ? -1 : bytes);
}

void ZQUndocumentedConfig::setCacheSaveBatchRows(int64_t rows) {
    explicitCacheSaveBatchRows.store(rows < 0 ? -1 : rows);
}
