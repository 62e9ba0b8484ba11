// The library's answer to a collection query: the host's collection result plus the remote
// fields (data time stamp, last-modified, source, up to date), all settable until the result is
// delivered. Built on one thread, then only read.
#pragma once

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"

class ZQRemoteEntityDataQueryCollectionResult : public ZQEntityDataQueryCollectionResult,
                                                public ZQRemoteEntityDataQueryResult {
  public:
    // The host's initialiser: dates none, source 0, not up to date.
    ZQRemoteEntityDataQueryCollectionResult(
        std::optional<ZQEntityDataSections> resultData, std::optional<platform::Date> timeStamp,
        platform::ErrorPtr error, uint64_t count, bool complete,
        std::optional<std::vector<std::string>> alphaIndexTitles,
        std::optional<ZQAlphaIndexRangesByTitle> alphaIndexRangesByTitle)
        : ZQEntityDataQueryCollectionResult(std::move(resultData), timeStamp, std::move(error),
                                            count, complete, std::move(alphaIndexTitles),
                                            std::move(alphaIndexRangesByTitle)) {}

    // A successful result with rows; not up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
    entityDataQueryResultWithResultData(
        std::optional<ZQEntityDataSections> resultData, std::optional<platform::Date> timeStamp,
        uint64_t count, bool complete, std::optional<std::vector<std::string>> alphaIndexTitles,
        std::optional<ZQAlphaIndexRangesByTitle> alphaIndexRangesByTitle,
        std::optional<platform::Date> dataTimeStamp, std::optional<platform::Date> lastModified,
        ZQEntityDataQueryResultSourceType source);
    // "The rows you hold are current": no rows, count 0, complete, no index; up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
    entityDataQueryResultUpToDateWithTimeStamp(std::optional<platform::Date> timeStamp,
                                               std::optional<platform::Date> dataTimeStamp,
                                               std::optional<platform::Date> lastModified,
                                               ZQEntityDataQueryResultSourceType source);
    // A failed result: no rows, count 0, not complete, no index, no dates; not up to date.
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataQueryCollectionResult>
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
