#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"

#include <cctype>
#include <system_error>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int high = 0, low = 0;
        if (text[i] == '%' && i + 2 < text.size() && (high = hexDigit(text[i + 1])) >= 0 &&
            (low = hexDigit(text[i + 2])) >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<ZQSingleBinaryDataFieldReference> ZQSingleBinaryDataFieldReference::createWithData(
    platform::Value data, UserInfo userInfo, std::string name) {
    if (!data.bytes()) data = platform::Value::bytes({});
    return std::make_shared<ZQSingleBinaryDataFieldReference>(std::move(data), std::nullopt,
                                                              std::move(userInfo), std::move(name));
}

std::shared_ptr<ZQSingleBinaryDataFieldReference> ZQSingleBinaryDataFieldReference::createWithURL(
    platform::URL url, UserInfo userInfo) {
    return std::make_shared<ZQSingleBinaryDataFieldReference>(platform::Value(), std::move(url),
                                                              std::move(userInfo), std::string());
}

std::shared_ptr<ZQSingleBinaryDataFieldReference> ZQSingleBinaryDataFieldReference::createWithFile(
    const std::filesystem::path& path, UserInfo userInfo) {
    // Every byte but unreserved characters and "/" escaped, so that spaces, "#", "?" and
    // non-ASCII names survive the URL.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "file://";
    for (unsigned char c : std::filesystem::absolute(path).lexically_normal().string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            text.push_back(static_cast<char>(c));
        } else {
            text += {'%', kHex[c >> 4], kHex[c & 15]};
        }
    }
    std::optional<platform::URL> url = platform::URL::fromString(text);
    if (url) return createWithURL(std::move(*url), std::move(userInfo));
    // Neither bytes nor a URL: the uploader reports that it has nothing to send.
    return std::make_shared<ZQSingleBinaryDataFieldReference>(platform::Value(), std::nullopt,
                                                              std::move(userInfo), path.string());
}

ZQSingleBinaryDataFieldReference::ZQSingleBinaryDataFieldReference(platform::Value data,
                                                                   std::optional<platform::URL> url,
                                                                   UserInfo userInfo,
                                                                   std::string name)
    : data_(std::move(data)),
      url_(std::move(url)),
      userInfo_(std::move(userInfo)),
      name_(std::move(name)) {}

std::optional<std::filesystem::path> ZQSingleBinaryDataFieldReference::filePath() const {
    return url_ ? filePathOfURL(*url_) : std::nullopt;
}

std::optional<std::filesystem::path> ZQSingleBinaryDataFieldReference::filePathOfURL(
    const platform::URL& url) {
    if (url.scheme() != "file") return std::nullopt;
    return std::filesystem::path(percentDecoded(url.path()));
}

std::optional<std::string> ZQSingleBinaryDataFieldReference::uploadedObjectId() const {
    platform::MutexLock lock(mutex_);
    return uploadedObjectId_;
}

void ZQSingleBinaryDataFieldReference::setUploadedObjectId(std::optional<std::string> objectId) {
    platform::MutexLock lock(mutex_);
    uploadedObjectId_ = std::move(objectId);
}

bool ZQSingleBinaryDataFieldReference::isValidReference() const {
    std::optional<std::filesystem::path> path = filePath();
    if (!path) return true;
    std::error_code error;
    return std::filesystem::is_regular_file(*path, error);
}

std::string ZQSingleBinaryDataFieldReference::objectReferenceName() const {
    if (std::optional<std::filesystem::path> path = filePath()) return path->string();
    if (url_) return url_->absoluteString();
    if (!name_.empty()) return name_;
    const platform::Value::Bytes* bytes = data_.bytes();
    return "<" + std::to_string(bytes ? bytes->size() : 0) + " bytes>";
}

std::shared_ptr<const ZQEntityDataFieldInfo> ZQSingleBinaryDataFieldReference::typeInfo() const {
    auto found = userInfo_.find(ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey);
    return found == userInfo_.end() ? nullptr : found->second;
}

std::shared_ptr<const ZQEntityDataFieldInfo> ZQSingleBinaryDataFieldReference::callerTypeInfo()
    const {
    auto found = userInfo_.find(ZQSingleBinaryDataFieldReferenceCallerTypedObjectInfoUserInfoKey);
    return found == userInfo_.end() ? nullptr : found->second;
}
