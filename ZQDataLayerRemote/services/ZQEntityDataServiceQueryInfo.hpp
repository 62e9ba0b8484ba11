// One GET request to the data-service layer: the complete URL, whether the answer is a collection
// or a single item, and the cached Last-Modified time that makes the request conditional. Built by
// the entity data manager, shared (by shared_ptr) with the service manager and its loader; any
// thread reads it, and mutex_ guards the two fields that may be replaced. Two records are the same
// request only if they are the same object; requests are merged by their text key instead
// (ZQEntityDataServiceManager::keyForQueryInfo).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Date.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

class ZQEntityDataServiceQueryInfo : public platform::Object {
  public:
    ZQEntityDataServiceQueryInfo(platform::URL url, bool isCollection,
                                 std::optional<platform::Date> ifModifiedSince);
    [[nodiscard]] static std::shared_ptr<ZQEntityDataServiceQueryInfo> create(
        platform::URL url, bool isCollection, std::optional<platform::Date> ifModifiedSince);

    platform::URL url() const EXCLUDES(mutex_);
    void setUrl(platform::URL url) EXCLUDES(mutex_);
    bool isCollection() const { return isCollection_; }
    std::optional<platform::Date> ifModifiedSince() const EXCLUDES(mutex_);
    void setIfModifiedSince(std::optional<platform::Date> date) EXCLUDES(mutex_);

    // "GET <url>", followed by "If-Modified-Since <date>" for a conditional request.
    std::string description() const override EXCLUDES(mutex_);

  private:
    mutable platform::Mutex mutex_;
    platform::URL url_ GUARDED_BY(mutex_);
    const bool isCollection_;
    std::optional<platform::Date> ifModifiedSince_ GUARDED_BY(mutex_);
};
