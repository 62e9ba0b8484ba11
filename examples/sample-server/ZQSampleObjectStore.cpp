#include "examples/sample-server/ZQSampleObjectStore.hpp"

#include <chrono>
#include <thread>

namespace {

constexpr std::string_view kSegment = "zqobject";

bool endsWithSegment(std::string_view path) {
    if (path == kSegment) return true;
    return path.size() > kSegment.size() + 5 && path.rfind("rest/", 0) == 0 &&
           path.substr(path.size() - kSegment.size() - 1) == "/zqobject";
}

// The id of "<upload path>/<id>", or empty.
std::string_view objectIdOf(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == path.size()) return {};
    return endsWithSegment(path.substr(0, slash)) ? path.substr(slash + 1) : std::string_view();
}

ZQSampleObjectAnswer errorAnswer(int status, const std::string& message) {
    return {
        status,
        "{\"error\":{\"code\":\"" + std::to_string(status) + "\",\"message\":\"" + message + "\"}}",
        "application/json"};
}

}  // namespace

bool ZQSampleObjectStore::serves(std::string_view path) {
    return endsWithSegment(path) || !objectIdOf(path).empty();
}

ZQSampleObjectAnswer ZQSampleObjectStore::answer(const std::string& method, std::string_view path,
                                                 std::string contentType, std::string body) {
    if (endsWithSegment(path)) {
        if (method != "POST") return errorAnswer(405, method + " is not allowed on uploads");
        {
            platform::MutexLock lock(mutex_);
            ++uploads_;
            maxInFlight_ = std::max(maxInFlight_, ++inFlight_);
        }
        if (double hold = holdSeconds_.load(); hold > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(hold));
        }
        platform::MutexLock lock(mutex_);
        --inFlight_;
        if (body.size() > storedBytesLimit_) {
            return errorAnswer(413, "the upload is larger than the server keeps");
        }
        while (!order_.empty() && storedBytes_ + body.size() > storedBytesLimit_) {
            auto oldest = objects_.find(order_.front());
            order_.pop_front();
            if (oldest == objects_.end()) continue;
            storedBytes_ -= oldest->second.bytes.size();
            objects_.erase(oldest);
        }
        size_t number = nextId_++;
        std::string id = "obj-" + std::to_string(number);
        storedBytes_ += body.size();
        order_.push_back(id);
        objects_[id] = {std::move(contentType), std::move(body)};
        std::string idText = numericIds_.load() ? std::to_string(number) : "\"" + id + "\"";
        return {200, "{\"object_id\":" + idText + "}", "application/json"};
    }
    std::string id(objectIdOf(path));
    if (method != "GET") return errorAnswer(405, method + " is not allowed on uploaded objects");
    platform::MutexLock lock(mutex_);
    auto found = objects_.find(id);
    // A numeric id names the object "obj-<number>".
    if (found == objects_.end()) found = objects_.find("obj-" + id);
    if (found == objects_.end()) return errorAnswer(404, "no uploaded object " + id);
    const ZQSampleStoredObject& stored = found->second;
    return {200, stored.bytes,
            stored.contentType.empty() ? "application/octet-stream" : stored.contentType};
}

std::optional<ZQSampleStoredObject> ZQSampleObjectStore::object(const std::string& objectId) const {
    platform::MutexLock lock(mutex_);
    auto found = objects_.find(objectId);
    if (found == objects_.end()) found = objects_.find("obj-" + objectId);
    if (found == objects_.end()) return std::nullopt;
    return found->second;
}

size_t ZQSampleObjectStore::uploadCount() const {
    platform::MutexLock lock(mutex_);
    return uploads_;
}

size_t ZQSampleObjectStore::maxConcurrentUploads() const {
    platform::MutexLock lock(mutex_);
    return maxInFlight_;
}

void ZQSampleObjectStore::resetCounters() {
    platform::MutexLock lock(mutex_);
    uploads_ = 0;
    maxInFlight_ = inFlight_;
}

void ZQSampleObjectStore::setStoredBytesLimit(size_t bytes) {
    platform::MutexLock lock(mutex_);
    storedBytesLimit_ = bytes;
}

size_t ZQSampleObjectStore::storedBytes() const {
    platform::MutexLock lock(mutex_);
    return storedBytes_;
}
