// Protocol of whoever shows a provider's data (the screen). The provider calls it on the main
// thread, once per change: the rows or the item it shows changed (and where they came from), its
// loading state changed, a load failed, or whether more pages exist changed. Every method is
// optional; the provider holds its delegate weakly.
#pragma once

#include <cstdint>

#include "platform/Error.hpp"

class ZQBaseEntityDataProvider;

// Where the data shown came from.
enum class ZQEntityDataProviderDataOrigin : uint8_t {
    none = 0,    // the provider shows nothing (cleaned, or the cache had nothing)
    cache = 1,   // read from the local cache without asking the server
    server = 2,  // the server's answer (saved in the cache and read back)
};

class ZQEntityDataProviderDelegate {
  public:
    virtual ~ZQEntityDataProviderDelegate() = default;
    // upToDate: the server said the data shown is current; nothing new came with the answer.
    virtual void entityDataProviderDidLoadData(ZQBaseEntityDataProvider& /*provider*/,
                                               ZQEntityDataProviderDataOrigin /*origin*/,
                                               bool /*upToDate*/) {}
    // provider.loadingState() (and, for a detail, its loadState()) changed.
    virtual void entityDataProviderDidChangeLoadingState(ZQBaseEntityDataProvider& /*provider*/) {}
    // Once per failed load; the data shown stays as it was.
    virtual void entityDataProviderDidFailLoading(ZQBaseEntityDataProvider& /*provider*/,
                                                  const platform::ErrorPtr& /*error*/) {}
    virtual void entityDataProviderDidChangeMorePages(ZQBaseEntityDataProvider& /*provider*/,
                                                      bool /*morePages*/) {}
};
