// Protocol of the library's results: whether the answer only says the cached data is up to date,
// when the server produced the data, the server's Last-Modified time, and where the result came
// from (ZQRemoteEntityDataQueryResultSource). A result is built on one thread and handed to the
// delegates on the main thread; nobody changes it after delivery.
#pragma once

#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

class ZQRemoteEntityDataQueryResult : public virtual ZQEntityDataQueryResult {
  public:
    virtual bool isUpToDate() const = 0;
    virtual std::optional<platform::Date> dataTimeStamp() const = 0;
    virtual std::optional<platform::Date> lastModified() const = 0;
    virtual ZQEntityDataQueryResultSourceType source() const = 0;
};
