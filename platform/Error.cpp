#include "platform/Error.hpp"

namespace platform {

Error::Error(std::string domain, int64_t code, std::string description, Dictionary userInfo)
    : domain_(std::move(domain)),
      code_(code),
      description_(std::move(description)),
      userInfo_(std::move(userInfo)) {}

ErrorPtr Error::create(std::string domain, int64_t code, std::string description,
                       Dictionary userInfo) {
    return std::make_shared<const Error>(std::move(domain), code, std::move(description),
                                         std::move(userInfo));
}

std::string Error::description() const {
    std::string out =
        "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + description_ + "\"";
    if (!userInfo_.empty()) out += " UserInfo=" + Value(userInfo_).description();
    return out;
}

bool Error::operator==(const Error& other) const {
    return domain_ == other.domain_ && code_ == other.code_ && description_ == other.description_ &&
           userInfo_ == other.userInfo_;
}

}  // namespace platform
