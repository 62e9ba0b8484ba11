#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"

#include "platform/DateFormat.hpp"

ZQEntityDataServiceQueryInfo::ZQEntityDataServiceQueryInfo(
    platform::URL url, bool isCollection, std::optional<platform::Date> ifModifiedSince)
    : url_(std::move(url)), isCollection_(isCollection), ifModifiedSince_(ifModifiedSince) {}

std::shared_ptr<ZQEntityDataServiceQueryInfo> ZQEntityDataServiceQueryInfo::create(
    platform::URL url, bool isCollection, std::optional<platform::Date> ifModifiedSince) {
    return std::make_shared<ZQEntityDataServiceQueryInfo>(std::move(url), isCollection,
                                                          ifModifiedSince);
}

platform::URL ZQEntityDataServiceQueryInfo::url() const {
    platform::MutexLock lock(mutex_);
    return url_;
}

void ZQEntityDataServiceQueryInfo::setUrl(platform::URL url) {
    platform::MutexLock lock(mutex_);
    url_ = std::move(url);
}

std::optional<platform::Date> ZQEntityDataServiceQueryInfo::ifModifiedSince() const {
    platform::MutexLock lock(mutex_);
    return ifModifiedSince_;
}

void ZQEntityDataServiceQueryInfo::setIfModifiedSince(std::optional<platform::Date> date) {
    platform::MutexLock lock(mutex_);
    ifModifiedSince_ = date;
}

std::string ZQEntityDataServiceQueryInfo::description() const {
    platform::MutexLock lock(mutex_);
    std::string text = "GET " + url_.absoluteString();
    if (isCollection_) text += " (collection)";
    if (ifModifiedSince_) {
        text += " If-Modified-Since " + platform::standardDateDescription(*ifModifiedSince_);
    }
    return text;
}
