#include "ZQDataLayerRemote/host/ZQFoundation/ZQUndocumentedConfig.hpp"

#include <atomic>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"

namespace {
std::atomic<double> explicitTimeout{-1.0};
}

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
