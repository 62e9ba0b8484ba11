// What a hide-code field hears from its look-up provider, on the main thread: the code for a
// typed description, the description of the stored code, suggestions, or why a look-up failed.
// Implemented by the host's field; held weakly by the provider.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDynamicDataChoice.hpp"

class ZQEntityDataFieldHideCodeProvider;

class ZQEntityDataFieldHideCodeProviderDelegate {
  public:
    virtual ~ZQEntityDataFieldHideCodeProviderDelegate() = default;
    // code is absent when the server knows no code for the text.
    virtual void hideCodeProviderDidLoadCode(ZQEntityDataFieldHideCodeProvider& provider,
                                             const platform::Value& code,
                                             const std::optional<std::string>& description) = 0;
    // None when the server knows no description for the code.
    virtual void hideCodeProviderDidLoadText(ZQEntityDataFieldHideCodeProvider& provider,
                                             const std::optional<std::string>& text) = 0;
    virtual void hideCodeProviderDidLoadSuggestions(
        ZQEntityDataFieldHideCodeProvider& provider,
        const std::vector<ZQDynamicDataChoice>& suggestions) = 0;
    // error may be none (a failure the transport could not describe).
    virtual void hideCodeProviderDidFailWithError(ZQEntityDataFieldHideCodeProvider& provider,
                                                  const platform::ErrorPtr& error) = 0;
};
