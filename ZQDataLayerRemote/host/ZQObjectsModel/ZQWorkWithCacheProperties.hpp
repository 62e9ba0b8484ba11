// The caching settings of one Work With data provider: whether its results are kept in the local
// cache and how often the server is asked again. The class operations answer for a data
// provider's cacheProperties, which may be none (no caching). Immutable; any thread.
#pragma once

#include <cstdint>
#include <memory>

enum ZQWorkWithCacheFrequencyType : uint8_t {
    // Every First or Refresh query asks the server.
    ZQWorkWithCacheFrequencyAlways = 0,
    // The server is asked again only when the window (afterElapsedTime minutes) has passed.
    ZQWorkWithCacheFrequencyAfterElapsedTime = 1,
};

class ZQWorkWithCacheProperties {
  public:
    ZQWorkWithCacheProperties(bool enabled, ZQWorkWithCacheFrequencyType frequencyType,
                              uint32_t afterElapsedMinutes)
        : enabled_(enabled),
          frequencyType_(frequencyType),
          afterElapsedMinutes_(afterElapsedMinutes) {}

    bool enabled() const { return enabled_; }
    ZQWorkWithCacheFrequencyType frequencyType() const { return frequencyType_; }
    uint32_t afterElapsedMinutes() const { return afterElapsedMinutes_; }

    // False without properties.
    static bool isCacheEnabledForProperties(
        const std::shared_ptr<const ZQWorkWithCacheProperties>& properties);
    // ZQWorkWithCacheFrequencyAlways without properties.
    static ZQWorkWithCacheFrequencyType frequencyTypeForProperties(
        const std::shared_ptr<const ZQWorkWithCacheProperties>& properties);
    // Minutes; 0 (no window) without properties.
    static uint32_t frequencyAfterElipsedTimeForProperties(
        const std::shared_ptr<const ZQWorkWithCacheProperties>& properties);

  private:
    bool enabled_;
    ZQWorkWithCacheFrequencyType frequencyType_;
    uint32_t afterElapsedMinutes_;
};
