// The sample server's uploaded binary objects: bytes and content type by object id, made by
// POST <base>rest/<path>/zqobject (or <base>zqobject) and served back by GET of the same path
// followed by "/<id>". Owned by ZQSampleServer; called on its request threads, so mutex_ guards
// the objects and the upload counters.
#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Mutex.hpp"

struct ZQSampleStoredObject {
    std::string contentType;  // as the upload sent it; empty without one
    std::string bytes;
};

struct ZQSampleObjectAnswer {
    int status = 200;
    std::string body;
    std::string contentType;  // "application/json" for the JSON answers
};

class ZQSampleObjectStore {
  public:
    // Whether a path below the base ("rest/Sales/Invoice/Line/zqobject", "zqobject/obj-3") is
    // one of the upload paths or the path of an uploaded object.
    static bool serves(std::string_view path);

    // POST of an upload path stores the body and answers {"object_id": "<id>"}; GET of an
    // object's path answers its bytes with their content type; anything else 404 or 405.
    ZQSampleObjectAnswer answer(const std::string& method, std::string_view path,
                                std::string contentType, std::string body) EXCLUDES(mutex_);

    std::optional<ZQSampleStoredObject> object(const std::string& objectId) const EXCLUDES(mutex_);
    size_t uploadCount() const EXCLUDES(mutex_);
    // The most uploads that were being received at the same time.
    size_t maxConcurrentUploads() const EXCLUDES(mutex_);
    void resetCounters() EXCLUDES(mutex_);

    // Each upload is held this long before it is stored, so that overlapping uploads show.
    void setUploadHoldSeconds(double seconds) { holdSeconds_.store(seconds); }
    // Answers the object id as a JSON number instead of a string.
    void setNumericObjectIds(bool numeric) { numericIds_.store(numeric); }
    // The most bytes kept (1 GiB unless set): a new upload lets the oldest objects go until it
    // fits, and one larger than the limit is answered 413, so that a server that runs for days
    // does not grow with every upload.
    void setStoredBytesLimit(size_t bytes) EXCLUDES(mutex_);
    size_t storedBytes() const EXCLUDES(mutex_);

  private:
    mutable platform::Mutex mutex_;
    std::map<std::string, ZQSampleStoredObject> objects_ GUARDED_BY(mutex_);
    std::deque<std::string> order_ GUARDED_BY(mutex_);  // ids, oldest first
    size_t storedBytes_ GUARDED_BY(mutex_) = 0;
    size_t storedBytesLimit_ GUARDED_BY(mutex_) = size_t{1} << 30;
    size_t nextId_ GUARDED_BY(mutex_) = 1;
    size_t uploads_ GUARDED_BY(mutex_) = 0;
    size_t inFlight_ GUARDED_BY(mutex_) = 0;
    size_t maxInFlight_ GUARDED_BY(mutex_) = 0;
    std::atomic<double> holdSeconds_{0};
    std::atomic<bool> numericIds_{false};
};
