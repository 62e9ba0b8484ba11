// Cached entity data that records when it was written ("timeStamp"). Base of the business-
// component level classes. Used on the thread of its context only.
#pragma once

#include <optional>

#include "ZQDataLayerRemote/cache/store/ZQCoreDataEntityData.hpp"
#include "platform/Date.hpp"
#include "platform/Error.hpp"

class ZQCoreDataEntityDataTimeStamp : public ZQCoreDataEntityData {
  public:
    static constexpr const char* kTimeStampKey = "timeStamp";

    std::optional<platform::Date> timeStamp() const;
    [[nodiscard]] platform::ErrorPtr setTimeStamp(platform::Date timeStamp);
};
