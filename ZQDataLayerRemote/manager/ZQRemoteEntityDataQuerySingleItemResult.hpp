// The library's answer to a single-item query: the host's single-item result plus the remote
// fields (data time stamp, last-modified, source, up to date), all settable until the result is
// delivered. Built on one thread, then only read.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"

class ZQRemoteEntityDataQuerySingleItemResult : public ZQEntityDataQuerySingleItemResult,
                                                public ZQRemoteEntityDataQueryResult {
  public:
    // The host's initialiser: dates none, source 0, not up to date.
    ZQRemoteEntityDataQuerySingleItemResult(std::shared_ptr<ZQEntityData> resultData,
                                            std::optional<platform::Date> timeStamp,
                                            platform::ErrorPtr error)
        : ZQEntityDataQuerySingleItemResult(std::move(resultData), timeStamp, std::move(error)) {}

    // A successful result; not up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
    entityDataQueryResultWithResultData(std::shared_ptr<ZQEntityData> resultData,
                                        std::optional<platform::Date> timeStamp,
                                        std::optional<platform::Date> dataTimeStamp,
                                        std::optional<platform::Date> lastModified,
                                        ZQEntityDataQueryResultSourceType source);
    // A failed result: no data, no dates; not up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQuerySingleItemResult>
    entityDataQueryResultWithError(platform::ErrorPtr error,
                                   ZQEntityDataQueryResultSourceType source);

    bool isUpToDate() const override { return upToDate_; }
    void setUpToDate(bool upToDate) { upToDate_ = upToDate; }
    std::optional<platform::Date> dataTimeStamp() const override { return dataTimeStamp_; }
    void setDataTimeStamp(std::optional<platform::Date> date) { dataTimeStamp_ = date; }
    std::optional<platform::Date> lastModified() const override { return lastModified_; }
    void setLastModified(std::optional<platform::Date> date) { lastModified_ = date; }
    ZQEntityDataQueryResultSourceType source() const override { return source_; }
    void setSource(ZQEntityDataQueryResultSourceType source) { source_ = source; }

  private:
    std::optional<platform::Date> dataTimeStamp_;
    std::optional<platform::Date> lastModified_;
    ZQEntityDataQueryResultSourceType source_ = 0;
    bool upToDate_ = false;
};
