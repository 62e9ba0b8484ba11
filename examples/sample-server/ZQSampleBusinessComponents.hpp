// The business-component endpoints of the sample server: the instance URLs
// "<base>rest/<component path>/<key values>" (GET, POST, PUT, DELETE) and the default values at
// "<base>rest/<component path>/_default" (GET), answered from the data providers' rows through
// ZQSampleBusinessComponent. Owned by the server; called on its request threads. changeMutex_
// makes each change (read, check, write) one step, so that two inserts of one key cannot both
// succeed; mutex_ guards the warning setting.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "examples/sample-server/ZQSampleBusinessComponent.hpp"
#include "platform/Mutex.hpp"

struct ZQSampleBCRequest {
    std::string method;
    // Below "<base>rest/", as sent: percent escapes kept, so that an escaped "/" or "," inside a
    // key value is not taken for a separator. No query.
    std::string rawPath;
    std::string rawQuery;  // after "?", as sent
    std::string body;
};

struct ZQSampleBCAnswer {
    int status = 200;
    std::string body;  // JSON: the instance, the defaults, or the error body
    std::vector<std::pair<std::string, std::string>> headers;
};

class ZQSampleBusinessComponents {
  public:
    ZQSampleBusinessComponents(const ZQApplicationModel& model, ZQSampleDataStore& store);

    // Whether the path lies below a business component's path (and is the server's to answer).
    bool serves(const std::string& rawPath) const;
    [[nodiscard]] ZQSampleBCAnswer answer(const ZQSampleBCRequest& request)
        EXCLUDES(mutex_, changeMutex_);

    // A text every business-component answer carries as a user warning ("Warning: 299 ..."),
    // or none.
    void setWarning(std::optional<std::string> text) EXCLUDES(mutex_);

  private:
    // The component whose path the raw path starts with, and the rest after its "/".
    const ZQSampleBusinessComponent* componentFor(const std::string& rawPath,
                                                  std::string* rest) const;
    ZQSampleBCAnswer answerInstance(const ZQSampleBusinessComponent& component,
                                    const ZQSampleBCRequest& request,
                                    const std::vector<std::string>& keyTexts, bool insertOrUpdate)
        EXCLUDES(changeMutex_);

    ZQSampleDataStore& store_;
    // Longest path first, so that "A/B" is tried before "A".
    std::vector<std::unique_ptr<ZQSampleBusinessComponent>> components_;
    mutable platform::Mutex mutex_;
    std::optional<std::string> warning_ GUARDED_BY(mutex_);
    platform::Mutex changeMutex_;
};
