// An error object: domain, integer code, description and user information. Immutable once made
// and passed as ErrorPtr, so it can travel between threads freely.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Value.hpp"

namespace platform {

// The platform's own error domain: object-store and file errors.
inline constexpr const char* kErrorDomain = "PlatformErrorDomain";
// Transport errors of URL requests (refused, timed out, cancelled, ...).
inline constexpr const char* kURLErrorDomain = "PlatformURLErrorDomain";

// Well-known codes of the platform's error domain.
namespace errc {
inline constexpr int64_t kFileReadUnknown = 256;
inline constexpr int64_t kFileWriteUnknown = 512;
inline constexpr int64_t kValidation = 1550;
inline constexpr int64_t kValidationMissingMandatoryProperty = 1570;
inline constexpr int64_t kValidationRelationshipCount = 1580;
inline constexpr int64_t kStoreOpen = 134080;
inline constexpr int64_t kIncompatibleSchema = 134020;
inline constexpr int64_t kIncompatibleVersion = 134100;
inline constexpr int64_t kStoreSave = 134030;
inline constexpr int64_t kObjectStore = 134060;  // a fetch or other store operation failed
inline constexpr int64_t kInvalidFile = 259;
}  // namespace errc

class Error;
using ErrorPtr = std::shared_ptr<const Error>;

class Error {
  public:
    Error(std::string domain, int64_t code, std::string description,
          Dictionary userInfo = Dictionary());
    [[nodiscard]] static ErrorPtr create(std::string domain, int64_t code, std::string description,
                                         Dictionary userInfo = Dictionary());

    const std::string& domain() const { return domain_; }
    int64_t code() const { return code_; }
    const std::string& localizedDescription() const { return description_; }
    const Dictionary& userInfo() const { return userInfo_; }
    // "Domain=<d> Code=<c> "<description>" UserInfo={...}"
    std::string description() const;
    bool operator==(const Error& other) const;

  private:
    std::string domain_;
    int64_t code_;
    std::string description_;
    Dictionary userInfo_;
};

}  // namespace platform
