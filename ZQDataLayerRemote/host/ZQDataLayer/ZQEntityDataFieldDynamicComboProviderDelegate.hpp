// What a dynamic combo's field hears from its choices provider, on the main thread: the choices of
// one load, or why there are none. Implemented by the host's field; held weakly by the provider.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDynamicDataChoice.hpp"

class ZQEntityDataFieldDynamicComboProvider;

class ZQEntityDataFieldDynamicComboProviderDelegate {
  public:
    virtual ~ZQEntityDataFieldDynamicComboProviderDelegate() = default;
    virtual void dynamicComboProviderDidLoadChoices(
        ZQEntityDataFieldDynamicComboProvider& provider,
        const std::vector<ZQDynamicDataChoice>& choices) = 0;
    // error may be none (a failure the transport could not describe).
    virtual void dynamicComboProviderDidFailWithError(
        ZQEntityDataFieldDynamicComboProvider& provider, const platform::ErrorPtr& error) = 0;
};
