// Typed reading of the application model file's JSON with the place of every value kept as a
// path ("businessComponents[0].levels[1].attributes[2].type"). A shape error throws Failure, which
// the model loader catches at its edge and turns into an error; nothing else sees the exception.
// Stateless functions; any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.hpp"

class ZQModelFileReader {
  public:
    struct Failure {
        std::string path;
        std::string message;
    };

    static std::string member(const std::string& path, std::string_view key);
    static std::string element(const std::string& path, size_t index);
    [[noreturn]] static void fail(std::string path, std::string message);

    // The value as an object; fails naming what was found instead.
    static const platform::Dictionary& object(const platform::Value& value,
                                              const std::string& path);
    // Fails at the first member whose name is not in allowed.
    static void allowMembers(const platform::Dictionary& object, const std::string& path,
                             std::initializer_list<std::string_view> allowed);

    static std::string requiredString(const platform::Dictionary& object, const std::string& path,
                                      std::string_view key);
    static std::optional<std::string> optionalString(const platform::Dictionary& object,
                                                     const std::string& path, std::string_view key);
    static bool optionalBool(const platform::Dictionary& object, const std::string& path,
                             std::string_view key, bool defaultValue);
    // A whole number from 0 to max.
    static std::optional<uint64_t> optionalUnsigned(const platform::Dictionary& object,
                                                    const std::string& path, std::string_view key,
                                                    uint64_t max);
    // Absent member: an empty array.
    static const platform::Array& optionalArray(const platform::Dictionary& object,
                                                const std::string& path, std::string_view key);
    static const platform::Array& requiredArray(const platform::Dictionary& object,
                                                const std::string& path, std::string_view key);
    // An array of non-empty strings; absent member: none.
    static std::optional<std::vector<std::string>> optionalStringArray(
        const platform::Dictionary& object, const std::string& path, std::string_view key);

    // "a string", "a number", ... for messages.
    static std::string describeKind(const platform::Value& value);
};
