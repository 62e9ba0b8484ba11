// The host's start-up: configures the foundation services from a bundle and an application root,
// then finishes the core initialisation (which runs the blocks registered with
// ZQExecutionEnvironmentHelper). Called once by a tool or a test, on the thread that acts as main.
#pragma once

#include <filesystem>
#include <optional>

#include "platform/Error.hpp"

struct ZQHostConfiguration {
    // The application bundle: Info.json (information dictionary) and Translations.json.
    std::optional<std::filesystem::path> bundlePath;
    // Where applications keep their caches and model files.
    std::optional<std::filesystem::path> applicationRoot;
    std::optional<bool> logEnabled;
};

class ZQHost {
  public:
    // In order: log setting, application root, main bundle, translations from the bundle,
    // authorisation settings from the information dictionary (when it names a server or a token
    // endpoint), then the core initialisation. On an error (an unreadable bundle or translations
    // file) nothing after the failing step happens and the error is returned.
    [[nodiscard]] static platform::ErrorPtr start(const ZQHostConfiguration& configuration);
};
