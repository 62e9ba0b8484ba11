// Translated message texts by key. The table is loaded from a JSON file (an object of key to
// text); a key missing there falls back to the host's built-in English texts, then to the key
// itself. Static functions; any thread; an internal mutex guards the loaded table.
#pragma once

#include <filesystem>
#include <string>

#include "platform/Error.hpp"
#include "platform/Value.hpp"

class ZQResources {
  public:
    static constexpr const char* kTranslationsFileName = "Translations.json";

    static std::string translationFor(const std::string& key);

    // Replaces the loaded table with the file's; on error the table is left as it was. Members
    // whose value is not a string are ignored.
    [[nodiscard]] static platform::ErrorPtr loadTranslationsFromFile(
        const std::filesystem::path& file);
    static void setTranslations(const platform::Dictionary& table);
    // Back to the built-in texts only.
    static void resetTranslations();
};
